// Reference primitives built from OpenSSL. The raw SHA-1 compression is only
// reachable through the low-level SHA1_Transform, deprecated in OpenSSL 3.
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include "support/oracle.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <cstring>

namespace oracle {
namespace {

constexpr size_t kBlock = 16;

// A non-null pointer for empty inputs: some OpenSSL paths reject null even
// with a zero length.
const uint8_t* data_or_dummy(const Bytes& b) {
    static const uint8_t dummy = 0;
    return b.empty() ? &dummy : b.data();
}

const EVP_CIPHER* ecb_for(size_t keyLength) {
    switch (keyLength) {
    case 16: return EVP_aes_128_ecb();
    case 24: return EVP_aes_192_ecb();
    case 32: return EVP_aes_256_ecb();
    default: return nullptr;
    }
}

// One EVP pass without padding; an empty result signals a bad argument.
Bytes evp_run(const EVP_CIPHER* cipher, const Bytes& key, const uint8_t* iv, const Bytes& in,
              bool encrypt) {
    if (cipher == nullptr || in.size() % kBlock != 0) return {};
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Bytes out(in.size() + kBlock);
    int n = 0, tail = 0;
    bool ok = ctx != nullptr &&
              EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), iv, encrypt ? 1 : 0) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
              EVP_CipherUpdate(ctx, out.data(), &n, data_or_dummy(in),
                               static_cast<int>(in.size())) == 1 &&
              EVP_CipherFinal_ex(ctx, out.data() + n, &tail) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) return {};
    out.resize(static_cast<size_t>(n + tail));
    return out;
}

Bytes xor_bytes(const Bytes& a, const Bytes& b) {
    Bytes out(a.size());
    for (size_t i = 0; i < a.size(); ++i) out[i] = a[i] ^ b[i];
    return out;
}

// (a + b) mod 2^160 on big-endian 20-byte integers.
Bytes add160(const Bytes& a, const Bytes& b) {
    Bytes out(20);
    unsigned carry = 0;
    for (int i = 19; i >= 0; --i) {
        unsigned sum = a[i] + b[i] + carry;
        out[i] = static_cast<uint8_t>(sum);
        carry = sum >> 8;
    }
    return out;
}

}  // namespace

Bytes sha1(const Bytes& data) {
    Bytes out(SHA_DIGEST_LENGTH);
    unsigned int n = 0;
    if (EVP_Digest(data_or_dummy(data), data.size(), out.data(), &n, EVP_sha1(), nullptr) != 1)
        return {};
    return out;
}

Bytes hmac_sha1(const Bytes& key, const Bytes& data) {
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int n = 0;
    if (HMAC(EVP_sha1(), data_or_dummy(key), static_cast<int>(key.size()), data_or_dummy(data),
             data.size(), out.data(), &n) == nullptr)
        return {};
    out.resize(n);
    return out;
}

Bytes sha1_g(const Bytes& block20) {
    if (block20.size() != 20) return {};
    SHA_CTX ctx;
    SHA1_Init(&ctx);
    uint8_t block[SHA_CBLOCK] = {};
    std::memcpy(block, block20.data(), 20);
    SHA1_Transform(&ctx, block);
    const SHA_LONG h[5] = {ctx.h0, ctx.h1, ctx.h2, ctx.h3, ctx.h4};
    Bytes out;
    for (SHA_LONG w : h)
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(w >> shift));
    return out;
}

Bytes fips186_prf(const Bytes& xkey20) {
    if (xkey20.size() != 20) return {};
    Bytes one(20, 0);
    one[19] = 1;
    const Bytes xseed(20, 0);
    Bytes xkey = xkey20;
    Bytes out;
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 2; ++i) {
            Bytes w = sha1_g(add160(xkey, xseed));
            xkey = add160(one, add160(xkey, w));
            out.insert(out.end(), w.begin(), w.end());
        }
    }
    return out;
}

Bytes aes_ecb_encrypt(const Bytes& key, const Bytes& block16) {
    if (block16.size() != kBlock) return {};
    return evp_run(ecb_for(key.size()), key, nullptr, block16, true);
}

Bytes aes_ecb_decrypt(const Bytes& key, const Bytes& block16) {
    if (block16.size() != kBlock) return {};
    return evp_run(ecb_for(key.size()), key, nullptr, block16, false);
}

Bytes aes_cbc_encrypt(const Bytes& key16, const Bytes& iv16, const Bytes& data) {
    if (key16.size() != 16 || iv16.size() != kBlock) return {};
    return evp_run(EVP_aes_128_cbc(), key16, iv16.data(), data, true);
}

Bytes aes_cbc_decrypt(const Bytes& key16, const Bytes& iv16, const Bytes& data) {
    if (key16.size() != 16 || iv16.size() != kBlock) return {};
    return evp_run(EVP_aes_128_cbc(), key16, iv16.data(), data, false);
}

MilenageParams milenage_standard() {
    MilenageParams p;
    const uint8_t lastByte[5] = {0, 1, 2, 4, 8};
    const int32_t r[5] = {64, 0, 32, 64, 96};
    for (int i = 0; i < 5; ++i) {
        p.c[i] = Bytes(16, 0);
        p.c[i][15] = lastByte[i];
        p.r[i] = r[i];
    }
    return p;
}

Bytes rotate128(const Bytes& x16, int32_t r) {
    Bytes out(16, 0);
    const int shift = static_cast<int>(((r % 128) + 128) % 128);
    for (int bit = 0; bit < 128; ++bit) {
        const int from = (bit + shift) % 128;  // bit 0 is the MSB of byte 0
        const int value = (x16[from / 8] >> (7 - from % 8)) & 1;
        out[bit / 8] |= static_cast<uint8_t>(value << (7 - bit % 8));
    }
    return out;
}

Bytes milenage_opc(const Bytes& k, const Bytes& op) {
    return xor_bytes(aes_ecb_encrypt(k, op), op);
}

MilenageOut milenage(const Bytes& k, const Bytes& opc, const Bytes& rand, const Bytes& sqn6,
                     const Bytes& amf2, const MilenageParams& p) {
    auto ek = [&](const Bytes& x) { return aes_ecb_encrypt(k, x); };
    const Bytes temp = ek(xor_bytes(rand, opc));

    Bytes in1;
    for (int half = 0; half < 2; ++half) {
        in1.insert(in1.end(), sqn6.begin(), sqn6.end());
        in1.insert(in1.end(), amf2.begin(), amf2.end());
    }
    // OUT1 = E_K(TEMP xor rot(IN1 xor OPc, r1) xor c1) xor OPc
    const Bytes out1 =
        xor_bytes(ek(xor_bytes(xor_bytes(temp, rotate128(xor_bytes(in1, opc), p.r[0])), p.c[0])),
                  opc);
    // OUTn = E_K(rot(TEMP xor OPc, rn) xor cn) xor OPc, n = 2..5
    Bytes outn[5];
    for (int n = 1; n < 5; ++n)
        outn[n] = xor_bytes(ek(xor_bytes(rotate128(xor_bytes(temp, opc), p.r[n]), p.c[n])), opc);

    MilenageOut o;
    o.macA.assign(out1.begin(), out1.begin() + 8);
    o.macS.assign(out1.begin() + 8, out1.end());
    o.res.assign(outn[1].begin() + 8, outn[1].end());
    o.ak.assign(outn[1].begin(), outn[1].begin() + 6);
    o.ck = outn[2];
    o.ik = outn[3];
    o.akStar.assign(outn[4].begin(), outn[4].begin() + 6);
    return o;
}

}  // namespace oracle
