// AES (FIPS-197) in the 32-bit table form: each inner round is four table
// lookups and XORs per column; the 12- and 14-round tails run only for
// 192- and 256-bit keys. Decryption uses the equivalent inverse cipher
// (FIPS-197 5.3.5), so it has the same shape as encryption.
#include "crypto/aes.h"

#include "crypto/aes_tables.h"
#include "crypto/byte_order.h"

namespace {

constexpr unsigned kBlockBytes = 16;
constexpr unsigned kRounds128 = 10, kRounds192 = 12, kRounds256 = 14;
// Any non-zero direction sets up encryption; bit 1 adds the decryption schedule.
constexpr unsigned kDirectionDecrypt = 2;

const AesTables& T = aes_tables;

inline unsigned byte_of(uint32_t w, unsigned row) { return (w >> (24 - 8 * row)) & 0xFF; }

bool usable_round_count(uint32_t rounds) {
    return rounds == kRounds128 || rounds == kRounds192 || rounds == kRounds256;
}

// One inner round: SubBytes, ShiftRows and MixColumns as table lookups (row
// j of column c comes from column c + j), then AddRoundKey.
inline void encrypt_round(const uint32_t in[4], uint32_t out[4], const uint32_t* rk) {
    for (unsigned c = 0; c < 4; ++c)
        out[c] = T.enc[0][byte_of(in[c], 0)] ^ T.enc[1][byte_of(in[(c + 1) & 3], 1)] ^
                 T.enc[2][byte_of(in[(c + 2) & 3], 2)] ^ T.enc[3][byte_of(in[(c + 3) & 3], 3)] ^
                 rk[c];
}

// The inverse round: InvShiftRows takes row j of column c from column c - j.
inline void decrypt_round(const uint32_t in[4], uint32_t out[4], const uint32_t* rk) {
    for (unsigned c = 0; c < 4; ++c)
        out[c] = T.dec[0][byte_of(in[c], 0)] ^ T.dec[1][byte_of(in[(c + 3) & 3], 1)] ^
                 T.dec[2][byte_of(in[(c + 2) & 3], 2)] ^ T.dec[3][byte_of(in[(c + 1) & 3], 3)] ^
                 rk[c];
}

// The final round has no (Inv)MixColumns: one S-box byte per row.
inline void last_round(const uint32_t in[4], uint8_t* output, const uint32_t* rk,
                       const uint32_t* table, unsigned shift1, unsigned shift3) {
    for (unsigned c = 0; c < 4; ++c) {
        const uint32_t w = (table[byte_of(in[c], 0)] & 0xFF000000) ^
                           (table[byte_of(in[(c + shift1) & 3], 1)] & 0x00FF0000) ^
                           (table[byte_of(in[(c + 2) & 3], 2)] & 0x0000FF00) ^
                           (table[byte_of(in[(c + shift3) & 3], 3)] & 0x000000FF);
        store_be32(output + 4 * c, w ^ rk[c]);
    }
}

// The rounds shared by both directions: 9 inner rounds, then 2 or 4 more
// for the longer keys, each pair ending back in `t`.
template <void (*Round)(const uint32_t*, uint32_t*, const uint32_t*)>
inline void inner_rounds(uint32_t s[4], uint32_t t[4], const uint32_t* rk, uint32_t rounds) {
    Round(s, t, rk + 4);
    Round(t, s, rk + 8);
    Round(s, t, rk + 12);
    Round(t, s, rk + 16);
    Round(s, t, rk + 20);
    Round(t, s, rk + 24);
    Round(s, t, rk + 28);
    Round(t, s, rk + 32);
    Round(s, t, rk + 36);
    if (rounds > kRounds128) {
        Round(t, s, rk + 40);
        Round(s, t, rk + 44);
        if (rounds > kRounds192) {
            Round(t, s, rk + 48);
            Round(s, t, rk + 52);
        }
    }
}

// A whole block in either direction: the first AddRoundKey, the inner
// rounds, and the final round whose S-box table and row shifts are given.
template <void (*Round)(const uint32_t*, uint32_t*, const uint32_t*)>
inline void run_rounds(const uint32_t* rk, uint32_t rounds, const uint32_t* lastTable,
                       unsigned shift1, unsigned shift3, const uint8_t* input, uint8_t* output) {
    if (!usable_round_count(rounds)) {
        for (unsigned i = 0; i < kBlockBytes; ++i) output[i] = 0;
        return;
    }
    uint32_t s[4], t[4];
    for (unsigned c = 0; c < 4; ++c) s[c] = load_be32(input + 4 * c) ^ rk[c];
    inner_rounds<Round>(s, t, rk, rounds);
    last_round(t, output, rk + 4 * rounds, lastTable, shift1, shift3);
}

// Applies InvMixColumns to one schedule word; the tables fold in the
// inverse S-box, so the S-box is applied first to cancel it.
uint32_t inv_mix_column(uint32_t w) {
    return T.dec[0][T.sbox[byte_of(w, 0)]] ^ T.dec[1][T.sbox[byte_of(w, 1)]] ^
           T.dec[2][T.sbox[byte_of(w, 2)]] ^ T.dec[3][T.sbox[byte_of(w, 3)]];
}

uint32_t sub_word(uint32_t w) {
    return uint32_t{T.sbox[byte_of(w, 0)]} << 24 | uint32_t{T.sbox[byte_of(w, 1)]} << 16 |
           uint32_t{T.sbox[byte_of(w, 2)]} << 8 | T.sbox[byte_of(w, 3)];
}

// Stores zeros through a volatile pointer so that the wipe is not dropped as
// a dead store when the object's lifetime ends right after it.
void wipe_words(uint32_t* words, unsigned count) {
    volatile uint32_t* p = words;
    for (unsigned i = 0; i < count; ++i) p[i] = 0;
}

}  // namespace

AesCipher::AesCipher() : roundCount(0), encryptSchedule(), decryptSchedule() {}

// Always 128: AES has one block size.
unsigned AesCipher::blockSizeBits() const { return 8 * kBlockBytes; }

// Always 16.
unsigned AesCipher::blockSizeBytes() const { return kBlockBytes; }

// 128, 192 or 256 for the loaded key; 0 when no key is loaded.
unsigned AesCipher::keySizeBits() const {
    return usable_round_count(roundCount) ? (roundCount - 6) * 32 : 0;
}

// 16, 24 or 32 for the loaded key; 0 when no key is loaded.
unsigned AesCipher::keySizeBytes() const {
    return usable_round_count(roundCount) ? roundCount * 4 - 24 : 0;
}

// keyLength 16, 24 or 32 counts bytes, anything else bits. Direction 0
// changes nothing; otherwise the encryption schedule is expanded (FIPS-197
// 5.2) and, when bit 1 is set, the decryption schedule derived from it. A
// length other than 128, 192 or 256 bits, or a null key, leaves roundCount
// 0 and reads no key byte.
void AesCipher::setKey(const uint8_t* key, unsigned keyLength, unsigned direction) {
    if (direction == 0) return;
    const unsigned bits = (keyLength == 16 || keyLength == 24 || keyLength == 32) ? keyLength * 8
                                                                                   : keyLength;
    if (key == nullptr || (bits != 128 && bits != 192 && bits != 256)) {
        roundCount = 0;
        return;
    }
    const unsigned nk = bits / 32;
    roundCount = nk + 6;
    const unsigned words = 4 * (roundCount + 1);
    uint32_t* w = encryptSchedule;
    for (unsigned i = 0; i < nk; ++i) w[i] = load_be32(key + 4 * i);
    for (unsigned i = nk; i < words; ++i) {
        uint32_t temp = w[i - 1];
        if (i % nk == 0)
            temp = sub_word(temp << 8 | temp >> 24) ^ T.rcon[i / nk - 1];
        else if (nk > 6 && i % nk == 4)
            temp = sub_word(temp);
        w[i] = w[i - nk] ^ temp;
    }

    if (!(direction & kDirectionDecrypt)) return;
    // Equivalent inverse cipher: round keys in reverse order, InvMixColumns
    // on all but the first and last.
    for (unsigned r = 0; r <= roundCount; ++r) {
        const uint32_t* from = encryptSchedule + 4 * (roundCount - r);
        uint32_t* to = decryptSchedule + 4 * r;
        const bool outer = r == 0 || r == roundCount;
        for (unsigned c = 0; c < 4; ++c) to[c] = outer ? from[c] : inv_mix_column(from[c]);
    }
}

// Encrypts one 16-byte block with the loaded key; input may equal output.
// Without a usable key the output is 16 zero bytes.
void AesCipher::encryptBlock(const uint8_t input[16], uint8_t output[16]) const {
    run_rounds<encrypt_round>(encryptSchedule, roundCount, T.encLast, 1, 3, input, output);
}

// Decrypts one 16-byte block with the decryption schedule (set up by
// setKey with direction 2 or 3); input may equal output. Without a usable
// key the output is 16 zero bytes.
void AesCipher::decryptBlock(const uint8_t input[16], uint8_t output[16]) const {
    run_rounds<decrypt_round>(decryptSchedule, roundCount, T.decLast, 3, 1, input, output);
}

// Wipes the key material: the process-wide instance is destroyed at unload.
// Every store goes through a volatile pointer: plain stores to an object
// whose lifetime is ending are dead to the optimiser and would be dropped.
AesCipher::~AesCipher() {
    wipe_words(&roundCount, 1);
    wipe_words(encryptSchedule, sizeof encryptSchedule / sizeof encryptSchedule[0]);
    wipe_words(decryptSchedule, sizeof decryptSchedule / sizeof decryptSchedule[0]);
}
