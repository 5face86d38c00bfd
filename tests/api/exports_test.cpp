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

class ExportsTest : public LibraryTest {};

// 15 characters are kept, 128 with EAP_COMPAT_LONG_REALM; a longer realm is
// cut with a trace line, a null or empty one replaced by the default.
TEST_F(ExportsTest, RealmIsDefaultedOrCut) {
    struct Case {
        const char* name;
        unsigned flags;
        const char* realm;  // null: pass a null pointer
        std::string kept;
        std::string cutLine;
    };
    const std::string r128 = "@" + std::string(127, 'r');
    const std::string r129 = r128 + "x";
    const Case cases[] = {
        {"null", 0, nullptr, "@aka.test", ""},
        {"empty", 0, "", "@aka.test", ""},
        {"one character", 0, "@", "@", ""},
        {"15 characters", 0, "@abcdefghij.com", "@abcdefghij.com", ""},
        {"16 characters", 0, "@abcdefghijk.com", "@abcdefghijk.co", "\ntoo long realm : 16\n\n"},
        {"40 characters", 0, "@wlan.mnc001.mcc001.3gppnetwork.org.test", "@wlan.mnc001.mc", "\ntoo long realm : 40\n\n"},
        {"128 characters, long realms", EAP_COMPAT_LONG_REALM, r128.c_str(), r128, ""},
        {"129 characters, long realms", EAP_COMPAT_LONG_REALM, r129.c_str(), r128, "\ntoo long realm : 129\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EAP_SetCompatibility(c.flags);
        TraceFile trace;
        std::memset(g_session.realm, 'Z', sizeof g_session.realm);  // stale bytes must go
        EAP_Init(recording_event_callback, nullptr, reinterpret_cast<unsigned char*>(const_cast<char*>(c.realm)), 15);
        const Bytes realm(g_session.realm, g_session.realm + sizeof g_session.realm);
        EXPECT_EQ(realm, cat({text_bytes(c.kept), Bytes(sizeof g_session.realm - c.kept.size(), 0)}));
        EXPECT_EQ(trace.contents(), "\n>EAP_Init() : PermanentID Length=15\n" + c.cutLine + "\n>set realm as [" + c.kept + "] \n\n");
    }
}

// Only the conversation is reset; credentials, counters and the host's
// compatibility setting survive.
TEST_F(ExportsTest, InitResetsTheConversationOnly) {
    EXPECT_EQ(g_session.compatibilityFlags, 0u) << "0 at load";
    EAP_SetCompatibility(EAP_COMPAT_RFC4187);
    g_session.eapState = EAP_STATE_FAILED;
    g_session.akaState = AKA_STATE_DONE;
    g_session.identityMessageRecordLength = 90;
    g_session.lastResponse[1] = 0x33;
    g_session.identityKind = IDENTITY_KIND_PSEUDONYM;
    g_session.altKeySetUsed = 1;
    g_session.atNotification = 0x8000;
    g_session.reauthIdPresent = g_session.nextPseudonymPresent = 1;
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

    EXPECT_EQ(g_session.compatibilityFlags, unsigned{EAP_COMPAT_RFC4187});
    EXPECT_EQ(g_session.identityKind, IDENTITY_KIND_PSEUDONYM);
    EXPECT_EQ(g_session.altKeySetUsed, 1);
    EXPECT_EQ(g_session.atNotification, 0x8000);
    EXPECT_EQ(g_session.reauthIdPresent + g_session.nextPseudonymPresent, 2);
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

// Event 0 carries 3 when the last AT_NOTIFICATION received was exactly
// success, else 4. Under strict success only an acknowledged success
// notification (EAP state 4) of an authenticated exchange counts.
TEST_F(ResponseTimerTest, SilentServerEndsTheConversation) {
    struct Case {
        const char* name;
        unsigned flags;
        uint32_t eapState;
        uint8_t authenticated;
        uint16_t atNotification;
        uint32_t recordResult;
    };
    const Case cases[] = {
        {"no notification", 0, 2, 0, 0, 4},
        {"success notification", 0, 2, 0, 0x8000, 3},
        {"other notification", 0, 2, 0, 0x4000, 4},
        {"success with P bit", 0, 2, 0, 0xC000, 4},
        {"strict, unauthenticated success", EAP_COMPAT_STRICT_SUCCESS, 4, 0, 0x8000, 4},
        {"strict, success not acknowledged", EAP_COMPAT_STRICT_SUCCESS, 3, 1, 0x8000, 4},
        {"strict, authenticated success", EAP_COMPAT_STRICT_SUCCESS, 4, 1, 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        recorder.events.clear();
        EAP_SetCompatibility(c.flags);
        init();
        respond();
        g_session.eapState = c.eapState;
        g_session.exchangeAuthenticated = c.authenticated;
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

        EXPECT_EQ(trace.contents(), (c.recordResult == 3 ? "TIME OUT: Success \n" : "TIME OUT: Fail \n") + kServerDownLines);
        EXPECT_EQ(g_session.responseTimerArmed, 0);
        EXPECT_EQ(g_session.eapState, EAP_STATE_IDLE);
        EXPECT_EQ(g_session.akaState, AKA_STATE_OPEN);
        EXPECT_EQ(g_session.identityMessageRecordLength, 0);
        EXPECT_EQ(g_session.lastResponse[1], 0);
    }
    // Without a callback only the trace says so.
    EAP_Init(nullptr, nullptr, nullptr, 15);
    respond();
    recorder.events.clear();
    TraceFile trace;
    fake_clock_advance(10000);
    EAP_DispatchTimers();
    EXPECT_EQ(trace.contents(), kServerDownLines);
    expect_no_timeout();
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
