// The host side shared by the fuzz targets and the corpus generator: one
// fixed subscriber behind the key-store callback, a fake clock for the
// response timer, and the record format of a conversation input.
//
// Conversation input: a sequence of records, each a 2-byte big-endian
// length followed by that many bytes of one EAP packet (wire order). Four
// lengths are actions instead of packets:
//   0xFFFF     the response timer's 10 seconds pass (the timer fires if armed)
//   0xFFFE n   EAP_Init starts a new conversation, with the next byte as a
//              signed permanent-identity length (so -128..127 are tried)
//   0xFFFD     the key store is unregistered (null callback and buffer)
//   0xFFFC f f EAP_SetCompatibility with the next two bytes (big-endian)
//              as the flags
// A final record shorter than its length takes what is left.
//
// Besides the library's promises to every host (fuzz_host_feed), the host
// checks what EAP_COMPAT_STRICT_SUCCESS promises while it is set: no
// success result (3, 13, 23) and no time-out taken as success unless an
// AKA-Challenge or AKA-Reauthentication was accepted (result 17, which only
// a verified AT_MAC gives) in the same exchange.
#ifndef EAPAKA_FUZZ_FUZZ_HOST_H
#define EAPAKA_FUZZ_FUZZ_HOST_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "eapaka/eapaka.h"

constexpr uint16_t FUZZ_RECORD_TIMER = 0xFFFF;
constexpr uint16_t FUZZ_RECORD_INIT = 0xFFFE;
constexpr uint16_t FUZZ_RECORD_NO_KEY_STORE = 0xFFFD;
constexpr uint16_t FUZZ_RECORD_COMPATIBILITY = 0xFFFC;
constexpr size_t FUZZ_RECORD_HEADER = 2;

// The subscriber the simulated network provisions by default (TS 35.208
// test set 1 as the main key set, set 3 as the alternate one, standard
// Milenage, identity "0001010123456789"), so that the network's captured
// requests authenticate when replayed. Its realm and permanent-identity
// length are the tool's defaults.
extern const char FUZZ_REALM[];
constexpr int FUZZ_PERMANENT_ID_LENGTH = 16;

// Writes that subscriber's key store contents into a 395-byte buffer.
void fuzz_host_fill_subscriber(uint8_t buffer[EAPAKA_KEB_SIZE]);

// What the host saw in the last call, for the generator's report.
struct FuzzHostLog {
    unsigned events;
    unsigned keyRequests;
};
extern FuzzHostLog g_fuzz_log;

// Puts the library back to its load state, refills the key store with the
// fixed subscriber (fresh SQN array), switches the trace off, installs the
// fake clock and the callbacks, and calls EAP_Init.
void fuzz_host_start();

// Hands one packet to EAP_layer the way a host honouring the library's
// contract does: the buffer holds at least the 4-byte header and at least
// what the packet's Length field claims (zero-filled past the given bytes),
// and not one byte more, so any read past the claimed Length is caught.
// Checks what comes back (result code, response size and Length) and aborts
// on anything the library promises never to do. Returns the result.
int fuzz_host_feed(const uint8_t* packet, size_t size);

// Lets the response timer's period pass and runs the due timers.
void fuzz_host_timer_expiry();

// Runs one conversation input (record format above) from a fresh start.
void fuzz_host_run_conversation(const uint8_t* data, size_t size);

// The record that sets the compatibility flags, for the corpus generators.
std::vector<uint8_t> fuzz_compatibility_record(unsigned flags);

// Writes a seed file for the corpus generators; false when it could not.
bool fuzz_write_seed(const std::string& path, const std::vector<uint8_t>& bytes);

#endif
