// Byte strings and hex text for the command-line tool.
#ifndef EAPAKA_TOOLS_BYTES_H
#define EAPAKA_TOOLS_BYTES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tool {

using Bytes = std::vector<uint8_t>;

// Lower-case hex, two digits per byte, no separators.
std::string to_hex(const uint8_t* bytes, size_t length);
inline std::string to_hex(const Bytes& b) { return to_hex(b.data(), b.size()); }

// Parses an even number of hex digits; false (out untouched) on anything else.
bool from_hex(const std::string& text, Bytes& out);

// Big-endian 16-bit read/write; callers have checked the bounds.
inline uint16_t get_be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline void put_be16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

}  // namespace tool

#endif
