#include "tools/decode.h"

#include <cstdio>

#include "refcrypto/refcrypto.h"
#include "tools/eap_wire.h"

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

void text_value(DecodedAttribute& d, const char* key, const std::string& text) {
    d.values.push_back({DecodedValue::Text, key, text});
}

void number_value(DecodedAttribute& d, const char* key, int64_t n, DecodedValue::Kind kind = DecodedValue::Number) {
    d.values.push_back({kind, key, {}, n});
}

void malformed(DecodedAttribute& d, const std::string& what) {
    d.readable = "(" + what + ")";
    text_value(d, "error", what);
}

void hex_value(DecodedAttribute& d, const uint8_t* bytes, size_t n) {
    d.readable = to_hex(bytes, n);
    text_value(d, "value", d.readable);
}

// Identity-like value: actual length (2 bytes), then the text.
void length_prefixed(const Attribute& a, DecodedAttribute& d) {
    size_t n = get_be16(a.value);
    if (n > a.valueSize - 2) return malformed(d, "actual length " + std::to_string(n) + " exceeds the attribute");
    d.readable = quoted(a.value + 2, n);
    text_value(d, "text", std::string(reinterpret_cast<const char*>(a.value + 2), n));
}

void res_value(const Attribute& a, DecodedAttribute& d) {
    unsigned bits = get_be16(a.value);
    size_t bytes = (bits + 7) / 8;
    if (bytes > a.valueSize - 2) return malformed(d, "RES length " + std::to_string(bits) + " bits exceeds the attribute");
    number_value(d, "bits", bits);
    hex_value(d, a.value + 2, bytes);
    d.readable = std::to_string(bits) + " bits " + d.readable;
}

void notification_value(const Attribute& a, DecodedAttribute& d) {
    uint16_t code = get_be16(a.value);
    bool success = (code & NOTIFICATION_SUCCESS) != 0;
    bool phase = (code & NOTIFICATION_PHASE_BIT) != 0;
    char text[96];
    std::snprintf(text, sizeof text, "%u (S=%d P=%d) %s", code, success ? 1 : 0, phase ? 1 : 0,
                  aka_notification_name(code));
    d.readable = text;
    number_value(d, "code", code);
    number_value(d, "success", success, DecodedValue::Flag);
    number_value(d, "phase", phase, DecodedValue::Flag);
    text_value(d, "meaning", aka_notification_name(code));
}

// RFC 9048 section 4: the D bit says the server supports and prefers
// EAP-AKA'; the other 15 bits are reserved.
void bidding_value(const Attribute& a, DecodedAttribute& d) {
    const bool prefersPrime = (get_be16(a.value) & BIDDING_D_BIT) != 0;
    d.readable = prefersPrime ? "D=1 (the server prefers EAP-AKA')" : "D=0";
    number_value(d, "d", prefersPrime, DecodedValue::Flag);
}

DecodedAttribute describe(const Attribute& a) {
    DecodedAttribute d;
    d.type = a.type;
    d.words = static_cast<unsigned>(a.size / 4);
    // A Length of one word or more leaves at least the two bytes of reserved
    // space or 16-bit field that every value starts with.
    switch (a.type) {
    case AT_RAND: case AT_AUTN: case AT_MAC: case AT_IV: case AT_NONCE_S:
        hex_value(d, a.value + 2, a.valueSize - 2);
        break;
    case AT_AUTS:
        hex_value(d, a.value, a.valueSize);
        break;
    case AT_RES:
        res_value(a, d);
        break;
    case AT_IDENTITY: case AT_NEXT_PSEUDONYM: case AT_NEXT_REAUTH_ID:
        length_prefixed(a, d);
        break;
    case AT_NOTIFICATION:
        notification_value(a, d);
        break;
    case AT_COUNTER: case AT_CLIENT_ERROR_CODE: case AT_KDF:
        d.readable = std::to_string(get_be16(a.value));
        number_value(d, a.type == AT_COUNTER ? "counter" : a.type == AT_KDF ? "kdf" : "code", get_be16(a.value));
        break;
    case AT_KDF_INPUT:   // RFC 9048 section 3.1: actual length, then the network name
        length_prefixed(a, d);
        break;
    case AT_BIDDING:
        bidding_value(a, d);
        break;
    case AT_CHECKCODE:
        hex_value(d, a.value + 2, a.valueSize - 2);
        if (a.valueSize == 2) d.readable = "(empty)";
        break;
    case AT_PADDING:
        d.readable = std::to_string(a.valueSize) + " bytes";
        number_value(d, "bytes", static_cast<int64_t>(a.valueSize));
        break;
    case AT_ENCR_DATA:
        d.readable = std::to_string(a.valueSize - 2) + " bytes encrypted";
        number_value(d, "bytes", static_cast<int64_t>(a.valueSize - 2));
        break;
    default:
        // Flags (AT_ANY_ID_REQ, AT_RESULT_IND, ...) carry two zero bytes.
        if (a.valueSize != 2 || a.value[0] != 0 || a.value[1] != 0) hex_value(d, a.value, a.valueSize);
        break;
    }
    return d;
}

std::vector<DecodedAttribute> describe_all(const std::vector<Attribute>& attributes) {
    std::vector<DecodedAttribute> out;
    for (const Attribute& a : attributes) out.push_back(describe(a));
    return out;
}

void decrypt_into(const EapPacket& p, const uint8_t* kEncr, DecodedPacket& out) {
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
    for (DecodedAttribute& d : out.attributes) {
        if (d.type != AT_ENCR_DATA) continue;
        d.decrypted = describe_all(inner);
        d.decryptedWellFormed = wellFormed;
        break;
    }
}

void list_lines(const std::vector<DecodedAttribute>& attributes, const std::string& indent,
                std::vector<std::string>& lines) {
    for (const DecodedAttribute& a : attributes) {
        char head[48];
        std::snprintf(head, sizeof head, "%-20s ", aka_attribute_name(a.type));
        lines.push_back(indent + (a.readable.empty() ? aka_attribute_name(a.type) : head + a.readable));
    }
}

void json_attributes(JsonWriter& json, const char* key, const std::vector<DecodedAttribute>& attributes) {
    json.begin_array(key);
    for (const DecodedAttribute& a : attributes) {
        json.begin_object().field("type", int64_t{a.type}).field("name", aka_attribute_name(a.type))
            .field("length", int64_t{a.words});
        for (const DecodedValue& v : a.values) {
            if (v.kind == DecodedValue::Text) json.field(v.key, v.text);
            else if (v.kind == DecodedValue::Flag) json.field(v.key, v.number != 0);
            else json.field(v.key, v.number);
        }
        if (!a.decrypted.empty()) json_attributes(json, "decrypted", a.decrypted);
        json.end_object();
    }
    json.end_array();
}

const char* type_name(uint8_t type) {
    switch (type) {
    case EAP_TYPE_IDENTITY: return "Identity";
    case EAP_TYPE_NOTIFICATION: return "Notification";
    case EAP_TYPE_NAK: return "Nak";
    case EAP_TYPE_AKA: return "EAP-AKA";
    case EAP_TYPE_AKA_PRIME: return "EAP-AKA'";
    default: return nullptr;
    }
}

}  // namespace

DecodedPacket decode_packet(const Bytes& packet, const uint8_t* kEncr) {
    DecodedPacket out;
    EapPacket p;
    if (!p.parse(packet)) {
        out.summary = "malformed EAP packet (" + std::to_string(packet.size()) + " bytes)";
        return out;
    }
    out.wellFormed = true;
    out.code = p.code;
    out.identifier = p.identifier;
    out.length = p.length;
    out.type = p.type;
    out.subtype = p.subtype;
    std::string what = eap_code_name(p.code);
    if (p.code == EAP_REQUEST || p.code == EAP_RESPONSE) {
        if (p.type == 0) what += "/(no type)";
        else if (is_aka_type(p.type)) what += std::string("/") + aka_subtype_name(p.subtype, p.type);
        else if (type_name(p.type) != nullptr) what += std::string("/") + type_name(p.type);
        else what += "/type " + std::to_string(p.type);
    }
    out.summary = what + " id=" + std::to_string(p.identifier) + " len=" + std::to_string(p.length);
    if (p.type == EAP_TYPE_IDENTITY || p.type == EAP_TYPE_NOTIFICATION) {
        out.typeData.assign(packet.begin() + 5, packet.begin() + p.length);
    }
    if (is_aka_type(p.type)) {
        out.attributes = describe_all(p.attributes);
        out.attributesWellFormed = p.attributesWellFormed;
        decrypt_into(p, kEncr, out);
    }
    return out;
}

std::vector<std::string> readable_lines(const DecodedPacket& packet) {
    std::vector<std::string> lines{packet.summary};
    if (!packet.typeData.empty()) lines.push_back("    " + quoted(packet.typeData.data(), packet.typeData.size()));
    list_lines(packet.attributes, "    ", lines);
    if (!packet.attributesWellFormed) lines.push_back("    (attribute runs past the packet)");
    for (const DecodedAttribute& a : packet.attributes) {
        if (a.type != AT_ENCR_DATA || (a.decrypted.empty() && a.decryptedWellFormed)) continue;
        lines.push_back("      decrypted:");
        list_lines(a.decrypted, "        ", lines);
        if (!a.decryptedWellFormed) lines.push_back("        (malformed encrypted attributes)");
    }
    return lines;
}

void write_json(JsonWriter& json, const DecodedPacket& packet, const Bytes& raw) {
    if (packet.wellFormed) {
        json.field("code", int64_t{packet.code}).field("code_name", eap_code_name(packet.code))
            .field("identifier", int64_t{packet.identifier}).field("length", int64_t{packet.length});
        if (packet.type != 0) {
            json.field("type", int64_t{packet.type});
            if (type_name(packet.type) != nullptr) json.field("type_name", type_name(packet.type));
        }
        if (is_aka_type(packet.type)) {
            json.field("subtype", int64_t{packet.subtype})
                .field("subtype_name", aka_subtype_name(packet.subtype, packet.type));
            json_attributes(json, "attributes", packet.attributes);
        }
        if (!packet.typeData.empty()) {
            json.field("text", std::string(packet.typeData.begin(), packet.typeData.end()));
        }
    }
    json.field("malformed", !packet.wellFormed || !packet.attributesWellFormed);
    json.field("hex", to_hex(raw));
}

}  // namespace tool
