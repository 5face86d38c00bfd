#include "tools/interop/radius_client.h"

#include <netdb.h>
#include <openssl/rand.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

socklen_t address_length(const sockaddr_storage& a) {
    return a.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

}  // namespace

bool radius_resolve(const std::string& server, uint16_t port, std::vector<sockaddr_storage>& addresses,
                    std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    int status = getaddrinfo(server.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (status != 0) {
        error = "unknown server host '" + server + "': " + gai_strerror(status);
        return false;
    }
    addresses.clear();
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
        if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
        sockaddr_storage s{};
        std::memcpy(&s, a->ai_addr, a->ai_addrlen);
        addresses.push_back(s);
    }
    freeaddrinfo(found);
    if (addresses.empty()) error = "no IPv4 or IPv6 address for server host '" + server + "'";
    return !addresses.empty();
}

RadiusClient::~RadiusClient() {
    if (fd_ >= 0) close(fd_);
}

bool RadiusClient::open(const RadiusClientConfig& config, const std::vector<sockaddr_storage>& addresses,
                        std::string& error) {
    config_ = config;
    addresses_ = addresses;
    // Start from an unpredictable Identifier so that two runs in a row do not
    // meet a server's duplicate-request cache.
    RAND_bytes(&nextIdentifier_, 1);
    return connect_to(0, error);
}

bool RadiusClient::connect_to(size_t index, std::string& error) {
    if (fd_ >= 0) close(fd_);
    current_ = index;
    const sockaddr_storage& server = addresses_[index];
    fd_ = socket(server.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    socklen_t localLength = sizeof local_;
    if (fd_ < 0 || connect(fd_, reinterpret_cast<const sockaddr*>(&server), address_length(server)) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&local_), &localLength) != 0) {
        error = std::string("RADIUS socket: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void RadiusClient::capture(const uint8_t* datagram, size_t length, bool outgoing) const {
    if (config_.capture == nullptr) return;
    const sockaddr* local = reinterpret_cast<const sockaddr*>(&local_);
    const sockaddr* server = reinterpret_cast<const sockaddr*>(&addresses_[current_]);
    config_.capture->write_frame(
        tool::udp_frame(outgoing ? local : server, outgoing ? server : local, ByteString(datagram, datagram + length), outgoing));
}

bool RadiusClient::await_reply(const RadiusPacket& request, int timeoutMs, RadiusPacket& reply, bool& refused,
                               std::string& error) {
    const Clock::time_point deadline = std::min(Clock::now() + std::chrono::milliseconds(timeoutMs), config_.deadline);
    uint8_t buffer[RADIUS_MAX_PACKET];
    for (;;) {
        // Rounded up: a wait must not end before the deadline it serves.
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            error = std::string("RADIUS poll: ") + std::strerror(errno);
            return false;
        }
        if (ready == 0) return false;
        ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        if (n < 0 && errno == ECONNREFUSED) {
            // Nothing listens at this address (yet): another address of the
            // server may, else the timeout is waited out.
            refused = true;
            if (current_ + 1 < addresses_.size()) return false;
            continue;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            error = std::string("RADIUS receive: ") + std::strerror(errno);
            return false;
        }
        size_t length = static_cast<size_t>(n);
        capture(buffer, length, false);
        RadiusReplyFault fault =
            radius_check_reply(buffer, length, request.identifier, request.authenticator, config_.secret, reply);
        if (fault == RadiusReplyFault::None) return true;
        ++dropped_[static_cast<size_t>(fault)];
    }
}

bool RadiusClient::exchange(RadiusPacket& request, RadiusPacket& reply, std::string& error) {
    request.identifier = nextIdentifier_++;
    if (RAND_bytes(request.authenticator, RADIUS_AUTHENTICATOR_SIZE) != 1) {
        error = "no random bytes for the Request Authenticator";
        return false;
    }
    ByteString wire;
    if (!radius_encode_request(request, config_.secret, wire)) {
        error = "Access-Request exceeds 4096 bytes";
        return false;
    }
    error.clear();
    noAnswer_ = false;
    dropped_.fill(0);
    for (int attempt = 0; attempt <= config_.retries && Clock::now() < config_.deadline; ++attempt) {
        if (attempt > 0) ++retransmissions_;
        capture(wire.data(), wire.size(), true);
        if (send(fd_, wire.data(), wire.size(), 0) < 0 && errno != ECONNREFUSED) {
            error = std::string("RADIUS send: ") + std::strerror(errno);
            return false;
        }
        bool refused = false;
        if (await_reply(request, config_.timeoutMs, reply, refused, error)) return true;
        if (!error.empty()) return false;
        if (refused && current_ + 1 < addresses_.size()) {
            if (!connect_to(current_ + 1, error)) return false;
            --attempt;  // a refusal is not a lost request: the next address gets the full count
        }
    }
    noAnswer_ = true;
    bool late = Clock::now() >= config_.deadline;
    error = "no reply from RADIUS server " + server_name() +
            (late ? " within the time limit" : " after " + std::to_string(config_.retries + 1) + " transmissions");
    if (dropped_replies() > 0) error += "; " + dropped_text();
    return false;
}

unsigned RadiusClient::dropped_replies() const {
    unsigned total = 0;
    for (unsigned n : dropped_) total += n;
    return total;
}

std::string RadiusClient::dropped_text() const {
    std::string text;
    for (size_t fault = 0; fault < dropped_.size(); ++fault) {
        if (dropped_[fault] == 0) continue;
        text += (text.empty() ? "" : ", ") + std::to_string(dropped_[fault]) + " with " +
                radius_fault_name(static_cast<RadiusReplyFault>(fault));
    }
    unsigned total = dropped_replies();
    return "dropped " + std::to_string(total) + (total == 1 ? " reply" : " replies") + " that did not verify: " + text;
}
