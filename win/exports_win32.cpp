// Entry points of eapaka.dll. Windows hosts bind the first three functions
// by the names a Microsoft compiler gives them (the parameter types are
// encoded in the name), so eapaka.def exports these C-linkage forwarders
// under exactly those names. Every signature uses the cdecl convention,
// which is what "YA" in the decorated names says.
#include "eapaka/eapaka.h"

extern "C" {

// Exported as ?EAP_Init@@YAXP6AHIPAX@ZPAUHWND__@@PAEH@Z
void eapaka_dll_EAP_Init(int (*eventCallback)(unsigned int, void*), HWND window,
                         unsigned char* realm, int permanentIdLength) {
    EAP_Init(eventCallback, window, realm, permanentIdLength);
}

// Exported as ?RegisterAuthKeyCallBack@@YAXP6AXK@ZPAE@Z
void eapaka_dll_RegisterAuthKeyCallBack(void (*keyCallback)(unsigned long),
                                        unsigned char* keyExchangeBuffer) {
    RegisterAuthKeyCallBack(keyCallback, keyExchangeBuffer);
}

// Exported as ?EAP_layer@@YAHPAE0PAG@Z
int eapaka_dll_EAP_layer(unsigned char* in, unsigned char* out, unsigned short* outLen) {
    return EAP_layer(in, out, outLen);
}

}  // extern "C"
