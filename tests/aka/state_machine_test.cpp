// Identity rounds, notifications and invalid subtypes through EAP_layer.
#include "aka/aka_fixture.h"

namespace {

using akasrv::AkaServer;

// AT_IDENTITY as RFC 4187 10.5 lays it out, built independently of the
// library: Length in words, actual length, identity, zero fill.
Bytes at_identity(const std::string& id, uint8_t words = 0) {
    if (words == 0) words = static_cast<uint8_t>((4 + id.size() + 3) / 4);
    Bytes a = {AT_IDENTITY, words, 0, static_cast<uint8_t>(id.size())};
    a.insert(a.end(), id.begin(), id.end());
    a.resize(size_t{words} * 4, 0);
    return a;
}

struct IdentityCase {
    const char* name;
    const char* realm;
    bool pseudonymHeld;
    bool reauthHeld;
    std::vector<uint8_t> requests;
    std::vector<std::string> identities;
};

class IdentityRounds : public AkaTest, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(IdentityRounds, AnswersEachKindAndRecordsTheWirePackets) {
    const IdentityCase& c = GetParam();
    init(c.realm);
    keys.set_pseudonym("G-pseudonym-of-23-bytes");
    g_session.nextPseudonymPresent = c.pseudonymHeld;
    const std::string reauthId = "reauth7@r";
    if (c.reauthHeld) {
        g_session.reauthIdPresent = 1;
        g_session.reauthIdLength = static_cast<uint16_t>(reauthId.size());
        g_session.reauthIdLengthWords = 6;  // wider than needed: kept as received
        std::memcpy(g_session.reauthId, reauthId.data(), reauthId.size());
    }
    Bytes wire;
    for (size_t i = 0; i < c.requests.size(); ++i) {
        const Bytes request = server.identity_request(c.requests[i]);
        ASSERT_EQ(feed(request), EAPAKA_RESULT_RESPONSE);
        const std::string& id = c.identities[i];
        const Bytes attribute = at_identity(id, id == reauthId ? 6 : 0);
        Bytes expected = {2, server.id, 0, static_cast<uint8_t>(8 + attribute.size()), 23, 5, 0, 0};
        expected.insert(expected.end(), attribute.begin(), attribute.end());
        EXPECT_EQ(bytes_to_hex(response), bytes_to_hex(expected)) << "round " << i;
        EXPECT_EQ(Bytes(g_session.identity, g_session.identity + g_session.identityLength), text_bytes(id));
        wire.insert(wire.end(), request.begin(), request.end());
        wire.insert(wire.end(), response.begin(), response.end());
    }
    EXPECT_EQ(bytes_to_hex(Bytes(g_session.identityMessageRecord,
                                 g_session.identityMessageRecord + g_session.identityMessageRecordLength)),
              bytes_to_hex(wire));
    EXPECT_EQ(g_session.akaState, AKA_STATE_OPEN);
    EXPECT_TRUE(recorder.codes().empty());
}

const std::string kPermanent = "001010123456789@test.org";  // 24 bytes
const std::string kPseudonym = "G-pseudonym-of-23-bytes@test.org";  // 32 bytes

INSTANTIATE_TEST_SUITE_P(
    Identity, IdentityRounds,
    ::testing::Values(
        IdentityCase{"Permanent24", "@test.org", false, false, {AT_ANY_ID_REQ, AT_FULLAUTH_ID_REQ, AT_PERMANENT_ID_REQ},
                     {kPermanent, kPermanent, kPermanent}},
        IdentityCase{"Permanent25", "@test.orgx", false, false, {AT_PERMANENT_ID_REQ}, {"001010123456789@test.orgx"}},
        IdentityCase{"Pseudonym32", "@test.org", true, false, {AT_FULLAUTH_ID_REQ, AT_PERMANENT_ID_REQ},
                     {kPseudonym, kPermanent}},
        IdentityCase{"ReauthFirst", "@test.org", true, true, {AT_ANY_ID_REQ, AT_FULLAUTH_ID_REQ, AT_PERMANENT_ID_REQ},
                     {"reauth7@r", kPseudonym, kPermanent}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AkaTest, IdentityRecordOverflowStopsRecordingWithoutWritingPastIt) {
    keys.set_pseudonym("G-pseudonym-of-23-bytes");
    g_session.nextPseudonymPresent = 1;
    for (int i = 0; i < 3; ++i) identity_round(AT_FULLAUTH_ID_REQ);  // 3 x 56 bytes > 160
    EXPECT_EQ(g_session.identityMessageRecordLength, IDENTITY_RECORD_SIZE);
    identity_round(AT_PERMANENT_ID_REQ);  // fits the bytes left, still not appended
    EXPECT_EQ(g_session.identityMessageRecordLength, IDENTITY_RECORD_SIZE);
    EXPECT_EQ(server.identityRecord.size(), 4 * 56u - 8);
    // A digest over the whole exchange can no longer match the record.
    akasrv::ChallengeSpec spec;
    spec.checkcodeWords = 6;
    EXPECT_EQ(feed(server.challenge(spec)), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(response, client_error());
    EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_INVALID_CHECKCODE}));
}

TEST_F(AkaTest, IdentityRequestWithoutIdentityAttributeIsInvalidSubtype) {
    TraceFile trace;
    Bytes request = akasrv::aka_request(5, AKA_SUBTYPE_IDENTITY, akasrv::attr16(AT_RAND, Bytes(16, 0)));
    EXPECT_EQ(feed(request), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(response, client_error(5));
    EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_INVALID_SUBTYPE}));
    EXPECT_NE(trace.contents().find("\t>>Not able to parse the EAP-AKA Subtype \n\tC_AKA_FAIL_INVALID_SUBTYPE\n"),
              std::string::npos);
    EXPECT_EQ(trace.contents().find("\tmakeRSP_ClientError"), std::string::npos);
    EXPECT_EQ(g_session.eapState, EAP_STATE_FAILED);
}

// A second challenge after the exchange ended is a row of the hostile-server table.
TEST_F(AkaTest, InvalidSubtypeBeforeAuthentication) {
    TraceFile trace;
    for (int subtype : std::initializer_list<int>{AKA_SUBTYPE_AUTHENTICATION_REJECT, AKA_SUBTYPE_CLIENT_ERROR, 99}) {
        init();
        recorder.events.clear();
        EXPECT_EQ(feed(akasrv::aka_request(7, static_cast<uint8_t>(subtype), {})), EAPAKA_RESULT_RESPONSE);
        EXPECT_EQ(response, client_error(7));
        EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_INVALID_SUBTYPE}));
    }
    EXPECT_NE(trace.contents().find("\tC_AKA_FAIL_INVALID_SUBTYPE\n\tmakeRSP_ClientError\n"), std::string::npos);
}

struct NotificationCase {
    const char* name;
    bool authenticated;
    uint16_t code;
    bool withMac;
    bool corruptMac;
    enum { PLAIN, WITH_MAC, CLIENT_ERROR } answer;
    Codes events;
    int outcome;  // what the matching EAP-Success/Failure then yields
};

class Notifications : public AkaTest, public ::testing::WithParamInterface<NotificationCase> {};

TEST_P(Notifications, PhaseMacAndOutcome) {
    const NotificationCase& c = GetParam();
    if (c.authenticated) {
        authenticate();
    } else {
        server.kAut = hex_to_bytes("00112233445566778899aabbccddeeff");
        std::memcpy(g_session.kAut, server.kAut.data(), 16);
    }
    recorder.events.clear();
    Bytes request = server.notification(c.code, c.withMac);
    if (c.corruptMac) request[request.size() - 1] ^= 1;
    EXPECT_EQ(feed(request), EAPAKA_RESULT_RESPONSE);
    const Bytes expected = c.answer == NotificationCase::CLIENT_ERROR ? client_error()
                                                                     : server.expected_notification_response(c.answer == NotificationCase::WITH_MAC);
    EXPECT_EQ(bytes_to_hex(response), bytes_to_hex(expected));
    EXPECT_EQ(recorder.codes(), c.events);
    const bool success = c.outcome != EAPAKA_RESULT_FAILURE;
    EXPECT_EQ(feed(success ? AkaServer::eap_failure(server.id) : AkaServer::eap_success(server.id)), EAPAKA_RESULT_DROPPED);
    EXPECT_EQ(feed(success ? AkaServer::eap_success(server.id) : AkaServer::eap_failure(server.id)), c.outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Notification, Notifications,
    ::testing::Values(
        NotificationCase{"PhaseBitBeforeAuth", false, 20031, false, false, NotificationCase::PLAIN, {20031}, EAPAKA_RESULT_FAILURE},
        NotificationCase{"MacBeforeAuth", false, 1026, true, false, NotificationCase::WITH_MAC, {1026}, EAPAKA_RESULT_FAILURE},
        NotificationCase{"BadMacBeforeAuth", false, 1026, true, true, NotificationCase::CLIENT_ERROR,
                         {EAPAKA_FAIL_INVALID_MAC}, EAPAKA_RESULT_FAILURE},
        NotificationCase{"SuccessAfterAuth", true, 32768, true, false, NotificationCase::WITH_MAC, {32768},
                         EAPAKA_RESULT_SUCCESS_PERMANENT},
        NotificationCase{"BadMacSuccess", true, 32768, true, true, NotificationCase::CLIENT_ERROR,
                         {EAPAKA_FAIL_INVALID_MAC}, EAPAKA_RESULT_SUCCESS_PERMANENT},
        NotificationCase{"SBitNotExactlySuccess", true, 32769, true, false, NotificationCase::WITH_MAC, {32769},
                         EAPAKA_RESULT_FAILURE},
        NotificationCase{"PhaseBitAfterAuthNeedsMac", true, 16384, false, false, NotificationCase::CLIENT_ERROR,
                         {EAPAKA_FAIL_INVALID_MAC}, EAPAKA_RESULT_FAILURE}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AkaTest, NotificationCodesAreLoggedByName) {
    const std::pair<uint16_t, const char*> cases[] = {{20034, "\tAKA_FAIL_INVALID_USER"}, {12345, "\tNo match"}};
    for (const auto& [code, name] : cases) {
        TraceFile trace;
        init();
        feed(server.notification(code, false));
        const std::string entry = std::string("\n================\n\nWrite AKA-Noticode:\n") + name + "\n\n================\n";
        EXPECT_NE(trace.contents().find(entry), std::string::npos) << code;
    }
}

}  // namespace
