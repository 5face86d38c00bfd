/* Preloaded into a host to show that the library's own calls of hmac_sha1
 * stay inside it: this definition, as another library in the host process
 * might carry one, answers every caller that binds to it with a fixed
 * pattern instead of a MAC. */
#include <string.h>

enum { INTERPOSED_MAC_BYTE = 0xA5, SHA1_MAC_SIZE = 20 };

void hmac_sha1(const void* key, int keyLength, const void* data, int dataLength,
               unsigned char* mac, int macLength) {
    (void)key;
    (void)keyLength;
    (void)data;
    (void)dataLength;
    if (mac != NULL && macLength > 0)
        memset(mac, INTERPOSED_MAC_BYTE, macLength < SHA1_MAC_SIZE ? (size_t)macLength : SHA1_MAC_SIZE);
}
