// A library under test with the test server as its authenticator.
#ifndef EAPAKA_TESTS_AKA_AKA_FIXTURE_H
#define EAPAKA_TESTS_AKA_AKA_FIXTURE_H

#include <cstring>

#include "aka/aka.h"
#include "api/session.h"
#include "support/aka_server.h"
#include "support/test_host.h"

using Codes = std::vector<uintptr_t>;            // event-2 codes
using Requests = std::vector<unsigned long>;     // key-store requests

class AkaTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        init();
    }

    // EAP-Request/Identity, answered and learnt by the server.
    void give_identity() {
        ASSERT_EQ(feed(server.eap_identity()), EAPAKA_RESULT_RESPONSE);
        server.take_identity(response);
    }
    void identity_round(uint8_t idRequestType) {
        ASSERT_EQ(feed(server.identity_request(idRequestType)), EAPAKA_RESULT_RESPONSE);
        server.take_identity(response);
    }
    // A whole full authentication, response checked byte by byte.
    void authenticate(const akasrv::ChallengeSpec& spec = {}) {
        give_identity();
        ASSERT_EQ(feed(server.challenge(spec)), EAPAKA_RESULT_AUTH_RESPONSE);
        ASSERT_EQ(bytes_to_hex(response), bytes_to_hex(server.expected_challenge_response()));
    }
    Bytes msk() {
        Bytes out(64);
        getAAA(out.data());
        return out;
    }
    // AKA-Client-Error "unable to process packet" answering request `id`.
    static Bytes client_error(uint8_t id) { return {2, id, 0, 12, 23, 14, 0, 0, 22, 1, 0, 0}; }
    Bytes client_error() const { return client_error(server.lastRequestId); }

    akasrv::AkaServer server{keys};
};

#endif
