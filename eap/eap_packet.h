// EAP packet framing shared by every layer that reads or builds packets
// (RFC 3748 section 4; EAP-AKA header RFC 4187 section 8.1). Constants and
// the host-order Length accessors only: no layer's code lives here.
#ifndef EAPAKA_EAP_EAP_PACKET_H
#define EAPAKA_EAP_EAP_PACKET_H

#include <cstdint>
#include <cstring>

enum { EAP_CODE_REQUEST = 1, EAP_CODE_RESPONSE = 2, EAP_CODE_SUCCESS = 3, EAP_CODE_FAILURE = 4 };
enum { EAP_TYPE_IDENTITY = 1, EAP_TYPE_NOTIFICATION = 2, EAP_TYPE_NAK = 3, EAP_TYPE_AKA = 23, EAP_TYPE_AKA_PRIME = 50 };
constexpr unsigned EAP_HEADER_SIZE = 4;
constexpr unsigned EAP_TYPE_HEADER_SIZE = 5;
constexpr unsigned AKA_HEADER_SIZE = 8;

// Offset of the Length field in every EAP packet (RFC 3748 section 4).
constexpr unsigned EAP_LENGTH_OFFSET = 2;

// Length of a packet inside the library, where it is held in host byte order.
inline uint16_t eap_length(const uint8_t* packet) {
    uint16_t length;
    std::memcpy(&length, packet + EAP_LENGTH_OFFSET, sizeof length);
    return length;
}

inline void eap_set_length(uint8_t* packet, uint16_t length) {
    std::memcpy(packet + EAP_LENGTH_OFFSET, &length, sizeof length);
}

#endif
