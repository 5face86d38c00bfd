#include "tools/interop/radius_packet.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t MD5_SIZE = 16;
constexpr size_t HIDE_BLOCK = 16;
constexpr size_t ATTRIBUTE_HEADER = 2;
constexpr size_t VENDOR_ID_SIZE = 4;
constexpr uint8_t SALT_MARK = 0x80;  // RFC 2548: the salt's leftmost bit is set

// MD5 over the concatenation of up to three byte ranges.
void md5_of(const uint8_t* a, size_t na, const uint8_t* b, size_t nb, const uint8_t* c, size_t nc,
            uint8_t out[MD5_SIZE]) {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    unsigned int n = 0;
    EVP_DigestInit_ex(ctx, EVP_md5(), nullptr);
    EVP_DigestUpdate(ctx, a, na);
    EVP_DigestUpdate(ctx, b, nb);
    EVP_DigestUpdate(ctx, c, nc);
    EVP_DigestFinal_ex(ctx, out, &n);
    EVP_MD_CTX_free(ctx);
}

void hmac_md5(const std::string& secret, const uint8_t* data, size_t length, uint8_t out[MD5_SIZE]) {
    unsigned int n = 0;
    HMAC(EVP_md5(), secret.data(), static_cast<int>(secret.size()), data, length, out, &n);
}

uint16_t read_u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

uint32_t read_u32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// Offset of the Message-Authenticator value in a serialised packet, or 0.
size_t message_authenticator_offset(const uint8_t* wire, size_t length) {
    for (size_t at = RADIUS_HEADER_SIZE; at + ATTRIBUTE_HEADER <= length; at += wire[at + 1]) {
        if (wire[at + 1] < ATTRIBUTE_HEADER) return 0;
        if (wire[at] == RADIUS_ATTR_MESSAGE_AUTHENTICATOR && wire[at + 1] == ATTRIBUTE_HEADER + MD5_SIZE)
            return at + ATTRIBUTE_HEADER;
    }
    return 0;
}

// The decrypted String of one salt-encrypted MPPE key: Key-Length, the key,
// zero padding (RFC 2548 section 2.4.2).
bool decrypt_mppe_key(const ByteString& data, const std::string& secret,
                      const uint8_t requestAuthenticator[RADIUS_AUTHENTICATOR_SIZE], ByteString& key) {
    constexpr size_t SALT_SIZE = 2;
    if (data.size() < SALT_SIZE + HIDE_BLOCK || (data[0] & SALT_MARK) == 0) return false;
    ByteString salt(data.begin(), data.begin() + SALT_SIZE);
    ByteString plain;
    if (!radius_unhide(data.data() + SALT_SIZE, data.size() - SALT_SIZE, secret, requestAuthenticator,
                       salt, plain))
        return false;
    size_t keyLength = plain[0];
    if (keyLength == 0 || keyLength + 1 > plain.size()) return false;
    key.assign(plain.begin() + 1, plain.begin() + 1 + static_cast<std::ptrdiff_t>(keyLength));
    return true;
}

// Finds a Microsoft vendor sub-attribute in any Vendor-Specific attribute
// (RFC 2865 section 5.26 layout: Vendor-Id, then Type, Length, data).
bool find_ms_attribute(const RadiusPacket& packet, uint8_t vendorType, ByteString& data) {
    for (const RadiusAttribute& a : packet.attributes) {
        if (a.type != RADIUS_ATTR_VENDOR_SPECIFIC || a.value.size() < VENDOR_ID_SIZE) continue;
        if (read_u32(a.value.data()) != RADIUS_VENDOR_MICROSOFT) continue;
        size_t at = VENDOR_ID_SIZE;
        while (at + ATTRIBUTE_HEADER <= a.value.size()) {
            size_t length = a.value[at + 1];
            if (length < ATTRIBUTE_HEADER || at + length > a.value.size()) break;
            if (a.value[at] == vendorType) {
                data.assign(a.value.begin() + static_cast<std::ptrdiff_t>(at + ATTRIBUTE_HEADER),
                            a.value.begin() + static_cast<std::ptrdiff_t>(at + length));
                return true;
            }
            at += length;
        }
    }
    return false;
}

}  // namespace

const RadiusAttribute* RadiusPacket::find(uint8_t type) const {
    for (const RadiusAttribute& a : attributes)
        if (a.type == type) return &a;
    return nullptr;
}

bool radius_add_attribute(RadiusPacket& packet, uint8_t type, const ByteString& value) {
    if (value.size() > RADIUS_MAX_ATTRIBUTE_VALUE) return false;
    packet.attributes.push_back({type, value});
    return true;
}

void radius_add_eap_message(RadiusPacket& packet, const uint8_t* eap, size_t length) {
    for (size_t at = 0; at < length; at += RADIUS_MAX_ATTRIBUTE_VALUE) {
        size_t n = std::min(RADIUS_MAX_ATTRIBUTE_VALUE, length - at);
        packet.attributes.push_back({RADIUS_ATTR_EAP_MESSAGE, ByteString(eap + at, eap + at + n)});
    }
}

ByteString radius_eap_message(const RadiusPacket& packet) {
    ByteString eap;
    for (const RadiusAttribute& a : packet.attributes)
        if (a.type == RADIUS_ATTR_EAP_MESSAGE) eap.insert(eap.end(), a.value.begin(), a.value.end());
    return eap;
}

bool radius_encode_request(const RadiusPacket& packet, const std::string& secret, ByteString& wire) {
    wire.assign(RADIUS_HEADER_SIZE, 0);
    wire[0] = packet.code;
    wire[1] = packet.identifier;
    std::memcpy(wire.data() + 4, packet.authenticator, RADIUS_AUTHENTICATOR_SIZE);
    for (const RadiusAttribute& a : packet.attributes) {
        if (a.type == RADIUS_ATTR_MESSAGE_AUTHENTICATOR) continue;  // always recomputed below
        if (a.value.size() > RADIUS_MAX_ATTRIBUTE_VALUE) return false;
        wire.push_back(a.type);
        wire.push_back(static_cast<uint8_t>(a.value.size() + ATTRIBUTE_HEADER));
        wire.insert(wire.end(), a.value.begin(), a.value.end());
    }
    size_t macAt = wire.size() + ATTRIBUTE_HEADER;
    wire.push_back(RADIUS_ATTR_MESSAGE_AUTHENTICATOR);
    wire.push_back(ATTRIBUTE_HEADER + MD5_SIZE);
    wire.insert(wire.end(), MD5_SIZE, 0);
    if (wire.size() > RADIUS_MAX_PACKET) return false;
    wire[2] = static_cast<uint8_t>(wire.size() >> 8);
    wire[3] = static_cast<uint8_t>(wire.size());
    hmac_md5(secret, wire.data(), wire.size(), wire.data() + macAt);
    return true;
}

bool radius_decode(const uint8_t* wire, size_t length, RadiusPacket& packet) {
    if (length < RADIUS_HEADER_SIZE) return false;
    size_t declared = read_u16(wire + 2);
    if (declared < RADIUS_HEADER_SIZE || declared > RADIUS_MAX_PACKET || declared > length) return false;
    packet.code = wire[0];
    packet.identifier = wire[1];
    std::memcpy(packet.authenticator, wire + 4, RADIUS_AUTHENTICATOR_SIZE);
    packet.attributes.clear();
    size_t at = RADIUS_HEADER_SIZE;
    while (at < declared) {
        if (at + ATTRIBUTE_HEADER > declared) return false;
        size_t n = wire[at + 1];
        if (n < ATTRIBUTE_HEADER || at + n > declared) return false;
        packet.attributes.push_back({wire[at], ByteString(wire + at + ATTRIBUTE_HEADER, wire + at + n)});
        at += n;
    }
    return true;
}

const char* radius_fault_name(RadiusReplyFault fault) {
    switch (fault) {
    case RadiusReplyFault::None: return "none";
    case RadiusReplyFault::Malformed: return "malformed packet or attribute";
    case RadiusReplyFault::WrongIdentifier: return "wrong Identifier";
    case RadiusReplyFault::BadResponseAuthenticator: return "bad Response Authenticator";
    case RadiusReplyFault::MissingMessageAuthenticator: return "missing Message-Authenticator";
    case RadiusReplyFault::BadMessageAuthenticator: return "bad Message-Authenticator";
    }
    return "unknown";
}

RadiusReplyFault radius_check_reply(const uint8_t* wire, size_t received, uint8_t identifier,
                                    const uint8_t requestAuthenticator[RADIUS_AUTHENTICATOR_SIZE],
                                    const std::string& secret, RadiusPacket& reply) {
    if (!radius_decode(wire, received, reply)) return RadiusReplyFault::Malformed;
    if (reply.identifier != identifier) return RadiusReplyFault::WrongIdentifier;
    const size_t length = read_u16(wire + 2);   // bytes past it are not part of the packet

    // Both authenticators are computed over the reply with the request's
    // authenticator in place of the server's.
    ByteString work(wire, wire + length);
    std::memcpy(work.data() + 4, requestAuthenticator, RADIUS_AUTHENTICATOR_SIZE);
    uint8_t expected[MD5_SIZE];
    md5_of(work.data(), work.size(), reinterpret_cast<const uint8_t*>(secret.data()), secret.size(),
           nullptr, 0, expected);
    if (CRYPTO_memcmp(expected, wire + 4, MD5_SIZE) != 0) return RadiusReplyFault::BadResponseAuthenticator;

    size_t macAt = message_authenticator_offset(wire, length);
    if (macAt == 0) {
        return reply.find(RADIUS_ATTR_EAP_MESSAGE) == nullptr ? RadiusReplyFault::None
                                                               : RadiusReplyFault::MissingMessageAuthenticator;
    }
    std::memset(work.data() + macAt, 0, MD5_SIZE);
    hmac_md5(secret, work.data(), work.size(), expected);
    return CRYPTO_memcmp(expected, wire + macAt, MD5_SIZE) == 0 ? RadiusReplyFault::None
                                                                : RadiusReplyFault::BadMessageAuthenticator;
}

bool radius_unhide(const uint8_t* cipher, size_t length, const std::string& secret,
                   const uint8_t authenticator[RADIUS_AUTHENTICATOR_SIZE], const ByteString& salt,
                   ByteString& plain) {
    if (length == 0 || length % HIDE_BLOCK != 0) return false;
    plain.resize(length);
    const auto* s = reinterpret_cast<const uint8_t*>(secret.data());
    uint8_t b[MD5_SIZE];
    md5_of(s, secret.size(), authenticator, RADIUS_AUTHENTICATOR_SIZE, salt.data(), salt.size(), b);
    for (size_t at = 0; at < length; at += HIDE_BLOCK) {
        if (at > 0) md5_of(s, secret.size(), cipher + at - HIDE_BLOCK, HIDE_BLOCK, nullptr, 0, b);
        for (size_t i = 0; i < HIDE_BLOCK; ++i) plain[at + i] = cipher[at + i] ^ b[i];
    }
    return true;
}

bool radius_mppe_keys(const RadiusPacket& accept, const std::string& secret,
                      const uint8_t requestAuthenticator[RADIUS_AUTHENTICATOR_SIZE],
                      ByteString& recvKey, ByteString& sendKey) {
    ByteString recvData, sendData;
    return find_ms_attribute(accept, RADIUS_MS_MPPE_RECV_KEY, recvData) &&
           find_ms_attribute(accept, RADIUS_MS_MPPE_SEND_KEY, sendData) &&
           decrypt_mppe_key(recvData, secret, requestAuthenticator, recvKey) &&
           decrypt_mppe_key(sendData, secret, requestAuthenticator, sendKey);
}
