// SHA-1 (FIPS 180) with the three-call interface of RFC 3174, and a switch
// (g_session.sha1RawMode == 1) that turns finalisation into the unpadded
// single compression used as the FIPS 186-2 G function.
#ifndef EAPAKA_CRYPTO_SHA1_H
#define EAPAKA_CRYPTO_SHA1_H

#include <cstdint>

enum {
    SHA1_SUCCESS = 0,
    SHA1_NULL = 1,        // null argument, or message of 2^64 bits or more
    SHA1_STATE_ERROR = 3  // input after the digest was taken
};

constexpr unsigned SHA1_DIGEST_SIZE = 20;
constexpr unsigned SHA1_BLOCK_SIZE = 64;

struct Sha1Context {
    uint32_t intermediateHash[5];
    uint32_t lengthLow;
    uint32_t lengthHigh;
    int32_t blockIndex;
    uint8_t block[64];
    int32_t computed;
    int32_t error;
};

int sha1_reset(Sha1Context* context);
int sha1_input(Sha1Context* context, const uint8_t* bytes, unsigned length);
int sha1_result(Sha1Context* context, uint8_t digest[20]);
void sha1_process_block(Sha1Context* context);

// hmac_sha1 is declared in eapaka/eapaka.h (exported).

#endif
