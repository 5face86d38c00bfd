// RADIUS codec: the published example of RFC 2865, replies built here with
// OpenSSL as a server builds them, fragmentation and bounds.
#include <cstring>
#include <set>

#include "interop/radius_server.h"
#include "support/random_bytes.h"
#include "support/test_host.h"
#include "tools/interop/radius_packet.h"

namespace {

const std::string SECRET = "interop-secret";
RandomBytes random_bytes(2865);

Bytes server_reply(uint8_t code, uint8_t id, const Bytes& requestAuth, const Bytes& attributes,
                   bool withMessageAuthenticator = true) {
    return radiussrv::reply(code, id, requestAuth, attributes, withMessageAuthenticator, SECRET);
}

Bytes mppe_attribute(uint8_t vendorType, const Bytes& key, const Bytes& salt, const Bytes& requestAuth) {
    return radiussrv::mppe_attribute(vendorType, key, salt, requestAuth, SECRET);
}

RadiusReplyFault check(const Bytes& wire, uint8_t id, const Bytes& requestAuth, const std::string& secret = SECRET) {
    RadiusPacket out;
    return radius_check_reply(wire.data(), wire.size(), id, requestAuth.data(), secret, out);
}

}  // namespace

// RFC 2865 section 7.1: User-Password "arctangent" under secret "xyzzy5461",
// and the Access-Accept that answers the request.
TEST(RadiusPacket, Rfc2865Example) {
    const Bytes auth = hex_to_bytes("0f403f9473978057bd83d5cb98f4227a");
    const Bytes hidden = hex_to_bytes("0dbe708d93d413ce3196e43f782a0aee");
    ByteString plain;
    ASSERT_TRUE(radius_unhide(hidden.data(), hidden.size(), "xyzzy5461", auth.data(), {}, plain));
    EXPECT_EQ(plain, cat({text_bytes("arctangent"), Bytes(6, 0)}));
    const Bytes accept =
        hex_to_bytes("02000026 86fe220e7624ba2a1005f6bf9b55e0b2 0606 00000001 0f06 00000000 0e06 c0a80103");
    EXPECT_EQ(check(accept, 0, auth, "xyzzy5461"), RadiusReplyFault::None);
    EXPECT_EQ(check(accept, 0, auth, "xyzzy5462"), RadiusReplyFault::BadResponseAuthenticator);
}

// RFC 3579 3.1: EAP-Message in pieces of at most 253 bytes, reassembled in
// order; the request ends in a Message-Authenticator over the whole packet.
TEST(RadiusPacket, RequestSplitsEapMessageAndEndsInMessageAuthenticator) {
    struct Case {
        size_t length;
        std::vector<size_t> pieces;
    } cases[] = {{5, {5}}, {253, {253}}, {254, {253, 1}}, {600, {253, 253, 94}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const Bytes eap = random_bytes(c.length);
        RadiusPacket packet;
        packet.code = RADIUS_ACCESS_REQUEST;
        packet.identifier = 7;
        radius_add_eap_message(packet, eap.data(), eap.size());
        std::vector<size_t> pieces;
        for (const RadiusAttribute& a : packet.attributes) pieces.push_back(a.value.size());
        EXPECT_EQ(pieces, c.pieces);

        ByteString wire;
        RadiusPacket decoded;
        ASSERT_TRUE(radius_encode_request(packet, SECRET, wire));
        ASSERT_TRUE(radius_decode(wire.data(), wire.size(), decoded));
        EXPECT_EQ(radius_eap_message(decoded), eap);
        EXPECT_EQ((wire[2] << 8) | wire[3], static_cast<int>(wire.size()));
        EXPECT_EQ(decoded.attributes.back().type, RADIUS_ATTR_MESSAGE_AUTHENTICATOR);
        Bytes zeroed = wire;
        std::fill(zeroed.end() - 16, zeroed.end(), 0);
        EXPECT_EQ(radiussrv::hmac_md5(SECRET, zeroed), Bytes(wire.end() - 16, wire.end()));
    }
}

TEST(RadiusPacket, DecodeRefusesPacketsThatBreakTheirBounds) {
    const Bytes good = hex_to_bytes("0b01001a 00000000000000000000000000000000 1806 41424344");
    struct Case {
        const char* name;
        size_t offset;
        uint8_t value;
        size_t cut;
        bool ok;
    } cases[] = {
        {"well formed", 0, 0x0b, 0, true},
        {"declared length above the bytes received", 3, 0x1b, 0, false},
        {"declared length below the header", 3, 0x13, 0, false},
        {"attribute length 0", 21, 0x00, 0, false},
        {"attribute length 1", 21, 0x01, 0, false},
        {"attribute past the declared end", 21, 0x07, 0, false},
        {"header truncated", 0, 0x0b, 8, false},
    };
    RadiusPacket out;
    for (const Case& c : cases) {
        Bytes p = good;
        p[c.offset] = c.value;
        p.resize(p.size() - c.cut);
        EXPECT_EQ(radius_decode(p.data(), p.size(), out), c.ok) << c.name;
    }
    const Bytes trailing = cat({good, {0xde, 0xad}});  // bytes past the Length are ignored
    ASSERT_TRUE(radius_decode(trailing.data(), trailing.size(), out));
    ASSERT_EQ(out.attributes.size(), 1u);
    EXPECT_EQ(out.attributes[0].value, hex_to_bytes("41424344"));
    const Bytes huge = cat({hex_to_bytes("0b011001"), Bytes(4096 + 1 - 4, 0)});
    EXPECT_FALSE(radius_decode(huge.data(), huge.size(), out));
}

// A changed byte fails the Response Authenticator, which covers the whole
// reply; a changed Identifier answers another request, a changed attribute
// Length breaks the attribute walk. RFC 3579 3.2: an EAP-Message needs a
// Message-Authenticator, a reply without either is fine.
TEST(RadiusPacket, ReplyVerificationCatchesEveryTampering) {
    const Bytes requestAuth = random_bytes(16);
    const Bytes attributes = hex_to_bytes("4f0a 0302000804010000 1806 53544154");
    const Bytes reply = server_reply(RADIUS_ACCESS_CHALLENGE, 9, requestAuth, attributes);
    ASSERT_EQ(check(reply, 9, requestAuth), RadiusReplyFault::None);
    const std::set<size_t> attributeLengths = {21, 31, 37};  // EAP-Message, State, Message-Authenticator
    for (size_t i = 0; i < reply.size(); ++i) {
        if (i == 2 || i == 3) continue;  // Length: refused by the parse instead
        Bytes t = reply;
        t[i] ^= 0x01;
        const RadiusReplyFault expected = i == 1 ? RadiusReplyFault::WrongIdentifier
                                          : attributeLengths.count(i) ? RadiusReplyFault::Malformed
                                                                      : RadiusReplyFault::BadResponseAuthenticator;
        EXPECT_EQ(check(t, 9, requestAuth), expected) << i;
    }
    Bytes otherAuth = requestAuth;
    otherAuth[15] ^= 0x80;
    EXPECT_EQ(check(reply, 9, otherAuth), RadiusReplyFault::BadResponseAuthenticator);
    EXPECT_EQ(check(server_reply(RADIUS_ACCESS_CHALLENGE, 9, requestAuth, attributes, false), 9, requestAuth),
              RadiusReplyFault::MissingMessageAuthenticator);
    EXPECT_EQ(check(server_reply(RADIUS_ACCESS_REJECT, 9, requestAuth, {}, false), 9, requestAuth),
              RadiusReplyFault::None);
}

// RFC 2548 2.4.2: both keys, each under its own salt whose leading bit is
// set; a key length above the data is refused.
TEST(RadiusPacket, DecryptsMppeKeysOfAnAccept) {
    const Bytes requestAuth = random_bytes(16), recvKey = random_bytes(32), sendKey = random_bytes(32);
    const Bytes recv = mppe_attribute(RADIUS_MS_MPPE_RECV_KEY, recvKey, {0xc4, 0x56}, requestAuth);
    // A 15-byte key fills one block exactly; its first encrypted byte, the
    // Key-Length, then claims 16.
    Bytes longClaim = mppe_attribute(RADIUS_MS_MPPE_SEND_KEY, Bytes(15, 1), {0x81, 0x23}, requestAuth);
    longClaim[10] = static_cast<uint8_t>(16 ^ radiussrv::md5(cat({text_bytes(SECRET), requestAuth, {0x81, 0x23}}))[0]);
    struct Case {
        const char* name;
        Bytes attributes;
        bool ok;
    } cases[] = {
        {"both keys", cat({mppe_attribute(RADIUS_MS_MPPE_SEND_KEY, sendKey, {0x81, 0x23}, requestAuth), recv}), true},
        {"salt without its leading bit",
         cat({mppe_attribute(RADIUS_MS_MPPE_SEND_KEY, sendKey, {0x01, 0x23}, requestAuth), recv}), false},
        {"Send-Key missing", recv, false},
        {"key length above the data", cat({longClaim, recv}), false},
    };
    for (const Case& c : cases) {
        RadiusPacket p;
        const Bytes wire = server_reply(RADIUS_ACCESS_ACCEPT, 3, requestAuth, c.attributes);
        ASSERT_TRUE(radius_decode(wire.data(), wire.size(), p)) << c.name;
        ByteString gotRecv, gotSend;
        EXPECT_EQ(radius_mppe_keys(p, SECRET, requestAuth.data(), gotRecv, gotSend), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(cat({gotRecv, gotSend}), cat({recvKey, sendKey}));
        }
    }
}
