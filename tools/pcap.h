// Capture file of an exchange: every EAP packet inside an EAPOL frame
// (IEEE 802.1X, EtherType 0x888E) on Ethernet, in the classic pcap format,
// so that packet analysers decode it as EAP-AKA.
#ifndef EAPAKA_TOOLS_PCAP_H
#define EAPAKA_TOOLS_PCAP_H

#include <cstdio>
#include <string>

#include "tools/bytes.h"

namespace tool {

constexpr uint16_t ETHERTYPE_EAPOL = 0x888E;
constexpr uint8_t EAPOL_VERSION = 2;          // IEEE 802.1X-2004
constexpr uint8_t EAPOL_TYPE_EAP_PACKET = 0;

// The Ethernet frame that carries one EAP packet.
Bytes eapol_frame(const Bytes& eap, bool fromPeer);

class PcapWriter {
public:
    PcapWriter() = default;
    PcapWriter(const PcapWriter&) = delete;
    PcapWriter& operator=(const PcapWriter&) = delete;
    ~PcapWriter() { close(); }

    bool open(const std::string& path, std::string& error);
    bool is_open() const { return file_ != nullptr; }
    void write(const Bytes& eap, bool fromPeer);   // time-stamped now
    void close();

private:
    std::FILE* file_ = nullptr;
};

}  // namespace tool

#endif
