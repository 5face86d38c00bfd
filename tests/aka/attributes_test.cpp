// The limits of the attributes inside decrypted AT_ENCR_DATA, and the
// method's own bounds on inputs the EAP layer never passes on. (The request
// parser's limits are rows of the hostile-server table.)
#include <cstring>

#include "aka/aka_fixture.h"

namespace {

using akasrv::attr;
using akasrv::attr16;
using akasrv::identity_attr;

// Short requests, AT_MAC inputs and ciphertexts beyond the method's bounds
// get its failure reports; an oversized response payload an all-zero MAC.
TEST_F(AkaTest, InternalBoundsGetTheFailureReports) {
    uint8_t packet[300] = {1, 9, 0, 0, 23, AKA_SUBTYPE_CHALLENGE}, payload[251];
    const uint16_t shortLength = 7;
    std::memcpy(packet + 2, &shortLength, 2);
    uint16_t words = 0;
    EXPECT_EQ(aka_process_request(packet, payload, &words), AKA_RESULT_FAILED);
    EXPECT_EQ(Bytes(payload, payload + 7), (Bytes{14, 0, 0, 22, 1, 0, 0}));
    EXPECT_FALSE(verify_at_mac(packet, 15));
    std::memset(g_session.responseMac, 0x5A, 16);
    compute_response_mac(packet, 252);
    EXPECT_EQ(Bytes(g_session.responseMac, g_session.responseMac + 16), Bytes(16, 0));
    EXPECT_FALSE(aka_decrypt_encr_data(100));
    EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_MALFORMED_ATTRIBUTE, EAPAKA_FAIL_INVALID_MAC,
                                       EAPAKA_FAIL_MALFORMED_ATTRIBUTE}));
}

// Decrypted attributes that break the limits of the table: each is refused
// and stores nothing, leaving the flags as they were.
TEST_F(AkaTest, LimitsOfDecryptedData) {
    struct Case { const char* name; Bytes plain; uintptr_t code; };  // code 0: accepted
    const Bytes nonce = attr16(AT_NONCE_S, Bytes(16, 0x77));
    const uintptr_t MALFORMED = EAPAKA_FAIL_MALFORMED_ATTRIBUTE, PADDING = EAPAKA_FAIL_INVALID_PADDING;
    const Case cases[] = {
        {"counter, nonce and padding", cat({{AT_COUNTER, 1, 0, 5}, nonce, attr(AT_PADDING, 3)}), 0},
        {"pseudonym filling its field", identity_attr(AT_NEXT_PSEUDONYM, std::string(68, 'x')), 0},
        {"nonce past the end", Bytes(nonce.begin(), nonce.begin() + 8), MALFORMED},
        {"nonce of Length 4", cat({{AT_NONCE_S, 4, 0, 0}, Bytes(12, 0)}), MALFORMED},
        {"padding of Length 0", {AT_PADDING, 0, 0, 0}, MALFORMED},
        {"padding above 3 words", attr(AT_PADDING, 4), MALFORMED},
        {"last pad byte not zero", {AT_PADDING, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, PADDING},
        {"pseudonym of Length 0", {AT_NEXT_PSEUDONYM, 0, 0, 0}, MALFORMED},
        {"pseudonym longer than its attribute", {AT_NEXT_PSEUDONYM, 2, 0, 200, 'G', 'x', 'y', 'z'}, MALFORMED},
        {"pseudonym over its field", identity_attr(AT_NEXT_PSEUDONYM, std::string(69, 'x')), MALFORMED},
        {"re-auth identity of Length 0", {AT_NEXT_REAUTH_ID, 0, 0, 0}, MALFORMED},
        {"re-auth identity over 64 bytes", cat({{AT_NEXT_REAUTH_ID, 18, 0, 65}, Bytes(68, 'r')}), MALFORMED},
        {"AT_COUNTER_TOO_SMALL, for a peer to send", {AT_COUNTER_TOO_SMALL, 1, 0, 0}, MALFORMED},
        {"trailing half word", {AT_COUNTER, 1, 0, 5, AT_PADDING, 1}, MALFORMED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        recorder.events.clear();
        Bytes plain = c.plain;
        EXPECT_EQ(aka_parse_encr_attributes(plain.data(), static_cast<uint8_t>(plain.size())), c.code == 0);
        EXPECT_EQ(recorder.codes(), c.code == 0 ? Codes{} : Codes{c.code});
        if (c.code != 0) {
            EXPECT_EQ(g_session.nextPseudonymPresent, 0);
            EXPECT_EQ(g_session.reauthIdPresent, 0);
            EXPECT_TRUE(keys.requests.empty());
        }
        g_session.nextPseudonymPresent = 0;
        keys.requests.clear();
    }
}

}  // namespace
