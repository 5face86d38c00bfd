// What a server that knows no subscriber key achieves against the peer, in
// conversations through EAP_layer: by default what the method's rules let
// through; with EAP_COMPAT_STRICT_SUCCESS no success, nothing stored, no
// identity planted and the MSK unchanged. A genuine server still succeeds.
#include <algorithm>

#include "aka/aka_fixture.h"

namespace {

using akasrv::AkaServer;
using akasrv::attr;
using akasrv::attr16;
using akasrv::identity_attr;

constexpr unsigned long P = EAPAKA_AUTHKEY_STORE_PSEUDONYM;
const std::string kPlanted = "Gplanted";

std::string identity_text(const Bytes& identityResponse) {
    return std::string(identityResponse.begin() + 5, identityResponse.end());
}

// What the genuine server did before the attacker's message.
enum class Before {
    Nothing,            // the peer has only given its identity
    PreviousExchange,   // a full authentication ended in EAP-Success, then a new identity
    ChallengeAccepted   // this exchange's AKA-Challenge was answered
};

class Strict;
struct Attack {
    const char* name;
    Before before;
    Bytes (*message)(Strict& t);
    // By default: the result of the EAP-Success that follows the message,
    // whether the message put a pseudonym in the store (request 2), whether
    // the next EAP-Response/Identity carries the planted name, and whether
    // the MSK changed.
    int success;
    bool stores;
    bool plants;
    bool mskChanges;
};
void PrintTo(const Attack& a, std::ostream* os) { *os << a.name; }

class Strict : public AkaTest, public ::testing::WithParamInterface<std::tuple<Attack, bool>> {
public:
    using AkaTest::server;
    // AKA-Reauthentication with a random IV and AT_MAC and an AT_ENCR_DATA
    // shorter than one AES block that holds `plain` as it stands.
    Bytes short_encr_reauth(const Bytes& plain) {
        return akasrv::aka_request(server.id = static_cast<uint8_t>(server.id + 1), AKA_SUBTYPE_REAUTHENTICATION,
                                   cat({attr16(AT_IV, Bytes(16, 0x3C)), attr(AT_ENCR_DATA, 4, cat({{0, 0}, plain})),
                                        attr16(AT_MAC, Bytes(16, 0x99))}));
    }
};

const Attack kAttacks[] = {
    {"SuccessNotificationWithoutMac", Before::Nothing,
     [](Strict& t) { return t.server.notification(AKA_NOTIFICATION_SUCCESS, false); },
     EAPAKA_RESULT_SUCCESS_PERMANENT, false, false, false},
    {"SuccessNotificationOfTheLastExchangeReplayed", Before::PreviousExchange,
     [](Strict& t) { return t.server.notification(AKA_NOTIFICATION_SUCCESS, true); },
     EAPAKA_RESULT_SUCCESS_PERMANENT, false, false, false},
    {"SuccessNotificationWithBadMac", Before::ChallengeAccepted,
     [](Strict& t) {
         Bytes notification = t.server.notification(AKA_NOTIFICATION_SUCCESS, true);
         notification.back() ^= 1;
         return notification;
     },
     EAPAKA_RESULT_SUCCESS_PERMANENT, false, false, false},
    {"ShortEncrDataPlantsPseudonym", Before::PreviousExchange,
     [](Strict& t) { return t.short_encr_reauth(identity_attr(AT_NEXT_PSEUDONYM, kPlanted)); },
     EAPAKA_RESULT_DROPPED, true, true, false},
    {"ShortEncrDataPlantsReauthIdentity", Before::PreviousExchange,
     [](Strict& t) { return t.short_encr_reauth(identity_attr(AT_NEXT_REAUTH_ID, kPlanted)); },
     EAPAKA_RESULT_DROPPED, false, true, false},
    {"EncryptedPseudonymBeforeBadMac", Before::PreviousExchange,
     [](Strict& t) {
         akasrv::ReauthSpec spec;
         spec.extraEncr = identity_attr(AT_NEXT_PSEUDONYM, kPlanted);
         spec.badMac = true;
         return t.server.reauth_request(spec);
     },
     EAPAKA_RESULT_DROPPED, true, true, false},
    {"ChallengeWithBadMac", Before::PreviousExchange,
     [](Strict& t) {
         akasrv::ChallengeSpec spec;
         spec.seq = 2;
         spec.encrPlain = identity_attr(AT_NEXT_PSEUDONYM, kPlanted);
         spec.badMac = true;
         return t.server.challenge(spec);
     },
     EAPAKA_RESULT_DROPPED, true, true, true},
    {"ReauthenticationOnZeroKeysBeforeAnyFullAuthentication", Before::Nothing,
     [](Strict& t) {
         t.server.kEncr = t.server.kAut = Bytes(16, 0);
         return t.server.reauth_request({});
     },
     EAPAKA_RESULT_SUCCESS_PERMANENT, false, false, true},
};

TEST_P(Strict, UnauthenticatedServerGainsNothing) {
    const Attack& a = std::get<0>(GetParam());
    const bool strict = std::get<1>(GetParam());
    EAP_SetCompatibility(strict ? EAP_COMPAT_STRICT_SUCCESS : 0);
    if (a.before == Before::PreviousExchange) {
        authenticate();
        ASSERT_EQ(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_SUCCESS_PERMANENT);
        init();
    }
    if (a.before == Before::ChallengeAccepted) {
        authenticate();
    } else {
        give_identity();
    }
    const Bytes mskBefore = msk();
    keys.requests.clear();
    EXPECT_NE(feed(a.message(*this)), EAPAKA_RESULT_DROPPED);
    const bool stored = std::count(keys.requests.begin(), keys.requests.end(), P) != 0;
    EXPECT_EQ(feed(AkaServer::eap_success(server.id)), strict ? EAPAKA_RESULT_DROPPED : a.success);
    EXPECT_EQ(msk() != mskBefore, !strict && a.mskChanges);
    EXPECT_EQ(stored, !strict && a.stores);
    // The genuine server authenticates the peer again; nothing of the
    // attacker's message may take effect on the way.
    init();
    akasrv::ChallengeSpec genuine;
    genuine.seq = 9;
    authenticate(genuine);
    EXPECT_NE(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_DROPPED);
    init();
    ASSERT_EQ(feed(server.eap_identity()), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(identity_text(response).find("planted") != std::string::npos, !strict && a.plants)
        << identity_text(response);
}

INSTANTIATE_TEST_SUITE_P(Findings, Strict, ::testing::Combine(::testing::ValuesIn(kAttacks), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "Strict" : "Default");
                         });

// With the strict setting a genuine server still authenticates, with result
// indication and fast re-authentication, and what its AT_ENCR_DATA carries
// takes effect once AT_MAC has verified.
TEST_F(AkaTest, StrictSuccessStillAcceptsAGenuineServer) {
    EAP_SetCompatibility(EAP_COMPAT_STRICT_SUCCESS);
    akasrv::ChallengeSpec spec;
    spec.resultInd = true;
    spec.encrPlain = cat({identity_attr(AT_NEXT_PSEUDONYM, "Gserver-pseudonym"), identity_attr(AT_NEXT_REAUTH_ID, "4reauth")});
    keys.requests.clear();
    authenticate(spec);
    EXPECT_EQ(keys.requests.back(), P) << "stored after the AT_MAC check";
    EXPECT_EQ(keys.pseudonym().substr(0, 17), "Gserver-pseudonym");
    ASSERT_EQ(feed(server.notification(AKA_NOTIFICATION_SUCCESS, true)), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(response, server.expected_notification_response(true));
    EXPECT_EQ(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_SUCCESS_PERMANENT);
    EXPECT_EQ(msk(), server.msk);

    init();
    give_identity();
    EXPECT_EQ(identity_text(response), "4reauth");
    ASSERT_EQ(feed(server.reauth_request({})), EAPAKA_RESULT_AUTH_RESPONSE);
    EXPECT_TRUE(server.check_reauth_response(response, true));
    server.derive_reauth_keys();
    EXPECT_EQ(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_SUCCESS_PERMANENT);
    EXPECT_EQ(msk(), server.msk);
}

// The flag set while a success notification the default let through is
// acknowledged: the EAP-Success that follows still needs an authenticated
// server.
TEST_F(AkaTest, StrictSuccessSetLateStillRefusesEapSuccess) {
    give_identity();
    ASSERT_EQ(feed(server.notification(AKA_NOTIFICATION_SUCCESS, false)), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(g_session.eapState, EAP_STATE_SUCCESS_NOTIFIED);
    EAP_SetCompatibility(EAP_COMPAT_STRICT_SUCCESS);
    EXPECT_EQ(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_DROPPED);
}

// RFC 4187 10.12: the encrypted data is whole AES blocks. By default a
// shorter ciphertext is parsed as it stands, even in an authentic request.
TEST_F(AkaTest, StrictSuccessRefusesEncrDataOfPartialBlocks) {
    authenticate();
    ASSERT_EQ(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_SUCCESS_PERMANENT);
    for (unsigned flags : {0u, unsigned{EAP_COMPAT_STRICT_SUCCESS}}) {
        SCOPED_TRACE(flags);
        EAP_SetCompatibility(flags);
        init();
        give_identity();
        recorder.events.clear();
        // AT_COUNTER 1 and AT_PADDING in 12 bytes, under an authentic AT_MAC.
        const Bytes plain = {AT_COUNTER, 1, 0, 1, AT_PADDING, 2, 0, 0, 0, 0, 0, 0};
        const Bytes request = akasrv::aka_request(
            ++server.id, AKA_SUBTYPE_REAUTHENTICATION,
            cat({attr16(AT_IV, Bytes(16, 0)), attr(AT_ENCR_DATA, 4, cat({{0, 0}, plain})), attr16(AT_MAC, Bytes(16, 0))}));
        server.lastRequestId = server.id;
        const int result = feed(akasrv::with_mac(server.kAut, request, request.size() - 16));
        if (flags == 0) {
            EXPECT_EQ(result, EAPAKA_RESULT_AUTH_RESPONSE);
        } else {
            EXPECT_EQ(response, client_error());
            EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_MALFORMED_ATTRIBUTE}));
        }
    }
}

#if !defined(_WIN32)  // the fake clock drives timers on POSIX only
// A server that falls silent after its success notification: by default the
// last code received decides; with the strict setting only an acknowledged
// success notification of an authenticated exchange is taken as success.
TEST_F(AkaTest, TimerTakesSuccessOnlyFromAnAuthenticatedServer) {
    struct Case {
        const char* name;
        unsigned flags;
        bool challengeFirst;
        uint32_t recordResult;
    };
    const Case cases[] = {
        {"unauthenticated, default", 0, false, EAPAKA_RESULT_SUCCESS_PSEUDONYM},
        {"unauthenticated, strict", EAP_COMPAT_STRICT_SUCCESS, false, EAPAKA_RESULT_FAILURE},
        {"authenticated, strict", EAP_COMPAT_STRICT_SUCCESS, true, EAPAKA_RESULT_SUCCESS_PSEUDONYM},
    };
    uint64_t seq = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EAP_SetCompatibility(c.flags);
        init();
        give_identity();
        if (c.challengeFirst) {
            akasrv::ChallengeSpec spec;
            spec.seq = ++seq;
            ASSERT_EQ(feed(server.challenge(spec)), EAPAKA_RESULT_AUTH_RESPONSE);
        }
        feed(server.notification(AKA_NOTIFICATION_SUCCESS, c.challengeFirst));
        recorder.events.clear();
        fake_clock_advance(10000);
        EAP_DispatchTimers();
        ASSERT_FALSE(recorder.events.empty());
        EXPECT_EQ(recorder.events[0].type, unsigned{EAPAKA_EVENT_TIMEOUT});
        EXPECT_EQ(recorder.events[0].record[0], c.recordResult);
    }
}
#endif

}  // namespace
