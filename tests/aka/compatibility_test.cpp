// The host's opt-in compatibility setting: skipping unknown skippable
// attributes (RFC 4187 8.1) and the empty AT_CHECKCODE of an exchange
// without AKA-Identity rounds (RFC 4187 10.13). With 0 nothing changes.
#include "aka/aka_fixture.h"

namespace {

using akasrv::AkaServer;
using akasrv::identity_attr;

constexpr unsigned SKIP = EAP_COMPAT_SKIP_UNKNOWN_SKIPPABLE;
constexpr unsigned RFC_CHECKCODE = EAP_COMPAT_RFC_CHECKCODE;
constexpr size_t AT_MAC_BYTES = 20;

// Puts `extra` in front of the request's AT_MAC (its last attribute) and
// MACs the result again as the server would.
Bytes insert_before_mac(Bytes request, const Bytes& extra, const Bytes& kAut) {
    request.insert(request.end() - AT_MAC_BYTES, extra.begin(), extra.end());
    request[2] = static_cast<uint8_t>(request.size() >> 8);
    request[3] = static_cast<uint8_t>(request.size());
    return akasrv::with_mac(kAut, request, request.size() - 16);
}

class Compatibility : public AkaTest {};

TEST_F(Compatibility, IsZeroAtLoadAndSurvivesEapInit) {
    EXPECT_EQ(g_session.compatibilityFlags, 0u);
    EAP_SetCompatibility(EAP_COMPAT_RFC4187);
    init();
    EXPECT_EQ(g_session.compatibilityFlags, unsigned{EAP_COMPAT_RFC4187});
    EAP_SetCompatibility(0);
    EXPECT_EQ(g_session.compatibilityFlags, 0u);
}

TEST_F(Compatibility, UnknownSkippableAttributesInAChallenge) {
    struct Case { const char* name; unsigned flags; Bytes extra; bool accepted; };
    const Case cases[] = {
        {"AT_BIDDING refused by default", 0, {136, 1, 0, 0}, false},
        {"AT_BIDDING skipped", SKIP, {136, 1, 0, 0}, true},
        {"type 255 of two words skipped", SKIP, {255, 2, 1, 2, 3, 4, 5, 6}, true},
        {"checkcode flag alone skips nothing", RFC_CHECKCODE, {136, 1, 0, 0}, false},
        {"non-skippable unknown type refused", SKIP, {127, 1, 0, 0}, false},
        {"known type out of place refused", SKIP, identity_attr(AT_NEXT_REAUTH_ID, "4x"), false},
        {"skippable type of Length 0 refused", SKIP, {136, 0, 0, 0}, false},
        {"skippable type past the message refused", SKIP, {136, 7, 0, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        aka_session_reset();
        keys.set_seqms(0, 0);  // every case takes the server's first SQN
        keys.install();
        recorder.events.clear();
        init();
        EAP_SetCompatibility(c.flags);
        give_identity();
        const Bytes request = insert_before_mac(server.challenge({}), c.extra, server.kAut);
        if (c.accepted) {
            EXPECT_EQ(feed(request), EAPAKA_RESULT_AUTH_RESPONSE);
            EXPECT_EQ(bytes_to_hex(response), bytes_to_hex(server.expected_challenge_response()));
            EXPECT_EQ(bytes_to_hex(msk()), bytes_to_hex(server.msk));
        } else {
            EXPECT_EQ(feed(request), EAPAKA_RESULT_RESPONSE);
            EXPECT_EQ(response, client_error());
            ASSERT_FALSE(recorder.codes().empty());
            EXPECT_EQ(recorder.codes()[0], uintptr_t{EAPAKA_FAIL_MALFORMED_ATTRIBUTE});
        }
    }
}

TEST_F(Compatibility, UnknownSkippableAttributeInsideEncryptedData) {
    for (unsigned flags : {0u, SKIP}) {
        SCOPED_TRACE(flags);
        aka_session_reset();
        keys.set_seqms(0, 0);  // every case takes the server's first SQN
        keys.install();
        recorder.events.clear();
        init();
        EAP_SetCompatibility(flags);
        give_identity();
        akasrv::ChallengeSpec spec;
        spec.encrPlain = {200, 1, 0, 0};
        const Bytes reauth = identity_attr(AT_NEXT_REAUTH_ID, "4reauth-identity");
        spec.encrPlain.insert(spec.encrPlain.end(), reauth.begin(), reauth.end());
        const int result = feed(server.challenge(spec));
        if (flags == SKIP) {
            EXPECT_EQ(result, EAPAKA_RESULT_AUTH_RESPONSE);
            EXPECT_EQ(g_session.reauthIdPresent, 1);
        } else {
            EXPECT_EQ(response, client_error());
            EXPECT_EQ(recorder.codes(), Codes{EAPAKA_FAIL_MALFORMED_ATTRIBUTE});
        }
    }
}

// Challenge responses: the AT_CHECKCODE echoed by the peer.
TEST_F(Compatibility, ChallengeResponseCheckcode) {
    struct Case { const char* name; unsigned flags; bool identityRound; int requestWords; bool emptyReply; };
    const Case cases[] = {
        {"default: digest without identity rounds", 0, false, 1, false},
        {"RFC: empty without identity rounds", RFC_CHECKCODE, false, 1, true},
        {"skip flag alone: digest", SKIP, false, 1, false},
        // Last: from here on the digest of the last check is no longer zero.
        {"RFC: digest after an identity round", RFC_CHECKCODE, true, 6, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        aka_session_reset();
        keys.set_seqms(0, 0);  // every case takes the server's first SQN
        keys.install();
        init();
        EAP_SetCompatibility(c.flags);
        give_identity();
        if (c.identityRound) identity_round(AT_PERMANENT_ID_REQ);
        akasrv::ChallengeSpec spec;
        spec.checkcodeWords = c.requestWords;
        ASSERT_EQ(feed(server.challenge(spec)), EAPAKA_RESULT_AUTH_RESPONSE);
        if (!c.emptyReply) {
            EXPECT_EQ(bytes_to_hex(response), bytes_to_hex(server.expected_challenge_response()));
            continue;
        }
        // Header, AT_RES (12), empty AT_CHECKCODE (4), AT_MAC (20).
        ASSERT_EQ(response.size(), 44u);
        EXPECT_EQ(response[3], 44);
        EXPECT_EQ(bytes_to_hex(Bytes(response.begin() + 20, response.begin() + 24)), "86010000");
        EXPECT_EQ(bytes_to_hex(Bytes(response.begin() + 28, response.end())),
                  bytes_to_hex(akasrv::mac_over(server.kAut, response, 28)));
    }
}

// Fast re-authentication without identity rounds: the response's
// AT_CHECKCODE is empty and AT_MAC still covers NONCE_S.
TEST_F(Compatibility, ReauthenticationResponseCheckcode) {
    akasrv::ChallengeSpec full;
    full.encrPlain = identity_attr(AT_NEXT_REAUTH_ID, "4reauth-identity");
    authenticate(full);
    ASSERT_EQ(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_SUCCESS_PERMANENT);
    init();
    EAP_SetCompatibility(RFC_CHECKCODE);
    give_identity();
    akasrv::ReauthSpec spec;
    spec.checkcodeWords = 1;
    ASSERT_EQ(feed(server.reauth_request(spec)), EAPAKA_RESULT_AUTH_RESPONSE);
    server.derive_reauth_keys();
    // Header, AT_IV, AT_ENCR_DATA, empty AT_CHECKCODE, AT_MAC.
    ASSERT_EQ(response.size(), 72u);
    EXPECT_EQ(bytes_to_hex(Bytes(response.begin() + 48, response.begin() + 52)), "86010000");
    EXPECT_EQ(bytes_to_hex(Bytes(response.begin() + 56, response.end())),
              bytes_to_hex(akasrv::mac_over(server.kAut, response, 56, spec.nonceS)));
}


// ---------------------------------------------------------------------------
// The opt-in behaviours a real operator network relies on, one scenario
// each, run with the compatibility setting 0 and with that one flag: what
// the peer did, in words. With 0 every one is off.

std::string identity_text(const Bytes& identityResponse) {
    return std::string(identityResponse.begin() + 5, identityResponse.end());
}

class Behaviour;
struct BehaviourCase {
    const char* name;
    unsigned flag;
    std::string (*observe)(Behaviour& t);
    const char* off;
    const char* on;
};
void PrintTo(const BehaviourCase& c, std::ostream* os) { *os << c.name; }

class Behaviour : public AkaTest, public ::testing::WithParamInterface<std::tuple<BehaviourCase, bool>> {
public:
    using AkaTest::feed;
    using AkaTest::identity_round;
    using AkaTest::keys;
    using AkaTest::msk;
    using AkaTest::response;
    using AkaTest::server;
    void start(const char* realm = "@test.org") {
        init(realm);
        give_identity();
    }
    // A full authentication (SQN seq) that ends in EAP-Success.
    void full(uint64_t seq, const Bytes& encrPlain = {}) {
        start();
        akasrv::ChallengeSpec spec;
        spec.seq = seq;
        spec.encrPlain = encrPlain;
        ASSERT_EQ(feed(server.challenge(spec)), EAPAKA_RESULT_AUTH_RESPONSE);
        ASSERT_EQ(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_SUCCESS_PERMANENT);
    }
    // A fast re-authentication with `counter` in a new exchange; the result.
    int reauth(uint16_t counter, const Bytes& extraEncr = {}) {
        start();
        akasrv::ReauthSpec spec;
        spec.counter = counter;
        spec.extraEncr = extraEncr;
        return feed(server.reauth_request(spec));
    }
    void succeed() { ASSERT_GT(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_FAILURE); }
};

const std::string kLongRealm = "@" + std::string(128, 'r');  // one character too many even then

const BehaviourCase kBehaviours[] = {
    {"CounterContextPerFullAuthentication", EAP_COMPAT_REAUTH_COUNTER_PER_FULL_AUTH,
     [](Behaviour& t) -> std::string {
         t.full(1);
         if (t.reauth(1) != EAPAKA_RESULT_AUTH_RESPONSE) return "first re-authentication refused";
         t.succeed();
         t.full(2);  // the server counts from 1 again
         const bool fresh = t.reauth(1) == EAPAKA_RESULT_AUTH_RESPONSE;
         EXPECT_TRUE(t.server.check_reauth_response(t.response, fresh));
         return fresh ? "counter 1 accepted again" : "counter 1 too small";
     },
     "counter 1 too small", "counter 1 accepted again"},
    {"XkeyFromFullAuthenticationMk", EAP_COMPAT_REAUTH_KEYS_FROM_FULL_MK,
     [](Behaviour& t) -> std::string {
         t.full(1);
         EXPECT_EQ(t.reauth(1), EAPAKA_RESULT_AUTH_RESPONSE);
         t.server.derive_reauth_keys();  // from MK either way
         t.succeed();
         EXPECT_EQ(t.reauth(2), EAPAKA_RESULT_AUTH_RESPONSE);
         t.succeed();
         AkaServer chained = t.server, fromFull = t.server;
         chained.derive_reauth_keys(false);
         fromFull.derive_reauth_keys(true);
         return t.msk() == chained.msk ? "XKEY' chained" : t.msk() == fromFull.msk ? "XKEY' from MK" : "neither";
     },
     "XKEY' chained", "XKEY' from MK"},
    {"NextReauthIdentityKept", EAP_COMPAT_KEEP_NEXT_REAUTH_ID,
     [](Behaviour& t) -> std::string {
         t.full(1, identity_attr(AT_NEXT_REAUTH_ID, "4first"));
         EXPECT_EQ(t.reauth(1, identity_attr(AT_NEXT_REAUTH_ID, "4second")), EAPAKA_RESULT_AUTH_RESPONSE);
         EXPECT_EQ(std::string(t.server.identity.begin(), t.server.identity.end()), "4first");
         t.succeed();
         t.start();
         return identity_text(t.response);
     },
     "001010123456789@test.org", "4second"},
    {"OpaquePseudonymUsedByTheNextProcess", EAP_COMPAT_OPAQUE_PSEUDONYM,
     [](Behaviour& t) -> std::string {
         t.full(1, identity_attr(AT_NEXT_PSEUDONYM, "2pseudonym-of-21chars"));
         // A new process: the library at its load state, the host's store kept.
         const unsigned flags = g_session.compatibilityFlags;
         aka_session_reset();
         t.keys.install();
         EAP_SetCompatibility(flags);
         t.start();
         return identity_text(t.response);
     },
     "001010123456789@test.org", "2pseudonym-of-21chars@test.org"},
    {"MacSWithDummyAmf", EAP_COMPAT_AUTS_DUMMY_AMF,
     [](Behaviour& t) -> std::string {
         t.keys.set_seqms(0, 16);
         t.start();
         akasrv::ChallengeSpec spec;
         spec.seq = 16;
         spec.amf = {0x80, 0x00};
         EXPECT_EQ(t.feed(t.server.challenge(spec)), EAPAKA_RESULT_RESPONSE);
         const Bytes auts(t.response.begin() + 10, t.response.end());
         uint64_t sqnMs = 0;
         if (t.server.verify_auts(auts, &sqnMs)) return "MAC-S with AMF 8000";
         return t.server.verify_auts(auts, &sqnMs, {0, 0}) ? "MAC-S with AMF 0000" : "neither";
     },
     "MAC-S with AMF 8000", "MAC-S with AMF 0000"},
    {"LongRealm", EAP_COMPAT_LONG_REALM,
     [](Behaviour& t) -> std::string {
         // Three identity rounds of the longest identities, then a challenge
         // whose AT_CHECKCODE covers them all.
         t.start(kLongRealm.c_str());
         for (uint8_t type : {AT_ANY_ID_REQ, AT_FULLAUTH_ID_REQ, AT_PERMANENT_ID_REQ}) t.identity_round(type);
         akasrv::ChallengeSpec spec;
         spec.checkcodeWords = 6;
         const std::string realm = std::string(t.server.identity.begin(), t.server.identity.end()).substr(15);
         const int result = t.feed(t.server.challenge(spec));
         return std::to_string(realm.size()) + "-character realm, " +
                (result == EAPAKA_RESULT_AUTH_RESPONSE ? "AT_CHECKCODE verified" : "AT_CHECKCODE refused");
     },
     "15-character realm, AT_CHECKCODE refused", "128-character realm, AT_CHECKCODE verified"},
};

TEST_P(Behaviour, IsOnOnlyWithItsFlag) {
    const BehaviourCase& c = std::get<0>(GetParam());
    const bool on = std::get<1>(GetParam());
    EAP_SetCompatibility(on ? c.flag : 0);
    EXPECT_EQ(c.observe(*this), on ? c.on : c.off);
}

INSTANTIATE_TEST_SUITE_P(Rfc4187, Behaviour, ::testing::Combine(::testing::ValuesIn(kBehaviours), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "On" : "Off");
                         });

// How an opaque pseudonym is kept in the store's 23 bytes, which carry no
// length, and what the next EAP-Response/Identity makes of them.
TEST_F(Compatibility, OpaquePseudonymInTheStore) {
    struct Case {
        const char* name;
        std::vector<std::string> received;  // in order, the last one counts
        std::string stored;                 // the 23 bytes
        std::string identity;
    };
    const std::string zeros(23, '\0');
    const std::string full = "abcdefghijklmnopqrstuvw";  // 23 bytes
    const Case cases[] = {
        {"shorter: zero-filled", {"2pseudonym-of-21chars"}, "2pseudonym-of-21chars" + zeros.substr(21),
         "2pseudonym-of-21chars@test.org"},
        {"exactly 23 bytes", {full}, full, full + "@test.org"},
        {"after a longer one: no stale tail", {full, "short"}, "short" + zeros.substr(5), "short@test.org"},
        {"longer than 23: cleared", {full + "x"}, zeros, "001010123456789@test.org"},
        {"empty: cleared", {""}, zeros, "001010123456789@test.org"},
        {"zero byte inside: cleared", {std::string("ab\0cd", 5)}, zeros, "001010123456789@test.org"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        keys.set_pseudonym("Gstale");
        EAP_SetCompatibility(EAP_COMPAT_OPAQUE_PSEUDONYM);
        for (const std::string& pseudonym : c.received) {
            Bytes plain = identity_attr(AT_NEXT_PSEUDONYM, pseudonym);
            ASSERT_TRUE(aka_parse_encr_attributes(plain.data(), static_cast<uint8_t>(plain.size())));
        }
        EXPECT_EQ(keys.pseudonym(), c.stored);
        ASSERT_EQ(feed(server.eap_identity()), EAPAKA_RESULT_RESPONSE);
        EXPECT_EQ(identity_text(response), c.identity);
    }
}

}  // namespace
