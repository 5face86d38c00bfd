// POSIX implementation of the platform services.
//
// There is no thread message queue, so timers are kept in a small table and
// fire only when the host calls EAP_DispatchTimers() from its own loop; that
// keeps the single-thread rule: a timer procedure never runs during another
// entry point.
#include "platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#ifndef EAPAKA_TRACE_PATH
#define EAPAKA_TRACE_PATH "msginfo.log"
#endif

namespace {

constexpr int kMaxTimers = 8;

struct PosixTimer {
    uintptr_t id;  // 0: slot free
    unsigned int periodMs;
    uint64_t deadlineMs;
    PlatformTimerProc proc;
};

PosixTimer timers[kMaxTimers];
uintptr_t lastTimerId = 0;
uint64_t (*clockOverride)() = nullptr;
void (*debugSink)(const char*) = nullptr;
const char* tracePathOverride = nullptr;

uint64_t now_ms() {
    if (clockOverride != nullptr) return clockOverride();
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

uintptr_t next_timer_id() {
    do {
        ++lastTimerId;
    } while (lastTimerId == 0);
    return lastTimerId;
}

}  // namespace

uintptr_t platform_set_timer(unsigned int periodMs, PlatformTimerProc proc) {
    for (PosixTimer& t : timers) {
        if (t.id != 0) continue;
        t.id = next_timer_id();
        t.periodMs = periodMs;
        t.deadlineMs = now_ms() + periodMs;
        t.proc = proc;
        return t.id;
    }
    return 0;
}

bool platform_kill_timer(uintptr_t id) {
    if (id == 0) return false;
    for (PosixTimer& t : timers) {
        if (t.id == id) {
            t = PosixTimer{};
            return true;
        }
    }
    return false;
}

int platform_dispatch_timers() {
    // Fire each due timer once per call; a procedure may kill or arm timers,
    // so the slot is re-checked by id before and after the call.
    for (PosixTimer& t : timers) {
        if (t.id == 0 || now_ms() < t.deadlineMs) continue;
        uintptr_t id = t.id;
        PlatformTimerProc proc = t.proc;
        t.deadlineMs = now_ms() + t.periodMs;
        proc(nullptr, 0, id, static_cast<unsigned long>(platform_tick_count()));
    }
    int64_t next = -1;
    uint64_t now = now_ms();
    for (const PosixTimer& t : timers) {
        if (t.id == 0) continue;
        int64_t wait = t.deadlineMs > now ? static_cast<int64_t>(t.deadlineMs - now) : 0;
        if (next < 0 || wait < next) next = wait;
    }
    return static_cast<int>(next);
}

void platform_reset_timers() {
    for (PosixTimer& t : timers) t = PosixTimer{};
}

void platform_set_clock(uint64_t (*nowMs)()) { clockOverride = nowMs; }

uint32_t platform_tick_count() { return static_cast<uint32_t>(now_ms()); }

void platform_local_time(PlatformLocalTime* now) {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm local{};
    time_t seconds = tv.tv_sec;
    localtime_r(&seconds, &local);
    now->month = local.tm_mon + 1;
    now->day = local.tm_mday;
    now->hour = local.tm_hour;
    now->minute = local.tm_min;
    now->second = local.tm_sec;
    now->milliseconds = static_cast<int>(tv.tv_usec / 1000);
}

void platform_set_debug_sink(void (*sink)(const char* text)) { debugSink = sink; }

// Debugger output has no direct POSIX counterpart; the closest is a
// debug-priority syslog message, which is invisible unless asked for.
void platform_debug_output(const char* text) {
    if (debugSink != nullptr) {
        debugSink(text);
        return;
    }
    syslog(LOG_USER | LOG_DEBUG, "%s", text);
}

void platform_set_trace_path(const char* path) { tracePathOverride = path; }

const char* platform_trace_path() {
    return tracePathOverride != nullptr ? tracePathOverride : EAPAKA_TRACE_PATH;
}

// The trace holds K, OPc and the MSK in clear, so it is written only to a
// regular file the process owns, that nobody else may read or write (no
// permission bit for group or others) and that has exactly one name: never
// through a symbolic link, and never to a hard link, whose other name may
// lie in a directory others can read. Anything else is treated as if the
// file were absent.
std::FILE* platform_open_trace() {
    int fd = open(platform_trace_path(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() ||
        (st.st_mode & (S_IRWXG | S_IRWXO)) != 0 || st.st_nlink != 1) {
        close(fd);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "r+");
    if (file == nullptr) {
        close(fd);
        return nullptr;
    }
    std::fseek(file, 0, SEEK_END);
    return file;
}
