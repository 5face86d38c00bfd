// TEMPORARY STUB
#include "crypto/milenage.h"
void milenage_f1(const uint8_t[16], const uint8_t[16], const uint8_t[6], const uint8_t[2], uint8_t[8]) {}
void milenage_f1star(const uint8_t[16], const uint8_t[16], const uint8_t[6], const uint8_t[2], uint8_t[8]) {}
void milenage_f2345(const uint8_t[16], const uint8_t[16], uint8_t[8], uint8_t[16], uint8_t[16], uint8_t[6]) {}
void milenage_f2345_logged(const uint8_t[16], const uint8_t[16], uint8_t[8], uint8_t[16], uint8_t[16], uint8_t[6]) {}
void milenage_f5star(const uint8_t[16], const uint8_t[16], uint8_t[6]) {}
void rotate128(const uint8_t[16], int32_t, uint8_t[16]) {}
