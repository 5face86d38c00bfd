// HLR gateway: the request grammar, and how the AuC builds vectors (SQN,
// AUTN) and resynchronises, checked against Milenage outputs of the oracle.
#include <cstring>
#include <sstream>

#include "support/aka_server.h"
#include "support/random_bytes.h"
#include "support/test_host.h"
#include "tools/interop/hlr_gateway.h"

namespace {

const std::string IMSI = "001010123456789";

RandomBytes random_bytes(35205);
using akasrv::be48;

// A subscriber with random keys and operator constants (non-standard c and r).
struct Fixture {
    HlrSubscriber s;
    oracle::MilenageParams params;
    Bytes k, opc;

    explicit Fixture(bool operatorConstants, Bytes amf = {0x80, 0x00}) {
        k = random_bytes(16);
        opc = random_bytes(16);
        s.imsi = IMSI;
        std::memcpy(s.keys.k, k.data(), 16);
        std::memcpy(s.keys.opc, opc.data(), 16);
        std::memcpy(s.amf, amf.data(), 2);
        params = oracle::milenage_standard();
        if (operatorConstants) {
            const int32_t r[5] = {8, 120, 40, 72, 16};
            for (int i = 0; i < 5; ++i) {
                params.c[i] = random_bytes(16);
                params.r[i] = r[i];
            }
        }
        s.milenage = params;
    }
};

}  // namespace

TEST(HlrProtocol, ParsesOnlyWellFormedRequests) {
    const std::string auts(28, 'a'), rand(32, '0');
    struct Case { std::string text; bool ok; HlrRequestKind kind; };
    const Case cases[] = {
        {"AKA-REQ-AUTH " + IMSI, true, HlrRequestKind::AuthVector},
        {"AKA-REQ-AUTH " + IMSI + "\n", true, HlrRequestKind::AuthVector},
        {"AKA-AUTS " + IMSI + " " + auts + " " + rand, true, HlrRequestKind::Resynchronisation},
        {"SIM-REQ-AUTH " + IMSI + " 3", false, {}},
        {"AKA-REQ-AUTH", false, {}},
        {"AKA-REQ-AUTH  " + IMSI, false, {}},
        {"AKA-REQ-AUTH " + IMSI + " extra", false, {}},
        {"AKA-REQ-AUTH 00101012345678X", false, {}},
        {"AKA-REQ-AUTH 12345", false, {}},
        {"AKA-REQ-AUTH 1234567890123456", false, {}},
        {"AKA-REQ-AUTH 0" + IMSI + "@realm", false, {}},
        {"AKA-AUTS " + IMSI + " " + auts.substr(2) + " " + rand, false, {}},
        {"AKA-AUTS " + IMSI + " " + auts + " " + rand + "00", false, {}},
        {"AKA-AUTS " + IMSI + " " + std::string(27, 'a') + "g " + rand, false, {}},
        {"AKA-AUTS " + IMSI + " " + auts, false, {}},
        {"", false, {}},
    };
    for (const Case& c : cases) {
        HlrRequest r;
        bool ok = hlr_parse_request(c.text.data(), c.text.size(), r);
        EXPECT_EQ(ok, c.ok) << c.text;
        if (ok) {
            EXPECT_EQ(r.kind, c.kind) << c.text;
            EXPECT_EQ(r.imsi, IMSI) << c.text;
        }
    }
    HlrRequest r;
    std::string text = "AKA-AUTS " + IMSI + " 000102030405060708090a0b0c0d " + rand;
    ASSERT_TRUE(hlr_parse_request(text.data(), text.size(), r));
    EXPECT_EQ(bytes_to_hex(r.auts, 14), "000102030405060708090a0b0c0d");
}

// Every vector for standard and operator constants and several AMF values
// equals what the oracle computes for SQN = (SEQ + 1) || IND.
TEST(HlrAuc, VectorsMatchTheMilenageOracle) {
    for (bool operatorConstants : {false, true}) {
        for (const Bytes& amf : {Bytes{0x80, 0x00}, Bytes{0x00, 0x00}, Bytes{0x12, 0x34}}) {
            Fixture f(operatorConstants, amf);
            f.s.seq = 41;
            f.s.ind = 7;
            HlrAuc auc;
            auc.add(f.s);
            for (uint64_t seq = 42; seq <= 43; ++seq) {
                tool::AuthVector v;
                Bytes rand = random_bytes(16);
                ASSERT_TRUE(auc.make_vector(IMSI, rand.data(), v));
                Bytes sqn = be48(seq << 5 | 7);
                oracle::MilenageOut o = oracle::milenage(f.k, f.opc, rand, sqn, amf, f.params);
                Bytes autn(16);
                for (int i = 0; i < 6; ++i) autn[i] = sqn[i] ^ o.ak[i];
                std::copy(amf.begin(), amf.end(), autn.begin() + 6);
                std::copy(o.macA.begin(), o.macA.end(), autn.begin() + 8);
                EXPECT_EQ(bytes_to_hex(v.autn, 16), bytes_to_hex(autn));
                EXPECT_EQ(bytes_to_hex(v.xres, 8), bytes_to_hex(o.res));
                EXPECT_EQ(bytes_to_hex(v.ck, 16), bytes_to_hex(o.ck));
                EXPECT_EQ(bytes_to_hex(v.ik, 16), bytes_to_hex(o.ik));
                EXPECT_EQ(bytes_to_hex(v.rand, 16), bytes_to_hex(rand));
            }
        }
    }
}

// AUTS = SQN_MS xor AK* || MAC-S; an AuC checks MAC-S over the dummy AMF
// 0000 of TS 33.102 6.3.3 only, though the vectors carry AMF 8000.
TEST(HlrAuc, ResynchronisesAboveTheSqnOfAValidAuts) {
    struct Case { const char* name; Bytes macAmf; bool corrupt; bool accepted; };
    const Case cases[] = {
        {"MAC-S over the dummy AMF", {0x00, 0x00}, false, true},
        {"MAC-S over the vectors' AMF", {0x80, 0x00}, false, false},
        {"MAC-S over another AMF", {0x00, 0x01}, false, false},
        {"MAC-S corrupted", {0x00, 0x00}, true, false},
    };
    for (const Case& c : cases) {
        Fixture f(true);
        f.s.seq = 3;
        HlrAuc auc;
        auc.add(f.s);
        const uint64_t seqMs = 1000, indMs = 12;
        Bytes rand = random_bytes(16), sqnMs = be48(seqMs << 5 | indMs);
        oracle::MilenageOut o = oracle::milenage(f.k, f.opc, rand, sqnMs, c.macAmf, f.params);
        Bytes auts(14);
        for (int i = 0; i < 6; ++i) auts[i] = sqnMs[i] ^ o.akStar[i];
        std::copy(o.macS.begin(), o.macS.end(), auts.begin() + 6);
        if (c.corrupt) auts[13] ^= 1;

        EXPECT_EQ(auc.resynchronise(IMSI, auts.data(), rand.data()), c.accepted) << c.name;
        tool::AuthVector v;
        ASSERT_TRUE(auc.make_vector(IMSI, rand.data(), v));
        uint64_t expected = c.accepted ? (seqMs + 1) << 5 | indMs : 4u << 5;
        Bytes expectedConcealed(6);
        Bytes expectedSqn = be48(expected);
        for (int i = 0; i < 6; ++i) expectedConcealed[i] = expectedSqn[i] ^ o.ak[i];
        EXPECT_EQ(bytes_to_hex(v.autn, 6), bytes_to_hex(expectedConcealed)) << c.name;
    }
    HlrAuc empty;
    uint8_t auts[14] = {}, rand[16] = {};
    EXPECT_FALSE(empty.resynchronise(IMSI, auts, rand));
}

TEST(HlrGateway, AnswersVectorRequestsAndNothingElse) {
    Fixture f(false);
    HlrAuc auc;
    auc.add(f.s);
    std::string reply, note;

    std::string request = "AKA-REQ-AUTH " + IMSI;
    ASSERT_TRUE(hlr_handle_datagram(auc, request.data(), request.size(), reply, note));
    std::istringstream fields(reply);
    std::string word, imsi, rand, autn, ik, ck, res;
    fields >> word >> imsi >> rand >> autn >> ik >> ck >> res;
    EXPECT_EQ(word, "AKA-RESP-AUTH");
    EXPECT_EQ(imsi, IMSI);
    EXPECT_EQ(rand.size(), 32u);
    oracle::MilenageOut o = oracle::milenage(f.k, f.opc, hex_to_bytes(rand), be48(1 << 5),
                                             {0x80, 0x00}, f.params);
    EXPECT_EQ(ik, bytes_to_hex(o.ik));
    EXPECT_EQ(ck, bytes_to_hex(o.ck));
    EXPECT_EQ(res, bytes_to_hex(o.res));
    EXPECT_EQ(autn.substr(12, 4), "8000");

    request = "AKA-REQ-AUTH 001019999999999";
    ASSERT_TRUE(hlr_handle_datagram(auc, request.data(), request.size(), reply, note));
    EXPECT_EQ(reply, "AKA-RESP-AUTH 001019999999999 FAILURE");

    reply.clear();
    request = "AKA-AUTS " + IMSI + " " + std::string(28, '0') + " " + std::string(32, '0');
    EXPECT_FALSE(hlr_handle_datagram(auc, request.data(), request.size(), reply, note));
    request = "garbage";
    EXPECT_FALSE(hlr_handle_datagram(auc, request.data(), request.size(), reply, note));
    EXPECT_TRUE(reply.empty());
}
