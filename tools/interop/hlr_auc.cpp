#include "tools/interop/hlr_auc.h"

#include <openssl/rand.h>

#include "tools/keystore_file.h"

const HlrSubscriber* HlrAuc::find(const std::string& imsi) const {
    auto it = subscribers_.find(imsi);
    return it == subscribers_.end() ? nullptr : &it->second;
}

bool HlrAuc::make_vector(const std::string& imsi, tool::AuthVector& vector) {
    uint8_t rand[16];
    if (RAND_bytes(rand, sizeof rand) != 1) return false;
    return make_vector(imsi, rand, vector);
}

bool HlrAuc::make_vector(const std::string& imsi, const uint8_t rand[16], tool::AuthVector& v) {
    auto it = subscribers_.find(imsi);
    if (it == subscribers_.end() || it->second.seq + 1 >= tool::PROFILE_SEQ_LIMIT) return false;
    HlrSubscriber& s = it->second;
    s.seq += 1;
    uint8_t sqn[6];
    tool::sqn_to_bytes(s.seq << tool::SQN_IND_BITS | (s.ind % tool::SQN_IND_COUNT), sqn);
    v = tool::auc_vector(s.keys, s.milenage, rand, sqn, s.amf);
    return true;
}

bool HlrAuc::resynchronise(const std::string& imsi, const uint8_t auts[14], const uint8_t rand[16]) {
    auto it = subscribers_.find(imsi);
    if (it == subscribers_.end()) return false;
    HlrSubscriber& s = it->second;
    uint8_t sqnMs[6];
    // As a real AuC does: MAC-S over the dummy AMF only, whatever AMF the
    // subscriber's vectors carry (TS 33.102 section 6.3.3).
    if (!tool::auc_sqn_from_auts(s.keys, s.milenage, rand, auts, tool::AMF_RESYNCHRONISATION, sqnMs)) return false;
    uint64_t value = tool::sqn_from_bytes(sqnMs);
    s.seq = value >> tool::SQN_IND_BITS;
    s.ind = static_cast<unsigned>(value % tool::SQN_IND_COUNT);
    return true;
}
