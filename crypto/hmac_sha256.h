// HMAC-SHA-256 (RFC 2104 with SHA-256; RFC 4231), the MAC of EAP-AKA'
// (RFC 9048 section 3.3: AT_MAC is its first 16 bytes) and the function
// under PRF' and the 3GPP key derivation function.
#ifndef EAPAKA_CRYPTO_HMAC_SHA256_H
#define EAPAKA_CRYPTO_HMAC_SHA256_H

#include <cstddef>
#include <cstdint>

#include "crypto/sha256.h"

constexpr unsigned HMAC_SHA256_SIZE = SHA256_DIGEST_SIZE;

// A keyed MAC computation: the inner hash under way and the outer hash
// already fed with the padded key, so that a copy of a freshly keyed context
// starts another MAC under the same key without hashing the key again.
struct HmacSha256Context {
    Sha256Context inner;
    Sha256Context outer;
};

// Keys the context. A key longer than the 64-byte block is replaced by its
// SHA-256 digest (RFC 2104 section 2); a null key counts as empty. A null
// context is ignored.
void hmac_sha256_init(HmacSha256Context* context, const uint8_t* key, size_t keyLength);

// Appends `length` bytes of the message; null arguments are ignored.
void hmac_sha256_input(HmacSha256Context* context, const uint8_t* data, size_t length);

// Writes the 32-byte MAC; the context is then spent. Null arguments write
// nothing.
void hmac_sha256_result(HmacSha256Context* context, uint8_t mac[32]);

// The 32-byte MAC of `length` bytes under `key` in one call.
void hmac_sha256(const uint8_t* key, size_t keyLength, const uint8_t* data, size_t length, uint8_t mac[32]);

#endif
