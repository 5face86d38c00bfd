#include "tools/simnet/net_crypto.h"

#include <cstring>

#include "api/session.h"
#include "crypto/aes.h"
#include "crypto/fips186_prf.h"
#include "crypto/milenage.h"
#include "crypto/sha1.h"

namespace tool {

constexpr size_t MAC_BYTES = 16;  // HMAC-SHA1-128 (RFC 4187 10.15)

MilenageConstants MilenageConstants::standard() {
    // TS 35.206 section 4.1: c1 = 0, c2..c5 = 1, 2, 4, 8 in the last byte;
    // r1..r5 = 64, 0, 32, 64, 96.
    MilenageConstants m{};
    const uint8_t last[5] = {0, 1, 2, 4, 8};
    const int32_t rotations[5] = {64, 0, 32, 64, 96};
    for (int i = 0; i < 5; ++i) {
        m.c[i][15] = last[i];
        m.r[i] = rotations[i];
    }
    return m;
}

// The static core's Milenage reads OPc and the constants from its session
// record; load them right before each call.
static void load_network_milenage(const MilenageKeys& keys, const MilenageConstants& constants) {
    std::memcpy(g_session.opc, keys.opc, sizeof g_session.opc);
    std::memcpy(g_session.milenageC, constants.c, sizeof g_session.milenageC);
    std::memcpy(g_session.milenageR, constants.r, sizeof g_session.milenageR);
}

void net_f1(const MilenageKeys& keys, const MilenageConstants& constants, const uint8_t rand[16],
            const uint8_t sqn[6], const uint8_t amf[2], uint8_t macA[8]) {
    load_network_milenage(keys, constants);
    milenage_f1(keys.k, rand, sqn, amf, macA);
}

void net_f1star(const MilenageKeys& keys, const MilenageConstants& constants,
                const uint8_t rand[16], const uint8_t sqn[6], const uint8_t amf[2],
                uint8_t macS[8]) {
    load_network_milenage(keys, constants);
    milenage_f1star(keys.k, rand, sqn, amf, macS);
}

void net_f2345(const MilenageKeys& keys, const MilenageConstants& constants,
               const uint8_t rand[16], uint8_t res[8], uint8_t ck[16], uint8_t ik[16],
               uint8_t ak[6]) {
    load_network_milenage(keys, constants);
    milenage_f2345(keys.k, rand, res, ck, ik, ak);
}

void net_f5star(const MilenageKeys& keys, const MilenageConstants& constants,
                const uint8_t rand[16], uint8_t ak[6]) {
    load_network_milenage(keys, constants);
    milenage_f5star(keys.k, rand, ak);
}

void net_sha1(const Bytes& data, uint8_t digest[20]) {
    Sha1Context context;
    sha1_reset(&context);
    sha1_input(&context, data.data(), static_cast<unsigned>(data.size()));
    sha1_result(&context, digest);
}

// HMAC (RFC 2104) over the static core's SHA-1, so that the network never
// calls into the shared library's exported hmac_sha1.
void net_mac(const uint8_t kAut[16], const Bytes& data, uint8_t mac[16]) {
    uint8_t inner[SHA1_BLOCK_SIZE];
    uint8_t outer[SHA1_BLOCK_SIZE];
    std::memset(inner, 0x36, sizeof inner);
    std::memset(outer, 0x5C, sizeof outer);
    for (int i = 0; i < 16; ++i) {
        inner[i] ^= kAut[i];
        outer[i] ^= kAut[i];
    }
    Sha1Context context;
    uint8_t digest[SHA1_DIGEST_SIZE];
    sha1_reset(&context);
    sha1_input(&context, inner, sizeof inner);
    sha1_input(&context, data.data(), static_cast<unsigned>(data.size()));
    sha1_result(&context, digest);
    sha1_reset(&context);
    sha1_input(&context, outer, sizeof outer);
    sha1_input(&context, digest, sizeof digest);
    sha1_result(&context, digest);
    std::memcpy(mac, digest, MAC_BYTES);
}

void net_prf(const uint8_t xkey[20], uint8_t out[160]) { fips186_prf(xkey, out); }

void net_encrypt(const uint8_t key[16], const uint8_t iv[16], Bytes& data) {
    aes_cbc_encrypt(key, iv, data.data(), static_cast<unsigned>(data.size()));
}

void net_decrypt(const uint8_t key[16], const uint8_t iv[16], Bytes& data) {
    aes_cbc_decrypt(key, iv, data.data(), static_cast<unsigned>(data.size()));
}

bool net_equal(const uint8_t* a, const uint8_t* b, size_t n) {
    uint8_t diff = 0;
    for (size_t i = 0; i < n; ++i) diff |= static_cast<uint8_t>(a[i] ^ b[i]);
    return diff == 0;
}

}  // namespace tool
