// EAP_Init, getAAA and the response timer.
#include <cstring>

#include "api/session.h"
#include "platform/platform.h"
#include "support/test_host.h"

namespace {

const std::string kServerDownLines = "\t>>\xBD\xC3\xBD\xBA\xC5\xDB \xC0\xE5\xBE\xD6 \n\tC_AKA_FAIL_SERVER_DOWN\n";
const Bytes kIdentityRequest = {1, 0x20, 0, 5, 1};

// 15 characters are kept, 128 with EAP_COMPAT_LONG_REALM; a longer realm is
// cut with a trace line, a null or empty one replaced by the default.
TEST_F(LibraryTest, RealmIsDefaultedOrCut) {
    struct Case { unsigned flags; const char* realm; std::string kept, cutLine; };
    const std::string r128 = "@" + std::string(127, 'r'), r129 = r128 + "x";
    const Case cases[] = {
        {0, nullptr, "@aka.test", ""},
        {0, "", "@aka.test", ""},
        {0, "@abcdefghij.com", "@abcdefghij.com", ""},
        {0, "@abcdefghijk.com", "@abcdefghijk.co", "\ntoo long realm : 16\n\n"},
        {EAP_COMPAT_LONG_REALM, r129.c_str(), r128, "\ntoo long realm : 129\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kept);
        EAP_SetCompatibility(c.flags);
        TraceFile trace;
        std::memset(g_session.realm, 'Z', sizeof g_session.realm);  // stale bytes must go
        EAP_Init(recording_event_callback, nullptr, reinterpret_cast<unsigned char*>(const_cast<char*>(c.realm)), 15);
        EXPECT_EQ(Bytes(g_session.realm, g_session.realm + sizeof g_session.realm),
                  cat({text_bytes(c.kept), Bytes(sizeof g_session.realm - c.kept.size(), 0)}));
        EXPECT_EQ(trace.contents(), "\n>EAP_Init() : PermanentID Length=15\n" + c.cutLine + "\n>set realm as [" + c.kept + "] \n\n");
    }
}

// Only the conversation is reset; credentials, counters, the MSK and the
// compatibility setting survive.
TEST_F(LibraryTest, InitResetsTheConversationOnly) {
    EXPECT_EQ(g_session.compatibilityFlags, 0u) << "0 at load";
    EAP_SetCompatibility(EAP_COMPAT_RFC4187);
    g_session.eapState = EAP_STATE_FAILED;
    g_session.akaState = AKA_STATE_DONE;
    g_session.identityMessageRecordLength = g_session.lastResponse[1] = 0x33;
    g_session.reauthIdPresent = g_session.altKeySetUsed = 1;
    g_session.lastReauthCounter = g_session.atNotification = g_session.msk[63] = 0x80;
    EAP_Init(recording_event_callback, reinterpret_cast<HWND>(uintptr_t{0x1234}), nullptr, -3);
    EXPECT_EQ(g_session.eapState + g_session.akaState + g_session.identityMessageRecordLength + g_session.lastResponse[1], 2u);
    EXPECT_EQ(g_session.hostWindow, reinterpret_cast<HWND>(uintptr_t{0x1234}));
    EXPECT_EQ(g_session.permanentIdLength, -3) << "kept as given; bounded where it is used";
    EXPECT_EQ(g_session.compatibilityFlags, unsigned{EAP_COMPAT_RFC4187});
    EXPECT_EQ(g_session.reauthIdPresent + g_session.altKeySetUsed, 2);
    EXPECT_EQ(g_session.lastReauthCounter + g_session.atNotification + g_session.msk[63], 3 * 0x80);
}

// Before any EAP_Init the MSK is all zero; no write through a null pointer.
TEST_F(LibraryTest, LoadState) {
    uint8_t out[64];
    std::memset(out, 0xAA, sizeof out);
    getAAA(out);
    EXPECT_EQ(Bytes(out, out + 64), Bytes(64, 0));
    getAAA(nullptr);
}

// EAP_DispatchTimers is POSIX only; win/dll_host.cpp runs the Windows timer.
#if !defined(_WIN32)

// Event 0 carries 3 when the last AT_NOTIFICATION was exactly success, else
// 4; under strict success only an acknowledged one of an authenticated exchange.
TEST_F(LibraryTest, SilentServerEndsTheConversation) {
    struct Case { unsigned flags; uint32_t eapState; uint8_t authenticated; uint16_t atNotification; uint32_t result; };
    const Case cases[] = {
        {0, 2, 0, 0, 4},      {0, 2, 0, 0x8000, 3}, {0, 2, 0, 0x4000, 4}, {0, 2, 0, 0xC000, 4},
        {EAP_COMPAT_STRICT_SUCCESS, 4, 0, 0x8000, 4},  // unauthenticated success
        {EAP_COMPAT_STRICT_SUCCESS, 3, 1, 0x8000, 4},  // success not acknowledged
        {EAP_COMPAT_STRICT_SUCCESS, 4, 1, 0, 3},
        {0, 2, 0, 0x8000, 0},  // no callback
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.flags << " " << c.eapState << " " << c.atNotification);
        recorder.events.clear();
        EAP_SetCompatibility(c.flags);
        EAP_Init(c.result != 0 ? recording_event_callback : nullptr, nullptr, nullptr, 15);
        ASSERT_EQ(feed(kIdentityRequest), 2);
        g_session.eapState = c.eapState;
        g_session.exchangeAuthenticated = c.authenticated;
        g_session.atNotification = c.atNotification;
        g_session.akaState = AKA_STATE_DONE;
        g_session.identityMessageRecordLength = 20;
        TraceFile trace;
        fake_clock_advance(9999);
        EXPECT_EQ(EAP_DispatchTimers(), 1);
        fake_clock_advance(1);
        EXPECT_EQ(EAP_DispatchTimers(), -1) << "fires once";

        const std::string line = c.result == 3 ? "TIME OUT: Success \n" : c.result == 4 ? "TIME OUT: Fail \n" : "";
        EXPECT_EQ(trace.contents(), line + kServerDownLines);
        EXPECT_EQ(g_session.eapState + g_session.akaState + g_session.identityMessageRecordLength + g_session.lastResponse[1], 2u);
        if (c.result == 0) continue;
        ASSERT_EQ(recorder.events.size(), 2u);
        Bytes record(262, 0);  // the result (little-endian), 256 zero bytes, length 0
        record[0] = static_cast<uint8_t>(c.result);
        EXPECT_EQ(recorder.events[0].type, 0u);
        EXPECT_EQ(recorder.events[0].record, record);
        EXPECT_EQ(recorder.events[1].type, 2u);
        EXPECT_EQ(recorder.events[1].value, 0x12010u);
    }
}

// EAP_layer and EAP_Init stop the timer; a response arms it for a full period,
// and goes out when no timer can be had.
TEST_F(LibraryTest, TimerStopsAndRearms) {
    init();
    ASSERT_EQ(feed(kIdentityRequest), 2);
    fake_clock_advance(6000);
    ASSERT_EQ(feed({1, 0x21, 0, 5, 4}), 2);  // Nak
    EXPECT_EQ(EAP_DispatchTimers(), 10000) << "re-armed for a full period";
    fake_clock_advance(6000);
    ASSERT_EQ(feed({3, 0x22, 0, 4}), 15);  // Success in state 2: dropped
    EXPECT_EQ(g_session.responseTimerArmed, 0);
    ASSERT_EQ(feed({1, 0x23, 0, 5, 4}), 2);
    init();
    EXPECT_EQ(g_session.responseTimerArmed, 0);
    fake_clock_advance(20000);
    EXPECT_EQ(EAP_DispatchTimers(), -1);
    EXPECT_TRUE(recorder.events.empty());

    std::vector<uintptr_t> taken;
    for (uintptr_t id; (id = platform_set_timer(1000000, nullptr)) != 0;) taken.push_back(id);
    ASSERT_EQ(feed(kIdentityRequest), 2);
    EXPECT_EQ(g_session.responseTimerArmed, 0);
    for (uintptr_t id : taken) platform_kill_timer(id);
}
#endif  // !_WIN32

}  // namespace
