// The host side: drives the library through its public header only, as a
// connection manager does. It registers the key store (backed by the
// subscriber profile file), starts conversations with EAP_Init, hands every
// received packet to EAP_layer, runs the response timer from its own loop
// with EAP_DispatchTimers and poll(), and fetches the MSK with getAAA.
#ifndef EAPAKA_TOOLS_HOST_H
#define EAPAKA_TOOLS_HOST_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "eapaka/eapaka.h"
#include "tools/keystore_file.h"

namespace tool {

struct HostEvent {
    unsigned type;
    uintptr_t value;      // event 2: the code; event 0: the result record's result
    std::string text;     // event 1: the notification text
};

// One key-store request as the host served it.
struct KeyStoreNote {
    unsigned long request = 0;
    std::string pseudonym;                                  // store pseudonym: what was stored
    std::vector<std::pair<size_t, uint64_t>> seqChanges;    // store SEQ_MS: index, new SEQ
    std::string savedTo;                                    // the file written, if any
    std::string error;                                      // why it could not be saved

    const char* name() const;     // "load", "store pseudonym", "store SEQ_MS"
    std::string detail() const;   // "seq_ms[0] := 1 (saved to FILE)" and the like
};

// What the host reports while it works.
class HostObserver {
public:
    virtual ~HostObserver() = default;
    virtual void on_event(const HostEvent& event) = 0;
    virtual void on_keystore(const KeyStoreNote& note) = 0;
};

// The host's key store: the profile in memory, written back to its file
// (when it has one) on every store request before the callback returns.
class ProfileKeyStore {
public:
    ProfileKeyStore(const SubscriberProfile& profile, std::string path)
        : profile_(profile), path_(std::move(path)) {}

    void load(uint8_t* buffer) const { profile_.to_buffer(buffer); }
    // Takes the stored field from the buffer and persists it; `note` says
    // what changed. False when the file could not be written.
    bool store(const uint8_t* buffer, KeyStoreNote& note);

    const SubscriberProfile& profile() const { return profile_; }
    const std::string& path() const { return path_; }
    const std::string& last_error() const { return lastError_; }

private:
    SubscriberProfile profile_;
    std::string path_;
    std::string lastError_;
};

// Readable name of an event-2 code ("AUTN not authentic", "notification
// 32768 (success)", ...).
std::string status_code_name(uintptr_t code);
// Readable name of an EAP_layer result.
const char* layer_result_name(int result);

constexpr int RESPONSE_BUFFER_SIZE = 256;

class PeerHost {
public:
    PeerHost(ProfileKeyStore& store, HostObserver* observer);
    ~PeerHost();
    PeerHost(const PeerHost&) = delete;
    PeerHost& operator=(const PeerHost&) = delete;

    // EAP_Init for a new conversation (the store is registered once).
    void start(const std::string& realm, int permanentIdLength);
    // EAP_layer on a copy of `packet`; `response` receives the reply, if any.
    int deliver(const Bytes& packet, Bytes& response);
    void msk(uint8_t out[64]) const;
    // Runs the library's timers from a poll() loop until `done` holds or
    // maxMs have passed; false on the time limit.
    bool run_timers(int maxMs, const std::function<bool()>& done);

    std::vector<HostEvent> events;        // since the last start()
    std::vector<unsigned long> requests;  // key-store requests since start()
    bool storeFailed = false;

private:
    static void key_callback(unsigned long request);
    static int event_callback(unsigned int event, void* argument);

    ProfileKeyStore& store_;
    HostObserver* observer_;
    uint8_t buffer_[EAPAKA_KEB_SIZE] = {};
    static PeerHost* current_;
};

}  // namespace tool

#endif
