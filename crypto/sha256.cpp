// SHA-256 (FIPS 180-4 sections 4.1.2, 5.1.1, 6.2) behind a reset/input/result
// interface like that of SHA-1. The bit count is the byte count times 8
// modulo 2^64: messages are far below 2^61 bytes here.
#include "crypto/sha256.h"

#include <cstring>

#include "crypto/byte_order.h"

namespace {

// FIPS 180-4 section 5.3.3: the first 32 bits of the fractional parts of the
// square roots of the first eight primes.
constexpr uint32_t kInitialHash[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                      0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

// FIPS 180-4 section 4.2.2: the first 32 bits of the fractional parts of the
// cube roots of the first 64 primes.
constexpr uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr unsigned kLengthOffset = SHA256_BLOCK_SIZE - 8;  // where the bit count goes
constexpr uint8_t kPadMarker = 0x80;                        // the "1" bit that ends the message

inline uint32_t rotr32(uint32_t x, unsigned n) { return x >> n | x << (32 - n); }

// The six logical functions of FIPS 180-4 section 4.1.2.
inline uint32_t f_choose(uint32_t x, uint32_t y, uint32_t z) { return (x & y) ^ (~x & z); }
inline uint32_t f_majority(uint32_t x, uint32_t y, uint32_t z) { return (x & y) ^ (x & z) ^ (y & z); }
inline uint32_t big_sigma0(uint32_t x) { return rotr32(x, 2) ^ rotr32(x, 13) ^ rotr32(x, 22); }
inline uint32_t big_sigma1(uint32_t x) { return rotr32(x, 6) ^ rotr32(x, 11) ^ rotr32(x, 25); }
inline uint32_t small_sigma0(uint32_t x) { return rotr32(x, 7) ^ rotr32(x, 18) ^ x >> 3; }
inline uint32_t small_sigma1(uint32_t x) { return rotr32(x, 17) ^ rotr32(x, 19) ^ x >> 10; }

// W[t] for t >= 16, kept in a 16-word ring: W[t-2], W[t-7], W[t-15] and
// W[t-16] sit at (t+14), (t+9), (t+1) and t modulo 16.
inline uint32_t expand(uint32_t w[16], unsigned t) {
    return w[t & 15] += small_sigma1(w[(t + 14) & 15]) + w[(t + 9) & 15] + small_sigma0(w[(t + 1) & 15]);
}

// One step of the 64; the caller rotates the roles of a..h instead of
// moving the values (the new e lands in d, the new a in h), eight steps at
// a time.
#define SHA256_STEP(a, b, c, d, e, f, g, h, t, wt)                                          \
    do {                                                                                    \
        const uint32_t t1 = h + big_sigma1(e) + f_choose(e, f, g) + kRoundConstants[t] + (wt); \
        d += t1;                                                                            \
        h = t1 + big_sigma0(a) + f_majority(a, b, c);                                       \
    } while (0)

#define SHA256_EIGHT(t, W)                                  \
    SHA256_STEP(a, b, c, d, e, f, g, h, t, W(t));           \
    SHA256_STEP(h, a, b, c, d, e, f, g, t + 1, W(t + 1));   \
    SHA256_STEP(g, h, a, b, c, d, e, f, t + 2, W(t + 2));   \
    SHA256_STEP(f, g, h, a, b, c, d, e, t + 3, W(t + 3));   \
    SHA256_STEP(e, f, g, h, a, b, c, d, t + 4, W(t + 4));   \
    SHA256_STEP(d, e, f, g, h, a, b, c, t + 5, W(t + 5));   \
    SHA256_STEP(c, d, e, f, g, h, a, b, t + 6, W(t + 6));   \
    SHA256_STEP(b, c, d, e, f, g, h, a, t + 7, W(t + 7))

// The FIPS 180-4 section 6.2.2 compression of one 64-byte block into state.
void sha256_compress(uint32_t state[8], const uint8_t block[SHA256_BLOCK_SIZE]) {
    uint32_t w[16];
    for (unsigned i = 0; i < 16; ++i) w[i] = load_be32(block + 4 * i);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];

#define W_LOADED(t) w[t]
#define W_EXPANDED(t) expand(w, t)
    SHA256_EIGHT(0, W_LOADED);
    SHA256_EIGHT(8, W_LOADED);
    for (unsigned t = 16; t < 64; t += 8) { SHA256_EIGHT(t, W_EXPANDED); }
#undef W_LOADED
#undef W_EXPANDED
#undef SHA256_EIGHT
#undef SHA256_STEP

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

}  // namespace

void sha256_reset(Sha256Context* context) {
    if (context == nullptr) return;
    std::memcpy(context->state, kInitialHash, sizeof kInitialHash);
    context->byteCount = 0;
    context->blockIndex = 0;
}

void sha256_input(Sha256Context* context, const uint8_t* bytes, size_t length) {
    if (context == nullptr || bytes == nullptr) return;
    context->byteCount += length;
    while (length > 0) {
        if (context->blockIndex == 0 && length >= SHA256_BLOCK_SIZE) {
            // A whole block with nothing pending: no copy needed.
            sha256_compress(context->state, bytes);
            bytes += SHA256_BLOCK_SIZE;
            length -= SHA256_BLOCK_SIZE;
            continue;
        }
        const size_t room = SHA256_BLOCK_SIZE - context->blockIndex;
        const size_t take = length < room ? length : room;
        std::memcpy(context->block + context->blockIndex, bytes, take);
        context->blockIndex += static_cast<uint32_t>(take);
        bytes += take;
        length -= take;
        if (context->blockIndex == SHA256_BLOCK_SIZE) {
            sha256_compress(context->state, context->block);
            context->blockIndex = 0;
        }
    }
}

void sha256_result(Sha256Context* context, uint8_t digest[32]) {
    if (context == nullptr || digest == nullptr) return;
    const uint64_t bits = context->byteCount * 8;
    uint8_t* block = context->block;
    unsigned index = context->blockIndex;
    block[index++] = kPadMarker;
    if (index > kLengthOffset) {
        std::memset(block + index, 0, SHA256_BLOCK_SIZE - index);
        sha256_compress(context->state, block);
        index = 0;
    }
    std::memset(block + index, 0, kLengthOffset - index);
    store_be32(block + kLengthOffset, static_cast<uint32_t>(bits >> 32));
    store_be32(block + kLengthOffset + 4, static_cast<uint32_t>(bits));
    sha256_compress(context->state, block);
    std::memset(block, 0, SHA256_BLOCK_SIZE);
    context->blockIndex = 0;
    for (unsigned i = 0; i < 8; ++i) store_be32(digest + 4 * i, context->state[i]);
}

void sha256(const uint8_t* bytes, size_t length, uint8_t digest[32]) {
    Sha256Context context;
    sha256_reset(&context);
    sha256_input(&context, bytes, length);
    sha256_result(&context, digest);
}
