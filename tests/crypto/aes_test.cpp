#include <cstring>
#include <new>

#include "api/session.h"
#include "crypto/aes.h"
#include "support/random_bytes.h"
#include "support/oracle.h"

namespace {

constexpr unsigned kEncrypt = 1, kBoth = 3;

// One block through a fresh AesCipher, decrypting in place.
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
    if (encrypt)
        aes_cbc_encrypt(key.data(), iv.data(), data.data(), static_cast<unsigned>(data.size()));
    else
        aes_cbc_decrypt(key.data(), iv.data(), data.data(), static_cast<unsigned>(data.size()));
    return data;
}

TEST(Aes, BlocksMatchOpenSslForAllKeySizes) {
    RandomBytes random(197);
    for (size_t keyBytes : {16, 24, 32}) {
        for (int i = 0; i < 1000; ++i) {
            const Bytes key = random(keyBytes), data = random(16);
            ASSERT_EQ(block(true, key, data), oracle::aes_ecb_encrypt(key, data)) << bytes_to_hex(key);
            ASSERT_EQ(block(false, key, data), oracle::aes_ecb_decrypt(key, data)) << bytes_to_hex(key);
        }
    }
}

// 1..8 blocks plus a 0..15-byte tail, which CBC must leave alone.
TEST(Aes, CbcMatchesOpenSslAndLeavesTailAndIv) {
    RandomBytes random(3602);
    for (size_t blocks = 1; blocks <= 8; ++blocks) {
        for (int i = 0; i < 100; ++i) {
            const Bytes key = random(16), iv = random(16), body = random(16 * blocks);
            const Bytes tail = random(random.between(0, 15));
            Bytes data = body;
            data.insert(data.end(), tail.begin(), tail.end());
            const Bytes ivCopy = iv;

            Bytes expected = oracle::aes_cbc_encrypt(key, iv, body);
            expected.insert(expected.end(), tail.begin(), tail.end());
            const Bytes encrypted = cbc(true, key, iv, data);
            ASSERT_EQ(encrypted, expected) << blocks << " blocks, tail " << tail.size();
            ASSERT_EQ(cbc(false, key, iv, encrypted), data);
            ASSERT_EQ(iv, ivCopy);

            expected = oracle::aes_cbc_decrypt(key, iv, body);
            expected.insert(expected.end(), tail.begin(), tail.end());
            ASSERT_EQ(cbc(false, key, iv, data), expected);
        }
    }
}

TEST(Aes, CbcShorterThanOneBlockChangesNothing) {
    const Bytes key(16, 7), iv(16, 9);
    for (size_t length = 0; length < 16; ++length) {
        const Bytes data = RandomBytes(static_cast<uint32_t>(length))(length);
        EXPECT_EQ(cbc(true, key, iv, data), data);
        EXPECT_EQ(cbc(false, key, iv, data), data);
    }
}

TEST(Aes, CbcNullArgumentsChangeNoByte) {
    const Bytes key(16, 1), iv(16, 2);
    Bytes data(32, 3);
    const Bytes original = data;
    aes_cbc_encrypt(nullptr, iv.data(), data.data(), 32);
    aes_cbc_encrypt(key.data(), nullptr, data.data(), 32);
    aes_cbc_decrypt(nullptr, iv.data(), data.data(), 32);
    aes_cbc_decrypt(key.data(), nullptr, data.data(), 32);
    aes_cbc_encrypt(key.data(), iv.data(), nullptr, 32);
    EXPECT_EQ(data, original);
}

// setKey's length and direction rules and the size queries.
TEST(Aes, SetKeyLengthsAndDirections) {
    const Bytes key = RandomBytes(11)(32);
    struct Case {
        unsigned keyLength;
        uint32_t rounds;
        unsigned bits, bytes;
    } cases[] = {{16, 10, 128, 16}, {128, 10, 128, 16}, {24, 12, 192, 24}, {192, 12, 192, 24},
                 {32, 14, 256, 32}, {256, 14, 256, 32}, {100, 0, 0, 0},     {0, 0, 0, 0},
                 {15, 0, 0, 0},     {512, 0, 0, 0}};
    for (const auto& c : cases) {
        AesCipher aes;
        aes.setKey(key.data(), c.keyLength, kBoth);
        EXPECT_EQ(aes.roundCount, c.rounds) << c.keyLength;
        EXPECT_EQ(aes.keySizeBits(), c.bits) << c.keyLength;
        EXPECT_EQ(aes.keySizeBytes(), c.bytes) << c.keyLength;
        EXPECT_EQ(aes.blockSizeBits(), 128u);
        EXPECT_EQ(aes.blockSizeBytes(), 16u);
    }

    AesCipher inBytes, inBits;
    inBytes.setKey(key.data(), 16, kBoth);
    inBits.setKey(key.data(), 128, kBoth);
    EXPECT_EQ(0, std::memcmp(inBytes.encryptSchedule, inBits.encryptSchedule,
                             sizeof inBits.encryptSchedule));
    EXPECT_EQ(0, std::memcmp(inBytes.decryptSchedule, inBits.decryptSchedule,
                             sizeof inBits.decryptSchedule));

    // Direction 0 leaves the previous key in place; a null key unloads it.
    AesCipher aes;
    aes.setKey(key.data(), 16, kBoth);
    const Bytes block(16, 0x42);
    Bytes before(16), after(16);
    aes.encryptBlock(block.data(), before.data());
    aes.setKey(RandomBytes(12)(32).data(), 32, 0);
    aes.encryptBlock(block.data(), after.data());
    EXPECT_EQ(before, after);
    EXPECT_EQ(aes.roundCount, 10u);
    aes.setKey(nullptr, 16, kBoth);
    EXPECT_EQ(aes.roundCount, 0u);

    // Without a usable key both directions give zeros.
    Bytes zeroed(16, 0x99);
    aes.encryptBlock(zeroed.data(), zeroed.data());
    EXPECT_EQ(zeroed, Bytes(16, 0));
    zeroed.assign(16, 0x99);
    aes.decryptBlock(zeroed.data(), zeroed.data());
    EXPECT_EQ(zeroed, Bytes(16, 0));
}

TEST(Aes, DestructorWipesTheSchedules) {
    alignas(AesCipher) unsigned char storage[sizeof(AesCipher)];
    AesCipher* aes = new (storage) AesCipher;
    aes->setKey(RandomBytes(13)(32).data(), 32, kBoth);
    const size_t offset =
        static_cast<size_t>(reinterpret_cast<unsigned char*>(&aes->roundCount) - storage);
    const size_t fields = sizeof(uint32_t) * (1 + 60 + 60);
    aes->~AesCipher();
    for (size_t i = 0; i < fields; ++i) ASSERT_EQ(storage[offset + i], 0) << "byte " << i;
}

}  // namespace
