/* A connection manager in miniature, as an embedding project writes one:
 * it includes only eapaka/eapaka.h, links only the library (libeapaka.so,
 * or eapaka.dll through its import library), and replays a conversation
 * whose network side and expected results an independent implementation
 * computed (conversation.cpp, on the test oracle's crypto). Compiled as C99
 * and as C++, on Linux and for Windows (mingw-w64 and Microsoft ABI).
 *
 *   eapaka_host CONVERSATION
 *
 * One step per line, hex in pairs:
 *   store HEX                 the key store's 395 bytes
 *   init LENGTH REALM         EAP_Init: permanent identity length and realm
 *   packet HEX RESULT HEX     EAP_layer must return RESULT and send a
 *                             response beginning with HEX ("-": none checked)
 *   msk HEX                   getAAA must give these 64 bytes
 *   hmac KEY DATA MAC         hmac_sha1 as the host calls it must give MAC
 * Any host event fails the run. Exit status 0 when every step passed.
 */
#include <eapaka/eapaka.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static unsigned char store[EAPAKA_KEB_SIZE];     /* the host's persistent copy */
static unsigned char exchange[EAPAKA_KEB_SIZE];  /* shared with the library */
static unsigned failures;

/* Key store: a load fills the whole buffer; a store keeps what the library
 * has just written. */
static void EAPAKA_CALL key_request(unsigned long request) {
    if (request == EAPAKA_AUTHKEY_LOAD) {
        memcpy(exchange, store, sizeof store);
    } else if (request == EAPAKA_AUTHKEY_STORE_PSEUDONYM) {
        memcpy(store + EAPAKA_KEB_PSEUDONYM, exchange + EAPAKA_KEB_PSEUDONYM,
               EAPAKA_KEB_SEQMS - EAPAKA_KEB_PSEUDONYM);
    } else if (request == EAPAKA_AUTHKEY_STORE_SEQMS) {
        memcpy(store + EAPAKA_KEB_SEQMS, exchange + EAPAKA_KEB_SEQMS,
               EAPAKA_KEB_SIZE - EAPAKA_KEB_SEQMS);
    }
}

static int EAPAKA_CALL host_event(unsigned int event, void* argument) {
    ++failures;
    printf("FAILED: unexpected event %u (%lu)\n", event, (unsigned long)(size_t)argument);
    return 0;
}

/* The next word of `file` as hex pairs into out: the byte count, 0 for "-",
 * -1 when it is missing, not whole pairs or more than capacity bytes. */
static int read_hex(FILE* file, unsigned char* out, int capacity) {
    static char word[2 * EAPAKA_REQUEST_MAX + 2];
    unsigned byte;
    int n;
    if (fscanf(file, "%2059s", word) != 1) return -1;
    if (strcmp(word, "-") == 0) return 0;
    if (strlen(word) % 2 != 0) return -1;
    for (n = 0; word[2 * n] != '\0'; ++n) {
        if (n == capacity || sscanf(word + 2 * n, "%2x", &byte) != 1) return -1;
        out[n] = (unsigned char)byte;
    }
    return n;
}

/* Runs the step named `step`; false when it does not give what it must. */
static int run_step(FILE* file, const char* step) {
    static char realm[EAPAKA_REALM_MAX + 1];
    unsigned char in[EAPAKA_REQUEST_MAX], expected[EAPAKA_REQUEST_MAX], out[EAPAKA_RESPONSE_MAX];
    unsigned short outLength = 0;
    int length, result, n;
    if (strcmp(step, "store") == 0) {
        RegisterAuthKeyCallBack(key_request, exchange);
        return read_hex(file, store, sizeof store) == EAPAKA_KEB_SIZE;
    }
    if (strcmp(step, "init") == 0) {
        if (fscanf(file, "%d %15s", &length, realm) != 2) return 0;
        EAP_Init(host_event, NULL, (unsigned char*)realm, length);
        return 1;
    }
    if (strcmp(step, "packet") == 0) {
        length = read_hex(file, in, sizeof in);
        if (length < 4 || fscanf(file, "%d", &result) != 1 || (n = read_hex(file, expected, EAPAKA_RESPONSE_MAX)) < 0)
            return 0;
        return EAP_layer(in, out, &outLength) == result && outLength >= n && outLength <= (int)sizeof out &&
               memcmp(out, expected, (size_t)n) == 0;
    }
    if (strcmp(step, "msk") == 0) {
        getAAA(out);
        return read_hex(file, expected, EAPAKA_MSK_SIZE) == EAPAKA_MSK_SIZE &&
               memcmp(out, expected, EAPAKA_MSK_SIZE) == 0;
    }
    if (strcmp(step, "hmac") == 0) {  /* key in `in`, data in `expected`, MAC last */
        length = read_hex(file, in, 64);
        n = read_hex(file, expected, 256);
        result = read_hex(file, out, 20);
        if (length < 0 || n < 0 || result < 1) return 0;
        hmac_sha1(in, length, expected, n, out + 20, result);
        return memcmp(out, out + 20, (size_t)result) == 0;
    }
    return 0;
}

int main(int argc, char** argv) {
    char step[8];
    unsigned steps = 0;
    FILE* file = argc == 2 ? fopen(argv[1], "r") : NULL;
    if (file == NULL) {
        printf("usage: %s CONVERSATION (readable)\n", argv[0]);
        return 2;
    }
    while (fscanf(file, "%7s", step) == 1) {
        if (!run_step(file, step)) {
            ++failures;
            printf("FAILED: step %u (%s)\n", steps + 1, step);
        }
        ++steps;
    }
    fclose(file);
    printf("%u steps, %u failed (eapaka %s)\n", steps, failures, EAPAKA_VERSION_STRING);
    return steps > 0 && failures == 0 ? 0 : 1;
}

#if defined(EAPAKA_HOST_ENTRY)
/* Microsoft-ABI build without its C run-time's start-up code: msvcrt.dll
 * initialises itself and hands over the command line. */
#ifdef __cplusplus
extern "C" {
#endif
int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int glob, int* startInfo);
void __cdecl eapaka_host_entry(void) {
    int argc = 0, startInfo = 0;
    char** argv = NULL;
    char** env = NULL;
    __getmainargs(&argc, &argv, &env, 0, &startInfo);
    exit(main(argc, argv));
}
#ifdef __cplusplus
}
#endif
#endif
