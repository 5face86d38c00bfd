// The host key store protocol. Reads are a pull (AUTHKEY_LOAD, then copy
// out of the shared buffer as soon as the callback returns); writes are a
// push (fill the buffer, then name what changed with a store request). The
// callback carries nothing but the request code.
//
// The host must register its callback and buffer before the first packet.
// If it has not, no pointer is followed: a load without a buffer zeroes its
// destination (so nothing uninitialised or stale is taken for key material),
// a load with a buffer but no callback copies what the buffer holds, and a
// store writes the buffer only when there is one and signals only when there
// is a callback.
#include "keystore/keystore.h"

#include <cstdio>
#include <cstring>

#include "api/session.h"
#include "platform/platform.h"

namespace {

constexpr unsigned KEY_SIZE = 16;
constexpr unsigned MILENAGE_CONSTANTS = 5;
constexpr unsigned MILENAGE_R_SIZE = 4;
constexpr size_t DEBUG_LINE_SIZE = 1024;

void keystore_request(unsigned long request) {
    if (g_session.authKeyCallBack != nullptr) g_session.authKeyCallBack(request);
}

// One field of the buffer, as the host left it.
void keystore_copy_out(unsigned offset, void* destination, size_t size) {
    if (g_session.keyExchangeBuffer == nullptr) {
        std::memset(destination, 0, size);
        return;
    }
    std::memcpy(destination, g_session.keyExchangeBuffer + offset, size);
}

// r1..r5 are signed 32-bit little-endian whatever the host's byte order.
int32_t keystore_read_r(const uint8_t* at) {
    const uint32_t value = static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
    int32_t r;
    std::memcpy(&r, &value, sizeof r);
    return r;
}

void keystore_log_pseudonym(const uint8_t* p) {
    char line[DEBUG_LINE_SIZE];
    std::snprintf(line, sizeof line,
                  "Original PseudonymID : %x %x %x %x %x %x %x %x %x %x\n"
                  "\t\t%x %x %x %x %x %x %x %x %x %x\n\t\t%x %x %x\n",
                  p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10], p[11], p[12],
                  p[13], p[14], p[15], p[16], p[17], p[18], p[19], p[20], p[21], p[22]);
    platform_debug_output(line);
}

}  // namespace

void keystore_load_permanent_id(uint8_t out[16]) {
    keystore_request(AUTHKEY_LOAD);
    keystore_copy_out(EAPAKA_KEB_PERMANENT_ID, out, PERMANENT_ID_SIZE);
}

void keystore_load_pseudonym(uint8_t out[23]) {
    keystore_request(AUTHKEY_LOAD);
    keystore_copy_out(EAPAKA_KEB_PSEUDONYM, out, PSEUDONYM_SIZE);
}

void keystore_load_key_set(uint8_t k[16]) {
    keystore_request(AUTHKEY_LOAD);
    keystore_copy_out(EAPAKA_KEB_K, k, KEY_SIZE);
    keystore_copy_out(EAPAKA_KEB_OPC, g_session.opc, KEY_SIZE);
}

void keystore_load_alt_key_set(uint8_t k[16]) {
    keystore_request(AUTHKEY_LOAD);
    keystore_copy_out(EAPAKA_KEB_K_ALT, k, KEY_SIZE);
    keystore_copy_out(EAPAKA_KEB_OPC_ALT, g_session.opc, KEY_SIZE);
}

void keystore_load_milenage_c() {
    keystore_request(AUTHKEY_LOAD);
    keystore_copy_out(EAPAKA_KEB_C1, g_session.milenageC, sizeof g_session.milenageC);
}

void keystore_load_milenage_r() {
    keystore_request(AUTHKEY_LOAD);
    uint8_t raw[MILENAGE_CONSTANTS * MILENAGE_R_SIZE];
    keystore_copy_out(EAPAKA_KEB_R1, raw, sizeof raw);
    for (unsigned i = 0; i < MILENAGE_CONSTANTS; ++i)
        g_session.milenageR[i] = keystore_read_r(raw + MILENAGE_R_SIZE * i);
}

void keystore_load_seqms() {
    keystore_request(AUTHKEY_LOAD);
    keystore_copy_out(EAPAKA_KEB_SEQMS, g_session.seqms, sizeof g_session.seqms);
}

// Only the 23 bytes the store has room for are kept; a longer pseudonym
// reaches the host cut.
void keystore_store_pseudonym(const uint8_t* source) {
    uint8_t* buffer = g_session.keyExchangeBuffer;
    if (buffer == nullptr || source == nullptr) return;
    std::memcpy(buffer + EAPAKA_KEB_PSEUDONYM, source, PSEUDONYM_SIZE);
    keystore_log_pseudonym(buffer + EAPAKA_KEB_PSEUDONYM);
    keystore_request(AUTHKEY_STORE_PSEUDONYM);
}

// The request names no index: the host persists the whole array.
void keystore_store_seq_entry(unsigned index, const uint8_t entry[6]) {
    uint8_t* buffer = g_session.keyExchangeBuffer;
    if (buffer == nullptr || entry == nullptr || index >= SEQMS_ENTRIES) return;
    std::memcpy(buffer + EAPAKA_KEB_SEQMS + SEQ_SIZE * index, entry, SEQ_SIZE);
    keystore_request(AUTHKEY_STORE_SEQMS);
}
