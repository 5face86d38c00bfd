// A 32-bit Windows host for eapaka.dll, driving it the way a connection
// manager does: the DLL is loaded with LoadLibrary and its five entry points
// are bound with GetProcAddress by their exported names, so the test fails
// when a name is missing or decorated differently. The network side (EAP
// server and authentication centre) is played in-process with the core's
// Milenage, SHA-1, PRF and HMAC, statically linked into this program; the
// DLL keeps its own, separate copy of the library.
//
//   eapaka_dll_host DLL authenticate  full EAP-AKA authentication (RFC 4187
//                                     section 3): Identity, AKA-Challenge,
//                                     Success, MSK through getAAA
//   eapaka_dll_host DLL timeout       a silent server after the Identity
//                                     response: the DLL's thread timer fires
//                                     from this program's message loop; the
//                                     trace file is then checked
//
// Prints each failed check and a summary; exits non-zero on any failure.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "api/session.h"
#include "crypto/fips186_prf.h"
#include "crypto/milenage.h"
#include "crypto/sha1.h"
#include "eapaka/eapaka.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The entry points as the DLL exports them.
using EapInitFn = void (*)(int (*)(unsigned int, void*), HWND, unsigned char*, int);
using RegisterFn = void (*)(void (*)(unsigned long), unsigned char*);
using EapLayerFn = int (*)(unsigned char*, unsigned char*, unsigned short*);
using GetAaaFn = void (*)(unsigned char*);
using HmacFn = void (*)(const void*, int, const void*, int, unsigned char*, int);

struct Dll {
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
    HMODULE module = LoadLibraryA(path);
    if (module == nullptr) {
        std::printf("FAILED: LoadLibrary(%s): error %lu\n", path, GetLastError());
        return false;
    }
#if defined(_WIN64)
    bool ok = bind(module, "?EAP_Init@@YAXP6AHIPEAX@ZPEAUHWND__@@PEAEH@Z", &dll->init);
    ok = bind(module, "?RegisterAuthKeyCallBack@@YAXP6AXK@ZPEAE@Z", &dll->registerKeys) && ok;
    ok = bind(module, "?EAP_layer@@YAHPEAE0PEAG@Z", &dll->layer) && ok;
#else
    bool ok = bind(module, "?EAP_Init@@YAXP6AHIPAX@ZPAUHWND__@@PAEH@Z", &dll->init);
    ok = bind(module, "?RegisterAuthKeyCallBack@@YAXP6AXK@ZPAE@Z", &dll->registerKeys) && ok;
    ok = bind(module, "?EAP_layer@@YAHPAE0PAG@Z", &dll->layer) && ok;
#endif
    ok = bind(module, "getAAA", &dll->getAaa) && ok;
    ok = bind(module, "hmac_sha1", &dll->hmac) && ok;
    return ok;
}

// Subscriber of 3GPP TS 35.208 test set 1, with the standard Milenage
// constants; the permanent identity's user part is an IMSI of 15 digits.
const char kImsi[] = "001010123456789";
const int kImsiLength = 15;
const char kRealm[] = "@wlan.example";
const Bytes kK = hex("465b5ce8b199b49faa5f0a2ee238a6bc");
const Bytes kOpc = hex("cd63cb71954a9f4e48a5994e37a02baf");
const Bytes kRand = hex("23553cbe9637a89d218ae64dae47bf35");
const uint8_t kStandardC[5] = {0, 1, 2, 4, 8};     // last byte of c1..c5
const int32_t kStandardR[5] = {64, 0, 32, 64, 96};

// The host's key store behind the DLL's key callback (request codes of
// eapaka.h): the persistent copy and the exchange buffer.
uint8_t storeCopy[EAPAKA_KEB_SIZE];
uint8_t exchangeBuffer[EAPAKA_KEB_SIZE];
std::vector<unsigned long> keyRequests;

void key_callback(unsigned long request) {
    keyRequests.push_back(request);
    if (request == EAPAKA_AUTHKEY_LOAD) {
        std::memcpy(exchangeBuffer, storeCopy, sizeof exchangeBuffer);
    } else if (request == EAPAKA_AUTHKEY_STORE_SEQMS) {
        std::memcpy(storeCopy + EAPAKA_KEB_SEQMS, exchangeBuffer + EAPAKA_KEB_SEQMS,
                    SEQMS_ENTRIES * SEQ_SIZE);
    } else if (request == EAPAKA_AUTHKEY_STORE_PSEUDONYM) {
        std::memcpy(storeCopy + EAPAKA_KEB_PSEUDONYM, exchangeBuffer + EAPAKA_KEB_PSEUDONYM, 23);
    }
}

void fill_store() {
    std::memset(storeCopy, 0, sizeof storeCopy);
    std::memcpy(storeCopy + EAPAKA_KEB_PERMANENT_ID, kImsi, kImsiLength);
    std::memcpy(storeCopy + EAPAKA_KEB_K, kK.data(), 16);
    std::memcpy(storeCopy + EAPAKA_KEB_OPC, kOpc.data(), 16);
    for (int i = 0; i < 5; ++i) {
        storeCopy[EAPAKA_KEB_C1 + 16 * i + 15] = kStandardC[i];
        uint32_t r = static_cast<uint32_t>(kStandardR[i]);
        for (int b = 0; b < 4; ++b)
            storeCopy[EAPAKA_KEB_R1 + 4 * i + b] = static_cast<uint8_t>(r >> (8 * b));
    }
}

struct HostEvent {
    unsigned int type;
    uintptr_t value;
    HostResultRecord record;
};
std::vector<HostEvent> hostEvents;

int event_callback(unsigned int event, void* argument) {
    HostEvent e{event, reinterpret_cast<uintptr_t>(argument), {}};
    if (event == EAPAKA_EVENT_TIMEOUT)
        std::memcpy(&e.record, argument, sizeof e.record);
    hostEvents.push_back(e);
    if (event == EAPAKA_EVENT_STATUS && e.value == EAPAKA_FAIL_SERVER_DOWN) PostQuitMessage(0);
    return 0;
}

// One packet through EAP_layer; `response` receives what the DLL wrote.
int exchange(const Dll& dll, Bytes packet, Bytes* response) {
    uint8_t out[EAP_MAX_PACKET];
    unsigned short outLength = 0;
    int result = dll.layer(packet.data(), out, &outLength);
    response->assign(out, out + (outLength <= sizeof out ? outLength : 0));
    return result;
}

void start(const Dll& dll) {
    fill_store();
    keyRequests.clear();
    hostEvents.clear();
    dll.registerKeys(key_callback, exchangeBuffer);
    dll.init(event_callback, nullptr, reinterpret_cast<unsigned char*>(const_cast<char*>(kRealm)),
             kImsiLength);
}

unsigned wire_length(const Bytes& packet) {
    return packet.size() >= 4 ? (packet[2] << 8 | packet[3]) : 0;
}

// The network side of one AKA-Challenge (RFC 4187 sections 7 and 9.3).
struct Challenge {
    uint8_t res[8], ck[16], ik[16], ak[6], macA[8];
    uint8_t kAut[16];
    uint8_t msk[64];
    Bytes packet;
};

Challenge make_challenge(const std::string& identity, uint8_t identifier, const uint8_t sqn[6]) {
    // The authentication centre's Milenage reads its OPc and constants from
    // this program's own session record.
    std::memcpy(g_session.opc, kOpc.data(), 16);
    for (int i = 0; i < 5; ++i) {
        std::memset(g_session.milenageC[i], 0, 16);
        g_session.milenageC[i][15] = kStandardC[i];
        g_session.milenageR[i] = kStandardR[i];
    }
    Challenge c{};
    const uint8_t amf[2] = {0x80, 0x00};
    milenage_f2345(kK.data(), kRand.data(), c.res, c.ck, c.ik, c.ak);
    milenage_f1(kK.data(), kRand.data(), sqn, amf, c.macA);

    Bytes mkInput(identity.begin(), identity.end());
    mkInput.insert(mkInput.end(), c.ik, c.ik + 16);
    mkInput.insert(mkInput.end(), c.ck, c.ck + 16);
    Sha1Context sha;
    uint8_t mk[20];
    sha1_reset(&sha);
    sha1_input(&sha, mkInput.data(), static_cast<unsigned>(mkInput.size()));
    sha1_result(&sha, mk);
    uint8_t x[160];
    fips186_prf(mk, x);
    std::memcpy(c.kAut, x + 16, 16);
    std::memcpy(c.msk, x + 32, 64);

    // Code, Identifier, Length 68, Type 23, Subtype 1 (AKA-Challenge),
    // then AT_RAND, AT_AUTN and AT_MAC, each 20 bytes.
    c.packet = {1, identifier, 0, 68, 23, 1, 0, 0, 1, 5, 0, 0};
    c.packet.insert(c.packet.end(), kRand.begin(), kRand.end());
    c.packet.insert(c.packet.end(), {2, 5, 0, 0});
    for (int i = 0; i < 6; ++i) c.packet.push_back(sqn[i] ^ c.ak[i]);
    c.packet.insert(c.packet.end(), amf, amf + 2);
    c.packet.insert(c.packet.end(), c.macA, c.macA + 8);
    c.packet.insert(c.packet.end(), {11, 5, 0, 0});
    c.packet.resize(68, 0);
    hmac_sha1(c.kAut, 16, c.packet.data(), 68, c.packet.data() + 52, 16);
    return c;
}

// RFC 2202 test case 1, through the DLL's own export.
void check_hmac_export(const Dll& dll) {
    const Bytes key(20, 0x0b);
    const char data[] = "Hi There";
    uint8_t mac[20] = {};
    dll.hmac(key.data(), 20, data, 8, mac, 20);
    check(Bytes(mac, mac + 20) == hex("b617318655057264e28bc0b6fb378c8ef146be00"),
          "hmac_sha1 export matches RFC 2202 test case 1");
}

void run_authentication(const Dll& dll) {
    check_hmac_export(dll);
    start(dll);

    uint8_t mskBefore[64];
    std::memset(mskBefore, 0xAA, sizeof mskBefore);
    dll.getAaa(mskBefore);
    check(Bytes(mskBefore, mskBefore + 64) == Bytes(64, 0), "getAAA before any derivation is zero");

    Bytes response;
    int result = exchange(dll, {1, 1, 0, 5, 1}, &response);
    const std::string identity = std::string(kImsi) + kRealm;
    check(result == EAPAKA_RESULT_RESPONSE, "Identity request answered (result 2)");
    check(response.size() == 5 + identity.size() && wire_length(response) == response.size() &&
              response[0] == 2 && response[1] == 1 && response[4] == 1 &&
              std::string(response.begin() + 5, response.end()) == identity,
          "Identity response carries the permanent identity and realm");

    const uint8_t sqn[6] = {0, 0, 0, 0, 0, 0x20};  // SEQ 1, IND 0
    Challenge c = make_challenge(identity, 2, sqn);
    keyRequests.clear();
    result = exchange(dll, c.packet, &response);
    check(result == EAPAKA_RESULT_AUTH_RESPONSE, "AKA-Challenge answered (result 17)");
    check(response.size() == 40 && wire_length(response) == 40 && response[0] == 2 &&
              response[1] == 2 && response[4] == 23 && response[5] == 1,
          "AKA-Challenge response header, Length 40");
    if (response.size() == 40) {
        check(Bytes(response.begin() + 8, response.begin() + 12) == Bytes{3, 3, 0, 64} &&
                  std::memcmp(response.data() + 12, c.res, 8) == 0,
              "AT_RES carries RES of Milenage f2");
        Bytes zeroed = response;
        std::memset(zeroed.data() + 24, 0, 16);
        uint8_t mac[16];
        hmac_sha1(c.kAut, 16, zeroed.data(), 40, mac, 16);
        check(response[20] == 11 && response[21] == 5 && std::memcmp(response.data() + 24, mac, 16) == 0,
              "AT_MAC of the response verifies under K_aut");
    }
    bool seqStored = false;
    for (unsigned long r : keyRequests) seqStored |= r == EAPAKA_AUTHKEY_STORE_SEQMS;
    check(seqStored && storeCopy[EAPAKA_KEB_SEQMS + 5] == 1, "accepted SEQ stored in entry 0");

    result = exchange(dll, {3, 2, 0, 4}, &response);
    check(result == EAPAKA_RESULT_SUCCESS_PERMANENT, "EAP-Success with the permanent identity (13)");
    uint8_t msk[64];
    dll.getAaa(msk);
    check(std::memcmp(msk, c.msk, 64) == 0, "getAAA returns the MSK the network derived");
    check(hostEvents.empty(), "no host event during a successful authentication");
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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::printf("usage: %s DLL authenticate|timeout\n", argv[0]);
        return 2;
    }
    Dll dll;
    if (!load(argv[1], &dll)) return 1;
    const std::string mode = argv[2];
    if (mode == "authenticate") {
        run_authentication(dll);
    } else if (mode == "timeout") {
        run_timeout(dll);
    } else {
        std::printf("unknown mode %s\n", argv[2]);
        return 2;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
