// Fast re-authentication through EAP_layer in both methods.
#include "aka/aka_fixture.h"

namespace {

using akasrv::identity_attr;

const std::string kReauthId = "reauth-id-0001@realm.example";

// A full authentication handing out a pseudonym and a re-authentication identity.
class Reauth : public AkaTest, public ::testing::WithParamInterface<unsigned> {
public:
    void SetUp() override {
        AkaTest::SetUp();
        EAP_SetCompatibility(GetParam());
        server.use_prime(GetParam() == EAP_COMPAT_AKA_PRIME);
        server.rfcCheckcode = GetParam() == EAP_COMPAT_RFC_CHECKCODE;
        const Bytes plain = cat({identity_attr(AT_NEXT_PSEUDONYM, "Gpseudonym-from-server-xyz"),
                                 identity_attr(AT_NEXT_REAUTH_ID, kReauthId)});
        authenticate({1, 0, {}, false, 0, plain});
        succeed_and_restart();
        ASSERT_EQ(keys.pseudonym(), "Gpseudonym-from-server-");
    }
};

// Counters must grow (RFC 4187 5.4), 255 to 256 included; a stale one is
// answered with AT_COUNTER_TOO_SMALL and derives nothing.
TEST_P(Reauth, CounterFreshnessKeysAndResponses) {
    const int digestWords = server.prime() ? AT_CHECKCODE_PRIME_WORDS : AT_CHECKCODE_DIGEST_WORDS;
    struct Step { uint16_t counter; bool fresh; bool resultInd; int checkcodeWords; };
    const Step steps[] = {{1, true, false, 0},   {1, false, true, 0},     {2, true, false, 1},
                          {255, true, true, digestWords}, {256, true, false, 0}, {100, false, false, digestWords}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.counter);
        // The re-auth identity exactly as received; once it is spent, the pseudonym.
        const bool first = &step == steps;
        init();
        give_identity();
        EXPECT_EQ(identity_sent(), first ? kReauthId : "Gpseudonym-from-server-@test.org");
        keys.requests.clear();
        const Bytes mskBefore = msk();
        const int result = feed(server.reauth_request(
            {step.counter, Bytes(16, static_cast<uint8_t>(step.counter)), {}, step.resultInd, step.checkcodeWords}));
        EXPECT_EQ(result, step.fresh ? EAPAKA_RESULT_AUTH_RESPONSE : EAPAKA_RESULT_RESPONSE);
        EXPECT_TRUE(server.check_reauth_response(response, step.fresh));
        EXPECT_TRUE(keys.requests.empty() && recorder.codes().empty() && !g_session.reauthIdPresent);
        EXPECT_EQ(g_session.akaState, step.fresh ? AKA_STATE_DONE : AKA_STATE_OPEN);
        EXPECT_TRUE(step.fresh || msk() == mskBefore) << "nothing derived";
        if (step.fresh) {
            server.derive_reauth_keys();
            EXPECT_EQ(msk(), server.msk);
            EXPECT_EQ(feed(akasrv::AkaServer::eap_success(server.id)),
                      first ? EAPAKA_RESULT_SUCCESS_PERMANENT : EAPAKA_RESULT_SUCCESS_PSEUDONYM);
        }
    }
}

// Strict success: AT_ENCR_DATA takes effect once AT_MAC has verified.
INSTANTIATE_TEST_SUITE_P(Setting, Reauth,
                         ::testing::Values(0u, unsigned{EAP_COMPAT_AKA_PRIME}, unsigned{EAP_COMPAT_STRICT_SUCCESS},
                                           unsigned{EAP_COMPAT_RFC_CHECKCODE}));

}  // namespace
