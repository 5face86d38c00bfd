// TEMPORARY STUB: replace with the real implementation.
#include "aka/aka.h"
bool PutSQN() { return false; }
void compute_auts(const uint8_t[16]) {}
void seq_from_sqn(uint8_t[6]) {}
void sqn_from_seq(uint8_t[6]) {}
int seq_subtract(const uint8_t[6], const uint8_t[6], uint8_t[6]) { return 0; }
