// AKA-Identity rounds through EAP_layer: AT_IDENTITY of each kind, and the
// record of identity messages that AT_CHECKCODE covers.
#include "aka/aka_fixture.h"

namespace {

struct IdentityCase {
    const char* name;
    bool pseudonymHeld;
    std::string reauthId;  // held as if received in an AT_NEXT_REAUTH_ID of reauthWords
    uint8_t reauthWords, sentWords;
    std::vector<uint8_t> requests;
    std::vector<std::string> identities;
    const char* realm = "@test.org";
    unsigned flags = 0;
};

class IdentityRounds : public AkaTest, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(IdentityRounds, AnswersEachKindAndRecordsTheWirePackets) {
    const IdentityCase& c = GetParam();
    EAP_SetCompatibility(c.flags);
    init(c.realm);
    keys.set_pseudonym("G-pseudonym-of-23-bytes");
    g_session.nextPseudonymPresent = c.pseudonymHeld;
    g_session.reauthIdPresent = !c.reauthId.empty();
    g_session.reauthIdLength = static_cast<uint16_t>(c.reauthId.size());
    g_session.reauthIdLengthWords = c.reauthWords;
    std::memcpy(g_session.reauthId, c.reauthId.data(), std::min<size_t>(c.reauthId.size(), IDENTITY_MAX));
    Bytes wire;
    for (size_t i = 0; i < c.requests.size(); ++i) {
        const Bytes request = server.identity_request(c.requests[i]);
        ASSERT_EQ(feed(request), EAPAKA_RESULT_RESPONSE);
        const std::string& id = c.identities[i];
        const bool reauth = c.requests[i] == AT_ANY_ID_REQ && !c.reauthId.empty();
        Bytes attribute = akasrv::identity_attr(AT_IDENTITY, id);  // RFC 4187 10.5
        if (reauth) attribute.resize(size_t{c.sentWords} * 4, 0);
        attribute[1] = static_cast<uint8_t>(attribute.size() / 4);
        const Bytes expected = cat({{2, server.id, 0, static_cast<uint8_t>(8 + attribute.size()), 23, 5, 0, 0}, attribute});
        EXPECT_EQ(bytes_to_hex(response), bytes_to_hex(expected)) << "round " << i;
        EXPECT_EQ(Bytes(g_session.identity, g_session.identity + g_session.identityLength), text_bytes(id));
        wire = cat({wire, request, response});
    }
    EXPECT_EQ(bytes_to_hex(Bytes(g_session.identityMessageRecord,
                                 g_session.identityMessageRecord + g_session.identityMessageRecordLength)),
              bytes_to_hex(wire));
    EXPECT_EQ(g_session.akaState, AKA_STATE_OPEN);
    EXPECT_TRUE(recorder.codes().empty());
}

const std::string kPermanent = "001010123456789@test.org";  // 24 bytes
const std::string kPseudonym = "G-pseudonym-of-23-bytes@test.org";  // 32 bytes
const std::string kReauth25 = "1reauth-0123456@other.org";
const std::vector<uint8_t> kAllKinds = {AT_ANY_ID_REQ, AT_FULLAUTH_ID_REQ, AT_PERMANENT_ID_REQ};
const std::string kRealm128 = "@" + std::string(127, 'r');

INSTANTIATE_TEST_SUITE_P(
    Identity, IdentityRounds,
    ::testing::Values(
        IdentityCase{"Permanent24", false, "", 0, 0, kAllKinds, {kPermanent, kPermanent, kPermanent}},
        IdentityCase{"Pseudonym32", true, "", 0, 0, {AT_FULLAUTH_ID_REQ, AT_PERMANENT_ID_REQ}, {kPseudonym, kPermanent}},
        IdentityCase{"ReauthFirstLengthKept", true, "reauth7@r", 6, 6, kAllKinds, {"reauth7@r", kPseudonym, kPermanent}},
        IdentityCase{"ReauthLengthTooSmall", false, kReauth25, 2, 8, {AT_ANY_ID_REQ}, {kReauth25}},
        IdentityCase{"ReauthLengthBeyondAnyIdentity", false, "1reauth@x.org", 255, 5, {AT_ANY_ID_REQ}, {"1reauth@x.org"}},
        IdentityCase{"ReauthOver64BytesCut", false, std::string(200, 'q'), 17, 17, {AT_ANY_ID_REQ}, {std::string(64, 'q')}},
        // The longest identities of three rounds still fit the record.
        IdentityCase{"LongRealm", true, "", 0, 0, kAllKinds,
                     {"G-pseudonym-of-23-bytes" + kRealm128, "G-pseudonym-of-23-bytes" + kRealm128, "001010123456789" + kRealm128},
                     kRealm128.c_str(), EAP_COMPAT_LONG_REALM}),
    [](const auto& info) { return std::string(info.param.name); });

// A pair that does not fit the 160-byte record fills it for good, and a
// digest over the whole exchange can no longer match it.
TEST_F(AkaTest, IdentityRecordOverflowStopsRecordingWithoutWritingPastIt) {
    keys.set_pseudonym("G-pseudonym-of-23-bytes");
    g_session.nextPseudonymPresent = 1;
    for (int i = 0; i < 3; ++i) identity_round(AT_FULLAUTH_ID_REQ);  // 3 x 56 bytes > 160
    EXPECT_EQ(g_session.identityMessageRecordLength, IDENTITY_RECORD_SIZE);
    identity_round(AT_PERMANENT_ID_REQ);  // fits the bytes left, still not appended
    EXPECT_EQ(g_session.identityMessageRecordLength, IDENTITY_RECORD_SIZE);
    akasrv::ChallengePlan plan;
    plan.checkcodeWords = 6;
    EXPECT_EQ(feed(server.challenge(plan)), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(response, client_error());
    EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_INVALID_CHECKCODE}));
}

}  // namespace
