// The response timer: armed after every response sent, it reports a server
// that stays silent for 10 seconds (events 0 and 2) and ends the conversation.
#ifndef EAPAKA_API_RESPONSE_TIMER_H
#define EAPAKA_API_RESPONSE_TIMER_H

#include <cstdint>

constexpr unsigned int RESPONSE_TIMEOUT_MS = 10000;

void response_timer_arm();
void response_timer_stop();
// The timer procedure (arguments ignored).
void response_timer_expired(void* window, unsigned int message, uintptr_t id, unsigned long time);

#endif
