// Milenage (TS 35.206) against the oracle with the standard constants and
// with operator constants, rot() for every count, the traced variant, and
// null arguments.
#include <climits>
#include <cstring>

#include "api/session.h"
#include "crypto/milenage.h"
#include "support/oracle.h"
#include "support/random_bytes.h"

namespace {

void load_session(const Bytes& opc, const oracle::MilenageParams& p) {
    std::memcpy(g_session.opc, opc.data(), 16);
    for (int i = 0; i < 5; ++i) {
        std::memcpy(g_session.milenageC[i], p.c[i].data(), 16);
        g_session.milenageR[i] = p.r[i];
    }
}

// All seven outputs of the library's Milenage with the session as loaded.
oracle::MilenageOut library_outputs(const Bytes& k, const Bytes& rand, const Bytes& sqn, const Bytes& amf) {
    oracle::MilenageOut o{Bytes(8), Bytes(8), Bytes(8), Bytes(16), Bytes(16), Bytes(6), Bytes(6)};
    milenage_f1(k.data(), rand.data(), sqn.data(), amf.data(), o.macA.data());
    milenage_f1star(k.data(), rand.data(), sqn.data(), amf.data(), o.macS.data());
    milenage_f2345(k.data(), rand.data(), o.res.data(), o.ck.data(), o.ik.data(), o.ak.data());
    milenage_f5star(k.data(), rand.data(), o.akStar.data());
    return o;
}

// The outputs in one string, so that one comparison names them all.
std::string text(const oracle::MilenageOut& o) {
    std::string all;
    for (const Bytes* b : {&o.macA, &o.macS, &o.res, &o.ck, &o.ik, &o.ak, &o.akStar}) all += bytes_to_hex(*b) + " ";
    return all;
}

// Every third run the standard constants; the others any c, and r that are
// not byte multiples, reach past 128 or (mod 128) come from a negative count.
TEST(Milenage, MatchesOracleForStandardAndOperatorConstants) {
    RandomBytes random(35206);
    for (int i = 0; i < 1500; ++i) {
        oracle::MilenageParams p = oracle::milenage_standard();
        for (int j = 0; j < 5 && i % 3 != 0; ++j) {
            p.c[j] = random(16);
            p.r[j] = static_cast<int32_t>(random.between(0, 600)) - 200;
        }
        const Bytes k = random(16), opc = random(16), rand = random(16), sqn = random(6), amf = random(2);
        load_session(opc, p);
        ASSERT_EQ(text(library_outputs(k, rand, sqn, amf)), text(oracle::milenage(k, opc, rand, sqn, amf, p)))
            << "r = " << p.r[0] << " " << p.r[1] << " " << p.r[2] << " " << p.r[3] << " " << p.r[4];
    }
}

// Negative counts and those of 128 or more reduce modulo 128.
TEST(Milenage, Rotate128MatchesBitwiseReference) {
    const Bytes x = RandomBytes(128)(16);
    std::vector<int32_t> counts = {INT32_MIN, INT32_MIN + 1, INT32_MAX};
    for (int32_t r = -300; r <= 300; ++r) counts.push_back(r);
    for (int32_t r : counts) {
        Bytes out(16);
        rotate128(x.data(), r, out.data());
        ASSERT_EQ(out, oracle::rotate128(x, r)) << r;
    }
}

TEST(Milenage, LoggedVariantGivesSameOutputsAndTracesItsParameters) {
    const Bytes k = RandomBytes(1)(16), rand = RandomBytes(2)(16);
    load_session(hex_to_bytes("cd63cb71954a9f4e48a5994e37a02baf"), oracle::milenage_standard());
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

TEST(Milenage, NullArgumentsWriteNothing) {
    const Bytes k(16, 1), rand(16, 2), sqn(6, 3), amf(2, 4);
    Bytes out(16, 0xEE);
    milenage_f1(nullptr, rand.data(), sqn.data(), amf.data(), out.data());
    milenage_f1star(k.data(), rand.data(), nullptr, amf.data(), out.data());
    milenage_f2345(k.data(), nullptr, out.data(), out.data(), out.data(), out.data());
    milenage_f2345_logged(k.data(), rand.data(), out.data(), nullptr, out.data(), out.data());
    milenage_f5star(nullptr, rand.data(), out.data());
    EXPECT_EQ(out, Bytes(16, 0xEE));
}

}  // namespace
