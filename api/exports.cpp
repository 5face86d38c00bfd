// TEMPORARY STUB: EAP_Init, RegisterAuthKeyCallBack, getAAA.
#include "api/session.h"
#include "platform/platform.h"
void EAP_Init(int (*)(unsigned int, void*), HWND, unsigned char*, int) {}
void RegisterAuthKeyCallBack(void (*)(unsigned long), unsigned char*) {}
extern "C" void getAAA(unsigned char*) {}
#if !defined(_WIN32)
extern "C" int EAP_DispatchTimers(void) { return platform_dispatch_timers(); }
#endif
