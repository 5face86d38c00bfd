// The Milenage kernel function E_K: AES-128 encryption in the byte-oriented
// form of the TS 35.206 example code, with its round keys in
// g_session.milenageRoundKeys ([round][row][column]).
#ifndef EAPAKA_CRYPTO_MILENAGE_KERNEL_H
#define EAPAKA_CRYPTO_MILENAGE_KERNEL_H

#include <cstdint>

// Expands the 16-byte key into the 11 round keys of g_session.
void rijndael_key_schedule(const uint8_t key[16]);

// One block through the 10 rounds with g_session's round keys; input and
// output may be the same buffer.
void rijndael_encrypt(const uint8_t input[16], uint8_t output[16]);

#endif
