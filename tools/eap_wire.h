// EAP (RFC 3748), EAP-AKA (RFC 4187) and EAP-AKA' (RFC 9048) wire format, as the simulated
// network and the packet decoder see it: constants, a bounds-checked view of
// a packet and its attributes, and a builder for requests.
//
// The network keeps its own copy of the RFC numbers instead of including the
// library's aka/aka.h: a wrong constant in the library then shows up as a
// failed conversation rather than being shared by both ends.
#ifndef EAPAKA_TOOLS_EAP_WIRE_H
#define EAPAKA_TOOLS_EAP_WIRE_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/bytes.h"

namespace tool {

enum : uint8_t { EAP_REQUEST = 1, EAP_RESPONSE = 2, EAP_SUCCESS = 3, EAP_FAILURE = 4 };
enum : uint8_t {
    EAP_TYPE_IDENTITY = 1,
    EAP_TYPE_NOTIFICATION = 2,
    EAP_TYPE_NAK = 3,
    EAP_TYPE_AKA = 23,
    EAP_TYPE_AKA_PRIME = 50   // RFC 9048: the same messages and attributes, other keys
};

// EAP-AKA and EAP-AKA' share subtypes and attribute encoding.
inline bool is_aka_type(uint8_t type) { return type == EAP_TYPE_AKA || type == EAP_TYPE_AKA_PRIME; }

// RFC 4187 section 11: subtypes (EAP-AKA' keeps them, RFC 9048 section 3).
enum : uint8_t {
    AKA_CHALLENGE = 1,
    AKA_AUTHENTICATION_REJECT = 2,
    AKA_SYNCHRONIZATION_FAILURE = 4,
    AKA_IDENTITY = 5,
    AKA_NOTIFICATION = 12,
    AKA_REAUTHENTICATION = 13,
    AKA_CLIENT_ERROR = 14
};

// RFC 4187 section 11: attribute types.
enum : uint8_t {
    AT_RAND = 1,
    AT_AUTN = 2,
    AT_RES = 3,
    AT_AUTS = 4,
    AT_PADDING = 6,
    AT_PERMANENT_ID_REQ = 10,
    AT_MAC = 11,
    AT_NOTIFICATION = 12,
    AT_ANY_ID_REQ = 13,
    AT_IDENTITY = 14,
    AT_FULLAUTH_ID_REQ = 17,
    AT_COUNTER = 19,
    AT_COUNTER_TOO_SMALL = 20,
    AT_NONCE_S = 21,
    AT_CLIENT_ERROR_CODE = 22,
    AT_KDF_INPUT = 23,   // RFC 9048 section 3.1: the access network's name (EAP-AKA')
    AT_KDF = 24,         // RFC 9048 section 3.2: a key derivation function offered (EAP-AKA')
    AT_IV = 129,
    AT_ENCR_DATA = 130,
    AT_NEXT_PSEUDONYM = 132,
    AT_NEXT_REAUTH_ID = 133,
    AT_CHECKCODE = 134,
    AT_RESULT_IND = 135,
    AT_BIDDING = 136   // RFC 9048 section 4: sent by servers that also offer EAP-AKA'
};

constexpr size_t EAP_HEADER_SIZE = 4;
constexpr size_t AKA_HEADER_SIZE = 8;  // EAP header, Type, Subtype, 2 reserved
constexpr size_t MAC_SIZE = 16;
constexpr size_t AES_BLOCK = 16;
constexpr uint16_t NOTIFICATION_SUCCESS = 0x8000;  // RFC 4187 section 10.19
constexpr uint16_t NOTIFICATION_PHASE_BIT = 0x4000;
constexpr uint16_t BIDDING_D_BIT = 0x8000;         // RFC 9048 section 4: the server prefers EAP-AKA'

// One attribute inside a packet: `value` points just past Type and Length
// and holds Length x 4 - 2 bytes.
struct Attribute {
    uint8_t type;
    size_t offset;        // of the Type byte, from the start of the packet
    size_t size;          // Length x 4
    const uint8_t* value;
    size_t valueSize;
};

// Splits length bytes into attributes. False when an attribute has Length 0
// or runs past the end (RFC 4187 section 8.1); `out` then holds those before it.
bool split_attributes(const uint8_t* bytes, size_t length, size_t baseOffset,
                      std::vector<Attribute>& out);

// A checked view of one EAP packet. Valid only when parse() returned true:
// the Length field is at least 4 and no larger than the buffer.
struct EapPacket {
    uint8_t code = 0;
    uint8_t identifier = 0;
    uint16_t length = 0;
    uint8_t type = 0;       // 0 when Length is 4
    uint8_t subtype = 0;    // EAP-AKA and EAP-AKA' only
    std::vector<Attribute> attributes;  // EAP-AKA and EAP-AKA' only
    bool attributesWellFormed = true;

    bool parse(const Bytes& packet);
    const Attribute* find(uint8_t attributeType) const;  // first occurrence
    size_t count(uint8_t attributeType) const;
};

// Appends one attribute: Type, Length, `body`, zero fill to whole words.
void append_attribute(Bytes& out, uint8_t type, const uint8_t* body, size_t bodyLength);
// Appends AT_PADDING so that `plain` fills whole AES blocks (RFC 4187 10.12).
void append_padding(Bytes& plain);

// Builds EAP-AKA (or, with `type` 50, EAP-AKA') packets attribute by
// attribute (each padded with zeros to whole 4-byte words) and fixes the
// Length when finished.
class AkaPacketBuilder {
public:
    AkaPacketBuilder(uint8_t code, uint8_t identifier, uint8_t subtype, uint8_t type = EAP_TYPE_AKA);
    // Type, Length, then `body` and zero fill; returns the attribute's offset.
    size_t add(uint8_t type, const uint8_t* body, size_t bodyLength);
    size_t add(uint8_t type, const Bytes& body) { return add(type, body.data(), body.size()); }
    // Two reserved zero bytes before `value` (AT_RAND, AT_AUTN, AT_IV, ...).
    size_t add_reserved(uint8_t type, const uint8_t* value, size_t valueLength);
    // A 16-bit field before `value` (actual length, counter, code, RES bits).
    size_t add_with_u16(uint8_t type, uint16_t field, const uint8_t* value, size_t valueLength);
    // AT_MAC with a zero value; returns the offset of the 16 MAC bytes.
    size_t add_zero_mac();
    Bytes finish();

private:
    Bytes packet_;
};

// Plain EAP packets without Type-Data: Success, Failure; and the Identity request.
Bytes eap_header_only(uint8_t code, uint8_t identifier);
Bytes eap_identity_request(uint8_t identifier);

// Readable names for the decoder and the messages of the simulated network.
const char* eap_code_name(uint8_t code);
// "AKA-Challenge", or "AKA'-Challenge" for the EAP-AKA' `type`.
const char* aka_subtype_name(uint8_t subtype, uint8_t type = EAP_TYPE_AKA);
const char* aka_attribute_name(uint8_t type);
const char* aka_notification_name(uint16_t code);

}  // namespace tool

#endif
