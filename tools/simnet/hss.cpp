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

void sqn_to_bytes(uint64_t sqn, uint8_t out[6]) {
    for (int i = 0; i < 6; ++i) out[i] = static_cast<uint8_t>(sqn >> (8 * (5 - i)));
}

uint64_t sqn_from_bytes(const uint8_t in[6]) {
    uint64_t v = 0;
    for (int i = 0; i < 6; ++i) v = v << 8 | in[i];
    return v;
}

AuthVector Hss::generate(bool alternateKeySet) {
    AuthVector v{};
    record_.seqHe = (record_.seqHe + 1) & (PROFILE_SEQ_LIMIT - 1);
    unsigned ind = record_.nextInd % SQN_IND_COUNT;
    record_.nextInd = (ind + 1) % SQN_IND_COUNT;
    sqn_to_bytes(record_.seqHe << SQN_IND_BITS | ind, v.sqn);
    std::memcpy(v.amf, alternateKeySet ? AMF_ALT_KEY_SET : AMF_DEFAULT, 2);
    random_.fill(v.rand, sizeof v.rand);

    // TS 33.102 6.3.2: AUTN = SQN xor AK || AMF || MAC.
    const MilenageKeys& keys = alternateKeySet ? record_.alt : record_.main;
    uint8_t ak[6];
    uint8_t mac[8];
    net_f2345(keys, record_.milenage, v.rand, v.xres, v.ck, v.ik, ak);
    net_f1(keys, record_.milenage, v.rand, v.sqn, v.amf, mac);
    for (int i = 0; i < 6; ++i) v.autn[i] = v.sqn[i] ^ ak[i];
    std::memcpy(v.autn + 6, v.amf, 2);
    std::memcpy(v.autn + 8, mac, 8);
    return v;
}

bool Hss::resynchronise(const AuthVector& refused, const uint8_t auts[14]) {
    // AUTS = SQN_MS xor AK* || MAC-S, with the main key set (TS 33.102 6.3.3).
    uint8_t akStar[6];
    uint8_t sqnMs[6];
    uint8_t macS[8];
    net_f5star(record_.main, record_.milenage, refused.rand, akStar);
    for (int i = 0; i < 6; ++i) sqnMs[i] = auts[i] ^ akStar[i];
    net_f1star(record_.main, record_.milenage, refused.rand, sqnMs, refused.amf, macS);
    if (!net_equal(macS, auts + 6, sizeof macS)) return false;
    uint64_t value = sqn_from_bytes(sqnMs);
    uint64_t seqMs = value >> SQN_IND_BITS;
    // TS 33.102 6.3.5: SEQ_HE is reset to the peer's SEQ_MS, whether the
    // refusal came from a replay or from a jump beyond the peer's limit.
    record_.seqHe = seqMs;
    record_.nextInd = static_cast<unsigned>(value & (SQN_IND_COUNT - 1));
    return true;
}

void Hss::roll_back() {
    record_.seqHe = (record_.seqHe - 1) & (PROFILE_SEQ_LIMIT - 1);
    record_.nextInd = (record_.nextInd + SQN_IND_COUNT - 1) % SQN_IND_COUNT;
}

}  // namespace tool
