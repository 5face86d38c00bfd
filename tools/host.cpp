// Only the public header of the library is used here.
#include "tools/host.h"

#include <poll.h>

#include <chrono>
#include <cstring>

namespace tool {

PeerHost* PeerHost::current_ = nullptr;

const char* KeyStoreNote::name() const {
    switch (request) {
    case EAPAKA_AUTHKEY_LOAD: return "load";
    case EAPAKA_AUTHKEY_STORE_PSEUDONYM: return "store pseudonym";
    case EAPAKA_AUTHKEY_STORE_SEQMS: return "store SEQ_MS";
    default: return "unknown request";
    }
}

std::string KeyStoreNote::detail() const {
    std::string text;
    if (request == EAPAKA_AUTHKEY_STORE_PSEUDONYM) text = "pseudonym := \"" + pseudonym + "\"";
    for (const auto& change : seqChanges) {
        text += (text.empty() ? "" : ", ") + std::string("seq_ms[") + std::to_string(change.first) +
                "] := " + std::to_string(change.second);
    }
    if (request == EAPAKA_AUTHKEY_STORE_SEQMS && seqChanges.empty()) text = "seq_ms unchanged";
    if (!savedTo.empty()) text += " (saved to " + savedTo + ")";
    if (!error.empty()) text += " FAILED: " + error;
    return text;
}

bool ProfileKeyStore::store(const uint8_t* buffer, KeyStoreNote& note) {
    SubscriberProfile before = profile_;
    if (note.request == EAPAKA_AUTHKEY_STORE_PSEUDONYM) {
        profile_.take_pseudonym(buffer);
        note.pseudonym = profile_.pseudonym_text();
    } else if (note.request == EAPAKA_AUTHKEY_STORE_SEQMS) {
        profile_.take_seqms(buffer);
        for (size_t i = 0; i < PROFILE_SEQ_ENTRIES; ++i) {
            if (profile_.seqMs[i] != before.seqMs[i]) note.seqChanges.emplace_back(i, profile_.seqMs[i]);
        }
    } else {
        note.error = "unknown request";
        return false;
    }
    if (path_.empty()) return true;
    if (!profile_save(path_, profile_, ProfileKind::Peer, note.error)) {
        lastError_ = note.error;
        return false;
    }
    note.savedTo = path_;
    return true;
}

std::string status_code_name(uintptr_t code) {
    switch (code) {
    case EAPAKA_FAIL_INVALID_AUTN: return "AUTN not authentic";
    case EAPAKA_FAIL_MALFORMED_ATTRIBUTE: return "malformed attribute";
    case EAPAKA_FAIL_DUPLICATE_ATTRIBUTE: return "duplicated attribute";
    case EAPAKA_FAIL_MANDATORY_ATTRIBUTE_MISSING: return "mandatory attribute missing";
    case EAPAKA_FAIL_INVALID_SUBTYPE: return "subtype not valid now";
    case EAPAKA_FAIL_INVALID_MAC: return "AT_MAC does not verify";
    case EAPAKA_FAIL_INVALID_CHECKCODE: return "AT_CHECKCODE does not match";
    case EAPAKA_FAIL_INVALID_PADDING: return "invalid AT_PADDING";
    case EAPAKA_FAIL_SERVER_DOWN: return "server silent (response timer)";
    case EAPAKA_FAIL_INVALID_SQN: return "SQN out of range";
    default:
        if (code <= 0xFFFF) {
            return "notification " + std::to_string(code) + (code == 0x8000 ? " (success)" : " (failure)");
        }
        return "code " + std::to_string(code);
    }
}

const char* layer_result_name(int result) {
    switch (result) {
    case EAPAKA_RESULT_RESPONSE: return "send response";
    case EAPAKA_RESULT_AUTH_RESPONSE: return "send authentication response";
    case EAPAKA_RESULT_SUCCESS_PSEUDONYM: return "EAP-Success (pseudonym identity)";
    case EAPAKA_RESULT_SUCCESS_PERMANENT: return "EAP-Success (permanent identity)";
    case EAPAKA_RESULT_SUCCESS_ALT_KEYS: return "EAP-Success (alternate key set)";
    case EAPAKA_RESULT_FAILURE: return "EAP-Failure";
    case EAPAKA_RESULT_DROPPED: return "dropped";
    default: return "unknown result";
    }
}

PeerHost::PeerHost(ProfileKeyStore& store, HostObserver* observer)
    : store_(store), observer_(observer) {
    current_ = this;
    RegisterAuthKeyCallBack(&PeerHost::key_callback, buffer_);
}

PeerHost::~PeerHost() {
    if (current_ == this) current_ = nullptr;
}

void PeerHost::start(const std::string& realm, int permanentIdLength) {
    current_ = this;
    events.clear();
    requests.clear();
    std::vector<unsigned char> text(realm.begin(), realm.end());
    text.push_back(0);
    EAP_Init(&PeerHost::event_callback, nullptr, text.data(), permanentIdLength);
}

int PeerHost::deliver(const Bytes& packet, Bytes& response) {
    // EAP_layer rewrites the Length in place: hand it a copy.
    Bytes in = packet;
    unsigned char out[RESPONSE_BUFFER_SIZE] = {};
    unsigned short outLength = 0;
    int result = EAP_layer(in.data(), out, &outLength);
    response.clear();
    if (result == EAPAKA_RESULT_RESPONSE || result == EAPAKA_RESULT_AUTH_RESPONSE) {
        response.assign(out, out + std::min<size_t>(outLength, RESPONSE_BUFFER_SIZE));
    }
    return result;
}

void PeerHost::msk(uint8_t out[64]) const { getAAA(out); }

bool PeerHost::run_timers(int maxMs, const std::function<bool()>& done) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(maxMs);
    for (;;) {
        int next = EAP_DispatchTimers();
        if (done()) return true;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        int wait = next < 0 ? static_cast<int>(left) : std::min<int>(next, static_cast<int>(left));
        ::poll(nullptr, 0, wait);
    }
}

void PeerHost::key_callback(unsigned long request) {
    PeerHost* self = current_;
    if (self == nullptr) return;
    self->requests.push_back(request);
    KeyStoreNote note;
    note.request = request;
    if (request == EAPAKA_AUTHKEY_LOAD) {
        self->store_.load(self->buffer_);
    } else if (!self->store_.store(self->buffer_, note)) {
        self->storeFailed = true;
    }
    if (self->observer_) self->observer_->on_keystore(note);
}

int PeerHost::event_callback(unsigned int event, void* argument) {
    PeerHost* self = current_;
    if (self == nullptr) return 0;
    HostEvent e{event, 0, {}};
    if (event == EAPAKA_EVENT_TIMEOUT && argument != nullptr) {
        HostResultRecord record;
        std::memcpy(&record, argument, sizeof record);
        e.value = record.result;
    } else if (event == EAPAKA_EVENT_EAP_NOTIFICATION && argument != nullptr) {
        HostNotificationRecord record;
        std::memcpy(&record, argument, sizeof record);
        e.text.assign(reinterpret_cast<const char*>(record.text),
                      std::min<size_t>(record.length, sizeof record.text));
    } else {
        e.value = reinterpret_cast<uintptr_t>(argument);
    }
    self->events.push_back(e);
    if (self->observer_) self->observer_->on_event(e);
    return 0;
}

}  // namespace tool
