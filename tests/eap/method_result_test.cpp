// How the EAP layer moves on each result of the EAP-AKA method, with the
// real method driven by the test server.
#include <cstring>

#include "aka/aka.h"
#include "api/session.h"
#include "support/aka_server.h"
#include "support/oracle.h"
#include "support/test_host.h"

namespace {

enum MethodOutcome { kAuthenticated, kSuccessNotified, kFailed, kContinue, kReauthDecryptFailed };

struct MappingCase {
    MethodOutcome outcome;
    uint32_t from;
    uint32_t to;
    int result;
    uint8_t subtype;  // of the method's response
};

class MethodResultTest : public LibraryTest, public ::testing::WithParamInterface<MappingCase> {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        init();
    }

    // The request that makes the method return the wanted result. Anything
    // the request needs (an identity for the challenge) is exchanged first.
    Bytes request_for(MethodOutcome outcome) {
        switch (outcome) {
        case kAuthenticated:
            EXPECT_EQ(feed(server.eap_identity()), 2);
            server.take_identity(response);
            return server.challenge({});
        case kSuccessNotified:
            return server.notification(0x8000, false);  // MAC missing: refused, yet 99
        case kFailed:
            return akasrv::aka_request(0x40, AKA_SUBTYPE_SYNCHRONIZATION_FAILURE, {});
        case kContinue:
            return server.identity_request(AT_PERMANENT_ID_REQ);
        case kReauthDecryptFailed: {
            // AT_PADDING of 4 words with non-zero bytes cannot decrypt to
            // valid attributes under the current K_encr.
            const Bytes iv(16, 0x3C), kEncr(g_session.kEncr, g_session.kEncr + 16);
            const Bytes cipher = oracle::aes_cbc_encrypt(kEncr, iv, cat({{AT_PADDING, 4, 1}, Bytes(13, 0)}));
            return akasrv::aka_request(0x41, AKA_SUBTYPE_REAUTHENTICATION,
                                       cat({akasrv::attr16(AT_IV, iv), akasrv::attr16(AT_ENCR_DATA, cipher),
                                            akasrv::attr16(AT_MAC, Bytes(16, 0x11))}));
        }
        }
        return {};
    }

    akasrv::AkaServer server{keys};
};

TEST_P(MethodResultTest, MovesTheEapState) {
    const MappingCase& c = GetParam();
    const Bytes request = request_for(c.outcome);
    g_session.eapState = c.from;
    g_session.lastResponse[1] = 0;

    EXPECT_EQ(feed(request), c.result);
    EXPECT_EQ(g_session.eapState, c.to);
    ASSERT_GE(response.size(), 8u);
    EXPECT_EQ(response[0], 2);
    EXPECT_EQ(response[1], request[1]);
    EXPECT_EQ(response[4], 23);
    EXPECT_EQ(response[5], c.subtype);
    EXPECT_EQ((response.size() - 8) % 4, 0u) << "Length is 8 + 4 x words";
    EXPECT_EQ(size_t(response[2] << 8 | response[3]), response.size());
    EXPECT_EQ(Bytes(g_session.lastResponse, g_session.lastResponse + 2), Bytes(response.begin(), response.begin() + 2))
        << "held for retransmission whatever the result";
}

const MappingCase kMapping[] = {
    {kAuthenticated, 1, 3, 17, AKA_SUBTYPE_CHALLENGE},
    {kAuthenticated, 2, 3, 17, AKA_SUBTYPE_CHALLENGE},
    {kAuthenticated, 3, 3, 17, AKA_SUBTYPE_CHALLENGE},
    {kSuccessNotified, 1, 4, 2, AKA_SUBTYPE_CLIENT_ERROR},
    {kSuccessNotified, 2, 4, 2, AKA_SUBTYPE_CLIENT_ERROR},
    {kSuccessNotified, 3, 4, 2, AKA_SUBTYPE_CLIENT_ERROR},
    {kFailed, 1, 5, 2, AKA_SUBTYPE_CLIENT_ERROR},
    {kFailed, 2, 5, 2, AKA_SUBTYPE_CLIENT_ERROR},
    {kFailed, 3, 5, 2, AKA_SUBTYPE_CLIENT_ERROR},
    {kContinue, 1, 2, 2, AKA_SUBTYPE_IDENTITY},
    {kContinue, 2, 2, 2, AKA_SUBTYPE_IDENTITY},
    {kContinue, 3, 3, 2, AKA_SUBTYPE_IDENTITY},
    {kReauthDecryptFailed, 1, 2, 2, AKA_SUBTYPE_CLIENT_ERROR},
    {kReauthDecryptFailed, 2, 2, 2, AKA_SUBTYPE_CLIENT_ERROR},
    {kReauthDecryptFailed, 3, 3, 2, AKA_SUBTYPE_CLIENT_ERROR},
};
INSTANTIATE_TEST_SUITE_P(EveryResult, MethodResultTest, ::testing::ValuesIn(kMapping));

// A resent Challenge response is reported with 2, not 17, and the state
// stays where it was.
class MethodRetransmissionTest : public MethodResultTest {};

TEST_F(MethodRetransmissionTest, ResentChallengeResponseIsPlainResponse) {
    const Bytes challenge = request_for(kAuthenticated);
    ASSERT_EQ(feed(challenge), 17);
    const Bytes first = response;
    const auto requestsBefore = keys.requests.size();
    EXPECT_EQ(feed(challenge), 2);
    EXPECT_EQ(response, first);
    EXPECT_EQ(g_session.eapState, EAP_STATE_AUTHENTICATED);
    EXPECT_EQ(keys.requests.size(), requestsBefore) << "the method did not run again";

    Bytes msk(64);
    getAAA(msk.data());
    EXPECT_EQ(feed(akasrv::AkaServer::eap_success(challenge[1])), 13);
    EXPECT_EQ(msk, server.msk);
}

}  // namespace
