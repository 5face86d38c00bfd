#include "tools/json.h"

#include <cstdio>

namespace tool {

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                // Bytes outside ASCII are written as code points 0..255 so
                // that any byte string yields valid JSON.
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

void JsonWriter::separate(const char* key) {
    if (needComma_) out_ += ",";
    if (key != nullptr) out_ += json_string(key) + ":";
}

JsonWriter& JsonWriter::begin_object(const char* key) {
    separate(key);
    out_ += "{";
    needComma_ = false;
    return *this;
}

JsonWriter& JsonWriter::end_object() {
    out_ += "}";
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::begin_array(const char* key) {
    separate(key);
    out_ += "[";
    needComma_ = false;
    return *this;
}

JsonWriter& JsonWriter::end_array() {
    out_ += "]";
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::field(const char* key, const std::string& value) {
    separate(key);
    out_ += json_string(value);
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::field(const char* key, int64_t value) {
    separate(key);
    out_ += std::to_string(value);
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::field(const char* key, double value) {
    separate(key);
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    out_ += text;
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::field(const char* key, bool value) {
    separate(key);
    out_ += value ? "true" : "false";
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(const std::string& text) { return field(nullptr, text); }

}  // namespace tool
