# Shared part of the mingw-w64 toolchain files: EAPAKA_MINGW_PREFIX names
# the target triple. Debian's posix thread-model compilers are used, which
# googletest needs.
set(CMAKE_SYSTEM_NAME Windows)

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

# CTest runs the Windows programs through wine.
if(EAPAKA_WINE_LOADER AND EXISTS ${EAPAKA_WINE_LOADER})
  set(CMAKE_CROSSCOMPILING_EMULATOR ${EAPAKA_WINE_LOADER})
endif()
