// Decoding of EAP and EAP-AKA packets for people and programs: a summary
// line, the attributes with names and decoded values, and the contents of
// AT_ENCR_DATA when the key to decrypt it is known. Every length field is
// checked before it is used.
#ifndef EAPAKA_TOOLS_DECODE_H
#define EAPAKA_TOOLS_DECODE_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/bytes.h"
#include "tools/json.h"

namespace tool {

// One decoded value of an attribute, for the JSON form.
struct DecodedValue {
    enum Kind { Text, Number, Flag } kind;
    const char* key;
    std::string text;       // Text: hex or readable text
    int64_t number = 0;     // Number; Flag: 0 or 1
};

struct DecodedAttribute {
    uint8_t type = 0;
    unsigned words = 0;        // the Length field: 4-byte words
    std::string readable;      // the value as the readable log shows it
    std::vector<DecodedValue> values;
    std::vector<DecodedAttribute> decrypted;   // AT_ENCR_DATA with a known key
    bool decryptedWellFormed = true;
};

struct DecodedPacket {
    bool wellFormed = false;   // header and Length fit the bytes
    uint8_t code = 0;
    uint8_t identifier = 0;
    uint16_t length = 0;
    uint8_t type = 0;          // 0 when Length is 4
    uint8_t subtype = 0;       // EAP-AKA only
    std::string summary;       // "EAP-Request/AKA-Challenge id=3 len=80"
    Bytes typeData;            // Identity and Notification: the text
    std::vector<DecodedAttribute> attributes;
    bool attributesWellFormed = true;
};

// kEncr may be null; when given, AT_ENCR_DATA is decrypted with the
// packet's AT_IV.
DecodedPacket decode_packet(const Bytes& packet, const uint8_t* kEncr);

// The summary line followed by indented attribute lines.
std::vector<std::string> readable_lines(const DecodedPacket& packet);

// The packet as the members of a JSON object (the caller opens and closes
// it): code, identifier, length, type, subtype, attributes, hex.
void write_json(JsonWriter& json, const DecodedPacket& packet, const Bytes& raw);

}  // namespace tool

#endif
