#include "tools/simnet/net_crypto.h"

#include <cstring>

#include "api/session.h"
#include "crypto/aes.h"
#include "crypto/fips186_prf.h"
#include "crypto/milenage.h"
#include "crypto/sha1.h"

namespace tool {

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

void net_mac(const uint8_t kAut[16], const Bytes& data, uint8_t mac[16]) {
    hmac_sha1(kAut, 16, data.data(), static_cast<int>(data.size()), mac, 16);
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
