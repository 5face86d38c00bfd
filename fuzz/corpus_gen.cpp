// Seed corpora from a capture of the simulated network: every request the
// network sent in one scenario becomes
//   eap_conversation/NAME           the requests in order, as one input
//   aka_attributes/NAME-N           the attribute part of each parsed request
//   aka_encr_attributes/NAME-N      the decrypted AT_ENCR_DATA of each request
// The plaintexts come from replaying the requests through the library with
// the fuzz targets' subscriber, which is also how the seeds are checked:
// the replay prints each EAP_layer result, so a capture that no longer
// authenticates (an AKA-Challenge not answered with 17) shows at once.
//
// usage: fuzz_corpus_gen CORPUS_DIR NAME CAPTURE.pcap [--timer] [--aka-prime]
//   --timer      appends a response-timer expiry to the conversation input
//   --aka-prime  the capture is of an EAP-AKA' run, whose peer had
//                EAP_COMPAT_AKA_PRIME set (its bidding-down exchange is all
//                EAP-AKA): the conversation sets it first, and so does the replay
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "api/session.h"
#include "fuzz/fuzz_host.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t PCAP_GLOBAL_HEADER = 24;
constexpr size_t PCAP_RECORD_HEADER = 16;
constexpr size_t ETHERNET_HEADER = 14;
constexpr size_t EAPOL_HEADER = 4;
constexpr size_t SOURCE_MAC_LAST = 11;          // last byte of the source address
constexpr uint8_t AUTHENTICATOR_MAC_LAST = 0x01;  // the tool's authenticator address
constexpr uint8_t EAP_REQUEST = 1;
constexpr uint8_t EAP_TYPE_AKA = 23;
constexpr uint8_t EAP_TYPE_AKA_PRIME = 50;
constexpr size_t AKA_ATTRIBUTES = 8;
constexpr uint8_t AT_ENCR_DATA_TYPE = 130;

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

bool read_file(const char* path, Bytes& out) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    uint8_t chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + n);
    std::fclose(f);
    return true;
}

// The EAP packets the authenticator sent, in capture order.
bool network_packets(const Bytes& capture, std::vector<Bytes>& packets) {
    if (capture.size() < PCAP_GLOBAL_HEADER || le32(capture.data()) != 0xA1B2C3D4) return false;
    size_t at = PCAP_GLOBAL_HEADER;
    while (capture.size() - at >= PCAP_RECORD_HEADER) {
        const size_t length = le32(&capture[at + 8]);
        at += PCAP_RECORD_HEADER;
        if (length > capture.size() - at) return false;
        const uint8_t* frame = &capture[at];
        if (length > ETHERNET_HEADER + EAPOL_HEADER && frame[SOURCE_MAC_LAST] == AUTHENTICATOR_MAC_LAST)
            packets.emplace_back(frame + ETHERNET_HEADER + EAPOL_HEADER, frame + length);
        at += length;
    }
    return at == capture.size();
}

bool is_aka_request(const Bytes& p) {
    return p.size() >= AKA_ATTRIBUTES && p[0] == EAP_REQUEST && (p[4] == EAP_TYPE_AKA || p[4] == EAP_TYPE_AKA_PRIME);
}

// The ciphertext of the request's AT_ENCR_DATA, empty when it has none.
Bytes encr_ciphertext(const Bytes& p) {
    if (!is_aka_request(p)) return {};
    size_t at = AKA_ATTRIBUTES;
    while (p.size() - at >= 4 && p[at + 1] != 0) {
        const size_t size = size_t{p[at + 1]} * 4;
        if (size > p.size() - at) break;
        if (p[at] == AT_ENCR_DATA_TYPE) return Bytes(p.begin() + at + 4, p.begin() + at + size);
        at += size;
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    bool timer = false, prime = false;
    for (int i = 4; i < argc; ++i) {
        timer |= std::strcmp(argv[i], "--timer") == 0;
        prime |= std::strcmp(argv[i], "--aka-prime") == 0;
    }
    if (argc < 4 || argc - 4 != timer + prime) {
        std::fprintf(stderr, "usage: fuzz_corpus_gen CORPUS_DIR NAME CAPTURE.pcap [--timer] [--aka-prime]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::string name = argv[2];
    Bytes capture;
    std::vector<Bytes> packets;
    if (!read_file(argv[3], capture) || !network_packets(capture, packets) || packets.empty()) {
        std::fprintf(stderr, "%s: not a capture of the tool's network\n", argv[3]);
        return 1;
    }

    const unsigned flags = prime ? EAP_COMPAT_AKA_PRIME : 0;
    Bytes records;
    for (const Bytes& p : packets) {
        records.push_back(static_cast<uint8_t>(p.size() >> 8));
        records.push_back(static_cast<uint8_t>(p.size()));
        records.insert(records.end(), p.begin(), p.end());
    }
    if (timer) {
        records.push_back(FUZZ_RECORD_TIMER >> 8);
        records.push_back(FUZZ_RECORD_TIMER & 0xFF);
    }
    Bytes conversation = flags != 0 ? fuzz_compatibility_record(flags) : Bytes{};
    conversation.insert(conversation.end(), records.begin(), records.end());
    bool ok = fuzz_write_seed(dir + "/eap_conversation/" + name, conversation);
    // The same conversation with every compatibility flag set first, so the
    // strict-success checks of the host start from authenticating inputs.
    Bytes withFlags = fuzz_compatibility_record(EAP_COMPAT_RFC4187 | flags);
    withFlags.insert(withFlags.end(), records.begin(), records.end());
    ok &= fuzz_write_seed(dir + "/eap_conversation/" + name + "-rfc4187", withFlags);

    fuzz_host_start();
    EAP_SetCompatibility(flags);
    std::printf("%s:", name.c_str());
    for (size_t i = 0; i < packets.size(); ++i) {
        const Bytes& p = packets[i];
        const Bytes ciphertext = encr_ciphertext(p);
        const int result = fuzz_host_feed(p.data(), p.size());
        if (is_aka_request(p)) {
            std::printf(" %s/%u->%d", p[4] == EAP_TYPE_AKA_PRIME ? "aka'" : "aka", p[5], result);
            if (p.size() > AKA_ATTRIBUTES)
                ok &= fuzz_write_seed(dir + "/aka_attributes/" + name + "-" + std::to_string(i),
                                 Bytes(p.begin() + AKA_ATTRIBUTES, p.end()));
            // The library decrypts in place: a changed field is the plaintext.
            const size_t n = ciphertext.size();
            if (n != 0 && n <= sizeof g_session.atEncrData &&
                std::memcmp(g_session.atEncrData, ciphertext.data(), n) != 0)
                ok &= fuzz_write_seed(dir + "/aka_encr_attributes/" + name + "-" + std::to_string(i),
                                 Bytes(g_session.atEncrData, g_session.atEncrData + n));
        } else {
            std::printf(" eap/%u->%d", p[0], result);
        }
    }
    if (timer) {
        fuzz_host_timer_expiry();
        std::printf(" timer");
    }
    std::printf("\n");
    return ok ? 0 : 1;
}
