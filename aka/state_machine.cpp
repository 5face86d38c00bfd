// The EAP-AKA peer state machine (RFC 4187): one request in, exactly one
// response payload out, dispatched by the method state and the Subtype.
// EAP-AKA' (RFC 9048) runs through the same machine: same subtypes, states
// and results, with its own challenge checks and keys.
#include <cstring>

#include "aka/aka.h"
#include "api/session.h"
#include "diag/message_log.h"
#include "eap/eap_packet.h"

namespace {

constexpr uint8_t AT_CLIENT_ERROR_CODE_WORDS = 1;
constexpr uint8_t CLIENT_ERROR_UNABLE_TO_PROCESS = 0;  // RFC 4187 10.20
constexpr uint8_t AT_AUTS_WORDS = 4;
constexpr unsigned AUTS_SIZE = sizeof(AkaSession::auts);

void report_invalid_subtype() {
    aka_report_failure("\t>>Not able to parse the EAP-AKA Subtype ", "\tC_AKA_FAIL_INVALID_SUBTYPE",
                       EAPAKA_FAIL_INVALID_SUBTYPE);
}

// The exchange is over from the peer's side: AKA-Client-Error goes out and
// only AKA-Notification is accepted from now on.
int client_error_exit(uint8_t* payload, uint16_t* words) {
    makeRSP_ClientError(payload, words);
    g_session.akaState = AKA_STATE_DONE;
    return AKA_RESULT_FAILED;
}

// A request without an attribute it needs (or that did not parse, whose own
// report then comes first).
int mandatory_attribute_missing(uint8_t* payload, uint16_t* words) {
    aka_report_failure("\t>>mendatory attribute is missing ", "\tC_AKA_FAIL_MANDATORY_ATTRIBUTE_MISSING",
                       EAPAKA_FAIL_MANDATORY_ATTRIBUTE_MISSING);
    return client_error_exit(payload, words);
}

// RFC 4187 6.3.1: an AUTN the peer cannot accept (and everything RFC 9048
// treats as one) ends the exchange with AKA-Authentication-Reject.
int authentication_reject(uint8_t* payload, uint16_t* words) {
    makeRSP_AuthReject(payload, words);
    g_session.akaState = AKA_STATE_DONE;
    return AKA_RESULT_FAILED;
}

int invalid_subtype(uint8_t* payload, uint16_t* words) {
    report_invalid_subtype();
    makeRSP_ClientError(payload, words);
    msglog_line("\tmakeRSP_ClientError");
    g_session.akaState = AKA_STATE_DONE;
    return AKA_RESULT_FAILED;
}

bool strict_success() { return aka_compat(EAP_COMPAT_STRICT_SUCCESS); }

// The keys an AKA-Challenge replaces. Under EAP_COMPAT_STRICT_SUCCESS a
// challenge that fails after deriving them puts the previous ones back, so
// that an unauthenticated server changes neither the MSK nor the keys a
// later fast re-authentication starts from.
struct ChallengeKeys {
    uint8_t mk[20], fullAuthMk[20], kEncr[16], kAut[K_AUT_PRIME_SIZE], kRe[K_RE_SIZE], msk[64], keysPrime;
};

// Copies the key fields between the session and a saved set; both hold them
// under the same names and sizes.
template <typename To, typename From>
void copy_challenge_keys(To& to, const From& from) {
    std::memcpy(to.mk, from.mk, sizeof to.mk);
    std::memcpy(to.fullAuthMk, from.fullAuthMk, sizeof to.fullAuthMk);
    std::memcpy(to.kEncr, from.kEncr, sizeof to.kEncr);
    std::memcpy(to.kAut, from.kAut, sizeof to.kAut);
    std::memcpy(to.kRe, from.kRe, sizeof to.kRe);
    std::memcpy(to.msk, from.msk, sizeof to.msk);
    to.keysPrime = from.keysPrime;
}

// RFC 9048 section 3.2 to 3.3: the AKA'-Challenge checks that come before
// AKA (the AT_KDF list, AT_KDF_INPUT, the AMF separation bit, read before
// Milenage runs so that no other vector changes any state). Returns 0 to go
// on, else the method result of the response it built.
int prime_challenge_precheck(uint8_t* payload, uint16_t* words) {
    switch (aka_check_kdf_offer()) {
    case KDF_ASK:
        makeRSP_KdfRequest(payload, words);
        return AKA_RESULT_CONTINUE;
    case KDF_INPUT_MISSING:
        return mandatory_attribute_missing(payload, words);
    case KDF_AS_BAD_AUTN:
        return authentication_reject(payload, words);
    case KDF_AS_BAD_MAC:
        return client_error_exit(payload, words);
    default:
        break;
    }
    return verify_separation_bit(g_session.atAutn) ? 0 : authentication_reject(payload, words);
}

// The checks that follow key derivation, in order: decryption of
// AT_ENCR_DATA, AT_MAC, and AT_CHECKCODE when it carries a digest of the
// method's size (an empty one says the server saw no identity rounds to
// check).
bool challenge_verified(const uint8_t* request, uint16_t length) {
    const AkaSession& s = g_session;
    if (s.atEncrDataCount == 1 && !aka_decrypt_encr_data(static_cast<uint8_t>((s.atEncrDataLength - 1) * AKA_WORD)))
        return false;
    if (!verify_at_mac(request, length)) return false;
    const unsigned digestWords = aka_is_prime() ? AT_CHECKCODE_PRIME_WORDS : AT_CHECKCODE_DIGEST_WORDS;
    return !(s.atCheckcodeCount == 1 && s.atCheckcodeLength == digestWords && !verify_checkcode());
}

// RFC 4187 9.3/9.4: the order matters. SQN is accepted and stored, keys are
// derived and (by default) the encrypted data acted on before AT_MAC is
// verified.
int process_challenge(const uint8_t* request, uint16_t length, uint8_t* payload, uint16_t* words) {
    AkaSession& s = g_session;
    if (!aka_parse_attributes(request + AKA_HEADER_SIZE, length) || s.atRandCount == 0 || s.atAutnCount == 0)
        return mandatory_attribute_missing(payload, words);
    if (aka_is_prime()) {
        const int refused = prime_challenge_precheck(payload, words);
        if (refused != 0) return refused;
    }

    if (!verify_autn(s.atRand, s.atAutn)) return authentication_reject(payload, words);
    if (!PutSQN()) {
        // The server resynchronises from AUTS and sends a new challenge.
        compute_auts(s.atRand);
        makeRSP_SyncFailure(payload, words);
        return AKA_RESULT_CONTINUE;
    }
    ChallengeKeys previous;
    copy_challenge_keys(previous, g_session);
    if (aka_is_prime()) {
        derive_prime_keys();
    } else {
        derive_mk();
        derive_full_keys();
    }
    const bool verified = challenge_verified(request, length);
    // RFC 9048 section 4: AT_BIDDING counts only under a verified AT_MAC.
    const bool biddingDown = verified && bidding_down_detected();
    if ((!verified || biddingDown) && strict_success()) copy_challenge_keys(g_session, previous);
    aka_wipe(reinterpret_cast<uint8_t*>(&previous), sizeof previous);
    if (!verified) return client_error_exit(payload, words);
    if (biddingDown) return authentication_reject(payload, words);
    aka_commit_encr_attributes();
    // RFC 4187 5.4 and 10.16: after a full authentication the server counts
    // fast re-authentications from 1 again.
    if (aka_compat(EAP_COMPAT_REAUTH_COUNTER_PER_FULL_AUTH)) s.lastReauthCounter = 0;
    s.fullAuthDone = 1;
    s.exchangeAuthenticated = 1;

    makeRSP_Challenge(payload, words);
    s.akaState = AKA_STATE_DONE;
    return AKA_RESULT_AUTHENTICATED;
}

// RFC 4187 4.1.1.4: the identity request's first attribute says which
// identities the server will take. The request is not parsed further.
int process_identity(const uint8_t* request, uint16_t length, uint8_t* payload, uint16_t* words) {
    AkaSession& s = g_session;
    const uint8_t firstType = length > AKA_HEADER_SIZE ? request[AKA_HEADER_SIZE] : 0;
    // RFC 9048 section 3.1: identities the server gave out in one method are
    // not offered in the other.
    const bool reauthId = s.reauthIdPresent && s.reauthIdPrime == aka_is_prime();
    const bool pseudonym = s.nextPseudonymPresent && s.pseudonymPrime == aka_is_prime();
    int kind;
    switch (firstType) {
    case AT_ANY_ID_REQ:
        kind = reauthId ? IDENTITY_REAUTH : pseudonym ? IDENTITY_PSEUDONYM : IDENTITY_PERMANENT;
        break;
    case AT_FULLAUTH_ID_REQ:
        kind = pseudonym ? IDENTITY_PSEUDONYM : IDENTITY_PERMANENT;
        break;
    case AT_PERMANENT_ID_REQ:
        kind = IDENTITY_PERMANENT;
        break;
    default:
        report_invalid_subtype();
        return client_error_exit(payload, words);
    }
    makeRSP_Identity(kind, payload, words);
    aka_record_identity_exchange(request, length, payload, *words);
    return AKA_RESULT_CONTINUE;
}

uint16_t counter_value(uint16_t wireBytes) {
    uint8_t b[2];
    std::memcpy(b, &wireBytes, sizeof b);
    return aka_get_be16(b);
}

// RFC 4187 5.5/9.7: a counter not above the last accepted one is answered
// with AT_COUNTER_TOO_SMALL and derives nothing.
int process_reauthentication(const uint8_t* request, uint16_t length, uint8_t* payload, uint16_t* words) {
    AkaSession& s = g_session;
    // RFC 4187 5.1: fast re-authentication reuses the keys of a full
    // authentication; without one since load there are none to reuse, and
    // those of the other method are not for this one (RFC 9048 section 3.1).
    if ((strict_success() && !s.fullAuthDone) || !aka_keys_match_method()) return invalid_subtype(payload, words);
    if (!aka_parse_attributes(request + AKA_HEADER_SIZE, length) || s.atIvCount == 0 || s.atMacCount == 0 ||
        s.atEncrDataCount == 0)
        return mandatory_attribute_missing(payload, words);

    if (!aka_decrypt_encr_data(static_cast<uint8_t>((s.atEncrDataLength - 1) * AKA_WORD))) {
        makeRSP_ClientError(payload, words);
        s.akaState = AKA_STATE_DONE;
        return AKA_RESULT_REAUTH_DECRYPT_FAILED;
    }
    if (!verify_at_mac(request, length)) return client_error_exit(payload, words);
    aka_commit_encr_attributes();

    // By default a re-authentication identity serves one re-authentication
    // at most, even one that arrived inside this very request.
    s.reauthIdPresent = 0;
    if (counter_value(s.lastReauthCounter) >= counter_value(s.reauthCounter)) {
        s.counterFresh = 0;
        makeRSP_Reauthentication(payload, words);
        return AKA_RESULT_CONTINUE;
    }
    s.lastReauthCounter = s.reauthCounter;
    s.counterFresh = 1;
    if (aka_is_prime()) {
        derive_prime_reauth_msk();
    } else {
        derive_reauth_mk();
        derive_reauth_msk();
    }
    makeRSP_Reauthentication(payload, words);
    // RFC 4187 5.4: the identity delivered in a successful fast
    // re-authentication is the one for the next.
    if (aka_compat(EAP_COMPAT_KEEP_NEXT_REAUTH_ID) && (s.encrValues.present & ENCR_HAS_REAUTH_ID) != 0)
        s.reauthIdPresent = 1;
    s.exchangeAuthenticated = 1;
    s.akaState = AKA_STATE_DONE;
    return AKA_RESULT_AUTHENTICATED;
}

int notification_result() {
    return g_session.atNotification == AKA_NOTIFICATION_SUCCESS ? AKA_RESULT_SUCCESS_NOTIFIED : AKA_RESULT_FAILED;
}

// RFC 4187 6.1: the P bit marks a code sent before authentication, which
// carries no AT_MAC; once authenticated every notification is protected.
// Under EAP_COMPAT_STRICT_SUCCESS a code with the P bit clear is taken only
// after this exchange's challenge or re-authentication was accepted, and
// success only with its own AT_MAC verified.
int process_notification(const uint8_t* request, uint16_t length, uint8_t* payload, uint16_t* words) {
    AkaSession& s = g_session;
    const bool authenticated = s.akaState == AKA_STATE_DONE;
    if (!aka_parse_attributes(request + AKA_HEADER_SIZE, length) || s.atNotificationCount == 0)
        return mandatory_attribute_missing(payload, words);

    aka_log_notification(s.atNotification);
    const bool afterAuthenticationCode = (s.atNotification & AKA_NOTIFICATION_P_BIT) == 0;
    if (strict_success() && afterAuthenticationCode && !s.exchangeAuthenticated)
        return invalid_subtype(payload, words);
    bool macVerified = false;
    if (!authenticated && !afterAuthenticationCode) {
        aka_raise_event(EAPAKA_EVENT_STATUS, s.atNotification);
        makeRSP_Notification(1, payload, words);
    } else if ((macVerified = verify_at_mac(request, length))) {
        aka_raise_event(EAPAKA_EVENT_STATUS, s.atNotification);
        makeRSP_Notification(0, payload, words);
    } else {
        makeRSP_ClientError(payload, words);
    }
    s.akaState = AKA_STATE_DONE;
    if (strict_success() && !macVerified) return AKA_RESULT_FAILED;
    return notification_result();
}

}  // namespace

void aka_start_exchange() {
    g_session.akaState = AKA_STATE_OPEN;
    g_session.identityMessageRecordLength = 0;
    g_session.exchangeAuthenticated = 0;
    g_session.methodType = 0;
    g_session.kdfOfferCount = 0;
    g_session.kdfRequested = 0;
}

bool aka_is_prime() { return g_session.methodType == EAP_TYPE_AKA_PRIME; }

uint8_t aka_eap_type() { return aka_is_prime() ? EAP_TYPE_AKA_PRIME : EAP_TYPE_AKA; }

bool aka_keys_match_method() { return g_session.keysPrime == aka_is_prime(); }

int aka_process_request(const uint8_t* request, uint8_t* payload, uint16_t* words) {
    AkaSession& s = g_session;
    s.requestIdentifier = request[1];
    // Nothing staged from AT_ENCR_DATA outlives the request that carried it.
    s.encrValues.present = 0;
    s.encrValues.staged = 0;
    const uint16_t length = aka_packet_length(request);
    if (length < AKA_HEADER_SIZE) {
        // No room for the Subtype: nothing in it can be trusted.
        aka_report_malformed();
        return client_error_exit(payload, words);
    }
    const uint8_t subtype = request[EAP_TYPE_HEADER_SIZE];
    if (s.akaState == AKA_STATE_OPEN) {
        switch (subtype) {
        case AKA_SUBTYPE_CHALLENGE:
            return process_challenge(request, length, payload, words);
        case AKA_SUBTYPE_IDENTITY:
            return process_identity(request, length, payload, words);
        case AKA_SUBTYPE_NOTIFICATION:
            return process_notification(request, length, payload, words);
        case AKA_SUBTYPE_REAUTHENTICATION:
            return process_reauthentication(request, length, payload, words);
        default:
            return invalid_subtype(payload, words);
        }
    }
    if (subtype == AKA_SUBTYPE_NOTIFICATION) return process_notification(request, length, payload, words);
    return invalid_subtype(payload, words);
}

// RFC 4187 9.9: AT_CLIENT_ERROR_CODE 0, "unable to process packet".
void makeRSP_ClientError(uint8_t* payload, uint16_t* words) {
    const uint8_t bytes[] = {AKA_SUBTYPE_CLIENT_ERROR, 0, 0, AT_CLIENT_ERROR_CODE, AT_CLIENT_ERROR_CODE_WORDS,
                             0, CLIENT_ERROR_UNABLE_TO_PROCESS};
    std::memcpy(payload, bytes, sizeof bytes);
    *words = AT_CLIENT_ERROR_CODE_WORDS;
}

// RFC 4187 9.5: no attributes.
void makeRSP_AuthReject(uint8_t* payload, uint16_t* words) {
    const uint8_t bytes[] = {AKA_SUBTYPE_AUTHENTICATION_REJECT, 0, 0};
    std::memcpy(payload, bytes, sizeof bytes);
    *words = 0;
}

// RFC 4187 9.6: AT_AUTS has no reserved bytes; the 14 AUTS bytes follow
// Type and Length directly. EAP-AKA' repeats the challenge's AT_KDF list
// after it (RFC 9048 section 3.2).
void makeRSP_SyncFailure(uint8_t* payload, uint16_t* words) {
    const uint8_t header[] = {AKA_SUBTYPE_SYNCHRONIZATION_FAILURE, 0, 0, AT_AUTS, AT_AUTS_WORDS};
    std::memcpy(payload, header, sizeof header);
    std::memcpy(payload + sizeof header, g_session.auts, AUTS_SIZE);
    unsigned echoed = 0;
    if (aka_is_prime()) echoed = aka_write_kdf_echo(payload + sizeof header + AUTS_SIZE);
    *words = static_cast<uint16_t>(AT_AUTS_WORDS + echoed / AKA_WORD);
}

// RFC 4187 10.13: AT_CHECKCODE hashes the identity messages as sent. A pair
// that does not fit the record fills it up for good, so no later pair is
// appended and a 20-byte AT_CHECKCODE of this exchange can no longer match.
// Long-realm identities get the whole field.
void aka_record_identity_exchange(const uint8_t* request, uint16_t eapLength, const uint8_t* payload,
                                  uint16_t words) {
    AkaSession& s = g_session;
    const size_t capacity =
        aka_compat(EAP_COMPAT_LONG_REALM) ? sizeof s.identityMessageRecord : IDENTITY_RECORD_SIZE;
    const size_t responseLength = AKA_HEADER_SIZE + size_t{words} * AKA_WORD;
    const size_t used = s.identityMessageRecordLength;
    if (eapLength < AKA_HEADER_SIZE || used > capacity || size_t{eapLength} + responseLength > capacity - used) {
        s.identityMessageRecordLength = static_cast<uint16_t>(capacity);
        return;
    }
    uint8_t* out = s.identityMessageRecord + used;
    std::memcpy(out, request, eapLength);
    aka_put_be16(out + 2, eapLength);
    out += eapLength;
    out[0] = EAP_CODE_RESPONSE;
    out[1] = s.requestIdentifier;
    aka_put_be16(out + 2, static_cast<unsigned>(responseLength));
    out[4] = aka_eap_type();
    std::memcpy(out + EAP_TYPE_HEADER_SIZE, payload, responseLength - EAP_TYPE_HEADER_SIZE);
    s.identityMessageRecordLength = static_cast<uint16_t>(used + eapLength + responseLength);
}
