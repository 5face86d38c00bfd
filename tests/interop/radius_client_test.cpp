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
const uint16_t NOTIFICATION_SUCCESS = 0x8000;

enum class Fault {
    WrongSecret, NoMessageAuthenticator, BadMessageAuthenticator, WrongIdentifier, MalformedAttribute,
    NoEapMessage, EmptyEapMessage, UnauthenticatedSuccess
};

Bytes eap_attributes(const Bytes& eap) {
    return cat({{RADIUS_ATTR_EAP_MESSAGE, static_cast<uint8_t>(2 + eap.size())}, eap});
}

// EAP-Request/AKA-Notification "success" (RFC 4187 10.19) without AT_MAC:
// a server that knows no subscriber key can send it.
Bytes unauthenticated_success_notification() {
    return {1, 2, 0, 12, 23, 12, 0, 0, 12, 1, NOTIFICATION_SUCCESS >> 8, 0};
}

// An Access-Accept for EAP-Success with zero MPPE keys.
Bytes accept_with_zero_keys(const RadiusPacket& request) {
    const Bytes auth(request.authenticator, request.authenticator + 16);
    Bytes attributes = cat({eap_attributes({3, 2, 0, 4}),
                            radiussrv::mppe_attribute(RADIUS_MS_MPPE_RECV_KEY, Bytes(32), {0x80, 0x01}, auth, SECRET),
                            radiussrv::mppe_attribute(RADIUS_MS_MPPE_SEND_KEY, Bytes(32), {0x80, 0x02}, auth, SECRET)});
    return radiussrv::reply(RADIUS_ACCESS_ACCEPT, request.identifier, auth, attributes, true, SECRET);
}

// The reply to the request with `index`, broken as `fault` says.
Bytes hostile_reply(Fault fault, const RadiusPacket& request, unsigned index) {
    const Bytes auth(request.authenticator, request.authenticator + 16);
    const Bytes challenge = eap_attributes(unauthenticated_success_notification());
    const Bytes state = {RADIUS_ATTR_STATE, 6, 'S', 'T', 'A', 'T'};
    uint8_t id = request.identifier;
    switch (fault) {
    case Fault::WrongSecret:
        return radiussrv::reply(RADIUS_ACCESS_CHALLENGE, id, auth, challenge, true, "not-" + SECRET);
    case Fault::NoMessageAuthenticator:
        return radiussrv::reply(RADIUS_ACCESS_CHALLENGE, id, auth, challenge, false, SECRET);
    case Fault::BadMessageAuthenticator: {
        // A Message-Authenticator over other bytes, under a valid Response Authenticator.
        Bytes wrong = cat({challenge, {RADIUS_ATTR_MESSAGE_AUTHENTICATOR, 18}, Bytes(16, 0x5A)});
        return radiussrv::reply(RADIUS_ACCESS_CHALLENGE, id, auth, wrong, false, SECRET);
    }
    case Fault::WrongIdentifier:
        return radiussrv::reply(RADIUS_ACCESS_CHALLENGE, static_cast<uint8_t>(id + 1), auth, challenge, true, SECRET);
    case Fault::MalformedAttribute:
        return radiussrv::reply(RADIUS_ACCESS_CHALLENGE, id, auth, cat({challenge, {RADIUS_ATTR_STATE, 1}}), true,
                                SECRET);
    case Fault::NoEapMessage:
        return radiussrv::reply(RADIUS_ACCESS_CHALLENGE, id, auth, state, true, SECRET);
    case Fault::EmptyEapMessage:
        return radiussrv::reply(RADIUS_ACCESS_CHALLENGE, id, auth, cat({state, eap_attributes({})}), true, SECRET);
    case Fault::UnauthenticatedSuccess:
        if (index == 0) return radiussrv::reply(RADIUS_ACCESS_CHALLENGE, id, auth, challenge, true, SECRET);
        return accept_with_zero_keys(request);
    }
    return {};
}

struct RadiusRun {
    int status;
    std::string output;
};

class HostileRadius : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/eapaka-radius-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        directory = pattern;
        ASSERT_EQ(shell("keystore init --keystore " + directory + "/p.profile >/dev/null 2>&1"), 0);
    }
    void TearDown() override { std::system(("rm -rf " + directory).c_str()); }

    int shell(const std::string& arguments) {
        int status = std::system(("cd " + directory + " && " + EAPAKA_TOOL_PATH + " " + arguments).c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // One `eapaka radius` run against `server`, stdout and stderr together.
    RadiusRun radius(const radiussrv::Server& server, const std::string& options) {
        const std::string output = directory + "/output";
        int status = shell("radius --secret " + SECRET + " --port " + std::to_string(server.port()) +
                           " --keystore " + directory + "/p.profile --timeout 150 --retries 1 --quiet " + options +
                           " >" + output + " 2>&1");
        return RadiusRun{status, read_file(output)};
    }

    std::string directory;
};

TEST_F(HostileRadius, EveryDroppedReplyAndMissingPacketIsNamed) {
    struct Case {
        const char* name;
        Fault fault;
        const char* options;
        int status;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {"wrong shared secret", Fault::WrongSecret, "", 1,
         {"dropped 2 replies that did not verify: 2 with bad Response Authenticator",
          "hint: replies from 127.0.0.1 port", "do not verify with this --secret"}},
        {"EAP-Message without Message-Authenticator", Fault::NoMessageAuthenticator, "", 1,
         {"dropped 2 replies that did not verify: 2 with missing Message-Authenticator"}},
        {"wrong Message-Authenticator", Fault::BadMessageAuthenticator, "", 1,
         {"dropped 2 replies that did not verify: 2 with bad Message-Authenticator"}},
        {"reply to another request", Fault::WrongIdentifier, "", 1,
         {"dropped 2 replies that did not verify: 2 with wrong Identifier"}},
        {"attribute of Length 1", Fault::MalformedAttribute, "", 1,
         {"dropped 2 replies that did not verify: 2 with malformed packet or attribute"}},
        {"Access-Challenge without EAP-Message", Fault::NoEapMessage, "", 1,
         {"Access-Challenge without EAP-Message: the server sent no EAP packet for the peer"}},
        {"Access-Challenge with an empty EAP-Message", Fault::EmptyEapMessage, "", 1,
         {"Access-Challenge with an empty EAP-Message"}},
        // The default behaviour lets the unearned success through; the tool says so.
        {"unauthenticated success, default", Fault::UnauthenticatedSuccess, "", 0,
         {"1/1 authentication: EAP-Success, keys MATCH", "(0 full, 0 of them on the pseudonym; 0 fast",
          "hint: the server reached EAP-Success without authenticating itself"}},
        {"unauthenticated success, strict", Fault::UnauthenticatedSuccess, "--compat rfc4187", 1,
         {"did not take the Access-Accept's EAP packet as success (result 15): the server never "
          "authenticated itself in this exchange",
          "EAP_COMPAT_STRICT_SUCCESS"}},
        // A success in EAP-AKA does not count where EAP-AKA' was asked for.
        {"EAP-AKA where EAP-AKA' was asked for", Fault::UnauthenticatedSuccess, "--method aka-prime", 1,
         {"1/1 authentication: FAILED: the server ran EAP-AKA, not the EAP-AKA' that --method asks for",
          "hint: the server ran EAP-AKA for '0001010123456789@eapaka.test'", "\"6\" + IMSI"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        radiussrv::Server server([&](const RadiusPacket& request, unsigned index) {
            return hostile_reply(c.fault, request, index);
        });
        RadiusRun run = radius(server, c.options);
        EXPECT_EQ(run.status, c.status) << run.output;
        for (const std::string& words : c.words) EXPECT_NE(run.output.find(words), std::string::npos) << run.output;
    }
}

}  // namespace
