// Milenage (3GPP TS 35.206 section 4.1) with the kernel E_K = AES-128 and
// the operator parameters taken from the session: OPc (g_session.opc),
// c1..c5 (milenageC) and r1..r5 (milenageR). Every function expands K
// itself, so no call depends on the key of an earlier one.
#include "crypto/milenage.h"

#include <cstring>

#include "api/session.h"
#include "crypto/milenage_kernel.h"
#include "diag/message_log.h"

namespace {

constexpr unsigned kBlock = 16;
constexpr int32_t kBlockBits = 128;
enum Constant { kOut1 = 0, kOut2, kOut3, kOut4, kOut5 };  // index into c and r

void xor_into(uint8_t out[kBlock], const uint8_t in[kBlock]) {
    for (unsigned i = 0; i < kBlock; ++i) out[i] ^= in[i];
}

// Key schedule, then TEMP = E_K(RAND xor OPc): the start of every function.
void milenage_temp(const uint8_t k[16], const uint8_t rand[16], uint8_t temp[kBlock]) {
    rijndael_key_schedule(k);
    for (unsigned i = 0; i < kBlock; ++i) temp[i] = rand[i] ^ g_session.opc[i];
    rijndael_encrypt(temp, temp);
}

// The tail shared by all five OUT blocks: E_K(x) xor OPc.
void encrypt_and_mask(uint8_t block[kBlock]) {
    rijndael_encrypt(block, block);
    xor_into(block, g_session.opc);
}

// OUT1 = E_K(TEMP xor rot(IN1 xor OPc, r1) xor c1) xor OPc, with
// IN1 = SQN || AMF || SQN || AMF.
void milenage_out1(const uint8_t temp[kBlock], const uint8_t sqn[6], const uint8_t amf[2],
                   uint8_t out[kBlock]) {
    uint8_t in1[kBlock];
    for (unsigned half = 0; half < kBlock; half += 8) {
        std::memcpy(in1 + half, sqn, 6);
        std::memcpy(in1 + half + 6, amf, 2);
    }
    xor_into(in1, g_session.opc);
    rotate128(in1, g_session.milenageR[kOut1], out);
    xor_into(out, temp);
    xor_into(out, g_session.milenageC[kOut1]);
    encrypt_and_mask(out);
}

// OUTn = E_K(rot(TEMP xor OPc, rn) xor cn) xor OPc, n = 2..5.
void milenage_outn(const uint8_t temp[kBlock], Constant n, uint8_t out[kBlock]) {
    uint8_t masked[kBlock];
    std::memcpy(masked, temp, kBlock);
    xor_into(masked, g_session.opc);
    rotate128(masked, g_session.milenageR[n], out);
    xor_into(out, g_session.milenageC[n]);
    encrypt_and_mask(out);
}

void f1_block(const uint8_t* k, const uint8_t* rand, const uint8_t* sqn, const uint8_t* amf,
              uint8_t out1[kBlock]) {
    uint8_t temp[kBlock];
    milenage_temp(k, rand, temp);
    milenage_out1(temp, sqn, amf, out1);
}

// f2..f5 from OUT2, OUT3 and OUT4; `logged` adds the three trace entries.
void f2345(const uint8_t* k, const uint8_t* rand, uint8_t* res, uint8_t* ck, uint8_t* ik,
           uint8_t* ak, bool logged) {
    if (!k || !rand || !res || !ck || !ik || !ak) return;
    uint8_t temp[kBlock], out[kBlock];
    milenage_temp(k, rand, temp);
    if (logged) msglog_hex("\t op_c(f2345)", g_session.opc, kBlock);
    milenage_outn(temp, kOut2, out);
    if (logged) {
        msglog_line("\t r2(f2345) %d", g_session.milenageR[kOut2]);
        msglog_line("\t c2(f2345) %d", g_session.milenageC[kOut2][kBlock - 1]);
    }
    std::memcpy(ak, out, 6);        // f5: OUT2 bytes 0..5
    std::memcpy(res, out + 8, 8);   // f2: OUT2 bytes 8..15
    milenage_outn(temp, kOut3, ck);
    milenage_outn(temp, kOut4, ik);
}

}  // namespace

// rot(x, r) of TS 35.206: output bit i is input bit (i + r) mod 128, bit 0
// being the most significant bit of byte 0. Any r is taken modulo 128 into
// 0..127, so a negative count rotates the other way (towards the least
// significant bit) and never indexes outside the block.
void rotate128(const uint8_t input[16], int32_t r, uint8_t output[16]) {
    const int32_t count = ((r % kBlockBits) + kBlockBits) % kBlockBits;
    const unsigned bytes = static_cast<unsigned>(count) / 8;
    const unsigned bits = static_cast<unsigned>(count) % 8;
    uint8_t y[kBlock];
    for (unsigned i = 0; i < kBlock; ++i) y[i] = input[(i + bytes) % kBlock];
    for (unsigned i = 0; i < kBlock; ++i)
        output[i] = bits == 0 ? y[i]
                              : static_cast<uint8_t>(y[i] << bits | y[(i + 1) % kBlock] >> (8 - bits));
}

// MAC-A = f1(K, RAND, SQN, AMF): OUT1 bytes 0..7. Null arguments do nothing.
void milenage_f1(const uint8_t k[16], const uint8_t rand[16], const uint8_t sqn[6],
                 const uint8_t amf[2], uint8_t macA[8]) {
    if (!k || !rand || !sqn || !amf || !macA) return;
    uint8_t out1[kBlock];
    f1_block(k, rand, sqn, amf, out1);
    std::memcpy(macA, out1, 8);
}

// MAC-S = f1*(K, RAND, SQN, AMF): OUT1 bytes 8..15. Null arguments do
// nothing.
void milenage_f1star(const uint8_t k[16], const uint8_t rand[16], const uint8_t sqn[6],
                     const uint8_t amf[2], uint8_t macS[8]) {
    if (!k || !rand || !sqn || !amf || !macS) return;
    uint8_t out1[kBlock];
    f1_block(k, rand, sqn, amf, out1);
    std::memcpy(macS, out1 + 8, 8);
}

// RES (f2), CK (f3), IK (f4) and AK (f5) for K and RAND. Null arguments do
// nothing.
void milenage_f2345(const uint8_t k[16], const uint8_t rand[16], uint8_t res[8], uint8_t ck[16],
                    uint8_t ik[16], uint8_t ak[6]) {
    f2345(k, rand, res, ck, ik, ak, false);
}

// As milenage_f2345, and traces OPc, r2 and the last byte of c2, the
// parameters an operator variant most often gets wrong.
void milenage_f2345_logged(const uint8_t k[16], const uint8_t rand[16], uint8_t res[8],
                           uint8_t ck[16], uint8_t ik[16], uint8_t ak[6]) {
    f2345(k, rand, res, ck, ik, ak, true);
}

// AK* = f5*(K, RAND): OUT5 bytes 0..5, the resynchronisation anonymity key.
// Null arguments do nothing.
void milenage_f5star(const uint8_t k[16], const uint8_t rand[16], uint8_t ak[6]) {
    if (!k || !rand || !ak) return;
    uint8_t temp[kBlock], out[kBlock];
    milenage_temp(k, rand, temp);
    milenage_outn(temp, kOut5, out);
    std::memcpy(ak, out, 6);
}
