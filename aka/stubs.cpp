// TEMPORARY STUBS: each function moves to its own file (attributes.cpp,
// state_machine.cpp, identity.cpp, challenge.cpp, sqn.cpp, reauth.cpp,
// notifications.cpp, keys.cpp) as it is implemented; delete it here then.
#include "aka/aka.h"
void aka_report_failure(const char*, const char*, uint32_t) {}
void aka_report_malformed() {}
void aka_report_duplicate() {}
bool aka_parse_attributes(const uint8_t*, uint16_t) { return false; }
bool aka_check_padding(const uint8_t*, uint8_t) { return false; }
int aka_process_request(const uint8_t*, uint8_t* payload, uint16_t* words) { payload[0] = 14; payload[1] = payload[2] = 0; *words = 0; return AKA_RESULT_FAILED; }
void makeRSP_ClientError(uint8_t*, uint16_t*) {}
void makeRSP_AuthReject(uint8_t*, uint16_t*) {}
void makeRSP_SyncFailure(uint8_t*, uint16_t*) {}
void aka_record_identity_exchange(const uint8_t*, uint16_t, const uint8_t*, uint16_t) {}
void GetPseudonymID(uint8_t* identityBuffer, int) { identityBuffer[0] = 0; }
void makeRSP_Identity(int, uint8_t*, uint16_t*) {}
bool verify_autn(const uint8_t[16], const uint8_t[16]) { return false; }
bool verify_at_mac(const uint8_t*, uint16_t) { return false; }
bool verify_checkcode() { return false; }
void compute_response_mac(const uint8_t*, unsigned) {}
void makeRSP_Challenge(uint8_t*, uint16_t*) {}
bool PutSQN() { return false; }
void compute_auts(const uint8_t[16]) {}
void seq_from_sqn(uint8_t[6]) {}
void sqn_from_seq(uint8_t[6]) {}
int seq_subtract(const uint8_t[6], const uint8_t[6], uint8_t[6]) { return 0; }
bool aka_decrypt_encr_data(uint8_t) { return false; }
bool aka_parse_encr_attributes(uint8_t*, uint8_t) { return false; }
void aka_build_encr_attributes(uint8_t[20], uint8_t[20]) {}
void aka_encrypt_counter(const uint8_t[16], uint8_t[16]) {}
void makeRSP_Reauthentication(uint8_t*, uint16_t*) {}
void aka_log_notification(uint16_t) {}
void makeRSP_Notification(int, uint8_t*, uint16_t*) {}
void derive_mk() {}
void derive_full_keys() {}
void derive_reauth_mk() {}
void derive_reauth_msk() {}
