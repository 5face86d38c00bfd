#include "tools/eap_wire.h"

namespace tool {

bool split_attributes(const uint8_t* bytes, size_t length, size_t baseOffset,
                      std::vector<Attribute>& out) {
    size_t pos = 0;
    while (pos < length) {
        if (length - pos < 2) return false;
        size_t size = static_cast<size_t>(bytes[pos + 1]) * 4;
        if (size == 0 || size > length - pos) return false;
        out.push_back(Attribute{bytes[pos], baseOffset + pos, size, bytes + pos + 2, size - 2});
        pos += size;
    }
    return true;
}

bool EapPacket::parse(const Bytes& packet) {
    attributes.clear();
    attributesWellFormed = true;
    type = 0;
    subtype = 0;
    if (packet.size() < EAP_HEADER_SIZE) return false;
    code = packet[0];
    identifier = packet[1];
    length = get_be16(&packet[2]);
    if (length < EAP_HEADER_SIZE || length > packet.size()) return false;
    if (length > EAP_HEADER_SIZE) type = packet[4];
    if (is_aka_type(type) && (code == EAP_REQUEST || code == EAP_RESPONSE)) {
        if (length < AKA_HEADER_SIZE) return false;
        subtype = packet[5];
        attributesWellFormed = split_attributes(packet.data() + AKA_HEADER_SIZE,
                                                length - AKA_HEADER_SIZE, AKA_HEADER_SIZE,
                                                attributes);
    }
    return true;
}

const Attribute* EapPacket::find(uint8_t attributeType) const {
    for (const Attribute& a : attributes) {
        if (a.type == attributeType) return &a;
    }
    return nullptr;
}

size_t EapPacket::count(uint8_t attributeType) const {
    size_t n = 0;
    for (const Attribute& a : attributes) n += a.type == attributeType;
    return n;
}

AkaPacketBuilder::AkaPacketBuilder(uint8_t code, uint8_t identifier, uint8_t subtype, uint8_t type)
    : packet_{code, identifier, 0, 0, type, subtype, 0, 0} {}

void append_attribute(Bytes& out, uint8_t type, const uint8_t* body, size_t bodyLength) {
    size_t offset = out.size();
    size_t words = (2 + bodyLength + 3) / 4;
    out.push_back(type);
    out.push_back(static_cast<uint8_t>(words));
    if (bodyLength > 0) out.insert(out.end(), body, body + bodyLength);
    out.resize(offset + words * 4, 0);
}

void append_padding(Bytes& plain) {
    size_t pad = (AES_BLOCK - plain.size() % AES_BLOCK) % AES_BLOCK;
    if (pad == 0) return;
    const uint8_t zeros[AES_BLOCK] = {};
    append_attribute(plain, AT_PADDING, zeros, pad - 2);
}

size_t AkaPacketBuilder::add(uint8_t type, const uint8_t* body, size_t bodyLength) {
    size_t offset = packet_.size();
    append_attribute(packet_, type, body, bodyLength);
    return offset;
}

size_t AkaPacketBuilder::add_reserved(uint8_t type, const uint8_t* value, size_t valueLength) {
    return add_with_u16(type, 0, value, valueLength);
}

size_t AkaPacketBuilder::add_with_u16(uint8_t type, uint16_t field, const uint8_t* value,
                                      size_t valueLength) {
    Bytes body(2 + valueLength);
    put_be16(body.data(), field);
    if (valueLength > 0) std::copy(value, value + valueLength, body.begin() + 2);
    return add(type, body);
}

size_t AkaPacketBuilder::add_zero_mac() {
    const uint8_t zero[MAC_SIZE] = {};
    return add_reserved(AT_MAC, zero, sizeof zero) + 4;
}

Bytes AkaPacketBuilder::finish() {
    put_be16(&packet_[2], static_cast<uint16_t>(packet_.size()));
    return packet_;
}

Bytes eap_header_only(uint8_t code, uint8_t identifier) {
    return Bytes{code, identifier, 0, 4};
}

Bytes eap_identity_request(uint8_t identifier) {
    return Bytes{EAP_REQUEST, identifier, 0, 5, EAP_TYPE_IDENTITY};
}

const char* eap_code_name(uint8_t code) {
    switch (code) {
    case EAP_REQUEST: return "EAP-Request";
    case EAP_RESPONSE: return "EAP-Response";
    case EAP_SUCCESS: return "EAP-Success";
    case EAP_FAILURE: return "EAP-Failure";
    default: return "EAP-?";
    }
}

// RFC 9048 names the EAP-AKA' messages "AKA'-Challenge" and so on.
const char* aka_subtype_name(uint8_t subtype, uint8_t type) {
    const bool prime = type == EAP_TYPE_AKA_PRIME;
    switch (subtype) {
    case AKA_CHALLENGE: return prime ? "AKA'-Challenge" : "AKA-Challenge";
    case AKA_AUTHENTICATION_REJECT: return prime ? "AKA'-Authentication-Reject" : "AKA-Authentication-Reject";
    case AKA_SYNCHRONIZATION_FAILURE: return prime ? "AKA'-Synchronization-Failure" : "AKA-Synchronization-Failure";
    case AKA_IDENTITY: return prime ? "AKA'-Identity" : "AKA-Identity";
    case AKA_NOTIFICATION: return prime ? "AKA'-Notification" : "AKA-Notification";
    case AKA_REAUTHENTICATION: return prime ? "AKA'-Reauthentication" : "AKA-Reauthentication";
    case AKA_CLIENT_ERROR: return prime ? "AKA'-Client-Error" : "AKA-Client-Error";
    default: return prime ? "AKA'-unknown-subtype" : "AKA-unknown-subtype";
    }
}

const char* aka_attribute_name(uint8_t type) {
    switch (type) {
    case AT_RAND: return "AT_RAND";
    case AT_AUTN: return "AT_AUTN";
    case AT_RES: return "AT_RES";
    case AT_AUTS: return "AT_AUTS";
    case AT_PADDING: return "AT_PADDING";
    case AT_PERMANENT_ID_REQ: return "AT_PERMANENT_ID_REQ";
    case AT_MAC: return "AT_MAC";
    case AT_NOTIFICATION: return "AT_NOTIFICATION";
    case AT_ANY_ID_REQ: return "AT_ANY_ID_REQ";
    case AT_IDENTITY: return "AT_IDENTITY";
    case AT_FULLAUTH_ID_REQ: return "AT_FULLAUTH_ID_REQ";
    case AT_COUNTER: return "AT_COUNTER";
    case AT_COUNTER_TOO_SMALL: return "AT_COUNTER_TOO_SMALL";
    case AT_NONCE_S: return "AT_NONCE_S";
    case AT_CLIENT_ERROR_CODE: return "AT_CLIENT_ERROR_CODE";
    case AT_KDF_INPUT: return "AT_KDF_INPUT";
    case AT_KDF: return "AT_KDF";
    case AT_IV: return "AT_IV";
    case AT_ENCR_DATA: return "AT_ENCR_DATA";
    case AT_NEXT_PSEUDONYM: return "AT_NEXT_PSEUDONYM";
    case AT_NEXT_REAUTH_ID: return "AT_NEXT_REAUTH_ID";
    case AT_CHECKCODE: return "AT_CHECKCODE";
    case AT_RESULT_IND: return "AT_RESULT_IND";
    case AT_BIDDING: return "AT_BIDDING";
    default: return "AT_unknown";
    }
}

// RFC 4187 section 10.19 and the codes operators use after it.
const char* aka_notification_name(uint16_t code) {
    switch (code) {
    case 0: return "general failure after authentication";
    case 1026: return "user has been temporarily denied access";
    case 1031: return "user has not subscribed to the requested service";
    case 16384: return "general failure";
    case 32768: return "success";
    default: return (code & NOTIFICATION_SUCCESS) ? "success-class code" : "failure";
    }
}

}  // namespace tool
