#include <climits>
#include <cstring>

#include "api/session.h"
#include "crypto/milenage.h"
#include "random_bytes.h"
#include "support/oracle.h"
#include "support/vector_file.h"

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

void expect_same(const oracle::MilenageOut& got, const oracle::MilenageOut& want,
                 const std::string& what) {
    EXPECT_EQ(bytes_to_hex(got.macA), bytes_to_hex(want.macA)) << what << " f1";
    EXPECT_EQ(bytes_to_hex(got.macS), bytes_to_hex(want.macS)) << what << " f1*";
    EXPECT_EQ(bytes_to_hex(got.res), bytes_to_hex(want.res)) << what << " f2";
    EXPECT_EQ(bytes_to_hex(got.ck), bytes_to_hex(want.ck)) << what << " f3";
    EXPECT_EQ(bytes_to_hex(got.ik), bytes_to_hex(want.ik)) << what << " f4";
    EXPECT_EQ(bytes_to_hex(got.ak), bytes_to_hex(want.ak)) << what << " f5";
    EXPECT_EQ(bytes_to_hex(got.akStar), bytes_to_hex(want.akStar)) << what << " f5*";
}

Bytes rotate(const Bytes& x, int32_t r) {
    Bytes out(16);
    rotate128(x.data(), r, out.data());
    return out;
}

// TS 35.208 conformance data: OPc is derived from OP here, as an operator
// provisioning the key store would, and must match the published OPc.
TEST(Milenage, PublishedConformanceSets) {
    const auto records = load_vectors("milenage_ts35208.txt");
    ASSERT_FALSE(records.empty());
    for (const auto& r : records) {
        const Bytes k = r.bytes("K");
        const Bytes opc = oracle::milenage_opc(k, r.bytes("OP"));
        EXPECT_EQ(opc, r.bytes("OPC")) << r.id;
        load_session(opc, oracle::milenage_standard());
        const oracle::MilenageOut want{r.bytes("F1_MAC_A"), r.bytes("F1STAR_MAC_S"),
                                       r.bytes("F2_RES"),   r.bytes("F3_CK"),
                                       r.bytes("F4_IK"),    r.bytes("F5_AK"),
                                       r.bytes("F5STAR_AK")};
        expect_same(run_library(k, r.bytes("RAND"), r.bytes("SQN"), r.bytes("AMF")), want, r.id);
    }
}

// AUTS = (SQN_MS xor AK*) || MAC-S, TS 33.102 6.3.3.
TEST(Milenage, PublishedResynchronisationTokens) {
    const auto records = load_vectors("milenage_auts.txt");
    ASSERT_FALSE(records.empty());
    for (const auto& r : records) {
        load_session(r.bytes("OPC"), oracle::milenage_standard());
        const Bytes k = r.bytes("K"), rand = r.bytes("RAND"), sqn = r.bytes("SQN_MS");
        Bytes akStar(6), macS(8);
        milenage_f5star(k.data(), rand.data(), akStar.data());
        milenage_f1star(k.data(), rand.data(), sqn.data(), r.bytes("AMF_RESYNC").data(),
                        macS.data());
        EXPECT_EQ(akStar, r.bytes("F5STAR_AK")) << r.id;
        EXPECT_EQ(macS, r.bytes("F1STAR_MAC_S")) << r.id;
        Bytes auts(6);
        for (int i = 0; i < 6; ++i) auts[i] = sqn[i] ^ akStar[i];
        auts.insert(auts.end(), macS.begin(), macS.end());
        EXPECT_EQ(auts, r.bytes("AUTS")) << r.id;
    }
}

TEST(Milenage, StandardConstantsMatchOpenSslReference) {
    RandomBytes random(35206);
    const auto standard = oracle::milenage_standard();
    for (int i = 0; i < 1000; ++i) {
        const Bytes k = random(16), opc = random(16), rand = random(16);
        const Bytes sqn = random(6), amf = random(2);
        load_session(opc, standard);
        expect_same(run_library(k, rand, sqn, amf), oracle::milenage(k, opc, rand, sqn, amf),
                    "iteration " + std::to_string(i));
        if (HasFailure()) return;
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
        expect_same(run_library(k, rand, sqn, amf), oracle::milenage(k, opc, rand, sqn, amf, p),
                    "r1 " + std::to_string(p.r[0]) + " r2 " + std::to_string(p.r[1]));
        if (HasFailure()) return;
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
