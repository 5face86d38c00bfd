// TEMPORARY STUB: replace with the real implementation.
#include "aka/aka.h"
int aka_process_request(const uint8_t*, uint8_t* payload, uint16_t* words) { payload[0] = 14; payload[1] = payload[2] = 0; *words = 0; return AKA_RESULT_FAILED; }
void makeRSP_ClientError(uint8_t*, uint16_t*) {}
void makeRSP_AuthReject(uint8_t*, uint16_t*) {}
void makeRSP_SyncFailure(uint8_t*, uint16_t*) {}
void aka_record_identity_exchange(const uint8_t*, uint16_t, const uint8_t*, uint16_t) {}
