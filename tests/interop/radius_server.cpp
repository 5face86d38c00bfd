#include "interop/radius_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace radiussrv {

namespace {

constexpr int POLL_MS = 20;   // how soon the server notices it should stop

}  // namespace

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

Bytes reply(uint8_t code, uint8_t id, const Bytes& requestAuth, Bytes attributes, bool withMessageAuthenticator,
            const std::string& secret) {
    size_t macAt = 0;
    if (withMessageAuthenticator) {
        macAt = 20 + attributes.size() + 2;
        attributes = cat({attributes, {RADIUS_ATTR_MESSAGE_AUTHENTICATOR, 18}, Bytes(16, 0)});
    }
    size_t length = 20 + attributes.size();
    Bytes packet = cat({{code, id, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)}, requestAuth,
                        attributes});
    if (withMessageAuthenticator) {
        Bytes mac = hmac_md5(secret, packet);
        std::copy(mac.begin(), mac.end(), packet.begin() + static_cast<long>(macAt));
    }
    Bytes response = md5(cat({packet, text_bytes(secret)}));
    std::copy(response.begin(), response.end(), packet.begin() + 4);
    return packet;
}

// RFC 2548 section 2.4.2: Key-Length, key, zero padding to whole blocks,
// each block xor MD5(secret | previous), the first previous being the
// request authenticator and the salt.
Bytes mppe_attribute(uint8_t vendorType, const Bytes& key, const Bytes& salt, const Bytes& requestAuth,
                     const std::string& secret) {
    Bytes plain = cat({{static_cast<uint8_t>(key.size())}, key});
    plain.resize((plain.size() + 15) / 16 * 16, 0);
    Bytes cipher, previous = cat({requestAuth, salt});
    for (size_t at = 0; at < plain.size(); at += 16) {
        Bytes b = md5(cat({text_bytes(secret), previous}));
        for (size_t i = 0; i < 16; ++i) cipher.push_back(plain[at + i] ^ b[i]);
        previous.assign(cipher.end() - 16, cipher.end());
    }
    Bytes sub = cat({{vendorType, static_cast<uint8_t>(2 + salt.size() + cipher.size())}, salt, cipher});
    Bytes vsa = cat({{0, 0, 1, 0x37}, sub});  // vendor 311
    return cat({{RADIUS_ATTR_VENDOR_SPECIFIC, static_cast<uint8_t>(2 + vsa.size())}, vsa});
}

Server::Server(Responder responder) : responder_(std::move(responder)) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ADD_FAILURE() << "cannot open the test RADIUS server's socket";
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

Server::~Server() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
}

void Server::serve() {
    unsigned index = 0;
    uint8_t buffer[RADIUS_MAX_PACKET];
    while (!stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, POLL_MS) <= 0) continue;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        RadiusPacket request;
        if (n <= 0 || !radius_decode(buffer, static_cast<size_t>(n), request)) continue;
        Bytes answer = responder_(request, index++);
        if (!answer.empty()) {
            ::sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
        }
    }
}

}  // namespace radiussrv
