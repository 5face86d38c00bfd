// The EAP peer layer: state table, retransmission, Identity, Notification, Nak.
#include "aka/aka_fixture.h"
#include "eap/eap_layer.h"

namespace {

using akasrv::AkaServer;

const std::string kPseudonym = "G7aBcDeFgHiJkLmNoPqRsTu";  // 23 bytes, starts with 0x47
const std::string kPermanent = "001010123456789@test.org";

Bytes identity_request(uint8_t id) { return {1, id, 0, 5, 1}; }
Bytes notification_request(uint8_t id, const std::string& text) {
    const size_t length = 5 + text.size();
    return cat({{1, id, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 2}, text_bytes(text)});
}

// What each packet (Identifier 0x21) does in each EAP state; the method's
// other results are rows of the hostile-server table.
struct Cell { int result; uint32_t after; };
struct StateRow { Bytes packet; uint8_t responseType; Cell cells[5]; };
const Cell D1{15, 1}, D2{15, 2}, D3{15, 3}, D4{15, 4}, D5{15, 5};  // dropped, state kept
const StateRow kStateTable[] = {
    //                                  state 1  state 2  state 3  state 4  state 5
    {{3, 0x21, 0, 4}, 0,               {D1,      D2,      {13, 1}, {13, 1}, D5}},      // Success
    {{4, 0x21, 0, 4}, 0,               {D1,      D2,      {4, 1},  D4,      {4, 1}}},  // Failure
    {{1, 0x21, 0, 5, 1}, 1,            {{2, 2},  {2, 2},  {2, 2},  D4,      D5}},      // Identity
    {{1, 0x21, 0, 7, 2, 'h', 'i'}, 2,  {{2, 1},  {2, 2},  {2, 3},  D4,      D5}},      // Notification
    {{1, 0x21, 0, 6, 4, 0x10}, 3,      {{2, 2},  {2, 2},  {2, 2},  D4,      D5}},      // MD5-Challenge
    {{2, 0x21, 0, 5, 1}, 0,            {D1,      D2,      D3,      D4,      D5}},      // a Response
    {{7, 0x21, 0, 4}, 0,               {D1,      D2,      D3,      D4,      D5}},      // an unknown Code
    {{1, 0x21, 0, 8, 23, 2, 0, 0}, 23, {{2, 5},  {2, 5},  {2, 5},  D4,      D5}},      // AKA-Authentication-Reject
    {{1, 0x21, 0, 12, 23, 5, 0, 0, AT_PERMANENT_ID_REQ, 1, 0, 0}, 23,
                                       {{2, 2},  {2, 2},  {2, 3},  D4,      D5}},      // AKA-Identity
};

TEST_F(AkaTest, EapStateTable) {
    for (const StateRow& row : kStateTable) {
        for (uint32_t state = 1; state <= 5; ++state) {
            SCOPED_TRACE(testing::Message() << bytes_to_hex(row.packet) << " in state " << state);
            restart();
            // No retransmission; a dirty identity record shows an ending.
            g_session.lastResponse[1] = 0x55;
            g_session.eapState = state;
            g_session.identityMessageRecordLength = 40;
            const Cell& cell = row.cells[state - 1];
            EXPECT_EQ(feed(row.packet), cell.result);
            EXPECT_EQ(g_session.eapState, cell.after);
            const bool answered = cell.result == 2, ended = !answered && cell.result != 15;
            EXPECT_EQ(response.empty(), !answered);
            EXPECT_TRUE(!answered || (response.size() >= 5 && response[1] == 0x21 && response[4] == row.responseType));
            EXPECT_EQ(g_session.lastResponse[1], answered ? 0x21 : ended ? 0 : 0x55) << "held response";
            EXPECT_TRUE(answered || g_session.identityMessageRecordLength == (ended ? 0 : 40));
        }
    }
}

// RFC 3748 4.1: a Request repeating the held response's Identifier gets the
// same bytes again in any state with result 2, nothing run again, the timer
// re-armed. An ended conversation or an Identifier of 0 leave nothing held.
TEST_F(AkaTest, Retransmission) {
    give_identity();
    const Bytes challenge = server.challenge({});
    ASSERT_EQ(feed(challenge), EAPAKA_RESULT_AUTH_RESPONSE);
    const Bytes first = response;
    keys.requests.clear();
    for (uint32_t state = 1; state <= 5; ++state) {
        g_session.eapState = state;
        g_session.responseTimerArmed = 0;
        exchange(challenge, EAPAKA_RESULT_RESPONSE, first);
        EXPECT_EQ(g_session.eapState, state);
        EXPECT_EQ(g_session.responseTimerArmed, 1);
    }
    EXPECT_TRUE(keys.requests.empty());
    g_session.eapState = EAP_STATE_AUTHENTICATED;
    EXPECT_EQ(feed(AkaServer::eap_success(challenge[1])), EAPAKA_RESULT_SUCCESS_PERMANENT);
    EXPECT_EQ(feed(challenge), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(recorder.codes(), Codes{EAPAKA_FAIL_INVALID_SQN}) << "a replayed challenge";

    init();
    keys.requests.clear();
    ASSERT_EQ(feed(identity_request(0)), 2);
    ASSERT_EQ(feed(identity_request(0)), 2);
    EXPECT_EQ(keys.requests, (Requests{L, L, L, L})) << "composed twice";
}

// EAP-Response/Identity: a held re-authentication identity as received, else
// the pseudonym starting with "G", else the user part (bounded), with the realm.
TEST_F(AkaTest, IdentityResponse) {
    struct Case { std::string pseudonym, reauthId; int userPart; std::string identity; Requests requests; uint16_t kind; };
    const Case cases[] = {
        {kPseudonym, "", 15, kPseudonym + "@test.org", {L}, 3},
        {"", "", 15, kPermanent, {L, L}, 13},
        {"g" + kPseudonym.substr(1), "", 15, kPermanent, {L, L}, 13},
        {kPseudonym, "reauth-17@other.example", 15, "reauth-17@other.example", {}, 0},  // kind left alone
        {"", std::string(65, 'r'), 15, kPermanent, {L, L}, 13},  // not sent: over the 64-byte field
        {"", "", -1, "@test.org", {L, L}, 13},
        {"", "", 17, "0010101234567890@test.org", {L, L}, 13},
        {kPseudonym, "", 15, std::string(15, '\0') + "@test.org", {}, 13},  // the one without a key store
    };
    keys.set_permanent_id("0010101234567890");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.identity);
        init("@test.org", c.userPart);
        keys.set_pseudonym(c.pseudonym);
        keys.requests.clear();
        if (c.requests.empty() && c.reauthId.empty()) RegisterAuthKeyCallBack(nullptr, nullptr);
        g_session.reauthIdPresent = !c.reauthId.empty();
        g_session.reauthIdLength = static_cast<uint16_t>(c.reauthId.size());
        std::memcpy(g_session.reauthId, c.reauthId.data(), std::min<size_t>(c.reauthId.size(), IDENTITY_MAX));
        g_session.identityKind = 0;
        g_session.akaState = AKA_STATE_DONE;
        g_session.identityMessageRecordLength = 12;
        const Bytes identity = text_bytes(c.identity);
        exchange(identity_request(7), 2, cat({{2, 7, 0, static_cast<uint8_t>(5 + identity.size()), 1}, identity}));
        EXPECT_EQ(Bytes(g_session.identity, g_session.identity + g_session.identityLength), identity);
        EXPECT_EQ(keys.requests, c.requests);
        EXPECT_EQ(g_session.identityKind, c.kind);
        EXPECT_EQ(g_session.akaState + g_session.identityMessageRecordLength, 1u) << "the exchange begins, no record";
        g_session.lastResponse[1] = 0;
    }
}

// Notification: event 1 with the text, the bare acknowledgement, no change of
// state. Other Types: the bare Nak (Type 50 only without EAP_COMPAT_AKA_PRIME).
TEST_F(AkaTest, NotificationAndNak) {
    for (const std::string& text : {std::string(), std::string("Ends at 23:00 %s%n"), std::string(1024, 'x')}) {
        exchange(notification_request(0x70, text), 2, {2, 0x70, 0, 5, 2});
        ASSERT_EQ(recorder.events.size(), 1u);
        EXPECT_EQ(recorder.events[0].type, 1u);
        EXPECT_EQ(recorder.events[0].value, text.size());
        EXPECT_EQ(recorder.events[0].record, text_bytes(text));
        EXPECT_EQ(g_session.eapState, EAP_STATE_IDLE);
        g_session.lastResponse[1] = 0;
    }
    for (uint8_t type : {3, 4, 5, 6, 18, 22, 24, 50, 254, 255}) {
        g_session.eapState = EAP_STATE_IDLE;
        exchange({1, 0x61, 0, 5, type}, 2, {2, 0x61, 0, 5, 3});
        EXPECT_EQ(g_session.eapState, EAP_STATE_CONVERSING);
        g_session.lastResponse[1] = 0;
    }
}

// Packets the layer cannot read safely are dropped, not even retransmitted. A
// packet taken has its Length turned into host order in the host's buffer.
TEST_F(AkaTest, MalformedPacketsAreDropped) {
    Bytes hugeLength = identity_request(1);
    hugeLength[2] = hugeLength[3] = 0xFF;
    const Bytes cases[] = {
        {1, 1, 0, 0, 1},   {3, 1, 0, 3},          {1, 1, 0, 4},  // Length 0, Length 3, Request without Type
        {1, 1, 0, 5, 23},  {1, 1, 0, 7, 23, 5, 0}, {1, 1, 0, 7, 50, 5, 0},  // methods without Subtype or reserved
        notification_request(1, std::string(1025, 'x')), hugeLength,
    };
    EAP_SetCompatibility(EAP_COMPAT_AKA_PRIME);
    g_session.lastResponse[1] = 1;
    for (const Bytes& packet : cases) {
        for (uint32_t state : {1u, 3u}) {
            g_session.eapState = state;
            exchange(packet, 15, {});
            EXPECT_EQ(g_session.eapState, state);
        }
    }
    uint8_t out[256];
    unsigned short outLen = 0;
    Bytes in = identity_request(2);
    EXPECT_EQ(EAP_layer(nullptr, out, &outLen), 15);
    EXPECT_EQ(EAP_layer(in.data(), nullptr, &outLen), 15);
    EXPECT_EQ(EAP_layer(in.data(), out, nullptr), 15);
    EXPECT_TRUE(keys.requests.empty());
    EXPECT_EQ(EAP_layer(in.data(), out, &outLen), 2);
    EXPECT_EQ(eap_length(in.data()), 5);
    EXPECT_EQ(Bytes(out, out + 4), (Bytes{2, 2, 0, static_cast<uint8_t>(outLen)}));
}

}  // namespace
