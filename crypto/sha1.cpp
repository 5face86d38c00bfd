// TEMPORARY STUB: to be replaced by the real SHA-1 / HMAC-SHA1.
#include "crypto/sha1.h"
#include "eapaka/eapaka.h"
int sha1_reset(Sha1Context*) { return SHA1_NULL; }
int sha1_input(Sha1Context*, const uint8_t*, unsigned) { return SHA1_NULL; }
int sha1_result(Sha1Context*, uint8_t[20]) { return SHA1_NULL; }
void sha1_process_block(Sha1Context*) {}
extern "C" void hmac_sha1(const void*, int, const void*, int, unsigned char*, int) {}
