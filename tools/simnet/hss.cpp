#include "tools/simnet/hss.h"

#include <cstring>

namespace tool {

NetRandom::NetRandom() {
    std::random_device device;
    engine_.seed((static_cast<uint64_t>(device()) << 32) ^ device());
}

void NetRandom::fill(uint8_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(engine_() >> 56);
}

AuthVector Hss::generate(bool alternateKeySet, bool separationBit) {
    record_.seqHe = (record_.seqHe + 1) & (PROFILE_SEQ_LIMIT - 1);
    unsigned ind = record_.nextInd % SQN_IND_COUNT;
    record_.nextInd = (ind + 1) % SQN_IND_COUNT;
    uint8_t sqn[6];
    uint8_t rand[16];
    sqn_to_bytes(record_.seqHe << SQN_IND_BITS | ind, sqn);
    random_.fill(rand, sizeof rand);
    return auc_vector(alternateKeySet ? record_.alt : record_.main, record_.milenage, rand, sqn,
                      alternateKeySet ? AMF_ALT_KEY_SET : separationBit ? AMF_DEFAULT : AMF_WITHOUT_SEPARATION);
}

bool Hss::resynchronise(const AuthVector& refused, const uint8_t auts[14], bool dummyAmf) {
    // AUTS is computed with the main key set (TS 33.102 6.3.3).
    uint8_t sqnMs[6];
    const uint8_t* amf = dummyAmf ? AMF_RESYNCHRONISATION : refused.amf;
    if (!auc_sqn_from_auts(record_.main, record_.milenage, refused.rand, auts, amf, sqnMs)) {
        return false;
    }
    uint64_t value = sqn_from_bytes(sqnMs);
    // TS 33.102 6.3.5: SEQ_HE is reset to the peer's SEQ_MS, whether the
    // refusal came from a replay or from a jump beyond the peer's limit.
    record_.seqHe = value >> SQN_IND_BITS;
    record_.nextInd = static_cast<unsigned>(value & (SQN_IND_COUNT - 1));
    return true;
}

void Hss::roll_back() {
    record_.seqHe = (record_.seqHe - 1) & (PROFILE_SEQ_LIMIT - 1);
    record_.nextInd = (record_.nextInd + SQN_IND_COUNT - 1) % SQN_IND_COUNT;
}

}  // namespace tool
