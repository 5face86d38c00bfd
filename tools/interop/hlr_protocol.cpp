#include "tools/interop/hlr_protocol.h"

#include <vector>

namespace {

constexpr char REQ_AUTH[] = "AKA-REQ-AUTH";
constexpr char RESP_AUTH[] = "AKA-RESP-AUTH";
constexpr char AUTS[] = "AKA-AUTS";

std::vector<std::string> split_fields(const std::string& text) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t space = text.find(' ', start);
        fields.push_back(text.substr(start, space - start));
        if (space == std::string::npos) return fields;
        start = space + 1;
    }
}

bool valid_imsi(const std::string& imsi) {
    if (imsi.size() < HLR_MIN_IMSI || imsi.size() > HLR_MAX_IMSI) return false;
    for (char c : imsi)
        if (c < '0' || c > '9') return false;
    return true;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Exactly 2 * size hex digits into out.
bool parse_hex(const std::string& text, uint8_t* out, size_t size) {
    if (text.size() != 2 * size) return false;
    for (size_t i = 0; i < size; ++i) {
        int high = hex_value(text[2 * i]), low = hex_value(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        out[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}

std::string hex(const uint8_t* bytes, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < size; ++i) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 0xF];
    }
    return s;
}

}  // namespace

bool hlr_parse_request(const char* datagram, size_t length, HlrRequest& request) {
    std::string text(datagram, length);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    std::vector<std::string> f = split_fields(text);
    if (f.size() == 2 && f[0] == REQ_AUTH) {
        request.kind = HlrRequestKind::AuthVector;
    } else if (f.size() == 4 && f[0] == AUTS) {
        request.kind = HlrRequestKind::Resynchronisation;
        if (!parse_hex(f[2], request.auts, sizeof request.auts) ||
            !parse_hex(f[3], request.rand, sizeof request.rand))
            return false;
    } else {
        return false;
    }
    request.imsi = f[1];
    return valid_imsi(request.imsi);
}

std::string hlr_format_vector(const std::string& imsi, const tool::AuthVector& v) {
    return std::string(RESP_AUTH) + " " + imsi + " " + hex(v.rand, sizeof v.rand) + " " +
           hex(v.autn, sizeof v.autn) + " " + hex(v.ik, sizeof v.ik) + " " + hex(v.ck, sizeof v.ck) +
           " " + hex(v.xres, sizeof v.xres);
}

std::string hlr_format_failure(const std::string& imsi) {
    return std::string(RESP_AUTH) + " " + imsi + " FAILURE";
}
