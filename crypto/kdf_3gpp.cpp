// The 3GPP key derivation function (TS 33.220 Annex B.2) and the CK'/IK'
// derivation built on it (TS 33.402 Annex A.2).
#include "crypto/kdf_3gpp.h"

#include <cstring>

namespace {

constexpr unsigned kKeyHalf = 16;                // CK, IK, CK', IK'
constexpr uint8_t kFcCkIkPrime = 0x20;           // TS 33.402 A.2
constexpr size_t kSqnXorAkSize = 6;

}  // namespace

void kdf_3gpp(const uint8_t* key, size_t keyLength, uint8_t fc, const ByteSpan* parameters, unsigned count,
              uint8_t out[32]) {
    if (out == nullptr) return;
    HmacSha256Context context;
    hmac_sha256_init(&context, key, keyLength);
    hmac_sha256_input(&context, &fc, 1);
    for (unsigned i = 0; i < count; ++i) {
        const size_t length = parameters[i].length < KDF_3GPP_PARAMETER_MAX ? parameters[i].length
                                                                            : KDF_3GPP_PARAMETER_MAX;
        const uint8_t encodedLength[2] = {static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
        hmac_sha256_input(&context, parameters[i].bytes, length);
        hmac_sha256_input(&context, encodedLength, sizeof encodedLength);
    }
    hmac_sha256_result(&context, out);
}

void kdf_ck_ik_prime(const uint8_t ck[16], const uint8_t ik[16], const uint8_t* networkName, size_t nameLength,
                     const uint8_t sqnXorAk[6], uint8_t ckPrime[16], uint8_t ikPrime[16]) {
    uint8_t key[2 * kKeyHalf];
    std::memcpy(key, ck, kKeyHalf);
    std::memcpy(key + kKeyHalf, ik, kKeyHalf);
    const ByteSpan parameters[] = {{networkName, nameLength}, {sqnXorAk, kSqnXorAkSize}};
    uint8_t out[HMAC_SHA256_SIZE];
    kdf_3gpp(key, sizeof key, kFcCkIkPrime, parameters, 2, out);
    std::memcpy(ckPrime, out, kKeyHalf);
    std::memcpy(ikPrime, out + kKeyHalf, kKeyHalf);
}
