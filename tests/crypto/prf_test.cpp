// The key derivation functions against the oracle: the FIPS 186-2 PRF of
// EAP-AKA (RFC 4187 section 7), PRF' of EAP-AKA' (RFC 9048 section 3.4)
// and the 3GPP KDF (TS 33.220 Annex B.2) that gives CK' and IK'.
#include <cstring>

#include "api/session.h"
#include "crypto/fips186_prf.h"
#include "crypto/kdf_3gpp.h"
#include "crypto/prf_prime.h"
#include "support/oracle.h"
#include "support/random_bytes.h"

namespace {

constexpr size_t kPrfOutput = 160;
constexpr uint8_t kGuard = 0xA5;

Bytes prf(const Bytes& xkey) {
    Bytes out(kPrfOutput);
    fips186_prf(xkey.data(), out.data());
    return out;
}

// XKEY = ff..ff is the carry across all 160 bits: XKEY + w0 + 1 wraps back
// to w0, so w1 = G(w0). Every call hands standard SHA-1 back to the next
// user.
TEST(Fips186Prf, MatchesOracleAndCarriesAcross160Bits) {
    RandomBytes random(1862);
    std::vector<Bytes> xkeys = {Bytes(20, 0xFF)};
    for (int i = 0; i < 300; ++i) xkeys.push_back(random(20));
    for (const Bytes& xkey : xkeys) {
        ASSERT_EQ(prf(xkey), oracle::fips186_prf(xkey)) << bytes_to_hex(xkey);
        ASSERT_EQ(g_session.sha1RawMode, 0);
    }
    const Bytes out = prf(Bytes(20, 0xFF));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 20), oracle::sha1_g(Bytes(20, 0xFF)));
    EXPECT_EQ(Bytes(out.begin() + 20, out.begin() + 40), oracle::sha1_g(Bytes(out.begin(), out.begin() + 20)));
}

TEST(Fips186Prf, NullArgumentsWriteNothing) {
    Bytes out(kPrfOutput, kGuard);
    fips186_prf(nullptr, out.data());
    EXPECT_EQ(out, Bytes(kPrfOutput, kGuard));
    const uint8_t xkey[20] = {};
    fips186_prf(xkey, nullptr);
    EXPECT_EQ(g_session.sha1RawMode, 0);
}

// Whole blocks, a byte either side of them, the EAP-AKA' sizes (208 full
// authentication, 128 re-authentication) and the counter's reach; one byte
// more than the counter reaches writes nothing.
TEST(PrfPrime, MatchesOracleForEveryLengthShape) {
    RandomBytes random(9048);
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
    const uint8_t key[32] = {};
    Bytes out(PRF_PRIME_MAX_OUTPUT + 1, kGuard);
    prf_prime(key, sizeof key, nullptr, 0, out.data(), out.size());
    EXPECT_EQ(out, Bytes(out.size(), kGuard));
}

TEST(Kdf3gpp, MatchesOracleAndSplitsCkIkPrime) {
    RandomBytes random(33220);
    for (int i = 0; i < 50; ++i) {
        const Bytes key = random(32), p0 = random(random.between(0, 300)), p1 = random(6);
        const ByteSpan parameters[] = {{p0.data(), p0.size()}, {p1.data(), p1.size()}};
        const uint8_t fc = static_cast<uint8_t>(random.between(0, 255));
        Bytes out(HMAC_SHA256_SIZE);
        kdf_3gpp(key.data(), key.size(), fc, parameters, 2, out.data());
        ASSERT_EQ(out, oracle::kdf_3gpp(key, fc, {p0, p1}));

        // TS 33.402 A.2: FC 0x20 under CK | IK, CK' first.
        Bytes ckIkPrime(32);
        kdf_ck_ik_prime(key.data(), key.data() + 16, p0.data(), p0.size(), p1.data(), &ckIkPrime[0], &ckIkPrime[16]);
        ASSERT_EQ(ckIkPrime, oracle::kdf_3gpp(key, 0x20, {p0, p1}));
    }
}

}  // namespace
