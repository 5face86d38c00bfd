// The state is a 4 x 4 byte array filled column by column (input byte i in
// row i mod 4, column i / 4), as in FIPS-197 3.4.
#include "crypto/milenage_kernel.h"

#include "api/session.h"
#include "crypto/aes_tables.h"

namespace {

constexpr unsigned kRounds = 10;
using State = uint8_t[4][4];

void add_round_key(State state, unsigned round) {
    const uint8_t(&key)[4][4] = g_session.milenageRoundKeys[round];
    for (unsigned row = 0; row < 4; ++row)
        for (unsigned col = 0; col < 4; ++col) state[row][col] ^= key[row][col];
}

void sub_bytes(State state) {
    for (unsigned row = 0; row < 4; ++row)
        for (unsigned col = 0; col < 4; ++col) state[row][col] = aes_tables.sbox[state[row][col]];
}

// Row r moves r positions to the left.
void shift_rows(State state) {
    for (unsigned row = 1; row < 4; ++row) {
        uint8_t shifted[4];
        for (unsigned col = 0; col < 4; ++col) shifted[col] = state[row][(col + row) & 3];
        for (unsigned col = 0; col < 4; ++col) state[row][col] = shifted[col];
    }
}

// Each output byte 2a_i + 3a_{i+1} + a_{i+2} + a_{i+3} is written as
// a_i + (a_0 + a_1 + a_2 + a_3) + x(a_i + a_{i+1}), one table lookup each.
void mix_columns(State state) {
    const uint8_t* xtime = aes_tables.xtime;
    for (unsigned col = 0; col < 4; ++col) {
        const uint8_t a[4] = {state[0][col], state[1][col], state[2][col], state[3][col]};
        const uint8_t all = a[0] ^ a[1] ^ a[2] ^ a[3];
        for (unsigned row = 0; row < 4; ++row)
            state[row][col] = a[row] ^ all ^ xtime[a[row] ^ a[(row + 1) & 3]];
    }
}

}  // namespace

void rijndael_key_schedule(const uint8_t key[16]) {
    uint8_t(*rk)[4][4] = g_session.milenageRoundKeys;
    for (unsigned i = 0; i < 16; ++i) rk[0][i & 3][i >> 2] = key[i];
    uint8_t roundConstant = 1;
    for (unsigned r = 1; r <= kRounds; ++r) {
        // First column: SubWord(RotWord(last column of the previous key)),
        // the round constant in row 0, plus the previous first column.
        for (unsigned row = 0; row < 4; ++row)
            rk[r][row][0] = aes_tables.sbox[rk[r - 1][(row + 1) & 3][3]] ^ rk[r - 1][row][0];
        rk[r][0][0] ^= roundConstant;
        for (unsigned col = 1; col < 4; ++col)
            for (unsigned row = 0; row < 4; ++row)
                rk[r][row][col] = rk[r][row][col - 1] ^ rk[r - 1][row][col];
        roundConstant = aes_tables.xtime[roundConstant];
    }
}

void rijndael_encrypt(const uint8_t input[16], uint8_t output[16]) {
    uint8_t state[4][4];
    for (unsigned i = 0; i < 16; ++i) state[i & 3][i >> 2] = input[i];
    add_round_key(state, 0);
    for (unsigned r = 1; r < kRounds; ++r) {
        sub_bytes(state);
        shift_rows(state);
        mix_columns(state);
        add_round_key(state, r);
    }
    sub_bytes(state);
    shift_rows(state);
    add_round_key(state, kRounds);
    for (unsigned i = 0; i < 16; ++i) output[i] = state[i & 3][i >> 2];
}
