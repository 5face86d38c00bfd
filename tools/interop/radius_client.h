// A RADIUS client over UDP (RFC 2865 section 2.5): one outstanding
// Access-Request at a time, retransmitted with the same Identifier and
// Request Authenticator until a reply that verifies arrives, the retries are
// spent or the deadline passes. The server may be a host name, an IPv4 or an
// IPv6 address; when a name has several addresses and one refuses (ICMP port
// unreachable), the next is tried.
#ifndef EAPAKA_TOOLS_INTEROP_RADIUS_CLIENT_H
#define EAPAKA_TOOLS_INTEROP_RADIUS_CLIENT_H

#include <sys/socket.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/interop/radius_packet.h"
#include "tools/pcap.h"

struct RadiusClientConfig {
    std::string server = "127.0.0.1";  // host name or address
    uint16_t port = 1812;
    std::string secret;
    int timeoutMs = 3000;   // wait for a reply before each retransmission
    int retries = 3;        // retransmissions after the first transmission
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    tool::PcapWriter* capture = nullptr;  // every datagram sent and received
};

// The addresses of `server` for UDP; false with `error` when it has none.
bool radius_resolve(const std::string& server, uint16_t port, std::vector<sockaddr_storage>& addresses,
                    std::string& error);

class RadiusClient {
public:
    RadiusClient() = default;
    RadiusClient(const RadiusClient&) = delete;
    RadiusClient& operator=(const RadiusClient&) = delete;
    ~RadiusClient();

    // Opens a UDP socket towards the first of `addresses`; false with
    // `error` set.
    bool open(const RadiusClientConfig& config, const std::vector<sockaddr_storage>& addresses,
              std::string& error);

    // Gives `request` the next Identifier and a random Request Authenticator,
    // sends it and waits for a reply with that Identifier whose
    // authenticators verify. Replies that do not verify are dropped, as RFC
    // 2865 requires, and counted by what was wrong with them. False with
    // `error` set when no acceptable reply came after all retransmissions or
    // before the deadline (then no_answer() holds, and the error names the
    // replies dropped), or on a socket error.
    bool exchange(RadiusPacket& request, RadiusPacket& reply, std::string& error);

    bool no_answer() const { return noAnswer_; }
    std::string server_name() const { return config_.server + " port " + std::to_string(config_.port); }
    unsigned retransmissions() const { return retransmissions_; }
    // The replies dropped in the last exchange, in all and by fault:
    // "dropped 2 replies that did not verify: 2 with bad Response Authenticator".
    unsigned dropped_replies() const;
    unsigned dropped(RadiusReplyFault fault) const { return dropped_[static_cast<size_t>(fault)]; }
    std::string dropped_text() const;

private:
    bool connect_to(size_t index, std::string& error);
    // Waits up to `timeoutMs` for a verified reply to `request`; `refused`
    // is set when the current address answered with port unreachable.
    bool await_reply(const RadiusPacket& request, int timeoutMs, RadiusPacket& reply, bool& refused,
                     std::string& error);
    void capture(const uint8_t* datagram, size_t length, bool outgoing) const;

    RadiusClientConfig config_;
    std::vector<sockaddr_storage> addresses_;
    size_t current_ = 0;
    sockaddr_storage local_{};
    int fd_ = -1;
    uint8_t nextIdentifier_ = 0;
    bool noAnswer_ = false;
    unsigned retransmissions_ = 0;
    std::array<unsigned, RADIUS_REPLY_FAULT_COUNT> dropped_{};
};

#endif
