# Checks which socket functions a program file references.
#   cmake -DPROGRAM=<file> -DEXPECT=none|some -P socket_symbols.cmake
# none: fails when any socket function is referenced; some: fails when none is
# (a check that the listing sees them at all).
cmake_minimum_required(VERSION 3.25)
set(functions socket connect send sendto sendmsg recv recvfrom recvmsg shutdown
    setsockopt getsockopt inet_addr accept bind listen)
if(NOT EXISTS "${PROGRAM}")
  message(FATAL_ERROR "program file ${PROGRAM} not built")
endif()
execute_process(COMMAND nm -D --undefined-only "${PROGRAM}"
                OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc1 ERROR_QUIET)
execute_process(COMMAND nm "${PROGRAM}"
                OUTPUT_VARIABLE static RESULT_VARIABLE rc2 ERROR_QUIET)
if(NOT rc1 EQUAL 0 AND NOT rc2 EQUAL 0)
  message(FATAL_ERROR "nm could not read ${PROGRAM}")
endif()
string(REPLACE "\n" ";" lines "${dynamic}\n${static}")
set(found "")
foreach(line IN LISTS lines)
  # "<address> <type> <name>[@version]" or "<type> <name>" for undefined ones
  string(REGEX MATCH "[^ \t]+$" name "${line}")
  string(REGEX REPLACE "@.*$" "" name "${name}")
  if(name IN_LIST functions AND NOT name IN_LIST found)
    list(APPEND found ${name})
  endif()
endforeach()
if(EXPECT STREQUAL "none" AND found)
  message(FATAL_ERROR "${PROGRAM} references socket functions: ${found}")
elseif(EXPECT STREQUAL "some" AND NOT found)
  message(FATAL_ERROR "${PROGRAM} references no socket function")
endif()
message(STATUS "socket functions in ${PROGRAM}: ${found}")
