// PRF' (RFC 9048 section 3.4): HMAC-SHA-256 in feedback mode with a one-byte
// block counter. The key is hashed into its pads once; every block starts
// from a copy of that keyed context.
#include "crypto/prf_prime.h"

#include <cstring>

void prf_prime(const uint8_t* key, size_t keyLength, const ByteSpan* parts, unsigned count, uint8_t* out,
               size_t length) {
    if (out == nullptr || length > PRF_PRIME_MAX_OUTPUT) return;
    HmacSha256Context keyed;
    hmac_sha256_init(&keyed, key, keyLength);
    uint8_t block[HMAC_SHA256_SIZE];
    size_t written = 0;
    for (uint8_t n = 1; written < length; ++n) {
        HmacSha256Context context = keyed;
        if (n > 1) hmac_sha256_input(&context, block, sizeof block);  // T(n-1)
        for (unsigned i = 0; i < count; ++i) hmac_sha256_input(&context, parts[i].bytes, parts[i].length);
        hmac_sha256_input(&context, &n, 1);
        hmac_sha256_result(&context, block);
        const size_t take = length - written < sizeof block ? length - written : sizeof block;
        std::memcpy(out + written, block, take);
        written += take;
    }
}
