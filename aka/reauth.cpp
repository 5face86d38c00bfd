// Fast re-authentication (RFC 4187 section 5): AT_ENCR_DATA decryption and
// the attributes inside it, the encrypted counter of the response and the
// AKA-Reauthentication response whose AT_MAC covers NONCE_S.
#include <cstdlib>
#include <cstring>

#include "aka/aka.h"
#include "api/session.h"
#include "crypto/aes.h"
#include "diag/message_log.h"
#include "platform/platform.h"

namespace {

constexpr unsigned AES_BLOCK = 16;
constexpr uint8_t AT_PADDING_MAX_WORDS = 3;  // at most 10 pad bytes (RFC 4187 10.12)
constexpr unsigned NONCE_S_SIZE = sizeof(AkaSession::nonceS);
constexpr unsigned ENCR_ATTRIBUTES_SIZE = 20;  // AT_IV and AT_ENCR_DATA of a response
constexpr unsigned IV_ATTRIBUTE_OFFSET = AKA_PAYLOAD_HEADER_SIZE;
constexpr unsigned ENCR_ATTRIBUTE_OFFSET = IV_ATTRIBUTE_OFFSET + ENCR_ATTRIBUTES_SIZE;

enum Count { PSEUDONYM, REAUTH_ID, PADDING, COUNTER, NONCE, COUNT_KINDS };

// Outcome of taking one decrypted attribute: the bytes it occupies and the
// ENCR_HAS_* value it carried (0 for padding), or size 0 with `reported`
// telling whether the failure was already reported.
struct Taken {
    size_t size;
    bool reported;
    uint8_t value;
};
constexpr Taken MALFORMED = {0, false, 0};

// Length check shared by AT_NEXT_PSEUDONYM and AT_NEXT_REAUTH_ID: the actual
// length must fit both the attribute and the session field.
bool identity_fits(const uint8_t* attr, size_t size, size_t field) {
    const size_t actual = aka_get_be16(attr + 2);
    return actual <= size - AT_VALUE_OFFSET && actual <= field;
}

void log_pseudonym(const uint8_t* p) {
    msglog_line("PseudonymID : %x %x %x %x %x %x %x %x %x %x\n%x %x %x %x %x %x %x %x %x %x\n %x %x %x\n", p[0], p[1],
                p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15], p[16], p[17],
                p[18], p[19], p[20], p[21], p[22]);
}

// Takes the decrypted attribute at `attr` with `remaining` bytes left into
// encrValues. Every bound is checked before anything is taken: a Length of
// 0, AT_NONCE_S not of Length 5, AT_PADDING above Length 3, an actual length
// above the attribute or its field, or a size past the data make it
// malformed.
Taken take_encr_attribute(const uint8_t* attr, size_t remaining, int counts[COUNT_KINDS]) {
    AkaEncrValues& v = g_session.encrValues;
    if (remaining < AT_HEADER_SIZE) return MALFORMED;
    const uint8_t words = attr[1];
    const size_t size = size_t{words} * AKA_WORD;
    switch (attr[0]) {
    case AT_PADDING:
        if (words == 0 || words > AT_PADDING_MAX_WORDS || size > remaining) return MALFORMED;
        if (!aka_check_padding(attr + 2, words)) return {0, true, 0};
        ++counts[PADDING];
        return {size, false, 0};
    case AT_COUNTER:
        // Always one word: the counter sits in place of the reserved bytes.
        std::memcpy(&v.counter, attr + 2, sizeof v.counter);
        ++counts[COUNTER];
        return {AT_HEADER_SIZE, false, ENCR_HAS_COUNTER};
    case AT_NONCE_S:
        if (words != AT_VALUE16_WORDS || AT_VALUE16_SIZE > remaining) return MALFORMED;
        std::memcpy(v.nonceS, attr + AT_VALUE_OFFSET, NONCE_S_SIZE);
        ++counts[NONCE];
        return {AT_VALUE16_SIZE, false, ENCR_HAS_NONCE};
    case AT_NEXT_PSEUDONYM:
        if (words == 0 || size > remaining || !identity_fits(attr, size, sizeof v.pseudonym)) return MALFORMED;
        v.pseudonymLength = aka_get_be16(attr + 2);
        std::memcpy(v.pseudonym, attr + AT_VALUE_OFFSET, v.pseudonymLength);
        ++counts[PSEUDONYM];
        return {size, false, ENCR_HAS_PSEUDONYM};
    case AT_NEXT_REAUTH_ID:
        if (words == 0 || size > remaining || !identity_fits(attr, size, sizeof v.reauthId)) return MALFORMED;
        v.reauthIdWords = words;
        v.reauthIdLength = aka_get_be16(attr + 2);
        std::memcpy(v.reauthId, attr + AT_VALUE_OFFSET, v.reauthIdLength);
        ++counts[REAUTH_ID];
        return {size, false, ENCR_HAS_REAUTH_ID};
    default:
        return {aka_skippable_attribute_size(attr, remaining), false, 0};
    }
}

}  // namespace

// RFC 4187 10.12: AES-128-CBC with K_encr and AT_IV, in place in
// atEncrData. By default only whole blocks are decrypted and what follows
// them is parsed as it stands; under EAP_COMPAT_STRICT_SUCCESS a ciphertext
// that is not whole blocks is malformed, as is, always, a length beyond the
// field.
bool aka_decrypt_encr_data(uint8_t length) {
    AkaSession& s = g_session;
    if (length > sizeof s.atEncrData ||
        (aka_compat(EAP_COMPAT_STRICT_SUCCESS) && length % AES_BLOCK != 0)) {
        aka_report_malformed();
        return false;
    }
    aes_cbc_decrypt(s.kEncr, s.atIv, s.atEncrData, length);
    msglog_hex("\tDECR:\n", s.atEncrData, length);
    return aka_parse_encr_attributes(s.atEncrData, length);
}

// Walks `length` decrypted bytes; duplicates are judged at the end (of two,
// the second stands). By default every value takes effect as it comes, so
// what precedes a malformed attribute stays in effect; under
// EAP_COMPAT_STRICT_SUCCESS all stay staged for aka_commit_encr_attributes.
bool aka_parse_encr_attributes(uint8_t* bytes, uint8_t length) {
    AkaEncrValues& v = g_session.encrValues;
    v.present = 0;
    v.staged = 0;
    int counts[COUNT_KINDS] = {};
    size_t remaining = length;
    const uint8_t* attr = bytes;
    while (remaining != 0) {
        const Taken taken = take_encr_attribute(attr, remaining, counts);
        if (taken.size == 0) {
            if (!taken.reported) aka_report_malformed();
            return false;
        }
        v.present |= taken.value;
        v.staged |= taken.value;
        if (!aka_compat(EAP_COMPAT_STRICT_SUCCESS)) aka_commit_encr_attributes();
        attr += taken.size;
        remaining -= taken.size;
    }
    for (int count : counts) {
        if (count >= 2) {
            aka_report_duplicate();
            return false;
        }
    }
    return true;
}

void aka_commit_encr_attributes() {
    AkaSession& s = g_session;
    AkaEncrValues& v = s.encrValues;
    if ((v.staged & ENCR_HAS_COUNTER) != 0) s.reauthCounter = v.counter;
    if ((v.staged & ENCR_HAS_NONCE) != 0) std::memcpy(s.nonceS, v.nonceS, NONCE_S_SIZE);
    if ((v.staged & ENCR_HAS_REAUTH_ID) != 0) {
        s.reauthIdPresent = 1;
        s.reauthIdPrime = aka_is_prime();
        s.reauthIdLengthWords = v.reauthIdWords;
        s.reauthIdLength = v.reauthIdLength;
        std::memcpy(s.reauthId, v.reauthId, v.reauthIdLength);
    }
    if ((v.staged & ENCR_HAS_PSEUDONYM) != 0) {
        s.nextPseudonymPresent = 1;
        s.pseudonymPrime = aka_is_prime();
        s.nextPseudonymLength = v.pseudonymLength;
        std::memcpy(s.nextPseudonym, v.pseudonym, v.pseudonymLength);
        aka_store_next_pseudonym();
        log_pseudonym(s.nextPseudonym);
    }
    v.staged = 0;
}

// RFC 4187 9.8: AT_COUNTER echoing the server's counter, then either padding
// to one block or AT_COUNTER_TOO_SMALL and padding.
void aka_encrypt_counter(const uint8_t iv[16], uint8_t block[16]) {
    const AkaSession& s = g_session;
    std::memset(block, 0, AES_BLOCK);
    block[0] = AT_COUNTER;
    block[1] = 1;
    std::memcpy(block + 2, &s.reauthCounter, sizeof s.reauthCounter);
    if (s.counterFresh) {
        block[4] = AT_PADDING;
        block[5] = 3;
    } else {
        block[4] = AT_COUNTER_TOO_SMALL;
        block[5] = 1;
        block[8] = AT_PADDING;
        block[9] = 2;
    }
    aes_cbc_encrypt(s.kEncr, iv, block, AES_BLOCK);
}

// A fresh IV per response from the C library generator, reseeded from the
// tick count on every call.
void aka_build_encr_attributes(uint8_t ivAttribute[20], uint8_t encrDataAttribute[20]) {
    uint8_t iv[AES_BLOCK];
    std::srand(platform_tick_count());
    for (uint8_t& byte : iv) byte = static_cast<uint8_t>(std::rand() & 0xFF);

    const uint8_t ivHeader[] = {static_cast<uint8_t>(AT_IV), AT_VALUE16_WORDS, 0, 0};
    std::memcpy(ivAttribute, ivHeader, sizeof ivHeader);
    std::memcpy(ivAttribute + AT_VALUE_OFFSET, iv, AES_BLOCK);

    uint8_t block[AES_BLOCK];
    aka_encrypt_counter(iv, block);
    const uint8_t encrHeader[] = {static_cast<uint8_t>(AT_ENCR_DATA), AT_VALUE16_WORDS, 0, 0};
    std::memcpy(encrDataAttribute, encrHeader, sizeof encrHeader);
    std::memcpy(encrDataAttribute + AT_VALUE_OFFSET, block, AES_BLOCK);
}

// RFC 4187 9.8: AT_IV, AT_ENCR_DATA, the optional AT_RESULT_IND and
// AT_CHECKCODE, then AT_MAC computed over the packet followed by NONCE_S.
void makeRSP_Reauthentication(uint8_t* payload, uint16_t* words) {
    AkaSession& s = g_session;
    uint8_t work[AKA_PAYLOAD_MAX + NONCE_S_SIZE];
    work[0] = AKA_SUBTYPE_REAUTHENTICATION;
    work[1] = 0;
    work[2] = 0;
    aka_build_encr_attributes(work + IV_ATTRIBUTE_OFFSET, work + ENCR_ATTRIBUTE_OFFSET);
    unsigned n = ENCR_ATTRIBUTE_OFFSET + ENCR_ATTRIBUTES_SIZE;
    n += aka_write_echoed_attributes(work + n);
    const unsigned macOffset = n;
    aka_write_mac_attribute(work + macOffset);
    n += AT_MAC_SIZE;
    std::memcpy(work + n, s.nonceS, NONCE_S_SIZE);
    s.appendNonceS = 1;
    compute_response_mac(work, n + NONCE_S_SIZE);
    std::memcpy(work + macOffset + AT_VALUE_OFFSET, s.responseMac, AT_MAC_VALUE_SIZE);
    std::memcpy(payload, work, n);
    *words = static_cast<uint16_t>((n - AKA_PAYLOAD_HEADER_SIZE) / AKA_WORD);
}
