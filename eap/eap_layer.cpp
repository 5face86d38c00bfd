// The EAP peer layer (RFC 3748). Every packet the host received from the
// authenticator passes through EAP_layer: its Length is turned into host
// byte order in place, it is logged, a repeated Request is answered from the
// held response, and otherwise the EAP state decides what the packet means.
// Identity, Notification and Nak are answered here; EAP-AKA (Type 23) and,
// when the host has enabled it, EAP-AKA' (Type 50) requests go to the
// method, whose result moves the EAP state on.
#include "eap/eap_layer.h"

#include <cstring>

#include "aka/aka.h"
#include "api/response_timer.h"
#include "api/session.h"
#include "diag/message_log.h"

namespace {

constexpr unsigned EAP_CODE_OFFSET = 0;
constexpr unsigned EAP_IDENTIFIER_OFFSET = 1;
constexpr unsigned EAP_TYPE_OFFSET = 4;

// The largest attribute area a method response may use: the whole response
// is limited to EAP_MAX_PACKET bytes, eight of which are the EAP and EAP-AKA
// headers.
constexpr uint16_t AKA_MAX_RESPONSE_WORDS = (EAP_MAX_PACKET - AKA_HEADER_SIZE) / 4;

// The methods this peer runs: EAP-AKA, and EAP-AKA' when the host has
// enabled it (otherwise a Type 50 request gets the Nak like any other).
bool eap_is_method(uint8_t type) {
    return type == EAP_TYPE_AKA || (type == EAP_TYPE_AKA_PRIME && aka_compat(EAP_COMPAT_AKA_PRIME));
}

// Smallest Length a Request of `type` may carry: the EAP header with the
// Type, and for the methods the Subtype and the two reserved bytes as well
// (RFC 4187 section 8.1).
uint16_t eap_min_request_length(uint8_t type) {
    return eap_is_method(type) ? AKA_HEADER_SIZE : EAP_TYPE_HEADER_SIZE;
}

// The host passes no buffer size, so the Length field is all there is to go
// by. A Length below the header, or above anything this peer handles, is
// not a packet it can read safely; the dump is skipped so that no byte past
// a plausible packet is touched.
bool eap_length_in_range(uint16_t length) {
    return length >= EAP_HEADER_SIZE && length <= EAP_MAX_REQUEST;
}

// A Request must be long enough to hold what its Type implies.
bool eap_request_complete(const uint8_t* packet) {
    if (packet[EAP_CODE_OFFSET] != EAP_CODE_REQUEST) return true;
    const uint16_t length = eap_length(packet);
    if (length < EAP_TYPE_HEADER_SIZE) return false;
    return length >= eap_min_request_length(packet[EAP_TYPE_OFFSET]);
}

void eap_start_response(const uint8_t* request, uint8_t* response, uint8_t type,
                        uint16_t length) {
    response[EAP_CODE_OFFSET] = EAP_CODE_RESPONSE;
    response[EAP_IDENTIFIER_OFFSET] = request[EAP_IDENTIFIER_OFFSET];
    eap_set_length(response, length);
    response[EAP_TYPE_OFFSET] = type;
}

// Keeps the response for retransmission (RFC 3748 section 4.1: a repeated
// Request gets the same Response again).
void eap_hold_response(const uint8_t* response) {
    std::memcpy(g_session.lastResponse, response, eap_length(response));
}

// Resend the held response when the Request repeats its Identifier. An
// Identifier of 0 in the held response means none is held, so a Request
// with Identifier 0 is always processed afresh.
bool eap_is_retransmission(const uint8_t* request) {
    const uint8_t heldId = g_session.lastResponse[EAP_IDENTIFIER_OFFSET];
    return heldId != 0 && request[EAP_CODE_OFFSET] == EAP_CODE_REQUEST &&
           request[EAP_IDENTIFIER_OFFSET] == heldId;
}

// EAP-Response/Identity (RFC 3748 section 5.1). A held fast
// re-authentication identity goes out as received (it carries its own
// realm); otherwise the pseudonym or permanent identity from the key store,
// followed by the realm.
int eap_answer_identity(const uint8_t* request, uint8_t* response) {
    uint8_t composed[1 + IDENTITY_MAX_LONG] = {};
    const uint8_t* identity;
    uint16_t length;
    if (g_session.reauthIdPresent && g_session.reauthIdLength <= IDENTITY_MAX) {
        identity = g_session.reauthId;
        length = g_session.reauthIdLength;
    } else {
        GetPseudonymID(composed, 1);
        identity = composed + 1;
        length = composed[0];
    }
    eap_start_response(request, response, EAP_TYPE_IDENTITY,
                       static_cast<uint16_t>(EAP_TYPE_HEADER_SIZE + length));
    std::memcpy(response + EAP_TYPE_HEADER_SIZE, identity, length);
    // The key derivation hashes the identity that was last sent.
    std::memmove(g_session.identity, identity, length);
    g_session.identityLength = length;
    eap_hold_response(response);
    g_session.eapState = EAP_STATE_CONVERSING;
    aka_start_exchange();
    return EAPAKA_RESULT_RESPONSE;
}

// EAP-Request/Notification (RFC 3748 section 5.2): the text is shown to the
// host, and the Response carries no data.
int eap_answer_notification(const uint8_t* request, uint8_t* response) {
    const uint8_t* text = request + EAP_TYPE_HEADER_SIZE;
    const uint16_t textLength = static_cast<uint16_t>(eap_length(request) - EAP_TYPE_HEADER_SIZE);
    msglog_line("\n================");
    msglog_line("\nWrite EAP-Notification:");
    msglog_line("\t");
    msglog_text(text, textLength);
    msglog_line("\n================");

    if (g_session.hostEventCallback != nullptr) {
        // The range check on Length keeps the text within the record.
        static_assert(EAP_MAX_REQUEST - EAP_TYPE_HEADER_SIZE <= NOTIFICATION_TEXT_MAX,
                      "a Notification text must fit the host's record");
        HostNotificationRecord record{};
        std::memcpy(record.text, text, textLength);
        record.length = textLength;
        aka_raise_event(EAPAKA_EVENT_EAP_NOTIFICATION, reinterpret_cast<uintptr_t>(&record));
    }

    eap_start_response(request, response, EAP_TYPE_NOTIFICATION, EAP_TYPE_HEADER_SIZE);
    eap_hold_response(response);
    return EAPAKA_RESULT_RESPONSE;
}

// Legacy Nak (RFC 3748 section 5.3.1) for any method not run here. It names
// no alternative method: the Response is the bare 5-byte header.
int eap_answer_nak(const uint8_t* request, uint8_t* response) {
    eap_start_response(request, response, EAP_TYPE_NAK, EAP_TYPE_HEADER_SIZE);
    eap_hold_response(response);
    g_session.eapState = EAP_STATE_CONVERSING;
    return EAPAKA_RESULT_RESPONSE;
}

// Hands an EAP-AKA or EAP-AKA' Request to the method and moves the EAP
// state by what it reports: a sent Challenge or Re-authentication response
// awaits the outcome, an acknowledged success notification awaits
// EAP-Success, and a method that gave up awaits EAP-Failure. RFC 3748
// section 2.1: the authenticator does not switch methods within an
// exchange, so a request of the other method is dropped.
int eap_run_method(const uint8_t* request, uint8_t* response) {
    const uint8_t type = request[EAP_TYPE_OFFSET];
    if (g_session.methodType != 0 && g_session.methodType != type) {
        msglog_line("\t>>EAP Request dropped: Type %u within an exchange of Type %u", unsigned{type},
                    unsigned{g_session.methodType});
        return EAPAKA_RESULT_DROPPED;
    }
    g_session.methodType = type;
    uint16_t words = 0;
    const int methodResult = aka_process_request(request, response + EAP_TYPE_HEADER_SIZE, &words);
    if (words > AKA_MAX_RESPONSE_WORDS) {
        msglog_line("\t>>EAP-AKA response too long: %u words", words);
        return EAPAKA_RESULT_DROPPED;
    }
    eap_start_response(request, response, type, static_cast<uint16_t>(AKA_HEADER_SIZE + 4u * words));
    eap_hold_response(response);

    switch (methodResult) {
    case AKA_RESULT_AUTHENTICATED:
        g_session.eapState = EAP_STATE_AUTHENTICATED;
        return EAPAKA_RESULT_AUTH_RESPONSE;
    case AKA_RESULT_SUCCESS_NOTIFIED:
        g_session.eapState = EAP_STATE_SUCCESS_NOTIFIED;
        return EAPAKA_RESULT_RESPONSE;
    case AKA_RESULT_FAILED:
        g_session.eapState = EAP_STATE_FAILED;
        return EAPAKA_RESULT_RESPONSE;
    default:
        if (g_session.eapState == EAP_STATE_IDLE) g_session.eapState = EAP_STATE_CONVERSING;
        return EAPAKA_RESULT_RESPONSE;
    }
}

int eap_handle_request(const uint8_t* request, uint8_t* response) {
    const uint8_t type = request[EAP_TYPE_OFFSET];
    if (type == EAP_TYPE_IDENTITY) return eap_answer_identity(request, response);
    if (type == EAP_TYPE_NOTIFICATION) return eap_answer_notification(request, response);
    if (eap_is_method(type)) return eap_run_method(request, response);
    return eap_answer_nak(request, response);
}

// What a packet means in each EAP state. Requests are taken while no
// outcome is pending (states 1 to 3); once the method has acknowledged a
// notification, only the matching outcome is. A Response or unknown Code
// is never for the peer.
int eap_dispatch_by_state(const uint8_t* packet, uint8_t* response) {
    const uint32_t state = g_session.eapState;
    switch (packet[EAP_CODE_OFFSET]) {
    case EAP_CODE_SUCCESS:
        if (state != EAP_STATE_AUTHENTICATED && state != EAP_STATE_SUCCESS_NOTIFIED)
            return EAPAKA_RESULT_DROPPED;
        // RFC 3748 7.16: under strict success an EAP-Success counts only
        // from a server authenticated in this exchange, also when the method
        // acknowledged a success notification before the host set the flag.
        if (aka_compat(EAP_COMPAT_STRICT_SUCCESS) && !g_session.exchangeAuthenticated)
            return EAPAKA_RESULT_DROPPED;
        eap_end_conversation();
        return EAPAKA_RESULT_SUCCESS_PSEUDONYM;
    case EAP_CODE_FAILURE:
        if (state != EAP_STATE_AUTHENTICATED && state != EAP_STATE_FAILED)
            return EAPAKA_RESULT_DROPPED;
        eap_end_conversation();
        return EAPAKA_RESULT_FAILURE;
    case EAP_CODE_REQUEST:
        if (state != EAP_STATE_IDLE && state != EAP_STATE_CONVERSING &&
            state != EAP_STATE_AUTHENTICATED)
            return EAPAKA_RESULT_DROPPED;
        return eap_handle_request(packet, response);
    default:
        return EAPAKA_RESULT_DROPPED;
    }
}

void eap_length_to_host_order(uint8_t* packet) {
    const uint16_t length =
        static_cast<uint16_t>(packet[EAP_LENGTH_OFFSET] << 8 | packet[EAP_LENGTH_OFFSET + 1]);
    eap_set_length(packet, length);
}

// Builds the response (if any) for one received packet in `response`.
int eap_process_packet(uint8_t* packet, uint8_t* response) {
    eap_length_to_host_order(packet);
    const uint16_t length = eap_length(packet);
    if (!eap_length_in_range(length)) {
        msglog_line("\t>>EAP packet dropped: Length %u out of range", length);
        return EAPAKA_RESULT_DROPPED;
    }
    msglog_eap_packet(packet);
    if (!eap_request_complete(packet)) {
        msglog_line("\t>>EAP Request dropped: too short for its Type");
        return EAPAKA_RESULT_DROPPED;
    }
    if (eap_is_retransmission(packet)) {
        std::memcpy(response, g_session.lastResponse, eap_length(g_session.lastResponse));
        return EAPAKA_RESULT_RESPONSE;
    }
    return eap_dispatch_by_state(packet, response);
}

// The response goes out with its Length in network byte order.
void eap_copy_out(const uint8_t* response, uint8_t* out, unsigned short* outLen) {
    const uint16_t length = eap_length(response);
    out[EAP_CODE_OFFSET] = response[EAP_CODE_OFFSET];
    out[EAP_IDENTIFIER_OFFSET] = response[EAP_IDENTIFIER_OFFSET];
    out[EAP_LENGTH_OFFSET] = static_cast<uint8_t>(length >> 8);
    out[EAP_LENGTH_OFFSET + 1] = static_cast<uint8_t>(length & 0xFF);
    std::memcpy(out + EAP_TYPE_OFFSET, response + EAP_TYPE_OFFSET, length - EAP_TYPE_OFFSET);
    *outLen = length;
}

// EAP-Success tells the host which credentials it was for: the alternate
// key set if the last challenge used it, else the kind of the identity
// last composed.
int eap_success_result() {
    if (g_session.altKeySetUsed == 1) {
        g_session.altKeySetUsed = 0;
        return EAPAKA_RESULT_SUCCESS_ALT_KEYS;
    }
    if (g_session.identityKind == IDENTITY_KIND_PERMANENT) return EAPAKA_RESULT_SUCCESS_PERMANENT;
    return EAPAKA_RESULT_SUCCESS_PSEUDONYM;
}

}  // namespace

void eap_end_conversation() {
    g_session.eapState = EAP_STATE_IDLE;
    aka_start_exchange();
    g_session.lastResponse[EAP_IDENTIFIER_OFFSET] = 0;
}

int EAP_layer(unsigned char* in, unsigned char* out, unsigned short* outLen) {
    if (in == nullptr || out == nullptr || outLen == nullptr) return EAPAKA_RESULT_DROPPED;
    msglog_line("\n>Receive message:");
    response_timer_stop();

    uint8_t response[EAP_MAX_PACKET] = {};
    int result = eap_process_packet(in, response);
    if (result == EAPAKA_RESULT_RESPONSE || result == EAPAKA_RESULT_AUTH_RESPONSE) {
        msglog_line("\n<Send EAP message:");
        msglog_eap_packet(response);
        eap_copy_out(response, out, outLen);
        response_timer_arm(eap_end_conversation);
    }
    if (result == EAPAKA_RESULT_SUCCESS_PSEUDONYM) result = eap_success_result();
    msglog_line("\n<Return Result EAP(end of EAP_LAYER):");
    return result;
}
