// The RADIUS side of `eapaka radius` (RFC 2865, RFC 3579, RFC 2548): the
// codec against the published example of RFC 2865 and against replies built
// here with OpenSSL as a server builds them, fragmentation and bounds; then
// the executable against a server on loopback that misbehaves in one way
// per case, each dropped reply or missing packet named in its failure.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "support/random_bytes.h"
#include "support/test_host.h"
#include "tools/interop/radius_packet.h"
#include "tools/temp_dir.h"

namespace {

const std::string SECRET = "interop-secret";
RandomBytes random_bytes(2865);

Bytes md5(const Bytes& data) {
    uint8_t out[16];
    unsigned int n = 0;
    EVP_Digest(data.data(), data.size(), out, &n, EVP_md5(), nullptr);
    return Bytes(out, out + 16);
}

Bytes hmac_md5(const std::string& key, const Bytes& data) {
    uint8_t out[16];
    unsigned int n = 0;
    HMAC(EVP_md5(), key.data(), static_cast<int>(key.size()), data.data(), data.size(), out, &n);
    return Bytes(out, out + 16);
}

// A reply to a request with `requestAuth`: the attributes as given, then a
// Message-Authenticator (when asked), both authenticators filled in.
Bytes reply(uint8_t code, uint8_t id, const Bytes& requestAuth, Bytes attributes, bool messageAuthenticator = true,
            const std::string& secret = SECRET) {
    const size_t macAt = 20 + attributes.size() + 2;
    if (messageAuthenticator) attributes = cat({attributes, {RADIUS_ATTR_MESSAGE_AUTHENTICATOR, 18}, Bytes(16, 0)});
    const size_t length = 20 + attributes.size();
    Bytes packet = cat({{code, id, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)}, requestAuth,
                        attributes});
    if (messageAuthenticator) {
        const Bytes mac = hmac_md5(secret, packet);
        std::copy(mac.begin(), mac.end(), packet.begin() + static_cast<long>(macAt));
    }
    const Bytes response = md5(cat({packet, text_bytes(secret)}));
    std::copy(response.begin(), response.end(), packet.begin() + 4);
    return packet;
}

// RFC 2548 section 2.4.2: a Vendor-Specific attribute with one MS-MPPE key:
// Key-Length, key, zero padding to whole blocks, each block xor MD5(secret |
// previous), the first previous being the request authenticator and the salt.
Bytes mppe_attribute(uint8_t vendorType, const Bytes& key, const Bytes& salt, const Bytes& requestAuth) {
    Bytes plain = cat({{static_cast<uint8_t>(key.size())}, key});
    plain.resize((plain.size() + 15) / 16 * 16, 0);
    Bytes cipher, previous = cat({requestAuth, salt});
    for (size_t at = 0; at < plain.size(); at += 16) {
        const Bytes b = md5(cat({text_bytes(SECRET), previous}));
        for (size_t i = 0; i < 16; ++i) cipher.push_back(plain[at + i] ^ b[i]);
        previous.assign(cipher.end() - 16, cipher.end());
    }
    const Bytes vsa = cat({{0, 0, 1, 0x37, vendorType, static_cast<uint8_t>(2 + salt.size() + cipher.size())}, salt,
                           cipher});  // vendor 311
    return cat({{RADIUS_ATTR_VENDOR_SPECIFIC, static_cast<uint8_t>(2 + vsa.size())}, vsa});
}

RadiusReplyFault check(const Bytes& wire, uint8_t id, const Bytes& requestAuth, const std::string& secret = SECRET) {
    RadiusPacket out;
    return radius_check_reply(wire.data(), wire.size(), id, requestAuth.data(), secret, out);
}

// Answers every Access-Request sent to 127.0.0.1:port with what the
// responder builds for it (nothing when empty); `index` counts the requests
// from 0. Runs on its own thread until destroyed.
class RadiusServer {
public:
    using Responder = std::function<Bytes(const RadiusPacket& request, unsigned index)>;
    explicit RadiusServer(Responder responder) : responder_(std::move(responder)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ADD_FAILURE() << "cannot open the test RADIUS server's socket";
            return;
        }
        port = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~RadiusServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) ::close(fd_);
    }
    uint16_t port = 0;

private:
    void serve() {
        constexpr int POLL_MS = 20;  // how soon the server notices it should stop
        uint8_t buffer[RADIUS_MAX_PACKET];
        for (unsigned index = 0; !stop_;) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, POLL_MS) <= 0) continue;
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n =
                ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
            RadiusPacket request;
            if (n <= 0 || !radius_decode(buffer, static_cast<size_t>(n), request)) continue;
            const Bytes answer = responder_(request, index++);
            if (!answer.empty())
                ::sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
        }
    }
    Responder responder_;
    int fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

Bytes eap_attribute(const Bytes& eap) {
    return cat({{RADIUS_ATTR_EAP_MESSAGE, static_cast<uint8_t>(2 + eap.size())}, eap});
}

// EAP-Request/AKA-Notification "success" (RFC 4187 10.19) without AT_MAC:
// a server that knows no subscriber key can send it.
const Bytes kNotification = eap_attribute({1, 2, 0, 12, 23, 12, 0, 0, 12, 1, 0x80, 0});
const Bytes kState = {RADIUS_ATTR_STATE, 6, 'S', 'T', 'A', 'T'};

// Answers every request with an Access-Challenge carrying `attributes`,
// authenticated as asked.
RadiusServer::Responder challenges(const Bytes& attributes, bool messageAuthenticator = true,
                                   const std::string& secret = SECRET, uint8_t idDelta = 0) {
    return [=](const RadiusPacket& request, unsigned) {
        return reply(RADIUS_ACCESS_CHALLENGE, static_cast<uint8_t>(request.identifier + idDelta),
                     Bytes(request.authenticator, request.authenticator + 16), attributes, messageAuthenticator,
                     secret);
    };
}

// The notification, then an Access-Accept for EAP-Success with zero MPPE keys.
Bytes unearned_success(const RadiusPacket& request, unsigned index) {
    if (index == 0) return challenges(kNotification)(request, index);
    const Bytes auth(request.authenticator, request.authenticator + 16);
    const Bytes attributes =
        cat({eap_attribute({3, 2, 0, 4}),
             mppe_attribute(RADIUS_MS_MPPE_RECV_KEY, Bytes(32), {0x80, 0x01}, auth),
             mppe_attribute(RADIUS_MS_MPPE_SEND_KEY, Bytes(32), {0x80, 0x02}, auth)});
    return reply(RADIUS_ACCESS_ACCEPT, request.identifier, auth, attributes);
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
}

// RFC 3579 3.1: EAP-Message in pieces of at most 253 bytes, reassembled in
// order; the request ends in a Message-Authenticator over the whole packet.
TEST(RadiusPacket, RequestSplitsEapMessageAndEndsInMessageAuthenticator) {
    struct Case { size_t length; std::vector<size_t> pieces; } cases[] = {
        {253, {253}}, {254, {253, 1}}, {600, {253, 253, 94}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const Bytes eap = random_bytes(c.length);
        RadiusPacket packet;
        packet.code = RADIUS_ACCESS_REQUEST;
        radius_add_eap_message(packet, eap.data(), eap.size());
        std::vector<size_t> pieces;
        for (const RadiusAttribute& a : packet.attributes) pieces.push_back(a.value.size());
        EXPECT_EQ(pieces, c.pieces);

        ByteString wire;
        RadiusPacket decoded;
        ASSERT_TRUE(radius_encode_request(packet, SECRET, wire));
        ASSERT_TRUE(radius_decode(wire.data(), wire.size(), decoded));
        EXPECT_EQ(radius_eap_message(decoded), eap);
        Bytes zeroed = wire;
        std::fill(zeroed.end() - 16, zeroed.end(), 0);
        EXPECT_EQ(hmac_md5(SECRET, zeroed), Bytes(wire.end() - 16, wire.end()));
    }
}

// The bounds that the tampering below does not reach; bytes past the Length
// are ignored.
TEST(RadiusPacket, DecodeRefusesPacketsThatBreakTheirBounds) {
    const Bytes good = hex_to_bytes("0b01001a 00000000000000000000000000000000 1806 41424344");
    struct Case { const char* name; size_t offset; uint8_t value; size_t cut; } cases[] = {
        {"declared length below the header", 3, 0x13, 0},
        {"attribute length 0", 21, 0x00, 0},
        {"header truncated", 0, 0x0b, 8},
    };
    RadiusPacket out;
    for (const Case& c : cases) {
        Bytes p = good;
        p[c.offset] = c.value;
        p.resize(p.size() - c.cut);
        EXPECT_FALSE(radius_decode(p.data(), p.size(), out)) << c.name;
    }
    const Bytes trailing = cat({good, {0xde, 0xad}});
    ASSERT_TRUE(radius_decode(trailing.data(), trailing.size(), out));
    ASSERT_EQ(out.attributes.size(), 1u);
    EXPECT_EQ(out.attributes[0].value, hex_to_bytes("41424344"));
    const Bytes huge = cat({hex_to_bytes("0b011001"), Bytes(4096 + 1 - 4, 0)});
    EXPECT_FALSE(radius_decode(huge.data(), huge.size(), out));
}

// Every changed byte is refused: the Response Authenticator covers the whole
// reply (which fault each change is named by, the table of the executable
// below shows). RFC 3579 3.2: a reply without EAP-Message needs no
// Message-Authenticator.
TEST(RadiusPacket, ReplyVerificationCatchesEveryTampering) {
    const Bytes requestAuth = random_bytes(16);
    const Bytes attributes = hex_to_bytes("4f0a 0302000804010000 1806 53544154");
    const Bytes good = reply(RADIUS_ACCESS_CHALLENGE, 9, requestAuth, attributes);
    ASSERT_EQ(check(good, 9, requestAuth), RadiusReplyFault::None);
    for (size_t i = 0; i < good.size(); ++i) {
        Bytes t = good;
        t[i] ^= 0x01;
        EXPECT_NE(check(t, 9, requestAuth), RadiusReplyFault::None) << i;
    }
    EXPECT_EQ(check(reply(RADIUS_ACCESS_REJECT, 9, requestAuth, {}, false), 9, requestAuth),
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
    longClaim[10] = static_cast<uint8_t>(16 ^ md5(cat({text_bytes(SECRET), requestAuth, {0x81, 0x23}}))[0]);
    struct Case { const char* name; Bytes attributes; bool ok; } cases[] = {
        {"both keys", cat({mppe_attribute(RADIUS_MS_MPPE_SEND_KEY, sendKey, {0x81, 0x23}, requestAuth), recv}), true},
        {"salt without its leading bit",
         cat({mppe_attribute(RADIUS_MS_MPPE_SEND_KEY, sendKey, {0x01, 0x23}, requestAuth), recv}), false},
        {"Send-Key missing", recv, false},
        {"key length above the data", cat({longClaim, recv}), false},
    };
    for (const Case& c : cases) {
        RadiusPacket p;
        const Bytes wire = reply(RADIUS_ACCESS_ACCEPT, 3, requestAuth, c.attributes);
        ASSERT_TRUE(radius_decode(wire.data(), wire.size(), p)) << c.name;
        ByteString gotRecv, gotSend;
        EXPECT_EQ(radius_mppe_keys(p, SECRET, requestAuth.data(), gotRecv, gotSend), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(cat({gotRecv, gotSend}), cat({recvKey, sendKey}));
        }
    }
}

// `eapaka radius` against the server above: every reply it drops is named,
// an Access-Challenge without an EAP packet is explained, and a success the
// server never earned is refused with strict success and named as such.
class HostileRadius : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ASSERT_EQ(run(std::string(EAPAKA_TOOL_PATH) + " keystore init --keystore p.profile >/dev/null 2>&1"), 0);
    }
};

TEST_F(HostileRadius, EveryDroppedReplyAndMissingPacketIsNamed) {
    const std::string dropped = "dropped 2 replies that did not verify: 2 with ", quick = "--timeout 150 --retries 1 ";
    struct Case {
        const char* name;
        RadiusServer::Responder reply;
        std::string options;
        int status;
        std::vector<std::string> words;
    } cases[] = {
        {"wrong shared secret", challenges(kNotification, true, "x"), quick, 1,
         {dropped + "bad Response Authenticator", "hint: replies from 127.0.0.1 port",
          "do not verify with this --secret"}},
        {"EAP-Message without Message-Authenticator", challenges(kNotification, false), quick, 1,
         {dropped + "missing Message-Authenticator"}},
        // A Message-Authenticator over other bytes, under a valid Response Authenticator.
        {"wrong Message-Authenticator",
         challenges(cat({kNotification, {RADIUS_ATTR_MESSAGE_AUTHENTICATOR, 18}, Bytes(16, 0x5A)}), false), quick, 1,
         {dropped + "bad Message-Authenticator"}},
        {"reply to another request", challenges(kNotification, true, SECRET, 1), quick, 1,
         {dropped + "wrong Identifier"}},
        {"attribute of Length 1", challenges(cat({kNotification, {RADIUS_ATTR_STATE, 1}})), quick, 1,
         {dropped + "malformed packet or attribute"}},
        {"Access-Challenge without EAP-Message", challenges(kState), quick, 1,
         {"Access-Challenge without EAP-Message: the server sent no EAP packet for the peer"}},
        {"Access-Challenge with an empty EAP-Message", challenges(cat({kState, eap_attribute({})})), quick, 1,
         {"Access-Challenge with an empty EAP-Message"}},
        // No answer at all: the time limit ends the run in its first authentication.
        {"silent server", [](const RadiusPacket&, unsigned) { return Bytes{}; },
         "--timeout 300 --retries 9 --count 3 --time-limit 1", 1,
         {"hint: no answer from 127.0.0.1 port", "time limit of 1 s ran out after 1 of 3"}},
        // The default behaviour lets the unearned success through; the tool
        // says so. Its capture carries valid IPv4 and UDP checksums.
        {"unauthenticated success, default", unearned_success, quick + "--pcap c.pcap", 0,
         {"1/1 authentication: EAP-Success, keys MATCH", "(0 full, 0 of them on the pseudonym; 0 fast",
          "hint: the server reached EAP-Success without authenticating itself"}},
        {"unauthenticated success, strict", unearned_success, quick + "--compat rfc4187", 1,
         {"did not take the Access-Accept's EAP packet as success (result 15): the server never "
          "authenticated itself in this exchange",
          "EAP_COMPAT_STRICT_SUCCESS"}},
        // A success in EAP-AKA does not count where EAP-AKA' was asked for.
        {"EAP-AKA where EAP-AKA' was asked for", unearned_success, quick + "--method aka-prime", 1,
         {"1/1 authentication: FAILED: the server ran EAP-AKA, not the EAP-AKA' that --method asks for",
          "hint: the server ran EAP-AKA for '0001010123456789@eapaka.test'", "\"6\" + IMSI"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RadiusServer server(c.reply);
        const auto begin = std::chrono::steady_clock::now();
        const int status = run(std::string(EAPAKA_TOOL_PATH) + " radius --secret " + SECRET + " --port " +
                               std::to_string(server.port) + " --keystore p.profile --quiet " + c.options +
                               " >output 2>&1");
        const std::string output = read_file(directory + "/output");
        EXPECT_EQ(status, c.status) << output;
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(3)) << "within the time limit";
        for (const std::string& words : c.words) EXPECT_NE(output.find(words), std::string::npos) << output;
    }
    if (!have_program("tshark")) GTEST_SKIP() << "tshark not installed (Debian package tshark)";
    ASSERT_EQ(run("tshark -r c.pcap -o ip.check_checksum:TRUE -o udp.check_checksum:TRUE -T fields "
                  "-e ip.checksum.status -e udp.checksum.status >checksums 2>/dev/null"), 0);
    EXPECT_EQ(read_file(directory + "/checksums"), "1\t1\n1\t1\n1\t1\n1\t1\n") << "1: verified";
}

