// The EAP-AKA key hierarchy (RFC 4187 section 7): MK from the identity and
// the AKA keys, K_encr | K_aut | MSK from the FIPS 186-2 PRF, and the fast
// re-authentication XKEY' with its MSK.
#include <algorithm>
#include <cstring>

#include "aka/aka.h"
#include "api/session.h"
#include "crypto/fips186_prf.h"
#include "crypto/sha1.h"
#include "diag/message_log.h"

namespace {

constexpr unsigned PRF_OUTPUT_SIZE = 160;
constexpr unsigned K_ENCR_OFFSET = 0;
constexpr unsigned K_AUT_OFFSET = 16;
constexpr unsigned FULL_MSK_OFFSET = 32;   // after K_encr and K_aut
constexpr unsigned REAUTH_MSK_OFFSET = 0;  // fast re-authentication: MSK first
constexpr unsigned COUNTER_SIZE = 2;

unsigned identity_length() {
    return std::min<unsigned>(g_session.identityLength, sizeof g_session.identity);
}

// SHA-1 (standard finalisation) over the concatenation of `parts`.
struct Part {
    const uint8_t* bytes;
    unsigned length;
};
void sha1_of(const Part* parts, unsigned count, uint8_t digest[SHA1_DIGEST_SIZE]) {
    Sha1Context context;
    sha1_reset(&context);
    for (unsigned i = 0; i < count; ++i) sha1_input(&context, parts[i].bytes, parts[i].length);
    sha1_result(&context, digest);
}

}  // namespace

// MK = SHA1(Identity | IK | CK), the identity as last sent.
void derive_mk() {
    AkaSession& s = g_session;
    const Part parts[] = {{s.identity, identity_length()}, {s.ik, sizeof s.ik}, {s.ck, sizeof s.ck}};
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
    const Part parts[] = {
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
