// Opt-in compatibility flags, one scenario each, with the setting 0 and with
// the flag: what the peer did, in words. Other flags are rows of other tables.
#include "aka/aka_fixture.h"

namespace {

using akasrv::AkaServer;
using akasrv::identity_attr;

class Compatibility : public AkaTest {
public:
    void start() {
        init();
        give_identity();
    }
    void full(uint64_t seq, const Bytes& encrPlain = {}) {
        init();
        authenticate({seq, 0, {}, false, 0, encrPlain});
        succeed();
    }
    int reauth(uint16_t counter, const Bytes& extraEncr = {}) {
        start();
        return feed(server.reauth_request({counter, Bytes(16, 0xA5), extraEncr}));
    }
    void succeed() { ASSERT_GT(feed(AkaServer::eap_success(server.id)), EAPAKA_RESULT_FAILURE); }
};

struct Behaviour {
    unsigned flag;
    std::string (*observe)(Compatibility& t);
    const char* off;
    const char* on;
};

const Behaviour kBehaviours[] = {
    // RFC 4187 5.4: the counter belongs to the full authentication.
    {EAP_COMPAT_REAUTH_COUNTER_PER_FULL_AUTH,
     [](Compatibility& t) -> std::string {
         t.full(1);
         if (t.reauth(1) != EAPAKA_RESULT_AUTH_RESPONSE) return "first re-authentication refused";
         t.succeed();
         t.full(2);  // the server counts from 1 again
         const bool fresh = t.reauth(1) == EAPAKA_RESULT_AUTH_RESPONSE;
         EXPECT_TRUE(t.server.check_reauth_response(t.response, fresh));
         return fresh ? "counter 1 accepted again" : "counter 1 too small";
     },
     "counter 1 too small", "counter 1 accepted again"},
    {EAP_COMPAT_REAUTH_KEYS_FROM_FULL_MK,
     [](Compatibility& t) -> std::string {
         t.full(1);
         EXPECT_EQ(t.reauth(1), EAPAKA_RESULT_AUTH_RESPONSE);
         t.server.derive_reauth_keys();  // from MK either way
         t.succeed();
         EXPECT_EQ(t.reauth(2), EAPAKA_RESULT_AUTH_RESPONSE);
         t.succeed();
         AkaServer chained = t.server, fromFull = t.server;
         chained.derive_reauth_keys(false);
         fromFull.derive_reauth_keys(true);
         return t.msk() == chained.msk ? "XKEY' chained" : t.msk() == fromFull.msk ? "XKEY' from MK" : "neither";
     },
     "XKEY' chained", "XKEY' from MK"},
    {EAP_COMPAT_KEEP_NEXT_REAUTH_ID,
     [](Compatibility& t) -> std::string {
         t.full(1, identity_attr(AT_NEXT_REAUTH_ID, "4first"));
         EXPECT_EQ(t.reauth(1, identity_attr(AT_NEXT_REAUTH_ID, "4second")), EAPAKA_RESULT_AUTH_RESPONSE);
         EXPECT_EQ(t.server.identity, text_bytes("4first"));
         t.succeed();
         t.start();
         return t.identity_sent();
     },
     "001010123456789@test.org", "4second"},
};

TEST_F(Compatibility, EachFlagIsOnOnlyWhenSet) {
    for (const Behaviour& b : kBehaviours) {
        for (bool on : {false, true}) {
            SCOPED_TRACE(testing::Message() << "flag " << b.flag << (on ? " on" : " off"));
            keys = TestKeyStore{};  // a fresh subscriber and library
            server = AkaServer(keys);
            restart(on ? b.flag : 0);
            EXPECT_EQ(b.observe(*this), on ? b.on : b.off);
        }
    }
}

// EAP_COMPAT_OPAQUE_PSEUDONYM: the store's 23 bytes carry no length. By
// default the first 23 bytes of the received field are kept, only a "G" counts.
TEST_F(AkaTest, OpaquePseudonymInTheStore) {
    struct Case { unsigned flags; std::vector<std::string> received; std::string stored, identity; };
    const std::string zeros(23, '\0'), full = "abcdefghijklmnopqrstuvw", permanent = "001010123456789@test.org";
    const Case cases[] = {
        {0, {full + "x", "short"}, "short" + full.substr(5), permanent},  // the stale tail stays
        {EAP_COMPAT_OPAQUE_PSEUDONYM, {full}, full, full + "@test.org"},
        {EAP_COMPAT_OPAQUE_PSEUDONYM, {full, "short"}, "short" + zeros.substr(5), "short@test.org"},  // no stale tail
        {EAP_COMPAT_OPAQUE_PSEUDONYM, {full + "x"}, zeros, permanent},  // would not read back whole
        {EAP_COMPAT_OPAQUE_PSEUDONYM, {""}, zeros, permanent},
        {EAP_COMPAT_OPAQUE_PSEUDONYM, {std::string("ab\0cd", 5)}, zeros, permanent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.received.back());
        restart(c.flags);
        keys.set_pseudonym("Gstale");
        for (const std::string& pseudonym : c.received) {
            Bytes plain = identity_attr(AT_NEXT_PSEUDONYM, pseudonym);
            ASSERT_TRUE(aka_parse_encr_attributes(plain.data(), static_cast<uint8_t>(plain.size())));
        }
        EXPECT_EQ(keys.pseudonym(), c.stored);
        restart(c.flags);
        ASSERT_EQ(feed(server.eap_identity()), EAPAKA_RESULT_RESPONSE);
        EXPECT_EQ(identity_sent(), c.identity);
    }
}

}  // namespace
