#include "tools/interop/hlr_auc.h"

#include <openssl/rand.h>

#include <cstring>

namespace {

constexpr uint8_t DUMMY_AMF[2] = {0, 0};

}  // namespace

const HlrSubscriber* HlrAuc::find(const std::string& imsi) const {
    auto it = subscribers_.find(imsi);
    return it == subscribers_.end() ? nullptr : &it->second;
}

bool HlrAuc::make_vector(const std::string& imsi, HlrVector& vector) {
    uint8_t rand[16];
    if (RAND_bytes(rand, sizeof rand) != 1) return false;
    return make_vector(imsi, rand, vector);
}

bool HlrAuc::make_vector(const std::string& imsi, const uint8_t rand[16], HlrVector& v) {
    auto it = subscribers_.find(imsi);
    if (it == subscribers_.end() || it->second.seq + 1 >= tool::PROFILE_SEQ_LIMIT) return false;
    HlrSubscriber& s = it->second;
    s.seq += 1;
    uint8_t sqn[6], ak[6], macA[8];
    tool::sqn_to_bytes(s.seq << tool::SQN_IND_BITS | (s.ind % tool::SQN_IND_COUNT), sqn);

    std::memcpy(v.rand, rand, sizeof v.rand);
    tool::net_f2345(s.keys, s.milenage, rand, v.res, v.ck, v.ik, ak);
    tool::net_f1(s.keys, s.milenage, rand, sqn, s.amf, macA);
    // AUTN = SQN xor AK || AMF || MAC-A (TS 33.102 section 6.3.2).
    for (int i = 0; i < 6; ++i) v.autn[i] = sqn[i] ^ ak[i];
    std::memcpy(v.autn + 6, s.amf, 2);
    std::memcpy(v.autn + 8, macA, 8);
    return true;
}

bool HlrAuc::resynchronise(const std::string& imsi, const uint8_t auts[14], const uint8_t rand[16]) {
    auto it = subscribers_.find(imsi);
    if (it == subscribers_.end()) return false;
    HlrSubscriber& s = it->second;
    uint8_t akStar[6], sqnMs[6], macS[8];
    tool::net_f5star(s.keys, s.milenage, rand, akStar);
    for (int i = 0; i < 6; ++i) sqnMs[i] = auts[i] ^ akStar[i];
    bool verified = false;
    for (const uint8_t* amf : {static_cast<const uint8_t*>(s.amf), DUMMY_AMF}) {
        tool::net_f1star(s.keys, s.milenage, rand, sqnMs, amf, macS);
        verified = verified || tool::net_equal(macS, auts + 6, sizeof macS);
    }
    if (!verified) return false;
    uint64_t value = tool::sqn_from_bytes(sqnMs);
    s.seq = value >> tool::SQN_IND_BITS;
    s.ind = static_cast<unsigned>(value % tool::SQN_IND_COUNT);
    return true;
}
