// Failure reports shared by the whole method, the AKA-Notification code
// table and the AKA-Notification response (RFC 4187 sections 6 and 9.10).
#include <cstring>

#include "aka/aka.h"
#include "api/session.h"
#include "diag/message_log.h"

// Two trace lines, then event (2, code) to the host when one is registered.
// The texts are written as they stand, never used as a format.
void aka_report_failure(const char* description, const char* label, uint32_t code) {
    msglog_line("%s", description);
    msglog_line("%s", label);
    aka_raise_event(EAPAKA_EVENT_STATUS, code);
}

void aka_report_malformed() {
    aka_report_failure("\t>>Malformed Attribute ", "\tC_AKA_FAIL_MALFORMED_ATTRIBUTE",
                       EAPAKA_FAIL_MALFORMED_ATTRIBUTE);
}

void aka_report_duplicate() {
    aka_report_failure("\t>>Duplicated Attribute ", "\tC_AKA_FAIL_DUPLICATE_ATTRIBUTE",
                       EAPAKA_FAIL_DUPLICATE_ATTRIBUTE);
}

namespace {

struct NotificationName {
    uint16_t code;
    const char* line;
};

// RFC 4187 section 10.19 codes with the names the trace shows for them.
const NotificationName kNotificationNames[] = {
    {0x0000, "\tAKA_FAIL_GENERAL_AFTER_AUTHEN"},
    {0x0402, "\tAKA_FAIL_ACCESS_DENIED"},
    {0x0407, "\tAKA_FAIL_NOT_SUBSCRIBED_SERVICE"},
    {0x07D1, "\tAKA_FAIL_INVALID_SUBTYPE_AFTER_AUTH"},
    {0x07DB, "\tAKA_FAIL_MISSING_ATTRIBUTE_AFTER_AUTH"},
    {0x07DC, "\tAKA_FAIL_INVALID_ATTRIBUTE_INCLUDED_AFTER_AUTH"},
    {0x07E5, "\tAKA_FAIL_INVALID_MAC"},
    {0x07E6, "\tAKA_FAIL_INVALID_RES"},
    {0x07E7, "\tAKA_FAIL_INVALID_CHECKCODE"},
    {0x4000, "\tAKA_FAIL_GENERAL_BEFORE_AUTHEN"},
    {0x47D1, "\tAKA_FAIL_INVALID_SUBTYPE_BEFORE_AUTH"},
    {0x47DB, "\tAKA_FAIL_MISSING_ATTRIBUTE_BEFORE_AUTH"},
    {0x47DC, "\tAKA_FAIL_INVALID_ATTRIBUTE_INCLUDED_BEFORE_AUTH"},
    {0x4E35, "\tAKA_FAIL_INVALID_IDENTITY"},
    {0x4E3F, "\tAKA_FAIL_PACKET_EXHAUSTED"},
    {0x4E40, "\tAKA_FAIL_TIME_OVER"},
    {0x4E41, "\tAKA_FAIL_PERIOD_EXPIRED"},
    {0x4E42, "\tAKA_FAIL_INVALID_USER"},
    {0x4E43, "\tAKA_FAIL_INVALID_MAC_ADDR"},
    {0x4E44, "\tAKA_FAIL_TOO_MANY_SYNC_FAIL"},
    {AKA_NOTIFICATION_SUCCESS, "\tAKA_SUCCESS"},
};

constexpr uint8_t kNotificationSubtypeHeader[AKA_PAYLOAD_HEADER_SIZE] = {AKA_SUBTYPE_NOTIFICATION, 0, 0};

}  // namespace

void aka_log_notification(uint16_t code) {
    const char* line = "\tNo match";
    for (const NotificationName& entry : kNotificationNames) {
        if (entry.code == code) {
            line = entry.line;
            break;
        }
    }
    msglog_line("\n================");
    msglog_line("\nWrite AKA-Noticode:");
    msglog_line("%s", line);
    msglog_line("\n================");
}

// RFC 4187 section 9.11: after authentication the acknowledgement carries
// AT_MAC over the whole response; before it (P bit set) it carries nothing.
void makeRSP_Notification(int selector, uint8_t* payload, uint16_t* words) {
    std::memcpy(payload, kNotificationSubtypeHeader, sizeof kNotificationSubtypeHeader);
    if (selector != 0) {
        *words = 0;
        return;
    }
    uint8_t work[AKA_PAYLOAD_HEADER_SIZE + AT_MAC_SIZE];
    std::memcpy(work, kNotificationSubtypeHeader, sizeof kNotificationSubtypeHeader);
    aka_write_mac_attribute(work + AKA_PAYLOAD_HEADER_SIZE);
    compute_response_mac(work, sizeof work);
    std::memcpy(work + AKA_PAYLOAD_HEADER_SIZE + AT_VALUE_OFFSET, g_session.responseMac, AT_MAC_VALUE_SIZE);
    std::memcpy(payload, work, sizeof work);
    *words = AT_MAC_SIZE / AKA_WORD;
}
