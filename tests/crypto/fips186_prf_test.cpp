#include <cstring>

#include "api/session.h"
#include "crypto/fips186_prf.h"
#include "crypto/sha1.h"
#include "support/random_bytes.h"
#include "support/oracle.h"

namespace {

constexpr size_t kOutput = 160;

Bytes prf(const Bytes& xkey) {
    Bytes out(kOutput);
    fips186_prf(xkey.data(), out.data());
    return out;
}

Bytes slice(const Bytes& b, size_t from, size_t length) {
    return Bytes(b.begin() + from, b.begin() + from + length);
}

TEST(Fips186Prf, MatchesOpenSslReference) {
    RandomBytes random(1862);
    for (int i = 0; i < 300; ++i) {
        const Bytes xkey = random(20);
        ASSERT_EQ(prf(xkey), oracle::fips186_prf(xkey)) << bytes_to_hex(xkey);
    }
}

// w0 is G(XKEY); the call is a pure function of XKEY, which it leaves alone,
// and it hands back standard SHA-1 to the next user.
TEST(Fips186Prf, FirstBlockIsOneRawCompressionAndStateIsRestored) {
    const Bytes xkey = RandomBytes(5)(20);
    uint8_t mk[20];
    std::memcpy(mk, xkey.data(), 20);
    uint8_t out1[kOutput], out2[kOutput];
    fips186_prf(mk, out1);
    EXPECT_EQ(g_session.sha1RawMode, 0);
    fips186_prf(mk, out2);
    EXPECT_EQ(Bytes(mk, mk + 20), xkey);
    EXPECT_EQ(0, std::memcmp(out1, out2, kOutput));
    EXPECT_EQ(Bytes(out1, out1 + 20), oracle::sha1_g(xkey));

    const Bytes abc = {'a', 'b', 'c'};
    Sha1Context ctx;
    uint8_t digest[20];
    sha1_reset(&ctx);
    sha1_input(&ctx, abc.data(), 3);
    sha1_result(&ctx, digest);
    EXPECT_EQ(Bytes(digest, digest + 20), oracle::sha1(abc));
}

// XKEY = ff..ff: XKEY + w0 + 1 wraps around 2^160 back to w0 only if the
// carry crosses all twenty bytes, so w1 must be G(w0).
TEST(Fips186Prf, CarryCrossesAll160Bits) {
    const Bytes out = prf(Bytes(20, 0xFF));
    EXPECT_EQ(slice(out, 0, 20), oracle::sha1_g(Bytes(20, 0xFF)));
    EXPECT_EQ(slice(out, 20, 20), oracle::sha1_g(slice(out, 0, 20)));
}

TEST(Fips186Prf, NullArgumentsWriteNothing) {
    uint8_t out[kOutput];
    std::memset(out, 0x3C, sizeof out);
    fips186_prf(nullptr, out);
    EXPECT_EQ(out[0], 0x3C);
    EXPECT_EQ(out[kOutput - 1], 0x3C);
    const uint8_t xkey[20] = {};
    fips186_prf(xkey, nullptr);
    EXPECT_EQ(g_session.sha1RawMode, 0);
}

}  // namespace
