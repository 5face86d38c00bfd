// A small JSON writer for the tool's machine-readable output.
#ifndef EAPAKA_TOOLS_JSON_H
#define EAPAKA_TOOLS_JSON_H

#include <cstdint>
#include <string>

namespace tool {

// A JSON string literal, quotes included (RFC 8259 escaping).
std::string json_string(const std::string& text);

// Builds one value; the caller nests objects and arrays by name.
class JsonWriter {
public:
    JsonWriter& begin_object(const char* key = nullptr);
    JsonWriter& end_object();
    JsonWriter& begin_array(const char* key = nullptr);
    JsonWriter& end_array();
    JsonWriter& field(const char* key, const std::string& value);
    JsonWriter& field(const char* key, const char* value) { return field(key, std::string(value)); }
    JsonWriter& field(const char* key, int64_t value);
    JsonWriter& field(const char* key, double value);
    JsonWriter& field(const char* key, bool value);
    JsonWriter& value(const std::string& text);   // array element
    const std::string& str() const { return out_; }

private:
    // Writes `text` as the next member (named `key`) or element; `opens`
    // when it begins an object or array, whose first member needs no comma.
    JsonWriter& emit(const char* key, const std::string& text, bool opens = false);
    JsonWriter& close(char bracket);
    std::string out_;
    bool needComma_ = false;
};

}  // namespace tool

#endif
