// Full authentication through EAP_layer in EAP-AKA and EAP-AKA'; the SQN
// array (TS 33.102 Annex C) and resynchronisation.
#include "aka/aka_fixture.h"

namespace {

using akasrv::AkaServer;
using akasrv::ChallengePlan;

struct FullAuthCase {
    const char* name;
    unsigned flags;
    std::vector<uint8_t> identityRounds;
    bool resultInd;
    int checkcodeWords;
};

class FullAuthentication : public AkaTest, public ::testing::WithParamInterface<FullAuthCase> {};

TEST_P(FullAuthentication, ResponseKeysAndOutcome) {
    const FullAuthCase& c = GetParam();
    EAP_SetCompatibility(c.flags);
    server.use_prime((c.flags & EAP_COMPAT_AKA_PRIME) != 0);
    server.rfcCheckcode = (c.flags & EAP_COMPAT_RFC_CHECKCODE) != 0;
    give_identity();
    for (uint8_t type : c.identityRounds) identity_round(type);
    keys.requests.clear();
    const Bytes challenge = server.challenge({7, 3, {}, c.resultInd, c.checkcodeWords});  // SEQ 7, IND 3
    exchange(challenge, EAPAKA_RESULT_AUTH_RESPONSE, server.expected_challenge_response());
    EXPECT_EQ(keys.requests, (Requests{L, L, L, L, S}));
    EXPECT_EQ(keys.seqms(3), 7u);
    if (c.resultInd) {  // the server confirms with a protected success notification
        const Bytes notification = server.notification(AKA_NOTIFICATION_SUCCESS, true);
        exchange(notification, EAPAKA_RESULT_RESPONSE, server.expected_notification_response(true), {AKA_NOTIFICATION_SUCCESS});
    }
    EXPECT_EQ(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_SUCCESS_PERMANENT);
    EXPECT_EQ(msk(), server.msk);
}

// With EAP_COMPAT_RFC_CHECKCODE an empty AT_CHECKCODE answers one when the
// exchange had no identity round; EAP-AKA' answers it with its SHA-256 digest.
constexpr unsigned RFC = EAP_COMPAT_RFC_CHECKCODE, PRIME = EAP_COMPAT_AKA_PRIME;
INSTANTIATE_TEST_SUITE_P(
    Challenge, FullAuthentication,
    ::testing::Values(FullAuthCase{"Permanent", 0, {}, false, 0},
                      FullAuthCase{"ResultIndAndCheckcode", 0, {AT_ANY_ID_REQ, AT_PERMANENT_ID_REQ}, true, 6},
                      FullAuthCase{"EmptyCheckcodeDefault", 0, {}, false, 1},
                      FullAuthCase{"EmptyCheckcodeRfc", RFC, {}, false, 1},
                      FullAuthCase{"EmptyCheckcodeRfcAfterRound", RFC, {AT_PERMANENT_ID_REQ}, false, 1},
                      FullAuthCase{"StrictResultInd", EAP_COMPAT_STRICT_SUCCESS, {}, true, 0},
                      FullAuthCase{"PrimeCheckcode", PRIME, {AT_PERMANENT_ID_REQ}, false, 9},
                      FullAuthCase{"PrimeEmptyCheckcodeAndResultInd", PRIME, {}, true, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// AMF 0003 takes the alternate key set, which does not judge the SQN, and
// outranks a pseudonym in the outcome, once.
TEST_F(AkaTest, AlternateKeySetLeavesSqnAloneAndIsReportedOnce) {
    keys.set_seqms(0, 100);
    keys.set_pseudonym("G1234567890123456789012");
    keys.requests.clear();
    authenticate({1, 0, {0x00, 0x03}});  // SEQ 1, AMF 0003
    EXPECT_EQ(keys.requests, (Requests{L, L, L, L}));
    EXPECT_EQ(keys.seqms(0), 100u);
    EXPECT_EQ(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_SUCCESS_ALT_KEYS);
    EXPECT_EQ(msk(), server.msk);

    keys.requests.clear();
    authenticate({101});
    EXPECT_EQ(keys.requests, (Requests{L, L, L, L, L, S}));
    EXPECT_EQ(keys.seqms(0), 101u);
    EXPECT_EQ(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_SUCCESS_PSEUDONYM);
}

// A bad AUTN is refused before any SQN work; a bad AT_MAC only after the SQN
// and the pseudonym were stored, the failed challenge's keys left in place.
TEST_F(AkaTest, FailureBeforeAndAfterKeyDerivation) {
    struct Case { const char* name; bool badAutn; Requests requests; uint64_t seqMs; const char* pseudonym; };
    const Case cases[] = {
        {"bad AUTN", true, {L, L, L}, 0, "Gold"},
        {"bad AT_MAC", false, {L, L, L, L, S, P}, 9, "Gnext-pseudonym-abcdefg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        keys.set_pseudonym("Gold");
        init();
        give_identity();
        const Bytes pseudonym = akasrv::identity_attr(AT_NEXT_PSEUDONYM, "Gnext-pseudonym-abcdefgh");
        keys.requests.clear();
        EXPECT_EQ(feed(server.challenge({9, 0, {}, false, 0, pseudonym, c.badAutn, !c.badAutn})), EAPAKA_RESULT_RESPONSE);
        EXPECT_EQ(response, c.badAutn ? reject() : client_error());
        EXPECT_EQ(keys.requests, c.requests);
        EXPECT_EQ(keys.seqms(0), c.seqMs);
        EXPECT_EQ(keys.pseudonym().c_str(), std::string(c.pseudonym));
        EXPECT_EQ(msk() == server.msk, !c.badAutn);
    }
}

constexpr uint64_t kDelta = uint64_t{1} << 28;

struct SqnCase {
    const char* name;
    uint64_t seqMs;          // SEQ_MS(5) as stored
    uint64_t otherEntries;   // every other SEQ_MS
    uint64_t seq;            // SEQ of the challenge, IND 5
    bool accepted;
    Bytes amf = {};          // of the challenge, which MAC-S of AUTS takes by default
    unsigned flags = 0;
};

class SqnFreshness : public AkaTest, public ::testing::WithParamInterface<SqnCase> {};

TEST_P(SqnFreshness, AcceptsOnlyWithinDeltaAboveItsOwnIndex) {
    const SqnCase& c = GetParam();
    EAP_SetCompatibility(c.flags);
    for (unsigned i = 0; i < 32; ++i) keys.set_seqms(i, i == 5 ? c.seqMs : c.otherEntries);
    const uint64_t seqMsValue = c.seqMs & ((uint64_t{1} << 43) - 1);
    give_identity();
    keys.requests.clear();
    const int result = feed(server.challenge({c.seq, 5, c.amf}));
    for (unsigned i = 0; i < 32; ++i) EXPECT_TRUE(i == 5 || keys.seqms(i) == c.otherEntries) << i;
    EXPECT_EQ(result, c.accepted ? EAPAKA_RESULT_AUTH_RESPONSE : EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(keys.requests, (Requests{L, L, L, L, c.accepted ? S : L}));
    EXPECT_EQ(keys.seqms(5), c.accepted ? c.seq : c.seqMs);
    if (c.accepted) return;
    EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_INVALID_SQN}));
    ASSERT_EQ(response.size(), 24u);
    EXPECT_EQ(Bytes(response.begin(), response.begin() + 10), (Bytes{2, server.id, 0, 24, 23, 4, 0, 0, 4, 4}));
    uint64_t sqnMs = 0;
    const Bytes dummyAmf = c.flags == EAP_COMPAT_AUTS_DUMMY_AMF ? Bytes{0, 0} : Bytes{};  // TS 33.102 6.3.3
    EXPECT_TRUE(server.verify_auts(Bytes(response.begin() + 10, response.end()), &sqnMs, dummyAmf));
    EXPECT_EQ(sqnMs, seqMsValue * 32 + 5);

    const Bytes next = server.challenge({seqMsValue + 1, 5, c.amf});
    exchange(next, EAPAKA_RESULT_AUTH_RESPONSE, server.expected_challenge_response());
    EXPECT_EQ(keys.seqms(5), seqMsValue + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Sqn, SqnFreshness,
    ::testing::Values(SqnCase{"Replay", 16, 0, 16, false},
                      SqnCase{"AtDelta", 16, 0, 16 + kDelta, true}, SqnCase{"BeyondDelta", 16, 0, 17 + kDelta, false},
                      SqnCase{"BorrowAcrossBytes", 0xFFFFFF, 0, 0xFFFFFF + kDelta, true},
                      SqnCase{"BeyondDeltaAcrossBytes", 0x1FFFFFF, 0, 0x2000000 + kDelta, false},
                      SqnCase{"OtherIndicesIgnoredBelow", 16, 1000, 17, true},
                      SqnCase{"OtherIndicesIgnoredAbove", 500, 10, 400, false},
                      SqnCase{"HighBitsOfFirstByteIgnored", 0xF80000000010ull, 0, 17, true},
                      SqnCase{"MacSWithTheChallengeAmf", 16, 0, 16, false, {0x80, 0x00}},
                      SqnCase{"MacSWithDummyAmf", 16, 0, 16, false, {0x80, 0x00}, EAP_COMPAT_AUTS_DUMMY_AMF}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
