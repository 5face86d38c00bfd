// SQN management of the USIM side (3GPP TS 33.102 Annex C.3.2, the array
// scheme): SQN = SEQ || IND with a 5-bit IND, one SEQ_MS per index kept in
// the host's store, freshness limit delta = 2^28, and AUTS for
// resynchronisation (TS 33.102 6.3.3).
#include <cstring>

#include "aka/aka.h"
#include "api/session.h"
#include "crypto/milenage.h"
#include "diag/message_log.h"
#include "keystore/keystore.h"

namespace {

constexpr unsigned IND_BITS = 5;
constexpr uint8_t IND_MASK = 0x1F;
// SEQ_MS entries are below 2^43: only the low 3 bits of the first byte count.
constexpr uint8_t SEQ_FIRST_BYTE_MASK = 0x07;
constexpr uint8_t DELTA[SEQ_SIZE] = {0x00, 0x00, 0x10, 0x00, 0x00, 0x00};  // 2^28
constexpr unsigned MAC_S_SIZE = 8;
// TS 33.102 6.3.3: the AMF used for MAC-S, "a dummy value of all zeros".
constexpr uint8_t AUTS_DUMMY_AMF[2] = {0x00, 0x00};

unsigned sqn_index() { return g_session.sqn[SEQ_SIZE - 1] & IND_MASK; }

}  // namespace

// value >>= 5 on a 48-bit big-endian number.
void seq_from_sqn(uint8_t value[6]) {
    for (unsigned i = SEQ_SIZE - 1; i > 0; --i)
        value[i] = static_cast<uint8_t>(value[i] >> IND_BITS | value[i - 1] << (8 - IND_BITS));
    value[0] = static_cast<uint8_t>(value[0] >> IND_BITS);
}

// value <<= 5 on a 48-bit big-endian number; the top 5 bits fall off.
void sqn_from_seq(uint8_t value[6]) {
    for (unsigned i = 0; i + 1 < SEQ_SIZE; ++i)
        value[i] = static_cast<uint8_t>(value[i] << IND_BITS | value[i + 1] >> (8 - IND_BITS));
    value[SEQ_SIZE - 1] = static_cast<uint8_t>(value[SEQ_SIZE - 1] << IND_BITS);
}

// a - b with borrow, least significant byte first; difference may alias a or
// b. Returns -1 when a < b (difference then incomplete), else 1 or 0 as the
// difference is non-zero or zero.
int seq_subtract(const uint8_t a[6], const uint8_t b[6], uint8_t difference[6]) {
    int borrow = 0;
    uint8_t any = 0;
    for (unsigned i = SEQ_SIZE; i-- > 0;) {
        const int d = int{a[i]} - int{b[i]} - borrow;
        if (i == 0 && d < 0) return -1;
        borrow = d < 0 ? 1 : 0;
        difference[i] = static_cast<uint8_t>(d);
        any |= difference[i];
    }
    return any != 0 ? 1 : 0;
}

// Accepts SQN when SEQ_MS(IND) < SEQ <= SEQ_MS(IND) + 2^28 and stores SEQ as
// the new SEQ_MS(IND). The alternate key set has no SQN state of its own:
// while it is in use every SQN is taken as it comes.
bool PutSQN() {
    AkaSession& s = g_session;
    if (s.altKeySetUsed) return true;

    uint8_t seq[SEQ_SIZE];
    std::memcpy(seq, s.sqn, SEQ_SIZE);
    msglog_hex("\tBSEQ_ser: ", seq, SEQ_SIZE);
    seq_from_sqn(seq);
    msglog_hex("\tASEQ_ser: ", seq, SEQ_SIZE);
    const unsigned index = sqn_index();
    msglog_line("\tMS index: %2d", static_cast<int>(index));

    keystore_load_seqms();
    uint8_t seqMs[SEQ_SIZE];
    std::memcpy(seqMs, s.seqms[index], SEQ_SIZE);
    seqMs[0] &= SEQ_FIRST_BYTE_MASK;

    uint8_t difference[SEQ_SIZE];
    const int above = seq_subtract(seq, seqMs, difference);
    int withinDelta = -1;
    if (above == 1) withinDelta = seq_subtract(DELTA, difference, difference);
    msglog_line("\tSEQMS:");
    msglog_seqms(s.seqms);

    if (above == 1 && withinDelta != -1) {
        keystore_store_seq_entry(index, seq);
        msglog_line("PutSQN Done\n");
        return true;
    }
    aka_report_failure("\t>>SQN is not verified", "\tC_AKA_FAIL_INVALID_SQN", EAPAKA_FAIL_INVALID_SQN);
    return false;
}

// AUTS = (SQN_MS xor AK*) || MAC-S with SQN_MS = SEQ_MS(IND) * 32 + IND for
// the index of the refused SQN, always under the main key set. MAC-S takes
// the AMF of the refused AUTN by default, the dummy AMF of TS 33.102 with
// EAP_COMPAT_AUTS_DUMMY_AMF.
void compute_auts(const uint8_t rand[16]) {
    AkaSession& s = g_session;
    const unsigned index = sqn_index();
    uint8_t sqnMs[SEQ_SIZE];
    std::memcpy(sqnMs, s.seqms[index], SEQ_SIZE);
    sqn_from_seq(sqnMs);
    sqnMs[SEQ_SIZE - 1] = static_cast<uint8_t>(sqnMs[SEQ_SIZE - 1] | index);

    uint8_t k[16];
    keystore_load_key_set(k);
    uint8_t macS[MAC_S_SIZE];
    milenage_f1star(k, rand, sqnMs, aka_compat(EAP_COMPAT_AUTS_DUMMY_AMF) ? AUTS_DUMMY_AMF : s.autnAmf, macS);
    uint8_t akStar[SEQ_SIZE];
    milenage_f5star(k, rand, akStar);
    aka_wipe(k, sizeof k);
    msglog_hex("\tSQN for AUTS: ", sqnMs, SEQ_SIZE);

    for (unsigned i = 0; i < SEQ_SIZE; ++i) s.auts[i] = sqnMs[i] ^ akStar[i];
    std::memcpy(s.auts + SEQ_SIZE, macS, MAC_S_SIZE);
}
