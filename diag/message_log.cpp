// The message log. Each message opens the trace file (which must already
// exist: deleting it switches the trace off), appends at its end and closes
// it again, so nothing is kept between messages and a crash loses at most
// the message being written.
#include "diag/message_log.h"

#include <cstdarg>
#include <cstdio>

#include "api/session.h"
#include "eap/eap_packet.h"
#include "platform/platform.h"

namespace {

constexpr unsigned HEX_BYTES_PER_LINE = 16;

const char* eap_code_name(uint8_t code) {
    switch (code) {
    case EAP_CODE_REQUEST: return "Request";
    case EAP_CODE_RESPONSE: return "Response";
    case EAP_CODE_SUCCESS: return "Success";
    case EAP_CODE_FAILURE: return "Failure";
    default: return "?";
    }
}

const char* eap_type_name(uint8_t type) {
    switch (type) {
    case EAP_TYPE_IDENTITY: return "Identity";
    case EAP_TYPE_NOTIFICATION: return "Notification";
    case EAP_TYPE_NAK: return "Nak Response";
    case EAP_TYPE_AKA: return "EAP-AKA";
    default: return "?";
    }
}

}  // namespace

void msglog_line(const char* format, ...) {
    std::FILE* file = platform_open_trace();
    if (file == nullptr) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(file, format, args);
    va_end(args);
    std::fputc('\n', file);
    std::fclose(file);
}

void msglog_text(const uint8_t* text, size_t length) {
    std::FILE* file = platform_open_trace();
    if (file == nullptr) return;
    if (length > 0) std::fwrite(text, 1, length, file);
    std::fputc('\n', file);
    std::fclose(file);
}

void msglog_hex(const char* label, const uint8_t* bytes, uint32_t count) {
    std::FILE* file = platform_open_trace();
    if (file == nullptr) return;
    if (label != nullptr) std::fprintf(file, "%s\t", label);
    for (uint32_t i = 0; i < count; ++i) {
        std::fprintf(file, "%2.2X ", bytes[i]);
        if ((i + 1) % HEX_BYTES_PER_LINE == 0) std::fputs("\n\t", file);
    }
    std::fputc('\n', file);
    std::fclose(file);
}

void msglog_eap_packet(const uint8_t* packet) {
    PlatformLocalTime now{};
    platform_local_time(&now);
    msglog_line("\tTime Stamp: %d.%d %2d:%2d:%2d:%d", now.month, now.day, now.hour, now.minute,
                now.second, now.milliseconds);
    const uint16_t length = eap_length(packet);
    msglog_line("\tEAP code  : %s (0x%2.2x)", eap_code_name(packet[0]), packet[0]);
    msglog_line("\tEAP id    : 0x%2.2x", packet[1]);
    msglog_line("\tEAP length: 0x%4.4x (%d)", length, length);
    if (length > EAP_HEADER_SIZE) {
        msglog_line("\tType: %s (0x%2.2x)", eap_type_name(packet[4]), packet[4]);
        msglog_hex("\tData:\n", packet + EAP_TYPE_HEADER_SIZE, length - EAP_TYPE_HEADER_SIZE);
    }
}

void msglog_seqms(const uint8_t seqms[32][6]) {
    for (unsigned i = 0; i < SEQMS_ENTRIES; ++i) {
        msglog_line("\tSEQMS[%2u]", i);
        msglog_hex("\t", seqms[i], SEQ_SIZE);
    }
}
