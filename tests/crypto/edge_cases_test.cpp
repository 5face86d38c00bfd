// What each primitive promises at its edges: null arguments, MAC and key
// lengths, a spent or overflowed SHA-1 context, the AES key rules and the
// traced Milenage.
#include <algorithm>
#include <cstring>
#include <new>

#include "api/session.h"
#include "crypto/aes.h"
#include "crypto/fips186_prf.h"
#include "crypto/hmac_sha256.h"
#include "crypto/milenage.h"
#include "crypto/prf_prime.h"
#include "crypto/sha1.h"
#include "support/oracle.h"
#include "support/random_bytes.h"

namespace {

constexpr uint8_t kGuard = 0xEE;

// A null output, or a null input that something must be computed from,
// writes nothing; a null key or message of a MAC or hash counts as empty,
// as does a negative length of hmac_sha1.
TEST(EdgeCases, NullArgumentsWriteNothingOrCountAsEmpty) {
    const Bytes k(16, 1), rand(16, 2), sqn(6, 3), amf(2, 4), data = {4, 5, 6};
    Bytes out(PRF_PRIME_MAX_OUTPUT + 1, kGuard);
    milenage_f1(nullptr, rand.data(), sqn.data(), amf.data(), out.data());
    milenage_f1star(k.data(), rand.data(), nullptr, amf.data(), out.data());
    milenage_f2345(k.data(), nullptr, out.data(), out.data(), out.data(), out.data());
    milenage_f2345_logged(k.data(), rand.data(), out.data(), nullptr, out.data(), out.data());
    milenage_f5star(nullptr, rand.data(), out.data());
    fips186_prf(nullptr, out.data());
    for (auto cbc : {aes_cbc_encrypt, aes_cbc_decrypt}) {
        cbc(nullptr, rand.data(), out.data(), 32);
        cbc(k.data(), nullptr, out.data(), 32);
    }
    prf_prime(k.data(), 16, nullptr, 0, out.data(), out.size());  // beyond the one-byte block counter
    EXPECT_EQ(out, Bytes(out.size(), kGuard));

    auto mac1 = [](const void* key, int keyLength, const void* message, int messageLength) {
        Bytes mac(20);
        hmac_sha1(key, keyLength, message, messageLength, mac.data(), 20);
        return mac;
    };
    EXPECT_EQ(mac1(nullptr, 3, data.data(), 3), oracle::hmac_sha1({}, data));
    EXPECT_EQ(mac1(k.data(), -1, data.data(), 3), oracle::hmac_sha1({}, data));
    EXPECT_EQ(mac1(k.data(), 3, nullptr, 3), oracle::hmac_sha1(Bytes(3, 1), {}));
    EXPECT_EQ(mac1(k.data(), 3, data.data(), -7), oracle::hmac_sha1(Bytes(3, 1), {}));
    Bytes mac(HMAC_SHA256_SIZE);
    hmac_sha256(nullptr, 16, data.data(), data.size(), mac.data());
    EXPECT_EQ(mac, oracle::hmac_sha256({}, data));
    hmac_sha256(data.data(), data.size(), nullptr, 0, mac.data());
    EXPECT_EQ(mac, oracle::hmac_sha256(data, {}));
    sha256(nullptr, 0, mac.data());
    EXPECT_EQ(mac, oracle::sha256({}));

    // Nothing to write to, or no context: ignored.
    hmac_sha1(k.data(), 3, data.data(), 3, nullptr, 20);
    hmac_sha256(data.data(), data.size(), data.data(), data.size(), nullptr);
    sha256_reset(nullptr);
    sha256_input(nullptr, data.data(), data.size());
    sha256_result(nullptr, mac.data());
    fips186_prf(k.data(), nullptr);
    EXPECT_EQ(g_session.sha1RawMode, 0);
}

// macLength writes that many bytes of the MAC, at most 20, nothing past them.
TEST(EdgeCases, HmacSha1MacLength) {
    const Bytes key = {1, 2, 3}, data = {4, 5, 6}, mac = oracle::hmac_sha1(key, data);
    for (int macLength : {-5, 0, 1, 12, 20, 21, 1000}) {
        Bytes out(40, kGuard);
        hmac_sha1(key.data(), 3, data.data(), 3, out.data(), macLength);
        Bytes expected(mac.begin(), mac.begin() + std::clamp(macLength, 0, 20));
        expected.resize(40, kGuard);
        EXPECT_EQ(out, expected) << macLength;
    }
}

// Refused calls leave the context alone and the digest may be asked for
// again; input after it spoils the context until the next reset. A message
// of 2^64 bits or more spoils it with code 1, which the call that
// overflowed does not yet report.
TEST(EdgeCases, Sha1ContextRefusalsSpentAndOverflow) {
    Sha1Context ctx;
    uint8_t byte = 0, digest[SHA1_DIGEST_SIZE];
    const Bytes empty = oracle::sha1({});
    EXPECT_EQ(sha1_reset(nullptr), SHA1_NULL);
    EXPECT_EQ(sha1_input(nullptr, nullptr, 0), SHA1_SUCCESS);  // zero length wins
    EXPECT_EQ(sha1_input(nullptr, &byte, 1), SHA1_NULL);
    sha1_reset(&ctx);
    EXPECT_EQ(sha1_input(&ctx, nullptr, 1), SHA1_NULL);
    EXPECT_EQ(sha1_result(nullptr, digest), SHA1_NULL);
    EXPECT_EQ(sha1_result(&ctx, nullptr), SHA1_NULL);
    for (int twice = 0; twice < 2; ++twice) {
        ASSERT_EQ(sha1_result(&ctx, digest), SHA1_SUCCESS);
        EXPECT_EQ(Bytes(digest, digest + 20), empty);
    }
    EXPECT_EQ(sha1_input(&ctx, &byte, 1), SHA1_STATE_ERROR);
    std::memset(digest, kGuard, sizeof digest);
    EXPECT_EQ(sha1_result(&ctx, digest), SHA1_STATE_ERROR);
    EXPECT_EQ(digest[0], kGuard);

    const struct { uint32_t high, low; unsigned length; int result; } cases[] = {
        {0xFFFFFFFF, 0xFFFFFFF0, 1, SHA1_SUCCESS},  // 2^64 - 8 bits still fit
        {0xFFFFFFFF, 0xFFFFFFF8, 1, SHA1_NULL},     // exactly 2^64 bits
        {0xFFFFFFFF, 0xFFFFFF00, 64, SHA1_NULL},
        {0x00000000, 0xFFFFFFF8, 2, SHA1_SUCCESS},  // carry into the high word
    };
    const Bytes data(64, 0x61);
    for (const auto& c : cases) {
        sha1_reset(&ctx);
        ctx.lengthHigh = c.high;
        ctx.lengthLow = c.low;
        EXPECT_EQ(sha1_input(&ctx, data.data(), c.length), SHA1_SUCCESS);
        if (c.high == 0) {
            EXPECT_EQ(uint64_t{ctx.lengthHigh} << 32 | ctx.lengthLow, uint64_t{1} << 32 | 8);
        }
        EXPECT_EQ(sha1_result(&ctx, digest), c.result) << c.high << ":" << c.low << " + " << c.length;
    }
}

// Key lengths in bytes or bits; anything else, or a null key, unloads the
// key and both directions then give zeros. Direction 0 changes nothing; the
// destructor wipes both schedules.
TEST(EdgeCases, AesKeyRules) {
    const Bytes key = RandomBytes(11)(32), block(16, 0x42);
    // {key length given, rounds, key size in bits}
    const unsigned cases[][3] = {{16, 10, 128}, {128, 10, 128}, {24, 12, 192}, {192, 12, 192}, {32, 14, 256},
                                 {256, 14, 256}, {100, 0, 0},    {0, 0, 0},      {15, 0, 0},     {512, 0, 0}};
    for (const auto& [keyLength, rounds, bits] : cases) {
        AesCipher aes;
        aes.setKey(key.data(), keyLength, 3);
        EXPECT_EQ(aes.roundCount, rounds) << keyLength;
        EXPECT_EQ(aes.keySizeBits(), bits) << keyLength;
        EXPECT_EQ(aes.keySizeBytes(), bits / 8) << keyLength;
    }
    AesCipher inBytes;
    alignas(AesCipher) unsigned char storage[sizeof(AesCipher)];
    AesCipher& aes = *new (storage) AesCipher;
    inBytes.setKey(key.data(), 16, 3);
    aes.setKey(key.data(), 128, 3);
    aes.setKey(RandomBytes(12)(32).data(), 32, 0);
    EXPECT_EQ(0, std::memcmp(inBytes.encryptSchedule, aes.encryptSchedule, sizeof aes.encryptSchedule));
    EXPECT_EQ(0, std::memcmp(inBytes.decryptSchedule, aes.decryptSchedule, sizeof aes.decryptSchedule));
    aes.setKey(nullptr, 16, 3);
    EXPECT_EQ(aes.roundCount, 0u);
    Bytes encrypted = block, decrypted = block;
    aes.encryptBlock(encrypted.data(), encrypted.data());
    aes.decryptBlock(decrypted.data(), decrypted.data());
    EXPECT_EQ(cat({encrypted, decrypted}), Bytes(32, 0));

    aes.setKey(key.data(), 32, 3);
    const size_t offset = static_cast<size_t>(reinterpret_cast<unsigned char*>(&aes.roundCount) - storage);
    aes.~AesCipher();
    for (size_t i = 0; i < sizeof(uint32_t) * (1 + 60 + 60); ++i) ASSERT_EQ(storage[offset + i], 0) << "byte " << i;
}

TEST(EdgeCases, LoggedMilenageGivesSameOutputsAndTracesItsParameters) {
    const Bytes k = RandomBytes(1)(16), rand = RandomBytes(2)(16);
    const Bytes opc = hex_to_bytes("cd63cb71954a9f4e48a5994e37a02baf");
    const oracle::MilenageParams p = oracle::milenage_standard();
    std::memcpy(g_session.opc, opc.data(), 16);
    for (int i = 0; i < 5; ++i) {
        std::memcpy(g_session.milenageC[i], p.c[i].data(), 16);
        g_session.milenageR[i] = p.r[i];
    }
    Bytes plain(8 + 16 + 16 + 6), logged(plain.size());
    TraceFile trace;
    milenage_f2345(k.data(), rand.data(), &plain[0], &plain[8], &plain[24], &plain[40]);
    EXPECT_EQ(trace.contents(), "");
    milenage_f2345_logged(k.data(), rand.data(), &logged[0], &logged[8], &logged[24], &logged[40]);
    EXPECT_EQ(plain, logged);
    EXPECT_EQ(trace.contents(),
              "\t op_c(f2345)\tCD 63 CB 71 95 4A 9F 4E 48 A5 99 4E 37 A0 2B AF \n\t\n"
              "\t r2(f2345) 0\n"
              "\t c2(f2345) 1\n");
}

}  // namespace
