#include <cstring>

#include "api/session.h"
#include "crypto/sha1.h"
#include "support/random_bytes.h"
#include "support/oracle.h"

namespace {

// Digest of `data` fed in two calls split at `split`.
Bytes sha1_split(const Bytes& data, size_t split) {
    Sha1Context ctx;
    EXPECT_EQ(sha1_reset(&ctx), SHA1_SUCCESS);
    EXPECT_EQ(sha1_input(&ctx, data.data(), static_cast<unsigned>(split)), SHA1_SUCCESS);
    EXPECT_EQ(sha1_input(&ctx, data.data() + split, static_cast<unsigned>(data.size() - split)),
              SHA1_SUCCESS);
    Bytes digest(SHA1_DIGEST_SIZE);
    EXPECT_EQ(sha1_result(&ctx, digest.data()), SHA1_SUCCESS);
    return digest;
}

class Sha1Test : public ::testing::Test {
protected:
    void SetUp() override { g_session.sha1RawMode = 0; }
    void TearDown() override { g_session.sha1RawMode = 0; }
};

// Every length 0..200 (every padding boundary twice over) at several split
// points, against OpenSSL.
TEST_F(Sha1Test, MatchesOpenSslForAllLengthsAndSplits) {
    RandomBytes random(0x5A1);
    for (size_t length = 0; length <= 200; ++length) {
        const Bytes data = random(length);
        const Bytes expected = oracle::sha1(data);
        const size_t splits[] = {0, length / 2, length, random.between(0, length),
                                 length > 63 ? size_t{63} : length, length > 64 ? size_t{64} : length};
        for (size_t split : splits)
            ASSERT_EQ(sha1_split(data, split), expected) << "length " << length << " split " << split;
    }
}

TEST_F(Sha1Test, NullArgumentsAndZeroLengths) {
    Sha1Context ctx;
    uint8_t byte = 0;
    uint8_t digest[SHA1_DIGEST_SIZE];
    EXPECT_EQ(sha1_reset(nullptr), SHA1_NULL);
    EXPECT_EQ(sha1_input(nullptr, nullptr, 0), SHA1_SUCCESS);  // zero length wins
    EXPECT_EQ(sha1_input(nullptr, &byte, 1), SHA1_NULL);
    sha1_reset(&ctx);
    EXPECT_EQ(sha1_input(&ctx, nullptr, 1), SHA1_NULL);
    EXPECT_EQ(sha1_result(nullptr, digest), SHA1_NULL);
    EXPECT_EQ(sha1_result(&ctx, nullptr), SHA1_NULL);
    // None of the refused calls touched the context: it still hashes "".
    ASSERT_EQ(sha1_result(&ctx, digest), SHA1_SUCCESS);
    EXPECT_EQ(Bytes(digest, digest + 20), oracle::sha1({}));
}

TEST_F(Sha1Test, InputAfterResultSpoilsTheContextUntilReset) {
    const Bytes data = {'a', 'b', 'c'};
    Sha1Context ctx;
    sha1_reset(&ctx);
    sha1_input(&ctx, data.data(), 3);
    uint8_t first[SHA1_DIGEST_SIZE], second[SHA1_DIGEST_SIZE];
    ASSERT_EQ(sha1_result(&ctx, first), SHA1_SUCCESS);
    ASSERT_EQ(sha1_result(&ctx, second), SHA1_SUCCESS);
    EXPECT_EQ(0, std::memcmp(first, second, sizeof first));

    EXPECT_EQ(sha1_input(&ctx, data.data(), 3), SHA1_STATE_ERROR);
    uint8_t untouched[SHA1_DIGEST_SIZE];
    std::memset(untouched, 0xEE, sizeof untouched);
    EXPECT_EQ(sha1_result(&ctx, untouched), SHA1_STATE_ERROR);
    EXPECT_EQ(untouched[0], 0xEE);
    EXPECT_EQ(sha1_input(&ctx, data.data(), 3), SHA1_STATE_ERROR);

    sha1_reset(&ctx);
    sha1_input(&ctx, data.data(), 3);
    ASSERT_EQ(sha1_result(&ctx, second), SHA1_SUCCESS);
    EXPECT_EQ(0, std::memcmp(first, second, sizeof first));
}

// A message of 2^64 bits or more cannot be padded: the context is spoilt
// with code 1, which the call that overflowed does not yet report.
TEST_F(Sha1Test, LengthOverflowSpoilsTheContext) {
    struct Case {
        uint32_t high, low;
        unsigned length;
        int result;
    } cases[] = {
        {0xFFFFFFFF, 0xFFFFFFF0, 1, SHA1_SUCCESS},  // 2^64 - 8 bits still fit
        {0xFFFFFFFF, 0xFFFFFFF8, 1, SHA1_NULL},     // exactly 2^64 bits
        {0xFFFFFFFF, 0xFFFFFF00, 64, SHA1_NULL},
        {0x00000000, 0xFFFFFFF8, 2, SHA1_SUCCESS},  // carry into the high word
    };
    const Bytes data(64, 0x61);
    for (const auto& c : cases) {
        Sha1Context ctx;
        sha1_reset(&ctx);
        ctx.lengthHigh = c.high;
        ctx.lengthLow = c.low;
        EXPECT_EQ(sha1_input(&ctx, data.data(), c.length), SHA1_SUCCESS);
        if (c.result == SHA1_SUCCESS && c.high == 0) {
            EXPECT_EQ(ctx.lengthHigh, 1u);
            EXPECT_EQ(ctx.lengthLow, 8u);
        }
        uint8_t digest[SHA1_DIGEST_SIZE];
        EXPECT_EQ(sha1_result(&ctx, digest), c.result) << c.high << ":" << c.low << " + " << c.length;
    }
}

// Raw finalisation, for mode 1 only: the pending bytes and zeros, one
// compression, no length. Any other mode value hashes as standard SHA-1.
TEST_F(Sha1Test, RawModeIsOneUnpaddedCompression) {
    RandomBytes random(186);
    for (int i = 0; i < 50; ++i) {
        const Bytes x = random(20);
        for (uint8_t mode : {1, 0, 2, 0xFF}) {
            g_session.sha1RawMode = mode;
            EXPECT_EQ(sha1_split(x, 7), mode == 1 ? oracle::sha1_g(x) : oracle::sha1(x)) << int(mode);
        }
    }
    // Nothing pending still compresses one all-zero block.
    g_session.sha1RawMode = 1;
    EXPECT_EQ(sha1_split({}, 0), oracle::sha1_g(Bytes(20, 0)));
}

}  // namespace
