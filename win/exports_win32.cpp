// Entry points of eapaka.dll. Windows hosts bind the first three functions
// by the names a Microsoft compiler gives them (the parameter types are
// encoded in the name), so eapaka.def exports these C-linkage forwarders
// under exactly those names. Every signature uses the cdecl convention,
// which is what "YA" in the decorated names says. Calls inside the DLL are
// bound when it is linked: nothing a host loads can take them over.
#include "eapaka/eapaka.h"
#include "platform/platform.h"

extern "C" {

// Exported as ?EAP_Init@@YAXP6AHIPAX@ZPAUHWND__@@PAEH@Z
void eapaka_dll_EAP_Init(HostEventCallback eventCallback, HWND window, unsigned char* realm,
                         int permanentIdLength) {
    EAP_Init(eventCallback, window, realm, permanentIdLength);
}

// Exported as ?RegisterAuthKeyCallBack@@YAXP6AXK@ZPAE@Z
void eapaka_dll_RegisterAuthKeyCallBack(AuthKeyCallBack keyCallback,
                                        unsigned char* keyExchangeBuffer) {
    RegisterAuthKeyCallBack(keyCallback, keyExchangeBuffer);
}

// Exported as ?EAP_layer@@YAHPAE0PAG@Z
int eapaka_dll_EAP_layer(unsigned char* in, unsigned char* out, unsigned short* outLen) {
    return EAP_layer(in, out, outLen);
}

// FreeLibrary with a response still unanswered: the thread timer would call
// into this module's code after it is gone, at the host's next
// DispatchMessage. The timer is stopped first (the host calls FreeLibrary on
// the thread that runs the library, which owns the timer); the C run-time
// then runs the destructors, which wipe the AES key schedules. At process
// exit (reserved non-null) no message is dispatched any more.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) platform_reset_timers();
    return TRUE;
}

}  // extern "C"
