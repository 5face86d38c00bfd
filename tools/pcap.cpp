#include "tools/pcap.h"

#include <netinet/in.h>
#include <sys/time.h>

#include <cerrno>
#include <cstring>

namespace tool {

namespace {

constexpr uint32_t PCAP_MAGIC = 0xA1B2C3D4;   // microsecond time stamps
constexpr uint16_t PCAP_VERSION_MAJOR = 2;
constexpr uint16_t PCAP_VERSION_MINOR = 4;
constexpr uint32_t PCAP_SNAPLEN = 65535;
constexpr uint32_t LINKTYPE_ETHERNET = 1;

// Locally administered addresses for the two ends of the link.
const uint8_t AUTHENTICATOR_MAC[6] = {0x02, 0x00, 0x00, 0x00, 0xAA, 0x01};
const uint8_t PEER_MAC[6] = {0x02, 0x00, 0x00, 0x00, 0xAA, 0x02};

constexpr uint16_t ETHERTYPE_IPV4 = 0x0800;
constexpr uint16_t ETHERTYPE_IPV6 = 0x86DD;
constexpr uint8_t IP_PROTOCOL_UDP = 17;
constexpr uint8_t HOP_LIMIT = 64;
constexpr size_t IPV4_HEADER = 20;
constexpr size_t UDP_HEADER = 8;
constexpr size_t MAX_UDP_PAYLOAD = 65507;

void put_be16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void ethernet_header(Bytes& frame, bool outgoing, uint16_t etherType) {
    const uint8_t* destination = outgoing ? AUTHENTICATOR_MAC : PEER_MAC;
    const uint8_t* source = outgoing ? PEER_MAC : AUTHENTICATOR_MAC;
    frame.insert(frame.end(), destination, destination + 6);
    frame.insert(frame.end(), source, source + 6);
    put_be16(frame, etherType);
}

// The Internet checksum (RFC 1071): the 16-bit ones-complement sum of the
// bytes, added to `sum`, then folded and complemented by ones_complement.
uint32_t ones_sum(const uint8_t* bytes, size_t n, uint32_t sum) {
    for (size_t i = 0; i < n; i += 2) sum += static_cast<uint32_t>(bytes[i] << 8 | (i + 1 < n ? bytes[i + 1] : 0));
    return sum;
}

uint16_t ones_complement(uint32_t sum) {
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

void put_le32(std::FILE* f, uint32_t v) {
    uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                    static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    std::fwrite(b, 1, 4, f);
}

void put_le16(std::FILE* f, uint16_t v) {
    uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    std::fwrite(b, 1, 2, f);
}

}  // namespace

Bytes eapol_frame(const Bytes& eap, bool fromPeer) {
    Bytes frame;
    ethernet_header(frame, fromPeer, ETHERTYPE_EAPOL);
    frame.push_back(EAPOL_VERSION);
    frame.push_back(EAPOL_TYPE_EAP_PACKET);
    frame.push_back(static_cast<uint8_t>(eap.size() >> 8));
    frame.push_back(static_cast<uint8_t>(eap.size()));
    frame.insert(frame.end(), eap.begin(), eap.end());
    return frame;
}

Bytes udp_frame(const sockaddr* from, const sockaddr* to, const Bytes& payload, bool outgoing) {
    if (from->sa_family != to->sa_family || payload.size() > MAX_UDP_PAYLOAD) return {};
    const uint8_t* source;
    const uint8_t* destination;
    size_t addressSize;
    uint16_t sourcePort, destinationPort;
    if (from->sa_family == AF_INET) {
        auto a = reinterpret_cast<const sockaddr_in*>(from);
        auto b = reinterpret_cast<const sockaddr_in*>(to);
        source = reinterpret_cast<const uint8_t*>(&a->sin_addr);
        destination = reinterpret_cast<const uint8_t*>(&b->sin_addr);
        addressSize = 4;
        sourcePort = ntohs(a->sin_port);
        destinationPort = ntohs(b->sin_port);
    } else if (from->sa_family == AF_INET6) {
        auto a = reinterpret_cast<const sockaddr_in6*>(from);
        auto b = reinterpret_cast<const sockaddr_in6*>(to);
        source = a->sin6_addr.s6_addr;
        destination = b->sin6_addr.s6_addr;
        addressSize = 16;
        sourcePort = ntohs(a->sin6_port);
        destinationPort = ntohs(b->sin6_port);
    } else {
        return {};
    }
    const uint16_t udpLength = static_cast<uint16_t>(UDP_HEADER + payload.size());
    Bytes udp;
    put_be16(udp, sourcePort);
    put_be16(udp, destinationPort);
    put_be16(udp, udpLength);
    put_be16(udp, 0);
    udp.insert(udp.end(), payload.begin(), payload.end());
    // UDP checksum over the pseudo-header (RFC 768, RFC 8200 section 8.1).
    uint32_t sum = ones_sum(source, addressSize, 0);
    sum = ones_sum(destination, addressSize, sum);
    sum += IP_PROTOCOL_UDP + udpLength;
    uint16_t checksum = ones_complement(ones_sum(udp.data(), udp.size(), sum));
    if (checksum == 0) checksum = 0xFFFF;  // zero would mean "no checksum"
    udp[6] = static_cast<uint8_t>(checksum >> 8);
    udp[7] = static_cast<uint8_t>(checksum);

    Bytes frame;
    if (addressSize == 4) {
        ethernet_header(frame, outgoing, ETHERTYPE_IPV4);
        const size_t ipStart = frame.size();
        frame.push_back(0x45);                               // version 4, 5-word header
        frame.push_back(0);                                  // DSCP/ECN
        put_be16(frame, static_cast<uint16_t>(IPV4_HEADER + udp.size()));
        put_be16(frame, 0);                                  // identification
        put_be16(frame, 0x4000);                             // don't fragment
        frame.push_back(HOP_LIMIT);
        frame.push_back(IP_PROTOCOL_UDP);
        put_be16(frame, 0);                                  // header checksum, below
        frame.insert(frame.end(), source, source + 4);
        frame.insert(frame.end(), destination, destination + 4);
        uint16_t headerChecksum = ones_complement(ones_sum(frame.data() + ipStart, IPV4_HEADER, 0));
        frame[ipStart + 10] = static_cast<uint8_t>(headerChecksum >> 8);
        frame[ipStart + 11] = static_cast<uint8_t>(headerChecksum);
    } else {
        ethernet_header(frame, outgoing, ETHERTYPE_IPV6);
        put_be16(frame, 0x6000);                             // version 6, no traffic class or flow
        put_be16(frame, 0);
        put_be16(frame, static_cast<uint16_t>(udp.size()));
        frame.push_back(IP_PROTOCOL_UDP);
        frame.push_back(HOP_LIMIT);
        frame.insert(frame.end(), source, source + 16);
        frame.insert(frame.end(), destination, destination + 16);
    }
    frame.insert(frame.end(), udp.begin(), udp.end());
    return frame;
}

bool PcapWriter::open(const std::string& path, std::string& error) {
    close();
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        error = path + ": cannot create: " + std::strerror(errno);
        return false;
    }
    put_le32(file_, PCAP_MAGIC);
    put_le16(file_, PCAP_VERSION_MAJOR);
    put_le16(file_, PCAP_VERSION_MINOR);
    put_le32(file_, 0);  // time zone offset
    put_le32(file_, 0);  // time stamp accuracy
    put_le32(file_, PCAP_SNAPLEN);
    put_le32(file_, LINKTYPE_ETHERNET);
    return true;
}

void PcapWriter::write_frame(const Bytes& frame) {
    if (file_ == nullptr || frame.empty()) return;
    timeval now{};
    gettimeofday(&now, nullptr);
    put_le32(file_, static_cast<uint32_t>(now.tv_sec));
    put_le32(file_, static_cast<uint32_t>(now.tv_usec));
    put_le32(file_, static_cast<uint32_t>(frame.size()));
    put_le32(file_, static_cast<uint32_t>(frame.size()));
    std::fwrite(frame.data(), 1, frame.size(), file_);
}

void PcapWriter::close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
}

}  // namespace tool
