// A RADIUS client over UDP (RFC 2865 section 2.5): one outstanding
// Access-Request at a time, retransmitted with the same Identifier and
// Request Authenticator until a reply that verifies arrives or the retries
// are spent.
#ifndef EAPAKA_TOOLS_INTEROP_RADIUS_CLIENT_H
#define EAPAKA_TOOLS_INTEROP_RADIUS_CLIENT_H

#include <cstdint>
#include <string>

#include "tools/interop/radius_packet.h"

struct RadiusClientConfig {
    std::string server = "127.0.0.1";  // IPv4 address
    uint16_t port = 1812;
    std::string secret;
    int timeoutMs = 3000;   // wait for a reply before each retransmission
    int retries = 3;        // retransmissions after the first transmission
};

class RadiusClient {
public:
    RadiusClient() = default;
    RadiusClient(const RadiusClient&) = delete;
    RadiusClient& operator=(const RadiusClient&) = delete;
    ~RadiusClient();

    // Opens a UDP socket towards the server; false with `error` set.
    bool open(const RadiusClientConfig& config, std::string& error);

    // Gives `request` the next Identifier and a random Request Authenticator,
    // sends it and waits for a reply with that Identifier whose
    // authenticators verify. Replies that do not verify are dropped silently,
    // as RFC 2865 requires. False with `error` set when no acceptable reply
    // came after all retransmissions, or on a socket error.
    bool exchange(RadiusPacket& request, RadiusPacket& reply, std::string& error);

    unsigned retransmissions() const { return retransmissions_; }
    unsigned droppedReplies() const { return droppedReplies_; }

private:
    // Waits up to `timeoutMs` for a verified reply to `request`.
    bool await_reply(const RadiusPacket& request, int timeoutMs, RadiusPacket& reply,
                     std::string& error);

    RadiusClientConfig config_;
    int fd_ = -1;
    uint8_t nextIdentifier_ = 0;
    unsigned retransmissions_ = 0;
    unsigned droppedReplies_ = 0;
};

#endif
