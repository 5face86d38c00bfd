# Tests of eapaka.dll as Windows hosts use it. They carry the label "dll",
# are built by the target eapaka_dll_tests and run on the shipped (release)
# build: scripts/test-windows runs `ctest -L dll` there and the unit tests of
# the debug build with `-LE dll`. The link hosts replay conversation.txt,
# which the test oracle writes beside the DLL on the build machine.
add_custom_target(eapaka_dll_tests)
set(EAPAKA_HOST_SOURCE ${PROJECT_SOURCE_DIR}/tests/consumer/host.c)
set(EAPAKA_CONVERSATION conversation.txt)

function(eapaka_dll_test name)
  add_test(NAME ${name} ${ARGN} WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(${name} PROPERTIES LABELS dll)
endfunction()

# Test-only twin: the same core, but its platform object (listed before the
# archive, so the archive's own copy is never pulled in) arms every timer
# with a short period, so the host test sees expiry in a second.
set(EAPAKA_TEST_TIMER_PERIOD_MS 700 CACHE STRING
    "Timer period of the test-only DLL eapaka_test_timer.dll (ms)")
add_library(eapaka_platform_short_timer OBJECT EXCLUDE_FROM_ALL
  ${PROJECT_SOURCE_DIR}/platform/platform_win32.cpp)
target_include_directories(eapaka_platform_short_timer PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(eapaka_platform_short_timer PRIVATE
  EAPAKA_TEST_TIMER_PERIOD_MS=${EAPAKA_TEST_TIMER_PERIOD_MS})
eapaka_add_dll(eapaka_test_timer $<TARGET_OBJECTS:eapaka_platform_short_timer>)
set_target_properties(eapaka_test_timer PROPERTIES EXCLUDE_FROM_ALL ON)

# The host that binds the DLL only through LoadLibrary/GetProcAddress.
add_executable(eapaka_dll_host EXCLUDE_FROM_ALL dll_host.cpp)
target_include_directories(eapaka_dll_host PRIVATE ${PROJECT_SOURCE_DIR}/include)
set_target_properties(eapaka_dll_host PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
add_dependencies(eapaka_dll_tests eapaka_dll_host eapaka_test_timer)

eapaka_dll_test(dll_host_exports COMMAND eapaka_dll_host $<TARGET_FILE_NAME:eapaka> exports)
eapaka_dll_test(dll_host_timeout
  COMMAND eapaka_dll_host $<TARGET_FILE_NAME:eapaka_test_timer> timeout)
eapaka_dll_test(dll_host_unload COMMAND eapaka_dll_host $<TARGET_FILE_NAME:eapaka> unload)
# The timeout run creates and checks C:\msginfo.log, which every other test
# under the same wine prefix would also write to while it exists.
set_tests_properties(dll_host_timeout PROPERTIES RUN_SERIAL TRUE)

# mingw-w64 hosts, C and C++, linked against libeapaka.dll.a.
set(mingw_source_c ${EAPAKA_HOST_SOURCE})
set(mingw_source_cxx ${PROJECT_SOURCE_DIR}/tests/consumer/host.cpp)
foreach(lang c cxx)
  set(host eapaka_host_mingw_${lang})
  add_executable(${host} EXCLUDE_FROM_ALL ${mingw_source_${lang}})
  set_target_properties(${host} PROPERTIES
    C_STANDARD 99 C_EXTENSIONS OFF RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
  target_include_directories(${host} PRIVATE ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(${host} PRIVATE ${PROJECT_BINARY_DIR}/libeapaka.dll.a)
  add_dependencies(${host} eapaka)
  add_dependencies(eapaka_dll_tests ${host})
  eapaka_dll_test(dll_link_mingw_${lang} COMMAND ${host} ${EAPAKA_CONVERSATION})
endforeach()

# Microsoft-ABI hosts, C++ and C: Debian's clang targeting the MSVC ABI,
# linked by lld-link against eapaka.lib. There is no Microsoft C run-time
# or SDK here: mingw-w64's headers stand in for the SDK's, and the hosts
# import the C run-time from msvcrt.dll through mingw-w64's import
# libraries, entering through their own start-up function.
find_program(EAPAKA_CLANG NAMES clang clang-14 REQUIRED)
find_program(EAPAKA_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)
find_library(EAPAKA_MSVCRT_IMPORT NAMES libmsvcrt.a REQUIRED)
find_library(EAPAKA_KERNEL32_IMPORT NAMES libkernel32.a REQUIRED)
find_path(EAPAKA_SDK_INCLUDE windows.h REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(msvc_target i686-pc-windows-msvc)
  set(msvc_arch _X86_)
  set(msvc_link_extra /safeseh:no)  # mingw-w64's import libraries carry no SEH table
else()
  set(msvc_target x86_64-pc-windows-msvc)
  set(msvc_arch _AMD64_)
  set(msvc_link_extra "")
endif()
set(msvc_language_c -x c -std=c99)
set(msvc_language_cxx -x c++ -std=c++17 -fno-exceptions -fno-rtti)
foreach(lang cxx c)
  set(host eapaka_host_msvc_${lang})
  set(object ${CMAKE_CURRENT_BINARY_DIR}/${host}.obj)
  set(program ${PROJECT_BINARY_DIR}/${host}.exe)
  # mingw-w64's headers expect GCC's attribute syntax and the architecture
  # macro their own compiler defines.
  add_custom_command(OUTPUT ${program}
    COMMAND ${EAPAKA_CLANG} --target=${msvc_target} ${msvc_language_${lang}}
      -fgnuc-version=4.2.1 -D${msvc_arch} -D__USE_MINGW_ANSI_STDIO=0 -DEAPAKA_HOST_ENTRY
      -O1 -Wall -Wextra $<$<BOOL:${EAPAKA_WERROR}>:-Werror>
      -isystem ${EAPAKA_SDK_INCLUDE} -I${PROJECT_SOURCE_DIR}/include
      -c ${EAPAKA_HOST_SOURCE} -o ${object}
    COMMAND ${EAPAKA_LLD_LINK} /nologo /subsystem:console /entry:eapaka_host_entry
      ${msvc_link_extra} /out:${program} ${object} ${PROJECT_BINARY_DIR}/eapaka.lib
      ${EAPAKA_MSVCRT_IMPORT} ${EAPAKA_KERNEL32_IMPORT}
    DEPENDS ${EAPAKA_HOST_SOURCE} ${PROJECT_SOURCE_DIR}/include/eapaka/eapaka.h
      ${PROJECT_BINARY_DIR}/eapaka.lib
    VERBATIM)
  add_custom_target(${host} DEPENDS ${program})
  add_dependencies(${host} eapaka)
  add_dependencies(eapaka_dll_tests ${host})
  eapaka_dll_test(dll_link_msvc_${lang}
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} ${program} ${EAPAKA_CONVERSATION})
endforeach()

# The export and import tables, and the version resource. The expected
# names travel comma-separated: a CMake list would be split on the way.
string(REPLACE ";" "," expected_exports "${EAPAKA_EXPECTED_EXPORTS}")
eapaka_dll_test(dll_exports
  COMMAND ${CMAKE_COMMAND}
    -DOBJDUMP=${CMAKE_OBJDUMP}
    -DDLL=$<TARGET_FILE:eapaka>
    "-DEXPECTED=${expected_exports}"
    -P ${CMAKE_CURRENT_SOURCE_DIR}/check_exports.cmake)
eapaka_dll_test(dll_version
  COMMAND ${CMAKE_COMMAND}
    -DWINDRES=${CMAKE_RC_COMPILER}
    -DDLL=$<TARGET_FILE:eapaka>
    -DVERSION=${PROJECT_VERSION}
    -P ${CMAKE_CURRENT_SOURCE_DIR}/check_version.cmake)
