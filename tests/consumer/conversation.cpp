// Writes the conversation the consumer hosts (host.c) replay against the
// built library: a full EAP-AKA authentication that hands out a fast
// re-authentication identity, then a fast re-authentication with it
// (RFC 4187 sections 3 and 5), and one HMAC-SHA1 through the export. Every
// request, expected response and MSK comes from the test-side server, whose
// crypto is the oracle (OpenSSL or libgcrypt), never the library's.
//
//   consumer_conversation FILE
#include <cstdio>
#include <string>

#include "aka/aka.h"
#include "support/aka_server.h"

namespace {

using akasrv::AkaServer;

const std::string kImsi = "001010123456789";
const std::string kRealm = "@wlan.example";
const std::string kReauthId = "reauth-7f3a" + kRealm;

std::FILE* out = nullptr;

// One request to EAP_layer, the result it must return and the beginning of
// the response it must send ("-": none checked).
void print_packet(const Bytes& request, int result, const Bytes& response = {}) {
    std::fprintf(out, "packet %s %d %s\n", bytes_to_hex(request).c_str(), result,
                 response.empty() ? "-" : bytes_to_hex(response).c_str());
}

// EAP-Request/Identity and the peer's answer with `identity`, after EAP_Init.
void print_identity_round(AkaServer& server, const std::string& identity) {
    std::fprintf(out, "init %zu %s\n", kImsi.size(), kRealm.c_str());
    server.identity = text_bytes(identity);
    const Bytes request = server.eap_identity();
    print_packet(request, EAPAKA_RESULT_RESPONSE,
                 cat({{2, server.id, 0, static_cast<uint8_t>(5 + identity.size()), 1}, server.identity}));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || (out = std::fopen(argv[1], "w")) == nullptr) {
        std::fprintf(stderr, "usage: %s FILE (writable)\n", argv[0]);
        return 2;
    }
    TestKeyStore keys;
    AkaServer server(keys);
    std::fprintf(out, "store %s\n", bytes_to_hex(keys.store, EAPAKA_KEB_SIZE).c_str());
    print_identity_round(server, kImsi + kRealm);
    const Bytes challenge = server.challenge({1, 0, {}, false, 0, akasrv::identity_attr(AT_NEXT_REAUTH_ID, kReauthId)});
    print_packet(challenge, EAPAKA_RESULT_AUTH_RESPONSE, server.expected_challenge_response());
    print_packet(AkaServer::eap_success(server.id), EAPAKA_RESULT_SUCCESS_PERMANENT);
    std::fprintf(out, "msk %s\n", bytes_to_hex(server.msk).c_str());
    print_identity_round(server, kReauthId);
    const Bytes request = server.reauth_request({});
    // The response's IV is the peer's own random choice: its fixed part is
    // checked (Code, Identifier, Length of AT_IV, AT_ENCR_DATA with the
    // counter and AT_MAC, Subtype, AT_IV header).
    print_packet(request, EAPAKA_RESULT_AUTH_RESPONSE,
                 {2, server.id, 0, 68, 23, AKA_SUBTYPE_REAUTHENTICATION, 0, 0, AT_IV, 5, 0, 0});
    server.derive_reauth_keys();
    print_packet(AkaServer::eap_success(server.id), EAPAKA_RESULT_SUCCESS_PERMANENT);
    std::fprintf(out, "msk %s\n", bytes_to_hex(server.msk).c_str());
    const Bytes data = text_bytes("EAP-AKA host check");
    std::fprintf(out, "hmac %s %s %s\n", bytes_to_hex(server.kAut).c_str(), bytes_to_hex(data).c_str(),
                bytes_to_hex(oracle::hmac_sha1(server.kAut, data)).c_str());
    return std::fclose(out) == 0 ? 0 : 1;
}
