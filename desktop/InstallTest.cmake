# Installs the build into a temporary prefix, checks the layout, validates the installed
# desktop entry and metadata, and sets up a data folder with the installed program.
# Called with -DBUILD_DIR, -DAPP_ID, -DDESKTOP_FILE_VALIDATE, -DAPPSTREAMCLI.
set(prefix ${BUILD_DIR}/install-test)
file(REMOVE_RECURSE ${prefix})

include(${CMAKE_CURRENT_LIST_DIR}/ScriptSupport.cmake)

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

foreach(f
    bin/invarro
    bin/invarro-fbtool
    bin/invarro-cli
    share/invarro/help/Contents.html
    share/icons/hicolor/scalable/apps/${APP_ID}.svg
    share/applications/${APP_ID}.desktop
    share/metainfo/${APP_ID}.metainfo.xml
    share/man/man1/invarro.1.gz
    share/man/man1/invarro-cli.1.gz
    share/man/man1/invarro-fbtool.1.gz
    share/doc/invarro/copyright
    share/doc/invarro/changelog.gz)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
# Every help page, not just the contents.
file(GLOB pages RELATIVE ${prefix}/share/invarro/help ${prefix}/share/invarro/help/*.html)
list(LENGTH pages count)
if(count LESS 10)
  message(FATAL_ERROR "only ${count} help pages installed")
endif()

run(${DESKTOP_FILE_VALIDATE} ${prefix}/share/applications/${APP_ID}.desktop)
run(${APPSTREAMCLI} validate --no-net ${prefix}/share/metainfo/${APP_ID}.metainfo.xml)

# The installed program sets up a new data folder and ends.
set(data ${prefix}/data)
run(${prefix}/bin/invarro --data ${data} --init)
foreach(f LastCo.Dat KRTERMS.DAT)
  if(NOT EXISTS ${data}/${f})
    message(FATAL_ERROR "--init wrote no ${f}")
  endif()
endforeach()
# ... and refuses to set it up a second time.
execute_process(COMMAND ${prefix}/bin/invarro --data ${data} --init
  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
if(rc EQUAL 0)
  message(FATAL_ERROR "a second --init on the same folder succeeded")
endif()
# The company file it wrote is sound.
run(${prefix}/bin/invarro-fbtool check ${data}/Company)
# The installed batch commands run without a display, and the new books are clean.
run(${prefix}/bin/invarro-cli --data ${data} check)
file(REMOVE_RECURSE ${prefix})
