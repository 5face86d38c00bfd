#include "tools/simnet/auc.h"

#include <openssl/crypto.h>

#include <cstring>

namespace tool {

namespace {

constexpr size_t SQN_SIZE = 6;
constexpr size_t MAC_A_SIZE = 8;

refcrypto::MilenageOut milenage(const MilenageKeys& keys, const MilenageParams& constants,
                                const uint8_t rand[16], const uint8_t sqn[6], const uint8_t amf[2]) {
    return refcrypto::milenage(refcrypto::Bytes(keys.k, keys.k + 16),
                               refcrypto::Bytes(keys.opc, keys.opc + 16),
                               refcrypto::Bytes(rand, rand + 16), refcrypto::Bytes(sqn, sqn + SQN_SIZE),
                               refcrypto::Bytes(amf, amf + 2), constants);
}

}  // namespace

AuthVector auc_vector(const MilenageKeys& keys, const MilenageParams& constants,
                      const uint8_t rand[16], const uint8_t sqn[6], const uint8_t amf[2]) {
    refcrypto::MilenageOut out = milenage(keys, constants, rand, sqn, amf);
    AuthVector v{};
    std::memcpy(v.rand, rand, sizeof v.rand);
    std::memcpy(v.sqn, sqn, sizeof v.sqn);
    std::memcpy(v.amf, amf, sizeof v.amf);
    std::memcpy(v.xres, out.res.data(), sizeof v.xres);
    std::memcpy(v.ck, out.ck.data(), sizeof v.ck);
    std::memcpy(v.ik, out.ik.data(), sizeof v.ik);
    for (size_t i = 0; i < SQN_SIZE; ++i) v.autn[i] = static_cast<uint8_t>(sqn[i] ^ out.ak[i]);
    std::memcpy(v.autn + SQN_SIZE, amf, 2);
    std::memcpy(v.autn + SQN_SIZE + 2, out.macA.data(), MAC_A_SIZE);
    return v;
}

bool auc_sqn_from_auts(const MilenageKeys& keys, const MilenageParams& constants,
                       const uint8_t rand[16], const uint8_t auts[14], const uint8_t amf[2],
                       uint8_t sqnMs[6]) {
    // f5* depends on RAND only: the first pass conceals nothing.
    const uint8_t unknown[SQN_SIZE] = {};
    refcrypto::MilenageOut first = milenage(keys, constants, rand, unknown, amf);
    for (size_t i = 0; i < SQN_SIZE; ++i) sqnMs[i] = static_cast<uint8_t>(auts[i] ^ first.akStar[i]);
    refcrypto::MilenageOut out = milenage(keys, constants, rand, sqnMs, amf);
    return CRYPTO_memcmp(out.macS.data(), auts + SQN_SIZE, MAC_A_SIZE) == 0;
}

void sqn_to_bytes(uint64_t sqn, uint8_t out[6]) {
    for (int i = 0; i < 6; ++i) out[i] = static_cast<uint8_t>(sqn >> (8 * (5 - i)));
}

uint64_t sqn_from_bytes(const uint8_t in[6]) {
    uint64_t v = 0;
    for (int i = 0; i < 6; ++i) v = v << 8 | in[i];
    return v;
}

}  // namespace tool
