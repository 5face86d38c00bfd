// Fast re-authentication through EAP_layer, and the limits of the
// attributes inside AT_ENCR_DATA.
#include "aka/aka_fixture.h"

namespace {

using akasrv::AkaServer;
using akasrv::attr;
using akasrv::attr16;
using akasrv::identity_attr;

const std::string kReauthId = "reauth-id-0001@realm.example";

class Reauth : public AkaTest {
protected:
    // A full authentication that hands out a pseudonym and a re-auth identity.
    void SetUp() override {
        AkaTest::SetUp();
        akasrv::ChallengeSpec spec;
        spec.encrPlain = identity_attr(AT_NEXT_PSEUDONYM, "Gpseudonym-from-server-xyz");
        const Bytes reauth = identity_attr(AT_NEXT_REAUTH_ID, kReauthId);
        spec.encrPlain.insert(spec.encrPlain.end(), reauth.begin(), reauth.end());
        authenticate(spec);
        ASSERT_EQ(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_SUCCESS_PERMANENT);
        ASSERT_EQ(keys.pseudonym(), "Gpseudonym-from-server-");
        init();
    }
};

struct Step {
    uint16_t counter;
    bool fresh;
    bool resultInd;
    int checkcodeWords;
};

TEST_F(Reauth, CounterFreshnessKeysAndResponses) {
    // The first identity is the re-auth identity exactly as received.
    give_identity();
    Bytes expected = {2, server.id, 0, static_cast<uint8_t>(5 + kReauthId.size()), 1};
    expected.insert(expected.end(), kReauthId.begin(), kReauthId.end());
    EXPECT_EQ(response, expected);

    const Step steps[] = {{1, true, false, 0},   {1, false, true, 0},  {2, true, false, 1},
                          {255, true, true, 6},  {256, true, false, 0}, {100, false, false, 6}};
    bool conversationOpen = true;
    // Once the re-auth identity is spent, the stored pseudonym is sent.
    int successResult = EAPAKA_RESULT_SUCCESS_PERMANENT;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.counter);
        if (!conversationOpen) {
            init();
            give_identity();
            successResult = EAPAKA_RESULT_SUCCESS_PSEUDONYM;
        }
        akasrv::ReauthSpec spec;
        spec.counter = step.counter;
        spec.nonceS = Bytes(16, static_cast<uint8_t>(step.counter));
        spec.resultInd = step.resultInd;
        spec.checkcodeWords = step.checkcodeWords;
        keys.requests.clear();
        const Bytes mskBefore = msk();
        const int result = feed(server.reauth_request(spec));
        EXPECT_TRUE(server.check_reauth_response(response, step.fresh));
        // The MAC covers NONCE_S: without it the same packet does not verify.
        EXPECT_NE(akasrv::mac_over(server.kAut, response, response.size() - 16),
                  Bytes(response.end() - 16, response.end()));
        EXPECT_TRUE(keys.requests.empty());
        EXPECT_TRUE(recorder.codes().empty());
        EXPECT_EQ(g_session.reauthIdPresent, 0);
        if (step.fresh) {
            EXPECT_EQ(result, EAPAKA_RESULT_AUTH_RESPONSE);
            server.derive_reauth_keys();
            EXPECT_EQ(feed(AkaServer::eap_success(server.id)), successResult);
            EXPECT_EQ(msk(), server.msk);
            conversationOpen = false;
        } else {
            EXPECT_EQ(result, EAPAKA_RESULT_RESPONSE);
            EXPECT_EQ(msk(), mskBefore);
            EXPECT_EQ(g_session.akaState, AKA_STATE_OPEN);
            conversationOpen = true;
        }
    }
}

TEST_F(Reauth, DecryptionFailureAndBadMac) {
    give_identity();
    akasrv::ReauthSpec spec;
    spec.extraEncr = attr(AT_COUNTER_TOO_SMALL, 1);  // not for a peer to receive
    EXPECT_EQ(feed(server.reauth_request(spec)), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(response, client_error());
    EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_MALFORMED_ATTRIBUTE}));
    EXPECT_EQ(g_session.eapState, EAP_STATE_CONVERSING);
    EXPECT_EQ(feed(AkaServer::eap_failure(server.id)), EAPAKA_RESULT_DROPPED);

    init();
    give_identity();
    recorder.events.clear();
    spec = {};
    spec.badMac = true;
    EXPECT_EQ(feed(server.reauth_request(spec)), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(response, client_error());
    EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_INVALID_MAC}));
    EXPECT_EQ(feed(AkaServer::eap_failure(server.id)), EAPAKA_RESULT_FAILURE);
}

TEST_F(AkaTest, ReauthWithoutIvIsMandatoryAttributeFailure) {
    const Bytes request = akasrv::aka_request(3, AKA_SUBTYPE_REAUTHENTICATION,
                                              attr(AT_ENCR_DATA, 5, Bytes(18, 0)));
    EXPECT_EQ(feed(request), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(response, client_error(3));
    EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_MANDATORY_ATTRIBUTE_MISSING}));
}

struct EncrCase {
    const char* name;
    Bytes plain;
    bool ok;
    Codes events;
};

class EncrAttributes : public AkaTest, public ::testing::WithParamInterface<EncrCase> {};

// Every refused attribute stores nothing and leaves the flags as they were.
TEST_P(EncrAttributes, LimitsOfDecryptedData) {
    const EncrCase& c = GetParam();
    Bytes plain = c.plain;
    EXPECT_EQ(aka_parse_encr_attributes(plain.data(), static_cast<uint8_t>(plain.size())), c.ok);
    EXPECT_EQ(recorder.codes(), c.events);
    if (!c.ok) {
        EXPECT_EQ(g_session.nextPseudonymPresent, 0);
        EXPECT_EQ(g_session.reauthIdPresent, 0);
        EXPECT_TRUE(keys.requests.empty());
    }
}

const Bytes kCounter5 = {AT_COUNTER, 1, 0, 5};
const Bytes kNonce = attr16(AT_NONCE_S, Bytes(16, 0x77));

INSTANTIATE_TEST_SUITE_P(
    Reauth, EncrAttributes,
    ::testing::Values(
        EncrCase{"Empty", {}, true, {}},
        EncrCase{"CounterNoncePadding", cat({kCounter5, kNonce, attr(AT_PADDING, 3)}), true, {}},
        EncrCase{"NoncePastEnd", Bytes(kNonce.begin(), kNonce.begin() + 8), false, {EAPAKA_FAIL_MALFORMED_ATTRIBUTE}},
        EncrCase{"PaddingLength0", {AT_PADDING, 0, 0, 0}, false, {EAPAKA_FAIL_MALFORMED_ATTRIBUTE}},
        EncrCase{"PaddingNonZero", {AT_PADDING, 1, 0, 1}, false, {EAPAKA_FAIL_INVALID_PADDING}},
        EncrCase{"PseudonymLength0", {AT_NEXT_PSEUDONYM, 0, 0, 0}, false, {EAPAKA_FAIL_MALFORMED_ATTRIBUTE}},
        EncrCase{"PseudonymOverField", identity_attr(AT_NEXT_PSEUDONYM, std::string(69, 'x')), false, {EAPAKA_FAIL_MALFORMED_ATTRIBUTE}},
        EncrCase{"PseudonymFillsField", identity_attr(AT_NEXT_PSEUDONYM, std::string(68, 'x')), true, {}},
        EncrCase{"ReauthIdLength0", {AT_NEXT_REAUTH_ID, 0, 0, 0}, false, {EAPAKA_FAIL_MALFORMED_ATTRIBUTE}},
        EncrCase{"TrailingHalfWord", cat({kCounter5, {AT_PADDING, 1}}), false, {EAPAKA_FAIL_MALFORMED_ATTRIBUTE}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AkaTest, DecryptedValuesAreTakenAsTheyStand) {
    keys.set_pseudonym("Gold-pseudonym-23-bytes");
    std::memcpy(g_session.nextPseudonym, "Gold-pseudonym-23-bytes", 23);
    Bytes plain = cat({kNonce, {AT_COUNTER, 1, 0, 9}, identity_attr(AT_NEXT_PSEUDONYM, "Gnew-10byt")});
    ASSERT_TRUE(aka_parse_encr_attributes(plain.data(), static_cast<uint8_t>(plain.size())));
    EXPECT_EQ(Bytes(g_session.nonceS, g_session.nonceS + 16), Bytes(16, 0x77));
    const uint8_t* counter = reinterpret_cast<const uint8_t*>(&g_session.reauthCounter);
    EXPECT_EQ(Bytes(counter, counter + 2), (Bytes{0, 9}));
    EXPECT_EQ(g_session.nextPseudonymLength, 10);
    // 23 bytes go to the store: the 10 new ones and what the field held.
    EXPECT_EQ(keys.pseudonym(), "Gnew-10bytonym-23-bytes");

    // Ciphertext shorter than a block: parsed as it stands.
    Bytes shortData = cat({{AT_COUNTER, 1, 0, 3}, attr(AT_PADDING, 2)});
    std::memcpy(g_session.atEncrData, shortData.data(), shortData.size());
    EXPECT_TRUE(aka_decrypt_encr_data(12));
    EXPECT_EQ(Bytes(counter, counter + 2), (Bytes{0, 3}));
    EXPECT_FALSE(aka_decrypt_encr_data(100));
    EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_MALFORMED_ATTRIBUTE}));
}

}  // namespace
