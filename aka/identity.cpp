// TEMPORARY STUB: replace with the real implementation.
#include "aka/aka.h"
void GetPseudonymID(uint8_t* identityBuffer, int) { identityBuffer[0] = 0; }
void makeRSP_Identity(int, uint8_t*, uint16_t*) {}
