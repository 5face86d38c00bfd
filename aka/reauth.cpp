// TEMPORARY STUB: replace with the real implementation.
#include "aka/aka.h"
bool aka_decrypt_encr_data(uint8_t) { return false; }
bool aka_parse_encr_attributes(uint8_t*, uint8_t) { return false; }
void aka_build_encr_attributes(uint8_t[20], uint8_t[20]) {}
void aka_encrypt_counter(const uint8_t[16], uint8_t[16]) {}
void makeRSP_Reauthentication(uint8_t*, uint16_t*) {}
