// The attribute parser: good and bad attribute lists through EAP_layer, the
// values it keeps, and random or truncated requests.
#include <random>

#include "aka/aka_fixture.h"

namespace {

using akasrv::attr;
using akasrv::attr16;
const Bytes kRand = attr16(AT_RAND, Bytes(16, 0x11));
const Bytes kAutn = attr16(AT_AUTN, Bytes(16, 0x22));
const Bytes kMac = attr16(AT_MAC, Bytes(16, 0x33));
const Codes kParsed = {EAPAKA_FAIL_INVALID_AUTN};  // parse passed, the made-up AUTN did not
const Codes kMalformed = {EAPAKA_FAIL_MALFORMED_ATTRIBUTE, EAPAKA_FAIL_MANDATORY_ATTRIBUTE_MISSING};
const Codes kDuplicate = {EAPAKA_FAIL_DUPLICATE_ATTRIBUTE, EAPAKA_FAIL_MANDATORY_ATTRIBUTE_MISSING};

struct ParseCase {
    const char* name;
    Bytes attributes;
    Codes events;
};

class ChallengeAttributes : public AkaTest, public ::testing::WithParamInterface<ParseCase> {};

TEST_P(ChallengeAttributes, ParseOutcomeAndReports) {
    const ParseCase& c = GetParam();
    EXPECT_EQ(feed(akasrv::aka_request(4, AKA_SUBTYPE_CHALLENGE, c.attributes)), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(recorder.codes(), c.events);
    const Bytes expected = c.events == kParsed ? Bytes{2, 4, 0, 8, 23, 2, 0, 0}  // Authentication-Reject
                                               : client_error(4);
    EXPECT_EQ(response, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Parser, ChallengeAttributes,
    ::testing::Values(
        ParseCase{"RandAutn", cat({kRand, kAutn}), kParsed},
        ParseCase{"AllKnown", cat({kRand, kAutn, attr(AT_RESULT_IND, 1), attr(AT_CHECKCODE, 6), attr16(AT_IV, Bytes(16, 0)),
                                    attr(AT_ENCR_DATA, 25), kMac, attr(AT_NOTIFICATION, 1, {0x80, 0})}),
                  kParsed},
        ParseCase{"NotificationLength0TakesOneWord", cat({kRand, kAutn, {AT_NOTIFICATION, 0, 1, 2}}), kParsed},
        ParseCase{"CheckcodeEmpty", cat({kRand, kAutn, attr(AT_CHECKCODE, 1)}), kParsed},
        ParseCase{"DuplicateRand", cat({kRand, kRand, kAutn}), kDuplicate},
        ParseCase{"Unknown133", cat({kRand, kAutn, attr(AT_NEXT_REAUTH_ID, 1)}), kMalformed},
        ParseCase{"Unknown136", cat({kRand, kAutn, attr(136, 1)}), kMalformed},
        ParseCase{"AtRes", cat({kRand, kAutn, attr(AT_RES, 3)}), kMalformed},
        ParseCase{"AnyIdReq", cat({kRand, kAutn, attr(AT_ANY_ID_REQ, 1)}), kMalformed},
        ParseCase{"UnknownBetweenTwoRand", cat({kRand, attr(99, 1), kRand, kAutn}), kMalformed},
        ParseCase{"RandLength4", cat({attr(AT_RAND, 4), kAutn}), kMalformed},
        ParseCase{"ResultIndLength2", cat({kRand, kAutn, attr(AT_RESULT_IND, 2)}), kMalformed},
        ParseCase{"MacPastMessage", cat({kRand, kAutn, Bytes(kMac.begin(), kMac.begin() + 12)}), kMalformed},
        ParseCase{"TrailingHalfWord", cat({kRand, kAutn, {AT_RESULT_IND, 1}}), kMalformed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AkaTest, ParserKeepsValuesAsReceived) {
    const Bytes cipher = cat({Bytes(8, 0xC1), Bytes(8, 0xC2)});
    const Bytes attrs = cat({attr(AT_NOTIFICATION, 1, {0x40, 0x00}), attr(AT_ENCR_DATA, 5, cat({{0, 0}, cipher})),
                              attr(AT_NOTIFICATION, 1, {0x80, 0x00}), attr(AT_CHECKCODE, 1)});
    Bytes packet = akasrv::aka_request(1, AKA_SUBTYPE_NOTIFICATION, attrs);
    ASSERT_TRUE(aka_parse_attributes(packet.data() + 8, static_cast<uint16_t>(packet.size())));
    EXPECT_EQ(g_session.atNotificationCount, 2);
    EXPECT_EQ(g_session.atNotification, 0x8000);
    const uint8_t* wire = reinterpret_cast<const uint8_t*>(&g_session.atNotificationWire);
    EXPECT_EQ(Bytes(wire, wire + 2), (Bytes{0x80, 0x00}));
    EXPECT_EQ(g_session.atEncrDataLength, 5);
    EXPECT_EQ(Bytes(g_session.atEncrData, g_session.atEncrData + 16), cipher);
    EXPECT_EQ(g_session.atCheckcodeCount, 1);
    EXPECT_EQ(g_session.atCheckcodeLength, 1);

    // A request without attributes resets the counts and keeps the values.
    ASSERT_TRUE(aka_parse_attributes(packet.data() + 8, 8));
    EXPECT_EQ(g_session.atNotificationCount + g_session.atEncrDataCount + g_session.atCheckcodeCount, 0);
    EXPECT_EQ(g_session.atEncrDataLength, 5);

    EXPECT_FALSE(aka_parse_attributes(packet.data() + 8, 7));
    EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_MALFORMED_ATTRIBUTE}));
}

TEST_F(AkaTest, PaddingMustBeZero) {
    const uint8_t zeros[10] = {};
    EXPECT_TRUE(aka_check_padding(zeros, 1));
    EXPECT_TRUE(aka_check_padding(zeros, 3));
    uint8_t late[10] = {};
    late[9] = 1;
    EXPECT_FALSE(aka_check_padding(late, 3));
    EXPECT_TRUE(aka_check_padding(late, 2));  // the non-zero byte lies beyond 6 pad bytes
    EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_INVALID_PADDING}));
}

// Random and truncated EAP-AKA requests in every method state: never a crash
// (the sanitizer build watches), always a response of at most 256 bytes or
// a dropped packet.
TEST_F(AkaTest, RandomAndTruncatedRequests) {
    authenticate();  // keys in place so the MAC and decryption paths run
    std::mt19937 rng(4187);
    auto byte = [&rng] { return static_cast<uint8_t>(rng()); };
    const uint8_t types[] = {AT_RAND, AT_AUTN, AT_MAC, AT_NOTIFICATION, AT_IV, AT_ENCR_DATA, AT_CHECKCODE,
                             AT_RESULT_IND, AT_PERMANENT_ID_REQ, AT_ANY_ID_REQ, AT_FULLAUTH_ID_REQ, 0, 255};
    const uint8_t subtypes[] = {AKA_SUBTYPE_CHALLENGE, AKA_SUBTYPE_IDENTITY, AKA_SUBTYPE_NOTIFICATION,
                                AKA_SUBTYPE_REAUTHENTICATION, 0, 200};
    for (int i = 0; i < 4000; ++i) {
        if (i % 3 == 0) init();
        Bytes attrs;
        const int count = static_cast<int>(rng() % 8);
        for (int a = 0; a < count; ++a) {
            const uint8_t words = static_cast<uint8_t>(rng() % 4 == 0 ? rng() % 40 : 1 + rng() % 6);
            Bytes at = {types[rng() % sizeof types], words};
            for (int b = 2; b < 4 * std::max<int>(words, 1); ++b) at.push_back(byte());
            attrs.insert(attrs.end(), at.begin(), at.end());
        }
        Bytes packet = akasrv::aka_request(byte(), subtypes[rng() % sizeof subtypes], attrs);
        packet.resize(std::min<size_t>(packet.size(), 1029));
        const size_t claimed = rng() % 5 == 0 ? rng() % (packet.size() + 1) : packet.size();
        packet[2] = static_cast<uint8_t>(claimed >> 8);
        packet[3] = static_cast<uint8_t>(claimed);
        if (rng() % 7 == 0 && packet.size() > 8) packet.resize(claimed);  // truncated buffer
        packet.resize(std::max<size_t>(packet.size(), claimed));
        const int result = feed(packet);
        if (result == EAPAKA_RESULT_DROPPED) continue;
        ASSERT_TRUE(result == EAPAKA_RESULT_RESPONSE || result == EAPAKA_RESULT_AUTH_RESPONSE) << result;
        ASSERT_GE(response.size(), 8u);
        ASSERT_LE(response.size(), 256u);
        ASSERT_EQ(size_t{response[2]} << 8 | response[3], response.size());
    }
}

// Inputs the EAP layer never passes on, answered all the same.
TEST_F(AkaTest, OutOfRangeLengthsGetTheFailureReports) {
    uint8_t packet[300] = {1, 9, 0, 0, 23, AKA_SUBTYPE_CHALLENGE};
    for (uint16_t length : {uint16_t{15}, uint16_t{257}}) {
        std::memcpy(packet + 2, &length, 2);
        EXPECT_FALSE(verify_at_mac(packet, length)) << length;
    }
    EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_INVALID_MAC, EAPAKA_FAIL_INVALID_MAC}));

    std::memset(g_session.responseMac, 0x5A, 16);
    compute_response_mac(packet, 252);
    EXPECT_EQ(Bytes(g_session.responseMac, g_session.responseMac + 16), Bytes(16, 0));

    recorder.events.clear();
    const uint16_t shortLength = 7;
    std::memcpy(packet + 2, &shortLength, 2);
    uint8_t payload[251];
    uint16_t words = 0;
    EXPECT_EQ(aka_process_request(packet, payload, &words), AKA_RESULT_FAILED);
    EXPECT_EQ(Bytes(payload, payload + 7), (Bytes{14, 0, 0, 22, 1, 0, 0}));
    EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_MALFORMED_ATTRIBUTE}));
}

}  // namespace
