// Every primitive against the oracle on random inputs, at the lengths, key
// sizes, counts and constants where an implementation goes wrong: padding
// boundaries, the 64-byte HMAC key threshold, CBC chaining, rotations that
// are no byte multiples, carries through XKEY. Seeded, so a failure reruns.
#include <algorithm>
#include <climits>
#include <cstring>

#include "api/session.h"
#include "crypto/aes.h"
#include "crypto/fips186_prf.h"
#include "crypto/kdf_3gpp.h"
#include "crypto/milenage.h"
#include "crypto/prf_prime.h"
#include "crypto/sha1.h"
#include "crypto/sha256.h"
#include "support/oracle.h"
#include "support/random_bytes.h"

namespace {

// The SHA-1 and SHA-256 digests of `data` fed in two calls split at `split`.
Bytes digests_split(const Bytes& data, size_t split) {
    Sha1Context ctx1;
    Sha256Context ctx256;
    sha1_reset(&ctx1);
    sha256_reset(&ctx256);
    for (const auto& [from, to] : {std::pair{size_t{0}, split}, std::pair{split, data.size()}}) {
        EXPECT_EQ(sha1_input(&ctx1, data.data() + from, static_cast<unsigned>(to - from)), SHA1_SUCCESS);
        sha256_input(&ctx256, data.data() + from, to - from);
    }
    Bytes digests(SHA1_DIGEST_SIZE + SHA256_DIGEST_SIZE);
    EXPECT_EQ(sha1_result(&ctx1, digests.data()), SHA1_SUCCESS);
    sha256_result(&ctx256, digests.data() + SHA1_DIGEST_SIZE);
    return digests;
}

// Lengths 0..200 cross the padding boundaries (56 and 64 bytes) three
// times; the splits put them inside the first call, the second, or between.
TEST(Oracle, Sha1AndSha256ForEveryLengthAndSplit) {
    RandomBytes random(0x5A1);
    for (size_t length = 0; length <= 200; ++length) {
        const Bytes data = random(length);
        for (size_t split : {size_t{0}, length / 2, length, random.between(0, length), std::min<size_t>(length, 55),
                             std::min<size_t>(length, 64)}) {
            ASSERT_EQ(digests_split(data, split), cat({oracle::sha1(data), oracle::sha256(data)}))
                << "length " << length << " split " << split;
        }
    }
}

// Keys of every length 0..100 cross the 64-byte hashing threshold.
TEST(Oracle, HmacsForKeysUpTo100Bytes) {
    RandomBytes random(2104);
    for (size_t keyLength = 0; keyLength <= 100; ++keyLength) {
        for (int i = 0; i < 10; ++i) {
            const Bytes key = random(keyLength), data = random(random.between(0, 300));
            Bytes mac1(20), mac256(HMAC_SHA256_SIZE);
            hmac_sha1(key.data(), static_cast<int>(key.size()), data.data(), static_cast<int>(data.size()),
                      mac1.data(), 20);
            hmac_sha256(key.data(), key.size(), data.data(), data.size(), mac256.data());
            ASSERT_EQ(mac1, oracle::hmac_sha1(key, data)) << "key " << keyLength << " data " << data.size();
            ASSERT_EQ(mac256, oracle::hmac_sha256(key, data)) << "key " << keyLength << " data " << data.size();
        }
    }
}

// Blocks under every key size; CBC over 0..8 blocks and a 0..15-byte tail,
// which it leaves alone, as it leaves the IV.
TEST(Oracle, AesBlocksAndCbc) {
    RandomBytes random(197);
    for (size_t keyBytes : {16, 24, 32}) {
        for (int i = 0; i < 1000; ++i) {
            const Bytes key = random(keyBytes), data = random(16);
            AesCipher aes;
            aes.setKey(key.data(), static_cast<unsigned>(keyBytes), 3);
            Bytes encrypted(16), decrypted(16);
            aes.encryptBlock(data.data(), encrypted.data());
            aes.decryptBlock(data.data(), decrypted.data());
            ASSERT_EQ(encrypted, oracle::aes_ecb_encrypt(key, data)) << bytes_to_hex(key);
            ASSERT_EQ(decrypted, oracle::aes_ecb_decrypt(key, data)) << bytes_to_hex(key);
        }
    }
    for (size_t blocks = 0; blocks <= 8; ++blocks) {
        for (int i = 0; i < 100; ++i) {
            const Bytes key = random(16), iv = random(16), body = random(16 * blocks), ivCopy = iv;
            const Bytes tail = random(random.between(0, 15)), data = cat({body, tail});
            Bytes encrypted = data, decrypted = data;
            aes_cbc_encrypt(key.data(), iv.data(), encrypted.data(), static_cast<unsigned>(data.size()));
            aes_cbc_decrypt(key.data(), iv.data(), decrypted.data(), static_cast<unsigned>(data.size()));
            ASSERT_EQ(encrypted, cat({oracle::aes_cbc_encrypt(key, iv, body), tail})) << blocks << " " << tail.size();
            ASSERT_EQ(decrypted, cat({oracle::aes_cbc_decrypt(key, iv, body), tail})) << blocks << " " << tail.size();
            ASSERT_EQ(iv, ivCopy);
        }
    }
}

// All seven Milenage outputs in one string, so that one comparison names them all.
std::string text(const oracle::MilenageOut& o) {
    std::string all;
    for (const Bytes* b : {&o.macA, &o.macS, &o.res, &o.ck, &o.ik, &o.ak, &o.akStar}) all += bytes_to_hex(*b) + " ";
    return all;
}

// Every third run with the standard constants; the others with any c, and
// r that are no byte multiples, reach past 128 or (mod 128) come from a
// negative count, as the key store may hold them.
TEST(Oracle, MilenageWithStandardAndOperatorConstants) {
    RandomBytes random(35206);
    for (int i = 0; i < 1500; ++i) {
        oracle::MilenageParams p = oracle::milenage_standard();
        for (int j = 0; j < 5 && i % 3 != 0; ++j) {
            p.c[j] = random(16);
            p.r[j] = static_cast<int32_t>(random.between(0, 600)) - 200;
        }
        const Bytes k = random(16), opc = random(16), rand = random(16), sqn = random(6), amf = random(2);
        std::memcpy(g_session.opc, opc.data(), 16);
        for (int j = 0; j < 5; ++j) {
            std::memcpy(g_session.milenageC[j], p.c[j].data(), 16);
            g_session.milenageR[j] = p.r[j];
        }
        oracle::MilenageOut o{Bytes(8), Bytes(8), Bytes(8), Bytes(16), Bytes(16), Bytes(6), Bytes(6)};
        milenage_f1(k.data(), rand.data(), sqn.data(), amf.data(), o.macA.data());
        milenage_f1star(k.data(), rand.data(), sqn.data(), amf.data(), o.macS.data());
        milenage_f2345(k.data(), rand.data(), o.res.data(), o.ck.data(), o.ik.data(), o.ak.data());
        milenage_f5star(k.data(), rand.data(), o.akStar.data());
        ASSERT_EQ(text(o), text(oracle::milenage(k, opc, rand, sqn, amf, p)))
            << "r = " << p.r[0] << " " << p.r[1] << " " << p.r[2] << " " << p.r[3] << " " << p.r[4];
    }
    const Bytes x = random(16);
    std::vector<int32_t> counts = {INT32_MIN, INT32_MIN + 1, INT32_MAX};
    for (int32_t r = -300; r <= 300; ++r) counts.push_back(r);
    for (int32_t r : counts) {
        Bytes rotated(16);
        rotate128(x.data(), r, rotated.data());
        ASSERT_EQ(rotated, oracle::rotate128(x, r)) << r;
    }
}

// The FIPS 186-2 PRF of EAP-AKA, with XKEY = ff..ff, whose carry crosses all
// 160 bits: XKEY + w0 + 1 wraps back to w0, so w1 = G(w0), SHA-1's raw mode
// (one compression of the zero-padded input, no length). Every call hands
// standard SHA-1 back to the next user.
TEST(Oracle, Fips186Prf) {
    RandomBytes random(1862);
    for (int i = 0; i <= 300; ++i) {
        const Bytes xkey = i == 0 ? Bytes(20, 0xFF) : random(20);
        Bytes out(160);
        fips186_prf(xkey.data(), out.data());
        ASSERT_EQ(out, oracle::fips186_prf(xkey)) << bytes_to_hex(xkey);
        ASSERT_EQ(g_session.sha1RawMode, 0);
        if (i == 0) {
            EXPECT_EQ(Bytes(out.begin() + 20, out.begin() + 40), oracle::sha1_g(Bytes(out.begin(), out.begin() + 20)));
        }
    }
}

// PRF' of EAP-AKA' for whole blocks, a byte either side of them, the
// EAP-AKA' sizes (208, 128) and the counter's reach; the 3GPP KDF and its
// CK' | IK' (TS 33.402 A.2: FC 0x20 under CK | IK, CK' first).
TEST(Oracle, PrfPrimeAndKdf3gpp) {
    RandomBytes random(9048);
    for (size_t length : {size_t{0}, size_t{1}, size_t{31}, size_t{32}, size_t{33}, size_t{128}, size_t{208},
                          PRF_PRIME_MAX_OUTPUT}) {
        const Bytes key = random(random.between(0, 80)), s1 = random(random.between(0, 40)),
                    s2 = random(random.between(0, 40));
        const ByteSpan parts[] = {{s1.data(), s1.size()}, {s2.data(), s2.size()}};
        Bytes out(length + 1, 0xA5);
        prf_prime(key.data(), key.size(), parts, 2, out.data(), length);
        ASSERT_EQ(out, cat({oracle::prf_prime(key, cat({s1, s2}), length), {0xA5}})) << length;
    }
    for (int i = 0; i < 50; ++i) {
        const Bytes key = random(32), p0 = random(random.between(0, 300)), p1 = random(6);
        const ByteSpan parameters[] = {{p0.data(), p0.size()}, {p1.data(), p1.size()}};
        const uint8_t fc = static_cast<uint8_t>(random.between(0, 255));
        Bytes out(HMAC_SHA256_SIZE), ckIkPrime(32);
        kdf_3gpp(key.data(), key.size(), fc, parameters, 2, out.data());
        ASSERT_EQ(out, oracle::kdf_3gpp(key, fc, {p0, p1}));
        kdf_ck_ik_prime(key.data(), key.data() + 16, p0.data(), p0.size(), p1.data(), &ckIkPrime[0], &ckIkPrime[16]);
        ASSERT_EQ(ckIkPrime, oracle::kdf_3gpp(key, 0x20, {p0, p1}));
    }
}

}  // namespace
