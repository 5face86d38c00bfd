// The FIPS 186-2 PRF of RFC 4187 on OpenSSL's SHA1_Transform, allocation
// free, and PRF' of RFC 9048 on OpenSSL's HMAC: the references the
// benchmarks time the library's PRFs against.
#ifndef EAPAKA_BENCH_PRF_REFERENCE_H
#define EAPAKA_BENCH_PRF_REFERENCE_H

#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <cstdint>
#include <cstring>

// Eight G evaluations (one unpadded compression each), XKEY = 1 + XKEY + w
// after each, the 160-bit additions carried byte by byte.
inline void prf160_reference(const uint8_t xkey[20], uint8_t output[160]) {
    uint8_t key[20];
    std::memcpy(key, xkey, 20);
    for (int i = 0; i < 8; ++i) {
        SHA_CTX ctx;
        SHA1_Init(&ctx);
        uint8_t block[64] = {};
        std::memcpy(block, key, 20);
        SHA1_Transform(&ctx, block);
        const SHA_LONG h[5] = {ctx.h0, ctx.h1, ctx.h2, ctx.h3, ctx.h4};
        uint8_t* w = output + 20 * i;
        for (int j = 0; j < 5; ++j)
            for (int b = 0; b < 4; ++b) w[4 * j + b] = static_cast<uint8_t>(h[j] >> (24 - 8 * b));
        unsigned carry = 1;
        for (int b = 19; b >= 0; --b) {
            carry += key[b] + w[b];
            key[b] = static_cast<uint8_t>(carry);
            carry >>= 8;
        }
    }
}

// The first `blocks` 32-byte blocks of PRF'(key, s): T1 = HMAC-SHA-256(key,
// s | 1), Tn = HMAC-SHA-256(key, T(n-1) | s | n), the key set up once.
inline void prf_prime_reference(const uint8_t* key, size_t keyLength, const uint8_t* s, size_t sLength,
                                uint8_t* out, uint8_t blocks) {
    HMAC_CTX* keyed = HMAC_CTX_new();
    HMAC_CTX* block = HMAC_CTX_new();
    HMAC_Init_ex(keyed, key, static_cast<int>(keyLength), EVP_sha256(), nullptr);
    for (uint8_t n = 1; n <= blocks; ++n) {
        HMAC_CTX_copy(block, keyed);
        if (n > 1) HMAC_Update(block, out + 32 * (n - 2), 32);
        HMAC_Update(block, s, sLength);
        HMAC_Update(block, &n, 1);
        unsigned int length = 0;
        HMAC_Final(block, out + 32 * (n - 1), &length);
    }
    HMAC_CTX_free(block);
    HMAC_CTX_free(keyed);
}

#endif
