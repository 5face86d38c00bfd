# Cross-compiling for 32-bit Windows with Debian's mingw-w64 (posix thread
# model, which googletest needs). Tests run through wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(EAPAKA_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${EAPAKA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${EAPAKA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${EAPAKA_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${EAPAKA_MINGW_PREFIX}-objdump)
set(CMAKE_STRIP ${EAPAKA_MINGW_PREFIX}-strip)

set(CMAKE_FIND_ROOT_PATH /usr/${EAPAKA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every executable and the DLL carry their C and C++ run-time inside, so
# wine (and a Windows host) needs nothing but the system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(EAPAKA_WINE NAMES wine)
if(EAPAKA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${EAPAKA_WINE})
endif()
