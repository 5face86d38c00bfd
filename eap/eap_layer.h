// EAP peer layer (RFC 3748): framing, EAP state, retransmission, Identity,
// Notification and Nak; EAP-AKA requests go to aka_process_request.
#ifndef EAPAKA_EAP_EAP_LAYER_H
#define EAPAKA_EAP_EAP_LAYER_H

#include "eap/eap_packet.h"

// Largest packet EAP_layer accepts: a Notification whose text fills the
// 1024-byte text area of the host's notification record. Every EAP-AKA
// request the method understands is far smaller; anything longer is dropped.
constexpr unsigned EAP_MAX_REQUEST = EAP_TYPE_HEADER_SIZE + 1024;

// Ends the conversation: states back to 1, identity record emptied and the
// held response dropped.
void eap_end_conversation();

#endif
