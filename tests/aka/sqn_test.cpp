// SQN array (TS 33.102 Annex C) and resynchronisation through EAP_layer.
#include "aka/aka_fixture.h"

namespace {

constexpr unsigned long L = EAPAKA_AUTHKEY_LOAD, S = EAPAKA_AUTHKEY_STORE_SEQMS;
constexpr uint64_t kDelta = uint64_t{1} << 28;

struct SqnCase {
    const char* name;
    uint64_t seqMs;          // SEQ_MS(5) as stored
    uint64_t otherEntries;   // every other SEQ_MS
    uint64_t seq;            // SEQ of the challenge, IND 5
    bool accepted;
};

class SqnFreshness : public AkaTest, public ::testing::WithParamInterface<SqnCase> {};

TEST_P(SqnFreshness, AcceptsOnlyWithinDeltaAboveItsOwnIndex) {
    const SqnCase& c = GetParam();
    for (unsigned i = 0; i < 32; ++i) keys.set_seqms(i, c.otherEntries);
    keys.set_seqms(5, c.seqMs);
    const uint64_t seqMsValue = c.seqMs & ((uint64_t{1} << 43) - 1);
    give_identity();
    akasrv::ChallengeSpec spec;
    spec.seq = c.seq;
    spec.ind = 5;
    keys.requests.clear();
    const int result = feed(server.challenge(spec));
    for (unsigned i = 0; i < 32; ++i)
        if (i != 5) {
            EXPECT_EQ(keys.seqms(i), c.otherEntries) << i;
        }
    if (c.accepted) {
        EXPECT_EQ(result, EAPAKA_RESULT_AUTH_RESPONSE);
        EXPECT_EQ(keys.requests, (Requests{L, L, L, L, S}));
        EXPECT_EQ(keys.seqms(5), c.seq);
        return;
    }
    // Synchronization-Failure with AUTS; the server resynchronises from it.
    EXPECT_EQ(result, EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(recorder.codes(), (Codes{EAPAKA_FAIL_INVALID_SQN}));
    EXPECT_EQ(keys.requests, (Requests{L, L, L, L, L}));
    EXPECT_EQ(keys.seqms(5), c.seqMs);
    ASSERT_EQ(response.size(), 24u);
    EXPECT_EQ(Bytes(response.begin(), response.begin() + 10), (Bytes{2, server.id, 0, 24, 23, 4, 0, 0, 4, 4}));
    uint64_t sqnMs = 0;
    EXPECT_TRUE(server.verify_auts(Bytes(response.begin() + 10, response.end()), &sqnMs));
    EXPECT_EQ(sqnMs, seqMsValue * 32 + 5);
    EXPECT_EQ(g_session.akaState, AKA_STATE_OPEN);

    spec.seq = seqMsValue + 1;
    ASSERT_EQ(feed(server.challenge(spec)), EAPAKA_RESULT_AUTH_RESPONSE);
    EXPECT_EQ(response, server.expected_challenge_response());
    EXPECT_EQ(keys.seqms(5), spec.seq);
}

INSTANTIATE_TEST_SUITE_P(
    Sqn, SqnFreshness,
    ::testing::Values(SqnCase{"Replay", 16, 0, 16, false}, SqnCase{"Resync517", 16, 0, 15, false},
                      SqnCase{"AtDelta", 16, 0, 16 + kDelta, true}, SqnCase{"BeyondDelta", 16, 0, 17 + kDelta, false},
                      SqnCase{"FirstFreshSeq", 0, 0, 1, true},
                      SqnCase{"OtherIndicesIgnoredBelow", 16, 1000, 17, true},
                      SqnCase{"OtherIndicesIgnoredAbove", 500, 10, 400, false},
                      SqnCase{"HighBitsOfFirstByteIgnored", 0xF80000000010ull, 0, 17, true}),
    [](const auto& info) { return std::string(info.param.name); });

uint64_t value48(const uint8_t b[6]) {
    uint64_t v = 0;
    for (int i = 0; i < 6; ++i) v = v << 8 | b[i];
    return v;
}

void put48(uint64_t v, uint8_t b[6]) {
    for (int i = 0; i < 6; ++i) b[i] = static_cast<uint8_t>(v >> (8 * (5 - i)));
}

// The 48-bit helpers against plain 64-bit arithmetic, borrows across every
// byte included.
TEST(SqnArithmetic, ShiftsAndSubtractionMatch64BitArithmetic) {
    const uint64_t mask = (uint64_t{1} << 48) - 1;
    const uint64_t values[] = {0, 1, 31, 32, 0xFF, 0x100, 0x10000000, 0x7FFFFFFFFFFull, 0xFFFFFFFFFFFFull, 0x800000000000ull,
                               0x0123456789ABull};
    for (uint64_t a : values) {
        uint8_t x[6];
        put48(a, x);
        seq_from_sqn(x);
        EXPECT_EQ(value48(x), a >> 5);
        put48(a, x);
        sqn_from_seq(x);
        EXPECT_EQ(value48(x), (a << 5) & mask);
        for (uint64_t b : values) {
            uint8_t ba[6], bb[6], d[6];
            put48(a, ba);
            put48(b, bb);
            const int r = seq_subtract(ba, bb, d);
            EXPECT_EQ(r, a < b ? -1 : a == b ? 0 : 1) << a << " - " << b;
            if (a >= b) {
                EXPECT_EQ(value48(d), a - b);
            }
        }
    }
}

}  // namespace
