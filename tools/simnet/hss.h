// HSS/AuC of the simulated network: authentication vectors for one
// subscriber, with the sequence-number scheme of 3GPP TS 33.102 Annex C
// (SQN = SEQ || IND, IND cycling through 32 values) and resynchronisation
// from AUTS (TS 33.102 section 6.3.5).
#ifndef EAPAKA_TOOLS_SIMNET_HSS_H
#define EAPAKA_TOOLS_SIMNET_HSS_H

#include <cstdint>
#include <random>

#include "tools/keystore_file.h"

namespace tool {

constexpr uint8_t AMF_ALT_KEY_SET[2] = {0x00, 0x03};
constexpr uint8_t AMF_DEFAULT[2] = {0x80, 0x00};  // separation bit set (TS 33.102 Annex H)
constexpr uint8_t AMF_WITHOUT_SEPARATION[2] = {0x00, 0x00};  // a vector EAP-AKA' must refuse

// Random bytes for RAND, NONCE_S and IVs.
class NetRandom {
public:
    NetRandom();
    void fill(uint8_t* out, size_t n);

private:
    std::mt19937_64 engine_;
};

class Hss {
public:
    Hss(SubscriberProfile& record, NetRandom& random) : record_(record), random_(random) {}

    // A fresh vector; SEQ_HE advances by one and IND to the next index.
    // The alternate key set is signalled to the peer with AMF 0x0003; the
    // main one carries the separation bit unless `separationBit` is false.
    AuthVector generate(bool alternateKeySet, bool separationBit = true);
    // Verifies MAC-S of AUTS for the RAND of the refused vector, with the
    // dummy AMF 0000 of TS 33.102 when `dummyAmf` holds, else with the AMF of
    // that vector (as this library computes it by default), and, when
    // authentic, moves SEQ_HE up to the peer's SEQ_MS so that the next
    // vector reuses the refused IND with a SEQ just above it.
    bool resynchronise(const AuthVector& refused, const uint8_t auts[14], bool dummyAmf);
    // Steps the counter back so the next vector repeats the last SQN, as an
    // HSS restored from an old backup would.
    void roll_back();

    uint64_t last_seq() const { return record_.seqHe; }
    SubscriberProfile& record() { return record_; }

private:
    SubscriberProfile& record_;
    NetRandom& random_;
};

}  // namespace tool

#endif
