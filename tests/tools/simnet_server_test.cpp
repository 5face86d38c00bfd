// The simulated network on its own: the peer's side of each exchange is
// computed here with the oracle, so the network's AUTN, keys and encryption
// are checked independently and the refusals that the library never
// provokes (a wrong RES, MAC, counter, AUTS or AT_CHECKCODE) are seen.
#include <gtest/gtest.h>

#include "support/aka_server.h"
#include "support/oracle.h"
#include "tools/simnet/server.h"

using namespace tool;

namespace {

const std::string REALM = "@net.test";

Bytes aka_response(uint8_t id, uint8_t subtype, const Bytes& attributes) {
    Bytes p = akasrv::aka_request(id, subtype, attributes);
    p[0] = EAP_RESPONSE;
    return p;
}

Bytes identity_response(uint8_t id, const std::string& identity) {
    return cat({{EAP_RESPONSE, id, 0, static_cast<uint8_t>(5 + identity.size()), EAP_TYPE_IDENTITY},
                text_bytes(identity)});
}

Bytes bytes_of(const uint8_t* p, size_t n) { return Bytes(p, p + n); }

// The attribute's bytes after its two reserved ones.
Bytes value_of(const Bytes& packet, uint8_t type) {
    EapPacket p;
    EXPECT_TRUE(p.parse(packet));
    const Attribute* a = p.find(type);
    EXPECT_NE(a, nullptr) << aka_attribute_name(type);
    return a == nullptr ? Bytes(16) : bytes_of(a->value + 2, a->valueSize - 2);
}

// The peer's side of a full authentication (RFC 4187 section 7).
struct PeerView { Bytes res, kEncr, kAut, msk, sqn; bool autnAuthentic = false; };

PeerView peer_view(const SubscriberProfile& s, const std::string& identity, const Bytes& challenge) {
    const Bytes k = bytes_of(s.main.k, 16), opc = bytes_of(s.main.opc, 16);
    const Bytes rand = value_of(challenge, AT_RAND), autn = value_of(challenge, AT_AUTN);
    const Bytes amf = akasrv::slice(autn, 6, 2), ak = oracle::milenage(k, opc, rand, Bytes(6), amf).ak;
    Bytes sqn;
    for (int i = 0; i < 6; ++i) sqn.push_back(autn[i] ^ ak[i]);
    const oracle::MilenageOut out = oracle::milenage(k, opc, rand, sqn, amf);
    const Bytes x = oracle::fips186_prf(oracle::sha1(cat({text_bytes(identity), out.ik, out.ck})));
    return {out.res, akasrv::slice(x, 0, 16), akasrv::slice(x, 16, 16), akasrv::slice(x, 32, 64), sqn,
            out.macA == akasrv::slice(autn, 8, 8)};
}

// An AKA response whose attributes end in AT_MAC, the MAC filled in.
Bytes sealed_response(uint8_t id, uint8_t subtype, const Bytes& attrs, const Bytes& kAut, const Bytes& extra = {}) {
    const Bytes packet = aka_response(id, subtype, cat({attrs, akasrv::attr16(AT_MAC, Bytes(16))}));
    return akasrv::with_mac(kAut, packet, packet.size() - 16, extra);
}

Bytes at_res(const Bytes& res, uint8_t bits = 64) { return cat({{AT_RES, 3, 0x00, bits}, res}); }

class SimnetServer : public ::testing::Test {
protected:
    SubscriberProfile subscriber = SubscriberProfile::defaults();
    NetRandom random;
    Hss hss{subscriber, random};
    EapAkaServer server{hss, REALM, random};
    std::string identity = subscriber.permanentId + REALM;

    // The challenge after the EAP-Response/Identity and any AKA-Identity
    // rounds, each answered with the permanent identity.
    Bytes challenge(EapAkaServer& network, const ServerPlan& plan = {}) {
        Bytes request = network.start(plan).packet;
        Bytes response = identity_response(request[1], identity);
        while ((request = network.handle(response).packet)[5] == AKA_IDENTITY)
            response = aka_response(request[1], AKA_IDENTITY, akasrv::identity_attr(AT_IDENTITY, identity));
        return request;
    }
};

// A response must carry this challenge's Identifier, the whole 64-bit RES,
// the AT_CHECKCODE of the identity rounds and an AT_MAC under K_aut; then
// the MSK is the peer's.
TEST_F(SimnetServer, ChallengeIsAuthenticAndResponsesAreChecked) {
    // The words of the refusal, or nullptr for an accepted response.
    struct Case { const char* name; int idDelta; uint8_t resBits, resFlip, macFlip; bool rounds; const char* refusal; };
    const Case cases[] = {
        {"valid response", 0, 64, 0, 0, false, nullptr},
        {"wrong RES", 0, 64, 1, 0, false, "AT_RES"},
        {"wrong AT_MAC", 0, 64, 0, 0x80, false, "AT_MAC"},
        {"RES of 32 bits", 0, 32, 0, 0, false, "AT_RES"},
        {"stale Identifier", -1, 64, 0, 0, false, ""},
        {"AT_CHECKCODE not of the identity rounds", 0, 64, 0, 0, true, "AT_CHECKCODE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServerPlan plan;
        plan.identityRounds = c.rounds;
        const Bytes request = challenge(server, plan);
        PeerView v = peer_view(subscriber, identity, request);
        ASSERT_TRUE(v.autnAuthentic);
        v.res[7] ^= c.resFlip;
        const Bytes checkcode = c.rounds ? akasrv::attr(AT_CHECKCODE, 6, Bytes(22, 0x11)) : Bytes{};
        Bytes response = sealed_response(static_cast<uint8_t>(request[1] + c.idDelta), AKA_CHALLENGE,
                                         cat({at_res(v.res, c.resBits), checkcode}), v.kAut);
        response.back() ^= c.macFlip;
        const ServerStep step = server.handle(response);
        ASSERT_TRUE(step.final);
        EXPECT_EQ(step.packet[0], c.refusal == nullptr ? EAP_SUCCESS : EAP_FAILURE);
        if (c.refusal == nullptr) EXPECT_EQ(bytes_of(server.msk(), 64), v.msk);
        else EXPECT_NE(server.reason().find(c.refusal), std::string::npos) << server.reason();
    }
}

// The default network checks MAC-S with the AMF of the refused AUTN (8000),
// as the library computes it by default; the rfc4187 network, as an AuC,
// with the dummy AMF 0000 only (TS 33.102 6.3.3). A valid AUTS moves SEQ
// just above SEQ_MS, keeping its IND.
TEST_F(SimnetServer, AutsResynchronisesOnlyWhenMacSVerifies) {
    const uint64_t seqMs = 5000, ind = 7;
    const Bytes sqnMs = akasrv::be48(seqMs << SQN_IND_BITS | ind), autnAmf = {0x80, 0x00}, dummyAmf = {0, 0};
    struct Case { const char* name; NetworkProfile profile; Bytes macAmf; bool accepted; } cases[] = {
        {"default, AUTN's AMF", NetworkProfile::Default, autnAmf, true},
        {"default, dummy AMF", NetworkProfile::Default, dummyAmf, false},
        {"rfc4187, dummy AMF", NetworkProfile::Rfc4187, dummyAmf, true},
        {"rfc4187, AUTN's AMF", NetworkProfile::Rfc4187, autnAmf, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SubscriberProfile record = subscriber;
        Hss networkHss(record, random);
        EapAkaServer network(networkHss, REALM, random, network_rules(c.profile));
        const Bytes request = challenge(network);
        const oracle::MilenageOut o = oracle::milenage(bytes_of(subscriber.main.k, 16),
                                                       bytes_of(subscriber.main.opc, 16), value_of(request, AT_RAND),
                                                       sqnMs, c.macAmf);
        Bytes auts;
        for (int i = 0; i < 6; ++i) auts.push_back(sqnMs[i] ^ o.akStar[i]);
        auts.insert(auts.end(), o.macS.begin(), o.macS.end());
        const ServerStep next =
            network.handle(aka_response(request[1], AKA_SYNCHRONIZATION_FAILURE, akasrv::attr(AT_AUTS, 4, auts)));
        if (!c.accepted) {
            EXPECT_EQ(next.packet[0], EAP_FAILURE);
            EXPECT_NE(network.reason().find("MAC-S"), std::string::npos) << network.reason();
            continue;
        }
        ASSERT_FALSE(next.final) << network.reason();
        const PeerView after = peer_view(subscriber, identity, next.packet);
        ASSERT_TRUE(after.autnAuthentic);
        EXPECT_EQ(after.sqn, akasrv::be48((seqMs + 1) << SQN_IND_BITS | ind));
    }
}

// Fast re-authentication: the encrypted counter the peer returns must be
// the one sent, and its AT_MAC must cover NONCE_S.
TEST_F(SimnetServer, ReauthenticationRefusesStaleCounterAndMacWithoutNonce) {
    struct Case { const char* name; int counterDelta; bool macWithoutNonce; } cases[] = {
        {"counter echoed", 0, false}, {"stale counter", -1, false}, {"MAC without NONCE_S", 0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServerPlan issue;
        issue.issueReauthId = true;
        const Bytes request = challenge(server, issue);
        const PeerView full = peer_view(subscriber, identity, request);
        ASSERT_EQ(server.handle(sealed_response(request[1], AKA_CHALLENGE, at_res(full.res), full.kAut)).packet[0],
                  EAP_SUCCESS);
        const std::string reauthId = server.issuedReauthId;
        const Bytes start = server.start(ServerPlan{}).packet;
        const Bytes reauth = server.handle(identity_response(start[1], reauthId)).packet;
        ASSERT_EQ(reauth[5], AKA_REAUTHENTICATION);
        const Bytes inner =
            oracle::aes_cbc_decrypt(full.kEncr, value_of(reauth, AT_IV), value_of(reauth, AT_ENCR_DATA));
        ASSERT_EQ(inner[0], AT_COUNTER);
        ASSERT_EQ(inner[4], AT_NONCE_S);
        const Bytes counter(inner.begin() + 2, inner.begin() + 4), nonce(inner.begin() + 8, inner.begin() + 24);

        const Bytes echoed = akasrv::be16((counter[0] << 8 | counter[1]) + c.counterDelta);
        const Bytes attrs = akasrv::encrypted(full.kEncr, Bytes(16, 0x5A), cat({{AT_COUNTER, 1}, echoed}));
        const ServerStep step = server.handle(sealed_response(reauth[1], AKA_REAUTHENTICATION, attrs, full.kAut,
                                                              c.macWithoutNonce ? Bytes{} : nonce));
        ASSERT_TRUE(step.final);
        EXPECT_EQ(step.packet[0], c.counterDelta == 0 && !c.macWithoutNonce ? EAP_SUCCESS : EAP_FAILURE)
            << server.reason();
    }
}

}  // namespace
