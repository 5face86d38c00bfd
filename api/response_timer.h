// The response timer: armed after every response sent, it reports a server
// that stays silent for 10 seconds (events 0 and 2) and then hands the
// expiry to whoever armed it, which ends the conversation.
#ifndef EAPAKA_API_RESPONSE_TIMER_H
#define EAPAKA_API_RESPONSE_TIMER_H

#include <cstdint>

constexpr unsigned int RESPONSE_TIMEOUT_MS = 10000;

// Called once when the timer expires, after the host has been told.
using ResponseTimerExpiry = void (*)();

void response_timer_arm(ResponseTimerExpiry onExpiry);
void response_timer_stop();
// The timer procedure (arguments ignored).
void response_timer_expired(void* window, unsigned int message, uintptr_t id, unsigned long time);

#endif
