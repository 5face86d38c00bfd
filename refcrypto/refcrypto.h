// Reference cryptography on an established crypto library (OpenSSL's
// libcrypto; libgcrypt where no OpenSSL is packaged): SHA-1, SHA-256, their
// HMACs and AES from the library; the FIPS 186-2 PRF, Milenage, PRF' and the
// 3GPP key derivation function written small on top of them. It shares no code with eapaka's own crypto, so it is both the
// tests' oracle and the simulated network's crypto: a conversation in which
// the peer and the network agree on the MSK is eapaka agreeing with an
// independent implementation.
#ifndef EAPAKA_REFCRYPTO_REFCRYPTO_H
#define EAPAKA_REFCRYPTO_REFCRYPTO_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace refcrypto {

using Bytes = std::vector<uint8_t>;

// SHA-1 (FIPS 180) digest, 20 bytes.
Bytes sha1(const Bytes& data);

// HMAC-SHA1 (RFC 2104), the full 20-byte MAC; any key length.
Bytes hmac_sha1(const Bytes& key, const Bytes& data);

// SHA-256 (FIPS 180-4) digest, 32 bytes.
Bytes sha256(const Bytes& data);

// HMAC-SHA-256 (RFC 2104), the full 32-byte MAC; any key length.
Bytes hmac_sha256(const Bytes& key, const Bytes& data);

// PRF' (RFC 9048 section 3.4): the first `length` bytes of T1 | T2 | ...,
// Tn = HMAC-SHA-256(key, T(n-1) | s | n).
Bytes prf_prime(const Bytes& key, const Bytes& s, size_t length);

// The 3GPP KDF (TS 33.220 Annex B.2): HMAC-SHA-256(key, fc | P0 | L0 | ...).
Bytes kdf_3gpp(const Bytes& key, uint8_t fc, const std::vector<Bytes>& parameters);

// One SHA-1 compression of `block20` followed by 44 zero bytes from the
// FIPS 180 initial hash: the G function of FIPS 186-2 appendix 3.3.
Bytes sha1_g(const Bytes& block20);

// FIPS 186-2 change notice 1 PRF as RFC 4187 section 7 uses it: 160 bytes
// from a 20-byte XKEY (XSEED zero, no reduction mod q).
Bytes fips186_prf(const Bytes& xkey20);

// AES (FIPS-197) on one 16-byte block; 16-, 24- or 32-byte keys.
Bytes aes_ecb_encrypt(const Bytes& key, const Bytes& block16);
Bytes aes_ecb_decrypt(const Bytes& key, const Bytes& block16);

// AES-128-CBC over whole blocks, no padding.
Bytes aes_cbc_encrypt(const Bytes& key16, const Bytes& iv16, const Bytes& data);
Bytes aes_cbc_decrypt(const Bytes& key16, const Bytes& iv16, const Bytes& data);

// Milenage constants: c1..c5 (16 bytes each) and r1..r5 (bit counts, >= 0,
// any value; counts of 128 or more wrap).
struct MilenageParams {
    Bytes c[5];
    int32_t r[5];
};

// TS 35.206 values: c1..c5 = 0, 1, 2, 4, 8 in the last byte; r1..r5 = 64,
// 0, 32, 64, 96.
MilenageParams milenage_standard();

struct MilenageOut {
    Bytes macA;    // f1, 8 bytes
    Bytes macS;    // f1*, 8 bytes
    Bytes res;     // f2, 8 bytes
    Bytes ck;      // f3, 16 bytes
    Bytes ik;      // f4, 16 bytes
    Bytes ak;      // f5, 6 bytes
    Bytes akStar;  // f5*, 6 bytes
};

// All Milenage outputs for 16-byte K, OPc and RAND, 6-byte SQN, 2-byte AMF.
MilenageOut milenage(const Bytes& k, const Bytes& opc, const Bytes& rand, const Bytes& sqn6,
                     const Bytes& amf2, const MilenageParams& p = milenage_standard());

// OPc = E_K(OP) xor OP.
Bytes milenage_opc(const Bytes& k, const Bytes& op);

// rot(x, r) of TS 35.206 computed bit by bit: towards the most significant
// bit by r mod 128 positions (r >= 0).
Bytes rotate128(const Bytes& x16, int32_t r);

}  // namespace refcrypto

#endif
