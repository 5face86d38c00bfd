// EAP-AKA' (RFC 9048) through EAP_layer against the test server: full and
// fast re-authentication, the key derivation function negotiation, the
// challenge refusals, the bidding-down rule for EAP-AKA and the separation
// of the two methods' identities and keys.
#include "aka/aka_fixture.h"

namespace {

using akasrv::AkaServer;
using akasrv::ChallengeSpec;
using akasrv::identity_attr;
using akasrv::kTypeAka;
using akasrv::kTypeAkaPrime;

constexpr unsigned PRIME = EAP_COMPAT_AKA_PRIME;
constexpr uintptr_t BAD_AUTN = EAPAKA_FAIL_INVALID_AUTN, BAD_MAC = EAPAKA_FAIL_INVALID_MAC,
                    MALFORMED = EAPAKA_FAIL_MALFORMED_ATTRIBUTE, MISSING = EAPAKA_FAIL_MANDATORY_ATTRIBUTE_MISSING,
                    BAD_SUBTYPE = EAPAKA_FAIL_INVALID_SUBTYPE;
const std::string kReauthId = "8reauth-prime@test.org";

// Response of the method `type` answering request `id`: header and payload.
Bytes method_response(uint8_t type, uint8_t id, const Bytes& payload) {
    const size_t length = 5 + payload.size();
    return cat({{2, id, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), type}, payload});
}
// Authentication-Reject and Client-Error "unable to process packet".
Bytes rejection(uint8_t type, uint8_t id) { return method_response(type, id, {2, 0, 0}); }
Bytes refusal(uint8_t type, uint8_t id) { return method_response(type, id, {14, 0, 0, 22, 1, 0, 0}); }
// RFC 9048 section 3.2: AKA'-Challenge response asking for KDF 1.
Bytes kdf_request(uint8_t id) { return method_response(kTypeAkaPrime, id, {1, 0, 0, 24, 1, 0, 1}); }

class AkaPrime : public AkaTest {
protected:
    void SetUp() override {
        AkaTest::SetUp();
        start(PRIME);
    }
    // A fresh library and subscriber (SEQ_MS(0) = 5) with `flags`, the
    // server running EAP-AKA' unless told otherwise.
    void start(unsigned flags, bool prime = true) {
        aka_session_reset();
        keys.set_seqms(0, 5);
        keys.install();
        recorder.events.clear();
        EAP_SetCompatibility(flags);
        init();
        server.use_prime(prime);
    }
    ChallengeSpec fresh(uint64_t seq = 6) {
        ChallengeSpec spec;
        spec.seq = seq;
        return spec;
    }
    // A full authentication whose challenge hands out kReauthId, ended by
    // EAP-Success; the next exchange has begun.
    void authenticate_with_reauth_id() {
        ChallengeSpec spec = fresh();
        spec.encrPlain = identity_attr(AT_NEXT_REAUTH_ID, kReauthId);
        authenticate(spec);
        ASSERT_EQ(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_SUCCESS_PERMANENT);
        init();
    }
};

TEST_F(AkaPrime, FullAuthentication) {
    struct Case { const char* name; bool identityRound; int checkcodeWords; bool resultInd; };
    const Case cases[] = {
        {"plain", false, 0, false},
        {"identity round, SHA-256 AT_CHECKCODE", true, 9, false},
        {"no identity round, empty AT_CHECKCODE, result indication", false, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start(PRIME);
        server.identityRecord.clear();
        give_identity();
        if (c.identityRound) identity_round(AT_PERMANENT_ID_REQ);
        ChallengeSpec spec = fresh();
        spec.checkcodeWords = c.checkcodeWords;
        spec.resultInd = c.resultInd;
        ASSERT_EQ(feed(server.challenge(spec)), EAPAKA_RESULT_AUTH_RESPONSE);
        EXPECT_EQ(bytes_to_hex(response), bytes_to_hex(server.expected_challenge_response()));
        EXPECT_EQ(bytes_to_hex(msk()), bytes_to_hex(server.msk));
        EXPECT_EQ(keys.seqms(0), 6u);
        EXPECT_TRUE(recorder.codes().empty());
        if (c.resultInd) {
            ASSERT_EQ(feed(server.notification(AKA_NOTIFICATION_SUCCESS, true)), EAPAKA_RESULT_RESPONSE);
            EXPECT_EQ(response, server.expected_notification_response(true));
        }
        EXPECT_EQ(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_SUCCESS_PERMANENT);
    }
}

// K_re stays that of the full authentication over every re-authentication
// that follows; each MSK comes from it, the counter and NONCE_S.
TEST_F(AkaPrime, FastReauthentications) {
    EAP_SetCompatibility(PRIME | EAP_COMPAT_KEEP_NEXT_REAUTH_ID);
    authenticate_with_reauth_id();
    server.identity = text_bytes(kReauthId);
    for (uint16_t counter : {1, 2}) {
        SCOPED_TRACE(counter);
        ASSERT_EQ(feed(server.eap_identity()), EAPAKA_RESULT_RESPONSE);
        EXPECT_EQ(response, cat({{2, server.id, 0, static_cast<uint8_t>(5 + kReauthId.size()), 1}, text_bytes(kReauthId)}));
        akasrv::ReauthSpec spec;
        spec.counter = counter;
        spec.nonceS = Bytes(16, static_cast<uint8_t>(counter));
        spec.extraEncr = identity_attr(AT_NEXT_REAUTH_ID, kReauthId);
        ASSERT_EQ(feed(server.reauth_request(spec)), EAPAKA_RESULT_AUTH_RESPONSE);
        EXPECT_TRUE(server.check_reauth_response(response, true));
        server.derive_reauth_keys();
        EXPECT_EQ(bytes_to_hex(msk()), bytes_to_hex(server.msk));
        ASSERT_EQ(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_SUCCESS_PERMANENT);
        init();
    }
}

// One AKA'-Challenge of a sequence and what it must draw.
enum class Outcome { Accepted, KdfRequested, Rejected, ClientError, SyncFailure };
struct Step {
    ChallengeSpec spec;
    Outcome outcome;
    Codes events;
};
ChallengeSpec offer(std::vector<uint16_t> kdf, uint64_t seq = 6) {
    ChallengeSpec spec;
    spec.kdf = std::move(kdf);
    spec.seq = seq;
    return spec;
}
template <typename Change> ChallengeSpec with(ChallengeSpec spec, Change change) {
    change(spec);
    return spec;
}
constexpr uint64_t STALE = 3;  // not above SEQ_MS(0) = 5

TEST_F(AkaPrime, ChallengeSequences) {
    struct Case { const char* name; std::vector<Step> steps; bool foreignRecord = false; };
    const Case cases[] = {
        {"KDF 1 first", {{offer({1}), Outcome::Accepted, {}}}},
        {"unknown KDF first: KDF 1 asked for, then taken",
         {{offer({2, 1}), Outcome::KdfRequested, {}}, {offer({1, 2, 1}), Outcome::Accepted, {}}}},
        {"answer that drops the offer", {{offer({2, 1}), Outcome::KdfRequested, {}}, {offer({1, 2}), Outcome::ClientError, {BAD_MAC}}}},
        {"request ignored", {{offer({2, 1}), Outcome::KdfRequested, {}}, {offer({2, 1}), Outcome::ClientError, {BAD_MAC}}}},
        {"only unknown KDFs", {{offer({2, 3}), Outcome::Rejected, {BAD_AUTN}}}},
        {"no AT_KDF", {{offer({}), Outcome::Rejected, {BAD_AUTN}}}},
        {"KDF offered twice", {{offer({1, 1}), Outcome::Rejected, {BAD_AUTN}}}},
        {"resynchronisation echoes the list, which stays",
         {{offer({1, 2}, STALE), Outcome::SyncFailure, {EAPAKA_FAIL_INVALID_SQN}}, {offer({1, 2}), Outcome::Accepted, {}}}},
        {"list changed after resynchronisation",
         {{offer({1}, STALE), Outcome::SyncFailure, {EAPAKA_FAIL_INVALID_SQN}}, {offer({1, 2}), Outcome::ClientError, {BAD_MAC}}}},
        {"resynchronisation after negotiation",
         {{offer({2, 1}), Outcome::KdfRequested, {}},
          {offer({1, 2, 1}, STALE), Outcome::SyncFailure, {EAPAKA_FAIL_INVALID_SQN}},
          {offer({1, 2, 1}), Outcome::Accepted, {}}}},
        {"no AT_KDF_INPUT", {{with(offer({1}), [](ChallengeSpec& s) { s.kdfInput = false; }), Outcome::ClientError, {MISSING}}}},
        {"empty network name", {{with(offer({1}), [](ChallengeSpec& s) { s.nameLength = 0; }), Outcome::Rejected, {BAD_AUTN}}}},
        {"network name past its attribute",
         {{with(offer({1}), [](ChallengeSpec& s) { s.nameLength = 5; }), Outcome::ClientError, {MALFORMED, MISSING}}}},
        {"AMF separation bit clear",
         {{with(offer({1}), [](ChallengeSpec& s) { s.amf = {0x40, 0x00}; }), Outcome::Rejected, {BAD_AUTN}}}},
        {"AT_CHECKCODE of SHA-1 size",
         {{with(offer({1}), [](ChallengeSpec& s) { s.checkcodeWords = 6; }), Outcome::ClientError, {MALFORMED, MISSING}}}},
        {"bad AT_MAC", {{with(offer({1}), [](ChallengeSpec& s) { s.badMac = true; }), Outcome::ClientError, {BAD_MAC}}}},
        {"AT_CHECKCODE over other messages",
         {{with(offer({1}), [](ChallengeSpec& s) { s.checkcodeWords = 9; }), Outcome::ClientError,
           {EAPAKA_FAIL_INVALID_CHECKCODE}}},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start(PRIME);
        give_identity();
        server.identityRecord = c.foreignRecord ? text_bytes("not what the peer saw") : Bytes{};
        for (const Step& step : c.steps) {
            recorder.events.clear();
            const Bytes request = server.challenge(step.spec);
            const int result = feed(request);
            const uint8_t id = request[1];
            switch (step.outcome) {
            case Outcome::Accepted:
                EXPECT_EQ(result, EAPAKA_RESULT_AUTH_RESPONSE);
                EXPECT_EQ(bytes_to_hex(response), bytes_to_hex(server.expected_challenge_response()));
                EXPECT_EQ(bytes_to_hex(msk()), bytes_to_hex(server.msk));
                break;
            case Outcome::KdfRequested: EXPECT_EQ(response, kdf_request(id)); break;
            case Outcome::Rejected: EXPECT_EQ(response, rejection(kTypeAkaPrime, id)); break;
            case Outcome::ClientError: EXPECT_EQ(response, refusal(kTypeAkaPrime, id)); break;
            case Outcome::SyncFailure: {
                // AT_AUTS, then every AT_KDF of the challenge in order.
                Bytes echo;
                for (uint16_t kdf : step.spec.kdf) echo = cat({echo, {24, 1, 0, static_cast<uint8_t>(kdf)}});
                ASSERT_EQ(response.size(), 24 + echo.size());
                EXPECT_EQ(Bytes(response.begin(), response.begin() + 10),
                          (Bytes{2, id, 0, static_cast<uint8_t>(response.size()), kTypeAkaPrime, 4, 0, 0, 4, 4}));
                uint64_t sqnMs = 0;
                EXPECT_TRUE(server.verify_auts(Bytes(response.begin() + 10, response.begin() + 24), &sqnMs));
                EXPECT_EQ(sqnMs, 5u << 5);
                EXPECT_EQ(Bytes(response.begin() + 24, response.end()), echo);
                break;
            }
            }
            EXPECT_EQ(recorder.codes(), step.events);
        }
    }
}

// RFC 9048 section 4, in EAP-AKA challenges: AT_BIDDING with the D bit
// fails the exchange once AT_MAC has verified, while EAP-AKA' is enabled;
// without the flag everything stays as it was.
TEST_F(AkaPrime, BiddingDownInEapAka) {
    struct Case { const char* name; unsigned flags; int bidding; bool badMac; Outcome outcome; Codes events; };
    const Case cases[] = {
        {"D bit set", PRIME, 0x8000, false, Outcome::Rejected, {BAD_AUTN}},
        {"D bit set, strict success", PRIME | EAP_COMPAT_STRICT_SUCCESS, 0x8000, false, Outcome::Rejected, {BAD_AUTN}},
        {"D bit clear", PRIME, 0x0000, false, Outcome::Accepted, {}},
        {"reserved bits only", PRIME, 0x7FFF, false, Outcome::Accepted, {}},
        {"D bit set, AT_MAC first", PRIME, 0x8000, true, Outcome::ClientError, {BAD_MAC}},
        {"no EAP-AKA': skipped", EAP_COMPAT_SKIP_UNKNOWN_SKIPPABLE, 0x8000, false, Outcome::Accepted, {}},
        {"no EAP-AKA': refused by default", 0, 0x8000, false, Outcome::ClientError, {MALFORMED, MISSING}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start(c.flags, false);
        const Bytes mskBefore = msk();
        give_identity();
        ChallengeSpec spec = fresh();
        spec.bidding = c.bidding;
        spec.badMac = c.badMac;
        const Bytes request = server.challenge(spec);
        const int result = feed(request);
        EXPECT_EQ(recorder.codes(), c.events);
        if (c.outcome == Outcome::Accepted) {
            EXPECT_EQ(result, EAPAKA_RESULT_AUTH_RESPONSE);
            EXPECT_EQ(bytes_to_hex(response), bytes_to_hex(server.expected_challenge_response()));
            continue;
        }
        EXPECT_EQ(response, c.outcome == Outcome::Rejected ? rejection(kTypeAka, request[1])
                                                           : refusal(kTypeAka, request[1]));
        if (c.flags & EAP_COMPAT_STRICT_SUCCESS) {
            EXPECT_EQ(msk(), mskBefore);
        }
    }
}

// RFC 9048 section 3.1: what one method obtained is not used in the other,
// and a method does not change within an exchange.
TEST_F(AkaPrime, MethodsKeepTheirIdentitiesAndKeysApart) {
    // An AKA' re-authentication identity is offered in EAP-Response/Identity,
    // but an EAP-AKA re-authentication finds no keys of its method.
    authenticate_with_reauth_id();
    ASSERT_EQ(feed(server.eap_identity()), EAPAKA_RESULT_RESPONSE);
    server.use_prime(false);
    Bytes request = server.reauth_request({});
    EXPECT_EQ(feed(request), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(response, refusal(kTypeAka, request[1]));
    EXPECT_EQ(recorder.codes(), Codes{BAD_SUBTYPE});

    // An EAP-AKA identity round does not offer it either, and a full EAP-AKA
    // authentication drops it: its keys are gone.
    init();
    give_identity();
    identity_round(AT_ANY_ID_REQ);
    EXPECT_EQ(server.identity, text_bytes("001010123456789@test.org"));
    ASSERT_EQ(feed(server.challenge(fresh(7))), EAPAKA_RESULT_AUTH_RESPONSE);
    EXPECT_EQ(g_session.reauthIdPresent, 0);

    // An EAP-AKA' re-authentication before any EAP-AKA' key derivation.
    start(PRIME);
    request = server.reauth_request({});
    EXPECT_EQ(feed(request), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(response, refusal(kTypeAkaPrime, request[1]));

    // The other method's request within an exchange is dropped.
    start(PRIME);
    give_identity();
    identity_round(AT_PERMANENT_ID_REQ);
    server.use_prime(false);
    EXPECT_EQ(feed(server.challenge(fresh())), EAPAKA_RESULT_DROPPED);
}

// Type 50 is a method only with the flag: then a request too short for the
// Subtype is dropped like an EAP-AKA one, without it the Nak goes out.
TEST_F(AkaPrime, ShortTypeFiftyRequest) {
    for (unsigned flags : {0u, PRIME}) {
        SCOPED_TRACE(flags);
        start(flags);
        const int result = feed({1, 0x44, 0, 6, 50, 1});
        if (flags == 0) {
            EXPECT_EQ(result, EAPAKA_RESULT_RESPONSE);
            EXPECT_EQ(response, (Bytes{2, 0x44, 0, 5, 3}));
        } else {
            EXPECT_EQ(result, EAPAKA_RESULT_DROPPED);
        }
    }
}

}  // namespace
