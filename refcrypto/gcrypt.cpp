// The primitives on libgcrypt, for targets where no OpenSSL is
// packaged (the mingw-w64 cross-build). libgcrypt has no raw SHA-1
// compression, so sha1_g carries its own, written from FIPS 180-4 section
// 6.1.2 and independent of the library's SHA-1 code. The library's PRF also
// passes the published FIPS 186-2 vectors on every target, so a fault here
// shows up as a disagreement in the PRF comparisons.
#include "refcrypto/refcrypto.h"

#include <gcrypt.h>

namespace refcrypto {
namespace {

constexpr size_t kBlock = 16;
constexpr size_t kSha1Size = 20;
constexpr size_t kSha256Size = 32;

// libgcrypt must be initialised once before first use; the tests never need
// its secure memory.
void ensure_initialised() {
    static const bool done = [] {
        gcry_check_version(nullptr);
        gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        return true;
    }();
    (void)done;
}

int aes_for(size_t keyLength) {
    switch (keyLength) {
    case 16: return GCRY_CIPHER_AES128;
    case 24: return GCRY_CIPHER_AES192;
    case 32: return GCRY_CIPHER_AES256;
    default: return 0;
    }
}

// One pass of `algo` in `mode` over whole blocks; an empty result signals a
// bad argument.
Bytes cipher_run(int algo, int mode, const Bytes& key, const Bytes* iv, const Bytes& in,
                 bool encrypt) {
    ensure_initialised();
    if (algo == 0 || in.size() % kBlock != 0) return {};
    gcry_cipher_hd_t hd = nullptr;
    if (gcry_cipher_open(&hd, algo, mode, 0) != 0) return {};
    Bytes out(in.size());
    bool ok = gcry_cipher_setkey(hd, key.data(), key.size()) == 0 &&
              (iv == nullptr || gcry_cipher_setiv(hd, iv->data(), iv->size()) == 0);
    if (ok && !in.empty())
        ok = (encrypt ? gcry_cipher_encrypt(hd, out.data(), out.size(), in.data(), in.size())
                      : gcry_cipher_decrypt(hd, out.data(), out.size(), in.data(), in.size())) == 0;
    gcry_cipher_close(hd);
    return ok ? out : Bytes{};
}

// The `size`-byte digest of `data` under `algo`.
Bytes digest(int algo, size_t size, const Bytes& data) {
    ensure_initialised();
    Bytes out(size);
    gcry_md_hash_buffer(algo, out.data(), data.data(), data.size());
    return out;
}

// The `size`-byte HMAC of `data` under `key` with `algo`; empty on failure.
Bytes hmac(int algo, size_t size, const Bytes& key, const Bytes& data) {
    ensure_initialised();
    gcry_mac_hd_t hd = nullptr;
    if (gcry_mac_open(&hd, algo, 0, nullptr) != 0) return {};
    static const uint8_t noKey = 0;  // a zero-length key is legal in HMAC; hand libgcrypt a valid pointer
    Bytes out(size);
    size_t n = out.size();
    const bool ok = gcry_mac_setkey(hd, key.empty() ? &noKey : key.data(), key.size()) == 0 &&
                    gcry_mac_write(hd, data.data(), data.size()) == 0 && gcry_mac_read(hd, out.data(), &n) == 0;
    gcry_mac_close(hd);
    return ok && n == size ? out : Bytes{};
}

uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

Bytes sha1(const Bytes& data) { return digest(GCRY_MD_SHA1, kSha1Size, data); }

Bytes hmac_sha1(const Bytes& key, const Bytes& data) { return hmac(GCRY_MAC_HMAC_SHA1, kSha1Size, key, data); }

Bytes sha1_g(const Bytes& block20) {
    if (block20.size() != kSha1Size) return {};
    uint32_t w[80] = {};
    for (int t = 0; t < 5; ++t)
        w[t] = uint32_t{block20[4 * t]} << 24 | uint32_t{block20[4 * t + 1]} << 16 |
               uint32_t{block20[4 * t + 2]} << 8 | block20[4 * t + 3];
    for (int t = 16; t < 80; ++t) w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

    const uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int t = 0; t < 80; ++t) {
        uint32_t f, k;
        if (t < 20) f = (b & c) | (~b & d), k = 0x5A827999;
        else if (t < 40) f = b ^ c ^ d, k = 0x6ED9EBA1;
        else if (t < 60) f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
        else f = b ^ c ^ d, k = 0xCA62C1D6;
        const uint32_t temp = rotl(a, 5) + f + e + k + w[t];
        e = d, d = c, c = rotl(b, 30), b = a, a = temp;
    }
    const uint32_t out32[5] = {h[0] + a, h[1] + b, h[2] + c, h[3] + d, h[4] + e};
    Bytes out;
    for (uint32_t v : out32)
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
    return out;
}

Bytes aes_ecb_encrypt(const Bytes& key, const Bytes& block16) {
    if (block16.size() != kBlock) return {};
    return cipher_run(aes_for(key.size()), GCRY_CIPHER_MODE_ECB, key, nullptr, block16, true);
}

Bytes aes_ecb_decrypt(const Bytes& key, const Bytes& block16) {
    if (block16.size() != kBlock) return {};
    return cipher_run(aes_for(key.size()), GCRY_CIPHER_MODE_ECB, key, nullptr, block16, false);
}

Bytes aes_cbc_encrypt(const Bytes& key16, const Bytes& iv16, const Bytes& data) {
    if (key16.size() != 16 || iv16.size() != kBlock) return {};
    return cipher_run(GCRY_CIPHER_AES128, GCRY_CIPHER_MODE_CBC, key16, &iv16, data, true);
}

Bytes aes_cbc_decrypt(const Bytes& key16, const Bytes& iv16, const Bytes& data) {
    if (key16.size() != 16 || iv16.size() != kBlock) return {};
    return cipher_run(GCRY_CIPHER_AES128, GCRY_CIPHER_MODE_CBC, key16, &iv16, data, false);
}

// SHA-256 and HMAC-SHA-256, the hash and MAC of EAP-AKA'.
Bytes sha256(const Bytes& data) { return digest(GCRY_MD_SHA256, kSha256Size, data); }

Bytes hmac_sha256(const Bytes& key, const Bytes& data) {
    return hmac(GCRY_MAC_HMAC_SHA256, kSha256Size, key, data);
}

}  // namespace refcrypto
