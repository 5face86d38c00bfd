// `eapaka radius` against a RADIUS server that misbehaves in one way per
// case: every reply it drops is named in the failure message, an
// Access-Challenge without an EAP packet is explained, and a success the
// server never earned is refused with strict success and named as such.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "interop/radius_server.h"
#include "support/test_host.h"

namespace {

const std::string SECRET = "hostile-secret";

Bytes eap_attribute(const Bytes& eap) { return cat({{RADIUS_ATTR_EAP_MESSAGE, static_cast<uint8_t>(2 + eap.size())}, eap}); }

// EAP-Request/AKA-Notification "success" (RFC 4187 10.19) without AT_MAC:
// a server that knows no subscriber key can send it.
const Bytes kNotification = eap_attribute({1, 2, 0, 12, 23, 12, 0, 0, 12, 1, 0x80, 0});
const Bytes kState = {RADIUS_ATTR_STATE, 6, 'S', 'T', 'A', 'T'};

// An Access-Challenge with `attributes` for `request`, authenticated as asked.
Bytes challenge(const RadiusPacket& request, const Bytes& attributes, bool messageAuthenticator = true,
                const std::string& secret = SECRET, uint8_t idDelta = 0) {
    return radiussrv::reply(RADIUS_ACCESS_CHALLENGE, static_cast<uint8_t>(request.identifier + idDelta),
                            Bytes(request.authenticator, request.authenticator + 16), attributes,
                            messageAuthenticator, secret);
}

// The notification, then an Access-Accept for EAP-Success with zero MPPE keys.
Bytes unearned_success(const RadiusPacket& request, unsigned index) {
    if (index == 0) return challenge(request, kNotification);
    const Bytes auth(request.authenticator, request.authenticator + 16);
    const Bytes attributes =
        cat({eap_attribute({3, 2, 0, 4}),
             radiussrv::mppe_attribute(RADIUS_MS_MPPE_RECV_KEY, Bytes(32), {0x80, 0x01}, auth, SECRET),
             radiussrv::mppe_attribute(RADIUS_MS_MPPE_SEND_KEY, Bytes(32), {0x80, 0x02}, auth, SECRET)});
    return radiussrv::reply(RADIUS_ACCESS_ACCEPT, request.identifier, auth, attributes, true, SECRET);
}

class HostileRadius : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/eapaka-radius-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        directory = pattern;
        ASSERT_EQ(shell(std::string(EAPAKA_TOOL_PATH) + " keystore init --keystore p.profile >/dev/null 2>&1"), 0);
    }
    void TearDown() override { shell("rm -rf " + directory); }

    int shell(const std::string& command) {
        int status = std::system(("cd " + directory + " && " + command).c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string directory;
};

TEST_F(HostileRadius, EveryDroppedReplyAndMissingPacketIsNamed) {
    const std::string dropped = "dropped 2 replies that did not verify: 2 with ";
    struct Case {
        const char* name;
        radiussrv::Server::Responder reply;
        const char* options;
        int status;
        std::vector<std::string> words;
    } cases[] = {
        {"wrong shared secret", [](const RadiusPacket& r, unsigned) { return challenge(r, kNotification, true, "x"); },
         "", 1, {dropped + "bad Response Authenticator", "hint: replies from 127.0.0.1 port",
                 "do not verify with this --secret"}},
        {"EAP-Message without Message-Authenticator",
         [](const RadiusPacket& r, unsigned) { return challenge(r, kNotification, false); }, "", 1,
         {dropped + "missing Message-Authenticator"}},
        // A Message-Authenticator over other bytes, under a valid Response Authenticator.
        {"wrong Message-Authenticator",
         [](const RadiusPacket& r, unsigned) {
             return challenge(r, cat({kNotification, {RADIUS_ATTR_MESSAGE_AUTHENTICATOR, 18}, Bytes(16, 0x5A)}), false);
         },
         "", 1, {dropped + "bad Message-Authenticator"}},
        {"reply to another request",
         [](const RadiusPacket& r, unsigned) { return challenge(r, kNotification, true, SECRET, 1); }, "", 1,
         {dropped + "wrong Identifier"}},
        {"attribute of Length 1",
         [](const RadiusPacket& r, unsigned) { return challenge(r, cat({kNotification, {RADIUS_ATTR_STATE, 1}})); },
         "", 1, {dropped + "malformed packet or attribute"}},
        {"Access-Challenge without EAP-Message", [](const RadiusPacket& r, unsigned) { return challenge(r, kState); },
         "", 1, {"Access-Challenge without EAP-Message: the server sent no EAP packet for the peer"}},
        {"Access-Challenge with an empty EAP-Message",
         [](const RadiusPacket& r, unsigned) { return challenge(r, cat({kState, eap_attribute({})})); }, "", 1,
         {"Access-Challenge with an empty EAP-Message"}},
        // The default behaviour lets the unearned success through; the tool
        // says so. Its capture carries valid IPv4 and UDP checksums.
        {"unauthenticated success, default", unearned_success, "--pcap c.pcap", 0,
         {"1/1 authentication: EAP-Success, keys MATCH", "(0 full, 0 of them on the pseudonym; 0 fast",
          "hint: the server reached EAP-Success without authenticating itself"}},
        {"unauthenticated success, strict", unearned_success, "--compat rfc4187", 1,
         {"did not take the Access-Accept's EAP packet as success (result 15): the server never "
          "authenticated itself in this exchange",
          "EAP_COMPAT_STRICT_SUCCESS"}},
        // A success in EAP-AKA does not count where EAP-AKA' was asked for.
        {"EAP-AKA where EAP-AKA' was asked for", unearned_success, "--method aka-prime", 1,
         {"1/1 authentication: FAILED: the server ran EAP-AKA, not the EAP-AKA' that --method asks for",
          "hint: the server ran EAP-AKA for '0001010123456789@eapaka.test'", "\"6\" + IMSI"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        radiussrv::Server server(c.reply);
        const int status = shell(std::string(EAPAKA_TOOL_PATH) + " radius --secret " + SECRET + " --port " +
                                 std::to_string(server.port()) + " --keystore p.profile --timeout 150 --retries 1 " +
                                 "--quiet " + c.options + " >output 2>&1");
        const std::string output = read_file(directory + "/output");
        EXPECT_EQ(status, c.status) << output;
        for (const std::string& words : c.words) EXPECT_NE(output.find(words), std::string::npos) << output;
    }
    if (shell("command -v tshark >/dev/null") != 0) GTEST_SKIP() << "tshark not installed (Debian package tshark)";
    ASSERT_EQ(shell("tshark -r c.pcap -o ip.check_checksum:TRUE -o udp.check_checksum:TRUE -T fields "
                    "-e ip.checksum.status -e udp.checksum.status >checksums 2>/dev/null"), 0);
    EXPECT_EQ(read_file(directory + "/checksums"), "1\t1\n1\t1\n1\t1\n1\t1\n") << "1: verified";
}

}  // namespace
