/* eapaka.dll formats its trace and its debugger line with msvcrt.dll's
 * printf. libstdc++'s headers switch every C++ source to mingw-w64's own
 * C99 printf (the __mingw_ functions), which would be a fifth of the DLL,
 * while the trace needs only %d, %x, %X and %s with width and precision,
 * which msvcrt.dll formats alike. These definitions come before libmingwex
 * on the DLL's link line and take the place of its. Compiled as C with
 * mingw-w64's printf switched off, so the calls below are msvcrt.dll's. */
#define __USE_MINGW_ANSI_STDIO 0
#include <stdarg.h>
#include <stdio.h>

int __cdecl __mingw_vfprintf(FILE* file, const char* format, va_list args) {
    return vfprintf(file, format, args);
}

/* As C99 asks, a text cut to the buffer still ends with a NUL (msvcrt's
 * _vsnprintf then leaves it unterminated and returns -1, which is passed
 * on: no caller uses the result). */
int __cdecl __mingw_vsnprintf(char* buffer, size_t size, const char* format, va_list args) {
    const int length = _vsnprintf(buffer, size, format, args);
    if (size > 0 && (length < 0 || (size_t)length >= size)) buffer[size - 1] = '\0';
    return length;
}
