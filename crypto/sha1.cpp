// SHA-1 (FIPS 180-4 section 6.1) behind the reset/input/result interface of
// RFC 3174. The one addition is raw finalisation: while g_session.sha1RawMode
// is 1, the pending bytes are zero-filled to one block and compressed without
// the 0x80 marker and length, which is the G function of FIPS 186-2
// appendix 3.3 when exactly 20 bytes were fed.
#include "crypto/sha1.h"

#include <cstring>

#include "api/session.h"
#include "crypto/byte_order.h"

namespace {

constexpr uint32_t kInitialHash[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476,
                                      0xC3D2E1F0};
constexpr unsigned kLengthOffset = SHA1_BLOCK_SIZE - 8;  // where the bit count goes
constexpr uint8_t kRawModeOn = 1;
constexpr uint8_t kPadMarker = 0x80;  // the "1" bit that ends the message
// Round constants of steps 0-19, 20-39, 40-59 and 60-79.
constexpr uint32_t kChooseK = 0x5A827999, kParityK1 = 0x6ED9EBA1, kMajorityK = 0x8F1BBCDC,
                   kParityK2 = 0xCA62C1D6;

inline uint32_t f_choose(uint32_t b, uint32_t c, uint32_t d) { return (b & c) | (~b & d); }
inline uint32_t f_parity(uint32_t b, uint32_t c, uint32_t d) { return b ^ c ^ d; }
inline uint32_t f_majority(uint32_t b, uint32_t c, uint32_t d) { return (b & c) | (b & d) | (c & d); }

// W[t] for t >= 16, kept in a 16-word ring: W[t-3], W[t-8], W[t-14] and
// W[t-16] sit at (t+13), (t+8), (t+2) and t modulo 16.
inline uint32_t expand(uint32_t w[16], unsigned t) {
    uint32_t x = w[(t + 13) & 15] ^ w[(t + 8) & 15] ^ w[(t + 2) & 15] ^ w[t & 15];
    return w[t & 15] = rotl32(x, 1);
}

// One step of the 80; the caller rotates the roles of a..e instead of moving
// the values, five steps at a time.
#define SHA1_STEP(f, k, a, b, c, d, e, wt)            \
    do {                                              \
        e += rotl32(a, 5) + f(b, c, d) + (k) + (wt);  \
        b = rotl32(b, 30);                            \
    } while (0)

#define SHA1_FIVE(f, k, t, W)                   \
    SHA1_STEP(f, k, a, b, c, d, e, W(t));       \
    SHA1_STEP(f, k, e, a, b, c, d, W(t + 1));   \
    SHA1_STEP(f, k, d, e, a, b, c, W(t + 2));   \
    SHA1_STEP(f, k, c, d, e, a, b, W(t + 3));   \
    SHA1_STEP(f, k, b, c, d, e, a, W(t + 4))

// The FIPS 180-4 compression of one 64-byte block into h[0..4].
void sha1_compress(uint32_t h[5], const uint8_t block[SHA1_BLOCK_SIZE]) {
    uint32_t w[16];
    for (unsigned i = 0; i < 16; ++i) w[i] = load_be32(block + 4 * i);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];

#define W_LOADED(t) w[t]
#define W_EXPANDED(t) expand(w, t)
    SHA1_FIVE(f_choose, kChooseK, 0, W_LOADED);
    SHA1_FIVE(f_choose, kChooseK, 5, W_LOADED);
    SHA1_FIVE(f_choose, kChooseK, 10, W_LOADED);
    SHA1_STEP(f_choose, kChooseK, a, b, c, d, e, w[15]);
    SHA1_STEP(f_choose, kChooseK, e, a, b, c, d, expand(w, 16));
    SHA1_STEP(f_choose, kChooseK, d, e, a, b, c, expand(w, 17));
    SHA1_STEP(f_choose, kChooseK, c, d, e, a, b, expand(w, 18));
    SHA1_STEP(f_choose, kChooseK, b, c, d, e, a, expand(w, 19));
    for (unsigned t = 20; t < 40; t += 5) { SHA1_FIVE(f_parity, kParityK1, t, W_EXPANDED); }
    for (unsigned t = 40; t < 60; t += 5) { SHA1_FIVE(f_majority, kMajorityK, t, W_EXPANDED); }
    for (unsigned t = 60; t < 80; t += 5) { SHA1_FIVE(f_parity, kParityK2, t, W_EXPANDED); }
#undef W_LOADED
#undef W_EXPANDED
#undef SHA1_FIVE
#undef SHA1_STEP

    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
}

// Zero-fills the block from the block index up to `end`.
void zero_fill(Sha1Context* context, unsigned end) {
    std::memset(context->block + context->blockIndex, 0, end - context->blockIndex);
    context->blockIndex = static_cast<int32_t>(end);
}

// FIPS 180-4 section 5.1.1: 0x80, zeros, then the 64-bit bit count.
void sha1_pad_standard(Sha1Context* context) {
    const bool lengthFits = context->blockIndex < static_cast<int32_t>(kLengthOffset);
    context->block[context->blockIndex++] = kPadMarker;
    if (!lengthFits) {
        zero_fill(context, SHA1_BLOCK_SIZE);
        sha1_process_block(context);
    }
    zero_fill(context, kLengthOffset);
    store_be32(context->block + kLengthOffset, context->lengthHigh);
    store_be32(context->block + kLengthOffset + 4, context->lengthLow);
    sha1_process_block(context);
}

// G of FIPS 186-2: the pending bytes and zeros, one compression, no length.
void sha1_pad_raw(Sha1Context* context) {
    zero_fill(context, SHA1_BLOCK_SIZE);
    sha1_process_block(context);
}

}  // namespace

// Compresses the 64-byte block into the intermediate hash and empties the
// block (index 0). The context must not be null.
void sha1_process_block(Sha1Context* context) {
    sha1_compress(context->intermediateHash, context->block);
    context->blockIndex = 0;
}

// Starts a new digest. Returns SHA1_NULL for a null context, else
// SHA1_SUCCESS.
int sha1_reset(Sha1Context* context) {
    if (context == nullptr) return SHA1_NULL;
    std::memcpy(context->intermediateHash, kInitialHash, sizeof kInitialHash);
    context->lengthLow = 0;
    context->lengthHigh = 0;
    context->blockIndex = 0;
    context->computed = 0;
    context->error = 0;
    return SHA1_SUCCESS;
}

// Appends `length` bytes. A zero length returns SHA1_SUCCESS whatever the
// pointers; a null context or bytes returns SHA1_NULL; input after the digest
// was taken spoils the context and returns SHA1_STATE_ERROR; a spoilt context
// returns its error. A message reaching 2^64 bits spoils the context with
// SHA1_NULL, which shows from the next call on; this call still returns
// SHA1_SUCCESS.
int sha1_input(Sha1Context* context, const uint8_t* bytes, unsigned length) {
    if (length == 0) return SHA1_SUCCESS;
    if (context == nullptr || bytes == nullptr) return SHA1_NULL;
    if (context->computed) return context->error = SHA1_STATE_ERROR;
    if (context->error) return context->error;

    const uint64_t bitsSoFar = uint64_t{context->lengthHigh} << 32 | context->lengthLow;
    const uint64_t newBits = uint64_t{length} * 8;
    if (bitsSoFar > UINT64_MAX - newBits) {
        context->error = SHA1_NULL;  // the bit count cannot be represented
        return SHA1_SUCCESS;
    }
    const uint64_t bits = bitsSoFar + newBits;
    context->lengthLow = static_cast<uint32_t>(bits);
    context->lengthHigh = static_cast<uint32_t>(bits >> 32);

    while (length > 0) {
        if (context->blockIndex == 0 && length >= SHA1_BLOCK_SIZE) {
            // A whole block with nothing pending: no copy needed.
            sha1_compress(context->intermediateHash, bytes);
            bytes += SHA1_BLOCK_SIZE;
            length -= SHA1_BLOCK_SIZE;
            continue;
        }
        unsigned room = SHA1_BLOCK_SIZE - static_cast<unsigned>(context->blockIndex);
        unsigned take = length < room ? length : room;
        std::memcpy(context->block + context->blockIndex, bytes, take);
        context->blockIndex += static_cast<int32_t>(take);
        bytes += take;
        length -= take;
        if (context->blockIndex == static_cast<int32_t>(SHA1_BLOCK_SIZE)) sha1_process_block(context);
    }
    return SHA1_SUCCESS;
}

// Finalises on the first call (standard padding, or raw while sha1RawMode is
// 1), clears the block and length, and writes the 20-byte digest. Later calls
// write the same digest. Returns SHA1_NULL for a null argument, the context's
// error if it is spoilt (digest untouched), else SHA1_SUCCESS.
int sha1_result(Sha1Context* context, uint8_t digest[20]) {
    if (context == nullptr || digest == nullptr) return SHA1_NULL;
    if (context->error) return context->error;
    if (!context->computed) {
        if (g_session.sha1RawMode == kRawModeOn)
            sha1_pad_raw(context);
        else
            sha1_pad_standard(context);
        std::memset(context->block, 0, sizeof context->block);
        context->lengthLow = 0;
        context->lengthHigh = 0;
        context->computed = 1;
    }
    for (unsigned i = 0; i < 5; ++i) store_be32(digest + 4 * i, context->intermediateHash[i]);
    return SHA1_SUCCESS;
}
