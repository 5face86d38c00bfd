// The simulated network on its own: the peer's side of every exchange is
// built here with the OpenSSL oracle, so the server's AUTN, keys and
// encryption are checked independently and its refusals can be provoked.
#include <gtest/gtest.h>

#include <cstring>

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

Bytes value16(const Bytes& packet, uint8_t type) {
    EapPacket p;
    EXPECT_TRUE(p.parse(packet));
    const Attribute* a = p.find(type);
    EXPECT_NE(a, nullptr) << aka_attribute_name(type);
    return a == nullptr ? Bytes(16) : bytes_of(a->value + 2, 16);
}

// The plaintext of the packet's AT_ENCR_DATA, decrypted with OpenSSL.
Bytes decrypted(const Bytes& packet, const Bytes& kEncr) {
    EapPacket p;
    EXPECT_TRUE(p.parse(packet));
    const Attribute* e = p.find(AT_ENCR_DATA);
    EXPECT_NE(e, nullptr);
    if (e == nullptr) return Bytes(16);
    return oracle::aes_cbc_decrypt(kEncr, value16(packet, AT_IV), bytes_of(e->value + 2, e->valueSize - 2));
}

// The peer's side of a full authentication, computed with OpenSSL.
struct PeerView {
    Bytes res, kEncr, kAut, msk, mk, sqn;
    bool autnAuthentic = false;
};

PeerView peer_view(const SubscriberProfile& s, const std::string& identity, const Bytes& challenge) {
    Bytes k = bytes_of(s.main.k, 16), opc = bytes_of(s.main.opc, 16);
    Bytes rand = value16(challenge, AT_RAND), autn = value16(challenge, AT_AUTN);
    Bytes amf(autn.begin() + 6, autn.begin() + 8);
    oracle::MilenageOut first = oracle::milenage(k, opc, rand, Bytes(6), amf);
    PeerView v;
    for (int i = 0; i < 6; ++i) v.sqn.push_back(autn[i] ^ first.ak[i]);
    oracle::MilenageOut out = oracle::milenage(k, opc, rand, v.sqn, amf);
    v.autnAuthentic = out.macA == Bytes(autn.begin() + 8, autn.end());
    v.res = out.res;
    v.mk = oracle::sha1(cat({text_bytes(identity), out.ik, out.ck}));
    Bytes x = oracle::fips186_prf(v.mk);
    v.kEncr.assign(x.begin(), x.begin() + 16);
    v.kAut.assign(x.begin() + 16, x.begin() + 32);
    v.msk.assign(x.begin() + 32, x.begin() + 96);
    return v;
}

// An AKA response whose attributes end in AT_MAC, the MAC filled in.
Bytes sealed_response(uint8_t id, uint8_t subtype, const Bytes& attrs, const Bytes& kAut, const Bytes& extra = {}) {
    const Bytes packet = aka_response(id, subtype, cat({attrs, akasrv::attr16(AT_MAC, Bytes(16))}));
    return akasrv::with_mac(kAut, packet, packet.size() - 16, extra);
}

Bytes at_res(const Bytes& res) { return cat({{AT_RES, 3, 0x00, 0x40}, res}); }

Bytes challenge_response(uint8_t id, const Bytes& res, const Bytes& kAut) {
    return sealed_response(id, AKA_CHALLENGE, at_res(res), kAut);
}

class SimnetServer : public ::testing::Test {
protected:
    SubscriberProfile subscriber = SubscriberProfile::defaults();
    NetRandom random;
    Hss hss{subscriber, random};
    EapAkaServer server{hss, REALM, random};
    std::string identity = subscriber.permanentId + REALM;

    Bytes challenge(const ServerPlan& plan = {}) {
        Bytes request = server.start(plan).packet;
        return server.handle(identity_response(request[1], identity)).packet;
    }
};

TEST_F(SimnetServer, ChallengeIsAuthenticAndResponsesAreChecked) {
    struct Case {
        const char* name;
        bool flipRes, flipMac, shortRes;
        const char* refusal;  // nullptr: accepted
    };
    const Case cases[] = {
        {"valid response", false, false, false, nullptr},
        {"wrong RES", true, false, false, "AT_RES"},
        {"wrong AT_MAC", false, true, false, "AT_MAC"},
        {"RES of 32 bits", false, false, true, "AT_RES"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes request = challenge();
        PeerView v = peer_view(subscriber, identity, request);
        ASSERT_TRUE(v.autnAuthentic);
        Bytes res = v.res;
        if (c.flipRes) res[7] ^= 0x01;
        Bytes response = challenge_response(request[1], res, v.kAut);
        if (c.shortRes) {
            response[11] = 32;  // RES length in bits
            response = akasrv::with_mac(v.kAut, response, response.size() - 16);
        }
        if (c.flipMac) response.back() ^= 0x80;
        ServerStep step = server.handle(response);
        ASSERT_TRUE(step.final);
        if (c.refusal == nullptr) {
            EXPECT_EQ(step.packet[0], EAP_SUCCESS);
            EXPECT_EQ(server.outcome(), ServerOutcome::Success);
            EXPECT_EQ(bytes_of(server.msk(), 64), v.msk);
        } else {
            EXPECT_EQ(step.packet[0], EAP_FAILURE);
            EXPECT_EQ(server.outcome(), ServerOutcome::Failure);
            EXPECT_NE(server.reason().find(c.refusal), std::string::npos) << server.reason();
        }
    }
}

TEST_F(SimnetServer, ResponseWithStaleIdentifierIsRefused) {
    Bytes request = challenge();
    PeerView v = peer_view(subscriber, identity, request);
    ServerStep step = server.handle(challenge_response(static_cast<uint8_t>(request[1] - 1), v.res, v.kAut));
    EXPECT_EQ(step.packet[0], EAP_FAILURE);
}

TEST_F(SimnetServer, SequenceNumbersFollowTheIndexArray) {
    // TS 33.102 C.3.2: SEQ grows by one, IND cycles through 0..31.
    for (unsigned i = 0; i < SQN_IND_COUNT + 2; ++i) {
        AuthVector v = hss.generate(false);
        uint64_t sqn = sqn_from_bytes(v.sqn);
        EXPECT_EQ(sqn >> SQN_IND_BITS, i + 1);
        EXPECT_EQ(sqn & (SQN_IND_COUNT - 1), i % SQN_IND_COUNT);
    }
}

// AUTS = SQN_MS xor AK* || MAC-S for the challenge's RAND and `macAmf`.
Bytes auts_for(const SubscriberProfile& s, const Bytes& challenge, const Bytes& sqnMs, const Bytes& macAmf) {
    Bytes rand = value16(challenge, AT_RAND);
    oracle::MilenageOut o = oracle::milenage(bytes_of(s.main.k, 16), bytes_of(s.main.opc, 16), rand, sqnMs, macAmf);
    Bytes auts;
    for (int i = 0; i < 6; ++i) auts.push_back(sqnMs[i] ^ o.akStar[i]);
    auts.insert(auts.end(), o.macS.begin(), o.macS.end());
    return auts;
}

// The default network checks MAC-S with the AMF of the refused AUTN (8000),
// as the library computes it by default; the rfc4187 network, as an AuC,
// with the dummy AMF 0000 only (TS 33.102 6.3.3).
TEST_F(SimnetServer, AutsResynchronisesOnlyWhenMacSVerifies) {
    const uint64_t seqMs = 5000;
    const unsigned ind = 7;
    const Bytes sqnMs = akasrv::be48(seqMs << SQN_IND_BITS | ind);
    const Bytes autnAmf = {0x80, 0x00}, dummyAmf = {0x00, 0x00};
    struct Case {
        const char* name;
        NetworkProfile profile;
        Bytes macAmf;
        bool corrupt;
        bool accepted;
    };
    const Case cases[] = {
        {"default, AUTN's AMF", NetworkProfile::Default, autnAmf, false, true},
        {"default, AUTN's AMF, MAC-S damaged", NetworkProfile::Default, autnAmf, true, false},
        {"default, dummy AMF", NetworkProfile::Default, dummyAmf, false, false},
        {"rfc4187, dummy AMF", NetworkProfile::Rfc4187, dummyAmf, false, true},
        {"rfc4187, AUTN's AMF", NetworkProfile::Rfc4187, autnAmf, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SubscriberProfile record = subscriber;
        Hss networkHss(record, random);
        EapAkaServer network(networkHss, REALM, random, network_rules(c.profile));
        Bytes start = network.start(ServerPlan{}).packet;
        Bytes request = network.handle(identity_response(start[1], identity)).packet;
        Bytes auts = auts_for(subscriber, request, sqnMs, c.macAmf);
        if (c.corrupt) auts[13] ^= 0x01;
        ServerStep next = network.handle(aka_response(request[1], AKA_SYNCHRONIZATION_FAILURE, akasrv::attr(AT_AUTS, 4, auts)));
        if (!c.accepted) {
            EXPECT_EQ(next.packet[0], EAP_FAILURE);
            EXPECT_NE(network.reason().find("MAC-S"), std::string::npos) << network.reason();
            continue;
        }
        ASSERT_FALSE(next.final) << network.reason();
        PeerView after = peer_view(subscriber, identity, next.packet);
        ASSERT_TRUE(after.autnAuthentic);
        uint64_t sqn = 0;
        for (uint8_t b : after.sqn) sqn = sqn << 8 | b;
        EXPECT_EQ(sqn, (seqMs + 1) << SQN_IND_BITS | ind);  // just above SEQ_MS, same IND
        EXPECT_EQ(network.syncFailures, 1u);
    }
}

// Fast re-authentication: the encrypted counter the peer returns must be
// the one sent, and its AT_MAC must cover NONCE_S.
TEST_F(SimnetServer, ReauthenticationRefusesStaleCounterAndMacWithoutNonce) {
    struct Case {
        const char* name;
        int counterDelta;
        bool macWithoutNonce;
        bool accepted;
    };
    const Case cases[] = {
        {"counter echoed", 0, false, true},
        {"stale counter", -1, false, false},
        {"MAC without NONCE_S", 0, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServerPlan issue;
        issue.issueReauthId = true;
        Bytes request = challenge(issue);
        PeerView full = peer_view(subscriber, identity, request);
        ASSERT_EQ(server.handle(challenge_response(request[1], full.res, full.kAut)).packet[0], EAP_SUCCESS);
        const Bytes plain = decrypted(request, full.kEncr);
        ASSERT_EQ(plain[0], AT_NEXT_REAUTH_ID);
        std::string reauthId(plain.begin() + 4, plain.begin() + 4 + (plain[2] << 8 | plain[3]));
        EXPECT_EQ(reauthId, server.issuedReauthId);

        Bytes start = server.start(ServerPlan{}).packet;
        Bytes reauth = server.handle(identity_response(start[1], reauthId)).packet;
        ASSERT_EQ(reauth[5], AKA_REAUTHENTICATION);
        const Bytes inner = decrypted(reauth, full.kEncr);
        ASSERT_EQ(inner[0], AT_COUNTER);
        uint16_t counter = static_cast<uint16_t>(inner[2] << 8 | inner[3]);
        ASSERT_EQ(inner[4], AT_NONCE_S);
        Bytes nonce(inner.begin() + 8, inner.begin() + 24);

        uint16_t echoed = static_cast<uint16_t>(counter + c.counterDelta);
        Bytes block = {AT_COUNTER, 1, static_cast<uint8_t>(echoed >> 8), static_cast<uint8_t>(echoed),
                       AT_PADDING, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        const Bytes iv(16, 0x5A);
        const Bytes attrs = cat({akasrv::attr16(AT_IV, iv),
                                 akasrv::attr16(AT_ENCR_DATA, oracle::aes_cbc_encrypt(full.kEncr, iv, block))});
        const Bytes response = sealed_response(reauth[1], AKA_REAUTHENTICATION, attrs, full.kAut,
                                               c.macWithoutNonce ? Bytes{} : nonce);

        ServerStep step = server.handle(response);
        ASSERT_TRUE(step.final);
        EXPECT_EQ(step.packet[0], c.accepted ? EAP_SUCCESS : EAP_FAILURE) << server.reason();
        if (c.accepted) {
            // RFC 4187 section 7: XKEY' = SHA1(Identity | counter | NONCE_S | MK).
            const Bytes x = oracle::fips186_prf(oracle::sha1(cat(
                {text_bytes(reauthId), {static_cast<uint8_t>(counter >> 8), static_cast<uint8_t>(counter)}, nonce, full.mk})));
            EXPECT_EQ(bytes_of(server.msk(), 64), Bytes(x.begin(), x.begin() + 64));
        }
    }
}

TEST_F(SimnetServer, CheckcodeMustCoverTheIdentityRounds) {
    ServerPlan plan;
    plan.identityRounds = true;
    Bytes request = server.start(plan).packet;
    Bytes aka = server.handle(identity_response(request[1], identity)).packet;
    Bytes record;
    Bytes resp;
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(aka[5], AKA_IDENTITY);
        resp = aka_response(aka[1], AKA_IDENTITY, akasrv::identity_attr(AT_IDENTITY, identity));
        record.insert(record.end(), aka.begin(), aka.end());
        record.insert(record.end(), resp.begin(), resp.end());
        if (round == 0) aka = server.handle(resp).packet;
    }
    Bytes challengePacket = server.handle(resp).packet;
    ASSERT_EQ(challengePacket[5], AKA_CHALLENGE);
    EapPacket p;
    ASSERT_TRUE(p.parse(challengePacket));
    const Attribute* checkcode = p.find(AT_CHECKCODE);
    ASSERT_NE(checkcode, nullptr);
    EXPECT_EQ(bytes_of(checkcode->value + 2, 20), oracle::sha1(record));

    // A response whose AT_CHECKCODE differs is refused.
    PeerView v = peer_view(subscriber, identity, challengePacket);
    const Bytes wrong = akasrv::attr(AT_CHECKCODE, 6, Bytes(22, 0x11));
    const Bytes response = sealed_response(challengePacket[1], AKA_CHALLENGE, cat({at_res(v.res), wrong}), v.kAut);
    EXPECT_EQ(server.handle(response).packet[0], EAP_FAILURE);
    EXPECT_NE(server.reason().find("AT_CHECKCODE"), std::string::npos);
}

}  // namespace
