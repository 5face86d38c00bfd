// AES (FIPS-197) block cipher with 128/192/256-bit keys, and AES-128-CBC
// as RFC 4187 uses it for AT_ENCR_DATA.
#ifndef EAPAKA_CRYPTO_AES_H
#define EAPAKA_CRYPTO_AES_H

#include <cstdint>

class AesCipher {
public:
    AesCipher();
    virtual unsigned blockSizeBits() const;
    virtual unsigned blockSizeBytes() const;
    virtual unsigned keySizeBits() const;
    virtual unsigned keySizeBytes() const;
    // keyLength 16/24/32 is in bytes, anything else in bits. direction 0
    // changes nothing, bit 0 expands the encryption schedule, bit 1 also
    // derives the decryption schedule. An unsupported length leaves
    // roundCount 0.
    virtual void setKey(const uint8_t* key, unsigned keyLength, unsigned direction);
    // One block; input and output may be the same buffer.
    virtual void encryptBlock(const uint8_t input[16], uint8_t output[16]) const;
    virtual void decryptBlock(const uint8_t input[16], uint8_t output[16]) const;
    // Wipes both schedules.
    virtual ~AesCipher();

    uint32_t roundCount;
    uint32_t encryptSchedule[60];
    uint32_t decryptSchedule[60];
};

// CBC over the length/16 whole blocks of data, in place, with the session's
// aesCipher keyed by the 16-byte key; trailing bytes and iv are untouched.
void aes_cbc_encrypt(const uint8_t key[16], const uint8_t iv[16], uint8_t* data, unsigned length);
void aes_cbc_decrypt(const uint8_t key[16], const uint8_t iv[16], uint8_t* data, unsigned length);

#endif
