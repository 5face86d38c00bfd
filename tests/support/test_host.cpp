#include "support/test_host.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "api/session.h"
#include "platform/platform.h"

#if defined(_WIN32)
#include <direct.h>
#include <io.h>
// The Windows C run-time has no mkdtemp: a unique name, then the directory.
static char* mkdtemp(char* pattern) {
    return _mktemp(pattern) != nullptr && _mkdir(pattern) == 0 ? pattern : nullptr;
}
#endif

namespace {
TestKeyStore* currentStore = nullptr;
EventRecorder* currentRecorder = nullptr;
uint64_t fakeNow = 1000000;

uint64_t fake_now() { return fakeNow; }

// The host completes each request before returning: a load refills the
// buffer from its copy, a store keeps the buffer's field.
void store_callback(unsigned long request) {
    TestKeyStore* s = currentStore;
    if (s == nullptr) return;
    s->requests.push_back(request);
    if (request == EAPAKA_AUTHKEY_LOAD) std::memcpy(s->buffer, s->store, sizeof s->buffer);
    if (request == EAPAKA_AUTHKEY_STORE_PSEUDONYM) std::memcpy(s->store + EAPAKA_KEB_PSEUDONYM, s->buffer + EAPAKA_KEB_PSEUDONYM, 23);
    if (request == EAPAKA_AUTHKEY_STORE_SEQMS) std::memcpy(s->store + EAPAKA_KEB_SEQMS, s->buffer + EAPAKA_KEB_SEQMS, 192);
}
}  // namespace

void TestKeyStore::install() {
    currentStore = this;
    RegisterAuthKeyCallBack(store_callback, buffer);
}

int recording_event_callback(unsigned int event, void* argument) {
    EventRecorder* r = currentRecorder;
    if (r == nullptr) return 0;
    EventRecorder::Event e{event, reinterpret_cast<uintptr_t>(argument), {}};
    if (event == EAPAKA_EVENT_TIMEOUT) {
        const uint8_t* p = static_cast<const uint8_t*>(argument);
        e.record.assign(p, p + sizeof(HostResultRecord));
    } else if (event == EAPAKA_EVENT_EAP_NOTIFICATION) {
        const auto* n = static_cast<const HostNotificationRecord*>(argument);
        e.record.assign(n->text, n->text + std::min<size_t>(n->length, 1024));
        e.value = n->length;
    }
    r->events.push_back(e);
    return 0;
}

void fake_clock_install() { platform_set_clock(fake_now); }
void fake_clock_advance(uint64_t ms) { fakeNow += ms; }
void fake_clock_uninstall() { platform_set_clock(nullptr); }

TraceFile::TraceFile(bool create) {
    char dirTemplate[] = "/tmp/eapaka-trace-XXXXXX";
    const char* dir = mkdtemp(dirTemplate);
    path = std::string(dir != nullptr ? dir : "/tmp") + "/msginfo.log";
    if (create) {
        std::FILE* f = std::fopen(path.c_str(), "w");
        if (f != nullptr) std::fclose(f);
        chmod(path.c_str(), 0600);
    }
    platform_set_trace_path(path.c_str());
}

TraceFile::~TraceFile() {
    platform_set_trace_path(nullptr);
    std::remove(path.c_str());
    rmdir(path.substr(0, path.rfind('/')).c_str());
}

std::string TraceFile::contents() const {
#if defined(_WIN32)
    // The trace is written in text mode (CR LF); a bare LF must show as a mismatch.
    const std::string raw = read_file(path);
    std::string text;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) return "<bare LF in trace>" + raw;
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        text += raw[i];
    }
    return text;
#else
    return read_file(path);
#endif
}

bool TraceFile::exists() const { return access(path.c_str(), F_OK) == 0; }

void LibraryTest::SetUp() {
    aka_session_reset();
    fake_clock_install();
    currentRecorder = &recorder;
    keys.install();
}

void LibraryTest::TearDown() {
    aka_session_reset();
    fake_clock_uninstall();
    currentStore = nullptr;
    currentRecorder = nullptr;
}

int LibraryTest::feed(const Bytes& packet) {
    Bytes in = packet;
    in.resize(std::max<size_t>(in.size(), 4));
    uint8_t out[256];
    std::memset(out, 0xEE, sizeof out);
    unsigned short outLen = 0xFFFF;
    int result = EAP_layer(in.data(), out, &outLen);
    if (outLen != 0xFFFF && outLen <= sizeof out) response.assign(out, out + outLen);
    else response.clear();
    return result;
}

