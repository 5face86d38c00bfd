// A Windows host for eapaka.dll that binds it the way a connection manager
// loading it at run time does: LoadLibrary, then GetProcAddress by the
// exported names, so the test fails when a name is missing or decorated
// differently. (The link hosts, tests/consumer/host.c, bind the import
// libraries and run whole authentications.)
//
//   eapaka_dll_host DLL exports   every entry point is exported under its
//                                 name; hmac_sha1 gives the RFC 2202 MAC;
//                                 getAAA gives zeros before any derivation
//   eapaka_dll_host DLL timeout   a silent server after the Identity
//                                 response: the DLL's thread timer fires
//                                 from this program's message loop; the
//                                 trace file is then checked
//   eapaka_dll_host DLL unload    FreeLibrary while the response timer is
//                                 armed, then 11 s of message dispatch: no
//                                 call may reach the unloaded code
//
// Prints each failed check and a summary; exits non-zero on any failure.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "eapaka/eapaka.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The entry points as the DLL exports them.
using EapInitFn = void(EAPAKA_CALL*)(HostEventCallback, HWND, unsigned char*, int);
using RegisterFn = void(EAPAKA_CALL*)(AuthKeyCallBack, unsigned char*);
using EapLayerFn = int(EAPAKA_CALL*)(unsigned char*, unsigned char*, unsigned short*);
using GetAaaFn = void(EAPAKA_CALL*)(unsigned char*);
using HmacFn = void(EAPAKA_CALL*)(const void*, int, const void*, int, unsigned char*, int);

struct Dll {
    HMODULE module = nullptr;
    EapInitFn init = nullptr;
    RegisterFn registerKeys = nullptr;
    EapLayerFn layer = nullptr;
    GetAaaFn getAaa = nullptr;
    HmacFn hmac = nullptr;
};

int passed = 0;
int failed = 0;

void check(bool ok, const char* what) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAILED: %s\n", what);
    }
}

Bytes hex(const char* text) {
    Bytes out;
    for (size_t i = 0; text[i] != '\0' && text[i + 1] != '\0'; i += 2) {
        unsigned value = 0;
        std::sscanf(text + i, "%2x", &value);
        out.push_back(static_cast<uint8_t>(value));
    }
    return out;
}

template <typename Fn>
bool bind(HMODULE module, const char* name, Fn* out) {
    FARPROC proc = GetProcAddress(module, name);
    if (proc == nullptr) {
        std::printf("FAILED: %s is not exported\n", name);
        return false;
    }
    *out = reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
    return true;
}

bool load(const char* path, Dll* dll) {
    dll->module = LoadLibraryA(path);
    if (dll->module == nullptr) {
        std::printf("FAILED: LoadLibrary(%s): error %lu\n", path, GetLastError());
        return false;
    }
    bool ok = bind(dll->module, EAPAKA_NAME_EAP_INIT, &dll->init);
    ok = bind(dll->module, EAPAKA_NAME_REGISTER, &dll->registerKeys) && ok;
    ok = bind(dll->module, EAPAKA_NAME_EAP_LAYER, &dll->layer) && ok;
    ok = bind(dll->module, "getAAA", &dll->getAaa) && ok;
    ok = bind(dll->module, "hmac_sha1", &dll->hmac) && ok;
    return ok;
}

// A subscriber whose permanent identity's user part is an IMSI of 15
// digits: enough to answer an EAP-Request/Identity.
const char kImsi[] = "001010123456789";
const int kImsiLength = 15;
const char kRealm[] = "@wlan.example";
uint8_t exchangeBuffer[EAPAKA_KEB_SIZE];

void EAPAKA_CALL key_callback(unsigned long request) {
    if (request == EAPAKA_AUTHKEY_LOAD) {
        std::memset(exchangeBuffer, 0, sizeof exchangeBuffer);
        std::memcpy(exchangeBuffer + EAPAKA_KEB_PERMANENT_ID, kImsi, kImsiLength);
    }
}

struct HostEvent {
    unsigned int type;
    uintptr_t value;
    HostResultRecord record;
};
std::vector<HostEvent> hostEvents;

int EAPAKA_CALL event_callback(unsigned int event, void* argument) {
    HostEvent e{event, reinterpret_cast<uintptr_t>(argument), {}};
    if (event == EAPAKA_EVENT_TIMEOUT)
        std::memcpy(&e.record, argument, sizeof e.record);
    hostEvents.push_back(e);
    if (event == EAPAKA_EVENT_STATUS && e.value == EAPAKA_FAIL_SERVER_DOWN) PostQuitMessage(0);
    return 0;
}

// One packet through EAP_layer; `response` receives what the DLL wrote.
int exchange(const Dll& dll, Bytes packet, Bytes* response) {
    uint8_t out[EAPAKA_RESPONSE_MAX];
    unsigned short outLength = 0;
    int result = dll.layer(packet.data(), out, &outLength);
    response->assign(out, out + (outLength <= sizeof out ? outLength : 0));
    return result;
}

void start(const Dll& dll) {
    hostEvents.clear();
    dll.registerKeys(key_callback, exchangeBuffer);
    dll.init(event_callback, nullptr, reinterpret_cast<unsigned char*>(const_cast<char*>(kRealm)),
             kImsiLength);
}

// RFC 2202 test case 1 through the export; the MSK before any derivation.
void run_exports(const Dll& dll) {
    const Bytes key(20, 0x0b);
    const char data[] = "Hi There";
    uint8_t mac[20] = {};
    dll.hmac(key.data(), 20, data, 8, mac, 20);
    check(Bytes(mac, mac + 20) == hex("b617318655057264e28bc0b6fb378c8ef146be00"),
          "hmac_sha1 export matches RFC 2202 test case 1");
    uint8_t msk[EAPAKA_MSK_SIZE];
    std::memset(msk, 0xAA, sizeof msk);
    dll.getAaa(msk);
    check(Bytes(msk, msk + sizeof msk) == Bytes(sizeof msk, 0), "getAAA before any derivation is zero");
}

VOID CALLBACK end_message_loop(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(1); }

// Dispatches this thread's messages until the quit message or `limitMs`.
void message_loop(unsigned int limitMs) {
    UINT_PTR watchdog = SetTimer(nullptr, 0, limitMs, end_message_loop);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    KillTimer(nullptr, watchdog);
}

Bytes read_file(const char* path) {
    Bytes bytes;
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return bytes;
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
    return bytes;
}

bool contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

Bytes text(const char* s) { return Bytes(s, s + std::strlen(s)); }

// Every line end of the trace is CR LF, and the server-down line holds the
// Korean words for "system failure" in code page 949 (as the C run-time's
// text mode stores them: byte for byte).
void check_trace(const Bytes& trace) {
    bool crlf = !trace.empty();
    for (size_t i = 0; i < trace.size(); ++i)
        if (trace[i] == '\n' && (i == 0 || trace[i - 1] != '\r')) crlf = false;
    check(crlf, "trace lines end in CR LF");

    const wchar_t korean[] = L"\uC2DC\uC2A4\uD15C \uC7A5\uC560";
    char cp949[32] = {};
    int n = WideCharToMultiByte(949, 0, korean, -1, cp949, sizeof cp949, nullptr, nullptr);
    check(n == 12, "code page 949 conversion available");
    Bytes line = text("\t>>");
    line.insert(line.end(), cp949, cp949 + (n > 0 ? n - 1 : 0));
    Bytes tail = text(" \r\n\tC_AKA_FAIL_SERVER_DOWN\r\n");
    line.insert(line.end(), tail.begin(), tail.end());
    check(contains(trace, line), "trace holds the code page 949 server-down line");
    check(contains(trace, text("TIME OUT: Fail \r\n")), "trace holds the time-out line");
}

void run_timeout(const Dll& dll) {
    const char tracePath[] = "C:\\msginfo.log";
    Bytes before = read_file(tracePath);
    bool created = false;
    if (GetFileAttributesA(tracePath) == INVALID_FILE_ATTRIBUTES) {
        std::FILE* f = std::fopen(tracePath, "w");
        created = f != nullptr;
        if (f != nullptr) std::fclose(f);
    }

    start(dll);
    Bytes response;
    int result = exchange(dll, {1, 7, 0, 5, 1}, &response);
    check(result == EAPAKA_RESULT_RESPONSE, "Identity request answered (result 2)");
    check(hostEvents.empty(), "the timer does not fire inside EAP_layer");

    DWORD started = GetTickCount();
    message_loop(10000);
    DWORD waited = GetTickCount() - started;
    check(hostEvents.size() == 2, "two host events after the silence");
    if (hostEvents.size() == 2) {
        const HostResultRecord& r = hostEvents[0].record;
        check(hostEvents[0].type == EAPAKA_EVENT_TIMEOUT && r.result == EAPAKA_RESULT_FAILURE &&
                  r.dataLength == 0 && Bytes(r.data, r.data + 256) == Bytes(256, 0),
              "event 0 with result 4 and an empty data area");
        check(hostEvents[1].type == EAPAKA_EVENT_STATUS &&
                  hostEvents[1].value == EAPAKA_FAIL_SERVER_DOWN,
              "event 2 with the server-down code");
    }
    check(waited < 9000, "the test DLL's short timer fired (not the 10 s watchdog)");

    // The timer fires once: further dispatching brings nothing new.
    hostEvents.clear();
    message_loop(2000);
    check(hostEvents.empty(), "the timer fires only once");

    // The conversation was ended: an Identity request starts a new one.
    result = exchange(dll, {1, 8, 0, 5, 1}, &response);
    check(result == EAPAKA_RESULT_RESPONSE && response.size() > 1 && response[1] == 8,
          "next Identity request starts a new conversation");
    // EAP_Init stops the timer armed by that response.
    start(dll);
    message_loop(2000);
    check(hostEvents.empty(), "EAP_Init stops an armed timer");

    Bytes trace = read_file(tracePath);
    trace.erase(trace.begin(), trace.begin() + std::min(before.size(), trace.size()));
    check_trace(trace);
    if (created) DeleteFileA(tracePath);
}


// Where an access violation struck, seen before any handler of the thread
// (wine's message dispatch swallows faults in timer procedures).
uintptr_t faultAddress = 0;

LONG CALLBACK note_access_violation(EXCEPTION_POINTERS* exception) {
    if (exception->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && faultAddress == 0)
        faultAddress = reinterpret_cast<uintptr_t>(exception->ExceptionRecord->ExceptionAddress);
    return EXCEPTION_CONTINUE_SEARCH;
}

// The shipped DLL arms its 10-second timer with the Identity response; the
// host unloads it and keeps dispatching past the deadline.
void run_unload(Dll& dll, const char* path) {
    start(dll);
    Bytes response;
    check(exchange(dll, {1, 3, 0, 5, 1}, &response) == EAPAKA_RESULT_RESPONSE,
          "Identity request answered (result 2): the response timer is armed");
    const uintptr_t base = reinterpret_cast<uintptr_t>(dll.module);
    check(FreeLibrary(dll.module) != FALSE && GetModuleHandleA(path) == nullptr,
          "FreeLibrary unloads the DLL");
    PVOID handler = AddVectoredExceptionHandler(1, note_access_violation);
    message_loop(11000);
    RemoveVectoredExceptionHandler(handler);
    if (faultAddress != 0)
        std::printf("access violation at %#lx (the DLL was loaded at %#lx)\n",
                    static_cast<unsigned long>(faultAddress), static_cast<unsigned long>(base));
    check(faultAddress == 0, "no call into the unloaded DLL while messages are dispatched");
    check(hostEvents.empty(), "no host event after the unload");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::printf("usage: %s DLL exports|timeout|unload\n", argv[0]);
        return 2;
    }
    Dll dll;
    if (!load(argv[1], &dll)) return 1;
    const std::string mode = argv[2];
    if (mode == "exports") {
        run_exports(dll);
    } else if (mode == "timeout") {
        run_timeout(dll);
    } else if (mode == "unload") {
        run_unload(dll, argv[1]);
    } else {
        std::printf("unknown mode %s\n", argv[2]);
        return 2;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
