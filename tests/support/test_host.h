// Test-side host: key store, event recorder, fake clock, trace file.
#ifndef EAPAKA_TESTS_SUPPORT_TEST_HOST_H
#define EAPAKA_TESTS_SUPPORT_TEST_HOST_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "eapaka/eapaka.h"

using Bytes = std::vector<uint8_t>;

// Spaces and separators between the hex digits are ignored.
inline Bytes hex_to_bytes(const std::string& hex) {
    std::string digits;
    for (char c : hex)
        if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    Bytes out;
    for (size_t i = 0; i + 1 < digits.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}
inline std::string bytes_to_hex(const uint8_t* bytes, size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < length; ++i) s.append({digits[bytes[i] >> 4], digits[bytes[i] & 15]});
    return s;
}
inline std::string bytes_to_hex(const Bytes& b) { return bytes_to_hex(b.data(), b.size()); }
inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
inline Bytes text_bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }
// "" when the file cannot be read.
inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The host refills `buffer` from `store` on every load; requests are recorded.
struct TestKeyStore {
    uint8_t store[EAPAKA_KEB_SIZE] = {};   // the host's persistent copy
    uint8_t buffer[EAPAKA_KEB_SIZE] = {};  // the shared exchange buffer
    std::vector<unsigned long> requests;

    // Writes `bytes` at `offset` of the host's copy, zero-filled or cut to `width`.
    void put(size_t offset, const Bytes& bytes, size_t width) {
        std::memset(store + offset, 0, width);
        std::copy_n(bytes.begin(), std::min(width, bytes.size()), store + offset);
    }
    void set_permanent_id(const std::string& userPart) { put(EAPAKA_KEB_PERMANENT_ID, text_bytes(userPart), 16); }
    void set_pseudonym(const std::string& pseudonym) { put(EAPAKA_KEB_PSEUDONYM, text_bytes(pseudonym), 23); }
    void set_seqms(unsigned index, uint64_t seq) {
        for (int i = 0; i < 6; ++i) store[EAPAKA_KEB_SEQMS + 6 * index + i] = static_cast<uint8_t>(seq >> (8 * (5 - i)));
    }
    uint64_t seqms(unsigned index) const {  // from the persistent copy
        uint64_t v = 0;
        for (int i = 0; i < 6; ++i) v = v << 8 | store[EAPAKA_KEB_SEQMS + 6 * index + i];
        return v;
    }
    std::string pseudonym() const { return std::string(reinterpret_cast<const char*>(store + EAPAKA_KEB_PSEUDONYM), 23); }

    void install();
};

// Records every host event; copies the records of events 0 and 1.
struct EventRecorder {
    struct Event {
        unsigned int type;
        uintptr_t value;          // event 2: the code
        Bytes record;             // events 0 and 1: the record's bytes
    };
    std::vector<Event> events;
    std::vector<uintptr_t> codes() const {  // values of the event-2 entries
        std::vector<uintptr_t> out;
        for (const Event& e : events)
            if (e.type == EAPAKA_EVENT_STATUS) out.push_back(e.value);
        return out;
    }
};
int recording_event_callback(unsigned int event, void* argument);

// Fake monotonic clock for the POSIX timers.
void fake_clock_install();
void fake_clock_advance(uint64_t ms);
void fake_clock_uninstall();

// A trace file in a private temporary directory, made current for the test.
struct TraceFile {
    std::string path;
    explicit TraceFile(bool create = true);
    ~TraceFile();
    std::string contents() const;
    bool exists() const;
};

// The library in its load state with a fresh store, recorder and fake clock.
class LibraryTest : public ::testing::Test {
public:
    void SetUp() override;
    void TearDown() override;

    // EAP_layer on one packet (wire order); the response goes to `response`.
    int feed(const Bytes& packet);
    // EAP_Init with the recorder, a realm and a permanent identity length.
    void init(const char* realm = "@test.org", int permanentIdLength = 15) {
        EAP_Init(recording_event_callback, nullptr, reinterpret_cast<unsigned char*>(const_cast<char*>(realm)), permanentIdLength);
    }

    TestKeyStore keys;
    EventRecorder recorder;
    Bytes response;
};

#endif
