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

#include <cstddef>
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
    AT_KDF_INPUT = 23,   // EAP-AKA' (RFC 9048 section 3.1)
    AT_KDF = 24,         // EAP-AKA'
    AT_IV = 129,
    AT_ENCR_DATA = 130,
    AT_NEXT_PSEUDONYM = 132,
    AT_NEXT_REAUTH_ID = 133,
    AT_CHECKCODE = 134,
    AT_RESULT_IND = 135,
    AT_BIDDING = 136     // in EAP-AKA, from a server that supports EAP-AKA' (RFC 9048 section 4)
};

// Wire sizes (RFC 4187 section 8.1): attributes are whole 4-byte words, the
// first two bytes being Type and Length; most values follow two reserved
// bytes.
constexpr unsigned AKA_WORD = 4;
constexpr unsigned AKA_PAYLOAD_HEADER_SIZE = 3;   // Subtype and two reserved bytes
constexpr unsigned AKA_PAYLOAD_MAX = 251;         // a 256-byte response minus its EAP header
constexpr unsigned AT_HEADER_SIZE = 4;            // Type, Length, two bytes of value
constexpr unsigned AT_VALUE_OFFSET = 4;
constexpr uint8_t AT_VALUE16_WORDS = 5;           // AT_RAND, AT_AUTN, AT_MAC, AT_IV, AT_NONCE_S
constexpr unsigned AT_VALUE16_SIZE = 20;
constexpr unsigned AT_MAC_SIZE = 20;
constexpr unsigned AT_MAC_VALUE_SIZE = 16;
constexpr unsigned AT_CHECKCODE_DIGEST_WORDS = 6; // a 20-byte SHA-1 digest
constexpr uint8_t AT_CHECKCODE_EMPTY_WORDS = 1;
constexpr unsigned AT_CHECKCODE_PRIME_WORDS = 9;  // a 32-byte SHA-256 digest (RFC 9048 section 3.3)
constexpr uint8_t AT_KDF_WORDS = 1;               // RFC 9048 section 3.2
constexpr uint16_t AKA_NOTIFICATION_SUCCESS = 0x8000;
constexpr uint16_t AKA_NOTIFICATION_P_BIT = 0x4000;

// Identity kinds for makeRSP_Identity.
enum { IDENTITY_REAUTH = 100, IDENTITY_PSEUDONYM = 101, IDENTITY_PERMANENT = 102 };

// --- the running method (state_machine.cpp) ---
// True while this exchange runs EAP-AKA' (RFC 9048); false for EAP-AKA and
// before any method request.
bool aka_is_prime();
// The EAP Type the method writes into the headers it builds and MACs: 50
// for EAP-AKA', else 23.
uint8_t aka_eap_type();
// True when the keys were derived by the running method (the all-zero keys
// of a library that has derived none count as EAP-AKA's).
bool aka_keys_match_method();

// --- attributes.cpp ---
// Bytes occupied by an attribute of a type this peer does not know, when the
// host has opted in to skipping them (RFC 4187 8.1: types 128..255 may be
// ignored) and the attribute fits in `remaining`; 0 otherwise (malformed).
size_t aka_skippable_attribute_size(const uint8_t* attr, size_t remaining);

// --- byte helpers (challenge.cpp) ---
// EAP Length of a packet whose Length field the EAP layer has turned into
// host byte order.
uint16_t aka_packet_length(const uint8_t* packet);
// Big-endian 16-bit number at p.
inline uint16_t aka_get_be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline void aka_put_be16(uint8_t* p, unsigned value) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}
// Zeroes secrets held in locals (K); not optimised away.
void aka_wipe(uint8_t* bytes, unsigned n);
// True when the n bytes of a and b are equal; the time taken does not depend
// on where they differ (MACs, AUTN, digests).
bool aka_bytes_equal(const uint8_t* a, const uint8_t* b, unsigned n);
// Writes AT_MAC (11, 5, 0, 0) with a zero value, 20 bytes.
void aka_write_mac_attribute(uint8_t* attribute);

// --- failure reports (notifications.cpp) ---
// Logs the description line (it begins with "\t>>") and the label line (it
// begins with "\tC_AKA_FAIL_") as they stand, then raises event (2, code)
// when a host callback is registered.
void aka_report_failure(const char* description, const char* label, uint32_t code);
void aka_report_malformed();
void aka_report_duplicate();

// --- attributes.cpp ---
bool aka_parse_attributes(const uint8_t* attributes, uint16_t eapLength);
bool aka_check_padding(const uint8_t* padBytes, uint8_t length);

// --- state_machine.cpp ---
// A new exchange: method state 1, empty AKA-Identity record, no server
// authenticated yet.
void aka_start_exchange();
int aka_process_request(const uint8_t* request, uint8_t* payload, uint16_t* words);
void makeRSP_ClientError(uint8_t* payload, uint16_t* words);
void makeRSP_AuthReject(uint8_t* payload, uint16_t* words);
void makeRSP_SyncFailure(uint8_t* payload, uint16_t* words);
void aka_record_identity_exchange(const uint8_t* request, uint16_t eapLength,
                                  const uint8_t* payload, uint16_t words);

// --- identity.cpp ---
// identityBuffer: 1 + IDENTITY_MAX_LONG bytes, byte 0 the length n, bytes
// 1..n the identity.
void GetPseudonymID(uint8_t* identityBuffer, int selector);
// Hands the pseudonym just received (nextPseudonym) to the key store.
void aka_store_next_pseudonym();
void makeRSP_Identity(int kind, uint8_t* payload, uint16_t* words);

// --- challenge.cpp ---
bool verify_autn(const uint8_t rand[16], const uint8_t autn[16]);
bool verify_at_mac(const uint8_t* packet, uint16_t eapLength);
bool verify_checkcode();
void compute_response_mac(const uint8_t* payload, unsigned n);
void makeRSP_Challenge(uint8_t* payload, uint16_t* words);
// AT_RESULT_IND and AT_CHECKCODE (with checkcodeDigest) when the request
// carried them, in that order (RFC 4187 9.4, 9.8); returns the bytes written.
unsigned aka_write_echoed_attributes(uint8_t* out);

// --- prime_challenge.cpp (EAP-AKA', RFC 9048) ---
// Verdicts on the AT_KDF list and AT_KDF_INPUT of an AKA'-Challenge: go on
// with AKA, answer with a request for KDF 1, or fail as a missing attribute,
// a wrong AUTN or a wrong AT_MAC would (failures already reported).
enum { KDF_PROCEED, KDF_ASK, KDF_INPUT_MISSING, KDF_AS_BAD_AUTN, KDF_AS_BAD_MAC };
int aka_check_kdf_offer();
bool verify_separation_bit(const uint8_t autn[16]);
// True (and reported) when an EAP-AKA challenge asks to be refused by its
// AT_BIDDING; false when there is nothing to act on.
bool bidding_down_detected();
void makeRSP_KdfRequest(uint8_t* payload, uint16_t* words);
// The AT_KDF attributes of the last challenge, in order; returns the bytes.
unsigned aka_write_kdf_echo(uint8_t* out);

// --- sqn.cpp ---
bool PutSQN();
void compute_auts(const uint8_t rand[16]);
void seq_from_sqn(uint8_t value[6]);
void sqn_from_seq(uint8_t value[6]);
int seq_subtract(const uint8_t a[6], const uint8_t b[6], uint8_t difference[6]);

// --- reauth.cpp ---
bool aka_decrypt_encr_data(uint8_t length);
bool aka_parse_encr_attributes(uint8_t* bytes, uint8_t length);
// Puts into effect what the last parse staged (EAP_COMPAT_STRICT_SUCCESS,
// once AT_MAC has verified); nothing when nothing is staged.
void aka_commit_encr_attributes();
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
// EAP-AKA' (RFC 9048 section 3.3): CK', IK', then K_encr, K_aut, K_re and
// the MSK from PRF'; and the MSK of a fast re-authentication from K_re.
void derive_prime_keys();
void derive_prime_reauth_msk();

#endif
