# Checks the version resource of a DLL, decompiled by windres: the numeric
# file and product versions and the version strings must be VERSION.
#   cmake -DWINDRES=... -DDLL=... -DVERSION=x.y.z -P check_version.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${WINDRES} -i ${DLL} -O rc
  OUTPUT_VARIABLE resources RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${WINDRES} could not read the resources of ${DLL} (${status})")
endif()
string(REPLACE "." ", " numeric "${VERSION}")
set(expected
  "FILEVERSION ${numeric}, 0"
  "PRODUCTVERSION ${numeric}, 0"
  "VALUE \"FileVersion\", \"${VERSION}\""
  "VALUE \"ProductVersion\", \"${VERSION}\"")
foreach(line IN LISTS expected)
  string(FIND "${resources}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "version resource lacks '${line}':\n${resources}")
  endif()
endforeach()
message(STATUS "version resource: ${VERSION}")
