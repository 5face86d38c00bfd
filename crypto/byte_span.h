// A run of bytes handed to a hash or MAC without copying: the byte string a
// key derivation hashes is the concatenation of such runs.
#ifndef EAPAKA_CRYPTO_BYTE_SPAN_H
#define EAPAKA_CRYPTO_BYTE_SPAN_H

#include <cstddef>
#include <cstdint>

struct ByteSpan {
    const uint8_t* bytes;
    size_t length;
};

#endif
