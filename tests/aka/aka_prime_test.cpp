// EAP-AKA' (RFC 9048) through EAP_layer: KDF negotiation, challenge
// refusals, and the separation of the two methods' identities and keys.
#include "aka/aka_fixture.h"

namespace {

using akasrv::ChallengePlan;
using S = ChallengePlan;

constexpr uintptr_t BAD_AUTN = EAPAKA_FAIL_INVALID_AUTN, BAD_MAC = EAPAKA_FAIL_INVALID_MAC,
                    MALFORMED = EAPAKA_FAIL_MALFORMED_ATTRIBUTE, MISSING = EAPAKA_FAIL_MANDATORY_ATTRIBUTE_MISSING,
                    BAD_SQN = EAPAKA_FAIL_INVALID_SQN;

class AkaPrime : public AkaTest {
public:
    void start() {
        keys.set_seqms(0, 5);
        restart(EAP_COMPAT_AKA_PRIME);
        server.use_prime();
    }
};

enum class Outcome { Accepted, KdfRequested, Rejected, ClientError, SyncFailure };
struct Step { ChallengePlan plan; Outcome outcome; Codes events; };
constexpr uint64_t STALE = 3;  // not above SEQ_MS(0) = 5
ChallengePlan offer(std::vector<uint16_t> kdf, uint64_t seq = 6, void (*tweak)(ChallengePlan&) = nullptr) {
    ChallengePlan plan;
    plan.kdf = std::move(kdf);
    plan.seq = seq;
    if (tweak != nullptr) tweak(plan);
    return plan;
}

TEST_F(AkaPrime, ChallengeSequences) {
    struct Case { const char* name; std::vector<Step> steps; bool foreignRecord = false; };
    const Step ask = {offer({2, 1}), Outcome::KdfRequested, {}};
    const Case cases[] = {
        {"unknown KDF first: KDF 1 asked for, then taken", {ask, {offer({1, 2, 1}), Outcome::Accepted, {}}}},
        {"answer that drops the offer", {ask, {offer({1, 2}), Outcome::ClientError, {BAD_MAC}}}},
        {"answer led by another KDF", {ask, {offer({2, 2, 1}), Outcome::ClientError, {BAD_MAC}}}},
        {"only unknown KDFs", {{offer({2, 3}), Outcome::Rejected, {BAD_AUTN}}}},
        {"no AT_KDF", {{offer({}), Outcome::Rejected, {BAD_AUTN}}}},
        {"KDF offered twice", {{offer({1, 1}), Outcome::Rejected, {BAD_AUTN}}}},
        {"resynchronisation echoes the list, which stays",
         {{offer({1, 2}, STALE), Outcome::SyncFailure, {BAD_SQN}}, {offer({1, 2}), Outcome::Accepted, {}}}},
        {"list changed after resynchronisation",
         {{offer({1}, STALE), Outcome::SyncFailure, {BAD_SQN}}, {offer({1, 2}), Outcome::ClientError, {BAD_MAC}}}},
        {"resynchronisation after negotiation",
         {ask, {offer({1, 2, 1}, STALE), Outcome::SyncFailure, {BAD_SQN}}, {offer({1, 2, 1}), Outcome::Accepted, {}}}},
        {"no AT_KDF_INPUT", {{offer({1}, 6, [](S& s) { s.kdfInput = false; }), Outcome::ClientError, {MISSING}}}},
        {"empty network name", {{offer({1}, 6, [](S& s) { s.nameLength = 0; }), Outcome::Rejected, {BAD_AUTN}}}},
        {"network name past its attribute",
         {{offer({1}, 6, [](S& s) { s.nameLength = 5; }), Outcome::ClientError, {MALFORMED, MISSING}}}},
        {"AMF separation bit clear", {{{6, 0, {0x40, 0x00}}, Outcome::Rejected, {BAD_AUTN}}}},
        {"AT_CHECKCODE of SHA-1 size", {{{6, 0, {}, false, 6}, Outcome::ClientError, {MALFORMED, MISSING}}}},
        {"bad AT_MAC", {{{6, 0, {}, false, 0, {}, false, true}, Outcome::ClientError, {BAD_MAC}}}},
        {"AT_CHECKCODE over other messages", {{{6, 0, {}, false, 9}, Outcome::ClientError, {EAPAKA_FAIL_INVALID_CHECKCODE}}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start();
        give_identity();
        server.identityRecord = c.foreignRecord ? text_bytes("not what the peer saw") : Bytes{};
        for (const Step& step : c.steps) {
            recorder.events.clear();
            const bool accepted = step.outcome == Outcome::Accepted;
            EXPECT_EQ(feed(server.challenge(step.plan)), accepted ? EAPAKA_RESULT_AUTH_RESPONSE : EAPAKA_RESULT_RESPONSE);
            EXPECT_EQ(recorder.codes(), step.events);
            Bytes expected;
            switch (step.outcome) {
            case Outcome::Accepted: expected = server.expected_challenge_response(); break;
            case Outcome::KdfRequested: expected = {2, server.id, 0, 12, akasrv::kTypeAkaPrime, 1, 0, 0, 24, 1, 0, 1}; break;
            case Outcome::Rejected: expected = reject(); break;
            case Outcome::ClientError: expected = client_error(); break;
            case Outcome::SyncFailure:  // AT_AUTS, then every AT_KDF of the challenge in order
                ASSERT_GE(response.size(), 24u);
                expected = Bytes(response.begin(), response.begin() + 24);
                for (uint16_t kdf : step.plan.kdf) expected = cat({expected, {24, 1, 0, static_cast<uint8_t>(kdf)}});
                uint64_t sqnMs = 0;
                EXPECT_TRUE(server.verify_auts(Bytes(expected.begin() + 10, expected.begin() + 24), &sqnMs));
                EXPECT_EQ(sqnMs, 5u << 5);
                EXPECT_EQ(Bytes(expected.begin(), expected.begin() + 10),
                          (Bytes{2, server.id, 0, static_cast<uint8_t>(expected.size()), 50, 4, 0, 0, 4, 4}));
            }
            EXPECT_EQ(bytes_to_hex(response), bytes_to_hex(expected));
            EXPECT_TRUE(!accepted || msk() == server.msk);
        }
    }
}

// RFC 9048 section 3.1: one method's identities and keys are not the other's.
TEST_F(AkaPrime, MethodsKeepTheirIdentitiesAndKeysApart) {
    // An AKA' re-authentication identity is offered; EAP-AKA finds no keys.
    start();
    authenticate({6, 0, {}, false, 0, akasrv::identity_attr(AT_NEXT_REAUTH_ID, "8reauth-prime@test.org")});
    succeed_and_restart();
    give_identity();
    EXPECT_EQ(server.identity, text_bytes("8reauth-prime@test.org"));
    server.use_prime(false);
    const Bytes reauth = server.reauth_request({});
    exchange(reauth, EAPAKA_RESULT_RESPONSE, client_error(), {EAPAKA_FAIL_INVALID_SUBTYPE});

    // An EAP-AKA identity round does not offer it; a full EAP-AKA drops it.
    init();
    give_identity();
    identity_round(AT_ANY_ID_REQ);
    EXPECT_EQ(server.identity, text_bytes("001010123456789@test.org"));
    ASSERT_EQ(feed(server.challenge(offer({1}, 7))), EAPAKA_RESULT_AUTH_RESPONSE);
    EXPECT_EQ(g_session.reauthIdPresent, 0);

    // An EAP-AKA' re-authentication before any EAP-AKA' key derivation.
    start();
    const Bytes primeReauth = server.reauth_request({});
    exchange(primeReauth, EAPAKA_RESULT_RESPONSE, client_error(), {EAPAKA_FAIL_INVALID_SUBTYPE});

    start();
    give_identity();
    identity_round(AT_PERMANENT_ID_REQ);
    server.use_prime(false);
    EXPECT_EQ(feed(server.challenge(offer({1}))), EAPAKA_RESULT_DROPPED);
}

}  // namespace
