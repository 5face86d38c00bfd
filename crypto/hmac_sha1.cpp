// HMAC-SHA1 (RFC 2104) with block size 64 and output size 20, exported for
// the host and used by the library for AT_MAC (RFC 4187 section 10.15,
// HMAC-SHA1-128: the first 16 bytes).
#include <cstring>

#include "crypto/sha1.h"
#include "eapaka/eapaka.h"

namespace {

constexpr uint8_t kInnerPad = 0x36;
constexpr uint8_t kOuterPad = 0x5C;

// A null pointer or a negative length is an empty input.
unsigned usable_length(const void* p, int length) {
    return (p == nullptr || length < 0) ? 0u : static_cast<unsigned>(length);
}

// SHA-1(pad(key) || message), with pad(key) the key XOR `pad`, then `pad`
// up to the block size; key is at most one block.
void padded_hash(const uint8_t* key, unsigned keyLength, uint8_t pad, const uint8_t* message,
                 unsigned messageLength, uint8_t digest[SHA1_DIGEST_SIZE]) {
    uint8_t block[SHA1_BLOCK_SIZE];
    std::memset(block, pad, sizeof block);
    for (unsigned i = 0; i < keyLength; ++i) block[i] ^= key[i];
    Sha1Context context;
    sha1_reset(&context);
    sha1_input(&context, block, sizeof block);
    sha1_input(&context, message, messageLength);
    sha1_result(&context, digest);
}

}  // namespace

// Writes the first macLength bytes of HMAC-SHA1(key, data) to mac. A key
// longer than 64 bytes is replaced by its SHA-1 digest. A null key or data,
// or a negative length, counts as empty; macLength below 1 or a null mac
// writes nothing; macLength above 20 writes the 20 bytes of the MAC and
// nothing beyond them. Relies on sha1RawMode being clear.
extern "C" void hmac_sha1(const void* key, int keyLength, const void* data, int dataLength,
                          unsigned char* mac, int macLength) {
    if (mac == nullptr || macLength < 1) return;

    const uint8_t* k = static_cast<const uint8_t*>(key);
    unsigned kLength = usable_length(key, keyLength);
    uint8_t hashedKey[SHA1_DIGEST_SIZE];
    if (kLength > SHA1_BLOCK_SIZE) {
        Sha1Context context;
        sha1_reset(&context);
        sha1_input(&context, k, kLength);
        sha1_result(&context, hashedKey);
        k = hashedKey;
        kLength = SHA1_DIGEST_SIZE;
    }

    uint8_t inner[SHA1_DIGEST_SIZE];
    padded_hash(k, kLength, kInnerPad, static_cast<const uint8_t*>(data),
                usable_length(data, dataLength), inner);
    uint8_t outer[SHA1_DIGEST_SIZE];
    padded_hash(k, kLength, kOuterPad, inner, sizeof inner, outer);

    const unsigned copied = macLength > static_cast<int>(SHA1_DIGEST_SIZE)
                                ? SHA1_DIGEST_SIZE
                                : static_cast<unsigned>(macLength);
    std::memcpy(mac, outer, copied);
}
