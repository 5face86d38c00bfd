// A whole EAP-AKA full authentication and a fast re-authentication through
// EAP_layer, each next to OpenSSL doing the same cryptographic work in the
// same run: Milenage f1..f4 on AES-128, MK = SHA-1, the FIPS 186-2 PRF, the
// AT_MAC check of the request and the AT_MAC of the response (plus the
// AES-CBC of AT_ENCR_DATA for re-authentication). And an EAP-AKA' full
// authentication next to its work: Milenage, the CK'/IK' KDF, PRF' and both
// AT_MACs on HMAC-SHA-256. The trace file is absent.
// At the end each conversation's CPU time is printed as a ratio to its
// reference (CPU time, since the machine may be shared).
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include <benchmark/benchmark.h>
#include <openssl/aes.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "aka/aka.h"
#include "api/session.h"
#include "platform/platform.h"
#include "support/aka_server.h"
#include "prf_reference.h"
#include "ratio_reporter.h"

namespace {

TestKeyStore g_store;
Bytes g_identityRequest, g_challenge, g_primeChallenge, g_reauthRequest, g_success, g_primeSuccess;

int feed(const Bytes& packet) {
    uint8_t in[1100];
    uint8_t out[256];
    unsigned short outLen = 0;
    std::memcpy(in, packet.data(), packet.size());
    return EAP_layer(in, out, &outLen);
}

void start_conversation() {
    EAP_Init(nullptr, nullptr, reinterpret_cast<unsigned char*>(const_cast<char*>("@test.org")), 15);
}

// Identity, the challenge (AKA or AKA'), EAP-Success, getAAA. The store
// forgets the SEQ it was given and the re-authentication identity the
// challenge hands out is dropped, so the same identity and challenge serve
// every round.
bool full_authentication(const Bytes& challenge, const Bytes& success) {
    std::memset(g_store.store + EAPAKA_KEB_SEQMS, 0, 6);
    g_session.reauthIdPresent = 0;
    g_store.requests.clear();
    start_conversation();
    uint8_t msk[64];
    const bool ok = feed(g_identityRequest) == EAPAKA_RESULT_RESPONSE &&
                    feed(challenge) == EAPAKA_RESULT_AUTH_RESPONSE &&
                    feed(success) == EAPAKA_RESULT_SUCCESS_PERMANENT;
    getAAA(msk);
    benchmark::DoNotOptimize(msk);
    return ok;
}

// AKA-Reauthentication and EAP-Success; the counter is made fresh again.
bool fast_reauthentication() {
    g_session.lastReauthCounter = 0;
    start_conversation();
    uint8_t msk[64];
    const bool ok = feed(g_reauthRequest) == EAPAKA_RESULT_AUTH_RESPONSE &&
                    feed(g_success) == EAPAKA_RESULT_SUCCESS_PERMANENT;
    getAAA(msk);
    benchmark::DoNotOptimize(msk);
    return ok;
}

// ---- the same crypto work with OpenSSL

const uint8_t kK[16] = {0x46, 0x5b, 0x5c, 0xe8, 0xb1, 0x99, 0xb4, 0x9f, 0xaa, 0x5f, 0x0a, 0x2e, 0xe2, 0x38, 0xa6, 0xbc};
const uint8_t kOpc[16] = {0xcd, 0x63, 0xcb, 0x71, 0x95, 0x4a, 0x9f, 0x4e, 0x48, 0xa5, 0x99, 0x4e, 0x37, 0xa0, 0x2b, 0xaf};

void xor16(const uint8_t* a, const uint8_t* b, uint8_t* out) {
    for (int i = 0; i < 16; ++i) out[i] = a[i] ^ b[i];
}

// rot(x, r) for whole bytes (the standard r values are multiples of 8).
void rot_bytes(const uint8_t* x, int r, uint8_t* out) {
    for (int i = 0; i < 16; ++i) out[i] = x[(i + r / 8) % 16];
}

// TS 35.206 with the standard constants: f1 and f2..f5.
void milenage_reference(const uint8_t rand[16], const uint8_t sqnAmf[8], uint8_t out[4][16]) {
    AES_KEY key;
    AES_set_encrypt_key(kK, 128, &key);
    uint8_t temp[16], x[16], y[16];
    xor16(rand, kOpc, x);
    AES_encrypt(x, temp, &key);
    uint8_t in1[16];
    std::memcpy(in1, sqnAmf, 8);
    std::memcpy(in1 + 8, sqnAmf, 8);
    xor16(in1, kOpc, x);
    rot_bytes(x, 64, y);
    xor16(y, temp, x);
    AES_encrypt(x, out[0], &key);
    xor16(out[0], kOpc, out[0]);
    // OUT2 (RES, AK), OUT3 (CK), OUT4 (IK): r2..r4 = 0, 32, 64; c2..c4 = 1, 2, 4.
    for (int f = 0; f < 3; ++f) {
        xor16(temp, kOpc, x);
        rot_bytes(x, 32 * f, y);
        y[15] ^= static_cast<uint8_t>(1 << f);
        AES_encrypt(y, out[f + 1], &key);
        xor16(out[f + 1], kOpc, out[f + 1]);
    }
}

void hmac16(const uint8_t* key, const Bytes& data, uint8_t mac[20]) {
    unsigned len = 20;
    HMAC(EVP_sha1(), key, 16, data.data(), data.size(), mac, &len);
}

void full_crypto_openssl() {
    uint8_t out[4][16];
    milenage_reference(g_challenge.data() + 12, g_challenge.data() + 32, out);
    uint8_t mk[20];
    SHA_CTX ctx;
    SHA1_Init(&ctx);
    SHA1_Update(&ctx, "001010123456789@test.org", 24);
    SHA1_Update(&ctx, out[3], 16);
    SHA1_Update(&ctx, out[2], 16);
    SHA1_Final(mk, &ctx);
    uint8_t x[160], mac[20];
    prf160_reference(mk, x);
    hmac16(x + 16, g_challenge, mac);
    hmac16(x + 16, Bytes(40, 1), mac);
    benchmark::DoNotOptimize(mac);
}

// CK' | IK' = HMAC-SHA-256(CK | IK, 0x20 | "WLAN" | 0004 | SQN^AK | 0006),
// then PRF' (7 blocks) under IK' | CK', then AT_MAC of the request and of
// the response.
void full_prime_crypto_openssl() {
    uint8_t out[4][16];
    milenage_reference(g_primeChallenge.data() + 12, g_primeChallenge.data() + 32, out);
    uint8_t key[32], s[15] = {0x20, 'W', 'L', 'A', 'N', 0, 4};
    std::memcpy(key, out[2], 16);
    std::memcpy(key + 16, out[3], 16);
    std::memcpy(s + 7, g_primeChallenge.data() + 32, 6);
    s[14] = 6;
    uint8_t kdf[32], mac[32];
    unsigned len = 32;
    HMAC(EVP_sha256(), key, 32, s, sizeof s, kdf, &len);
    std::memcpy(key, kdf + 16, 16);
    std::memcpy(key + 16, kdf, 16);
    const char input[] = "EAP-AKA'001010123456789@test.org";
    uint8_t mk[7 * 32];
    prf_prime_reference(key, 32, reinterpret_cast<const uint8_t*>(input), sizeof input - 1, mk, 7);
    HMAC(EVP_sha256(), mk + 16, 32, g_primeChallenge.data(), g_primeChallenge.size(), mac, &len);
    HMAC(EVP_sha256(), mk + 16, 32, Bytes(40, 1).data(), 40, mac, &len);
    benchmark::DoNotOptimize(mac);
}

void reauth_crypto_openssl() {
    AES_KEY dec, enc;
    uint8_t iv[16], plain[96], block[16] = {}, mac[20];
    std::memcpy(iv, g_reauthRequest.data() + 12, 16);
    AES_set_decrypt_key(g_session.kEncr, 128, &dec);
    AES_cbc_encrypt(g_reauthRequest.data() + 32, plain, 32, &dec, iv, AES_DECRYPT);
    hmac16(g_session.kAut, g_reauthRequest, mac);
    uint8_t xkey[20], x[160];
    SHA_CTX ctx;
    SHA1_Init(&ctx);
    SHA1_Update(&ctx, "reauth-0001@test.org", 20);
    SHA1_Update(&ctx, plain + 2, 2);
    SHA1_Update(&ctx, plain + 8, 16);
    SHA1_Update(&ctx, g_session.mk, 20);
    SHA1_Final(xkey, &ctx);
    prf160_reference(xkey, x);
    AES_set_encrypt_key(g_session.kEncr, 128, &enc);
    AES_cbc_encrypt(block, block, 16, &enc, iv, AES_ENCRYPT);
    hmac16(g_session.kAut, Bytes(76, 1), mac);
    benchmark::DoNotOptimize(mac);
}

// ---- benchmarks

void bench_full(benchmark::State& state) {
    for (auto _ : state)
        if (!full_authentication(g_challenge, g_success)) state.SkipWithError("full authentication failed");
}
void bench_full_openssl(benchmark::State& state) {
    for (auto _ : state) full_crypto_openssl();
}
void bench_full_prime(benchmark::State& state) {
    for (auto _ : state)
        if (!full_authentication(g_primeChallenge, g_primeSuccess)) state.SkipWithError("AKA' authentication failed");
}
void bench_full_prime_openssl(benchmark::State& state) {
    for (auto _ : state) full_prime_crypto_openssl();
}
void bench_reauth(benchmark::State& state) {
    for (auto _ : state)
        if (!fast_reauthentication()) state.SkipWithError("fast re-authentication failed");
}
void bench_reauth_openssl(benchmark::State& state) {
    for (auto _ : state) reauth_crypto_openssl();
}

// The server side of both conversations, built once with OpenSSL.
bool prepare() {
    platform_set_trace_path("/nonexistent/eapaka-bench/msginfo.log");
    g_store.install();
    akasrv::AkaServer server(g_store);
    start_conversation();
    g_identityRequest = server.eap_identity();
    server.identity = Bytes({'0', '0', '1', '0', '1', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', '@', 't',
                             'e', 's', 't', '.', 'o', 'r', 'g'});
    akasrv::ChallengePlan plan;
    plan.encrPlain = akasrv::identity_attr(AT_NEXT_REAUTH_ID, "reauth-0001@test.org");
    g_challenge = server.challenge(plan);
    g_success = akasrv::AkaServer::eap_success(server.id);
    if (!full_authentication(g_challenge, g_success)) return false;
    // The same subscriber over EAP-AKA', network name "WLAN"; the keys of
    // the EAP-AKA authentication stay for the re-authentication below.
    EAP_SetCompatibility(EAP_COMPAT_AKA_PRIME);
    server.use_prime();
    g_primeChallenge = server.challenge(plan);
    g_primeSuccess = akasrv::AkaServer::eap_success(server.id);
    if (!full_authentication(g_primeChallenge, g_primeSuccess)) return false;
    server.use_prime(false);
    g_challenge = server.challenge(plan);
    g_success = akasrv::AkaServer::eap_success(server.id);
    if (!full_authentication(g_challenge, g_success)) return false;
    // Re-authentication against the keys of that authentication.
    start_conversation();
    server.identity = Bytes{'r', 'e', 'a', 'u', 't', 'h', '-', '0', '0', '0', '1', '@', 't', 'e', 's', 't', '.', 'o', 'r', 'g'};
    g_reauthRequest = server.reauth_request({});
    g_success = akasrv::AkaServer::eap_success(server.id);
    return fast_reauthentication();
}

}  // namespace

int main(int argc, char** argv) {
    if (!prepare()) {
        std::fprintf(stderr, "the conversations do not complete\n");
        return 1;
    }
    benchmark::RegisterBenchmark("full_authentication/eapaka", bench_full);
    benchmark::RegisterBenchmark("full_authentication/openssl", bench_full_openssl);
    benchmark::RegisterBenchmark("fast_reauthentication/eapaka", bench_reauth);
    benchmark::RegisterBenchmark("fast_reauthentication/openssl", bench_reauth_openssl);
    // Last: it leaves EAP-AKA' keys, on which no EAP-AKA re-authentication runs.
    benchmark::RegisterBenchmark("full_authentication_prime/eapaka", bench_full_prime);
    benchmark::RegisterBenchmark("full_authentication_prime/openssl", bench_full_prime_openssl);
    return run_benchmarks_with_ratios(argc, argv);
}
