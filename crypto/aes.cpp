// TEMPORARY STUB
#include "crypto/aes.h"
AesCipher::AesCipher() : roundCount(0), encryptSchedule(), decryptSchedule() {}
unsigned AesCipher::blockSizeBits() const { return 128; }
unsigned AesCipher::blockSizeBytes() const { return 16; }
unsigned AesCipher::keySizeBits() const { return 0; }
unsigned AesCipher::keySizeBytes() const { return 0; }
void AesCipher::setKey(const uint8_t*, unsigned, unsigned) {}
void AesCipher::encryptBlock(const uint8_t[16], uint8_t[16]) const {}
void AesCipher::decryptBlock(const uint8_t[16], uint8_t[16]) const {}
AesCipher::~AesCipher() {}
void aes_cbc_encrypt(const uint8_t[16], const uint8_t[16], uint8_t*, unsigned) {}
void aes_cbc_decrypt(const uint8_t[16], const uint8_t[16], uint8_t*, unsigned) {}
