// What a server that knows no subscriber key achieves through EAP_layer: by
// default what the method's rules let through; with EAP_COMPAT_STRICT_SUCCESS nothing.
#include <algorithm>

#include "aka/aka_fixture.h"

namespace {

using akasrv::AkaServer;
using akasrv::attr;
using akasrv::attr16;
using akasrv::identity_attr;

using Before = AkaTest::Before;
constexpr Before NOTHING = Before::Identity, PREVIOUS = Before::NewConversation, CHALLENGE = Before::Authenticated;

class Strict;
struct Attack {
    const char* name;
    Before before;
    Bytes (*message)(Strict& t);
    // By default: the following EAP-Success's result, and whether a pseudonym
    // is stored (request 2), the planted name sent next, the MSK changed.
    int success;
    bool stores, plants, mskChanges;
};

class Strict : public AkaTest, public ::testing::WithParamInterface<std::tuple<Attack, bool>> {
public:
    // AKA-Reauthentication with `plain` in AT_ENCR_DATA shorter than one AES block.
    Bytes short_encr_reauth(const Bytes& plain, bool authentic = false) {
        const Bytes request = server.raw(AKA_SUBTYPE_REAUTHENTICATION, cat({attr16(AT_IV, Bytes(16, 0x3C)),
                                         attr(AT_ENCR_DATA, 4, cat({{0, 0}, plain})), attr16(AT_MAC, Bytes(16, 0x99))}));
        return authentic ? akasrv::with_mac(server.kAut, request, request.size() - 16) : request;
    }
};

constexpr int SUCCESS = EAPAKA_RESULT_SUCCESS_PERMANENT, DROPPED = EAPAKA_RESULT_DROPPED;
const Bytes kPlantedPseudonym = identity_attr(AT_NEXT_PSEUDONYM, "Gplanted");

const Attack kAttacks[] = {
    {"SuccessNotificationWithoutMac", NOTHING, [](Strict& t) { return t.server.notification(0x8000, false); },
     SUCCESS, false, false, false},
    {"SuccessNotificationOfTheLastExchangeReplayed", PREVIOUS, [](Strict& t) { return t.server.notification(0x8000, true); },
     SUCCESS, false, false, false},
    {"SuccessNotificationWithBadMac", CHALLENGE, [](Strict& t) { return t.bad_mac(t.server.notification(0x8000, true)); },
     SUCCESS, false, false, false},
    {"ShortEncrDataPlantsPseudonym", PREVIOUS, [](Strict& t) { return t.short_encr_reauth(kPlantedPseudonym); },
     DROPPED, true, true, false},
    {"ShortEncrDataPlantsReauthIdentity", PREVIOUS,
     [](Strict& t) { return t.short_encr_reauth(identity_attr(AT_NEXT_REAUTH_ID, "Gplanted")); }, DROPPED, false, true, false},
    // RFC 4187 10.12: the encrypted data is whole AES blocks; by default a
    // shorter ciphertext is parsed as it stands, even under an authentic MAC.
    {"ShortEncrDataUnderAuthenticMac", PREVIOUS,
     [](Strict& t) { return t.short_encr_reauth({AT_COUNTER, 1, 0, 1, AT_PADDING, 2, 0, 0, 0, 0, 0, 0}, true); },
     SUCCESS, false, false, true},
    {"EncryptedPseudonymBeforeBadMac", PREVIOUS,
     [](Strict& t) { return t.bad_mac(t.server.reauth_request({1, Bytes(16, 0xA5), kPlantedPseudonym})); }, DROPPED, true, true, false},
    {"ChallengeWithBadMac", PREVIOUS,
     [](Strict& t) { return t.bad_mac(t.server.challenge({2, 0, {}, false, 0, kPlantedPseudonym})); }, DROPPED, true, true, true},
    {"ReauthenticationOnZeroKeysBeforeAnyFullAuthentication", NOTHING, [](Strict& t) {
         t.server.kEncr = t.server.kAut = Bytes(16, 0);
         return t.server.reauth_request({});
     }, SUCCESS, false, false, true},
};

TEST_P(Strict, UnauthenticatedServerGainsNothing) {
    const Attack& a = std::get<0>(GetParam());
    const bool strict = std::get<1>(GetParam());
    EAP_SetCompatibility(strict ? EAP_COMPAT_STRICT_SUCCESS : 0);
    prepare(a.before);
    const Bytes mskBefore = msk();
    keys.requests.clear();
    EXPECT_NE(feed(a.message(*this)), EAPAKA_RESULT_DROPPED);
    EXPECT_TRUE(!strict || g_session.eapState != EAP_STATE_SUCCESS_NOTIFIED) << "no success acknowledged";
    EXPECT_EQ(std::count(keys.requests.begin(), keys.requests.end(), P) != 0, !strict && a.stores) << "request 2";
    EXPECT_EQ(feed(AkaServer::eap_success(server.id)), strict ? EAPAKA_RESULT_DROPPED : a.success);
    EXPECT_EQ(msk() != mskBefore, !strict && a.mskChanges);
    // Nothing of the attacker's message may take effect on the genuine server.
    init();
    authenticate({9});  // SEQ 9
    EXPECT_NE(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_DROPPED);
    init();
    ASSERT_EQ(feed(server.eap_identity()), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(identity_sent().find("planted") != std::string::npos, !strict && a.plants) << identity_sent();
}

INSTANTIATE_TEST_SUITE_P(Findings, Strict, ::testing::Combine(::testing::ValuesIn(kAttacks), ::testing::Bool()), [](const auto& info) {
    return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "Strict" : "Default");
});

// The flag set after the default acknowledged an unauthenticated success
// notification: EAP-Success still needs an authenticated server.
TEST_F(AkaTest, StrictSuccessSetLateStillRefusesEapSuccess) {
    give_identity();
    ASSERT_EQ(feed(server.notification(AKA_NOTIFICATION_SUCCESS, false)), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(g_session.eapState, EAP_STATE_SUCCESS_NOTIFIED);
    EAP_SetCompatibility(EAP_COMPAT_STRICT_SUCCESS);
    EXPECT_EQ(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_DROPPED);
}

}  // namespace
