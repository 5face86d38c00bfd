#include "tools/pcap.h"

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
    const uint8_t* destination = fromPeer ? AUTHENTICATOR_MAC : PEER_MAC;
    const uint8_t* source = fromPeer ? PEER_MAC : AUTHENTICATOR_MAC;
    frame.insert(frame.end(), destination, destination + 6);
    frame.insert(frame.end(), source, source + 6);
    frame.push_back(static_cast<uint8_t>(ETHERTYPE_EAPOL >> 8));
    frame.push_back(static_cast<uint8_t>(ETHERTYPE_EAPOL & 0xFF));
    frame.push_back(EAPOL_VERSION);
    frame.push_back(EAPOL_TYPE_EAP_PACKET);
    frame.push_back(static_cast<uint8_t>(eap.size() >> 8));
    frame.push_back(static_cast<uint8_t>(eap.size()));
    frame.insert(frame.end(), eap.begin(), eap.end());
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

void PcapWriter::write(const Bytes& eap, bool fromPeer) {
    if (file_ == nullptr) return;
    Bytes frame = eapol_frame(eap, fromPeer);
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
