// RADIUS packets as a NAS sends and receives them for EAP (RFC 2865,
// RFC 3579): encoding with Message-Authenticator, bounds-checked decoding,
// verification of a server's reply, EAP-Message fragmentation and the
// salt-encrypted MS-MPPE keys of RFC 2548.
#ifndef EAPAKA_TOOLS_INTEROP_RADIUS_PACKET_H
#define EAPAKA_TOOLS_INTEROP_RADIUS_PACKET_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using ByteString = std::vector<uint8_t>;

// Codes (RFC 2865 section 3).
enum : uint8_t {
    RADIUS_ACCESS_REQUEST = 1,
    RADIUS_ACCESS_ACCEPT = 2,
    RADIUS_ACCESS_REJECT = 3,
    RADIUS_ACCESS_CHALLENGE = 11
};

// Attribute types (RFC 2865 section 5, RFC 3579 section 3).
enum : uint8_t {
    RADIUS_ATTR_USER_NAME = 1,
    RADIUS_ATTR_USER_PASSWORD = 2,
    RADIUS_ATTR_NAS_IP_ADDRESS = 4,
    RADIUS_ATTR_SERVICE_TYPE = 6,
    RADIUS_ATTR_FRAMED_MTU = 12,
    RADIUS_ATTR_STATE = 24,
    RADIUS_ATTR_VENDOR_SPECIFIC = 26,
    RADIUS_ATTR_CALLING_STATION_ID = 31,
    RADIUS_ATTR_NAS_IDENTIFIER = 32,
    RADIUS_ATTR_NAS_PORT_TYPE = 61,
    RADIUS_ATTR_NAS_IPV6_ADDRESS = 95,   // RFC 3162 section 2.1
    RADIUS_ATTR_EAP_MESSAGE = 79,
    RADIUS_ATTR_MESSAGE_AUTHENTICATOR = 80
};

// RFC 2548: vendor 311 and the two MPPE key types.
constexpr uint32_t RADIUS_VENDOR_MICROSOFT = 311;
constexpr uint8_t RADIUS_MS_MPPE_SEND_KEY = 16;
constexpr uint8_t RADIUS_MS_MPPE_RECV_KEY = 17;

constexpr size_t RADIUS_HEADER_SIZE = 20;
constexpr size_t RADIUS_AUTHENTICATOR_SIZE = 16;
constexpr size_t RADIUS_MAX_PACKET = 4096;       // RFC 2865 section 3
constexpr size_t RADIUS_MAX_ATTRIBUTE_VALUE = 253;

struct RadiusAttribute {
    uint8_t type;
    ByteString value;
};

struct RadiusPacket {
    uint8_t code = 0;
    uint8_t identifier = 0;
    uint8_t authenticator[RADIUS_AUTHENTICATOR_SIZE] = {};
    std::vector<RadiusAttribute> attributes;

    // First attribute of the type, or null.
    const RadiusAttribute* find(uint8_t type) const;
};

// Appends an attribute; false when the value exceeds 253 bytes.
bool radius_add_attribute(RadiusPacket& packet, uint8_t type, const ByteString& value);

// Appends the EAP packet as consecutive EAP-Message attributes of at most
// 253 bytes each (RFC 3579 section 3.1). An empty packet adds nothing.
void radius_add_eap_message(RadiusPacket& packet, const uint8_t* eap, size_t length);

// Concatenation of all EAP-Message values in order (empty when none).
ByteString radius_eap_message(const RadiusPacket& packet);

// Serialises an Access-Request with a zeroed Message-Authenticator appended
// as the last attribute, then fills it with HMAC-MD5 under the shared secret
// over the whole packet (RFC 3579 section 3.2). False when the packet would
// exceed 4096 bytes.
bool radius_encode_request(const RadiusPacket& packet, const std::string& secret, ByteString& wire);

// Parses a packet: header, declared Length within the received bytes and
// inside 20..4096, attributes of Length 2 or more that end exactly at the
// packet's end. Bytes past the declared Length are ignored (RFC 2865 section
// 3). False on any violation; `packet` is then unspecified.
bool radius_decode(const uint8_t* wire, size_t length, RadiusPacket& packet);

// Why a datagram is not taken as the reply to the outstanding request.
enum class RadiusReplyFault {
    None,
    Malformed,                    // header, Length or an attribute out of bounds
    WrongIdentifier,              // answers another request
    BadResponseAuthenticator,     // RFC 2865 section 3 (a different shared secret?)
    MissingMessageAuthenticator,  // EAP-Message without one (RFC 3579 section 3.2)
    BadMessageAuthenticator
};
constexpr size_t RADIUS_REPLY_FAULT_COUNT = 6;

// "bad Response Authenticator" and the like.
const char* radius_fault_name(RadiusReplyFault fault);

// Checks a datagram of `received` bytes as the reply to the request with
// `identifier` and `requestAuthenticator`: it must decode (radius_decode),
// carry that Identifier, a Response Authenticator MD5(Code | Identifier |
// Length | Request Authenticator | Attributes | Secret) as RFC 2865 section
// 3 defines it, and, whenever it carries EAP-Message, a Message-Authenticator
// that verifies (RFC 3579 section 3.2). The checks run in that order and the
// first that fails is returned; with None, `reply` holds the packet.
RadiusReplyFault radius_check_reply(const uint8_t* wire, size_t received, uint8_t identifier,
                                    const uint8_t requestAuthenticator[RADIUS_AUTHENTICATOR_SIZE],
                                    const std::string& secret, RadiusPacket& reply);

// Reverses the hiding of RFC 2865 section 5.2 and RFC 2548 section 2.4.2:
// b(1) = MD5(secret | authenticator | salt), b(i) = MD5(secret | c(i-1)),
// p(i) = c(i) xor b(i). `salt` may be empty (User-Password). The cipher text
// must be a non-empty multiple of 16 bytes; false otherwise.
bool radius_unhide(const uint8_t* cipher, size_t length, const std::string& secret,
                   const uint8_t authenticator[RADIUS_AUTHENTICATOR_SIZE],
                   const ByteString& salt, ByteString& plain);

// The MS-MPPE-Recv-Key and MS-MPPE-Send-Key of an Access-Accept, decrypted
// with the shared secret and the authenticator of the request they answer
// (RFC 2548 sections 2.4.2, 2.4.3). False when either key is missing or its
// salt, length or padding is malformed.
bool radius_mppe_keys(const RadiusPacket& accept, const std::string& secret,
                      const uint8_t requestAuthenticator[RADIUS_AUTHENTICATOR_SIZE],
                      ByteString& recvKey, ByteString& sendKey);

#endif
