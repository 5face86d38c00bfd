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

// One parse with the given compatibility flags, as a request of the method
// `type` would be parsed; aborts on a result the parser promises never to
// give.
void parse_once(const uint8_t* data, size_t size, unsigned flags, uint8_t type) {
    fuzz_host_start();
    EAP_SetCompatibility(flags);
    g_session.methodType = type;
    std::vector<uint8_t> attributes(data, data + size);
    const bool taken =
        aka_parse_attributes(attributes.data(), static_cast<uint16_t>(size + AKA_HEADER_SIZE));
    // A successful parse never counts a checked attribute twice, and the
    // variable-length values always fit their fields.
    const AkaSession& s = g_session;
    if (taken && (s.atRandCount > 1 || s.atAutnCount > 1 || s.atMacCount > 1 || s.atIvCount > 1 ||
                  s.atEncrDataCount > 1 || s.atCheckcodeCount > 1 || s.atResultIndCount > 1 ||
                  s.atKdfInputCount > 1 || s.atBiddingCount > 1))
        std::abort();
    if (s.atEncrDataCount != 0 && (s.atEncrDataLength == 0 || s.atEncrDataLength > 25)) std::abort();
    const uint8_t checkcodeMax = type == EAP_TYPE_AKA_PRIME ? 9 : 6;
    if (s.atCheckcodeCount != 0 && (s.atCheckcodeLength == 0 || s.atCheckcodeLength > checkcodeMax)) std::abort();
    if (s.atKdfCount > static_cast<int32_t>(KDF_LIST_MAX) || s.atKdfInputLength > NETWORK_NAME_MAX) std::abort();
    // EAP-AKA' attributes exist only in its requests, AT_BIDDING only in
    // EAP-AKA's with EAP-AKA' enabled.
    if (type != EAP_TYPE_AKA_PRIME && (s.atKdfCount != 0 || s.atKdfInputCount != 0)) std::abort();
    if ((type == EAP_TYPE_AKA_PRIME || !(flags & EAP_COMPAT_AKA_PRIME)) && s.atBiddingCount != 0) std::abort();
}

}  // namespace

// Each input is parsed as the library does by default, with every
// compatibility setting on (unknown skippable attributes skipped), and with
// EAP-AKA' enabled as an EAP-AKA and as an EAP-AKA' request.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT16_MAX - AKA_HEADER_SIZE) return 0;
    constexpr unsigned all = EAP_COMPAT_RFC4187 | EAP_COMPAT_AKA_PRIME;
    parse_once(data, size, 0, EAP_TYPE_AKA);
    parse_once(data, size, EAP_COMPAT_RFC4187, EAP_TYPE_AKA);
    parse_once(data, size, all, EAP_TYPE_AKA);
    parse_once(data, size, all, EAP_TYPE_AKA_PRIME);
    return 0;
}
