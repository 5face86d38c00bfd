// The message log: a plain-text trace of packets, decisions and
// intermediate values, appended to only when the trace file already exists.
// Every message opens, appends and closes the file; no state is kept.
#ifndef EAPAKA_DIAG_MESSAGE_LOG_H
#define EAPAKA_DIAG_MESSAGE_LOG_H

#include <cstddef>
#include <cstdint>

// printf-style line: the formatted text followed by "\n".
void msglog_line(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Writes `length` bytes exactly as they stand, then "\n" (network text is
// never used as a format).
void msglog_text(const uint8_t* text, size_t length);

// Optional label and a tab, then "%2.2X " per byte with "\n\t" after every
// 16th byte, then "\n".
void msglog_hex(const char* label, const uint8_t* bytes, uint32_t count);

// Dump of an EAP packet whose Length field is in host byte order.
void msglog_eap_packet(const uint8_t* packet);

// The 32 six-byte SEQ_MS entries.
void msglog_seqms(const uint8_t seqms[32][6]);

#endif
