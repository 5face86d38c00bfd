// eapaka: peer side of EAP-AKA (RFC 4187 over RFC 3748) for a host that
// carries the EAP packets itself.
//
// Calling order: RegisterAuthKeyCallBack once, then for every authentication
// attempt EAP_Init followed by one EAP_layer call per EAP packet received,
// sending *outLen bytes of `out` whenever the result says a response was
// produced, and getAAA after an EAP-Success result (3, 13 or 23).
// Every entry point must be called from one thread.
#ifndef EAPAKA_EAPAKA_H
#define EAPAKA_EAPAKA_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#include <windows.h>
#define EAPAKA_API
#else
struct HWND__;
typedef struct HWND__* HWND;
#define EAPAKA_API __attribute__((visibility("default")))
#endif

// Host event callback: (event, argument). Its return value is ignored.
//   event 0: the response timer expired; argument points to a HostResultRecord.
//   event 1: an EAP-Request/Notification arrived; argument points to a
//            HostNotificationRecord, valid only during the call.
//   event 2: a status code; the argument *is* the code (an AT_NOTIFICATION
//            value 0..65535 or one of the EAPAKA_FAIL_ codes below).
typedef int (*HostEventCallback)(unsigned int event, void* argument);

// Key-store callback: one request code (EAPAKA_AUTHKEY_*) per call.
typedef void (*AuthKeyCallBack)(unsigned long request);

enum {
    EAPAKA_EVENT_TIMEOUT = 0,
    EAPAKA_EVENT_EAP_NOTIFICATION = 1,
    EAPAKA_EVENT_STATUS = 2
};

// Codes carried by event 2 besides AT_NOTIFICATION values.
enum {
    EAPAKA_FAIL_INVALID_AUTN = 0x12000,
    EAPAKA_FAIL_MALFORMED_ATTRIBUTE = 0x12002,
    EAPAKA_FAIL_DUPLICATE_ATTRIBUTE = 0x12004,
    EAPAKA_FAIL_MANDATORY_ATTRIBUTE_MISSING = 0x12005,
    EAPAKA_FAIL_INVALID_SUBTYPE = 0x12007,
    EAPAKA_FAIL_INVALID_MAC = 0x12008,
    EAPAKA_FAIL_INVALID_CHECKCODE = 0x12009,
    EAPAKA_FAIL_INVALID_PADDING = 0x1200A,
    EAPAKA_FAIL_SERVER_DOWN = 0x12010,
    EAPAKA_FAIL_INVALID_SQN = 0x12100
};

// Results of EAP_layer.
enum {
    EAPAKA_RESULT_RESPONSE = 2,           // send *outLen bytes of out
    EAPAKA_RESULT_SUCCESS_PSEUDONYM = 3,  // EAP-Success, pseudonym identity
    EAPAKA_RESULT_FAILURE = 4,            // EAP-Failure
    EAPAKA_RESULT_SUCCESS_PERMANENT = 13, // EAP-Success, permanent identity
    EAPAKA_RESULT_DROPPED = 15,           // packet not acceptable now
    EAPAKA_RESULT_AUTH_RESPONSE = 17,     // send; Challenge/Re-auth response
    EAPAKA_RESULT_SUCCESS_ALT_KEYS = 23   // EAP-Success, alternate key set
};

// Key-store request codes.
enum {
    EAPAKA_AUTHKEY_LOAD = 1,
    EAPAKA_AUTHKEY_STORE_PSEUDONYM = 2,
    EAPAKA_AUTHKEY_STORE_SEQMS = 3
};

// KeyExchangeBuffer layout: 395 bytes, no alignment.
enum {
    EAPAKA_KEB_PERMANENT_ID = 0,
    EAPAKA_KEB_K = 16,
    EAPAKA_KEB_OPC = 32,
    EAPAKA_KEB_K_ALT = 48,
    EAPAKA_KEB_OPC_ALT = 64,
    EAPAKA_KEB_C1 = 80,   // c1..c5, 16 bytes each
    EAPAKA_KEB_R1 = 160,  // r1..r5, signed 32-bit little-endian each
    EAPAKA_KEB_PSEUDONYM = 180,
    EAPAKA_KEB_SEQMS = 203, // 32 entries of 6 bytes
    EAPAKA_KEB_SIZE = 395
};

#pragma pack(push, 1)
// Argument of event 0 (262 bytes).
typedef struct HostResultRecord {
    uint32_t result;       // 3: take as success, 4: take as failure
    uint8_t data[256];     // all zero
    uint16_t dataLength;   // 0
} HostResultRecord;

// Argument of event 1 (1026 bytes).
typedef struct HostNotificationRecord {
    uint8_t text[1024];    // notification text as received, not NUL-terminated
    uint16_t length;       // bytes of text
} HostNotificationRecord;
#pragma pack(pop)

EAPAKA_API void EAP_Init(int (*eventCallback)(unsigned int, void*), HWND window,
                         unsigned char* realm, int permanentIdLength);
EAPAKA_API void RegisterAuthKeyCallBack(void (*keyCallback)(unsigned long),
                                        unsigned char* keyExchangeBuffer);
EAPAKA_API int EAP_layer(unsigned char* in, unsigned char* out, unsigned short* outLen);

#ifdef __cplusplus
extern "C" {
#endif

EAPAKA_API void getAAA(unsigned char* mskOut);

// Opt-in behaviour for servers that rely on rules of RFC 4187 where this
// library is stricter by default. Host configuration: 0 when the library is
// loaded, kept across EAP_Init; with 0 nothing changes.
enum {
    // Ignore attributes of a type unknown to this library in the skippable
    // range 128..255 (RFC 4187 section 8.1) instead of refusing the message
    // as malformed, in requests and inside AT_ENCR_DATA.
    EAP_COMPAT_SKIP_UNKNOWN_SKIPPABLE = 0x1,
    // Answer with an empty AT_CHECKCODE when no AKA-Identity message was
    // exchanged in this exchange (RFC 4187 section 10.13) instead of a digest.
    EAP_COMPAT_RFC_CHECKCODE = 0x2,
    // Start a new fast re-authentication counter context with every full
    // authentication (RFC 4187 sections 5.4 and 10.16: the server counts
    // AT_COUNTER from 1 again) instead of comparing with the last counter
    // ever accepted.
    EAP_COMPAT_REAUTH_COUNTER_PER_FULL_AUTH = 0x4,
    // Derive every fast re-authentication's XKEY' from the MK of the last
    // full authentication (RFC 4187 section 7) instead of chaining from the
    // previous XKEY'.
    EAP_COMPAT_REAUTH_KEYS_FROM_FULL_MK = 0x8,
    // Use a pseudonym from AT_NEXT_PSEUDONYM whatever its first character
    // (RFC 4187 sections 4.1.1.7 and 10.10: an opaque username chosen by the
    // server). The store's 23-byte pseudonym field then holds it zero-filled
    // after its end, and is read back up to its first zero byte (all zero:
    // none held). One that cannot be held so (empty, longer than 23 bytes or
    // holding a zero byte) clears the field.
    EAP_COMPAT_OPAQUE_PSEUDONYM = 0x10,
    // Keep an AT_NEXT_REAUTH_ID that arrives in an AKA-Reauthentication whose
    // AT_MAC verifies and whose counter is accepted, for the next fast
    // re-authentication (RFC 4187 section 5.4), instead of using each fast
    // re-authentication identity once.
    EAP_COMPAT_KEEP_NEXT_REAUTH_ID = 0x20,
    // Compute MAC-S of AUTS with the dummy AMF 0000 (3GPP TS 33.102 section
    // 6.3.3) instead of the AMF of the refused AUTN.
    EAP_COMPAT_AUTS_DUMMY_AMF = 0x40,
    // Let EAP_Init keep realms of up to 128 characters (3GPP TS 23.003
    // section 19.3.2 realms have 34) instead of cutting them to 15; composed
    // identities then reach 151 bytes and the AKA-Identity messages recorded
    // for AT_CHECKCODE 1536. Takes effect at the next EAP_Init: set it first.
    EAP_COMPAT_LONG_REALM = 0x80,
    // Honour success only from a server authenticated in this exchange (RFC
    // 4187 sections 6.1 and 6.2, RFC 3748 section 7.16): a success
    // notification needs an accepted AKA-Challenge or AKA-Reauthentication
    // before it and its own AT_MAC; AT_ENCR_DATA must hold whole AES blocks
    // (RFC 4187 section 10.12) and nothing inside it is stored or used before
    // AT_MAC has verified; a failed AKA-Challenge leaves the keys as they
    // were; no fast re-authentication before a full authentication since
    // load; the response timer reports "take as success" only after an
    // acknowledged success notification of an authenticated exchange.
    EAP_COMPAT_STRICT_SUCCESS = 0x100,
    // Run EAP-AKA' (RFC 9048, EAP Type 50) instead of answering it with a
    // Nak: the same key store, identities, SQN array, results and events,
    // with keys bound to the access network name. With it, an EAP-AKA
    // challenge whose AT_BIDDING has the D bit set fails (RFC 9048 section
    // 4). Not part of EAP_COMPAT_RFC4187.
    EAP_COMPAT_AKA_PRIME = 0x200,
    EAP_COMPAT_RFC4187 = EAP_COMPAT_SKIP_UNKNOWN_SKIPPABLE | EAP_COMPAT_RFC_CHECKCODE |
                         EAP_COMPAT_REAUTH_COUNTER_PER_FULL_AUTH | EAP_COMPAT_REAUTH_KEYS_FROM_FULL_MK |
                         EAP_COMPAT_OPAQUE_PSEUDONYM | EAP_COMPAT_KEEP_NEXT_REAUTH_ID |
                         EAP_COMPAT_AUTS_DUMMY_AMF | EAP_COMPAT_LONG_REALM | EAP_COMPAT_STRICT_SUCCESS
};
EAPAKA_API void EAP_SetCompatibility(unsigned int flags);
EAPAKA_API void hmac_sha1(const void* key, int keyLength, const void* data, int dataLength,
                          unsigned char* mac, int macLength);

#if !defined(_WIN32)
// POSIX has no thread message queue: the host calls this from its own loop.
// It runs the library's due timers on the calling thread and returns the
// milliseconds until the next deadline, or -1 when no timer is armed.
EAPAKA_API int EAP_DispatchTimers(void);
#endif

#ifdef __cplusplus
}
#endif

#endif
