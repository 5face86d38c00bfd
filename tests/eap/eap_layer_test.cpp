// The EAP peer layer: state table, retransmission, Identity, Notification,
// Nak, outcome results, method-result mapping and bounds on the Length.
#include <cstring>
#include <random>

#include "api/session.h"
#include "eap/eap_layer.h"
#include "support/test_host.h"

namespace {

constexpr uint8_t kPermanentId[] = "001010123456789";  // 15 digits
const std::string kPseudonym = "G7aBcDeFgHiJkLmNoPqRsTu";  // 23 bytes, starts with 0x47

Bytes identity_request(uint8_t id) { return {1, id, 0, 5, 1}; }
Bytes success(uint8_t id) { return {3, id, 0, 4}; }
Bytes failure(uint8_t id) { return {4, id, 0, 4}; }

Bytes notification_request(uint8_t id, const std::string& text) {
    const size_t length = 5 + text.size();
    Bytes p = {1, id, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 2};
    p.insert(p.end(), text.begin(), text.end());
    return p;
}

// An EAP-AKA request whose Subtype (2, Authentication-Reject) only a peer
// may send: the method refuses it and gives up.
Bytes aka_refused_request(uint8_t id) { return {1, id, 0, 8, 23, 2, 0, 0}; }

class EapLayerTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        keys.set_permanent_id(reinterpret_cast<const char*>(kPermanentId));
        init("@test.org", 15);
    }
    std::vector<unsigned long>& requests() { return keys.requests; }
};

// ---------------------------------------------------------------------------
// The state table: every Code/Type in every EAP state.

enum PacketKind { kSuccess, kFailure, kIdentity, kNotification, kAka, kOtherType, kResponse, kUnknownCode };

Bytes packet_of(PacketKind kind, uint8_t id) {
    switch (kind) {
    case kSuccess: return success(id);
    case kFailure: return failure(id);
    case kIdentity: return identity_request(id);
    case kNotification: return notification_request(id, "hi");
    case kAka: return aka_refused_request(id);
    case kOtherType: return {1, id, 0, 6, 4, 0x10};  // MD5-Challenge
    case kResponse: return {2, id, 0, 5, 1};
    case kUnknownCode: return {7, id, 0, 4};
    }
    return {};
}

struct StateCell {
    uint32_t state;
    PacketKind kind;
    int result;            // EAP_layer result
    uint32_t stateAfter;   // eapState afterwards
    uint8_t responseType;  // Type of the response, 0 when none
};

class EapStateTableTest : public EapLayerTest, public ::testing::WithParamInterface<StateCell> {};

TEST_P(EapStateTableTest, ActsByStateAndPacket) {
    const StateCell& c = GetParam();
    // A response with another Identifier is held, so none of these packets
    // is a retransmission; the method state and identity record are dirty
    // so that ending the conversation shows.
    g_session.lastResponse[1] = 0x55;
    g_session.eapState = c.state;
    g_session.akaState = AKA_STATE_DONE;
    g_session.identityMessageRecordLength = 40;

    const int result = feed(packet_of(c.kind, 0x21));
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(g_session.eapState, c.stateAfter);
    if (c.responseType == 0) {
        EXPECT_TRUE(response.empty()) << "no response may be written";
    } else {
        ASSERT_GE(response.size(), 5u);
        EXPECT_EQ(response[0], 2);
        EXPECT_EQ(response[1], 0x21);
        EXPECT_EQ(response[4], c.responseType);
        EXPECT_EQ(g_session.lastResponse[1], 0x21) << "the response is held";
    }
    const bool ended = c.result == 3 || c.result == 13 || c.result == 4;
    if (ended) {
        EXPECT_EQ(g_session.akaState, AKA_STATE_OPEN);
        EXPECT_EQ(g_session.identityMessageRecordLength, 0);
        EXPECT_EQ(g_session.lastResponse[1], 0) << "held response dropped";
    }
    if (c.result == 15) {
        EXPECT_EQ(g_session.akaState, AKA_STATE_DONE);
        EXPECT_EQ(g_session.identityMessageRecordLength, 40);
        EXPECT_EQ(g_session.lastResponse[1], 0x55);
    }
}

// Success reports 13: the identity last composed (none yet) is permanent.
const StateCell kStateCells[] = {
    {1, kSuccess, 15, 1, 0},      {1, kFailure, 15, 1, 0},       {1, kIdentity, 2, 2, 1},
    {1, kNotification, 2, 1, 2},  {1, kAka, 2, 5, 23},           {1, kOtherType, 2, 2, 3},
    {1, kResponse, 15, 1, 0},     {1, kUnknownCode, 15, 1, 0},

    {2, kSuccess, 15, 2, 0},      {2, kFailure, 15, 2, 0},       {2, kIdentity, 2, 2, 1},
    {2, kNotification, 2, 2, 2},  {2, kAka, 2, 5, 23},           {2, kOtherType, 2, 2, 3},
    {2, kResponse, 15, 2, 0},     {2, kUnknownCode, 15, 2, 0},

    {3, kSuccess, 13, 1, 0},      {3, kFailure, 4, 1, 0},        {3, kIdentity, 2, 2, 1},
    {3, kNotification, 2, 3, 2},  {3, kAka, 2, 5, 23},           {3, kOtherType, 2, 2, 3},
    {3, kResponse, 15, 3, 0},     {3, kUnknownCode, 15, 3, 0},

    {4, kSuccess, 13, 1, 0},      {4, kFailure, 15, 4, 0},       {4, kIdentity, 15, 4, 0},
    {4, kNotification, 15, 4, 0}, {4, kAka, 15, 4, 0},           {4, kOtherType, 15, 4, 0},
    {4, kResponse, 15, 4, 0},     {4, kUnknownCode, 15, 4, 0},

    {5, kSuccess, 15, 5, 0},      {5, kFailure, 4, 1, 0},        {5, kIdentity, 15, 5, 0},
    {5, kNotification, 15, 5, 0}, {5, kAka, 15, 5, 0},           {5, kOtherType, 15, 5, 0},
    {5, kResponse, 15, 5, 0},     {5, kUnknownCode, 15, 5, 0},
};
std::string cell_name(const ::testing::TestParamInfo<StateCell>& info) {
    static const char* const kinds[] = {"Success", "Failure",  "Identity", "Notification",
                                        "Aka",     "OtherType", "Response", "UnknownCode"};
    return "State" + std::to_string(info.param.state) + "_" + kinds[info.param.kind];
}
INSTANTIATE_TEST_SUITE_P(EveryCell, EapStateTableTest, ::testing::ValuesIn(kStateCells), cell_name);

// ---------------------------------------------------------------------------
// Retransmission.

// In every state a Request repeating the held response's Identifier gets the
// same bytes again, re-arms the timer and runs nothing else.
TEST_F(EapLayerTest, RepeatedRequestIsAnsweredFromHeldResponseInEveryState) {
    for (uint32_t state = 1; state <= 5; ++state) {
        SCOPED_TRACE(state);
        g_session.eapState = EAP_STATE_IDLE;
        ASSERT_EQ(feed(identity_request(0x42)), 2);
        const Bytes first = response;
        const size_t requestsBefore = requests().size();
        const size_t eventsBefore = recorder.events.size();
        g_session.eapState = state;

        // Any Type: only the Code and Identifier matter.
        EXPECT_EQ(feed(aka_refused_request(0x42)), 2);
        EXPECT_EQ(response, first);
        EXPECT_EQ(g_session.eapState, state);
        EXPECT_EQ(requests().size(), requestsBefore) << "nothing recomposed";
        EXPECT_EQ(recorder.events.size(), eventsBefore) << "no event";
        EXPECT_EQ(g_session.responseTimerArmed, 1);
    }
}

// Identifier 0 in the held response means "none held".
TEST_F(EapLayerTest, RequestWithIdentifierZeroIsNeverResent) {
    ASSERT_EQ(feed(identity_request(0)), 2);
    EXPECT_EQ(requests().size(), 2u);  // pseudonym, then permanent identity
    ASSERT_EQ(feed(identity_request(0)), 2);
    EXPECT_EQ(requests().size(), 4u) << "processed afresh";
}

TEST_F(EapLayerTest, NoRetransmissionAfterTheConversationEnded) {
    struct Case {
        const char* name;
        Bytes outcome;
        uint32_t awaiting;
    };
    const Case cases[] = {{"success", success(0x31), EAP_STATE_AUTHENTICATED},
                          {"failure", failure(0x31), EAP_STATE_FAILED}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(feed(identity_request(0x30)), 2);
        g_session.eapState = c.awaiting;
        feed(c.outcome);
        ASSERT_EQ(g_session.eapState, EAP_STATE_IDLE);
        const size_t before = requests().size();
        EXPECT_EQ(feed(identity_request(0x30)), 2);
        EXPECT_EQ(requests().size(), before + 2) << "the identity was composed again";
    }
}

#if !defined(_WIN32)  // the fake clock drives timers on POSIX only
TEST_F(EapLayerTest, NoRetransmissionAfterTheTimerFired) {
    ASSERT_EQ(feed(identity_request(0x30)), 2);
    fake_clock_advance(10000);
    EAP_DispatchTimers();
    ASSERT_EQ(g_session.eapState, EAP_STATE_IDLE);
    const size_t before = requests().size();
    EXPECT_EQ(feed(identity_request(0x30)), 2);
    EXPECT_EQ(requests().size(), before + 2);
}
#endif

// ---------------------------------------------------------------------------
// Identity, Notification, Nak.

TEST_F(EapLayerTest, IdentityResponseCarriesPseudonymWhenOneIsHeld) {
    keys.set_pseudonym(kPseudonym);
    ASSERT_EQ(feed(identity_request(7)), 2);
    const Bytes identity = text_bytes(kPseudonym + "@test.org");
    EXPECT_EQ(response, cat({{2, 7, 0, 37, 1}, identity}));
    EXPECT_EQ(requests(), (std::vector<unsigned long>{1}));
    EXPECT_EQ(g_session.identityKind, IDENTITY_KIND_PSEUDONYM);
    EXPECT_EQ(Bytes(g_session.identity, g_session.identity + g_session.identityLength), identity);
}

TEST_F(EapLayerTest, IdentityResponseFallsBackToPermanentIdentity) {
    for (const char* pseudonym : {"", "H7aBcDeFgHiJkLmNoPqRsTu", "g7aBcDeFgHiJkLmNoPqRsTu"}) {
        SCOPED_TRACE(pseudonym);
        requests().clear();
        g_session.identityKind = IDENTITY_KIND_PSEUDONYM;
        keys.set_pseudonym(pseudonym);
        ASSERT_EQ(feed(identity_request(8)), 2);
        const Bytes identity = text_bytes("001010123456789@test.org");
        EXPECT_EQ(response, cat({{2, 8, 0, 29, 1}, identity}));
        EXPECT_EQ(requests(), (std::vector<unsigned long>{1, 1}));
        EXPECT_EQ(g_session.identityKind, IDENTITY_KIND_PERMANENT);
        EXPECT_EQ(g_session.identityLength, identity.size());
        g_session.lastResponse[1] = 0;
    }
}

TEST_F(EapLayerTest, IdentityResponseSendsHeldReauthIdentityAsItStands) {
    const std::string reauthId = "reauth-17@other.example";
    g_session.reauthIdPresent = 1;
    g_session.reauthIdLength = static_cast<uint16_t>(reauthId.size());
    std::memcpy(g_session.reauthId, reauthId.data(), reauthId.size());
    g_session.identityKind = IDENTITY_KIND_PSEUDONYM;
    g_session.akaState = AKA_STATE_DONE;
    g_session.identityMessageRecordLength = 12;

    ASSERT_EQ(feed(identity_request(3)), 2);
    EXPECT_EQ(response, cat({{2, 3, 0, 28, 1}, text_bytes(reauthId)}));
    EXPECT_TRUE(requests().empty()) << "the key store is not consulted";
    EXPECT_EQ(g_session.identityKind, IDENTITY_KIND_PSEUDONYM);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(g_session.identity), g_session.identityLength), reauthId);
    EXPECT_EQ(g_session.akaState, AKA_STATE_OPEN);
    EXPECT_EQ(g_session.identityMessageRecordLength, 0);
}

// A held identity longer than its 64-byte field is not used.
TEST_F(EapLayerTest, OversizedReauthIdentityIsNotSent) {
    g_session.reauthIdPresent = 1;
    g_session.reauthIdLength = IDENTITY_MAX + 1;
    ASSERT_EQ(feed(identity_request(3)), 2);
    EXPECT_EQ(response, cat({{2, 3, 0, 29, 1}, text_bytes("001010123456789@test.org")}));
}

TEST_F(EapLayerTest, NakIsTheBareHeader) {
    for (uint8_t type : {3, 4, 5, 6, 18, 22, 24, 50, 254, 255}) {
        SCOPED_TRACE(int(type));
        g_session.eapState = EAP_STATE_IDLE;
        EXPECT_EQ(feed({1, 0x61, 0, 5, type}), 2);
        EXPECT_EQ(response, (Bytes{2, 0x61, 0, 5, 3}));
        EXPECT_EQ(g_session.eapState, EAP_STATE_CONVERSING);
        g_session.lastResponse[1] = 0;
    }
}

TEST_F(EapLayerTest, NotificationRaisesEventOneAndIsAcknowledged) {
    struct Case {
        std::string text;
    };
    const Case cases[] = {{""}, {"Service will end at 23:00 %s%n"}, {std::string(1024, 'x')}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.size());
        recorder.events.clear();
        ASSERT_EQ(feed(notification_request(0x70, c.text)), 2);
        EXPECT_EQ(response, (Bytes{2, 0x70, 0, 5, 2}));
        ASSERT_EQ(recorder.events.size(), 1u);
        EXPECT_EQ(recorder.events[0].type, 1u);
        EXPECT_EQ(recorder.events[0].value, c.text.size()) << "record length";
        EXPECT_EQ(recorder.events[0].record, text_bytes(c.text));
        EXPECT_EQ(g_session.eapState, EAP_STATE_IDLE) << "the state is not changed";
        g_session.lastResponse[1] = 0;
    }
}

// The record passed with event 1 is the exact 1026-byte layout.
TEST_F(EapLayerTest, NotificationRecordLayout) {
    static Bytes seen;
    EAP_Init(
        [](unsigned int event, void* argument) {
            if (event == 1) {
                const uint8_t* p = static_cast<const uint8_t*>(argument);
                seen.assign(p, p + 1026);
            }
            return 0;
        },
        nullptr, nullptr, 0);
    seen.clear();
    ASSERT_EQ(feed(notification_request(1, "abc")), 2);
    ASSERT_EQ(seen.size(), 1026u);
    EXPECT_EQ(Bytes(seen.begin(), seen.begin() + 3), text_bytes("abc"));
    EXPECT_EQ(seen[1024], 3);  // length, little-endian
    EXPECT_EQ(seen[1025], 0);
}

TEST_F(EapLayerTest, NotificationWithoutCallbackIsStillAcknowledged) {
    EAP_Init(nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(feed(notification_request(2, "text")), 2);
    EXPECT_EQ(response, (Bytes{2, 2, 0, 5, 2}));
    EXPECT_TRUE(recorder.events.empty());
}

// ---------------------------------------------------------------------------
// Framing.

TEST_F(EapLayerTest, HostBufferGetsLengthInHostOrderAndResponseInWireOrder) {
    uint8_t in[] = {1, 5, 0x00, 0x06, 4, 0};
    uint8_t out[256];
    unsigned short outLen = 0;
    ASSERT_EQ(EAP_layer(in, out, &outLen), 2);
    uint16_t inLength;
    std::memcpy(&inLength, in + 2, 2);
    EXPECT_EQ(inLength, 6) << "converted in place";
    EXPECT_EQ(outLen, 5);
    EXPECT_EQ(Bytes(out, out + 5), (Bytes{2, 5, 0, 5, 3}));
    EXPECT_EQ(eap_length(g_session.lastResponse), 5) << "held in host order";
}

// Packets the layer cannot read safely are dropped: no response, no state
// change, no key-store request, no event, no retransmission.
TEST_F(EapLayerTest, MalformedPacketsAreDropped) {
    struct Case {
        const char* name;
        Bytes packet;
    };
    Bytes tooLong = notification_request(1, std::string(1025, 'x'));
    Bytes hugeLength = identity_request(1);
    hugeLength[2] = 0xFF;
    hugeLength[3] = 0xFF;
    const Case cases[] = {
        {"Length 0", {1, 1, 0, 0, 1}},
        {"Length 3", {3, 1, 0, 3}},
        {"Request without Type", {1, 1, 0, 4}},
        {"EAP-AKA without Subtype", {1, 1, 0, 5, 23}},
        {"EAP-AKA without reserved bytes", {1, 1, 0, 7, 23, 5, 0}},
        {"Notification text over 1024 bytes", tooLong},
        {"Length 65535", hugeLength},
    };
    g_session.lastResponse[1] = 1;  // not even a repeat is answered
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (uint32_t state : {1u, 3u}) {
            g_session.eapState = state;
            EXPECT_EQ(feed(c.packet), 15);
            EXPECT_TRUE(response.empty());
            EXPECT_EQ(g_session.eapState, state);
        }
    }
    EXPECT_TRUE(requests().empty());
    EXPECT_TRUE(recorder.events.empty());
}

TEST_F(EapLayerTest, NullArgumentsAreRefused) {
    Bytes in = identity_request(1);
    uint8_t out[256];
    unsigned short outLen = 0;
    EXPECT_EQ(EAP_layer(nullptr, out, &outLen), 15);
    EXPECT_EQ(EAP_layer(in.data(), nullptr, &outLen), 15);
    EXPECT_EQ(EAP_layer(in.data(), out, nullptr), 15);
    EXPECT_EQ(in[3], 5) << "the packet is untouched";
    EXPECT_TRUE(requests().empty());
}

// Random packets of every Code, Type and Length (the host buffer always as
// long as the Length, as the host contract says) in random states: the
// answer is always one of the documented results, a response is always a
// well-formed EAP Response to that Request, and the sanitizer build sees no
// out-of-bounds access.
TEST_F(EapLayerTest, RandomPacketsGetDocumentedAnswers) {
    std::mt19937 rng(4187);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const uint8_t types[] = {1, 2, 3, 4, 23, 23, 23, 254};
    for (int i = 0; i < 3000; ++i) {
        g_session.eapState = static_cast<uint32_t>(pick(1, 5));
        g_session.akaState = static_cast<uint32_t>(pick(1, 2));
        const int lengthClass = pick(0, 9);
        const int length = lengthClass == 0 ? pick(0, 8) : lengthClass == 1 ? pick(1020, 1100) : pick(8, 120);
        Bytes packet(std::max(length, 4));
        for (uint8_t& b : packet) b = static_cast<uint8_t>(pick(0, 255));
        packet[0] = static_cast<uint8_t>(pick(0, 5));
        packet[2] = static_cast<uint8_t>(length >> 8);
        packet[3] = static_cast<uint8_t>(length);
        if (packet.size() > 4) packet[4] = types[pick(0, 7)];
        if (packet.size() > 8 && pick(0, 1) == 1) packet[8] = static_cast<uint8_t>(pick(0, 25));

        const int result = feed(packet);
        SCOPED_TRACE(bytes_to_hex(packet));
        EXPECT_TRUE(result == 2 || result == 3 || result == 4 || result == 13 || result == 15 ||
                    result == 17 || result == 23)
            << result;
        if (length < 4 || length > 1029) {
            EXPECT_EQ(result, 15);
        }
        if (result == 2 || result == 17) {
            ASSERT_GE(response.size(), 5u);
            ASSERT_LE(response.size(), 256u);
            EXPECT_EQ(response[0], 2);
            EXPECT_EQ(response[1], packet[1]);
            EXPECT_EQ(size_t(response[2] << 8 | response[3]), response.size());
        } else {
            EXPECT_TRUE(response.empty());
        }
    }
}

// Without a registered key store the identity is composed from nothing:
// an empty user part and the realm, and no callback is called.
TEST_F(EapLayerTest, IdentityWithoutKeyStore) {
    RegisterAuthKeyCallBack(nullptr, nullptr);
    ASSERT_EQ(feed(identity_request(4)), 2);
    Bytes expected = {2, 4, 0, 29, 1};
    expected.resize(5 + 15, 0);
    expected = cat({expected, text_bytes("@test.org")});
    EXPECT_EQ(response, expected);
    EXPECT_EQ(g_session.identityKind, IDENTITY_KIND_PERMANENT);
}

}  // namespace
