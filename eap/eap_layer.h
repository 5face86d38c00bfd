// EAP peer layer (RFC 3748): framing, EAP state, retransmission, Identity,
// Notification and Nak; EAP-AKA requests go to aka_process_request.
#ifndef EAPAKA_EAP_EAP_LAYER_H
#define EAPAKA_EAP_EAP_LAYER_H

#include <cstdint>

enum { EAP_CODE_REQUEST = 1, EAP_CODE_RESPONSE = 2, EAP_CODE_SUCCESS = 3, EAP_CODE_FAILURE = 4 };
enum { EAP_TYPE_IDENTITY = 1, EAP_TYPE_NOTIFICATION = 2, EAP_TYPE_NAK = 3, EAP_TYPE_AKA = 23 };
constexpr unsigned EAP_HEADER_SIZE = 4;
constexpr unsigned EAP_TYPE_HEADER_SIZE = 5;
constexpr unsigned AKA_HEADER_SIZE = 8;

// Ends the conversation: states back to 1, identity record emptied and the
// held response dropped.
void eap_end_conversation();

#endif
