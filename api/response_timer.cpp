// TEMPORARY STUB
#include "api/response_timer.h"
void response_timer_arm() {}
void response_timer_stop() {}
void response_timer_expired(void*, unsigned int, uintptr_t, unsigned long) {}
