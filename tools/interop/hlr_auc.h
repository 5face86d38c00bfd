// The authentication centre behind the HLR gateway: authentication vectors
// and resynchronisation from AUTS (3GPP TS 33.102 sections 6.3.2 and 6.3.5)
// with per-subscriber Milenage constants (TS 35.206), OPc, AMF and SQN.
// Unlike the simulated network's HSS it takes the AMF from the gateway's
// configuration, keeps IND fixed per subscriber, and resynchronises from AUTS
// and RAND alone, since the server reports nothing else of the refused vector.
#ifndef EAPAKA_TOOLS_INTEROP_HLR_AUC_H
#define EAPAKA_TOOLS_INTEROP_HLR_AUC_H

#include <cstdint>
#include <map>
#include <string>

#include "tools/interop/hlr_protocol.h"
#include "tools/simnet/auc.h"

struct HlrSubscriber {
    std::string imsi;
    tool::MilenageKeys keys{};
    tool::MilenageParams milenage = refcrypto::milenage_standard();
    uint8_t amf[2] = {};
    uint64_t seq = 0;   // SEQ of the last vector issued; the next uses seq + 1
    unsigned ind = 0;   // IND of the vectors issued (0..31)
};

class HlrAuc {
public:
    void add(const HlrSubscriber& subscriber) { subscribers_[subscriber.imsi] = subscriber; }
    const HlrSubscriber* find(const std::string& imsi) const;

    // A fresh vector with SQN = (seq + 1) || ind and a random RAND; false for
    // an unknown IMSI or when SEQ would leave its 43 bits.
    bool make_vector(const std::string& imsi, tool::AuthVector& vector);
    bool make_vector(const std::string& imsi, const uint8_t rand[16], tool::AuthVector& vector);

    // Recovers SQN_MS = AUTS[0..5] xor f5*(RAND) and accepts it when
    // MAC-S = f1*(SQN_MS, RAND, AMF) verifies with the dummy AMF 0000 of
    // TS 33.102 section 6.3.3, whatever the subscriber's AMF; then continues
    // above SQN_MS: seq := SEQ_MS, ind := IND_MS. False (nothing changed)
    // for an unknown IMSI or a MAC-S that does not verify.
    bool resynchronise(const std::string& imsi, const uint8_t auts[14], const uint8_t rand[16]);

private:
    std::map<std::string, HlrSubscriber> subscribers_;
};

#endif
