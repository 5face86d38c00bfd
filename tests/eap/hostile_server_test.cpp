// A hostile or broken server, one message per row, through EAP_layer: what
// the peer answers (the exact response bytes, or a drop with 15) and which
// status codes it reports to the host. Every row starts from a fresh
// conversation in which the peer has given its identity; some rows first
// run a full authentication.
#include "aka/aka_fixture.h"

namespace {

using akasrv::AkaServer;
using akasrv::attr;
using akasrv::attr16;
using akasrv::identity_attr;
using Codes = std::vector<uintptr_t>;

// What the peer sends back.
enum class Answer {
    Dropped,            // result 15, nothing written
    ClientError,        // AKA-Client-Error, "unable to process packet"
    NotificationAck,    // AKA-Notification response without AT_MAC
};

// Where the conversation stands when the hostile message arrives.
enum class Before {
    IdentityGiven,   // EAP-Response/Identity sent; the method has not run
    Authenticated,   // AKA-Challenge answered, outcome awaited
    NewConversation  // a full authentication succeeded, a new identity given
};

class HostileServer;

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Row {
    const char* name;
    Before before;
    Bytes (*message)(HostileServer& t);
    int result;
    Answer answer;
    Codes codes;  // event-2 codes, in order
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class HostileServer : public AkaTest, public ::testing::WithParamInterface<Row> {
public:
    AkaServer& srv() { return server; }
    // An AKA-Challenge with AT_RAND and AT_AUTN, then `rest`. The AUTN is
    // not authentic: the rows using it must fail before it is checked.
    Bytes challenge_with(const Bytes& rest) {
        const Bytes randAndAutn = cat(attr16(AT_RAND, Bytes(16, 0x11)), attr16(AT_AUTN, Bytes(16, 0x22)));
        return request(AKA_SUBTYPE_CHALLENGE, cat(randAndAutn, rest));
    }
    Bytes request(uint8_t subtype, const Bytes& attrs) {
        return akasrv::aka_request(next_id(), subtype, attrs);
    }
    // A valid challenge (authentic AUTN and AT_MAC) whose AT_ENCR_DATA holds
    // `plain`: the decrypted-attribute checks are reached.
    Bytes challenge_encrypting(const Bytes& plain) {
        akasrv::ChallengeSpec spec;
        spec.encrPlain = plain;
        return server.challenge(spec);
    }
    uint8_t next_id() {
        server.lastRequestId = ++server.id;
        return server.id;
    }
};

Bytes first(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + n); }

// The Length field of a built request set to `length`, the bytes unchanged.
Bytes with_length(Bytes packet, uint16_t length) {
    packet[2] = static_cast<uint8_t>(length >> 8);
    packet[3] = static_cast<uint8_t>(length);
    return packet;
}

const Codes kMalformed = {EAPAKA_FAIL_MALFORMED_ATTRIBUTE, EAPAKA_FAIL_MANDATORY_ATTRIBUTE_MISSING};

const Row kRows[] = {
    // Attribute framing.
    {"AttributeTruncatedByEndOfMessage", Before::IdentityGiven,
     [](HostileServer& t) { return t.request(AKA_SUBTYPE_CHALLENGE, first(attr16(AT_RAND, Bytes(16, 1)), 12)); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, kMalformed},
    {"AttributeHeaderCutInHalf", Before::IdentityGiven,
     [](HostileServer& t) { return with_length(t.request(AKA_SUBTYPE_CHALLENGE, {AT_RAND, 5, 0, 0}), 10); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, kMalformed},
    {"ZeroLengthRand", Before::IdentityGiven,
     [](HostileServer& t) { return t.request(AKA_SUBTYPE_CHALLENGE, cat({AT_RAND, 0, 0, 0}, Bytes(16, 0))); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, kMalformed},
    {"ZeroLengthEncrData", Before::IdentityGiven,
     [](HostileServer& t) { return t.challenge_with({AT_ENCR_DATA, 0, 0, 0}); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, kMalformed},
    {"ZeroLengthCheckcode", Before::IdentityGiven,
     [](HostileServer& t) { return t.challenge_with({AT_CHECKCODE, 0, 0, 0}); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, kMalformed},
    {"ZeroLengthNotificationTakesOneWord", Before::IdentityGiven,
     [](HostileServer& t) { return t.request(AKA_SUBTYPE_NOTIFICATION, {AT_NOTIFICATION, 0, 0x40, 0x00}); },
     EAPAKA_RESULT_RESPONSE, Answer::NotificationAck, {AKA_NOTIFICATION_P_BIT}},
    {"CheckcodeLengthPastEnd", Before::IdentityGiven,
     [](HostileServer& t) { return t.challenge_with(cat({AT_CHECKCODE, 6, 0, 0}, Bytes(4, 0))); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, kMalformed},
    {"EncrDataLengthPastEnd", Before::IdentityGiven,
     [](HostileServer& t) { return t.challenge_with(cat({AT_ENCR_DATA, 9, 0, 0}, Bytes(16, 0))); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, kMalformed},
    {"RandLengthNotFive", Before::IdentityGiven,
     [](HostileServer& t) { return t.request(AKA_SUBTYPE_CHALLENGE, cat({AT_RAND, 6, 0, 0}, Bytes(20, 0))); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, kMalformed},

    // Values longer than their fields.
    {"EncrDataAboveNinetySixBytes", Before::IdentityGiven,
     [](HostileServer& t) { return t.challenge_with(attr(AT_ENCR_DATA, 26)); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, kMalformed},
    {"CheckcodeAboveTwentyBytes", Before::IdentityGiven,
     [](HostileServer& t) { return t.challenge_with(attr(AT_CHECKCODE, 7)); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, kMalformed},

    // AT_MAC placement and duplicates.
    // The MAC is taken over the packet with its last 16 bytes zeroed: an
    // AT_MAC followed by anything else does not verify.
    {"MacNotLast", Before::IdentityGiven,
     [](HostileServer& t) {
         akasrv::ChallengeSpec spec;
         spec.resultInd = true;
         spec.macNotLast = true;
         return t.srv().challenge(spec);
     },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, {EAPAKA_FAIL_INVALID_MAC}},
    {"DuplicatedMac", Before::IdentityGiven,
     [](HostileServer& t) { return t.challenge_with(cat(attr16(AT_MAC, Bytes(16, 0)), attr16(AT_MAC, Bytes(16, 0)))); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError,
     {EAPAKA_FAIL_DUPLICATE_ATTRIBUTE, EAPAKA_FAIL_MANDATORY_ATTRIBUTE_MISSING}},

    // Inside AT_ENCR_DATA of an authentic challenge.
    {"DuplicatedEncryptedReauthId", Before::IdentityGiven,
     [](HostileServer& t) {
         return t.challenge_encrypting(
             cat(identity_attr(AT_NEXT_REAUTH_ID, "r1@x"), identity_attr(AT_NEXT_REAUTH_ID, "r2@x")));
     },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, {EAPAKA_FAIL_DUPLICATE_ATTRIBUTE}},
    {"EncryptedPseudonymLongerThanItsAttribute", Before::IdentityGiven,
     [](HostileServer& t) { return t.challenge_encrypting({AT_NEXT_PSEUDONYM, 2, 0, 200, 'G', 'x', 'y', 'z'}); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, {EAPAKA_FAIL_MALFORMED_ATTRIBUTE}},
    {"EncryptedReauthIdAboveSixtyFourBytes", Before::IdentityGiven,
     [](HostileServer& t) { return t.challenge_encrypting(cat({AT_NEXT_REAUTH_ID, 18, 0, 65}, Bytes(68, 'r'))); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, {EAPAKA_FAIL_MALFORMED_ATTRIBUTE}},
    {"EncryptedNonceWithWrongLength", Before::IdentityGiven,
     [](HostileServer& t) { return t.challenge_encrypting(cat({AT_NONCE_S, 4, 0, 0}, Bytes(12, 0))); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, {EAPAKA_FAIL_MALFORMED_ATTRIBUTE}},
    {"EncryptedPaddingAboveThreeWords", Before::IdentityGiven,
     [](HostileServer& t) { return t.challenge_encrypting(attr(AT_PADDING, 4)); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, {EAPAKA_FAIL_MALFORMED_ATTRIBUTE}},
    {"DuplicatedEncryptedNonceInReauthentication", Before::NewConversation,
     [](HostileServer& t) {
         akasrv::ReauthSpec spec;
         spec.extraEncr = attr16(AT_NONCE_S, Bytes(16, 7));
         return t.srv().reauth_request(spec);
     },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, {EAPAKA_FAIL_DUPLICATE_ATTRIBUTE}},

    // Messages in the wrong phase.
    {"ProtectedNotificationBeforeAuthenticationWithoutMac", Before::IdentityGiven,
     [](HostileServer& t) { return t.srv().notification(1026, false); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, {EAPAKA_FAIL_INVALID_MAC}},
    {"UnprotectedNotificationAfterAuthentication", Before::Authenticated,
     [](HostileServer& t) { return t.srv().notification(AKA_NOTIFICATION_P_BIT, false); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, {EAPAKA_FAIL_INVALID_MAC}},
    {"SecondChallengeAfterAuthentication", Before::Authenticated,
     [](HostileServer& t) { return t.srv().challenge({}); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, {EAPAKA_FAIL_INVALID_SUBTYPE}},
    {"SuccessBeforeAuthentication", Before::IdentityGiven,
     [](HostileServer& t) { return AkaServer::eap_success(t.next_id()); },
     EAPAKA_RESULT_DROPPED, Answer::Dropped, {}},
    {"PeerOnlySubtype", Before::IdentityGiven,
     [](HostileServer& t) { return t.request(AKA_SUBTYPE_CLIENT_ERROR, {AT_CLIENT_ERROR_CODE, 1, 0, 0}); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, {EAPAKA_FAIL_INVALID_SUBTYPE}},

    // Identity and re-authentication requests that cannot be served.
    {"IdentityRequestWithoutAttribute", Before::IdentityGiven,
     [](HostileServer& t) { return t.request(AKA_SUBTYPE_IDENTITY, {}); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, {EAPAKA_FAIL_INVALID_SUBTYPE}},
    {"ReauthenticationWithoutHeldIdentityOrKeys", Before::IdentityGiven,
     // The server takes the peer for one it authenticated before, with keys
     // the peer never derived: under the peer's own K_encr the decrypted
     // data is noise and is refused before AT_MAC is looked at.
     [](HostileServer& t) {
         t.srv().kEncr = Bytes(16, 0x3C);
         t.srv().kAut = Bytes(16, 0xC3);
         return t.srv().reauth_request({});
     },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, {EAPAKA_FAIL_MALFORMED_ATTRIBUTE}},

    // EAP Length against the bytes present.
    {"EapLengthSmallerThanData", Before::IdentityGiven,
     // The Length ends the packet after AT_RAND: AT_AUTN is not part of it.
     [](HostileServer& t) { return with_length(t.challenge_with({}), 8 + 20); },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, {EAPAKA_FAIL_MANDATORY_ATTRIBUTE_MISSING}},
    {"EapLengthLargerThanData", Before::IdentityGiven,
     // The host's buffer holds zero bytes after the attributes; the Length
     // takes them in, and a zero Type is no attribute.
     [](HostileServer& t) {
         const Bytes packet = t.challenge_with({});
         return with_length(cat(packet, Bytes(8, 0)), static_cast<uint16_t>(packet.size() + 8));
     },
     EAPAKA_RESULT_RESPONSE, Answer::ClientError, kMalformed},
    {"EapLengthBelowAkaHeader", Before::IdentityGiven,
     [](HostileServer& t) { return with_length(t.request(AKA_SUBTYPE_CHALLENGE, {}), 6); },
     EAPAKA_RESULT_DROPPED, Answer::Dropped, {}},
    {"EapLengthBelowEapHeader", Before::IdentityGiven,
     [](HostileServer& t) { return with_length(t.request(AKA_SUBTYPE_CHALLENGE, {}), 3); },
     EAPAKA_RESULT_DROPPED, Answer::Dropped, {}},
    {"EapLengthAboveLargestRequest", Before::IdentityGiven,
     [](HostileServer& t) { return cat(with_length(t.request(AKA_SUBTYPE_CHALLENGE, {}), 1030), Bytes(1022, 0)); },
     EAPAKA_RESULT_DROPPED, Answer::Dropped, {}},
};

TEST_P(HostileServer, AnswersAndReports) {
    const Row& row = GetParam();
    switch (row.before) {
    case Before::IdentityGiven:
        give_identity();
        break;
    case Before::Authenticated:
        authenticate();
        break;
    case Before::NewConversation:
        authenticate();
        ASSERT_EQ(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_SUCCESS_PERMANENT);
        init();
        give_identity();
        break;
    }
    const uint32_t eapStateBefore = g_session.eapState;
    recorder.events.clear();
    response.clear();

    const Bytes message = row.message(*this);
    ASSERT_EQ(feed(message), row.result);
    EXPECT_EQ(recorder.codes(), row.codes);
    EXPECT_EQ(recorder.codes().size(), recorder.events.size()) << "only status events expected";

    switch (row.answer) {
    case Answer::Dropped:
        EXPECT_TRUE(response.empty());
        EXPECT_EQ(g_session.eapState, eapStateBefore);
        break;
    case Answer::ClientError:
        EXPECT_EQ(bytes_to_hex(response), bytes_to_hex(client_error()));
        break;
    case Answer::NotificationAck:
        EXPECT_EQ(bytes_to_hex(response), bytes_to_hex(server.expected_notification_response(false)));
        break;
    }
    // Whatever the server sent, the peer keeps its records within bounds.
    EXPECT_LE(g_session.identityMessageRecordLength, IDENTITY_RECORD_SIZE);
    EXPECT_LE(g_session.identityLength, IDENTITY_MAX);
}

INSTANTIATE_TEST_SUITE_P(EveryMessage, HostileServer, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
