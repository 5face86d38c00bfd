// Fixed-subscriber host for the fuzz targets; see fuzz_host.h.
#include "fuzz/fuzz_host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "api/session.h"
#include "eap/eap_packet.h"
#include "platform/platform.h"

const char FUZZ_REALM[] = "@eapaka.test";
FuzzHostLog g_fuzz_log;

namespace {

constexpr size_t EAP_HEADER = 4;
constexpr size_t RESPONSE_ROOM = 256;   // what the host must give `out`
constexpr uint8_t OUT_FILL = 0xA5;       // marks bytes the library must not touch
constexpr unsigned short OUT_LEN_UNSET = 0xBEEF;
constexpr uint64_t RESPONSE_TIMER_MS = 10000;
constexpr uint32_t STATUS_CODE_FIRST = 0x12000;
constexpr uint32_t STATUS_CODE_LAST = 0x12100;

// Where the trace would go: a directory that does not exist keeps it off,
// unless EAPAKA_FUZZ_TRACE names a file to trace into while debugging.
const char TRACE_OFF[] = "/nonexistent/eapaka-fuzz/msginfo.log";

uint8_t g_keyBuffer[EAPAKA_KEB_SIZE];
uint64_t g_nowMs;
bool g_started;
// The host's own view of the exchange: the flags it set, and whether the
// library returned 17 since the exchange began.
unsigned g_flags;
bool g_serverAuthenticated;

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "fuzz host: %s\n", what);
    std::abort();
}

void hex16(const char* hex, uint8_t* out) {
    for (int i = 0; i < 16; ++i) {
        unsigned byte = 0;
        std::sscanf(hex + 2 * i, "%2x", &byte);
        out[i] = static_cast<uint8_t>(byte);
    }
}

uint64_t fake_now() { return g_nowMs; }

bool strict() { return (g_flags & EAP_COMPAT_STRICT_SUCCESS) != 0; }

bool is_success(int r) {
    return r == EAPAKA_RESULT_SUCCESS_PSEUDONYM || r == EAPAKA_RESULT_SUCCESS_PERMANENT ||
           r == EAPAKA_RESULT_SUCCESS_ALT_KEYS;
}

// Follows the exchange from the host's side: 17 means the server's AT_MAC
// verified; an outcome, an answered EAP-Request/Identity (no resent one can
// follow a 17) or EAP_Init starts the next exchange.
void follow_exchange(int result, const std::vector<uint8_t>& out) {
    if (is_success(result) && strict() && !g_serverAuthenticated)
        broken("strict: success result without an authenticated server");
    if (result == EAPAKA_RESULT_AUTH_RESPONSE) g_serverAuthenticated = true;
    const bool identityAnswered = result == EAPAKA_RESULT_RESPONSE && out[4] == EAP_TYPE_IDENTITY;
    if (is_success(result) || result == EAPAKA_RESULT_FAILURE || identityAnswered) g_serverAuthenticated = false;
}

// The buffer is the host's store: loads find it filled, stores have
// already written it. Only the request code can be wrong.
void key_callback(unsigned long request) {
    ++g_fuzz_log.keyRequests;
    if (request < EAPAKA_AUTHKEY_LOAD || request > EAPAKA_AUTHKEY_STORE_SEQMS)
        broken("unknown key-store request");
}

int event_callback(unsigned int event, void* argument) {
    ++g_fuzz_log.events;
    const uintptr_t value = reinterpret_cast<uintptr_t>(argument);
    switch (event) {
    case EAPAKA_EVENT_TIMEOUT: {
        const auto* record = static_cast<const HostResultRecord*>(argument);
        if (record->result != EAPAKA_RESULT_SUCCESS_PSEUDONYM && record->result != EAPAKA_RESULT_FAILURE)
            broken("time-out record with an unknown result");
        if (strict() && record->result == EAPAKA_RESULT_SUCCESS_PSEUDONYM && !g_serverAuthenticated)
            broken("strict: time-out taken as success without an authenticated server");
        g_serverAuthenticated = false;  // the timer ends the exchange
        break;
    }
    case EAPAKA_EVENT_EAP_NOTIFICATION: {
        const auto* record = static_cast<const HostNotificationRecord*>(argument);
        if (record->length > sizeof record->text) broken("notification text beyond its record");
        // Read every byte the host is told about, so the sanitizer sees it.
        volatile uint8_t sum = 0;
        for (unsigned i = 0; i < record->length; ++i) sum = static_cast<uint8_t>(sum + record->text[i]);
        (void)sum;
        break;
    }
    case EAPAKA_EVENT_STATUS:
        // AT_NOTIFICATION codes are 16-bit; the library's own codes sit in
        // one block above them.
        if (value > 0xFFFF && (value < STATUS_CODE_FIRST || value > STATUS_CODE_LAST))
            broken("status event with an unknown code");
        break;
    default:
        broken("unknown event");
    }
    return 0;
}

void check_session_invariants() {
    const AkaSession& s = g_session;
    if (s.eapState < EAP_STATE_IDLE || s.eapState > EAP_STATE_FAILED) broken("EAP state out of range");
    if (s.akaState != AKA_STATE_OPEN && s.akaState != AKA_STATE_DONE) broken("method state out of range");
    if (s.identityMessageRecordLength > sizeof s.identityMessageRecord) broken("identity record overrun");
    if (s.identityLength > sizeof s.identity) broken("identity overrun");
    if (s.methodType != 0 && s.methodType != EAP_TYPE_AKA && s.methodType != EAP_TYPE_AKA_PRIME)
        broken("method of the exchange out of range");
    if (s.kdfOfferCount > KDF_LIST_MAX || s.atKdfCount > static_cast<int32_t>(KDF_LIST_MAX) ||
        s.atKdfInputLength > NETWORK_NAME_MAX)
        broken("EAP-AKA' list or name overrun");
}

void start_conversation(int permanentIdLength) {
    g_serverAuthenticated = false;
    EAP_Init(event_callback, nullptr, reinterpret_cast<unsigned char*>(const_cast<char*>(FUZZ_REALM)),
             permanentIdLength);
}

bool is_result(int r) {
    switch (r) {
    case EAPAKA_RESULT_RESPONSE:
    case EAPAKA_RESULT_SUCCESS_PSEUDONYM:
    case EAPAKA_RESULT_FAILURE:
    case EAPAKA_RESULT_SUCCESS_PERMANENT:
    case EAPAKA_RESULT_DROPPED:
    case EAPAKA_RESULT_AUTH_RESPONSE:
    case EAPAKA_RESULT_SUCCESS_ALT_KEYS:
        return true;
    default:
        return false;
    }
}

}  // namespace

// TS 35.206 standard constants: c1 = 0, c2..c5 with a single bit set in the
// last byte (1, 2, 4, 8); rotations 64, 0, 32, 64, 96 bits.
void fuzz_host_fill_subscriber(uint8_t* b) {
    std::memset(b, 0, EAPAKA_KEB_SIZE);
    std::memcpy(b + EAPAKA_KEB_PERMANENT_ID, "0001010123456789", 16);
    hex16("465b5ce8b199b49faa5f0a2ee238a6bc", b + EAPAKA_KEB_K);
    hex16("cd63cb71954a9f4e48a5994e37a02baf", b + EAPAKA_KEB_OPC);
    hex16("fec86ba6eb707ed08905757b1bb44b8f", b + EAPAKA_KEB_K_ALT);
    hex16("1006020f0a478bf6b699f15c062e42b3", b + EAPAKA_KEB_OPC_ALT);
    const uint8_t lastByte[5] = {0, 1, 2, 4, 8};
    const int32_t rotations[5] = {64, 0, 32, 64, 96};
    for (int i = 0; i < 5; ++i) {
        b[EAPAKA_KEB_C1 + 16 * i + 15] = lastByte[i];
        for (int k = 0; k < 4; ++k)
            b[EAPAKA_KEB_R1 + 4 * i + k] = static_cast<uint8_t>(uint32_t(rotations[i]) >> (8 * k));
    }
}

void fuzz_host_start() {
    if (!g_started) {
        const char* trace = std::getenv("EAPAKA_FUZZ_TRACE");
        platform_set_trace_path(trace != nullptr ? trace : TRACE_OFF);
        platform_set_clock(fake_now);
        g_started = true;
    }
    aka_session_reset();
    g_nowMs = 0;
    g_flags = 0;
    fuzz_host_fill_subscriber(g_keyBuffer);
    RegisterAuthKeyCallBack(key_callback, g_keyBuffer);
    start_conversation(FUZZ_PERMANENT_ID_LENGTH);
}

int fuzz_host_feed(const uint8_t* packet, size_t size) {
    g_fuzz_log = {};
    uint8_t header[EAP_HEADER] = {};
    std::memcpy(header, packet, size < EAP_HEADER ? size : EAP_HEADER);
    const size_t claimed = size_t{header[2]} << 8 | header[3];
    size_t room = size < EAP_HEADER ? EAP_HEADER : size;
    if (claimed > room) room = claimed;
    std::vector<uint8_t> in(room, 0);
    if (size != 0) std::memcpy(in.data(), packet, size);
    std::vector<uint8_t> out(RESPONSE_ROOM, OUT_FILL);
    unsigned short outLen = OUT_LEN_UNSET;

    const int result = EAP_layer(in.data(), out.data(), &outLen);

    if (!is_result(result)) broken("unknown EAP_layer result");
    if (result == EAPAKA_RESULT_RESPONSE || result == EAPAKA_RESULT_AUTH_RESPONSE) {
        if (outLen < EAP_HEADER + 1 || outLen > RESPONSE_ROOM) broken("response size out of range");
        if ((size_t{out[2]} << 8 | out[3]) != outLen) broken("response Length differs from outLen");
        if (out[0] != 2 || out[1] != in[1]) broken("response header does not answer the request");
    } else {
        if (outLen != OUT_LEN_UNSET) broken("outLen written without a response");
        for (uint8_t b : out)
            if (b != OUT_FILL) broken("out written without a response");
    }
    check_session_invariants();
    follow_exchange(result, out);
    return result;
}

void fuzz_host_timer_expiry() {
    g_nowMs += RESPONSE_TIMER_MS;
    EAP_DispatchTimers();
    check_session_invariants();
}

void fuzz_host_run_conversation(const uint8_t* data, size_t size) {
    fuzz_host_start();
    size_t at = 0;
    while (size - at >= FUZZ_RECORD_HEADER) {
        const uint16_t length = static_cast<uint16_t>(data[at] << 8 | data[at + 1]);
        at += FUZZ_RECORD_HEADER;
        if (length == FUZZ_RECORD_TIMER) {
            fuzz_host_timer_expiry();
        } else if (length == FUZZ_RECORD_INIT) {
            start_conversation(at < size ? static_cast<int8_t>(data[at++]) : 0);
        } else if (length == FUZZ_RECORD_NO_KEY_STORE) {
            RegisterAuthKeyCallBack(nullptr, nullptr);
        } else if (length == FUZZ_RECORD_COMPATIBILITY) {
            g_flags = 0;
            for (int i = 0; i < 2 && at < size; ++i) g_flags = g_flags << 8 | data[at++];
            EAP_SetCompatibility(g_flags);
        } else {
            const size_t take = length < size - at ? length : size - at;
            fuzz_host_feed(data + at, take);
            at += take;
        }
    }
}

bool fuzz_write_seed(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<uint8_t> fuzz_compatibility_record(unsigned flags) {
    return {FUZZ_RECORD_COMPATIBILITY >> 8, FUZZ_RECORD_COMPATIBILITY & 0xFF, static_cast<uint8_t>(flags >> 8),
            static_cast<uint8_t>(flags)};
}
