// The EAP-AKA attribute parser alone: the input is the attribute part of a
// request, and the EAP Length handed over is exactly 8 bytes more, so the
// parser may read the input and nothing past it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "aka/aka.h"
#include "eap/eap_layer.h"
#include "api/session.h"
#include "fuzz/fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT16_MAX - AKA_HEADER_SIZE) return 0;
    fuzz_host_start();
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
    return 0;
}
