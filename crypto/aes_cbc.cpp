// AES-128-CBC without padding, as RFC 4187 section 10.12 uses it for the
// AT_ENCR_DATA contents (whole 16-byte blocks; AT_PADDING fills them).
#include <cstring>

#include "api/session.h"
#include "crypto/aes.h"

namespace {

constexpr unsigned kBlock = 16;
constexpr unsigned kKeyBytes = 16;
constexpr unsigned kEncryptOnly = 1, kBothSchedules = 2;

}  // namespace

// Encrypts the length / 16 whole blocks of data in place under the 16-byte
// key, chaining from a copy of iv; iv and the trailing length % 16 bytes
// are not changed. Rekeys g_session.aesCipher. A null key does nothing; a
// null iv or data (with whole blocks to do) changes no byte.
void aes_cbc_encrypt(const uint8_t key[16], const uint8_t iv[16], uint8_t* data,
                     unsigned length) {
    if (key == nullptr) return;
    AesCipher& aes = g_session.aesCipher;
    aes.setKey(key, kKeyBytes, kEncryptOnly);
    if (iv == nullptr || data == nullptr) return;
    uint8_t chain[kBlock];
    std::memcpy(chain, iv, kBlock);
    for (unsigned n = length / kBlock; n > 0; --n, data += kBlock) {
        for (unsigned i = 0; i < kBlock; ++i) chain[i] ^= data[i];
        aes.encryptBlock(chain, chain);
        std::memcpy(data, chain, kBlock);
    }
}

// Decrypts the length / 16 whole blocks of data in place; the same
// conventions as aes_cbc_encrypt.
void aes_cbc_decrypt(const uint8_t key[16], const uint8_t iv[16], uint8_t* data,
                     unsigned length) {
    if (key == nullptr) return;
    AesCipher& aes = g_session.aesCipher;
    aes.setKey(key, kKeyBytes, kBothSchedules);
    if (iv == nullptr || data == nullptr) return;
    uint8_t previous[kBlock];
    std::memcpy(previous, iv, kBlock);
    for (unsigned n = length / kBlock; n > 0; --n, data += kBlock) {
        uint8_t saved[kBlock];
        std::memcpy(saved, data, kBlock);
        aes.decryptBlock(data, data);
        for (unsigned i = 0; i < kBlock; ++i) data[i] ^= previous[i];
        std::memcpy(previous, saved, kBlock);
    }
}
