// Milenage (3GPP TS 35.206) with OPc, c1..c5 and r1..r5 taken from the
// session record, so that operator variants work as well as the standard.
#ifndef EAPAKA_CRYPTO_MILENAGE_H
#define EAPAKA_CRYPTO_MILENAGE_H

#include <cstdint>

void milenage_f1(const uint8_t k[16], const uint8_t rand[16], const uint8_t sqn[6],
                 const uint8_t amf[2], uint8_t macA[8]);
void milenage_f1star(const uint8_t k[16], const uint8_t rand[16], const uint8_t sqn[6],
                     const uint8_t amf[2], uint8_t macS[8]);
void milenage_f2345(const uint8_t k[16], const uint8_t rand[16], uint8_t res[8], uint8_t ck[16],
                    uint8_t ik[16], uint8_t ak[6]);
void milenage_f2345_logged(const uint8_t k[16], const uint8_t rand[16], uint8_t res[8],
                           uint8_t ck[16], uint8_t ik[16], uint8_t ak[6]);
void milenage_f5star(const uint8_t k[16], const uint8_t rand[16], uint8_t ak[6]);

// rot(x, r) of TS 35.206: rotate towards the most significant bit.
void rotate128(const uint8_t input[16], int32_t r, uint8_t output[16]);

#endif
