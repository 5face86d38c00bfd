// The EAP-AKA attribute parser (RFC 4187 section 8.1): a bounded walk over
// the attribute part of a request that fills g_session's AkaAttributes.
#include <cstring>

#include "aka/aka.h"
#include "api/session.h"
#include "eap/eap_packet.h"

namespace {

// AT_ENCR_DATA carries at most sizeof atEncrData bytes of ciphertext and
// AT_CHECKCODE at most a 20-byte digest (32 in EAP-AKA'): 4 bytes of header
// plus the value.
constexpr uint8_t ENCR_DATA_MAX_WORDS = (sizeof(AkaAttributes::atEncrData) + AT_VALUE_OFFSET) / AKA_WORD;
constexpr uint8_t CHECKCODE_MAX_WORDS = AT_CHECKCODE_DIGEST_WORDS;
constexpr uint8_t AT_BIDDING_WORDS = 1;

void reset_counts(AkaAttributes& a) {
    a.atRandCount = 0;
    a.atAutnCount = 0;
    a.atMacCount = 0;
    a.atNotificationCount = 0;
    a.atIvCount = 0;
    a.atEncrDataCount = 0;
    a.atCheckcodeCount = 0;
    a.atResultIndCount = 0;
    a.atKdfCount = 0;
    a.atKdfInputCount = 0;
    a.atBiddingCount = 0;
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

// AT_CHECKCODE of EAP-AKA' is empty or a whole SHA-256 digest (RFC 9048
// section 3.3), Length 1 or 9; EAP-AKA keeps its range of 1 to 6.
size_t take_checkcode(const uint8_t* attr, size_t remaining) {
    AkaAttributes& a = g_session;
    if (!aka_is_prime())
        return take_variable(attr, remaining, CHECKCODE_MAX_WORDS, a.atCheckcode, a.atCheckcodeLength,
                             a.atCheckcodeCount);
    if (attr[1] != AT_CHECKCODE_EMPTY_WORDS && attr[1] != AT_CHECKCODE_PRIME_WORDS) return 0;
    return take_variable(attr, remaining, AT_CHECKCODE_PRIME_WORDS, a.atCheckcode, a.atCheckcodeLength,
                         a.atCheckcodeCount);
}

// AT_KDF (RFC 9048 section 3.2): one word, the function number where other
// attributes keep their reserved bytes; every occurrence is kept in order,
// up to KDF_LIST_MAX.
size_t take_kdf(const uint8_t* attr) {
    AkaAttributes& a = g_session;
    if (attr[1] != AT_KDF_WORDS || a.atKdfCount >= static_cast<int32_t>(KDF_LIST_MAX)) return 0;
    a.atKdf[a.atKdfCount++] = aka_get_be16(attr + 2);
    return AT_HEADER_SIZE;
}

// AT_KDF_INPUT (RFC 9048 section 3.1): the name's actual length, then the
// name, padded to a whole word. The name must lie inside the attribute and
// fit its field; an empty one is for the challenge to judge.
size_t take_kdf_input(const uint8_t* attr, size_t remaining) {
    AkaAttributes& a = g_session;
    const size_t size = size_t{attr[1]} * AKA_WORD;
    if (size == 0 || size > remaining) return 0;
    const size_t nameLength = aka_get_be16(attr + 2);
    if (nameLength > size - AT_HEADER_SIZE || nameLength > sizeof a.atKdfInput) return 0;
    std::memcpy(a.atKdfInput, attr + AT_VALUE_OFFSET, nameLength);
    a.atKdfInputLength = static_cast<uint16_t>(nameLength);
    ++a.atKdfInputCount;
    return size;
}

// AT_BIDDING (RFC 9048 section 4): one word, the D bit in its value. A peer
// that offers EAP-AKA' understands it in EAP-AKA requests; EAP-AKA'
// requests never carry it.
size_t take_bidding(const uint8_t* attr, size_t remaining) {
    AkaAttributes& a = g_session;
    if (!aka_compat(EAP_COMPAT_AKA_PRIME)) return aka_skippable_attribute_size(attr, remaining);
    if (aka_is_prime() || attr[1] != AT_BIDDING_WORDS) return 0;
    a.atBidding = aka_get_be16(attr + 2);
    ++a.atBiddingCount;
    return AT_HEADER_SIZE;
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
        return take_checkcode(attr, remaining);
    case AT_RESULT_IND:
        if (attr[1] != 1) return 0;
        ++a.atResultIndCount;
        return AT_HEADER_SIZE;
    // Non-skippable in EAP-AKA, where this peer does not know them.
    case AT_KDF:
        return aka_is_prime() ? take_kdf(attr) : 0;
    case AT_KDF_INPUT:
        return aka_is_prime() ? take_kdf_input(attr, remaining) : 0;
    case AT_BIDDING:
        return take_bidding(attr, remaining);
    default:
        // Non-skippable and skippable types alike (RFC 4187 8.1): by default
        // this peer understands no attribute outside the table.
        return aka_skippable_attribute_size(attr, remaining);
    }
}

// Duplicates are judged after the whole walk, in this order; several
// AT_NOTIFICATION are allowed and the last one stands, and AT_KDF is a list.
bool has_duplicate(const AkaAttributes& a) {
    const int32_t counts[] = {a.atRandCount,      a.atAutnCount,     a.atIvCount,         a.atEncrDataCount,
                              a.atMacCount,       a.atCheckcodeCount, a.atResultIndCount, a.atKdfInputCount,
                              a.atBiddingCount};
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
