// eapaka: peer side of EAP-AKA (RFC 4187 over RFC 3748) for a host that
// carries the EAP packets itself. Usable from C (C99 and later) and C++.
//
// Calling order: RegisterAuthKeyCallBack once, then for every authentication
// attempt EAP_Init followed by one EAP_layer call per EAP packet received,
// sending *outLen bytes of `out` whenever the result says a response was
// produced, and getAAA after an EAP-Success result (3, 13 or 23).
//
// Threads: every entry point must be called from one thread, which also
// runs the response timer: on Windows it must dispatch window messages (the
// timer is a thread timer), on POSIX it calls EAP_DispatchTimers from its
// event loop. Nothing is locked and nothing is allocated per conversation.
//
// Callbacks: both callbacks run on that thread, nested inside the library
// call that raises them (EAP_layer, or the timer). From inside either one a
// host may call getAAA and hmac_sha1, and no other entry point: EAP_Init,
// EAP_layer, RegisterAuthKeyCallBack, EAP_SetCompatibility and
// EAP_DispatchTimers change the conversation the library is in the middle of.
//
// Trace: while a file named msginfo.log (POSIX: in the working directory,
// unless the build chose another path; Windows: C:\msginfo.log) exists, the
// library appends a trace of every packet and intermediate value to it. The
// trace holds K, OPc, RES, CK, IK, MK and the MSK in clear: create it only on
// a test subscriber, and keep it readable by the host's user alone.
#ifndef EAPAKA_EAPAKA_H
#define EAPAKA_EAPAKA_H

// Version of this header and of the library built with it (the build checks
// that they agree with the project version). The shared library's soname
// changes only when the entry points or the key exchange buffer layout
// change incompatibly.
#define EAPAKA_VERSION_MAJOR 0
#define EAPAKA_VERSION_MINOR 1
#define EAPAKA_VERSION_PATCH 0
#define EAPAKA_VERSION_STRING "0.1.0"

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#include <windows.h>
#else
struct HWND__;
typedef struct HWND__* HWND;  // the window type of the Windows signature; pass null
#endif

// Every entry point and callback uses the C calling convention, also for
// Windows hosts built with another default (/Gz, /Gr).
#if defined(_WIN32)
#define EAPAKA_CALL __cdecl
#define EAPAKA_API
#elif defined(__GNUC__)
#define EAPAKA_CALL
#define EAPAKA_API __attribute__((visibility("default")))
#else
#define EAPAKA_CALL
#define EAPAKA_API
#endif

// Host event callback: (event, argument). Its return value is ignored.
//   event 0: the response timer expired; argument points to a HostResultRecord.
//   event 1: an EAP-Request/Notification arrived; argument points to a
//            HostNotificationRecord, valid only during the call.
//   event 2: a status code; the argument *is* the code (an AT_NOTIFICATION
//            value 0..65535 or one of the EAPAKA_FAIL_ codes below).
typedef int(EAPAKA_CALL* HostEventCallback)(unsigned int event, void* argument);

// Key-store callback: one request code (EAPAKA_AUTHKEY_*) per call. The host
// completes the request before returning: the library reads or relies on the
// buffer right after the call.
typedef void(EAPAKA_CALL* AuthKeyCallBack)(unsigned long request);

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

// Buffer sizes of the entry points.
enum {
    EAPAKA_RESPONSE_MAX = 256, // room EAP_layer needs at `out`
    EAPAKA_REQUEST_MAX = 1029, // largest EAP Length EAP_layer accepts at `in`
    EAPAKA_MSK_SIZE = 64,      // bytes getAAA writes
    EAPAKA_REALM_MAX = 15,     // realm characters EAP_Init keeps
    EAPAKA_REALM_MAX_LONG = 128 // the same with EAP_COMPAT_LONG_REALM
};

// Key-store request codes.
//   LOAD:             fill every field of the buffer from the store.
//   STORE_PSEUDONYM:  the library wrote a new pseudonym: persist it.
//   STORE_SEQMS:      the library wrote one SEQ_MS entry: persist the array.
enum {
    EAPAKA_AUTHKEY_LOAD = 1,
    EAPAKA_AUTHKEY_STORE_PSEUDONYM = 2,
    EAPAKA_AUTHKEY_STORE_SEQMS = 3
};

// KeyExchangeBuffer layout: 395 bytes, no alignment, byte strings most
// significant byte first.
//   PERMANENT_ID  16 bytes: the user part of the permanent identity as text
//                 (typically the IMSI in decimal digits), no realm, no NUL
//                 needed; the first permanentIdLength bytes (EAP_Init) count.
//   K, OPC        main key set; OPc already derived from OP and K.
//   K_ALT, OPC_ALT  alternate key set, used for challenges with AMF 0x0003.
//   C1..C5        Milenage constants, 16 bytes each (3GPP TS 35.206).
//   R1..R5        Milenage rotations in bits, signed 32-bit little-endian.
//   PSEUDONYM     23 bytes of text, present only when the first byte is 'G'.
//   SEQMS         32 entries of 6 bytes: entry i is SEQ_MS(i), the highest
//                 SEQ accepted with IND i (3GPP TS 33.102 Annex C), a 48-bit
//                 number most significant byte first, below 2^43.
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

// The three entry points below are C++ functions. The library exports them
// under their C++ names, which encode the parameter types (EAPAKA_NAME_*:
// the names to look up with dlsym or GetProcAddress). A C host, or a Windows
// host whose compiler mangles differently from a Microsoft compiler, is bound
// to those exact names here, so no other entry point exists or is needed.
#if defined(_WIN64)
#define EAPAKA_NAME_EAP_INIT "?EAP_Init@@YAXP6AHIPEAX@ZPEAUHWND__@@PEAEH@Z"
#define EAPAKA_NAME_REGISTER "?RegisterAuthKeyCallBack@@YAXP6AXK@ZPEAE@Z"
#define EAPAKA_NAME_EAP_LAYER "?EAP_layer@@YAHPEAE0PEAG@Z"
#define EAPAKA_C_PREFIX ""
#elif defined(_WIN32)
#define EAPAKA_NAME_EAP_INIT "?EAP_Init@@YAXP6AHIPAX@ZPAUHWND__@@PAEH@Z"
#define EAPAKA_NAME_REGISTER "?RegisterAuthKeyCallBack@@YAXP6AXK@ZPAE@Z"
#define EAPAKA_NAME_EAP_LAYER "?EAP_layer@@YAHPAE0PAG@Z"
#define EAPAKA_C_PREFIX "_"  // i386 C symbols carry a leading underscore
#else
#define EAPAKA_NAME_EAP_INIT "_Z8EAP_InitPFijPvEP6HWND__Phi"
#define EAPAKA_NAME_REGISTER "_Z23RegisterAuthKeyCallBackPFvmEPh"
#define EAPAKA_NAME_EAP_LAYER "_Z9EAP_layerPhS_Pt"
#endif

// EAPAKA_NATIVE_NAMES is defined by the library's own build and by programs
// that link its objects directly: they use their compiler's own names.
#if defined(EAPAKA_NATIVE_NAMES) || \
    (defined(__cplusplus) && (!defined(_WIN32) || defined(_MSC_VER)))
#define EAPAKA_BIND(name)  // the compiler's own name is the exported one
#elif defined(_WIN32) && defined(_MSC_VER)
// C with a Microsoft compiler: the linker resolves the C names to the
// decorated names of the import library.
#pragma comment(linker, "/alternatename:" EAPAKA_C_PREFIX "EAP_Init=" EAPAKA_NAME_EAP_INIT)
#pragma comment(linker, "/alternatename:" EAPAKA_C_PREFIX "RegisterAuthKeyCallBack=" EAPAKA_NAME_REGISTER)
#pragma comment(linker, "/alternatename:" EAPAKA_C_PREFIX "EAP_layer=" EAPAKA_NAME_EAP_LAYER)
#define EAPAKA_BIND(name)
#elif defined(_WIN32) && defined(__clang__)
// mingw-w64, C and C++: decorated names carry no underscore prefix.
#define EAPAKA_BIND(name) __asm__(name)
#elif defined(_WIN32) && defined(__GNUC__)
// The same for GCC, which hands the name to GNU as: '?' and '@' only pass
// inside a quoted symbol name.
#define EAPAKA_BIND(name) __asm__("\"" name "\"")
#elif defined(__GNUC__)
// C on ELF and Mach-O: the assembler label with the platform's prefix.
#define EAPAKA_STRINGIFY2(x) #x
#define EAPAKA_STRINGIFY(x) EAPAKA_STRINGIFY2(x)
#define EAPAKA_BIND(name) __asm__(EAPAKA_STRINGIFY(__USER_LABEL_PREFIX__) name)
#else
#error "eapaka.h: this C compiler has no assembler labels to bind the C++ entry points; see the README, Install and link"
#endif

// Starts a new conversation (and abandons any under way); identities,
// pseudonyms, the fast re-authentication identity, keys and SQN state
// survive it.
//   eventCallback      may be null: no events are delivered.
//   window             kept, never used; pass null.
//   realm              NUL-terminated text appended to the identity's user
//                      part, including the "@": "@wlan.example.net". Up to
//                      15 characters are kept (longer is cut; 128 when
//                      EAP_COMPAT_LONG_REALM was set before this call);
//                      null or "" selects the default realm "@aka.test".
//   permanentIdLength  bytes of EAPAKA_KEB_PERMANENT_ID that form the user
//                      part, 0..16 (15 for an IMSI of 15 digits).
EAPAKA_API void EAPAKA_CALL EAP_Init(HostEventCallback eventCallback, struct HWND__* window,
                                     unsigned char* realm, int permanentIdLength)
    EAPAKA_BIND(EAPAKA_NAME_EAP_INIT);

// Registers the key store: the callback and the host's buffer of
// EAPAKA_KEB_SIZE bytes, which must stay valid while the library is used.
// Call it before the first EAP_layer.
EAPAKA_API void EAPAKA_CALL RegisterAuthKeyCallBack(AuthKeyCallBack keyCallback,
                                                    unsigned char* keyExchangeBuffer)
    EAPAKA_BIND(EAPAKA_NAME_REGISTER);

// One received EAP packet in, at most one EAP packet out; returns one of
// EAPAKA_RESULT_*.
//   in      the packet as received (network byte order). The library reads as
//           many bytes as its EAP Length field says and turns that field into
//           host order in place, so `in` must be writable. A Length below 4
//           or above EAPAKA_REQUEST_MAX is dropped (result 15) unread.
//   out     room for EAPAKA_RESPONSE_MAX bytes.
//   outLen  set to the response length when a response is produced
//           (results 2 and 17), untouched otherwise.
EAPAKA_API int EAPAKA_CALL EAP_layer(unsigned char* in, unsigned char* out, unsigned short* outLen)
    EAPAKA_BIND(EAPAKA_NAME_EAP_LAYER);

#ifdef __cplusplus
extern "C" {
#endif

// Writes the EAPAKA_MSK_SIZE (64) bytes of the MSK of the last full or fast
// re-authentication to mskOut (all zero before the first one).
EAPAKA_API void EAPAKA_CALL getAAA(unsigned char* mskOut);

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
EAPAKA_API void EAPAKA_CALL EAP_SetCompatibility(unsigned int flags);

// HMAC-SHA1 (RFC 2104) of dataLength bytes of data under a keyLength-byte
// key; the first macLength bytes of the 20-byte MAC are written to mac
// (macLength below 1: nothing; above 20: the 20 bytes).
EAPAKA_API void EAPAKA_CALL hmac_sha1(const void* key, int keyLength, const void* data,
                                      int dataLength, unsigned char* mac, int macLength);

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
