// Operating-system services the library needs, behind one small interface:
// a thread timer with SetTimer/KillTimer semantics, the tick count, the local
// time, debugger output and the trace file. One implementation per platform.
#ifndef EAPAKA_PLATFORM_PLATFORM_H
#define EAPAKA_PLATFORM_PLATFORM_H

#include <cstdint>
#include <cstdio>

// Timer procedure, called on the host's thread; the library's handlers
// ignore all four arguments (window, message, timer id, tick count).
using PlatformTimerProc = void (*)(void* window, unsigned int message, uintptr_t id,
                                   unsigned long time);

// Starts a periodic timer of `periodMs` that calls `proc` on the host's
// thread until it is killed. Returns a non-zero identifier, or 0 on failure.
uintptr_t platform_set_timer(unsigned int periodMs, PlatformTimerProc proc);

// Stops the timer `id`; returns true when such a timer was running.
bool platform_kill_timer(uintptr_t id);

// Milliseconds since an arbitrary origin, wrapping at 2^32.
uint32_t platform_tick_count();

struct PlatformLocalTime {
    int month;
    int day;
    int hour;
    int minute;
    int second;
    int milliseconds;
};

void platform_local_time(PlatformLocalTime* now);

// One line of debugger output (not the trace file).
void platform_debug_output(const char* text);

// Opens the existing trace file for appending (positioned at its end).
// Returns null when the file does not exist or must not be written; the
// trace file is never created by the library.
std::FILE* platform_open_trace();

// Path of the trace file.
const char* platform_trace_path();

// Test hook: replaces the monotonic clock (milliseconds) used by the tick
// count and, on POSIX, by the timers (Windows timers keep real time); null
// restores the real clock.
void platform_set_clock(uint64_t (*nowMs)());

// Test hook: replaces the debugger output sink; null restores the default.
void platform_set_debug_sink(void (*sink)(const char* text));

// Kills every timer: the session reset of the tests, and the DLL's unload,
// after which no timer may call into its code.
void platform_reset_timers();

// Test hook: replaces the trace path (null restores the built-in path).
void platform_set_trace_path(const char* path);

#if !defined(_WIN32)
// Runs the due timers; returns the milliseconds to the next deadline or -1.
int platform_dispatch_timers();
#endif

#endif
