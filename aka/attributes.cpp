// The EAP-AKA attribute parser (RFC 4187 section 8.1): a bounded walk over
// the attribute part of a request that fills g_session's AkaAttributes.
#include <cstring>

#include "aka/aka.h"
#include "api/session.h"
#include "eap/eap_packet.h"

namespace {

// AT_ENCR_DATA carries at most sizeof atEncrData bytes of ciphertext and
// AT_CHECKCODE at most a 20-byte digest: 4 bytes of header plus the value.
constexpr uint8_t ENCR_DATA_MAX_WORDS = (sizeof(AkaAttributes::atEncrData) + AT_VALUE_OFFSET) / AKA_WORD;
constexpr uint8_t CHECKCODE_MAX_WORDS = (sizeof(AkaAttributes::atCheckcode) + AT_VALUE_OFFSET) / AKA_WORD;

void reset_counts(AkaAttributes& a) {
    a.atRandCount = 0;
    a.atAutnCount = 0;
    a.atMacCount = 0;
    a.atNotificationCount = 0;
    a.atIvCount = 0;
    a.atEncrDataCount = 0;
    a.atCheckcodeCount = 0;
    a.atResultIndCount = 0;
}

// AT_RAND, AT_AUTN, AT_MAC, AT_IV: Length 5, two reserved bytes, 16 bytes.
size_t take_value16(const uint8_t* attr, size_t remaining, uint8_t value[16], int32_t& count) {
    if (attr[1] != AT_VALUE16_WORDS || remaining < AT_VALUE16_SIZE) return 0;
    std::memcpy(value, attr + AT_VALUE_OFFSET, 16);
    ++count;
    return AT_VALUE16_SIZE;
}

// AT_ENCR_DATA and AT_CHECKCODE: a variable value after two reserved bytes.
// A Length of 0 or one whose value would not fit `field` is refused.
size_t take_variable(const uint8_t* attr, size_t remaining, uint8_t maxWords, uint8_t* field,
                     uint8_t& lengthField, int32_t& count) {
    const uint8_t words = attr[1];
    const size_t size = size_t{words} * AKA_WORD;
    if (words == 0 || words > maxWords || size > remaining) return 0;
    std::memcpy(field, attr + AT_VALUE_OFFSET, size - AT_VALUE_OFFSET);
    lengthField = words;
    ++count;
    return size;
}

// Takes the attribute at `attr`, of which `remaining` bytes lie inside the
// message, into g_session. Returns the bytes it occupies, or 0 when it is
// malformed: unknown Type, a Length the attribute may not have, or a size
// running past the message.
size_t take_attribute(const uint8_t* attr, size_t remaining) {
    AkaAttributes& a = g_session;
    if (remaining < AT_HEADER_SIZE) return 0;
    switch (attr[0]) {
    case AT_RAND:
        return take_value16(attr, remaining, a.atRand, a.atRandCount);
    case AT_AUTN:
        return take_value16(attr, remaining, a.atAutn, a.atAutnCount);
    case AT_MAC:
        return take_value16(attr, remaining, a.atMac, a.atMacCount);
    case AT_IV:
        return take_value16(attr, remaining, a.atIv, a.atIvCount);
    case AT_NOTIFICATION:
        // The code sits where other attributes keep their reserved bytes;
        // the attribute is always one word, whatever its Length says.
        std::memcpy(&a.atNotificationWire, attr + 2, 2);
        a.atNotification = aka_get_be16(attr + 2);
        ++a.atNotificationCount;
        return AT_HEADER_SIZE;
    case AT_ENCR_DATA:
        return take_variable(attr, remaining, ENCR_DATA_MAX_WORDS, a.atEncrData, a.atEncrDataLength,
                             a.atEncrDataCount);
    case AT_CHECKCODE:
        return take_variable(attr, remaining, CHECKCODE_MAX_WORDS, a.atCheckcode, a.atCheckcodeLength,
                             a.atCheckcodeCount);
    case AT_RESULT_IND:
        if (attr[1] != 1) return 0;
        ++a.atResultIndCount;
        return AT_HEADER_SIZE;
    default:
        // Non-skippable and skippable types alike (RFC 4187 8.1): by default
        // this peer understands no attribute outside the table.
        return aka_skippable_attribute_size(attr, remaining);
    }
}

// Duplicates are judged after the whole walk, in this order; several
// AT_NOTIFICATION are allowed and the last one stands.
bool has_duplicate(const AkaAttributes& a) {
    const int32_t counts[] = {a.atRandCount,     a.atAutnCount, a.atIvCount,        a.atEncrDataCount,
                              a.atMacCount,      a.atCheckcodeCount, a.atResultIndCount};
    for (int32_t count : counts)
        if (count >= 2) return true;
    return false;
}

// Types of the skippable range that this peer knows, in the request or
// inside AT_ENCR_DATA: one of them in the wrong place is an error, not an
// unknown attribute.
constexpr uint8_t KNOWN_SKIPPABLE[] = {AT_IV, AT_ENCR_DATA, AT_NEXT_PSEUDONYM, AT_NEXT_REAUTH_ID,
                                       AT_CHECKCODE, AT_RESULT_IND};
constexpr uint8_t SKIPPABLE_FIRST = 128;

}  // namespace

size_t aka_skippable_attribute_size(const uint8_t* attr, size_t remaining) {
    if (!aka_compat(EAP_COMPAT_SKIP_UNKNOWN_SKIPPABLE)) return 0;
    if (remaining < AT_HEADER_SIZE || attr[0] < SKIPPABLE_FIRST) return 0;
    for (uint8_t known : KNOWN_SKIPPABLE)
        if (attr[0] == known) return 0;
    const size_t size = size_t{attr[1]} * AKA_WORD;
    return size != 0 && size <= remaining ? size : 0;
}

bool aka_parse_attributes(const uint8_t* attributes, uint16_t eapLength) {
    reset_counts(g_session);
    if (eapLength < AKA_HEADER_SIZE) {
        aka_report_malformed();
        return false;
    }
    size_t remaining = eapLength - AKA_HEADER_SIZE;
    const uint8_t* attr = attributes;
    while (remaining != 0) {
        const size_t used = take_attribute(attr, remaining);
        if (used == 0) {
            aka_report_malformed();
            return false;
        }
        attr += used;
        remaining -= used;
    }
    if (has_duplicate(g_session)) {
        aka_report_duplicate();
        return false;
    }
    return true;
}

// RFC 4187 10.12: the pad bytes after Type and Length must all be zero.
bool aka_check_padding(const uint8_t* padBytes, uint8_t length) {
    const int n = int{length} * AKA_WORD - 2;
    for (int i = 0; i < n; ++i) {
        if (padBytes[i] != 0) {
            aka_report_failure("\t>>Invalid pad bytes in AT_PADDING ", "\tC_AKA_FAIL_INVALID_PADDING",
                               EAPAKA_FAIL_INVALID_PADDING);
            return false;
        }
    }
    return true;
}
