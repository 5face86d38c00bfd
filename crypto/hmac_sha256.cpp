// HMAC-SHA-256 (RFC 2104): SHA-256((K xor opad) | SHA-256((K xor ipad) | m))
// with the key zero-filled to the 64-byte block.
#include "crypto/hmac_sha256.h"

#include <cstring>

namespace {

constexpr uint8_t kInnerPad = 0x36;
constexpr uint8_t kOuterPad = 0x5C;

// Starts `context` on the key XOR `pad`, the key being at most one block.
void start_padded(Sha256Context* context, const uint8_t* key, size_t keyLength, uint8_t pad) {
    uint8_t block[SHA256_BLOCK_SIZE];
    std::memset(block, pad, sizeof block);
    for (size_t i = 0; i < keyLength; ++i) block[i] ^= key[i];
    sha256_reset(context);
    sha256_input(context, block, sizeof block);
}

}  // namespace

void hmac_sha256_init(HmacSha256Context* context, const uint8_t* key, size_t keyLength) {
    if (context == nullptr) return;
    if (key == nullptr) keyLength = 0;
    uint8_t hashedKey[SHA256_DIGEST_SIZE];
    if (keyLength > SHA256_BLOCK_SIZE) {
        sha256(key, keyLength, hashedKey);
        key = hashedKey;
        keyLength = sizeof hashedKey;
    }
    start_padded(&context->inner, key, keyLength, kInnerPad);
    start_padded(&context->outer, key, keyLength, kOuterPad);
}

void hmac_sha256_input(HmacSha256Context* context, const uint8_t* data, size_t length) {
    if (context == nullptr) return;
    sha256_input(&context->inner, data, length);
}

void hmac_sha256_result(HmacSha256Context* context, uint8_t mac[32]) {
    if (context == nullptr || mac == nullptr) return;
    uint8_t innerDigest[SHA256_DIGEST_SIZE];
    sha256_result(&context->inner, innerDigest);
    sha256_input(&context->outer, innerDigest, sizeof innerDigest);
    sha256_result(&context->outer, mac);
}

void hmac_sha256(const uint8_t* key, size_t keyLength, const uint8_t* data, size_t length, uint8_t mac[32]) {
    HmacSha256Context context;
    hmac_sha256_init(&context, key, keyLength);
    hmac_sha256_input(&context, data, length);
    hmac_sha256_result(&context, mac);
}
