#ifndef EAPAKA_CRYPTO_PRF_PRIME_H
#define EAPAKA_CRYPTO_PRF_PRIME_H

#include <cstddef>
#include <cstdint>

#include "crypto/byte_span.h"
#include "crypto/hmac_sha256.h"

// The one-byte block counter of PRF' reaches 255 blocks.
constexpr size_t PRF_PRIME_MAX_OUTPUT = 255 * HMAC_SHA256_SIZE;

// PRF'(K, S) of RFC 9048 section 3.4 (the prf+ of IKEv2, RFC 7296 section
// 2.13, on HMAC-SHA-256): writes the first `length` bytes of T1 | T2 | ...
// to out, where T1 = HMAC-SHA-256(K, S | 0x01) and Tn = HMAC-SHA-256(K,
// T(n-1) | S | n), S being the concatenation of the `count` parts. A length
// above PRF_PRIME_MAX_OUTPUT, or a null out, writes nothing.
void prf_prime(const uint8_t* key, size_t keyLength, const ByteSpan* parts, unsigned count, uint8_t* out,
               size_t length);

#endif
