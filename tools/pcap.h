// Capture files in the classic pcap format on Ethernet, which packet
// analysers decode: EAP packets inside EAPOL frames (IEEE 802.1X, EtherType
// 0x888E) for the simulated network, and the RADIUS datagrams over UDP on
// IPv4 or IPv6 for a RADIUS server.
#ifndef EAPAKA_TOOLS_PCAP_H
#define EAPAKA_TOOLS_PCAP_H

#include <sys/socket.h>

#include <cstdio>
#include <string>

#include "tools/bytes.h"

namespace tool {

constexpr uint16_t ETHERTYPE_EAPOL = 0x888E;
constexpr uint8_t EAPOL_VERSION = 2;          // IEEE 802.1X-2004
constexpr uint8_t EAPOL_TYPE_EAP_PACKET = 0;

// The Ethernet frame that carries one EAP packet.
Bytes eapol_frame(const Bytes& eap, bool fromPeer);

// The Ethernet frame of one UDP datagram between two endpoints of the same
// family (AF_INET or AF_INET6), checksums filled in; empty for any other
// family or a payload too large for one datagram.
Bytes udp_frame(const sockaddr* from, const sockaddr* to, const Bytes& payload, bool outgoing);

class PcapWriter {
public:
    PcapWriter() = default;
    PcapWriter(const PcapWriter&) = delete;
    PcapWriter& operator=(const PcapWriter&) = delete;
    ~PcapWriter() { close(); }

    bool open(const std::string& path, std::string& error);
    bool is_open() const { return file_ != nullptr; }
    void write(const Bytes& eap, bool fromPeer) { write_frame(eapol_frame(eap, fromPeer)); }
    void write_frame(const Bytes& frame);   // time-stamped now
    void close();

private:
    std::FILE* file_ = nullptr;
};

}  // namespace tool

#endif
