// TEMPORARY STUB: replace with the real implementation.
#include "aka/aka.h"
void aka_report_failure(const char*, const char*, uint32_t) {}
void aka_report_malformed() {}
void aka_report_duplicate() {}
void aka_log_notification(uint16_t) {}
void makeRSP_Notification(int, uint8_t*, uint16_t*) {}
