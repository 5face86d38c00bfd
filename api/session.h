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
constexpr size_t IDENTITY_MAX = 64;
constexpr size_t REALM_SIZE = 16;
constexpr size_t IDENTITY_RECORD_SIZE = 160;
constexpr size_t NOTIFICATION_TEXT_MAX = 1024;
constexpr size_t SEQMS_ENTRIES = 32;
constexpr size_t SEQ_SIZE = 6;
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
    uint8_t atCheckcode[20];
    uint8_t atCheckcodeLength;    // Length byte (words)
    int32_t atCheckcodeCount;
    int32_t atResultIndCount;
};

struct AkaSession : AkaAttributes {
    AkaSession();

    // Library interface and set-up.
    HostEventCallback hostEventCallback;
    HWND hostWindow;
    uint8_t realm[REALM_SIZE];          // NUL-terminated, at most 15 characters
    int32_t permanentIdLength;
    uintptr_t responseTimerId;
    uint8_t responseTimerArmed;
    AuthKeyCallBack authKeyCallBack;
    uint8_t* keyExchangeBuffer;
    uint32_t compatibilityFlags;        // host configuration, 0 at load

    // EAP layer.
    uint32_t eapState;
    uint8_t lastResponse[EAP_MAX_PACKET];  // Identifier byte 0: none held
    uint8_t identity[IDENTITY_MAX];
    uint16_t identityLength;

    // EAP-AKA state machine.
    uint32_t akaState;
    uint8_t requestIdentifier;
    uint8_t identityMessageRecord[IDENTITY_RECORD_SIZE];
    uint16_t identityMessageRecordLength;

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
    uint8_t checkcodeDigest[20];

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
    uint8_t appendNonceS;

    // Keys.
    uint8_t mk[20];
    uint8_t kEncr[16];
    uint8_t kAut[16];
    uint8_t msk[64];

    // Crypto state shared by the primitives.
    uint8_t sha1RawMode;
    AesCipher aesCipher;
    uint8_t milenageRoundKeys[11][4][4];
};

extern AkaSession g_session;

// Puts the record back to its load state (and stops every timer). Internal:
// for tests, never exported.
void aka_session_reset();

// Delivers an event to the host when a callback is registered.
void aka_raise_event(unsigned int event, uintptr_t argument);

#endif
