// Big-endian loads and stores: SHA-1 and AES read and write their words most
// significant byte first (FIPS 180, FIPS-197).
#ifndef EAPAKA_CRYPTO_BYTE_ORDER_H
#define EAPAKA_CRYPTO_BYTE_ORDER_H

#include <cstdint>

// The 32-bit word whose most significant byte is p[0].
inline uint32_t load_be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

// Writes w to p[0..3], most significant byte first.
inline void store_be32(uint8_t* p, uint32_t w) {
    p[0] = static_cast<uint8_t>(w >> 24);
    p[1] = static_cast<uint8_t>(w >> 16);
    p[2] = static_cast<uint8_t>(w >> 8);
    p[3] = static_cast<uint8_t>(w);
}

// Left rotation of a 32-bit word by n, 0 < n < 32.
inline uint32_t rotl32(uint32_t x, unsigned n) { return x << n | x >> (32 - n); }

#endif
