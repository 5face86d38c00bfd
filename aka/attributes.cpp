// TEMPORARY STUB: replace with the real implementation.
#include "aka/aka.h"
bool aka_parse_attributes(const uint8_t*, uint16_t) { return false; }
bool aka_check_padding(const uint8_t*, uint8_t) { return false; }
