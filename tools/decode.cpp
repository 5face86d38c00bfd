#include "tools/decode.h"

#include <cstdio>

#include "tools/eap_wire.h"
#include "refcrypto/refcrypto.h"

namespace tool {

namespace {

// Printable text as it stands, anything else as \xNN.
std::string quoted(const uint8_t* bytes, size_t n) {
    std::string out = "\"";
    for (size_t i = 0; i < n; ++i) {
        if (bytes[i] >= 0x20 && bytes[i] < 0x7F && bytes[i] != '"' && bytes[i] != '\\') {
            out += static_cast<char>(bytes[i]);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", bytes[i]);
            out += escaped;
        }
    }
    return out + "\"";
}

// Identity-like value: actual length (2 bytes), then the text.
std::string length_prefixed(const Attribute& a) {
    if (a.valueSize < 2) return "(malformed)";
    size_t n = get_be16(a.value);
    if (n > a.valueSize - 2) return "(actual length " + std::to_string(n) + " exceeds the attribute)";
    return quoted(a.value + 2, n);
}

std::string reserved_hex(const Attribute& a) {
    if (a.valueSize < 2) return "(malformed)";
    return to_hex(a.value + 2, a.valueSize - 2);
}

std::string attribute_value(const Attribute& a) {
    switch (a.type) {
    case AT_RAND: case AT_AUTN: case AT_MAC: case AT_IV: case AT_NONCE_S:
        return reserved_hex(a);
    case AT_AUTS:
        return to_hex(a.value, a.valueSize);
    case AT_RES: {
        if (a.valueSize < 2) return "(malformed)";
        unsigned bits = get_be16(a.value);
        size_t bytes = (bits + 7) / 8;
        if (bytes > a.valueSize - 2) return "(RES length " + std::to_string(bits) + " bits exceeds the attribute)";
        return std::to_string(bits) + " bits " + to_hex(a.value + 2, bytes);
    }
    case AT_IDENTITY: case AT_NEXT_PSEUDONYM: case AT_NEXT_REAUTH_ID:
        return length_prefixed(a);
    case AT_NOTIFICATION: {
        if (a.valueSize < 2) return "(malformed)";
        uint16_t code = get_be16(a.value);
        char text[96];
        std::snprintf(text, sizeof text, "%u (S=%d P=%d) %s", code,
                      (code & NOTIFICATION_SUCCESS) ? 1 : 0, (code & NOTIFICATION_PHASE_BIT) ? 1 : 0,
                      aka_notification_name(code));
        return text;
    }
    case AT_COUNTER: case AT_CLIENT_ERROR_CODE:
        return a.valueSize < 2 ? "(malformed)" : std::to_string(get_be16(a.value));
    case AT_CHECKCODE:
        return a.valueSize <= 2 ? "(empty)" : reserved_hex(a);
    case AT_PADDING:
        return std::to_string(a.valueSize) + " bytes";
    case AT_ENCR_DATA:
        return a.valueSize < 2 ? "(malformed)" : std::to_string(a.valueSize - 2) + " bytes encrypted";
    default:
        return a.valueSize == 2 && a.value[0] == 0 && a.value[1] == 0 ? "" : to_hex(a.value, a.valueSize);
    }
}

void list_attributes(const std::vector<Attribute>& attributes, const std::string& indent,
                     std::vector<std::string>& lines) {
    for (const Attribute& a : attributes) {
        char head[48];
        std::snprintf(head, sizeof head, "%-20s", aka_attribute_name(a.type));
        std::string value = attribute_value(a);
        lines.push_back(indent + head + (value.empty() ? "" : " " + value));
    }
}

void list_encrypted(const EapPacket& p, const uint8_t* kEncr, std::vector<std::string>& lines) {
    const Attribute* iv = p.find(AT_IV);
    const Attribute* encr = p.find(AT_ENCR_DATA);
    if (kEncr == nullptr || iv == nullptr || encr == nullptr || iv->valueSize != 2 + AES_BLOCK ||
        encr->valueSize < 2 || (encr->valueSize - 2) % AES_BLOCK != 0) {
        return;
    }
    Bytes plain = refcrypto::aes_cbc_decrypt(Bytes(kEncr, kEncr + AES_BLOCK),
                                             Bytes(iv->value + 2, iv->value + 2 + AES_BLOCK),
                                             Bytes(encr->value + 2, encr->value + encr->valueSize));
    std::vector<Attribute> inner;
    bool wellFormed = split_attributes(plain.data(), plain.size(), 0, inner);
    lines.push_back("      decrypted:");
    list_attributes(inner, "        ", lines);
    if (!wellFormed) lines.push_back("        (malformed encrypted attributes)");
}

}  // namespace

std::string packet_summary(const Bytes& packet) {
    EapPacket p;
    if (!p.parse(packet)) return "malformed EAP packet (" + std::to_string(packet.size()) + " bytes)";
    std::string what = eap_code_name(p.code);
    if (p.code == EAP_REQUEST || p.code == EAP_RESPONSE) {
        switch (p.type) {
        case 0: what += "/(no type)"; break;
        case EAP_TYPE_IDENTITY: what += "/Identity"; break;
        case EAP_TYPE_NOTIFICATION: what += "/Notification"; break;
        case EAP_TYPE_NAK: what += "/Nak"; break;
        case EAP_TYPE_AKA: what += std::string("/") + aka_subtype_name(p.subtype); break;
        default: what += "/type " + std::to_string(p.type); break;
        }
    }
    return what + " id=" + std::to_string(p.identifier) + " len=" + std::to_string(p.length);
}

std::vector<std::string> decode_packet(const Bytes& packet, const uint8_t* kEncr) {
    std::vector<std::string> lines{packet_summary(packet)};
    EapPacket p;
    if (!p.parse(packet)) return lines;
    if ((p.type == EAP_TYPE_IDENTITY || p.type == EAP_TYPE_NOTIFICATION) && p.length > 5) {
        lines.push_back("    " + quoted(packet.data() + 5, p.length - 5u));
    }
    if (p.type != EAP_TYPE_AKA) return lines;
    list_attributes(p.attributes, "    ", lines);
    if (!p.attributesWellFormed) lines.push_back("    (attribute runs past the packet)");
    list_encrypted(p, kEncr, lines);
    return lines;
}

}  // namespace tool
