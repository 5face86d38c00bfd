# The shared library's dynamic symbol table holds the entry points and
# nothing else, and no dynamic relocation refers to one of them: the
# library's own calls are bound inside it, so no other definition in the
# process can take them over. Run as
#   cmake -DLIBRARY=... -DNM=... -DOBJDUMP=... -P check_exports.cmake
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

execute_process(COMMAND ${OBJDUMP} -R ${LIBRARY}
                OUTPUT_VARIABLE relocations RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump -R failed on ${LIBRARY}")
endif()
foreach(name IN LISTS names)
  if(relocations MATCHES "[ \t]${name}(@[^ \n]*)?(\\+0x[0-9a-f]+)?\n")
    message(FATAL_ERROR "a dynamic relocation refers to ${name}: calls to it can be interposed")
  endif()
endforeach()
