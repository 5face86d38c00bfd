// Constant AES data (FIPS-197), computed at compile time from the field
// arithmetic of GF(2^8) modulo x^8 + x^4 + x^3 + x + 1. Shared by the
// table-driven cipher and the byte-oriented Milenage kernel.
#ifndef EAPAKA_CRYPTO_AES_TABLES_H
#define EAPAKA_CRYPTO_AES_TABLES_H

#include <cstdint>

struct AesTables {
    uint8_t sbox[256];      // SubBytes (FIPS-197 5.1.1)
    uint8_t invSbox[256];   // InvSubBytes (5.3.2)
    uint8_t xtime[256];     // multiplication by x (4.2.1)
    // enc[j][a]: column contribution of S[a] entering MixColumns in row j,
    // bytes most significant first; enc[j] is enc[0] rotated right 8j bits.
    uint32_t enc[4][256];
    uint32_t encLast[256];  // S[a] in all four bytes, masked per row
    // dec[j][a]: the same for InvSubBytes then InvMixColumns.
    uint32_t dec[4][256];
    uint32_t decLast[256];  // InvS[a] in all four bytes
    uint32_t rcon[10];      // x^(i) in the most significant byte
};

extern const AesTables aes_tables;

#endif
