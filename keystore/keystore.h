// The host key store: one callback and one shared 395-byte buffer through
// which the subscriber's identity, keys, Milenage constants, pseudonym and
// SQN array reach the library (load requests) and leave it (store requests).
#ifndef EAPAKA_KEYSTORE_KEYSTORE_H
#define EAPAKA_KEYSTORE_KEYSTORE_H

#include <cstdint>

#include "eapaka/eapaka.h"

constexpr unsigned long AUTHKEY_LOAD = EAPAKA_AUTHKEY_LOAD;
constexpr unsigned long AUTHKEY_STORE_PSEUDONYM = EAPAKA_AUTHKEY_STORE_PSEUDONYM;
constexpr unsigned long AUTHKEY_STORE_SEQMS = EAPAKA_AUTHKEY_STORE_SEQMS;
constexpr unsigned PSEUDONYM_SIZE = 23;
constexpr unsigned PERMANENT_ID_SIZE = 16;

// Each load issues one AUTHKEY_LOAD and copies out of the buffer right after
// the callback returns.
void keystore_load_permanent_id(uint8_t out[16]);
void keystore_load_pseudonym(uint8_t out[23]);
void keystore_load_key_set(uint8_t k[16]);      // K to k, OPc to g_session.opc
void keystore_load_alt_key_set(uint8_t k[16]);  // K_alt to k, OPc_alt to g_session.opc
void keystore_load_milenage_c();                // c1..c5 to g_session.milenageC
void keystore_load_milenage_r();                // r1..r5 to g_session.milenageR
void keystore_load_seqms();                     // SEQ_MS array to g_session.seqms

// Stores write the buffer first, then issue the store request.
void keystore_store_pseudonym(const uint8_t* source);  // first 23 bytes
void keystore_store_seq_entry(unsigned index, const uint8_t entry[6]);

#endif
