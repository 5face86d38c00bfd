// The EAP-AKA peer method (RFC 4187): attribute parsing, state machine,
// identities, AKA-Challenge, SQN array, fast re-authentication,
// notifications and key derivation, all over g_session.
//
// Response builders (makeRSP_*) write the response payload: Subtype, two
// reserved zero bytes, then whole 4-byte-word attributes, and store the
// attribute size in words; the EAP layer adds Code, Identifier, Length and
// Type.
#ifndef EAPAKA_AKA_AKA_H
#define EAPAKA_AKA_AKA_H

#include <cstdint>

// Method results handed to the EAP layer.
enum {
    AKA_RESULT_REAUTH_DECRYPT_FAILED = 5,
    AKA_RESULT_CONTINUE = 11,
    AKA_RESULT_AUTHENTICATED = 77,
    AKA_RESULT_FAILED = 98,
    AKA_RESULT_SUCCESS_NOTIFIED = 99
};

// EAP-AKA subtypes (RFC 4187 section 11).
enum {
    AKA_SUBTYPE_CHALLENGE = 1,
    AKA_SUBTYPE_AUTHENTICATION_REJECT = 2,
    AKA_SUBTYPE_SYNCHRONIZATION_FAILURE = 4,
    AKA_SUBTYPE_IDENTITY = 5,
    AKA_SUBTYPE_NOTIFICATION = 12,
    AKA_SUBTYPE_REAUTHENTICATION = 13,
    AKA_SUBTYPE_CLIENT_ERROR = 14
};

// Attribute types (RFC 4187 section 11).
enum {
    AT_RAND = 1,
    AT_AUTN = 2,
    AT_RES = 3,
    AT_AUTS = 4,
    AT_PADDING = 6,
    AT_PERMANENT_ID_REQ = 10,
    AT_MAC = 11,
    AT_NOTIFICATION = 12,
    AT_ANY_ID_REQ = 13,
    AT_IDENTITY = 14,
    AT_FULLAUTH_ID_REQ = 17,
    AT_COUNTER = 19,
    AT_COUNTER_TOO_SMALL = 20,
    AT_NONCE_S = 21,
    AT_CLIENT_ERROR_CODE = 22,
    AT_IV = 129,
    AT_ENCR_DATA = 130,
    AT_NEXT_PSEUDONYM = 132,
    AT_NEXT_REAUTH_ID = 133,
    AT_CHECKCODE = 134,
    AT_RESULT_IND = 135
};

// Identity kinds for makeRSP_Identity.
enum { IDENTITY_REAUTH = 100, IDENTITY_PSEUDONYM = 101, IDENTITY_PERMANENT = 102 };

// Host-configured compatibility flags (EAP_SetCompatibility).
enum : uint32_t {
    AKA_COMPAT_SKIP_UNKNOWN_SKIPPABLE = 0x1,
    AKA_COMPAT_RFC_CHECKCODE = 0x2
};

// --- failure reports (notifications.cpp) ---
// Logs "\t>>description" style line and label, then raises event (2, code).
void aka_report_failure(const char* description, const char* label, uint32_t code);
void aka_report_malformed();
void aka_report_duplicate();

// --- attributes.cpp ---
bool aka_parse_attributes(const uint8_t* attributes, uint16_t eapLength);
bool aka_check_padding(const uint8_t* padBytes, uint8_t length);

// --- state_machine.cpp ---
int aka_process_request(const uint8_t* request, uint8_t* payload, uint16_t* words);
void makeRSP_ClientError(uint8_t* payload, uint16_t* words);
void makeRSP_AuthReject(uint8_t* payload, uint16_t* words);
void makeRSP_SyncFailure(uint8_t* payload, uint16_t* words);
void aka_record_identity_exchange(const uint8_t* request, uint16_t eapLength,
                                  const uint8_t* payload, uint16_t words);

// --- identity.cpp ---
// identityBuffer: 65 bytes, byte 0 the length n, bytes 1..n the identity.
void GetPseudonymID(uint8_t* identityBuffer, int selector);
void makeRSP_Identity(int kind, uint8_t* payload, uint16_t* words);

// --- challenge.cpp ---
bool verify_autn(const uint8_t rand[16], const uint8_t autn[16]);
bool verify_at_mac(const uint8_t* packet, uint16_t eapLength);
bool verify_checkcode();
void compute_response_mac(const uint8_t* payload, unsigned n);
void makeRSP_Challenge(uint8_t* payload, uint16_t* words);

// --- sqn.cpp ---
bool PutSQN();
void compute_auts(const uint8_t rand[16]);
void seq_from_sqn(uint8_t value[6]);
void sqn_from_seq(uint8_t value[6]);
int seq_subtract(const uint8_t a[6], const uint8_t b[6], uint8_t difference[6]);

// --- reauth.cpp ---
bool aka_decrypt_encr_data(uint8_t length);
bool aka_parse_encr_attributes(uint8_t* bytes, uint8_t length);
void aka_build_encr_attributes(uint8_t ivAttribute[20], uint8_t encrDataAttribute[20]);
void aka_encrypt_counter(const uint8_t iv[16], uint8_t block[16]);
void makeRSP_Reauthentication(uint8_t* payload, uint16_t* words);

// --- notifications.cpp ---
void aka_log_notification(uint16_t code);
void makeRSP_Notification(int selector, uint8_t* payload, uint16_t* words);

// --- keys.cpp ---
void derive_mk();
void derive_full_keys();
void derive_reauth_mk();
void derive_reauth_msk();

#endif
