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

JsonWriter& JsonWriter::emit(const char* key, const std::string& text, bool opens) {
    if (needComma_) out_ += ",";
    if (key != nullptr) out_ += json_string(key) + ":";
    out_ += text;
    needComma_ = !opens;
    return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
    out_ += bracket;
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::begin_object(const char* key) { return emit(key, "{", true); }
JsonWriter& JsonWriter::end_object() { return close('}'); }
JsonWriter& JsonWriter::begin_array(const char* key) { return emit(key, "[", true); }
JsonWriter& JsonWriter::end_array() { return close(']'); }
JsonWriter& JsonWriter::field(const char* key, const std::string& value) { return emit(key, json_string(value)); }
JsonWriter& JsonWriter::field(const char* key, int64_t value) { return emit(key, std::to_string(value)); }
JsonWriter& JsonWriter::field(const char* key, bool value) { return emit(key, value ? "true" : "false"); }

JsonWriter& JsonWriter::field(const char* key, double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return emit(key, text);
}

JsonWriter& JsonWriter::value(const std::string& text) { return field(nullptr, text); }

}  // namespace tool
