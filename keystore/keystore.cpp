// TEMPORARY STUB: to be replaced by the real key store protocol.
#include "keystore/keystore.h"
void keystore_load_permanent_id(uint8_t[16]) {}
void keystore_load_pseudonym(uint8_t[23]) {}
void keystore_load_key_set(uint8_t[16]) {}
void keystore_load_alt_key_set(uint8_t[16]) {}
void keystore_load_milenage_c() {}
void keystore_load_milenage_r() {}
void keystore_load_seqms() {}
void keystore_store_pseudonym(const uint8_t*) {}
void keystore_store_seq_entry(unsigned, const uint8_t[6]) {}
