#ifndef EAPAKA_CRYPTO_FIPS186_PRF_H
#define EAPAKA_CRYPTO_FIPS186_PRF_H

#include <cstdint>

// FIPS 186-2 (change notice 1) pseudo-random function as RFC 4187 section 7
// uses it: 160 output bytes from a 20-byte XKEY, XSEED zero, no mod q.
// xkey is not modified; sha1RawMode is 0 on return.
void fips186_prf(const uint8_t xkey[20], uint8_t output[160]);

#endif
