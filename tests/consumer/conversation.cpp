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

void print_hex_step(const char* step, const Bytes& bytes) {
    std::fprintf(out, "%s %s\n", step, bytes_to_hex(bytes).c_str());
}

// One request to EAP_layer, the result it must return and the beginning of
// the response it must send (nothing: no response is checked).
void print_packet(const Bytes& request, int result, const Bytes& response = {}) {
    std::fprintf(out, "packet %s %d %s\n", bytes_to_hex(request).c_str(), result,
                bytes_to_hex(response).c_str());
}

Bytes identity_response(uint8_t id, const Bytes& identity) {
    return cat({{2, id, 0, static_cast<uint8_t>(5 + identity.size()), 1}, identity});
}

// EAP-Request/Identity and the peer's answer with the server's identity.
void print_identity_round(AkaServer& server) {
    const Bytes request = server.eap_identity();
    print_packet(request, EAPAKA_RESULT_RESPONSE, identity_response(server.id, server.identity));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || (out = std::fopen(argv[1], "w")) == nullptr) {
        std::fprintf(stderr, "usage: %s FILE (writable)\n", argv[0]);
        return 2;
    }
    TestKeyStore keys;
    AkaServer server(keys);
    std::fprintf(out, "# Full authentication, then fast re-authentication; computed by the test oracle.\n");
    print_hex_step("store", Bytes(keys.store, keys.store + EAPAKA_KEB_SIZE));

    std::fprintf(out, "init %zu %s\n", kImsi.size(), kRealm.c_str());
    server.identity = text_bytes(kImsi + kRealm);
    print_identity_round(server);
    akasrv::ChallengePlan challenge;
    challenge.encrPlain = akasrv::identity_attr(AT_NEXT_REAUTH_ID, kReauthId);
    const Bytes challengeRequest = server.challenge(challenge);
    print_packet(challengeRequest, EAPAKA_RESULT_AUTH_RESPONSE, server.expected_challenge_response());
    print_packet(AkaServer::eap_success(server.id), EAPAKA_RESULT_SUCCESS_PERMANENT);
    print_hex_step("msk", server.msk);

    std::fprintf(out, "init %zu %s\n", kImsi.size(), kRealm.c_str());
    server.identity = text_bytes(kReauthId);
    print_identity_round(server);
    akasrv::ReauthPlan reauth;
    const Bytes request = server.reauth_request(reauth);
    // The response's IV is the peer's own random choice: its fixed part is
    // checked (Code, Identifier, Length of AT_IV, AT_ENCR_DATA with the
    // counter and AT_MAC, Subtype, AT_IV header).
    print_packet(request, EAPAKA_RESULT_AUTH_RESPONSE,
                 {2, server.id, 0, 68, 23, AKA_SUBTYPE_REAUTHENTICATION, 0, 0, AT_IV, 5, 0, 0});
    server.derive_reauth_keys();
    print_packet(AkaServer::eap_success(server.id), EAPAKA_RESULT_SUCCESS_PERMANENT);
    print_hex_step("msk", server.msk);

    const Bytes data = text_bytes("EAP-AKA host check");
    std::fprintf(out, "hmac %s %s %s\n", bytes_to_hex(server.kAut).c_str(), bytes_to_hex(data).c_str(),
                bytes_to_hex(oracle::hmac_sha1(server.kAut, data)).c_str());
    return std::fclose(out) == 0 ? 0 : 1;
}
