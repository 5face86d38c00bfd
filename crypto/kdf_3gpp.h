#ifndef EAPAKA_CRYPTO_KDF_3GPP_H
#define EAPAKA_CRYPTO_KDF_3GPP_H

#include <cstddef>
#include <cstdint>

#include "crypto/byte_span.h"
#include "crypto/hmac_sha256.h"

constexpr size_t KDF_3GPP_PARAMETER_MAX = 0xFFFF;  // the reach of its two-byte length

// The generic key derivation function of 3GPP TS 33.220 Annex B.2: writes
// HMAC-SHA-256(key, FC | P0 | L0 | P1 | L1 | ...) to out, Li being the
// length of Pi as two big-endian bytes. A parameter longer than
// KDF_3GPP_PARAMETER_MAX is taken as its first KDF_3GPP_PARAMETER_MAX bytes.
void kdf_3gpp(const uint8_t* key, size_t keyLength, uint8_t fc, const ByteSpan* parameters, unsigned count,
              uint8_t out[32]);

// CK' and IK' of EAP-AKA' (3GPP TS 33.402 Annex A.2; RFC 9048 section 3.3):
// the KDF under CK | IK with FC 0x20, P0 the access network name and P1 the
// first 6 bytes of AUTN (SQN xor AK, as received); CK' is the first half of
// the output, IK' the second.
void kdf_ck_ik_prime(const uint8_t ck[16], const uint8_t ik[16], const uint8_t* networkName, size_t nameLength,
                     const uint8_t sqnXorAk[6], uint8_t ckPrime[16], uint8_t ikPrime[16]);

#endif
