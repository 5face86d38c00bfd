// The response timer. A peer that has answered waits for the next Request or
// the outcome; if the server stays silent for RESPONSE_TIMEOUT_MS the host is
// told (events 0 and 2) and the expiry goes to the handler given when the
// timer was armed (the EAP layer, which ends the conversation so that the
// next packet starts a new one). The handler kills its own timer first: it
// fires once.
#include "api/response_timer.h"

#include "api/session.h"
#include "diag/message_log.h"
#include "platform/platform.h"

namespace {

// The one outstanding timer's expiry handler; the timer knows nothing of
// what it ends.
ResponseTimerExpiry expiryHandler = nullptr;

// AT_NOTIFICATION code of the success notification (RFC 4187 section 10.19:
// S bit set, P bit clear, code 0).
constexpr uint16_t AKA_NOTIFICATION_SUCCESS = 0x8000;

// By default the last AT_NOTIFICATION received, in whatever exchange and
// whether or not it was authentic, decides. Under EAP_COMPAT_STRICT_SUCCESS
// only an acknowledged success notification of this exchange does, which
// the method honours only from an authenticated server: the EAP-Success
// that should have followed is all that was lost.
bool response_timer_take_as_success() {
    const AkaSession& s = g_session;
    if (aka_compat(EAP_COMPAT_STRICT_SUCCESS))
        return s.eapState == EAP_STATE_SUCCESS_NOTIFIED && s.exchangeAuthenticated;
    return s.atNotification == AKA_NOTIFICATION_SUCCESS;
}

// Tells the host how to take the unfinished conversation.
void response_timer_report_outcome() {
    if (g_session.hostEventCallback == nullptr) return;
    const bool success = response_timer_take_as_success();
    HostResultRecord record{};
    record.result = success ? EAPAKA_RESULT_SUCCESS_PSEUDONYM : EAPAKA_RESULT_FAILURE;
    aka_raise_event(EAPAKA_EVENT_TIMEOUT, reinterpret_cast<uintptr_t>(&record));
    msglog_line(success ? "TIME OUT: Success " : "TIME OUT: Fail ");
}

}  // namespace

void response_timer_arm(ResponseTimerExpiry onExpiry) {
    expiryHandler = onExpiry;
    g_session.responseTimerId = platform_set_timer(RESPONSE_TIMEOUT_MS, response_timer_expired);
    g_session.responseTimerArmed = g_session.responseTimerId != 0 ? 1 : 0;
}

void response_timer_stop() {
    if (!g_session.responseTimerArmed) return;
    platform_kill_timer(g_session.responseTimerId);
    g_session.responseTimerArmed = 0;
}

void response_timer_expired(void*, unsigned int, uintptr_t, unsigned long) {
    if (platform_kill_timer(g_session.responseTimerId)) g_session.responseTimerArmed = 0;
    response_timer_report_outcome();
    // "System failure" in Korean, as code page 949 bytes so that the trace
    // holds the same bytes whatever the platform's own character set.
    msglog_line("\t>>\xBD\xC3\xBD\xBA\xC5\xDB \xC0\xE5\xBE\xD6 ");
    msglog_line("\tC_AKA_FAIL_SERVER_DOWN");
    aka_raise_event(EAPAKA_EVENT_STATUS, EAPAKA_FAIL_SERVER_DOWN);
    if (expiryHandler != nullptr) expiryHandler();
}
