// Win32 implementation of the platform services.
//
// The response timer is a windowless thread timer (USER32 SetTimer with a
// null window): Windows posts WM_TIMER to the thread that armed it and the
// host's GetMessage/DispatchMessage loop runs the procedure on that same
// thread, so a timer procedure never runs during an entry point and no lock
// is needed.
#include "platform/platform.h"

#include <windows.h>

#include <cstdio>

namespace {

// Trace file of the Windows build. The library never creates it: an
// administrator switches the trace on by creating the empty file.
constexpr char kTracePath[] = "C:\\msginfo.log";

// The library arms at most one timer at a time; the table leaves room for
// a host that loads the library twice under different names.
constexpr int kMaxTimers = 8;

struct Win32Timer {
    UINT_PTR id;  // 0: slot free
    PlatformTimerProc proc;
};

Win32Timer timers[kMaxTimers];
uint64_t (*clockOverride)() = nullptr;
void (*debugSink)(const char*) = nullptr;
const char* tracePathOverride = nullptr;

// SetTimer calls its procedure with the stdcall convention while the
// library's handlers are ordinary functions; this trampoline bridges the two
// and finds the handler by the identifier Windows assigned. A WM_TIMER that
// was already queued when its timer was killed finds no slot and is ignored.
VOID CALLBACK timer_trampoline(HWND window, UINT message, UINT_PTR id, DWORD time) {
    for (const Win32Timer& t : timers) {
        if (t.id == id) {
            t.proc(window, message, id, time);
            return;
        }
    }
}

Win32Timer* free_slot() {
    for (Win32Timer& t : timers)
        if (t.id == 0) return &t;
    return nullptr;
}

}  // namespace

uintptr_t platform_set_timer(unsigned int periodMs, PlatformTimerProc proc) {
#if defined(EAPAKA_TEST_TIMER_PERIOD_MS)
    // Test builds only: a host test watches expiry without waiting the
    // protocol's full period. The shipped DLL is never built with this.
    periodMs = EAPAKA_TEST_TIMER_PERIOD_MS;
#endif
    Win32Timer* slot = free_slot();
    if (slot == nullptr || proc == nullptr) return 0;
    // A null window and event identifier 0 make Windows choose a fresh
    // identifier, unique among the thread's windowless timers.
    UINT_PTR id = SetTimer(nullptr, 0, periodMs, timer_trampoline);
    if (id == 0) return 0;
    slot->id = id;
    slot->proc = proc;
    return id;
}

bool platform_kill_timer(uintptr_t id) {
    if (id == 0) return false;
    for (Win32Timer& t : timers)
        if (t.id == id) t = Win32Timer{};
    return KillTimer(nullptr, id) != FALSE;
}

void platform_reset_timers() {
    for (Win32Timer& t : timers) {
        if (t.id != 0) KillTimer(nullptr, t.id);
        t = Win32Timer{};
    }
}

void platform_set_clock(uint64_t (*nowMs)()) { clockOverride = nowMs; }

uint32_t platform_tick_count() {
    if (clockOverride != nullptr) return static_cast<uint32_t>(clockOverride());
    return GetTickCount();
}

void platform_local_time(PlatformLocalTime* now) {
    SYSTEMTIME local;
    GetLocalTime(&local);
    now->month = local.wMonth;
    now->day = local.wDay;
    now->hour = local.wHour;
    now->minute = local.wMinute;
    now->second = local.wSecond;
    now->milliseconds = local.wMilliseconds;
}

void platform_set_debug_sink(void (*sink)(const char* text)) { debugSink = sink; }

void platform_debug_output(const char* text) {
    if (debugSink != nullptr) {
        debugSink(text);
        return;
    }
    OutputDebugStringA(text);
}

void platform_set_trace_path(const char* path) { tracePathOverride = path; }

const char* platform_trace_path() {
    return tracePathOverride != nullptr ? tracePathOverride : kTracePath;
}

// Mode "r+" opens only an existing file, so the trace stays off until the
// file is created. Text mode (the default of the C run-time) stores every
// "\n" of the trace as CR LF, as Windows editors expect.
std::FILE* platform_open_trace() {
    std::FILE* file = std::fopen(platform_trace_path(), "r+");
    if (file == nullptr) return nullptr;
    std::fseek(file, 0, SEEK_END);
    return file;
}
