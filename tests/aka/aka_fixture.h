// A library under test with the test server as its authenticator.
#ifndef EAPAKA_TESTS_AKA_AKA_FIXTURE_H
#define EAPAKA_TESTS_AKA_AKA_FIXTURE_H

#include "aka/aka.h"
#include "api/session.h"
#include "support/aka_server.h"

using Codes = std::vector<uintptr_t>;         // event-2 codes
using Requests = std::vector<unsigned long>;  // key-store requests
constexpr unsigned long L = EAPAKA_AUTHKEY_LOAD, P = EAPAKA_AUTHKEY_STORE_PSEUDONYM, S = EAPAKA_AUTHKEY_STORE_SEQMS;

class AkaTest : public LibraryTest {
public:
    void SetUp() override {
        LibraryTest::SetUp();
        init();
    }
    // A new process with the setting `flags`; the host's store kept.
    void restart(unsigned flags = 0) {
        aka_session_reset();
        keys.install();
        EAP_SetCompatibility(flags);
        init();
    }
    void give_identity() {
        ASSERT_EQ(feed(server.eap_identity()), EAPAKA_RESULT_RESPONSE);
        server.take_identity(response);
    }
    void identity_round(uint8_t idRequestType) {
        ASSERT_EQ(feed(server.identity_request(idRequestType)), EAPAKA_RESULT_RESPONSE);
        server.take_identity(response);
    }
    void authenticate(const akasrv::ChallengePlan& plan = {}) {
        give_identity();
        const Bytes challenge = server.challenge(plan);
        exchange(challenge, EAPAKA_RESULT_AUTH_RESPONSE, server.expected_challenge_response());
    }
    // Where the genuine server leaves the peer before a test's message: its
    // identity taken; a challenge of this exchange accepted; or a full
    // authentication ended in EAP-Success, then a new exchange's identity.
    enum class Before { Identity, Authenticated, NewConversation };
    void prepare(Before before) {
        if (before != Before::Identity) authenticate();
        if (before == Before::NewConversation) succeed_and_restart();
        if (before != Before::Authenticated) give_identity();
    }
    void exchange(const Bytes& request, int result, const Bytes& expected, const Codes& codes = {}) {
        recorder.events.clear();
        EXPECT_EQ(feed(request), result);
        EXPECT_EQ(bytes_to_hex(response), bytes_to_hex(expected));
        EXPECT_EQ(recorder.codes(), codes);
    }
    void succeed_and_restart(int result = EAPAKA_RESULT_SUCCESS_PERMANENT) {
        ASSERT_EQ(feed(akasrv::AkaServer::eap_success(server.id)), result);
        init();
    }
    Bytes msk() {
        Bytes out(64);
        getAAA(out.data());
        return out;
    }
    std::string identity_sent() const { return std::string(response.begin() + 5, response.end()); }
    // AKA-Client-Error "unable to process packet", AKA-Authentication-Reject.
    Bytes client_error() const { return {2, server.lastRequestId, 0, 12, server.type, 14, 0, 0, 22, 1, 0, 0}; }
    Bytes reject() const { return {2, server.lastRequestId, 0, 8, server.type, 2, 0, 0}; }
    static Bytes bad_mac(Bytes request) {
        request.back() ^= 1;
        return request;
    }

    akasrv::AkaServer server{keys};
};

#endif
