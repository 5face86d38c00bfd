// SHA-256 (FIPS 180-4 section 6.2), the hash of EAP-AKA' (RFC 9048): its
// AT_CHECKCODE, and through HMAC-SHA-256 its AT_MAC, PRF' and the 3GPP key
// derivation function.
#ifndef EAPAKA_CRYPTO_SHA256_H
#define EAPAKA_CRYPTO_SHA256_H

#include <cstddef>
#include <cstdint>

constexpr unsigned SHA256_DIGEST_SIZE = 32;
constexpr unsigned SHA256_BLOCK_SIZE = 64;

struct Sha256Context {
    uint32_t state[8];
    uint64_t byteCount;   // bytes fed since the reset
    uint8_t block[SHA256_BLOCK_SIZE];
    uint32_t blockIndex;  // bytes pending in block, always below 64
};

// Starts a new digest. A null context is ignored.
void sha256_reset(Sha256Context* context);

// Appends `length` bytes. A null context is ignored, and so are null bytes
// (as an empty input).
void sha256_input(Sha256Context* context, const uint8_t* bytes, size_t length);

// Pads the message (FIPS 180-4 section 5.1.1), writes the 32-byte digest and
// wipes the pending block; the context is then spent until the next reset.
// Null arguments write nothing.
void sha256_result(Sha256Context* context, uint8_t digest[32]);

// The digest of `length` bytes in one call.
void sha256(const uint8_t* bytes, size_t length, uint8_t digest[32]);

#endif
