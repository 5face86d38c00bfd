// The authentication centre's computations (3GPP TS 33.102 sections 6.3.2
// and 6.3.3), shared by the simulated network's HSS and the HLR gateway:
// Milenage (TS 35.206) with per-subscriber constants, on the reference
// crypto, which shares no code with the peer library it judges.
#ifndef EAPAKA_TOOLS_SIMNET_AUC_H
#define EAPAKA_TOOLS_SIMNET_AUC_H

#include <cstdint>

#include "refcrypto/refcrypto.h"

namespace tool {

using refcrypto::MilenageParams;

constexpr unsigned SQN_IND_BITS = 5;   // TS 33.102 C.1.1: 32 array entries
constexpr unsigned SQN_IND_COUNT = 1u << SQN_IND_BITS;
// TS 33.102 section 6.3.3: MAC-S of AUTS is computed with a dummy AMF of
// all zeros, whatever AMF the refused AUTN carried.
constexpr uint8_t AMF_RESYNCHRONISATION[2] = {0x00, 0x00};
// TS 33.102 Annex H: the most significant AMF bit marks a vector for
// E-UTRAN and EAP-AKA', which refuses any other.
constexpr uint16_t AMF_SEPARATION_BIT = 0x8000;

struct MilenageKeys {
    uint8_t k[16];
    uint8_t opc[16];
};

struct AuthVector {
    uint8_t rand[16];
    uint8_t xres[8];
    uint8_t ck[16];
    uint8_t ik[16];
    uint8_t autn[16];
    uint8_t sqn[6];
    uint8_t amf[2];
};

// The vector for RAND, SQN and AMF: XRES, CK, IK and
// AUTN = SQN xor AK || AMF || MAC-A.
AuthVector auc_vector(const MilenageKeys& keys, const MilenageParams& constants,
                      const uint8_t rand[16], const uint8_t sqn[6], const uint8_t amf[2]);

// Recovers SQN_MS = AUTS[0..5] xor f5*(RAND) into sqnMs; true when
// MAC-S = f1*(SQN_MS, RAND, AMF) equals AUTS[6..13] for `amf`.
bool auc_sqn_from_auts(const MilenageKeys& keys, const MilenageParams& constants,
                       const uint8_t rand[16], const uint8_t auts[14], const uint8_t amf[2],
                       uint8_t sqnMs[6]);

void sqn_to_bytes(uint64_t sqn, uint8_t out[6]);
uint64_t sqn_from_bytes(const uint8_t in[6]);

}  // namespace tool

#endif
