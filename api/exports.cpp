// The library's entry points besides EAP_layer (eap/eap_layer.cpp) and
// hmac_sha1 (crypto/).
#include <cstring>

#include "api/response_timer.h"
#include "api/session.h"
#include "diag/message_log.h"
#include "eap/eap_layer.h"
#include "platform/platform.h"

namespace {

// Used when the host gives no realm: "@" and an operator domain, 9
// characters. The .test top-level domain is reserved and never resolves
// (RFC 2606), so an unconfigured peer cannot be mistaken for a real
// subscriber.
constexpr char DEFAULT_REALM[] = "@aka.test";
static_assert(sizeof DEFAULT_REALM - 1 == 9, "the default realm has 9 characters");

constexpr size_t REALM_MAX_CHARS = REALM_SIZE - 1;

// 15 characters by default; a 3GPP realm (TS 23.003 section 19.3.2, 34
// characters) and longer NAI realms need EAP_COMPAT_LONG_REALM.
size_t realm_max_chars() {
    return aka_compat(EAP_COMPAT_LONG_REALM) ? REALM_MAX_LONG : REALM_MAX_CHARS;
}

// The sizes the public header promises its hosts.
static_assert(EAPAKA_REALM_MAX == REALM_MAX_CHARS && EAPAKA_REALM_MAX_LONG == REALM_MAX_LONG &&
                  EAPAKA_RESPONSE_MAX == EAP_MAX_PACKET &&
                  EAPAKA_REQUEST_MAX == EAP_MAX_REQUEST && EAPAKA_MSK_SIZE == sizeof g_session.msk,
              "the public header's buffer sizes are the library's");

void set_realm(const unsigned char* realm) {
    std::memset(g_session.realm, 0, sizeof g_session.realm);
    const char* text = reinterpret_cast<const char*>(realm);
    if (text == nullptr || text[0] == '\0') text = DEFAULT_REALM;
    size_t length = std::strlen(text);
    if (length > realm_max_chars()) {
        msglog_line("\ntoo long realm : %d\n", static_cast<int>(length));
        length = realm_max_chars();
    }
    std::memcpy(g_session.realm, text, length);
}

}  // namespace

// Starts a new conversation. Only the conversation is reset: identities,
// pseudonyms, the fast re-authentication identity, keys and counters are
// kept so that the next exchange can use what an earlier one obtained.
void EAP_Init(HostEventCallback eventCallback, HWND window, unsigned char* realm,
              int permanentIdLength) {
    msglog_line("\n>EAP_Init() : PermanentID Length=%d", permanentIdLength);
    g_session.permanentIdLength = permanentIdLength;
    g_session.hostEventCallback = eventCallback;
    eap_end_conversation();
    g_session.hostWindow = window;
    set_realm(realm);
    msglog_line("\n>set realm as [%s] \n", reinterpret_cast<const char*>(g_session.realm));
    response_timer_stop();
}

// The key store is reached only through this callback and buffer; both are
// kept as given and replaced by a later call.
void RegisterAuthKeyCallBack(AuthKeyCallBack keyCallback, unsigned char* keyExchangeBuffer) {
    g_session.authKeyCallBack = keyCallback;
    g_session.keyExchangeBuffer = keyExchangeBuffer;
}

// The MSK of the last key derivation (all zero before the first one).
extern "C" void getAAA(unsigned char* mskOut) {
    if (mskOut == nullptr) return;
    std::memcpy(mskOut, g_session.msk, sizeof g_session.msk);
}

// Host configuration, kept across EAP_Init; see EAP_COMPAT_* in eapaka.h.
extern "C" void EAP_SetCompatibility(unsigned int flags) { g_session.compatibilityFlags = flags; }

#if !defined(_WIN32)
extern "C" int EAP_DispatchTimers(void) { return platform_dispatch_timers(); }
#endif
