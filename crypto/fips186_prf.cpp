// FIPS 186-2 change notice 1 random number generator (appendix 3.1, G from
// appendix 3.3) as RFC 4187 section 7 uses it: b = 160, XSEED_j = 0, no
// reduction mod q, x_j = w_0 || w_1.
#include "crypto/fips186_prf.h"

#include <cstring>

#include "api/session.h"
#include "crypto/sha1.h"

namespace {

constexpr unsigned kXkeySize = 20;
constexpr unsigned kRounds = 4;  // 4 x 40 bytes = 160

// out = (a + b) mod 2^160, big-endian, carry dropped above byte 0; out may
// alias a or b.
void add160(const uint8_t a[kXkeySize], const uint8_t b[kXkeySize], uint8_t out[kXkeySize]) {
    unsigned carry = 0;
    for (int i = kXkeySize - 1; i >= 0; --i) {
        unsigned sum = a[i] + b[i] + carry;
        out[i] = static_cast<uint8_t>(sum);
        carry = sum >> 8;
    }
}

// w = G(xval) with sha1RawMode already set: one unpadded compression.
void prf_g(const uint8_t xval[kXkeySize], uint8_t w[kXkeySize]) {
    Sha1Context context;
    sha1_reset(&context);
    sha1_input(&context, xval, kXkeySize);
    sha1_result(&context, w);
}

// XKEY = 1 + XKEY + w: the FIPS 186-2 step that follows each G evaluation.
void prf_advance_xkey(uint8_t xkey[kXkeySize], const uint8_t w[kXkeySize]) {
    static const uint8_t kOne[kXkeySize] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                            0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    add160(xkey, w, xkey);
    add160(kOne, xkey, xkey);
}

}  // namespace

// Fills output[0..159] from the 20-byte xkey, which is read only. Switches
// sha1RawMode on around each pair of G evaluations and leaves it 0. Null
// arguments do nothing.
void fips186_prf(const uint8_t xkey[20], uint8_t output[160]) {
    if (xkey == nullptr || output == nullptr) return;
    static const uint8_t kXseed[kXkeySize] = {};
    uint8_t key[kXkeySize];
    std::memcpy(key, xkey, sizeof key);
    uint8_t xval[kXkeySize];

    for (unsigned j = 0; j < kRounds; ++j) {
        uint8_t* w0 = output + 40 * j;
        uint8_t* w1 = w0 + kXkeySize;
        add160(key, kXseed, xval);
        g_session.sha1RawMode = 1;
        prf_g(xval, w0);
        prf_advance_xkey(key, w0);
        add160(key, kXseed, xval);
        g_session.sha1RawMode = 1;
        prf_g(xval, w1);
        g_session.sha1RawMode = 0;
        prf_advance_xkey(key, w1);
    }
}
