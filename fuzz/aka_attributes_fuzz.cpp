// The EAP-AKA attribute parser alone: the input is the attribute part of a
// request, and the EAP Length handed over is exactly 8 bytes more, so the
// parser may read the input and nothing past it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "aka/aka.h"
#include "eap/eap_packet.h"
#include "api/session.h"
#include "fuzz/fuzz_host.h"

namespace {

// One parse with the given compatibility flags; aborts on a result the
// parser promises never to give.
void parse_once(const uint8_t* data, size_t size, unsigned flags) {
    fuzz_host_start();
    EAP_SetCompatibility(flags);
    std::vector<uint8_t> attributes(data, data + size);
    const bool taken =
        aka_parse_attributes(attributes.data(), static_cast<uint16_t>(size + AKA_HEADER_SIZE));
    // A successful parse never counts a checked attribute twice, and the
    // variable-length values always fit their fields.
    const AkaSession& s = g_session;
    if (taken && (s.atRandCount > 1 || s.atAutnCount > 1 || s.atMacCount > 1 || s.atIvCount > 1 ||
                  s.atEncrDataCount > 1 || s.atCheckcodeCount > 1 || s.atResultIndCount > 1))
        std::abort();
    if (s.atEncrDataCount != 0 && (s.atEncrDataLength == 0 || s.atEncrDataLength > 25)) std::abort();
    if (s.atCheckcodeCount != 0 && (s.atCheckcodeLength == 0 || s.atCheckcodeLength > 6)) std::abort();
}

}  // namespace

// Each input is parsed as the library does by default and with every
// compatibility setting on (unknown skippable attributes skipped).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT16_MAX - AKA_HEADER_SIZE) return 0;
    parse_once(data, size, 0);
    parse_once(data, size, EAP_COMPAT_RFC4187);
    return 0;
}
