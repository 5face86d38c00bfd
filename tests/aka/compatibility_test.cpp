// The host's opt-in compatibility setting: skipping unknown skippable
// attributes (RFC 4187 8.1) and the empty AT_CHECKCODE of an exchange
// without AKA-Identity rounds (RFC 4187 10.13). With 0 nothing changes.
#include "aka/aka_fixture.h"

namespace {

using akasrv::AkaServer;
using akasrv::identity_attr;

constexpr unsigned SKIP = EAP_COMPAT_SKIP_UNKNOWN_SKIPPABLE;
constexpr unsigned RFC_CHECKCODE = EAP_COMPAT_RFC_CHECKCODE;
constexpr size_t AT_MAC_BYTES = 20;

// Puts `extra` in front of the request's AT_MAC (its last attribute) and
// MACs the result again as the server would.
Bytes insert_before_mac(Bytes request, const Bytes& extra, const Bytes& kAut) {
    request.insert(request.end() - AT_MAC_BYTES, extra.begin(), extra.end());
    request[2] = static_cast<uint8_t>(request.size() >> 8);
    request[3] = static_cast<uint8_t>(request.size());
    return akasrv::with_mac(kAut, request, request.size() - 16);
}

class Compatibility : public AkaTest {};

TEST_F(Compatibility, IsZeroAtLoadAndSurvivesEapInit) {
    EXPECT_EQ(g_session.compatibilityFlags, 0u);
    EAP_SetCompatibility(EAP_COMPAT_RFC4187);
    init();
    EXPECT_EQ(g_session.compatibilityFlags, unsigned{EAP_COMPAT_RFC4187});
    EAP_SetCompatibility(0);
    EXPECT_EQ(g_session.compatibilityFlags, 0u);
}

TEST_F(Compatibility, UnknownSkippableAttributesInAChallenge) {
    struct Case { const char* name; unsigned flags; Bytes extra; bool accepted; };
    const Case cases[] = {
        {"AT_BIDDING refused by default", 0, {136, 1, 0, 0}, false},
        {"AT_BIDDING skipped", SKIP, {136, 1, 0, 0}, true},
        {"type 255 of two words skipped", SKIP, {255, 2, 1, 2, 3, 4, 5, 6}, true},
        {"checkcode flag alone skips nothing", RFC_CHECKCODE, {136, 1, 0, 0}, false},
        {"non-skippable unknown type refused", SKIP, {127, 1, 0, 0}, false},
        {"known type out of place refused", SKIP, identity_attr(AT_NEXT_REAUTH_ID, "4x"), false},
        {"skippable type of Length 0 refused", SKIP, {136, 0, 0, 0}, false},
        {"skippable type past the message refused", SKIP, {136, 7, 0, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        aka_session_reset();
        keys.set_seqms(0, 0);  // every case takes the server's first SQN
        keys.install();
        recorder.events.clear();
        init();
        EAP_SetCompatibility(c.flags);
        give_identity();
        const Bytes request = insert_before_mac(server.challenge({}), c.extra, server.kAut);
        if (c.accepted) {
            EXPECT_EQ(feed(request), EAPAKA_RESULT_AUTH_RESPONSE);
            EXPECT_EQ(bytes_to_hex(response), bytes_to_hex(server.expected_challenge_response()));
            EXPECT_EQ(bytes_to_hex(msk()), bytes_to_hex(server.msk));
        } else {
            EXPECT_EQ(feed(request), EAPAKA_RESULT_RESPONSE);
            EXPECT_EQ(response, client_error());
            ASSERT_FALSE(recorder.codes().empty());
            EXPECT_EQ(recorder.codes()[0], uintptr_t{EAPAKA_FAIL_MALFORMED_ATTRIBUTE});
        }
    }
}

TEST_F(Compatibility, UnknownSkippableAttributeInsideEncryptedData) {
    for (unsigned flags : {0u, SKIP}) {
        SCOPED_TRACE(flags);
        aka_session_reset();
        keys.set_seqms(0, 0);  // every case takes the server's first SQN
        keys.install();
        recorder.events.clear();
        init();
        EAP_SetCompatibility(flags);
        give_identity();
        akasrv::ChallengeSpec spec;
        spec.encrPlain = {200, 1, 0, 0};
        const Bytes reauth = identity_attr(AT_NEXT_REAUTH_ID, "4reauth-identity");
        spec.encrPlain.insert(spec.encrPlain.end(), reauth.begin(), reauth.end());
        const int result = feed(server.challenge(spec));
        if (flags == SKIP) {
            EXPECT_EQ(result, EAPAKA_RESULT_AUTH_RESPONSE);
            EXPECT_EQ(g_session.reauthIdPresent, 1);
        } else {
            EXPECT_EQ(response, client_error());
            EXPECT_EQ(recorder.codes(), Codes{EAPAKA_FAIL_MALFORMED_ATTRIBUTE});
        }
    }
}

// Challenge responses: the AT_CHECKCODE echoed by the peer.
TEST_F(Compatibility, ChallengeResponseCheckcode) {
    struct Case { const char* name; unsigned flags; bool identityRound; int requestWords; bool emptyReply; };
    const Case cases[] = {
        {"default: digest without identity rounds", 0, false, 1, false},
        {"RFC: empty without identity rounds", RFC_CHECKCODE, false, 1, true},
        {"skip flag alone: digest", SKIP, false, 1, false},
        // Last: from here on the digest of the last check is no longer zero.
        {"RFC: digest after an identity round", RFC_CHECKCODE, true, 6, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        aka_session_reset();
        keys.set_seqms(0, 0);  // every case takes the server's first SQN
        keys.install();
        init();
        EAP_SetCompatibility(c.flags);
        give_identity();
        if (c.identityRound) identity_round(AT_PERMANENT_ID_REQ);
        akasrv::ChallengeSpec spec;
        spec.checkcodeWords = c.requestWords;
        ASSERT_EQ(feed(server.challenge(spec)), EAPAKA_RESULT_AUTH_RESPONSE);
        if (!c.emptyReply) {
            EXPECT_EQ(bytes_to_hex(response), bytes_to_hex(server.expected_challenge_response()));
            continue;
        }
        // Header, AT_RES (12), empty AT_CHECKCODE (4), AT_MAC (20).
        ASSERT_EQ(response.size(), 44u);
        EXPECT_EQ(response[3], 44);
        EXPECT_EQ(bytes_to_hex(Bytes(response.begin() + 20, response.begin() + 24)), "86010000");
        EXPECT_EQ(bytes_to_hex(Bytes(response.begin() + 28, response.end())),
                  bytes_to_hex(akasrv::mac_over(server.kAut, response, 28)));
    }
}

// Fast re-authentication without identity rounds: the response's
// AT_CHECKCODE is empty and AT_MAC still covers NONCE_S.
TEST_F(Compatibility, ReauthenticationResponseCheckcode) {
    akasrv::ChallengeSpec full;
    full.encrPlain = identity_attr(AT_NEXT_REAUTH_ID, "4reauth-identity");
    authenticate(full);
    ASSERT_EQ(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_SUCCESS_PERMANENT);
    init();
    EAP_SetCompatibility(RFC_CHECKCODE);
    give_identity();
    akasrv::ReauthSpec spec;
    spec.checkcodeWords = 1;
    ASSERT_EQ(feed(server.reauth_request(spec)), EAPAKA_RESULT_AUTH_RESPONSE);
    server.derive_reauth_keys();
    // Header, AT_IV, AT_ENCR_DATA, empty AT_CHECKCODE, AT_MAC.
    ASSERT_EQ(response.size(), 72u);
    EXPECT_EQ(bytes_to_hex(Bytes(response.begin() + 48, response.begin() + 52)), "86010000");
    EXPECT_EQ(bytes_to_hex(Bytes(response.begin() + 56, response.end())),
              bytes_to_hex(akasrv::mac_over(server.kAut, response, 56, spec.nonceS)));
}

}  // namespace
