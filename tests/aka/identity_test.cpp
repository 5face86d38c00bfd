// Identity composition and the AKA-Identity response payload.
#include <cstring>

#include "aka/aka.h"
#include "api/session.h"
#include "support/test_host.h"

namespace {

const std::string kPseudonym = "G7aBcDeFgHiJkLmNoPqRsTu";  // 23 bytes

class IdentityTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        keys.set_permanent_id("0010101234567890");  // 16 stored bytes
        init("@test.org", 15);
    }

    // Builds the response into a poisoned area; returns the payload bytes
    // and checks nothing is written past them.
    Bytes build(int kind) {
        uint8_t area[256];
        std::memset(area, 0xEE, sizeof area);
        uint16_t words = 0xFFFF;
        makeRSP_Identity(kind, area, &words);
        EXPECT_LE(words, 62);
        const size_t size = 3 + 4u * words;
        for (size_t i = size; i < sizeof area; ++i) EXPECT_EQ(area[i], 0xEE) << i;
        return Bytes(area, area + size);
    }

    Bytes sent_identity() const {
        return Bytes(g_session.identity, g_session.identity + g_session.identityLength);
    }

    void hold_reauth_id(const std::string& id, uint8_t words) {
        g_session.reauthIdPresent = 1;
        g_session.reauthIdLength = static_cast<uint16_t>(id.size());
        g_session.reauthIdLengthWords = words;
        std::memcpy(g_session.reauthId, id.data(), id.size());
    }
};

Bytes payload(uint8_t lengthWords, const Bytes& identity, size_t padding) {
    return cat({{5, 0, 0, 14, lengthWords, static_cast<uint8_t>(identity.size() >> 8),
                 static_cast<uint8_t>(identity.size())},
                identity, Bytes(padding, 0)});
}

TEST_F(IdentityTest, AkaIdentityResponseByKind) {
    struct Case {
        const char* name;
        int kind;
        std::string pseudonym;
        int permanentIdLength;
        std::string identity;
        uint8_t words;
        size_t padding;
        std::vector<unsigned long> requests;
        uint16_t kindAfter;
    };
    const Case cases[] = {
        // 15 digits + 9-character realm: 24 bytes, a whole number of words.
        {"permanent", IDENTITY_PERMANENT, kPseudonym, 15, "001010123456789@test.org", 7, 0, {1}, 13},
        // 16 + 9 = 25 bytes: three bytes of padding.
        {"permanent, 25 bytes", IDENTITY_PERMANENT, "", 16, "0010101234567890@test.org", 8, 3, {1}, 13},
        {"pseudonym held", IDENTITY_PSEUDONYM, kPseudonym, 15, kPseudonym + "@test.org", 9, 0, {1}, 3},
        {"no pseudonym held", IDENTITY_PSEUDONYM, std::string(1, '\0'), 15, "001010123456789@test.org", 7, 0,
         {1, 1}, 13},
        {"lower-case g is no pseudonym", IDENTITY_PSEUDONYM, "g" + kPseudonym.substr(1), 14,
         "00101012345678@test.org", 7, 1, {1, 1}, 13},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        keys.requests.clear();
        keys.set_pseudonym(c.pseudonym);
        g_session.permanentIdLength = c.permanentIdLength;
        g_session.identityKind = c.kindAfter == 13 ? 3 : 13;
        EXPECT_EQ(build(c.kind), payload(c.words, text_bytes(c.identity), c.padding));
        EXPECT_EQ(sent_identity(), text_bytes(c.identity));
        EXPECT_EQ(keys.requests, c.requests);
        EXPECT_EQ(g_session.identityKind, c.kindAfter);
    }
}

TEST_F(IdentityTest, ReauthIdentityIsSentAsReceived) {
    struct Case {
        const char* name;
        std::string id;
        uint8_t words;     // Length of the AT_NEXT_REAUTH_ID it came in
        uint8_t sentWords;
        size_t padding;
    };
    const Case cases[] = {
        {"25 bytes", "1reauth-0123456@other.org", 8, 8, 3},
        {"24 bytes", "1reauth-012345@other.org", 7, 7, 0},
        {"generous Length kept", "1reauth@x.org", 6, 6, 7},
        {"Length too small", "1reauth-0123456@other.org", 2, 8, 3},
        {"Length beyond any identity", "1reauth@x.org", 255, 5, 3},
        {"64 bytes", std::string(64, 'r'), 17, 17, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        keys.requests.clear();
        hold_reauth_id(c.id, c.words);
        g_session.identityKind = IDENTITY_KIND_PSEUDONYM;
        EXPECT_EQ(build(IDENTITY_REAUTH), payload(c.sentWords, text_bytes(c.id), c.padding));
        EXPECT_EQ(sent_identity(), text_bytes(c.id));
        EXPECT_TRUE(keys.requests.empty());
        EXPECT_EQ(g_session.identityKind, IDENTITY_KIND_PSEUDONYM) << "unchanged";
    }
}

// A held length beyond the 64-byte field is cut to the field.
TEST_F(IdentityTest, OversizedReauthIdentityIsCut) {
    hold_reauth_id(std::string(64, 'q'), 17);
    g_session.reauthIdLength = 200;
    EXPECT_EQ(build(IDENTITY_REAUTH), payload(17, Bytes(64, 'q'), 0));
    EXPECT_EQ(g_session.identityLength, 64);
}

// The user part length is bounded to the 16 bytes the store holds.
TEST_F(IdentityTest, PermanentIdLengthIsBounded) {
    struct Case {
        int permanentIdLength;
        std::string identity;
    };
    const Case cases[] = {
        {-1, "@test.org"},
        {INT32_MIN, "@test.org"},
        {0, "@test.org"},
        {1, "0@test.org"},
        {16, "0010101234567890@test.org"},
        {17, "0010101234567890@test.org"},
        {INT32_MAX, "0010101234567890@test.org"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.permanentIdLength);
        init("@test.org", c.permanentIdLength);
        uint8_t buffer[65];
        std::memset(buffer, 0xEE, sizeof buffer);
        GetPseudonymID(buffer, 0);
        EXPECT_EQ(Bytes(buffer + 1, buffer + 1 + buffer[0]), text_bytes(c.identity));
    }
}

TEST_F(IdentityTest, UnknownSelectorLeavesEverythingAlone) {
    for (int selector : {-1, 2, 100}) {
        SCOPED_TRACE(selector);
        keys.requests.clear();
        uint8_t buffer[65];
        std::memset(buffer, 0xEE, sizeof buffer);
        g_session.identityKind = IDENTITY_KIND_PSEUDONYM;
        GetPseudonymID(buffer, selector);
        EXPECT_EQ(Bytes(buffer, buffer + 65), Bytes(65, 0xEE));
        EXPECT_EQ(g_session.identityKind, IDENTITY_KIND_PSEUDONYM);
        EXPECT_TRUE(keys.requests.empty());
    }
}

TEST_F(IdentityTest, TraceLines) {
    struct Case {
        const char* name;
        int kind;
        std::string pseudonym;
        std::string expected;
    };
    const Case cases[] = {
        {"permanent", IDENTITY_PERMANENT, kPseudonym, "=====> IND : 0\n"},
        {"pseudonym falls back", IDENTITY_PSEUDONYM, "",
         "=====> IND : 1\nGetPseudonymID : 0 0 0 0 0 0 0 0 0 0\n\t\t0 0 0 0 0 0 0 0 0 0\n\t\t 0 0 0\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        keys.set_pseudonym(c.pseudonym);
        TraceFile trace;
        build(c.kind);
        EXPECT_EQ(trace.contents(), c.expected);
    }
}

}  // namespace
