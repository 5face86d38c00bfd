// Cryptography of the simulated network, built on the library's primitives
// linked statically into the tool.
//
// The tool holds two copies of the library: the shared library that the host
// side drives, and the static core that this file calls. Milenage, the AES
// cipher and the SHA-1 raw mode keep their working state in the session
// record, so the network side fills *its own* record (the static copy)
// before every Milenage call; the peer's record inside the shared library is
// never touched from here.
#ifndef EAPAKA_TOOLS_SIMNET_NET_CRYPTO_H
#define EAPAKA_TOOLS_SIMNET_NET_CRYPTO_H

#include <cstdint>

#include "tools/bytes.h"

namespace tool {

// Milenage constants (TS 35.206): c1..c5 and rotations r1..r5 in bits.
struct MilenageConstants {
    uint8_t c[5][16];
    int32_t r[5];
    static MilenageConstants standard();
};

struct MilenageKeys {
    uint8_t k[16];
    uint8_t opc[16];
};

// One AuC computation for (keys, constants). Outputs as TS 35.206 names them.
void net_f1(const MilenageKeys& keys, const MilenageConstants& constants, const uint8_t rand[16],
            const uint8_t sqn[6], const uint8_t amf[2], uint8_t macA[8]);
void net_f1star(const MilenageKeys& keys, const MilenageConstants& constants,
                const uint8_t rand[16], const uint8_t sqn[6], const uint8_t amf[2],
                uint8_t macS[8]);
void net_f2345(const MilenageKeys& keys, const MilenageConstants& constants,
               const uint8_t rand[16], uint8_t res[8], uint8_t ck[16], uint8_t ik[16],
               uint8_t ak[6]);
void net_f5star(const MilenageKeys& keys, const MilenageConstants& constants,
                const uint8_t rand[16], uint8_t ak[6]);

// SHA-1 digest (FIPS 180) of `data`.
void net_sha1(const Bytes& data, uint8_t digest[20]);
// HMAC-SHA1-128 as RFC 4187 section 10.15 uses it for AT_MAC.
void net_mac(const uint8_t kAut[16], const Bytes& data, uint8_t mac[16]);
// FIPS 186-2 PRF, 160 bytes from a 20-byte XKEY (RFC 4187 section 7).
void net_prf(const uint8_t xkey[20], uint8_t out[160]);
// AES-128-CBC in place over whole blocks (RFC 4187 section 10.12).
void net_encrypt(const uint8_t key[16], const uint8_t iv[16], Bytes& data);
void net_decrypt(const uint8_t key[16], const uint8_t iv[16], Bytes& data);

// Constant-time comparison of n bytes.
bool net_equal(const uint8_t* a, const uint8_t* b, size_t n);

}  // namespace tool

#endif
