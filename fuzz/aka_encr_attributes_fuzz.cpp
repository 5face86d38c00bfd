// The parser of decrypted AT_ENCR_DATA contents alone: the input is the
// plaintext (at most 255 bytes, the reach of its length argument).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "aka/aka.h"
#include "api/session.h"
#include "fuzz/fuzz_host.h"

namespace {

void parse_once(const uint8_t* data, size_t size, unsigned flags) {
    fuzz_host_start();
    EAP_SetCompatibility(flags);
    std::vector<uint8_t> plaintext(data, data + size);
    // What the parse staged takes effect as after a verified AT_MAC.
    if (aka_parse_encr_attributes(plaintext.data(), static_cast<uint8_t>(size))) aka_commit_encr_attributes();
    const AkaSession& s = g_session;
    if (s.reauthIdLength > sizeof s.reauthId && s.reauthIdPresent) std::abort();
    if (s.nextPseudonymLength > sizeof s.nextPseudonym && s.nextPseudonymPresent) std::abort();
}

}  // namespace

// Each input is parsed with the default and with every compatibility
// setting on.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT8_MAX) return 0;
    parse_once(data, size, 0);
    parse_once(data, size, EAP_COMPAT_RFC4187);
    return 0;
}
