// Each primitive against OpenSSL's libcrypto on the same inputs, in one run;
// at the end a table gives eapaka time / OpenSSL time per operation.
//
// OpenSSL picks SHA-NI, AVX2 or AES-NI code when the CPU has them. For its
// portable integer code, mask those capabilities:
//   OPENSSL_ia32cap="~0x1200020200000000:~0x20000020" ./eapaka_bench
// (clears AES-NI, PCLMULQDQ, SSSE3 and AVX in the first word, SHA and AVX2
// in the second).
// AES_encrypt/AES_cbc_encrypt (the "openssl" AES rows) are the table-driven
// implementation in either case; the "openssl_evp" rows use EVP, which takes
// AES-NI when allowed.
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include <benchmark/benchmark.h>
#include <openssl/aes.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "api/session.h"
#include "crypto/aes.h"
#include "crypto/fips186_prf.h"
#include "crypto/hmac_sha256.h"
#include "crypto/milenage.h"
#include "crypto/prf_prime.h"
#include "crypto/sha1.h"
#include "crypto/sha256.h"
#include "prf_reference.h"
#include "ratio_reporter.h"

namespace {

const uint8_t kKey[16] = {0x46, 0x5b, 0x5c, 0xe8, 0xb1, 0x99, 0xb4, 0x9f,
                          0xaa, 0x5f, 0x0a, 0x2e, 0xe2, 0x38, 0xa6, 0xbc};
const uint8_t kRand[16] = {0x23, 0x55, 0x3c, 0xbe, 0x96, 0x37, 0xa8, 0x9d,
                           0x21, 0x8a, 0xe6, 0x4d, 0xae, 0x47, 0xbf, 0x35};
const uint8_t kOpc[16] = {0xcd, 0x63, 0xcb, 0x71, 0x95, 0x4a, 0x9f, 0x4e,
                          0x48, 0xa5, 0x99, 0x4e, 0x37, 0xa0, 0x2b, 0xaf};
const uint8_t kSqn[6] = {0xff, 0x9b, 0xb4, 0xd0, 0xb6, 0x07};
const uint8_t kAmf[2] = {0xb9, 0xb9};
constexpr size_t kPacket = 100;  // a typical AKA-Challenge for AT_MAC
constexpr size_t kCbcBytes = 64;

uint8_t g_data[1024];

// ---- SHA-1 compression, one 64-byte block

void sha1_block_eapaka(benchmark::State& state) {
    Sha1Context ctx;
    sha1_reset(&ctx);
    std::memcpy(ctx.block, g_data, SHA1_BLOCK_SIZE);
    for (auto _ : state) {
        sha1_process_block(&ctx);
        benchmark::DoNotOptimize(ctx.intermediateHash);
    }
    state.SetBytesProcessed(state.iterations() * SHA1_BLOCK_SIZE);
}

void sha1_block_openssl(benchmark::State& state) {
    SHA_CTX ctx;
    SHA1_Init(&ctx);
    for (auto _ : state) {
        SHA1_Transform(&ctx, g_data);
        benchmark::DoNotOptimize(ctx);
    }
    state.SetBytesProcessed(state.iterations() * SHA1_BLOCK_SIZE);
}

// ---- SHA-1 digest of 1 KiB through the streaming interface

void sha1_1k_eapaka(benchmark::State& state) {
    uint8_t digest[20];
    for (auto _ : state) {
        Sha1Context ctx;
        sha1_reset(&ctx);
        sha1_input(&ctx, g_data, sizeof g_data);
        sha1_result(&ctx, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * sizeof g_data);
}

void sha1_1k_openssl(benchmark::State& state) {
    uint8_t digest[20];
    for (auto _ : state) {
        SHA_CTX ctx;
        SHA1_Init(&ctx);
        SHA1_Update(&ctx, g_data, sizeof g_data);
        SHA1_Final(digest, &ctx);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * sizeof g_data);
}

// ---- HMAC-SHA1 of one packet under K_aut

void hmac_packet_eapaka(benchmark::State& state) {
    uint8_t mac[20];
    for (auto _ : state) {
        hmac_sha1(kKey, sizeof kKey, g_data, kPacket, mac, sizeof mac);
        benchmark::DoNotOptimize(mac);
    }
}

void hmac_packet_openssl(benchmark::State& state) {
    uint8_t mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    for (auto _ : state) {
        HMAC(EVP_sha1(), kKey, sizeof kKey, g_data, kPacket, mac, &length);
        benchmark::DoNotOptimize(mac);
    }
}

// The same HMAC on OpenSSL's low-level SHA-1 calls, without the EVP/provider
// dispatch that dominates the one-shot HMAC() for short messages.
void hmac_packet_openssl_sha(benchmark::State& state) {
    uint8_t mac[20];
    for (auto _ : state) {
        uint8_t pad[64], inner[20];
        SHA_CTX ctx;
        std::memset(pad, 0x36, sizeof pad);
        for (size_t i = 0; i < sizeof kKey; ++i) pad[i] ^= kKey[i];
        SHA1_Init(&ctx);
        SHA1_Update(&ctx, pad, sizeof pad);
        SHA1_Update(&ctx, g_data, kPacket);
        SHA1_Final(inner, &ctx);
        for (auto& b : pad) b ^= 0x36 ^ 0x5c;
        SHA1_Init(&ctx);
        SHA1_Update(&ctx, pad, sizeof pad);
        SHA1_Update(&ctx, inner, sizeof inner);
        SHA1_Final(mac, &ctx);
        benchmark::DoNotOptimize(mac);
    }
}

// ---- SHA-256 of 1 KiB, HMAC-SHA-256 of one packet, PRF' of an EAP-AKA'
// full authentication (208 bytes under a 32-byte key)

void sha256_1k_eapaka(benchmark::State& state) {
    uint8_t digest[32];
    for (auto _ : state) {
        sha256(g_data, sizeof g_data, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * sizeof g_data);
}

void sha256_1k_openssl(benchmark::State& state) {
    uint8_t digest[32];
    for (auto _ : state) {
        SHA256_CTX ctx;
        SHA256_Init(&ctx);
        SHA256_Update(&ctx, g_data, sizeof g_data);
        SHA256_Final(digest, &ctx);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * sizeof g_data);
}

void hmac_sha256_packet_eapaka(benchmark::State& state) {
    uint8_t mac[32];
    for (auto _ : state) {
        hmac_sha256(g_data + 512, 32, g_data, kPacket, mac);
        benchmark::DoNotOptimize(mac);
    }
}

void hmac_sha256_packet_openssl(benchmark::State& state) {
    uint8_t mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    for (auto _ : state) {
        HMAC(EVP_sha256(), g_data + 512, 32, g_data, kPacket, mac, &length);
        benchmark::DoNotOptimize(mac);
    }
}

constexpr size_t kPrfPrimeBytes = 208;
constexpr size_t kPrfPrimeInput = 32;  // "EAP-AKA'" and a 24-byte identity

void prf_prime_eapaka(benchmark::State& state) {
    uint8_t out[kPrfPrimeBytes];
    const ByteSpan s[] = {{g_data + 64, kPrfPrimeInput}};
    for (auto _ : state) {
        prf_prime(g_data, 32, s, 1, out, sizeof out);
        benchmark::DoNotOptimize(out);
    }
}

void prf_prime_openssl(benchmark::State& state) {
    uint8_t out[7 * 32];
    for (auto _ : state) {
        prf_prime_reference(g_data, 32, g_data + 64, kPrfPrimeInput, out, 7);
        benchmark::DoNotOptimize(out);
    }
}

// ---- AES-128, one block with a loaded key, either direction

template <bool Encrypt>
void aes_block_eapaka(benchmark::State& state) {
    AesCipher aes;
    aes.setKey(kKey, 16, 3);
    uint8_t block[16];
    std::memcpy(block, g_data, 16);
    for (auto _ : state) {
        if (Encrypt)
            aes.encryptBlock(block, block);
        else
            aes.decryptBlock(block, block);
        benchmark::DoNotOptimize(block);
    }
    state.SetBytesProcessed(state.iterations() * 16);
}

template <bool Encrypt>
void aes_block_openssl(benchmark::State& state) {
    AES_KEY key;
    if (Encrypt)
        AES_set_encrypt_key(kKey, 128, &key);
    else
        AES_set_decrypt_key(kKey, 128, &key);
    uint8_t block[16];
    std::memcpy(block, g_data, 16);
    for (auto _ : state) {
        if (Encrypt)
            AES_encrypt(block, block, &key);
        else
            AES_decrypt(block, block, &key);
        benchmark::DoNotOptimize(block);
    }
    state.SetBytesProcessed(state.iterations() * 16);
}

void aes_block_openssl_evp(benchmark::State& state) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, kKey, nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    uint8_t block[16];
    std::memcpy(block, g_data, 16);
    int n = 0;
    for (auto _ : state) {
        EVP_EncryptUpdate(ctx, block, &n, block, 16);
        benchmark::DoNotOptimize(block);
    }
    EVP_CIPHER_CTX_free(ctx);
    state.SetBytesProcessed(state.iterations() * 16);
}

// ---- AES-128-CBC of 64 bytes, key set up on every call as AT_ENCR_DATA
// processing does

template <bool Encrypt>
void cbc64_eapaka(benchmark::State& state) {
    uint8_t iv[16] = {}, buf[kCbcBytes];
    std::memcpy(buf, g_data, sizeof buf);
    for (auto _ : state) {
        if (Encrypt)
            aes_cbc_encrypt(kKey, iv, buf, sizeof buf);
        else
            aes_cbc_decrypt(kKey, iv, buf, sizeof buf);
        benchmark::DoNotOptimize(buf);
    }
    state.SetBytesProcessed(state.iterations() * kCbcBytes);
}

template <bool Encrypt>
void cbc64_openssl(benchmark::State& state) {
    uint8_t buf[kCbcBytes];
    std::memcpy(buf, g_data, sizeof buf);
    for (auto _ : state) {
        AES_KEY key;
        uint8_t iv[16] = {};
        if (Encrypt)
            AES_set_encrypt_key(kKey, 128, &key);
        else
            AES_set_decrypt_key(kKey, 128, &key);
        AES_cbc_encrypt(buf, buf, sizeof buf, &key, iv, Encrypt ? AES_ENCRYPT : AES_DECRYPT);
        benchmark::DoNotOptimize(buf);
    }
    state.SetBytesProcessed(state.iterations() * kCbcBytes);
}

// ---- FIPS 186-2 PRF, 160 bytes

void prf160_eapaka(benchmark::State& state) {
    uint8_t out[160];
    for (auto _ : state) {
        fips186_prf(g_data, out);
        benchmark::DoNotOptimize(out);
    }
}

// The same eight G evaluations on SHA1_Transform.
void prf160_openssl(benchmark::State& state) {
    uint8_t out[160];
    for (auto _ : state) {
        prf160_reference(g_data, out);
        benchmark::DoNotOptimize(out);
    }
}

// ---- Milenage f2345 then f1, as one AUTN check does

void load_standard_milenage() {
    std::memcpy(g_session.opc, kOpc, 16);
    const uint8_t lastByte[5] = {0, 1, 2, 4, 8};
    const int32_t r[5] = {64, 0, 32, 64, 96};
    for (int i = 0; i < 5; ++i) {
        std::memset(g_session.milenageC[i], 0, 16);
        g_session.milenageC[i][15] = lastByte[i];
        g_session.milenageR[i] = r[i];
    }
}

void milenage_eapaka(benchmark::State& state) {
    load_standard_milenage();
    uint8_t res[8], ck[16], ik[16], ak[6], mac[8];
    for (auto _ : state) {
        milenage_f2345(kKey, kRand, res, ck, ik, ak);
        milenage_f1(kKey, kRand, kSqn, kAmf, mac);
        benchmark::DoNotOptimize(mac);
        benchmark::DoNotOptimize(ik);
    }
}

// The same work on OpenSSL's AES: two key set-ups, two TEMP blocks and
// OUT1..OUT4 with the standard rotations (whole bytes).
void rot_xor_encrypt(const AES_KEY& key, const uint8_t in[16], unsigned rBytes, uint8_t c,
                     uint8_t out[16]) {
    uint8_t x[16];
    for (unsigned i = 0; i < 16; ++i) x[i] = in[(i + rBytes) % 16];
    x[15] ^= c;
    AES_encrypt(x, out, &key);
    for (unsigned i = 0; i < 16; ++i) out[i] ^= kOpc[i];
}

void milenage_temp(AES_KEY& key, uint8_t temp[16]) {
    AES_set_encrypt_key(kKey, 128, &key);
    for (unsigned i = 0; i < 16; ++i) temp[i] = kRand[i] ^ kOpc[i];
    AES_encrypt(temp, temp, &key);
}

void milenage_openssl(benchmark::State& state) {
    uint8_t res[8], ck[16], ik[16], ak[6], mac[8];
    for (auto _ : state) {
        AES_KEY key;
        uint8_t temp[16], masked[16], out[16];
        milenage_temp(key, temp);
        for (unsigned i = 0; i < 16; ++i) masked[i] = temp[i] ^ kOpc[i];
        rot_xor_encrypt(key, masked, 0, 1, out);
        std::memcpy(ak, out, 6);
        std::memcpy(res, out + 8, 8);
        rot_xor_encrypt(key, masked, 4, 2, ck);
        rot_xor_encrypt(key, masked, 8, 4, ik);

        milenage_temp(key, temp);
        uint8_t in1[16];
        for (unsigned h = 0; h < 16; h += 8) {
            std::memcpy(in1 + h, kSqn, 6);
            std::memcpy(in1 + h + 6, kAmf, 2);
        }
        for (unsigned i = 0; i < 16; ++i) in1[i] ^= kOpc[i];
        uint8_t x[16];
        for (unsigned i = 0; i < 16; ++i) x[i] = in1[(i + 8) % 16] ^ temp[i];
        AES_encrypt(x, out, &key);
        for (unsigned i = 0; i < 8; ++i) mac[i] = out[i] ^ kOpc[i];
        benchmark::DoNotOptimize(mac);
        benchmark::DoNotOptimize(ik);
    }
}

}  // namespace

int main(int argc, char** argv) {
    for (size_t i = 0; i < sizeof g_data; ++i) g_data[i] = static_cast<uint8_t>(i * 7 + 1);
    const struct {
        const char* name;
        void (*fn)(benchmark::State&);
    } pairs[] = {
        {"sha1_block/eapaka", sha1_block_eapaka},
        {"sha1_block/openssl", sha1_block_openssl},
        {"sha1_1k/eapaka", sha1_1k_eapaka},
        {"sha1_1k/openssl", sha1_1k_openssl},
        {"hmac_sha1_100/eapaka", hmac_packet_eapaka},
        {"hmac_sha1_100/openssl", hmac_packet_openssl},
        {"hmac_sha1_100/openssl_sha1", hmac_packet_openssl_sha},
        {"sha256_1k/eapaka", sha256_1k_eapaka},
        {"sha256_1k/openssl", sha256_1k_openssl},
        {"hmac_sha256_100/eapaka", hmac_sha256_packet_eapaka},
        {"hmac_sha256_100/openssl", hmac_sha256_packet_openssl},
        {"prf_prime_208/eapaka", prf_prime_eapaka},
        {"prf_prime_208/openssl", prf_prime_openssl},
        {"aes128_block/eapaka", aes_block_eapaka<true>},
        {"aes128_block/openssl", aes_block_openssl<true>},
        {"aes128_block/openssl_evp", aes_block_openssl_evp},
        {"aes128_decrypt/eapaka", aes_block_eapaka<false>},
        {"aes128_decrypt/openssl", aes_block_openssl<false>},
        {"cbc64_encrypt/eapaka", cbc64_eapaka<true>},
        {"cbc64_encrypt/openssl", cbc64_openssl<true>},
        {"cbc64_decrypt/eapaka", cbc64_eapaka<false>},
        {"cbc64_decrypt/openssl", cbc64_openssl<false>},
        {"prf160/eapaka", prf160_eapaka},
        {"prf160/openssl", prf160_openssl},
        {"milenage_f2345_f1/eapaka", milenage_eapaka},
        {"milenage_f2345_f1/openssl", milenage_openssl},
    };
    for (const auto& p : pairs) benchmark::RegisterBenchmark(p.name, p.fn);
    return run_benchmarks_with_ratios(argc, argv);
}
