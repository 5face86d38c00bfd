// AES blocks and AES-128-CBC against the oracle, and what setKey, the size
// queries, null arguments and the destructor promise.
#include <cstring>
#include <new>

#include "crypto/aes.h"
#include "support/oracle.h"
#include "support/random_bytes.h"

namespace {

constexpr unsigned kEncrypt = 1, kBoth = 3;

// One block through a fresh AesCipher, in place.
Bytes block(bool encrypt, const Bytes& key, Bytes data) {
    AesCipher aes;
    aes.setKey(key.data(), static_cast<unsigned>(key.size()), encrypt ? kEncrypt : kBoth);
    if (encrypt)
        aes.encryptBlock(data.data(), data.data());
    else
        aes.decryptBlock(data.data(), data.data());
    return data;
}

Bytes cbc(bool encrypt, const Bytes& key, const Bytes& iv, Bytes data) {
    (encrypt ? aes_cbc_encrypt : aes_cbc_decrypt)(key.data(), iv.data(), data.data(),
                                                  static_cast<unsigned>(data.size()));
    return data;
}

TEST(Aes, BlocksMatchOracleForAllKeySizes) {
    RandomBytes random(197);
    for (size_t keyBytes : {16, 24, 32}) {
        for (int i = 0; i < 1000; ++i) {
            const Bytes key = random(keyBytes), data = random(16);
            ASSERT_EQ(block(true, key, data), oracle::aes_ecb_encrypt(key, data)) << bytes_to_hex(key);
            ASSERT_EQ(block(false, key, data), oracle::aes_ecb_decrypt(key, data)) << bytes_to_hex(key);
        }
    }
}

// 0..8 whole blocks and a 0..15-byte tail, which CBC leaves alone, as it
// leaves the IV.
TEST(Aes, CbcMatchesOracleAndLeavesTailAndIv) {
    RandomBytes random(3602);
    for (size_t blocks = 0; blocks <= 8; ++blocks) {
        for (int i = 0; i < 100; ++i) {
            const Bytes key = random(16), iv = random(16), body = random(16 * blocks);
            const Bytes tail = random(random.between(0, 15)), data = cat({body, tail});
            const Bytes ivCopy = iv;
            const Bytes encrypted = cbc(true, key, iv, data);
            ASSERT_EQ(encrypted, cat({oracle::aes_cbc_encrypt(key, iv, body), tail})) << blocks << " " << tail.size();
            ASSERT_EQ(cbc(false, key, iv, data), cat({oracle::aes_cbc_decrypt(key, iv, body), tail}));
            ASSERT_EQ(cbc(false, key, iv, encrypted), data);
            ASSERT_EQ(iv, ivCopy);
        }
    }
    // A null key, IV or buffer changes no byte.
    const Bytes key(16, 1), iv(16, 2), original(32, 3);
    Bytes data = original;
    for (auto operation : {aes_cbc_encrypt, aes_cbc_decrypt}) {
        operation(nullptr, iv.data(), data.data(), 32);
        operation(key.data(), nullptr, data.data(), 32);
        operation(key.data(), iv.data(), nullptr, 32);
    }
    EXPECT_EQ(data, original);
}

// Key lengths in bytes or bits; anything else, or a null key, unloads the
// key and both directions then give zeros. Direction 0 changes nothing.
TEST(Aes, SetKeyLengthsAndDirections) {
    const Bytes key = RandomBytes(11)(32);
    struct Case {
        unsigned keyLength;
        uint32_t rounds;
        unsigned bits;
    } cases[] = {{16, 10, 128}, {128, 10, 128}, {24, 12, 192}, {192, 12, 192}, {32, 14, 256},
                 {256, 14, 256}, {100, 0, 0},    {0, 0, 0},      {15, 0, 0},     {512, 0, 0}};
    for (const auto& c : cases) {
        AesCipher aes;
        aes.setKey(key.data(), c.keyLength, kBoth);
        EXPECT_EQ(aes.roundCount, c.rounds) << c.keyLength;
        EXPECT_EQ(aes.keySizeBits(), c.bits) << c.keyLength;
        EXPECT_EQ(aes.keySizeBytes(), c.bits / 8) << c.keyLength;
        EXPECT_EQ(aes.blockSizeBits() + aes.blockSizeBytes(), 128u + 16u);
    }
    AesCipher inBytes, aes;
    inBytes.setKey(key.data(), 16, kBoth);
    aes.setKey(key.data(), 128, kBoth);
    EXPECT_EQ(0, std::memcmp(inBytes.encryptSchedule, aes.encryptSchedule, sizeof aes.encryptSchedule));
    EXPECT_EQ(0, std::memcmp(inBytes.decryptSchedule, aes.decryptSchedule, sizeof aes.decryptSchedule));

    const Bytes data(16, 0x42);
    aes.setKey(RandomBytes(12)(32).data(), 32, 0);
    EXPECT_EQ(block(true, Bytes(key.begin(), key.begin() + 16), data), [&] {
        Bytes out(16);
        aes.encryptBlock(data.data(), out.data());
        return out;
    }());
    aes.setKey(nullptr, 16, kBoth);
    EXPECT_EQ(aes.roundCount, 0u);
    Bytes zeroed = data;
    aes.encryptBlock(zeroed.data(), zeroed.data());
    EXPECT_EQ(zeroed, Bytes(16, 0));
    zeroed = data;
    aes.decryptBlock(zeroed.data(), zeroed.data());
    EXPECT_EQ(zeroed, Bytes(16, 0));
}

TEST(Aes, DestructorWipesTheSchedules) {
    alignas(AesCipher) unsigned char storage[sizeof(AesCipher)];
    AesCipher* aes = new (storage) AesCipher;
    aes->setKey(RandomBytes(13)(32).data(), 32, kBoth);
    const size_t offset = static_cast<size_t>(reinterpret_cast<unsigned char*>(&aes->roundCount) - storage);
    aes->~AesCipher();
    for (size_t i = 0; i < sizeof(uint32_t) * (1 + 60 + 60); ++i) ASSERT_EQ(storage[offset + i], 0) << "byte " << i;
}

}  // namespace
