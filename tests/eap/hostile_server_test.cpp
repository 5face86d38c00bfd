// A hostile or broken server, one message per row, through EAP_layer.
#include <map>

#include "aka/aka_fixture.h"

namespace {

using akasrv::attr;
using akasrv::attr16;
using akasrv::ChallengePlan;
using akasrv::identity_attr;

enum class Answer { ClientError, Reject, NotificationAck, NotificationAckWithMac, Accepted };
class Hostile;
// The message after `before` under `flags`: the answer, the event-2 codes in
// order, the EAP state afterwards (unless the challenge is accepted).
struct Row {
    const char* name;
    unsigned flags;
    AkaTest::Before before;
    Bytes (*message)(Hostile& t);
    Answer answer;
    Codes codes;
    uint32_t after = EAP_STATE_FAILED;
};

const Bytes kRand = attr16(AT_RAND, Bytes(16, 0x11));
const Bytes kAutn = attr16(AT_AUTN, Bytes(16, 0x22));

class Hostile : public AkaTest, public ::testing::WithParamInterface<Row> {
public:
    Bytes raw(uint8_t subtype, const Bytes& attrs) { return server.raw(subtype, attrs); }
    Bytes challenge(const Bytes& attrs) { return raw(AKA_SUBTYPE_CHALLENGE, attrs); }
    // AT_RAND, an AUTN that is not authentic, then `rest`; an authentic
    // challenge with AT_ENCR_DATA.
    Bytes fake(const Bytes& rest) { return challenge(cat({kRand, kAutn, rest})); }
    Bytes encrypting(const Bytes& plain) { return server.challenge({1, 0, {}, false, 0, plain}); }
    // An authentic request (by default a challenge) with `extra` before its
    // AT_MAC, MACed again; with AT_BIDDING of `value` there.
    Bytes before_mac(const Bytes& extra, Bytes request = {}) {
        if (request.empty()) request = server.challenge({});
        request.insert(request.end() - AT_MAC_SIZE, extra.begin(), extra.end());
        request[2] = static_cast<uint8_t>(request.size() >> 8);
        request[3] = static_cast<uint8_t>(request.size());
        return akasrv::with_mac(server.kAut, request, request.size() - 16);
    }
    Bytes bidding(uint16_t value) { return before_mac({AT_BIDDING, 1, uint8_t(value >> 8), uint8_t(value)}); }
    // Before authentication under the peer's all-zero keys of load time.
    Bytes notification(uint16_t code, bool withMac) {
        if (server.kAut.empty()) server.kAut = Bytes(16, 0);
        return server.notification(code, withMac);
    }
    // The packet with a Length of `length` bytes (below 256), its bytes unchanged.
    static Bytes with_length(Bytes packet, uint8_t length) {
        packet[3] = length;
        return packet;
    }
};

constexpr unsigned SKIP = EAP_COMPAT_SKIP_UNKNOWN_SKIPPABLE, PRIME = EAP_COMPAT_AKA_PRIME;
using Before = AkaTest::Before;
constexpr Before I = Before::Identity, A = Before::Authenticated, N = Before::NewConversation;
constexpr Answer CE = Answer::ClientError, REJECT = Answer::Reject, OK = Answer::Accepted, ACK = Answer::NotificationAck,
                 ACK_MAC = Answer::NotificationAckWithMac;
const Codes kMalformed = {EAPAKA_FAIL_MALFORMED_ATTRIBUTE, EAPAKA_FAIL_MANDATORY_ATTRIBUTE_MISSING};
const Codes kDuplicate = {EAPAKA_FAIL_DUPLICATE_ATTRIBUTE, EAPAKA_FAIL_MANDATORY_ATTRIBUTE_MISSING};
const Codes kBadAutn = {EAPAKA_FAIL_INVALID_AUTN}, kBadMac = {EAPAKA_FAIL_INVALID_MAC};
const Codes kSubtype = {EAPAKA_FAIL_INVALID_SUBTYPE}, kMissing = {EAPAKA_FAIL_MANDATORY_ATTRIBUTE_MISSING};
using H = Hostile;
constexpr uint32_t CONVERSING = EAP_STATE_CONVERSING, NOTIFIED = EAP_STATE_SUCCESS_NOTIFIED;

// The trace line of each status code: a failure's label or a notification's name.
const std::string kNoticode = "\n================\n\nWrite AKA-Noticode:\n\t";
const std::map<uintptr_t, std::string> kTraceLine = {
    {EAPAKA_FAIL_INVALID_AUTN, "\tC_AKA_FAIL_INVALID_AUTN\n"}, {EAPAKA_FAIL_MALFORMED_ATTRIBUTE, "\tC_AKA_FAIL_MALFORMED_ATTRIBUTE\n"},
    {EAPAKA_FAIL_DUPLICATE_ATTRIBUTE, "\tC_AKA_FAIL_DUPLICATE_ATTRIBUTE\n"}, {EAPAKA_FAIL_INVALID_MAC, "\tC_AKA_FAIL_INVALID_MAC\n"},
    {EAPAKA_FAIL_MANDATORY_ATTRIBUTE_MISSING, "\t>>mendatory attribute is missing \n\tC_AKA_FAIL_MANDATORY_ATTRIBUTE_MISSING\n"},
    {EAPAKA_FAIL_INVALID_SUBTYPE, "\t>>Not able to parse the EAP-AKA Subtype \n\tC_AKA_FAIL_INVALID_SUBTYPE\n"},
    {EAPAKA_FAIL_INVALID_CHECKCODE, "\tC_AKA_FAIL_INVALID_CHECKCODE\n"}, {0x4000, kNoticode + "AKA_FAIL_GENERAL_BEFORE_AUTHEN\n"},
    {20031, kNoticode + "AKA_FAIL_PACKET_EXHAUSTED\n"}, {1026, kNoticode + "AKA_FAIL_ACCESS_DENIED\n"},
    {0x8000, kNoticode + "AKA_SUCCESS\n"}, {0x8001, kNoticode + "No match\n"}};

const Row kRows[] = {
    // Attribute framing and the limits of the attribute table.
    {"AttributeTruncatedByEndOfMessage", 0, I,
     [](H& t) { return t.challenge(Bytes(kRand.begin(), kRand.begin() + 12)); }, CE, kMalformed},
    {"TrailingHalfWord", 0, I, [](H& t) { return t.fake({AT_RESULT_IND, 1}); }, CE, kMalformed},
    {"RandLength0", 0, I, [](H& t) { return t.challenge(cat({{AT_RAND, 0, 0, 0}, Bytes(16, 0), kAutn})); }, CE, kMalformed},
    // Were the Length of 6 taken, the last word would read as AT_RESULT_IND.
    {"RandLength6", 0, I,
     [](H& t) { return t.challenge(cat({{AT_RAND, 6, 0, 0}, Bytes(16, 1), attr(AT_RESULT_IND, 1), kAutn})); },
     CE, kMalformed},
    {"ResultIndLength2", 0, I, [](H& t) { return t.fake(attr(AT_RESULT_IND, 2)); }, CE, kMalformed},
    {"EncrDataLength0", 0, I, [](H& t) { return t.fake({AT_ENCR_DATA, 0, 0, 0}); }, CE, kMalformed},
    {"EncrDataAbove96Bytes", 0, I, [](H& t) { return t.fake(attr(AT_ENCR_DATA, 26)); }, CE, kMalformed},
    {"CheckcodePastEnd", 0, I, [](H& t) { return t.fake(cat({{AT_CHECKCODE, 6, 0, 0}, Bytes(4, 0)})); }, CE, kMalformed},
    {"CheckcodeAbove20Bytes", 0, I, [](H& t) { return t.fake(attr(AT_CHECKCODE, 7)); }, CE, kMalformed},
    {"NotificationLength0TakesOneWord", 0, I, [](H& t) { return t.raw(AKA_SUBTYPE_NOTIFICATION, {AT_NOTIFICATION, 0, 0x40, 0}); },
     ACK, {AKA_NOTIFICATION_P_BIT}},
    {"TwoNotificationsTheSecondStands", 0, I, [](H& t) {
         return t.raw(AKA_SUBTYPE_NOTIFICATION, {AT_NOTIFICATION, 1, 0x40, 0, AT_NOTIFICATION, 1, 0x4E, 0x3F});
     }, ACK, {20031}},
    {"EveryKnownAttributeParses", 0, I, [](H& t) {
         return t.fake(cat({attr(AT_RESULT_IND, 1), attr(AT_CHECKCODE, 6), attr16(AT_IV, Bytes(16, 0)), attr(AT_ENCR_DATA, 25),
                            attr16(AT_MAC, Bytes(16, 0)), attr(AT_NOTIFICATION, 1, {0x80, 0})}));
     }, REJECT, kBadAutn},

    // Attributes out of place, unknown or repeated; the skippable range is
    // skipped only with EAP_COMPAT_SKIP_UNKNOWN_SKIPPABLE, for unknown types.
    {"AtResInRequest", 0, I, [](H& t) { return t.fake(attr(AT_RES, 3)); }, CE, kMalformed},
    {"NextReauthIdOutsideEncrData", 0, I, [](H& t) { return t.fake(attr(AT_NEXT_REAUTH_ID, 1)); }, CE, kMalformed},
    {"UnknownBetweenTwoRand", 0, I, [](H& t) { return t.challenge(cat({kRand, attr(99, 1), kRand, kAutn})); }, CE, kMalformed},
    {"DuplicatedRand", 0, I, [](H& t) { return t.challenge(cat({kRand, kRand, kAutn})); }, CE, kDuplicate},
    {"SkippableType255Skipped", SKIP, I, [](H& t) { return t.before_mac({255, 2, 1, 2, 3, 4, 5, 6}); }, OK, {}},
    {"NonSkippableUnknownRefused", SKIP, I, [](H& t) { return t.before_mac({127, 1, 0, 0}); }, CE, kMalformed},
    {"KnownTypeOutOfPlaceRefused", SKIP, I,
     [](H& t) { return t.before_mac(identity_attr(AT_NEXT_REAUTH_ID, "4x")); }, CE, kMalformed},
    {"SkippableLength0Refused", SKIP, I, [](H& t) { return t.before_mac({136, 0, 0, 0}); }, CE, kMalformed},
    {"SkippablePastMessageRefused", SKIP, I, [](H& t) { return t.before_mac({136, 7, 0, 0}); }, CE, kMalformed},
    {"EncryptedSkippableRefused", 0, I, [](H& t) { return t.encrypting({200, 1, 0, 0}); }, CE, {EAPAKA_FAIL_MALFORMED_ATTRIBUTE}},
    {"EncryptedSkippableSkipped", SKIP, I, [](H& t) { return t.encrypting({200, 1, 0, 0}); }, OK, {}},
    {"DuplicatedEncryptedNonceInReauthentication", 0, N, [](H& t) {
         return t.server.reauth_request({1, Bytes(16, 0xA5), attr16(AT_NONCE_S, Bytes(16, 7))});
     }, CE, {EAPAKA_FAIL_DUPLICATE_ATTRIBUTE}, CONVERSING},

    // Missing attributes and failed checks.
    {"ChallengeWithoutAutn", 0, I, [](H& t) { return t.challenge(kRand); }, CE, kMissing},
    {"ReauthWithoutIv", 0, N,
     [](H& t) { return t.raw(AKA_SUBTYPE_REAUTHENTICATION, attr(AT_ENCR_DATA, 5, Bytes(18, 0))); }, CE, kMissing},
    {"AutnLastByteWrong", 0, I, [](H& t) { return t.server.challenge({1, 0, {}, false, 0, {}, true}); }, REJECT, kBadAutn},
    // The MAC covers the packet with its last 16 bytes zeroed: an AT_MAC
    // followed by anything else does not verify.
    {"MacNotLast", 0, I, [](H& t) {
         ChallengePlan plan;
         plan.resultInd = plan.macNotLast = true;
         return t.server.challenge(plan);
     }, CE, kBadMac},
    {"CheckcodeOverOtherMessages", 0, I, [](H& t) {
         t.server.identityRecord = {1};
         return t.server.challenge({1, 0, {}, false, 6});
     }, CE, {EAPAKA_FAIL_INVALID_CHECKCODE}},
    {"ReauthMacLastByteWrong", 0, N, [](H& t) { return H::bad_mac(t.server.reauth_request({})); }, CE, kBadMac},
    // Keys the peer never derived: its decryption is noise, refused before
    // AT_MAC is looked at, and the exchange stays open.
    {"ReauthUnderForeignKeys", 0, I, [](H& t) {
         t.server.kEncr = t.server.kAut = Bytes(16, 0x3C);
         return t.server.reauth_request({});
     }, CE, {EAPAKA_FAIL_MALFORMED_ATTRIBUTE}, CONVERSING},

    // Messages in the wrong phase. Before authentication only P-bit codes may
    // come without AT_MAC (RFC 4187 6.1).
    {"NotificationPBitBeforeAuthentication", 0, I, [](H& t) { return t.server.notification(20031, false); },
     ACK, {20031}},
    {"ProtectedNotificationBeforeAuthentication", 0, I, [](H& t) { return t.notification(1026, true); },
     ACK_MAC, {1026}},
    {"NotificationWithoutMacBeforeAuthentication", 0, I, [](H& t) { return t.notification(1026, false); }, CE, kBadMac},
    {"SuccessNotification", 0, A, [](H& t) { return t.notification(0x8000, true); },
     ACK_MAC, {0x8000}, NOTIFIED},
    {"SBitNotExactlySuccess", 0, A, [](H& t) { return t.notification(0x8001, true); },
     ACK_MAC, {0x8001}},
    // AT_MAC is never verified over more than 256 bytes, authentic or not.
    {"ProtectedNotificationAbove256Bytes", 0, A, [](H& t) {
         Bytes many;
         for (int i = 0; i < 60; ++i) many = cat({many, {AT_NOTIFICATION, 1, 0x04, 0x02}});
         return t.before_mac(many, t.notification(1026, true));
     }, CE, kBadMac},
    {"PBitAfterAuthenticationNeedsMac", 0, A, [](H& t) { return t.notification(0x4000, false); }, CE, kBadMac},
    {"SecondChallengeAfterAuthentication", 0, A, [](H& t) { return t.server.challenge({}); }, CE, kSubtype},
    {"IdentityRequestWithoutAttribute", 0, I, [](H& t) { return t.raw(AKA_SUBTYPE_IDENTITY, {}); }, CE, kSubtype},
    {"IdentityRequestLedByRand", 0, I, [](H& t) { return t.raw(AKA_SUBTYPE_IDENTITY, kRand); }, CE, kSubtype},

    // EAP Length shorter or longer than the attributes present.
    {"EapLengthSmallerThanData", 0, I, [](H& t) { return H::with_length(t.fake({}), 8 + 20); }, CE, kMissing},
    {"EapLengthLargerThanData", 0, I,
     [](H& t) { return H::with_length(cat({t.fake({}), Bytes(8, 0)}), 8 + 40 + 8); }, CE, kMalformed},

    // RFC 9048 section 4 in EAP-AKA challenges: AT_BIDDING with the D bit
    // fails the exchange once AT_MAC has verified, while EAP-AKA' is on.
    {"BiddingDown", PRIME, I, [](H& t) { return t.bidding(0x8000); }, REJECT, kBadAutn},
    {"BiddingDownStrict", PRIME | EAP_COMPAT_STRICT_SUCCESS, I, [](H& t) { return t.bidding(0x8000); }, REJECT, kBadAutn},
    {"BiddingDownMacFirst", PRIME, I, [](H& t) { return H::bad_mac(t.bidding(0x8000)); }, CE, kBadMac},
    {"BiddingReservedBitsOnly", PRIME, I, [](H& t) { return t.bidding(0x7FFF); }, OK, {}},
    {"BiddingWithoutAkaPrimeSkipped", SKIP, I, [](H& t) { return t.bidding(0x8000); }, OK, {}},
    {"BiddingWithoutAkaPrimeRefused", 0, I, [](H& t) { return t.bidding(0x8000); }, CE, kMalformed},
};

TEST_P(Hostile, AnswersAndReports) {
    const Row& row = GetParam();
    EAP_SetCompatibility(row.flags);
    prepare(row.before);
    const Bytes mskBefore = msk();
    TraceFile trace;
    const Bytes request = row.message(*this);
    const bool accepted = row.answer == Answer::Accepted;
    const Bytes expected = accepted ? server.expected_challenge_response()
                           : row.answer == Answer::Reject ? reject()
                           : row.answer == Answer::NotificationAck ? server.expected_notification_response(false)
                           : row.answer == Answer::NotificationAckWithMac ? server.expected_notification_response(true)
                                                                          : client_error();
    exchange(request, accepted ? EAPAKA_RESULT_AUTH_RESPONSE : EAPAKA_RESULT_RESPONSE, expected, row.codes);
    EXPECT_EQ(recorder.codes().size(), recorder.events.size()) << "only status events";
    for (uintptr_t code : row.codes) EXPECT_NE(trace.contents().find(kTraceLine.at(code)), std::string::npos) << code;
    EXPECT_EQ(g_session.eapState, accepted ? EAP_STATE_AUTHENTICATED : row.after);
    // Under strict success a refused challenge leaves the keys as they were.
    EXPECT_TRUE(accepted ? msk() == server.msk : (row.flags & EAP_COMPAT_STRICT_SUCCESS) == 0 || msk() == mskBefore);
    EXPECT_LE(g_session.identityMessageRecordLength, IDENTITY_RECORD_SIZE);
    EXPECT_LE(g_session.identityLength, IDENTITY_MAX);
}

INSTANTIATE_TEST_SUITE_P(EveryMessage, Hostile, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
