// PRF' (RFC 9048 section 3.4) and the 3GPP key derivation function (TS
// 33.220 Annex B.2) against the oracle's constructions on OpenSSL's
// HMAC-SHA-256, on random keys, parts and lengths. The published
// EAP-AKA' cases check both through the method's key derivation.
#include "crypto/kdf_3gpp.h"
#include "crypto/prf_prime.h"
#include "support/oracle.h"
#include "support/random_bytes.h"

namespace {

constexpr uint8_t kGuard = 0xA5;

TEST(PrfPrime, MatchesReferenceForEveryLengthShape) {
    RandomBytes random(9048);
    // Whole blocks, a byte either side of them, the EAP-AKA' sizes (208 full
    // authentication, 128 re-authentication) and the counter's reach.
    for (size_t length : {size_t{0}, size_t{1}, size_t{31}, size_t{32}, size_t{33}, size_t{128}, size_t{208},
                          PRF_PRIME_MAX_OUTPUT}) {
        const Bytes key = random(random.between(0, 80)), s1 = random(random.between(0, 40)),
                    s2 = random(random.between(0, 40));
        const ByteSpan parts[] = {{s1.data(), s1.size()}, {s2.data(), s2.size()}};
        Bytes out(length + 1, kGuard);
        prf_prime(key.data(), key.size(), parts, 2, out.data(), length);
        EXPECT_EQ(out.back(), kGuard) << length;
        out.pop_back();
        ASSERT_EQ(out, oracle::prf_prime(key, cat({s1, s2}), length)) << length;
    }
}

TEST(PrfPrime, LengthBeyondTheCounterWritesNothing) {
    const uint8_t key[32] = {};
    Bytes out(PRF_PRIME_MAX_OUTPUT + 1, kGuard);
    prf_prime(key, sizeof key, nullptr, 0, out.data(), out.size());
    EXPECT_EQ(out, Bytes(out.size(), kGuard));
}

TEST(Kdf3gpp, MatchesReferenceAndSplitsCkIkPrime) {
    RandomBytes random(33220);
    for (int i = 0; i < 50; ++i) {
        const Bytes key = random(32), p0 = random(random.between(0, 300)), p1 = random(6);
        const ByteSpan parameters[] = {{p0.data(), p0.size()}, {p1.data(), p1.size()}};
        const uint8_t fc = static_cast<uint8_t>(random.between(0, 255));
        Bytes out(HMAC_SHA256_SIZE);
        kdf_3gpp(key.data(), key.size(), fc, parameters, 2, out.data());
        ASSERT_EQ(out, oracle::kdf_3gpp(key, fc, {p0, p1}));

        // TS 33.402 A.2: FC 0x20 under CK | IK, CK' first.
        Bytes ckPrime(16), ikPrime(16);
        kdf_ck_ik_prime(key.data(), key.data() + 16, p0.data(), p0.size(), p1.data(), ckPrime.data(),
                        ikPrime.data());
        ASSERT_EQ(cat({ckPrime, ikPrime}), oracle::kdf_3gpp(key, 0x20, {p0, p1}));
    }
}

}  // namespace
