# What the installation and package test scripts share.

# Runs a command and stops the test, with what it printed, when it fails. With OUTPUT VAR
# first, its standard output is kept in VAR.
function(run)
  set(args ${ARGN})
  set(keep)
  list(GET args 0 first)
  if(first STREQUAL "OUTPUT")
    list(GET args 1 keep)
    list(REMOVE_AT args 0 1)
  endif()
  execute_process(COMMAND ${args} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${args}\n${out}\n${err}")
  endif()
  if(keep)
    set(${keep} "${out}" PARENT_SCOPE)
  endif()
endfunction()
