// TEMPORARY STUB: to be replaced by the real message log.
#include "diag/message_log.h"
void msglog_line(const char*, ...) {}
void msglog_text(const uint8_t*, size_t) {}
void msglog_hex(const char*, const uint8_t*, uint32_t) {}
void msglog_eap_packet(const uint8_t*) {}
void msglog_seqms(const uint8_t[32][6]) {}
