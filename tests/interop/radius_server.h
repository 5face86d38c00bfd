// The server side of RADIUS for the tests, built with OpenSSL: replies with
// their authenticators as RFC 2865 and RFC 3579 define them, salt-encrypted
// MPPE keys (RFC 2548), and a UDP server on loopback that answers each
// Access-Request with what a test's responder builds, well formed or not.
#ifndef EAPAKA_TESTS_INTEROP_RADIUS_SERVER_H
#define EAPAKA_TESTS_INTEROP_RADIUS_SERVER_H

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "support/test_host.h"
#include "tools/interop/radius_packet.h"

namespace radiussrv {

Bytes md5(const Bytes& data);
Bytes hmac_md5(const std::string& key, const Bytes& data);

// A reply to a request with `requestAuth`: the attributes as given, then a
// Message-Authenticator (when asked), both authenticators filled in with
// `secret`.
Bytes reply(uint8_t code, uint8_t id, const Bytes& requestAuth, Bytes attributes, bool withMessageAuthenticator,
            const std::string& secret);

// A Vendor-Specific attribute with one MS-MPPE key encrypted under `salt`.
Bytes mppe_attribute(uint8_t vendorType, const Bytes& key, const Bytes& salt, const Bytes& requestAuth,
                     const std::string& secret);

// Answers every Access-Request sent to 127.0.0.1:port() with the bytes the
// responder returns for it (nothing when empty); `index` counts the requests
// from 0. Runs on its own thread until destroyed.
class Server {
public:
    using Responder = std::function<Bytes(const RadiusPacket& request, unsigned index)>;
    explicit Server(Responder responder);
    ~Server();
    uint16_t port() const { return port_; }

private:
    void serve();

    Responder responder_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace radiussrv

#endif
