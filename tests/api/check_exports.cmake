# The shared library's dynamic symbol table holds the entry points and
# nothing else: run as `cmake -DLIBRARY=... -DNM=... -P check_exports.cmake`.
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE table RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[0-9a-fA-F]+ [A-Za-z] [^\n]+" rows "${table}")
set(names)
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^[0-9a-fA-F]+ [A-Za-z] " "" name "${row}")
  list(APPEND names "${name}")
endforeach()
list(SORT names)
set(expected
  EAP_DispatchTimers
  EAP_SetCompatibility
  _Z23RegisterAuthKeyCallBackPFvmEPh
  _Z8EAP_InitPFijPvEP6HWND__Phi
  _Z9EAP_layerPhS_Pt
  getAAA
  hmac_sha1)
list(SORT expected)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exported: ${names}\nexpected: ${expected}")
endif()
message(STATUS "exports: ${names}")
