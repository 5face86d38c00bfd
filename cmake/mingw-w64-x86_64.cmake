# 64-bit Windows build, used to run the Windows tests under wine64 on hosts
# whose kernel cannot execute 32-bit code (wine's 32-bit loader is a 32-bit
# Linux program). The product is the 32-bit DLL.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(EAPAKA_MINGW_PREFIX x86_64-w64-mingw32)
# Called directly: the wine wrapper script prefers the 32-bit loader.
set(EAPAKA_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
