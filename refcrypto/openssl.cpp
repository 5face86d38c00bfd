// The primitives on OpenSSL's libcrypto. The raw SHA-1 compression
// is only reachable through the low-level SHA1_Transform, deprecated in
// OpenSSL 3.
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include "refcrypto/refcrypto.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <cstring>

namespace refcrypto {
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

// The digest of `data` under `md`; empty when OpenSSL fails.
Bytes digest(const EVP_MD* md, const Bytes& data) {
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int n = 0;
    if (EVP_Digest(data_or_dummy(data), data.size(), out.data(), &n, md, nullptr) != 1) return {};
    out.resize(n);
    return out;
}

// HMAC of `data` under `key` with `md`; empty when OpenSSL fails.
Bytes hmac(const EVP_MD* md, const Bytes& key, const Bytes& data) {
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int n = 0;
    if (HMAC(md, data_or_dummy(key), static_cast<int>(key.size()), data_or_dummy(data), data.size(), out.data(),
             &n) == nullptr)
        return {};
    out.resize(n);
    return out;
}

}  // namespace

Bytes sha1(const Bytes& data) { return digest(EVP_sha1(), data); }

Bytes hmac_sha1(const Bytes& key, const Bytes& data) { return hmac(EVP_sha1(), key, data); }

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

// SHA-256 and HMAC-SHA-256, the hash and MAC of EAP-AKA'.
Bytes sha256(const Bytes& data) { return digest(EVP_sha256(), data); }

Bytes hmac_sha256(const Bytes& key, const Bytes& data) { return hmac(EVP_sha256(), key, data); }

}  // namespace refcrypto
