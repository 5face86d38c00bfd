// SHA-256 and HMAC-SHA-256 against OpenSSL on random inputs: every length
// across the padding boundaries fed in pieces, and keys on both sides of the
// 64-byte hashing threshold.
#include "crypto/hmac_sha256.h"
#include "crypto/sha256.h"
#include "support/oracle.h"
#include "support/random_bytes.h"

namespace {

// Digest of `data` fed in two calls split at `split`.
Bytes sha256_split(const Bytes& data, size_t split) {
    Sha256Context ctx;
    sha256_reset(&ctx);
    sha256_input(&ctx, data.data(), split);
    sha256_input(&ctx, data.data() + split, data.size() - split);
    Bytes digest(SHA256_DIGEST_SIZE);
    sha256_result(&ctx, digest.data());
    return digest;
}

TEST(Sha256, MatchesOpenSslForAllLengthsAndSplits) {
    RandomBytes random(0x5A256);
    for (size_t length = 0; length <= 200; ++length) {
        const Bytes data = random(length);
        const Bytes expected = oracle::sha256(data);
        const size_t splits[] = {0, length / 2, length, random.between(0, length), std::min<size_t>(length, 55),
                                 std::min<size_t>(length, 64)};
        for (size_t split : splits)
            ASSERT_EQ(sha256_split(data, split), expected) << "length " << length << " split " << split;
    }
}

TEST(HmacSha256, MatchesOpenSslForKeysUpTo100Bytes) {
    RandomBytes random(4231);
    for (size_t keyLength = 0; keyLength <= 100; ++keyLength) {
        for (int i = 0; i < 10; ++i) {
            const Bytes key = random(keyLength), data = random(random.between(0, 300));
            Bytes mac(HMAC_SHA256_SIZE);
            hmac_sha256(key.data(), key.size(), data.data(), data.size(), mac.data());
            ASSERT_EQ(mac, oracle::hmac_sha256(key, data)) << "key " << keyLength << " data " << data.size();
        }
    }
}

// Null pointers: an absent key or message is empty, an absent output or
// context is left alone.
TEST(HmacSha256, NullArgumentsAreEmptyOrIgnored) {
    const Bytes data = {1, 2, 3};
    Bytes mac(HMAC_SHA256_SIZE);
    hmac_sha256(nullptr, 16, data.data(), data.size(), mac.data());
    EXPECT_EQ(mac, oracle::hmac_sha256({}, data));
    hmac_sha256(data.data(), data.size(), nullptr, 0, mac.data());
    EXPECT_EQ(mac, oracle::hmac_sha256(data, {}));
    sha256(nullptr, 0, mac.data());
    EXPECT_EQ(mac, oracle::sha256({}));
    hmac_sha256(data.data(), data.size(), data.data(), data.size(), nullptr);  // must not crash
    sha256_reset(nullptr);
    sha256_input(nullptr, data.data(), data.size());
    sha256_result(nullptr, mac.data());
}

}  // namespace
