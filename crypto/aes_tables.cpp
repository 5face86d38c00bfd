#include "crypto/aes_tables.h"

namespace {

constexpr uint8_t kReduction = 0x1B;  // x^8 = x^4 + x^3 + x + 1

constexpr uint8_t gf_xtime(uint8_t a) {
    return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? kReduction : 0));
}

constexpr uint8_t gf_mul(uint8_t a, uint8_t b) {
    uint8_t product = 0;
    for (; b != 0; b >>= 1, a = gf_xtime(a))
        if (b & 1) product ^= a;
    return product;
}

// a^254 = a^-1 for a != 0, and 0 for 0: the inversion of SubBytes.
constexpr uint8_t gf_inverse(uint8_t a) {
    uint8_t result = 1;
    uint8_t power = a;
    for (unsigned e = 254; e != 0; e >>= 1, power = gf_mul(power, power))
        if (e & 1) result = gf_mul(result, power);
    return result;
}

constexpr uint8_t rotl8(uint8_t a, unsigned n) {
    return static_cast<uint8_t>(a << n | a >> (8 - n));
}

// The affine transformation of FIPS-197 5.1.1 applied to the inverse.
constexpr uint8_t sbox_entry(uint8_t a) {
    const uint8_t b = gf_inverse(a);
    return static_cast<uint8_t>(b ^ rotl8(b, 1) ^ rotl8(b, 2) ^ rotl8(b, 3) ^ rotl8(b, 4) ^ 0x63);
}

constexpr uint32_t word(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return uint32_t{b0} << 24 | uint32_t{b1} << 16 | uint32_t{b2} << 8 | b3;
}

constexpr uint32_t rotr32(uint32_t w, unsigned n) { return w >> n | w << (32 - n); }

constexpr AesTables make_tables() {
    AesTables t{};
    for (unsigned a = 0; a < 256; ++a) {
        const uint8_t s = sbox_entry(static_cast<uint8_t>(a));
        t.sbox[a] = s;
        t.invSbox[s] = static_cast<uint8_t>(a);
        t.xtime[a] = gf_xtime(static_cast<uint8_t>(a));
    }
    for (unsigned a = 0; a < 256; ++a) {
        const uint8_t s = t.sbox[a], v = t.invSbox[a];
        // MixColumns column (02 01 01 03), InvMixColumns column (0e 09 0d 0b).
        t.enc[0][a] = word(gf_mul(s, 2), s, s, gf_mul(s, 3));
        t.dec[0][a] = word(gf_mul(v, 14), gf_mul(v, 9), gf_mul(v, 13), gf_mul(v, 11));
        for (unsigned j = 1; j < 4; ++j) {
            t.enc[j][a] = rotr32(t.enc[0][a], 8 * j);
            t.dec[j][a] = rotr32(t.dec[0][a], 8 * j);
        }
        t.encLast[a] = s * 0x01010101u;
        t.decLast[a] = v * 0x01010101u;
    }
    uint8_t rc = 1;
    for (unsigned i = 0; i < 10; ++i, rc = gf_xtime(rc)) t.rcon[i] = uint32_t{rc} << 24;
    return t;
}

}  // namespace

constexpr AesTables aes_tables = make_tables();

// Spot checks against FIPS-197: S-box figure 7, the 0x57 x 0x13 example of
// section 4.2, and the last round constant.
static_assert(aes_tables.sbox[0x00] == 0x63 && aes_tables.sbox[0x53] == 0xED, "S-box");
static_assert(aes_tables.invSbox[0x63] == 0x00, "inverse S-box");
static_assert(gf_mul(0x57, 0x13) == 0xFE, "GF(2^8) multiplication");
static_assert(aes_tables.rcon[9] == 0x36000000, "round constants");
