# Cross-compiling the shipped 32-bit Windows DLL with Debian's mingw-w64;
# tests run through wine's 32-bit loader.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(EAPAKA_MINGW_PREFIX i686-w64-mingw32)
set(EAPAKA_WINE_LOADER /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
