// TEMPORARY STUB: replace with the real implementation.
#include "aka/aka.h"
bool verify_autn(const uint8_t[16], const uint8_t[16]) { return false; }
bool verify_at_mac(const uint8_t*, uint16_t) { return false; }
bool verify_checkcode() { return false; }
void compute_response_mac(const uint8_t*, unsigned) {}
void makeRSP_Challenge(uint8_t*, uint16_t*) {}
