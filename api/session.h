// The one process-wide session record. All library state lives here from
// load to unload; nothing is allocated per conversation.
#ifndef EAPAKA_API_SESSION_H
#define EAPAKA_API_SESSION_H

#include <cstddef>
#include <cstdint>

#include "crypto/aes.h"
#include "eapaka/eapaka.h"

// EAP state (RFC 3748 peer), see eap/eap_layer.cpp.
enum : uint32_t {
    EAP_STATE_IDLE = 1,            // no conversation under way
    EAP_STATE_CONVERSING = 2,      // identity given, Nak sent or method running
    EAP_STATE_AUTHENTICATED = 3,   // Challenge/Re-auth response sent
    EAP_STATE_SUCCESS_NOTIFIED = 4,// success notification acknowledged
    EAP_STATE_FAILED = 5           // method gave up; EAP-Failure awaited
};

// EAP-AKA method state.
enum : uint32_t {
    AKA_STATE_OPEN = 1,   // no authentication has succeeded in this exchange
    AKA_STATE_DONE = 2    // only AKA-Notification is accepted
};

constexpr size_t EAP_MAX_PACKET = 256;
// Default bounds: any identity 64 bytes, the realm 15 characters and its
// NUL, the record of AKA-Identity messages 160 bytes.
constexpr size_t IDENTITY_MAX = 64;
constexpr size_t REALM_SIZE = 16;
constexpr size_t IDENTITY_RECORD_SIZE = 160;
// Bounds with EAP_COMPAT_LONG_REALM: a realm of 128 characters, so a
// composed identity (23-byte pseudonym and realm) of 151 bytes, which an
// AKA-Identity response (12 + 152 bytes) and an EAP-Response/Identity still
// carry within 256 bytes; and room in the record for three identity rounds
// (the most a server needs: any, full-authentication, permanent identity)
// of requests and responses of up to 256 bytes each.
constexpr size_t REALM_MAX_LONG = 128;
constexpr size_t IDENTITY_MAX_LONG = 151;
constexpr size_t IDENTITY_RECORD_SIZE_LONG = 3 * 2 * EAP_MAX_PACKET;
constexpr size_t NOTIFICATION_TEXT_MAX = 1024;
constexpr size_t SEQMS_ENTRIES = 32;
constexpr size_t SEQ_SIZE = 6;
// EAP-AKA' (RFC 9048) bounds. AT_MAC is computed over at most 256 bytes, and
// the smallest AKA'-Challenge around AT_KDF_INPUT (header 8, AT_RAND and
// AT_AUTN 20 each, one AT_KDF 4, AT_KDF_INPUT header 4, AT_MAC 20) leaves 180
// bytes for the network name: no longer name can authenticate. Sixteen
// AT_KDF values are far more than the one function defined.
constexpr size_t NETWORK_NAME_MAX = 180;
constexpr size_t KDF_LIST_MAX = 16;
constexpr size_t K_AUT_PRIME_SIZE = 32;
constexpr size_t K_RE_SIZE = 32;
constexpr size_t CHECKCODE_MAX = 32;  // SHA-256; EAP-AKA's SHA-1 digest takes 20
constexpr uint16_t IDENTITY_KIND_PERMANENT = 13;
constexpr uint16_t IDENTITY_KIND_PSEUDONYM = 3;

// Attributes of the last parsed EAP-AKA request: a value field and an
// occurrence count per attribute. Counts are reset by every parse, values
// are not, so a reader must look at the count first.
struct AkaAttributes {
    uint8_t atRand[16];
    int32_t atRandCount;
    uint8_t atAutn[16];
    int32_t atAutnCount;
    uint8_t atMac[16];
    int32_t atMacCount;
    uint16_t atNotification;      // host order; 0x8000 S bit, 0x4000 P bit
    uint16_t atNotificationWire;  // the two bytes as received
    int32_t atNotificationCount;
    uint8_t atIv[16];
    int32_t atIvCount;
    uint8_t atEncrData[96];
    uint8_t atEncrDataLength;     // Length byte (words)
    int32_t atEncrDataCount;
    uint8_t atCheckcode[CHECKCODE_MAX];
    uint8_t atCheckcodeLength;    // Length byte (words)
    int32_t atCheckcodeCount;
    int32_t atResultIndCount;
    // EAP-AKA' only (RFC 9048 section 3.1): every AT_KDF in order, and the
    // network name of AT_KDF_INPUT without its length and padding.
    uint16_t atKdf[KDF_LIST_MAX];
    int32_t atKdfCount;
    uint8_t atKdfInput[NETWORK_NAME_MAX];
    uint16_t atKdfInputLength;    // bytes of name
    int32_t atKdfInputCount;
    // AT_BIDDING of an EAP-AKA request (RFC 9048 section 4), known only
    // while EAP-AKA' is enabled.
    uint16_t atBidding;
    int32_t atBiddingCount;
};

// The attributes found inside a decrypted AT_ENCR_DATA (RFC 4187 section
// 10.12), as taken, and which of them were present. By default each takes
// effect as soon as it is parsed; under EAP_COMPAT_STRICT_SUCCESS only after
// the request's AT_MAC has verified.
enum : uint8_t {
    ENCR_HAS_COUNTER = 0x1,
    ENCR_HAS_NONCE = 0x2,
    ENCR_HAS_PSEUDONYM = 0x4,
    ENCR_HAS_REAUTH_ID = 0x8
};
struct AkaEncrValues {
    uint8_t present;              // ENCR_HAS_* of the last parse
    uint8_t staged;               // ENCR_HAS_* taken but not yet in effect
    uint16_t counter;             // as on the wire
    uint8_t nonceS[16];
    uint16_t pseudonymLength;
    uint8_t pseudonym[68];
    uint8_t reauthIdWords;        // Length of the AT_NEXT_REAUTH_ID
    uint16_t reauthIdLength;
    uint8_t reauthId[IDENTITY_MAX];
};

struct AkaSession : AkaAttributes {
    AkaSession();

    // Library interface and set-up.
    HostEventCallback hostEventCallback;
    HWND hostWindow;
    uint8_t realm[REALM_MAX_LONG + 1];  // NUL-terminated, at most 15 characters
                                        // (128 with EAP_COMPAT_LONG_REALM)
    int32_t permanentIdLength;
    uintptr_t responseTimerId;
    uint8_t responseTimerArmed;
    AuthKeyCallBack authKeyCallBack;
    uint8_t* keyExchangeBuffer;
    uint32_t compatibilityFlags;        // host configuration, 0 at load

    // EAP layer.
    uint32_t eapState;
    uint8_t lastResponse[EAP_MAX_PACKET];  // Identifier byte 0: none held
    uint8_t identity[IDENTITY_MAX_LONG];   // at most 64 bytes used by default
    uint16_t identityLength;

    // EAP-AKA state machine.
    uint32_t akaState;
    uint8_t requestIdentifier;
    // EAP Type of the method running in this exchange: 23 (EAP-AKA), 50
    // (EAP-AKA', EAP_COMPAT_AKA_PRIME) or 0 before its first request.
    uint8_t methodType;
    // EAP-AKA' key derivation function negotiation (RFC 9048 section 3.2)
    // in this exchange: the AT_KDF list of its last AKA'-Challenge (none
    // while kdfOfferCount is 0), and whether the peer has asked for KDF 1.
    uint16_t kdfOffer[KDF_LIST_MAX];
    uint8_t kdfOfferCount;
    uint8_t kdfRequested;
    uint8_t identityMessageRecord[IDENTITY_RECORD_SIZE_LONG];  // 160 used by default
    uint16_t identityMessageRecordLength;
    // The AKA-Challenge or AKA-Reauthentication of this exchange was
    // accepted (its AT_MAC verified, its counter fresh); cleared with
    // akaState. Decides success under EAP_COMPAT_STRICT_SUCCESS.
    uint8_t exchangeAuthenticated;
    // An AKA-Challenge was accepted since load; never cleared.
    uint8_t fullAuthDone;

    // Identity.
    uint16_t identityKind;

    // AKA-Challenge.
    uint8_t opc[16];
    uint8_t milenageC[5][16];
    int32_t milenageR[5];
    uint8_t res[8];
    uint8_t ck[16];
    uint8_t ik[16];
    uint8_t sqn[SEQ_SIZE];
    uint8_t autnAmf[2];
    uint8_t altKeySetUsed;
    uint8_t responseMac[16];
    uint8_t checkcodeDigest[CHECKCODE_MAX];  // 20 bytes used by EAP-AKA
    // EAP-AKA' (TS 33.402 Annex A.2) keys of the last AKA'-Challenge.
    uint8_t ckPrime[16];
    uint8_t ikPrime[16];

    // SQN array and resynchronisation.
    uint8_t seqms[SEQMS_ENTRIES][SEQ_SIZE];
    uint8_t auts[14];

    // Fast re-authentication. The counters hold their two bytes as on the
    // wire (network byte order).
    uint16_t reauthCounter;
    uint16_t lastReauthCounter;
    uint8_t counterFresh;
    uint8_t nonceS[16];
    uint8_t nextPseudonymPresent;
    uint16_t nextPseudonymLength;
    uint8_t nextPseudonym[68];
    uint8_t reauthIdPresent;
    uint8_t reauthIdLengthWords;
    uint16_t reauthIdLength;
    uint8_t reauthId[IDENTITY_MAX];
    // 1 when the held re-authentication identity, or the pseudonym last
    // stored, arrived in EAP-AKA' rather than EAP-AKA: neither is used in the
    // other method (RFC 9048 section 3.1).
    uint8_t reauthIdPrime;
    uint8_t pseudonymPrime;
    uint8_t appendNonceS;
    // What the last decrypted AT_ENCR_DATA carried, before it takes effect.
    AkaEncrValues encrValues;

    // Keys. fullAuthMk is the MK of the last full authentication, which
    // mk gives up to XKEY' after a fast re-authentication. K_aut has 16
    // bytes in EAP-AKA and 32 in EAP-AKA', which also has K_re (RFC 9048
    // section 3.3; MK itself and the EMSK are not kept). keysPrime is 1
    // when EAP-AKA' derived them: keys serve only the method that made them
    // (the all-zero keys of a library that has derived none count as
    // EAP-AKA's).
    uint8_t mk[20];
    uint8_t fullAuthMk[20];
    uint8_t kEncr[16];
    uint8_t kAut[K_AUT_PRIME_SIZE];
    uint8_t kRe[K_RE_SIZE];
    uint8_t msk[64];
    uint8_t keysPrime;

    // Crypto state shared by the primitives.
    uint8_t sha1RawMode;
    AesCipher aesCipher;
    uint8_t milenageRoundKeys[11][4][4];
};

extern AkaSession g_session;

// True when the host has switched on `flag` (EAP_COMPAT_* in eapaka.h).
inline bool aka_compat(unsigned flag) { return (g_session.compatibilityFlags & flag) != 0; }

// Puts the record back to its load state (and stops every timer). Internal:
// for tests, never exported.
void aka_session_reset();

// Delivers an event to the host when a callback is registered.
void aka_raise_event(unsigned int event, uintptr_t argument);

#endif
