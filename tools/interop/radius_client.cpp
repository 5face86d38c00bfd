#include "tools/interop/radius_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/rand.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

RadiusClient::~RadiusClient() {
    if (fd_ >= 0) close(fd_);
}

bool RadiusClient::open(const RadiusClientConfig& config, std::string& error) {
    config_ = config;
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(config.port);
    if (inet_pton(AF_INET, config.server.c_str(), &server.sin_addr) != 1) {
        error = "not an IPv4 address: " + config.server;
        return false;
    }
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        error = std::string("RADIUS socket: ") + std::strerror(errno);
        return false;
    }
    // Start from an unpredictable Identifier so that two runs in a row do not
    // meet a server's duplicate-request cache.
    RAND_bytes(&nextIdentifier_, 1);
    return true;
}

bool RadiusClient::await_reply(const RadiusPacket& request, int timeoutMs, RadiusPacket& reply,
                               std::string& error) {
    int64_t deadline = now_ms() + timeoutMs;
    uint8_t buffer[RADIUS_MAX_PACKET];
    for (;;) {
        int64_t left = deadline - now_ms();
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
        if (n < 0) {
            // ECONNREFUSED: nothing listens yet; keep waiting out the timeout.
            if (errno == ECONNREFUSED || errno == EINTR) continue;
            error = std::string("RADIUS receive: ") + std::strerror(errno);
            return false;
        }
        size_t length = static_cast<size_t>(n);
        if (length >= RADIUS_HEADER_SIZE) length = std::min<size_t>(length, buffer[2] << 8 | buffer[3]);
        if (length >= RADIUS_HEADER_SIZE && buffer[1] == request.identifier &&
            radius_verify_reply(buffer, length, request.authenticator, config_.secret) &&
            radius_decode(buffer, length, reply))
            return true;
        ++droppedReplies_;
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
    for (int attempt = 0; attempt <= config_.retries; ++attempt) {
        if (attempt > 0) ++retransmissions_;
        if (send(fd_, wire.data(), wire.size(), 0) < 0 && errno != ECONNREFUSED) {
            error = std::string("RADIUS send: ") + std::strerror(errno);
            return false;
        }
        if (await_reply(request, config_.timeoutMs, reply, error)) return true;
        if (!error.empty()) return false;
    }
    error = "no reply from RADIUS server " + config_.server + ":" + std::to_string(config_.port) +
            " after " + std::to_string(config_.retries + 1) + " transmissions";
    return false;
}
