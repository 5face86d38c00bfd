#include <climits>
#include <cstring>

#include "api/session.h"
#include "crypto/milenage.h"
#include "support/random_bytes.h"
#include "support/oracle.h"

namespace {

void load_session(const Bytes& opc, const oracle::MilenageParams& p) {
    std::memcpy(g_session.opc, opc.data(), 16);
    for (int i = 0; i < 5; ++i) {
        std::memcpy(g_session.milenageC[i], p.c[i].data(), 16);
        g_session.milenageR[i] = p.r[i];
    }
}

// Every output of the library's Milenage with the session as loaded.
oracle::MilenageOut run_library(const Bytes& k, const Bytes& rand, const Bytes& sqn,
                                const Bytes& amf) {
    oracle::MilenageOut o{Bytes(8), Bytes(8), Bytes(8), Bytes(16), Bytes(16), Bytes(6), Bytes(6)};
    milenage_f1(k.data(), rand.data(), sqn.data(), amf.data(), o.macA.data());
    milenage_f2345(k.data(), rand.data(), o.res.data(), o.ck.data(), o.ik.data(), o.ak.data());
    milenage_f1star(k.data(), rand.data(), sqn.data(), amf.data(), o.macS.data());
    milenage_f5star(k.data(), rand.data(), o.akStar.data());
    return o;
}

// All seven outputs in one string, so that one comparison names them all.
std::string all_outputs(const oracle::MilenageOut& o) {
    return "f1 " + bytes_to_hex(o.macA) + " f1* " + bytes_to_hex(o.macS) + " f2 " +
           bytes_to_hex(o.res) + " f3 " + bytes_to_hex(o.ck) + " f4 " + bytes_to_hex(o.ik) +
           " f5 " + bytes_to_hex(o.ak) + " f5* " + bytes_to_hex(o.akStar);
}

Bytes rotate(const Bytes& x, int32_t r) {
    Bytes out(16);
    rotate128(x.data(), r, out.data());
    return out;
}

TEST(Milenage, StandardConstantsMatchOpenSslReference) {
    RandomBytes random(35206);
    const auto standard = oracle::milenage_standard();
    for (int i = 0; i < 1000; ++i) {
        const Bytes k = random(16), opc = random(16), rand = random(16);
        const Bytes sqn = random(6), amf = random(2);
        load_session(opc, standard);
        ASSERT_EQ(all_outputs(run_library(k, rand, sqn, amf)),
                  all_outputs(oracle::milenage(k, opc, rand, sqn, amf)));
    }
}

// Operator variants: any c, and r that are not byte multiples, reach past
// 128 or (mod 128) come from a negative count.
TEST(Milenage, OperatorVariantsMatchOpenSslReference) {
    RandomBytes random(35207);
    for (int i = 0; i < 500; ++i) {
        oracle::MilenageParams p;
        for (int j = 0; j < 5; ++j) {
            p.c[j] = random(16);
            p.r[j] = static_cast<int32_t>(random.between(0, 600)) - 200;
        }
        const Bytes k = random(16), opc = random(16), rand = random(16);
        const Bytes sqn = random(6), amf = random(2);
        load_session(opc, p);
        ASSERT_EQ(all_outputs(run_library(k, rand, sqn, amf)),
                  all_outputs(oracle::milenage(k, opc, rand, sqn, amf, p)))
            << "r = " << p.r[0] << " " << p.r[1] << " " << p.r[2] << " " << p.r[3] << " " << p.r[4];
    }
}

TEST(Milenage, Rotate128Cases) {
    const Bytes x = hex_to_bytes("a0112233445566778899aabbccddeeff");
    struct Case {
        int32_t r;
        const char* expected;
    } cases[] = {
        {0, "a0112233445566778899aabbccddeeff"},
        {4, "0112233445566778899aabbccddeeffa"},   // top nibble wraps into byte 15
        {8, "112233445566778899aabbccddeeffa0"},
        {68, "899aabbccddeeffa0112233445566778"},  // 8 bytes, then 4 bits
        {128, "a0112233445566778899aabbccddeeff"},
        {136, "112233445566778899aabbccddeeffa0"},
        {-8, "ffa0112233445566778899aabbccddee"},  // the other way, as r = 120
        {INT32_MIN, "a0112233445566778899aabbccddeeff"},
        {INT32_MAX, "d0089119a22ab33bc44cd55de66ef77f"},  // 127: one bit right
    };
    for (const auto& c : cases) EXPECT_EQ(bytes_to_hex(rotate(x, c.r)), c.expected) << c.r;
}

TEST(Milenage, Rotate128MatchesBitwiseReference) {
    const Bytes x = RandomBytes(128)(16);
    for (int32_t r = -300; r <= 300; ++r) ASSERT_EQ(rotate(x, r), oracle::rotate128(x, r)) << r;
}

TEST(Milenage, LoggedVariantGivesSameOutputsAndTracesItsParameters) {
    const Bytes k = RandomBytes(1)(16), rand = RandomBytes(2)(16);
    const Bytes opc = hex_to_bytes("cd63cb71954a9f4e48a5994e37a02baf");
    load_session(opc, oracle::milenage_standard());
    Bytes plain[4] = {Bytes(8), Bytes(16), Bytes(16), Bytes(6)};
    Bytes logged[4] = {Bytes(8), Bytes(16), Bytes(16), Bytes(6)};

    TraceFile trace;
    milenage_f2345(k.data(), rand.data(), plain[0].data(), plain[1].data(), plain[2].data(),
                   plain[3].data());
    EXPECT_EQ(trace.contents(), "");
    milenage_f2345_logged(k.data(), rand.data(), logged[0].data(), logged[1].data(),
                          logged[2].data(), logged[3].data());
    for (int i = 0; i < 4; ++i) EXPECT_EQ(plain[i], logged[i]);
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
