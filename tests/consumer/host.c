/* A connection manager in miniature, as an embedding project writes one:
 * it includes only eapaka/eapaka.h, links only the library (libeapaka.so,
 * or eapaka.dll through its import library), and replays a conversation
 * whose network side and expected results an independent implementation
 * computed (conversation.cpp, on the test oracle's crypto). Compiled as C99
 * and as C++, on Linux and for Windows (mingw-w64 and Microsoft ABI).
 *
 *   eapaka_host CONVERSATION
 *
 * One step per line ('#' starts a comment, hex in pairs):
 *   store HEX                 the key store's 395 bytes
 *   init LENGTH REALM         EAP_Init: permanent identity length and realm
 *   packet HEX RESULT [HEX]   EAP_layer must return RESULT and, when a
 *                             response is given, send one beginning with it
 *   msk HEX                   getAAA must give these 64 bytes
 *   hmac KEY DATA MAC         hmac_sha1 as the host calls it must give MAC
 * Any host event fails the run. Exit status 0 when every step passed.
 */
#include <eapaka/eapaka.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { LINE_MAX_CHARS = 4 * EAPAKA_REQUEST_MAX + 64 };

static unsigned char store[EAPAKA_KEB_SIZE];     /* the host's persistent copy */
static unsigned char exchange[EAPAKA_KEB_SIZE];  /* shared with the library */
static unsigned events;
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
    ++events;
    printf("FAILED: unexpected event %u (%lu)\n", event,
           event == EAPAKA_EVENT_STATUS ? (unsigned long)(size_t)argument : 0ul);
    return 0;
}

static char* next_word(void) { return strtok(NULL, " \t\r\n"); }

/* Decodes a word of hex pairs into out (at most capacity bytes); returns
 * the byte count, or -1 when it is missing, not whole pairs or too long. */
static int decode_hex(const char* word, unsigned char* out, int capacity) {
    int n = 0;
    if (word == NULL || strlen(word) % 2 != 0) return -1;
    for (; word[2 * n] != '\0'; ++n) {
        char pair[3];
        char* end;
        if (n == capacity) return -1;
        pair[0] = word[2 * n];
        pair[1] = word[2 * n + 1];
        pair[2] = '\0';
        out[n] = (unsigned char)strtoul(pair, &end, 16);
        if (*end != '\0') return -1;
    }
    return n;
}

static void check(int ok, unsigned line, const char* what) {
    if (!ok) {
        ++failures;
        printf("FAILED: line %u: %s\n", line, what);
    }
}

static void step_store(unsigned line) {
    check(decode_hex(next_word(), store, sizeof store) == EAPAKA_KEB_SIZE, line, "store: 395 bytes");
    RegisterAuthKeyCallBack(key_request, exchange);
}

static void step_init(unsigned line) {
    static char realm[EAPAKA_REALM_MAX + 1];
    const char* length = next_word();
    const char* text = next_word();
    if (length == NULL || text == NULL || strlen(text) > EAPAKA_REALM_MAX) {
        check(0, line, "init: LENGTH REALM");
        return;
    }
    strcpy(realm, text);
    EAP_Init(host_event, NULL, (unsigned char*)realm, atoi(length));
}

static void step_packet(unsigned line) {
    unsigned char packet[EAPAKA_REQUEST_MAX];
    unsigned char expected[EAPAKA_RESPONSE_MAX];
    unsigned char out[EAPAKA_RESPONSE_MAX];
    unsigned short outLength = 0;
    const int packetLength = decode_hex(next_word(), packet, sizeof packet);
    const char* result = next_word();
    const char* response = next_word();
    const int expectedLength = decode_hex(response, expected, sizeof expected);
    int got;
    if (packetLength < 4 || result == NULL) {
        check(0, line, "packet: HEX RESULT [RESPONSE]");
        return;
    }
    got = EAP_layer(packet, out, &outLength);
    if (got != atoi(result)) {
        printf("FAILED: line %u: EAP_layer returned %d, expected %s\n", line, got, result);
        ++failures;
        return;
    }
    if (response != NULL && !(expectedLength > 0 && outLength >= expectedLength &&
                              outLength <= (int)sizeof out &&
                              memcmp(out, expected, (size_t)expectedLength) == 0)) {
        unsigned i;
        check(0, line, "the response differs; it was:");
        for (i = 0; i < outLength && i < sizeof out; ++i) printf("%02x", out[i]);
        printf("\n");
    }
}

static void step_msk(unsigned line) {
    unsigned char expected[EAPAKA_MSK_SIZE];
    unsigned char msk[EAPAKA_MSK_SIZE];
    const int length = decode_hex(next_word(), expected, sizeof expected);
    getAAA(msk);
    check(length == EAPAKA_MSK_SIZE && memcmp(msk, expected, sizeof msk) == 0, line,
          "getAAA differs from the MSK the network derived");
}

static void step_hmac(unsigned line) {
    unsigned char key[64], data[256], expected[20], mac[20];
    const int keyLength = decode_hex(next_word(), key, sizeof key);
    const int dataLength = decode_hex(next_word(), data, sizeof data);
    const int macLength = decode_hex(next_word(), expected, sizeof expected);
    if (keyLength < 0 || dataLength < 0 || macLength < 1) {
        check(0, line, "hmac: KEY DATA MAC");
        return;
    }
    hmac_sha1(key, keyLength, data, dataLength, mac, macLength);
    check(memcmp(mac, expected, (size_t)macLength) == 0, line, "hmac_sha1 differs");
}

static int run(FILE* file) {
    static char text[LINE_MAX_CHARS];
    unsigned line = 0;
    unsigned steps = 0;
    while (fgets(text, sizeof text, file) != NULL) {
        const char* word = strtok(text, " \t\r\n");
        ++line;
        if (word == NULL || word[0] == '#') continue;
        ++steps;
        if (strcmp(word, "store") == 0) {
            step_store(line);
        } else if (strcmp(word, "init") == 0) {
            step_init(line);
        } else if (strcmp(word, "packet") == 0) {
            step_packet(line);
        } else if (strcmp(word, "msk") == 0) {
            step_msk(line);
        } else if (strcmp(word, "hmac") == 0) {
            step_hmac(line);
        } else {
            check(0, line, "unknown step");
        }
    }
    check(steps > 0, line, "no step in the conversation");
    check(events == 0, line, "host events during the conversation");
    printf("%u steps, %u failed (eapaka %s)\n", steps, failures, EAPAKA_VERSION_STRING);
    return failures == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
    FILE* file;
    int status;
    if (argc != 2) {
        printf("usage: %s CONVERSATION\n", argv[0]);
        return 2;
    }
    file = fopen(argv[1], "r");
    if (file == NULL) {
        printf("FAILED: cannot open %s\n", argv[1]);
        return 1;
    }
    status = run(file);
    fclose(file);
    return status;
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
