// What an AKA'-Challenge (RFC 9048 section 3) asks of a peer beyond an
// AKA-Challenge: the negotiation of the key derivation function over the
// AT_KDF list, the access network name of AT_KDF_INPUT, the AMF separation
// bit; and, in EAP-AKA, the bidding-down protection of AT_BIDDING.
#include <cstring>

#include "aka/aka.h"
#include "api/session.h"

namespace {

// RFC 9048 section 3.2: the one function defined, CK' and IK' by the KDF of
// TS 33.402 Annex A.2.
constexpr uint16_t KDF_CK_IK_PRIME = 1;
// TS 33.102 Annex H: the most significant bit of AMF (AUTN byte 6).
constexpr unsigned AUTN_AMF_OFFSET = 6;
constexpr uint8_t AMF_SEPARATION_BIT = 0x80;
// RFC 9048 section 4: the server supports EAP-AKA' and prefers it.
constexpr uint16_t BIDDING_D_BIT = 0x8000;

int as_bad_autn(const char* description) {
    aka_report_failure(description, "\tC_AKA_FAIL_INVALID_AUTN", EAPAKA_FAIL_INVALID_AUTN);
    return KDF_AS_BAD_AUTN;
}

int as_bad_mac(const char* description) {
    aka_report_failure(description, "\tC_AKA_FAIL_INVALID_MAC", EAPAKA_FAIL_INVALID_MAC);
    return KDF_AS_BAD_MAC;
}

bool list_equals(const uint16_t* a, int32_t aCount, const uint16_t* b, int32_t bCount) {
    return aCount == bCount && std::memcmp(a, b, sizeof *a * static_cast<size_t>(aCount)) == 0;
}

// The list answers our request for KDF 1 when it is that value followed by
// the list we were offered.
bool answers_request(const AkaSession& s) {
    return s.atKdfCount == s.kdfOfferCount + 1 && s.atKdf[0] == KDF_CK_IK_PRIME &&
           list_equals(s.atKdf + 1, s.atKdfCount - 1, s.kdfOffer, s.kdfOfferCount);
}

bool has_repeated_value(const AkaSession& s) {
    for (int32_t i = 0; i < s.atKdfCount; ++i)
        for (int32_t j = i + 1; j < s.atKdfCount; ++j)
            if (s.atKdf[i] == s.atKdf[j]) return true;
    return false;
}

bool offers_ck_ik_prime(const AkaSession& s) {
    for (int32_t i = 0; i < s.atKdfCount; ++i)
        if (s.atKdf[i] == KDF_CK_IK_PRIME) return true;
    return false;
}

void keep_offer(AkaSession& s) {
    std::memcpy(s.kdfOffer, s.atKdf, sizeof *s.atKdf * static_cast<size_t>(s.atKdfCount));
    s.kdfOfferCount = static_cast<uint8_t>(s.atKdfCount);
}

// RFC 9048 section 3.2, in order: a challenge without AT_KDF fails as if
// AUTN were wrong; one answering our request must carry exactly our choice
// in front of the list we were offered, and any later one of this exchange
// (after a resynchronisation) that same list, or it fails as if AT_MAC were
// wrong; a first offer must not name a function twice, and is taken when
// its first value is 1, answered with a request when 1 comes later, and
// refused as if AUTN were wrong when 1 is not offered at all.
int check_kdf_list() {
    AkaSession& s = g_session;
    if (s.atKdfCount == 0) return as_bad_autn("\t>>AT_KDF is missing");
    if (s.kdfRequested) {
        if (!answers_request(s)) return as_bad_mac("\t>>AT_KDF list does not answer the one requested");
        s.kdfRequested = 0;
        keep_offer(s);
        return KDF_PROCEED;
    }
    if (s.kdfOfferCount != 0) {
        if (!list_equals(s.atKdf, s.atKdfCount, s.kdfOffer, s.kdfOfferCount))
            return as_bad_mac("\t>>AT_KDF list changed within the exchange");
        return KDF_PROCEED;
    }
    if (has_repeated_value(s)) return as_bad_autn("\t>>AT_KDF list names a function twice");
    if (!offers_ck_ik_prime(s)) return as_bad_autn("\t>>AT_KDF offers no supported key derivation function");
    keep_offer(s);
    if (s.atKdf[0] == KDF_CK_IK_PRIME) return KDF_PROCEED;
    s.kdfRequested = 1;
    return KDF_ASK;
}

}  // namespace

// The AT_KDF list first, then AT_KDF_INPUT (RFC 9048 section 3.1): missing,
// it is a mandatory attribute missing; an empty name fails as if AUTN were
// wrong. This peer has no name of its own for the access network to compare
// with: the received name goes into the keys.
int aka_check_kdf_offer() {
    const AkaSession& s = g_session;
    const int verdict = check_kdf_list();
    if (verdict != KDF_PROCEED) return verdict;
    if (s.atKdfInputCount == 0) return KDF_INPUT_MISSING;
    if (s.atKdfInputLength == 0) return as_bad_autn("\t>>AT_KDF_INPUT carries no network name");
    return KDF_PROCEED;
}

// RFC 9048 section 3.1: an AUTN whose AMF separation bit is clear was not
// made for EAP-AKA'; it fails as if AUTN were wrong.
bool verify_separation_bit(const uint8_t autn[16]) {
    if ((autn[AUTN_AMF_OFFSET] & AMF_SEPARATION_BIT) != 0) return true;
    as_bad_autn("\t>>AMF separation bit is not set");
    return false;
}

// RFC 9048 section 4: while EAP-AKA' is enabled (and so preferred), an
// EAP-AKA challenge whose AT_BIDDING has the D bit set was bid down from
// EAP-AKA'. Asked only once AT_MAC has verified, which covers AT_BIDDING.
bool bidding_down_detected() {
    const AkaSession& s = g_session;
    if (!aka_compat(EAP_COMPAT_AKA_PRIME) || aka_is_prime() || s.atBiddingCount == 0 ||
        (s.atBidding & BIDDING_D_BIT) == 0)
        return false;
    as_bad_autn("\t>>AT_BIDDING: the server prefers EAP-AKA'");
    return true;
}

// RFC 9048 section 3.2: EAP-Response/AKA'-Challenge with AT_KDF = 1 alone.
void makeRSP_KdfRequest(uint8_t* payload, uint16_t* words) {
    const uint8_t bytes[] = {AKA_SUBTYPE_CHALLENGE, 0, 0, AT_KDF, AT_KDF_WORDS, 0, KDF_CK_IK_PRIME};
    std::memcpy(payload, bytes, sizeof bytes);
    *words = AT_KDF_WORDS;
}

// RFC 9048 section 3.2: an AKA'-Synchronization-Failure repeats every AT_KDF
// of the challenge, in order.
unsigned aka_write_kdf_echo(uint8_t* out) {
    const AkaSession& s = g_session;
    for (int32_t i = 0; i < s.atKdfCount; ++i) {
        out[AT_HEADER_SIZE * i] = AT_KDF;
        out[AT_HEADER_SIZE * i + 1] = AT_KDF_WORDS;
        aka_put_be16(out + AT_HEADER_SIZE * i + 2, s.atKdf[i]);
    }
    return AT_HEADER_SIZE * static_cast<unsigned>(s.atKdfCount);
}
