# Builds the Debian package from the build folder and checks it as Debian would: lintian
# finds no error and no warning, hardening-check passes on the packaged programs, and the
# package holds the manual pages, the copyright file and the changelog.
# Called with -DBUILD_DIR, -DLINTIAN, -DHARDENING_CHECK, -DVERSION.
set(work ${BUILD_DIR}/package-test)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})

include(${CMAKE_CURRENT_LIST_DIR}/ScriptSupport.cmake)

run(cpack -G DEB -B ${work} --config ${BUILD_DIR}/CPackConfig.cmake)
file(GLOB packages ${work}/invarro_${VERSION}_*.deb)
list(LENGTH packages count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "cpack made ${count} packages named invarro_${VERSION}_*.deb")
endif()

# Errors and warnings fail; info tags are shown. An override needs its reason beside it in
# the overrides file.
execute_process(COMMAND ${LINTIAN} --display-info --fail-on error,warning ${packages}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "lintian:\n${out}")
if(NOT rc EQUAL 0 OR out MATCHES "(^|\n)[EW]: ")
  message(FATAL_ERROR "lintian rejects the package (${rc}):\n${out}\n${err}")
endif()

set(root ${work}/root)
run(dpkg-deb -x ${packages} ${root})
foreach(f
    usr/bin/invarro usr/bin/invarro-cli usr/bin/invarro-fbtool
    usr/share/man/man1/invarro.1.gz usr/share/man/man1/invarro-cli.1.gz
    usr/share/man/man1/invarro-fbtool.1.gz
    usr/share/doc/invarro/copyright usr/share/doc/invarro/changelog.gz
    usr/share/lintian/overrides/invarro
    usr/share/invarro/help/Contents.html)
  if(NOT EXISTS ${root}/${f})
    message(FATAL_ERROR "the package lacks ${f}")
  endif()
endforeach()

# The programs are compiled with -fcf-protection, but Debian 12's C start files (crt1.o,
# crti.o, crtn.o) carry no control-flow property, so the linker leaves it out of every
# program of the system (/usr/bin/ls too); hardening-check is told not to ask for it.
run(${HARDENING_CHECK} --nocfprotection ${root}/usr/bin/invarro ${root}/usr/bin/invarro-cli
    ${root}/usr/bin/invarro-fbtool)
file(REMOVE_RECURSE ${work})
