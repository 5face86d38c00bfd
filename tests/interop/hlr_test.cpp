// HLR gateway: the request grammar, and how the AuC builds vectors (SQN,
// AUTN), checked against Milenage outputs of the oracle. Resynchronisation
// through the gateway runs against hostapd in scripts/test-interop; the AuC's
// MAC-S rule is checked with the simulated network.
#include <cstring>
#include <sstream>

#include "support/aka_server.h"
#include "support/random_bytes.h"
#include "tools/interop/hlr_gateway.h"

namespace {

const std::string IMSI = "001010123456789";
RandomBytes random_bytes(35205);
using akasrv::be48;

// A subscriber with random keys and operator constants (random c, r no
// byte multiples), whose vectors carry AMF 1234 and IND 7 after SEQ `seq`.
struct Fixture {
    HlrSubscriber s;
    Bytes k = random_bytes(16), opc = random_bytes(16), amf = {0x12, 0x34};

    explicit Fixture(uint64_t seq) {
        s.imsi = IMSI;
        s.seq = seq;
        s.ind = 7;
        std::memcpy(s.keys.k, k.data(), 16);
        std::memcpy(s.keys.opc, opc.data(), 16);
        std::memcpy(s.amf, amf.data(), 2);
        for (int i = 0; i < 5; ++i) {
            s.milenage.c[i] = random_bytes(16);
            s.milenage.r[i] = (8 + 56 * i) % 128;
        }
    }
};

}  // namespace

TEST(HlrProtocol, ParsesOnlyWellFormedRequests) {
    const std::string auts = "000102030405060708090a0b0c0d", rand(32, '0');
    const std::string resync = "AKA-AUTS " + IMSI + " " + auts + " " + rand;
    struct Case { std::string text; HlrRequestKind kind; } ok[] = {  // without the newline: the vector test below
        {"AKA-REQ-AUTH " + IMSI + "\n", HlrRequestKind::AuthVector}, {resync, HlrRequestKind::Resynchronisation}};
    HlrRequest r;
    for (const Case& c : ok) {
        ASSERT_TRUE(hlr_parse_request(c.text.data(), c.text.size(), r)) << c.text;
        EXPECT_EQ(r.kind, c.kind) << c.text;
        EXPECT_EQ(r.imsi, IMSI) << c.text;
    }
    EXPECT_EQ(bytes_to_hex(r.auts, 14), auts);
    const std::string bad[] = {
        "SIM-REQ-AUTH " + IMSI + " 3", "AKA-REQ-AUTH", "AKA-REQ-AUTH  " + IMSI, "AKA-REQ-AUTH " + IMSI + " extra",
        "AKA-REQ-AUTH 00101012345678X", "AKA-REQ-AUTH 12345", "AKA-REQ-AUTH 1234567890123456",
        "AKA-AUTS " + IMSI + " " + auts.substr(2) + " " + rand, resync + "00",
        "AKA-AUTS " + IMSI + " " + auts.substr(1) + "g " + rand, "AKA-AUTS " + IMSI + " " + auts};
    for (const std::string& text : bad) EXPECT_FALSE(hlr_parse_request(text.data(), text.size(), r)) << text;
}

// Vectors as the gateway sends them: what the oracle computes for
// SQN = (SEQ + 1) || IND, AUTN = SQN xor AK || AMF || MAC-A. An unknown IMSI
// gets FAILURE, a bad request or an AUTS that does not verify no reply.
TEST(HlrGateway, VectorsMatchTheMilenageOracle) {
    Fixture f(41);
    HlrAuc auc;
    auc.add(f.s);
    const std::string request = "AKA-REQ-AUTH " + IMSI;
    std::string reply, note;
    for (uint64_t seq = 42; seq <= 43; ++seq) {
        std::string word, imsi, rand, autn, ik, ck, res;
        ASSERT_TRUE(hlr_handle_datagram(auc, request.data(), request.size(), reply, note));
        std::istringstream(reply) >> word >> imsi >> rand >> autn >> ik >> ck >> res;
        EXPECT_EQ(word + " " + imsi, "AKA-RESP-AUTH " + IMSI);
        const Bytes sqn = be48(seq << 5 | 7);
        const oracle::MilenageOut o = oracle::milenage(f.k, f.opc, hex_to_bytes(rand), sqn, f.amf, f.s.milenage);
        Bytes expected = cat({sqn, f.amf, o.macA});
        for (int i = 0; i < 6; ++i) expected[i] ^= o.ak[i];
        EXPECT_EQ(autn + " " + ik + " " + ck + " " + res,
                  bytes_to_hex(expected) + " " + bytes_to_hex(o.ik) + " " +
                      bytes_to_hex(o.ck) + " " + bytes_to_hex(o.res));
    }
    const std::string unknown = "AKA-REQ-AUTH 001019999999999";
    ASSERT_TRUE(hlr_handle_datagram(auc, unknown.data(), unknown.size(), reply, note));
    EXPECT_EQ(reply, "AKA-RESP-AUTH 001019999999999 FAILURE");
    reply.clear();
    for (const std::string& bad : {"AKA-AUTS " + IMSI + " " + std::string(28, '0') + " " + std::string(32, '0'),
                                   std::string("garbage")})
        EXPECT_FALSE(hlr_handle_datagram(auc, bad.data(), bad.size(), reply, note)) << bad;
    EXPECT_TRUE(reply.empty());
}
