// EAP_Init, getAAA and the response timer.
#include <cstring>

#include "api/response_timer.h"
#include "api/session.h"
#include "platform/platform.h"
#include "support/test_host.h"

namespace {

const std::string kServerDownLines =
    "\t>>\xBD\xC3\xBD\xBA\xC5\xDB \xC0\xE5\xBE\xD6 \n"
    "\tC_AKA_FAIL_SERVER_DOWN\n";

Bytes identity_request(uint8_t id) { return {1, id, 0, 5, 1}; }

std::string realm_text() { return reinterpret_cast<const char*>(g_session.realm); }

class ExportsTest : public LibraryTest {};

TEST_F(ExportsTest, RealmIsDefaultedOrCut) {
    struct Case {
        const char* name;
        const char* realm;  // null: pass a null pointer
        std::string kept;
        std::string cutLine;
    };
    const Case cases[] = {
        {"null", nullptr, "@aka.test", ""},
        {"empty", "", "@aka.test", ""},
        {"one character", "@", "@", ""},
        {"15 characters", "@abcdefghij.com", "@abcdefghij.com", ""},
        {"16 characters", "@abcdefghijk.com", "@abcdefghijk.co", "\ntoo long realm : 16\n\n"},
        {"40 characters", "@wlan.mnc001.mcc001.3gppnetwork.org.test", "@wlan.mnc001.mc",
         "\ntoo long realm : 40\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TraceFile trace;
        std::memset(g_session.realm, 'Z', sizeof g_session.realm);  // stale bytes must go
        EAP_Init(recording_event_callback, nullptr,
                 reinterpret_cast<unsigned char*>(const_cast<char*>(c.realm)), 15);
        EXPECT_EQ(realm_text(), c.kept);
        for (size_t i = c.kept.size(); i < sizeof g_session.realm; ++i)
            EXPECT_EQ(g_session.realm[i], 0) << i;
        EXPECT_EQ(trace.contents(), "\n>EAP_Init() : PermanentID Length=15\n" + c.cutLine +
                                        "\n>set realm as [" + c.kept + "] \n\n");
    }
}

// Only the conversation is reset; credentials and counters survive.
TEST_F(ExportsTest, InitResetsTheConversationOnly) {
    g_session.eapState = EAP_STATE_FAILED;
    g_session.akaState = AKA_STATE_DONE;
    g_session.identityMessageRecordLength = 90;
    g_session.lastResponse[0] = 2;
    g_session.lastResponse[1] = 0x33;
    g_session.identityKind = IDENTITY_KIND_PSEUDONYM;
    g_session.altKeySetUsed = 1;
    g_session.atNotification = 0x8000;
    g_session.reauthIdPresent = 1;
    g_session.nextPseudonymPresent = 1;
    g_session.lastReauthCounter = 0x0500;
    std::memset(g_session.msk, 0x5A, sizeof g_session.msk);
    std::memset(g_session.mk, 0x6B, sizeof g_session.mk);
    HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));

    EAP_Init(recording_event_callback, window, nullptr, -3);

    EXPECT_EQ(g_session.eapState, EAP_STATE_IDLE);
    EXPECT_EQ(g_session.akaState, AKA_STATE_OPEN);
    EXPECT_EQ(g_session.identityMessageRecordLength, 0);
    EXPECT_EQ(g_session.lastResponse[1], 0);
    EXPECT_EQ(g_session.hostWindow, window);
    EXPECT_EQ(g_session.hostEventCallback, &recording_event_callback);
    EXPECT_EQ(g_session.permanentIdLength, -3) << "kept as given; bounded where it is used";

    EXPECT_EQ(g_session.identityKind, IDENTITY_KIND_PSEUDONYM);
    EXPECT_EQ(g_session.altKeySetUsed, 1);
    EXPECT_EQ(g_session.atNotification, 0x8000);
    EXPECT_EQ(g_session.reauthIdPresent, 1);
    EXPECT_EQ(g_session.nextPseudonymPresent, 1);
    EXPECT_EQ(g_session.lastReauthCounter, 0x0500);
    EXPECT_EQ(g_session.msk[63], 0x5A);
    EXPECT_EQ(g_session.mk[19], 0x6B);
    EXPECT_NE(g_session.keyExchangeBuffer, nullptr) << "the key store stays registered";
}

TEST_F(ExportsTest, GetAaaCopiesTheMsk) {
    uint8_t out[64];
    std::memset(out, 0xAA, sizeof out);
    getAAA(out);
    EXPECT_EQ(Bytes(out, out + 64), Bytes(64, 0)) << "all zero before any derivation";

    for (int i = 0; i < 64; ++i) g_session.msk[i] = static_cast<uint8_t>(i * 7 + 1);
    getAAA(out);
    EXPECT_EQ(Bytes(out, out + 64), Bytes(g_session.msk, g_session.msk + 64));
    getAAA(nullptr);  // no write through a null pointer
}

// Before any EAP_Init the load values hold: no events, no realm, an empty
// user part.
TEST_F(ExportsTest, LayerWorksBeforeInit) {
    keys.set_permanent_id("001010123456789");
    ASSERT_EQ(feed(identity_request(1)), 2);
    EXPECT_EQ(response, (Bytes{2, 1, 0, 5, 1}));
    ASSERT_EQ(feed({1, 2, 0, 6, 2, 'x'}), 2);
#if !defined(_WIN32)
    fake_clock_advance(RESPONSE_TIMEOUT_MS);
    EAP_DispatchTimers();
#endif
    EXPECT_TRUE(recorder.events.empty());
}

// ---------------------------------------------------------------------------
// Response timer. These tests drive it with the fake clock through
// EAP_DispatchTimers, which only the POSIX build has; on Windows the real
// thread timer is exercised through the DLL by win/dll_host.cpp.
#if !defined(_WIN32)

class ResponseTimerTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        keys.set_permanent_id("001010123456789");
    }
    void respond() {
        ASSERT_EQ(feed(identity_request(0x20)), 2);
        ASSERT_EQ(g_session.responseTimerArmed, 1);
    }
    // Long after any deadline: no timer left and no event delivered.
    void expect_no_timeout() {
        fake_clock_advance(20000);
        EXPECT_EQ(EAP_DispatchTimers(), -1);
        EXPECT_TRUE(recorder.events.empty());
    }
};

TEST_F(ResponseTimerTest, SilentServerEndsTheConversation) {
    struct Case {
        const char* name;
        uint16_t atNotification;
        uint32_t recordResult;
        const char* line;
    };
    const Case cases[] = {
        {"no notification", 0, 4, "TIME OUT: Fail \n"},
        {"success notification", 0x8000, 3, "TIME OUT: Success \n"},
        {"other notification", 0x4000, 4, "TIME OUT: Fail \n"},
        {"success with P bit", 0xC000, 4, "TIME OUT: Fail \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        recorder.events.clear();
        init();
        respond();
        g_session.atNotification = c.atNotification;
        g_session.akaState = AKA_STATE_DONE;
        g_session.identityMessageRecordLength = 20;
        TraceFile trace;

        fake_clock_advance(9999);
        EXPECT_EQ(EAP_DispatchTimers(), 1);
        EXPECT_TRUE(recorder.events.empty());
        fake_clock_advance(1);
        EXPECT_EQ(EAP_DispatchTimers(), -1) << "fires once";

        ASSERT_EQ(recorder.events.size(), 2u);
        EXPECT_EQ(recorder.events[0].type, 0u);
        // 262 bytes: the result (little-endian), 256 zero bytes, length 0.
        Bytes expected(262, 0);
        expected[0] = static_cast<uint8_t>(c.recordResult);
        EXPECT_EQ(recorder.events[0].record, expected);
        EXPECT_EQ(recorder.events[1].type, 2u);
        EXPECT_EQ(recorder.events[1].value, 0x12010u);

        EXPECT_EQ(trace.contents(), c.line + kServerDownLines);
        EXPECT_EQ(g_session.responseTimerArmed, 0);
        EXPECT_EQ(g_session.eapState, EAP_STATE_IDLE);
        EXPECT_EQ(g_session.akaState, AKA_STATE_OPEN);
        EXPECT_EQ(g_session.identityMessageRecordLength, 0);
        EXPECT_EQ(g_session.lastResponse[1], 0);

        fake_clock_advance(60000);
        EXPECT_EQ(EAP_DispatchTimers(), -1);
        EXPECT_EQ(recorder.events.size(), 2u);
    }
}

TEST_F(ResponseTimerTest, WithoutCallbackOnlyTheServerDownLinesAreLogged) {
    EAP_Init(nullptr, nullptr, nullptr, 15);
    respond();
    TraceFile trace;
    fake_clock_advance(10000);
    EAP_DispatchTimers();
    EXPECT_EQ(trace.contents(), kServerDownLines);
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_EQ(g_session.eapState, EAP_STATE_IDLE);
}

TEST_F(ResponseTimerTest, InitWhileArmedStopsIt) {
    init();
    respond();
    init();
    EXPECT_EQ(g_session.responseTimerArmed, 0);
    expect_no_timeout();
}

// Every EAP_layer call stops the timer first; only a call that sends a
// response arms it again, for a full period.
TEST_F(ResponseTimerTest, EveryPacketStopsItAndEveryResponseRearmsIt) {
    init();
    respond();
    fake_clock_advance(6000);
    ASSERT_EQ(feed({1, 0x21, 0, 5, 4}), 2);  // Nak
    EXPECT_EQ(EAP_DispatchTimers(), 10000) << "re-armed for a full period";
    fake_clock_advance(6000);
    ASSERT_EQ(feed({3, 0x22, 0, 4}), 15);  // Success in state 2: dropped
    EXPECT_EQ(g_session.responseTimerArmed, 0);
    expect_no_timeout();
}

// When no timer can be had the response still goes out, unprotected.
TEST_F(ResponseTimerTest, ArmingFailureLeavesFlagClear) {
    init();
    std::vector<uintptr_t> taken;
    for (uintptr_t id; (id = platform_set_timer(1000000, nullptr)) != 0;) taken.push_back(id);
    ASSERT_EQ(feed(identity_request(0x20)), 2);
    EXPECT_EQ(g_session.responseTimerArmed, 0);
    for (uintptr_t id : taken) platform_kill_timer(id);
}
#endif  // !_WIN32

}  // namespace
