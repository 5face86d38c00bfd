// SHA-1, SHA-256 and their HMACs against the oracle on random inputs, then
// what each defines at its edges: MAC lengths, null arguments, a spent or
// overflowed SHA-1 context, and SHA-1's raw mode (the G function).
#include <algorithm>
#include <cstring>

#include "api/session.h"
#include "crypto/hmac_sha256.h"
#include "crypto/sha1.h"
#include "crypto/sha256.h"
#include "support/oracle.h"
#include "support/random_bytes.h"

namespace {

// Digest of `data` fed in two calls split at `split`.
Bytes sha1_split(const Bytes& data, size_t split) {
    Sha1Context ctx;
    sha1_reset(&ctx);
    EXPECT_EQ(sha1_input(&ctx, data.data(), static_cast<unsigned>(split)), SHA1_SUCCESS);
    EXPECT_EQ(sha1_input(&ctx, data.data() + split, static_cast<unsigned>(data.size() - split)), SHA1_SUCCESS);
    Bytes digest(SHA1_DIGEST_SIZE);
    EXPECT_EQ(sha1_result(&ctx, digest.data()), SHA1_SUCCESS);
    return digest;
}

Bytes sha256_split(const Bytes& data, size_t split) {
    Sha256Context ctx;
    sha256_reset(&ctx);
    sha256_input(&ctx, data.data(), split);
    sha256_input(&ctx, data.data() + split, data.size() - split);
    Bytes digest(SHA256_DIGEST_SIZE);
    sha256_result(&ctx, digest.data());
    return digest;
}

Bytes hmac_sha1_of(const Bytes& key, const Bytes& data) {
    Bytes mac(SHA1_DIGEST_SIZE);
    hmac_sha1(key.data(), static_cast<int>(key.size()), data.data(), static_cast<int>(data.size()), mac.data(),
              SHA1_DIGEST_SIZE);
    return mac;
}

Bytes hmac_sha256_of(const Bytes& key, const Bytes& data) {
    Bytes mac(HMAC_SHA256_SIZE);
    hmac_sha256(key.data(), key.size(), data.data(), data.size(), mac.data());
    return mac;
}

struct Hash {
    const char* name;
    Bytes (*split)(const Bytes&, size_t);
    Bytes (*hmac)(const Bytes&, const Bytes&);
    Bytes (*expectedHash)(const Bytes&);
    Bytes (*expectedHmac)(const Bytes&, const Bytes&);
};
const Hash kHashes[] = {
    {"SHA-1", sha1_split, hmac_sha1_of, oracle::sha1, oracle::hmac_sha1},
    {"SHA-256", sha256_split, hmac_sha256_of, oracle::sha256, oracle::hmac_sha256},
};

class HashTest : public ::testing::Test {
protected:
    void SetUp() override { g_session.sha1RawMode = 0; }
    void TearDown() override { g_session.sha1RawMode = 0; }
};

// Lengths 0..200 cross the padding boundaries (56 and 64 bytes) three
// times; the splits put them inside the first call, the second, or between.
TEST_F(HashTest, MatchesOracleForEveryLengthAndSplit) {
    RandomBytes random(0x5A1);
    for (const Hash& h : kHashes) {
        for (size_t length = 0; length <= 200; ++length) {
            const Bytes data = random(length);
            const Bytes expected = h.expectedHash(data);
            for (size_t split : {size_t{0}, length / 2, length, random.between(0, length),
                                 std::min<size_t>(length, 55), std::min<size_t>(length, 64)})
                ASSERT_EQ(h.split(data, split), expected) << h.name << " length " << length << " split " << split;
        }
    }
}

// Keys of every length 0..100 cross the 64-byte hashing threshold.
TEST_F(HashTest, HmacMatchesOracleForKeysUpTo100Bytes) {
    RandomBytes random(2104);
    for (const Hash& h : kHashes) {
        for (size_t keyLength = 0; keyLength <= 100; ++keyLength) {
            for (int i = 0; i < 10; ++i) {
                const Bytes key = random(keyLength), data = random(random.between(0, 300));
                ASSERT_EQ(h.hmac(key, data), h.expectedHmac(key, data))
                    << h.name << " key " << keyLength << " data " << data.size();
            }
        }
    }
}

// macLength writes that many bytes of the MAC, at most 20; null inputs and
// negative lengths count as empty; a null mac is ignored.
TEST_F(HashTest, HmacSha1LengthsAndNullArguments) {
    constexpr uint8_t kGuard = 0xA5;
    const Bytes key = {1, 2, 3}, data = {4, 5, 6};
    const Bytes mac = oracle::hmac_sha1(key, data);
    for (int macLength : {-5, 0, 1, 12, 20, 21, 1000}) {
        Bytes out(40, kGuard);
        hmac_sha1(key.data(), 3, data.data(), 3, out.data(), macLength);
        Bytes expected(mac.begin(), mac.begin() + std::clamp(macLength, 0, 20));
        expected.resize(40, kGuard);
        EXPECT_EQ(out, expected) << macLength;
    }
    struct Case {
        const void* key;
        int keyLength;
        const void* data;
        int dataLength;
        Bytes expected;
    } cases[] = {
        {nullptr, 3, data.data(), 3, oracle::hmac_sha1({}, data)},
        {key.data(), -1, data.data(), 3, oracle::hmac_sha1({}, data)},
        {key.data(), 3, nullptr, 3, oracle::hmac_sha1(key, {})},
        {key.data(), 3, data.data(), -7, oracle::hmac_sha1(key, {})},
    };
    for (const auto& c : cases) {
        Bytes out(20);
        hmac_sha1(c.key, c.keyLength, c.data, c.dataLength, out.data(), 20);
        EXPECT_EQ(out, c.expected);
    }
    hmac_sha1(key.data(), 3, data.data(), 3, nullptr, 20);  // must not crash
}

// An absent key or message is empty; an absent output or context is left alone.
TEST_F(HashTest, Sha256NullArguments) {
    const Bytes data = {1, 2, 3};
    Bytes mac(HMAC_SHA256_SIZE);
    hmac_sha256(nullptr, 16, data.data(), data.size(), mac.data());
    EXPECT_EQ(mac, oracle::hmac_sha256({}, data));
    hmac_sha256(data.data(), data.size(), nullptr, 0, mac.data());
    EXPECT_EQ(mac, oracle::hmac_sha256(data, {}));
    sha256(nullptr, 0, mac.data());
    EXPECT_EQ(mac, oracle::sha256({}));
    hmac_sha256(data.data(), data.size(), data.data(), data.size(), nullptr);
    sha256_reset(nullptr);
    sha256_input(nullptr, data.data(), data.size());
    sha256_result(nullptr, mac.data());
}

// Refused calls leave the context alone; input after the digest spoils it
// until the next reset, while asking for the digest again repeats it.
TEST_F(HashTest, Sha1NullArgumentsAndSpentContext) {
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
    ASSERT_EQ(sha1_result(&ctx, digest), SHA1_SUCCESS);
    EXPECT_EQ(Bytes(digest, digest + 20), oracle::sha1({}));
    ASSERT_EQ(sha1_result(&ctx, digest), SHA1_SUCCESS);
    EXPECT_EQ(Bytes(digest, digest + 20), oracle::sha1({}));

    EXPECT_EQ(sha1_input(&ctx, &byte, 1), SHA1_STATE_ERROR);
    std::memset(digest, 0xEE, sizeof digest);
    EXPECT_EQ(sha1_result(&ctx, digest), SHA1_STATE_ERROR);
    EXPECT_EQ(digest[0], 0xEE);
    sha1_reset(&ctx);
    ASSERT_EQ(sha1_result(&ctx, digest), SHA1_SUCCESS);
    EXPECT_EQ(Bytes(digest, digest + 20), oracle::sha1({}));
}

// A message of 2^64 bits or more cannot be padded: the context is spoilt
// with code 1, which the call that overflowed does not yet report.
TEST_F(HashTest, Sha1LengthOverflowSpoilsTheContext) {
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
        if (c.high == 0) {
            EXPECT_EQ(uint64_t{ctx.lengthHigh} << 32 | ctx.lengthLow, uint64_t{1} << 32 | 8);
        }
        uint8_t digest[SHA1_DIGEST_SIZE];
        EXPECT_EQ(sha1_result(&ctx, digest), c.result) << c.high << ":" << c.low << " + " << c.length;
    }
}

// Mode 1 finishes with the pending bytes and zeros, one compression and no
// length; any other mode value hashes as standard SHA-1.
TEST_F(HashTest, Sha1RawModeIsOneUnpaddedCompression) {
    RandomBytes random(186);
    for (int i = 0; i < 50; ++i) {
        const Bytes x = random(20);
        for (uint8_t mode : {1, 0, 2, 0xFF}) {
            g_session.sha1RawMode = mode;
            EXPECT_EQ(sha1_split(x, 7), mode == 1 ? oracle::sha1_g(x) : oracle::sha1(x)) << int(mode);
        }
    }
    g_session.sha1RawMode = 1;
    EXPECT_EQ(sha1_split({}, 0), oracle::sha1_g(Bytes(20, 0)));  // nothing pending: one zero block
}

}  // namespace
