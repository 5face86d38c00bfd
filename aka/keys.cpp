// The EAP-AKA key hierarchy (RFC 4187 section 7): MK from the identity and
// the AKA keys, K_encr | K_aut | MSK from the FIPS 186-2 PRF, and the fast
// re-authentication XKEY' with its MSK. And that of EAP-AKA' (RFC 9048
// section 3.3): CK' and IK' bound to the access network name, K_encr |
// K_aut | K_re | MSK | EMSK from PRF', and the re-authentication MSK from
// K_re.
#include <algorithm>
#include <cstring>

#include "aka/aka.h"
#include "api/session.h"
#include "crypto/fips186_prf.h"
#include "crypto/kdf_3gpp.h"
#include "crypto/prf_prime.h"
#include "crypto/sha1.h"
#include "diag/message_log.h"

namespace {

constexpr unsigned PRF_OUTPUT_SIZE = 160;
constexpr unsigned K_ENCR_OFFSET = 0;
constexpr unsigned K_AUT_OFFSET = 16;
constexpr unsigned FULL_MSK_OFFSET = 32;   // after K_encr and K_aut
constexpr unsigned REAUTH_MSK_OFFSET = 0;  // fast re-authentication: MSK first
constexpr unsigned COUNTER_SIZE = 2;

// RFC 9048 section 3.3: the PRF' output of a full authentication and where
// each key lies in it; the EMSK (the last 64 bytes) has no user and is not
// kept. A fast re-authentication takes 128 bytes, MSK first.
constexpr unsigned PRIME_MK_SIZE = 208;
constexpr unsigned PRIME_K_AUT_OFFSET = 16;
constexpr unsigned PRIME_K_RE_OFFSET = 48;
constexpr unsigned PRIME_MSK_OFFSET = 80;
constexpr unsigned PRIME_REAUTH_MK_SIZE = 128;
constexpr unsigned KEY_HALF = 16;  // CK', IK'
// The labels in front of the identity, ASCII without a NUL.
constexpr uint8_t PRIME_LABEL[] = {'E', 'A', 'P', '-', 'A', 'K', 'A', '\''};
constexpr uint8_t PRIME_REAUTH_LABEL[] = {'E', 'A', 'P', '-', 'A', 'K', 'A', '\'', ' ', 'r', 'e', '-', 'a', 'u', 't', 'h'};

unsigned identity_length() {
    return std::min<unsigned>(g_session.identityLength, sizeof g_session.identity);
}

// SHA-1 (standard finalisation) over the concatenation of `parts`.
void sha1_of(const ByteSpan* parts, unsigned count, uint8_t digest[SHA1_DIGEST_SIZE]) {
    Sha1Context context;
    sha1_reset(&context);
    for (unsigned i = 0; i < count; ++i)
        sha1_input(&context, parts[i].bytes, static_cast<unsigned>(parts[i].length));
    sha1_result(&context, digest);
}

// The keys now belong to the running method. A re-authentication identity
// of the other method has lost the keys it would need: it is dropped rather
// than offered to a server that would try it.
void keys_made_by_running_method() {
    AkaSession& s = g_session;
    s.keysPrime = aka_is_prime();
    if (s.reauthIdPrime != s.keysPrime) s.reauthIdPresent = 0;
}

}  // namespace

// MK = SHA1(Identity | IK | CK), the identity as last sent.
void derive_mk() {
    AkaSession& s = g_session;
    const ByteSpan parts[] = {{s.identity, identity_length()}, {s.ik, sizeof s.ik}, {s.ck, sizeof s.ck}};
    sha1_of(parts, 3, s.mk);
    std::memcpy(s.fullAuthMk, s.mk, sizeof s.fullAuthMk);
    msglog_hex("\tIK:\n", s.ik, sizeof s.ik);
    msglog_hex("\tCK:\n", s.ck, sizeof s.ck);
    msglog_hex("\tMK:\n", s.mk, sizeof s.mk);
}

// K_encr | K_aut | MSK | EMSK = PRF(MK); the EMSK has no user and is dropped.
void derive_full_keys() {
    AkaSession& s = g_session;
    uint8_t x[PRF_OUTPUT_SIZE];
    fips186_prf(s.mk, x);
    std::memcpy(s.kEncr, x + K_ENCR_OFFSET, sizeof s.kEncr);
    std::memcpy(s.kAut, x + K_AUT_OFFSET, sizeof s.kAut);
    std::memcpy(s.msk, x + FULL_MSK_OFFSET, sizeof s.msk);
    aka_wipe(x, sizeof x);
    keys_made_by_running_method();
    msglog_hex("\tMSK:\n", s.msk, sizeof s.msk);
}

// XKEY' = SHA1(Identity | counter | NONCE_S | MK); it takes MK's place, so
// by default a second re-authentication chains from it. RFC 4187 section 7
// takes MK from the preceding full authentication every time, as
// EAP_COMPAT_REAUTH_KEYS_FROM_FULL_MK does.
void derive_reauth_mk() {
    AkaSession& s = g_session;
    uint8_t counter[COUNTER_SIZE];
    std::memcpy(counter, &s.reauthCounter, COUNTER_SIZE);  // wire order
    uint8_t previous[sizeof s.mk];
    std::memcpy(previous, aka_compat(EAP_COMPAT_REAUTH_KEYS_FROM_FULL_MK) ? s.fullAuthMk : s.mk, sizeof previous);
    const ByteSpan parts[] = {
        {s.identity, identity_length()}, {counter, COUNTER_SIZE}, {s.nonceS, sizeof s.nonceS}, {previous, sizeof previous}};
    sha1_of(parts, 4, s.mk);
}

// MSK | EMSK = PRF(XKEY'); K_encr and K_aut stay those of the full
// authentication.
void derive_reauth_msk() {
    AkaSession& s = g_session;
    uint8_t x[PRF_OUTPUT_SIZE];
    fips186_prf(s.mk, x);
    std::memcpy(s.msk, x + REAUTH_MSK_OFFSET, sizeof s.msk);
    aka_wipe(x, sizeof x);
    msglog_hex("\tMSK:\n", s.msk, sizeof s.msk);
}

// CK' | IK' = KDF(CK | IK, network name, SQN xor AK); then MK =
// PRF'(IK' | CK', "EAP-AKA'" | Identity), IK' first, the identity as last
// sent, split into K_encr | K_aut | K_re | MSK | EMSK.
void derive_prime_keys() {
    AkaSession& s = g_session;
    kdf_ck_ik_prime(s.ck, s.ik, s.atKdfInput, s.atKdfInputLength, s.atAutn, s.ckPrime, s.ikPrime);
    uint8_t key[2 * KEY_HALF];
    std::memcpy(key, s.ikPrime, KEY_HALF);
    std::memcpy(key + KEY_HALF, s.ckPrime, KEY_HALF);
    const ByteSpan input[] = {{PRIME_LABEL, sizeof PRIME_LABEL}, {s.identity, identity_length()}};
    uint8_t mk[PRIME_MK_SIZE];
    prf_prime(key, sizeof key, input, 2, mk, sizeof mk);
    std::memcpy(s.kEncr, mk + K_ENCR_OFFSET, sizeof s.kEncr);
    std::memcpy(s.kAut, mk + PRIME_K_AUT_OFFSET, K_AUT_PRIME_SIZE);
    std::memcpy(s.kRe, mk + PRIME_K_RE_OFFSET, sizeof s.kRe);
    std::memcpy(s.msk, mk + PRIME_MSK_OFFSET, sizeof s.msk);
    aka_wipe(mk, sizeof mk);
    aka_wipe(key, sizeof key);
    keys_made_by_running_method();
    msglog_line("\tNetwork name:");
    msglog_text(s.atKdfInput, s.atKdfInputLength);
    msglog_hex("\tCK':\n", s.ckPrime, sizeof s.ckPrime);
    msglog_hex("\tIK':\n", s.ikPrime, sizeof s.ikPrime);
    msglog_hex("\tMSK:\n", s.msk, sizeof s.msk);
}

// MSK | EMSK = PRF'(K_re, "EAP-AKA' re-auth" | Identity | counter |
// NONCE_S); K_encr, K_aut and K_re stay those of the full authentication.
void derive_prime_reauth_msk() {
    AkaSession& s = g_session;
    uint8_t counter[COUNTER_SIZE];
    std::memcpy(counter, &s.reauthCounter, COUNTER_SIZE);  // wire order
    const ByteSpan input[] = {{PRIME_REAUTH_LABEL, sizeof PRIME_REAUTH_LABEL},
                              {s.identity, identity_length()},
                              {counter, COUNTER_SIZE},
                              {s.nonceS, sizeof s.nonceS}};
    uint8_t mk[PRIME_REAUTH_MK_SIZE];
    prf_prime(s.kRe, sizeof s.kRe, input, 4, mk, sizeof mk);
    std::memcpy(s.msk, mk + REAUTH_MSK_OFFSET, sizeof s.msk);
    aka_wipe(mk, sizeof mk);
    msglog_hex("\tMSK:\n", s.msk, sizeof s.msk);
}
