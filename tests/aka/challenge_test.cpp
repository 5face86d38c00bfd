// Full authentication through EAP_layer against the test server.
#include "aka/aka_fixture.h"

namespace {

using akasrv::ChallengeSpec;
constexpr unsigned long L = EAPAKA_AUTHKEY_LOAD, P = EAPAKA_AUTHKEY_STORE_PSEUDONYM, S = EAPAKA_AUTHKEY_STORE_SEQMS;

struct FullAuthCase {
    const char* name;
    const char* pseudonym;
    std::vector<uint8_t> identityRounds;
    bool resultInd;
    int checkcodeWords;
    size_t responseLength;
    int successResult;
};

class FullAuthentication : public AkaTest, public ::testing::WithParamInterface<FullAuthCase> {};

TEST_P(FullAuthentication, ResponseKeysAndOutcome) {
    const FullAuthCase& c = GetParam();
    keys.set_pseudonym(c.pseudonym);
    give_identity();
    for (uint8_t type : c.identityRounds) identity_round(type);
    ChallengeSpec spec;
    spec.seq = 7;
    spec.ind = 3;
    spec.resultInd = c.resultInd;
    spec.checkcodeWords = c.checkcodeWords;
    keys.requests.clear();
    ASSERT_EQ(feed(server.challenge(spec)), EAPAKA_RESULT_AUTH_RESPONSE);
    EXPECT_EQ(bytes_to_hex(response), bytes_to_hex(server.expected_challenge_response()));
    EXPECT_EQ(response.size(), c.responseLength);
    EXPECT_EQ(keys.requests, (Requests{L, L, L, L, S}));
    EXPECT_EQ(keys.seqms(3), 7u);
    EXPECT_TRUE(recorder.codes().empty());
    if (c.resultInd) {
        // The server confirms with a protected success notification.
        ASSERT_EQ(feed(server.notification(AKA_NOTIFICATION_SUCCESS, true)), EAPAKA_RESULT_RESPONSE);
        EXPECT_EQ(response, server.expected_notification_response(true));
        EXPECT_EQ(recorder.codes(), (Codes{AKA_NOTIFICATION_SUCCESS}));
    }
    EXPECT_EQ(feed(akasrv::AkaServer::eap_success(server.id)), c.successResult);
    EXPECT_EQ(msk(), server.msk);
}

INSTANTIATE_TEST_SUITE_P(
    Challenge, FullAuthentication,
    ::testing::Values(FullAuthCase{"Permanent", "", {}, false, 0, 40, EAPAKA_RESULT_SUCCESS_PERMANENT},
                      FullAuthCase{"Pseudonym", "G1234567890123456789012", {}, false, 0, 40, EAPAKA_RESULT_SUCCESS_PSEUDONYM},
                      FullAuthCase{"ResultInd", "", {}, true, 0, 44, EAPAKA_RESULT_SUCCESS_PERMANENT},
                      FullAuthCase{"Checkcode", "", {AT_ANY_ID_REQ, AT_PERMANENT_ID_REQ}, false, 6, 64,
                                   EAPAKA_RESULT_SUCCESS_PERMANENT},
                      FullAuthCase{"EmptyCheckcode", "", {AT_FULLAUTH_ID_REQ}, false, 1, 64, EAPAKA_RESULT_SUCCESS_PERMANENT},
                      FullAuthCase{"Both", "", {AT_ANY_ID_REQ}, true, 6, 68, EAPAKA_RESULT_SUCCESS_PERMANENT}),
    [](const auto& info) { return std::string(info.param.name); });

// The alternate key set outranks a pseudonym in the outcome, once.
TEST_F(AkaTest, AlternateKeySetLeavesSqnAloneAndIsReportedOnce) {
    keys.set_seqms(0, 100);
    keys.set_pseudonym("G1234567890123456789012");
    give_identity();
    ChallengeSpec alt;
    alt.amf = {0x00, 0x03};
    alt.seq = 1;  // far below SEQ_MS: the alternate set does not judge SQN
    keys.requests.clear();
    ASSERT_EQ(feed(server.challenge(alt)), EAPAKA_RESULT_AUTH_RESPONSE);
    EXPECT_EQ(response, server.expected_challenge_response());
    EXPECT_EQ(keys.requests, (Requests{L, L, L}));
    EXPECT_EQ(keys.seqms(0), 100u);
    EXPECT_EQ(feed(akasrv::AkaServer::eap_success(server.id)), EAPAKA_RESULT_SUCCESS_ALT_KEYS);
    EXPECT_EQ(msk(), server.msk);

    ChallengeSpec main;
    main.seq = 101;
    give_identity();
    keys.requests.clear();
    ASSERT_EQ(feed(server.challenge(main)), EAPAKA_RESULT_AUTH_RESPONSE);
    EXPECT_EQ(response, server.expected_challenge_response());
    EXPECT_EQ(keys.requests, (Requests{L, L, L, L, S}));
    EXPECT_EQ(keys.seqms(0), 101u);
    EXPECT_EQ(feed(akasrv::AkaServer::eap_success(server.id)), EAPAKA_RESULT_SUCCESS_PSEUDONYM);
}

TEST_F(AkaTest, BadAutnIsRejectedBeforeAnySqnWork) {
    give_identity();
    ChallengeSpec spec;
    spec.badAutn = true;
    keys.requests.clear();
    EXPECT_EQ(feed(server.challenge(spec)), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(response, (Bytes{2, server.id, 0, 8, 23, 2, 0, 0}));
    EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_INVALID_AUTN}));
    EXPECT_EQ(keys.requests, (Requests{L, L, L}));
    EXPECT_EQ(feed(akasrv::AkaServer::eap_failure(server.id)), EAPAKA_RESULT_FAILURE);
}

// Each of these fails after the SQN was taken and the keys derived.
struct LateFailureCase {
    const char* name;
    bool badMac, macNotLast, badCheckcode;
    uintptr_t code;
};

class LateFailure : public AkaTest, public ::testing::WithParamInterface<LateFailureCase> {};

TEST_P(LateFailure, ClientErrorAfterKeysAndSqn) {
    const LateFailureCase& c = GetParam();
    give_identity();
    identity_round(AT_PERMANENT_ID_REQ);
    if (c.badCheckcode) server.identityRecord.push_back(0);
    ChallengeSpec spec;
    spec.seq = 9;
    spec.badMac = c.badMac;
    spec.macNotLast = c.macNotLast;
    spec.resultInd = c.macNotLast;
    spec.checkcodeWords = 6;
    spec.encrPlain = akasrv::identity_attr(AT_NEXT_PSEUDONYM, "Gnext-pseudonym-abcdefgh");
    keys.requests.clear();
    EXPECT_EQ(feed(server.challenge(spec)), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(response, client_error());
    EXPECT_EQ(recorder.codes(), (Codes{c.code}));
    // SQN stored and the pseudonym handed over before the MAC was judged.
    EXPECT_EQ(keys.requests, (Requests{L, L, L, L, S, P}));
    EXPECT_EQ(keys.seqms(0), 9u);
    EXPECT_EQ(keys.pseudonym(), "Gnext-pseudonym-abcdefg");
    EXPECT_EQ(msk(), server.msk);
}

INSTANTIATE_TEST_SUITE_P(Challenge, LateFailure,
                         ::testing::Values(LateFailureCase{"BadMac", true, false, false, EAPAKA_FAIL_INVALID_MAC},
                                           LateFailureCase{"MacNotLast", false, true, false, EAPAKA_FAIL_INVALID_MAC},
                                           LateFailureCase{"BadCheckcode", false, false, true,
                                                           EAPAKA_FAIL_INVALID_CHECKCODE}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AkaTest, ChallengeWithoutAutnIsMandatoryAttributeFailure) {
    give_identity();
    Bytes request = akasrv::aka_request(9, AKA_SUBTYPE_CHALLENGE, akasrv::attr16(AT_RAND, Bytes(16, 1)));
    keys.requests.clear();
    EXPECT_EQ(feed(request), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(response, client_error(9));
    EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_MANDATORY_ATTRIBUTE_MISSING}));
    EXPECT_TRUE(keys.requests.empty());
}

}  // namespace
