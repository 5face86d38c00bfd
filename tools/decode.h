// Readable decoding of EAP and EAP-AKA packets: one line for the header and
// one per attribute, with names and values, and the contents of AT_ENCR_DATA
// when the key to decrypt it is known.
#ifndef EAPAKA_TOOLS_DECODE_H
#define EAPAKA_TOOLS_DECODE_H

#include <string>
#include <vector>

#include "tools/bytes.h"

namespace tool {

// "EAP-Request/AKA-Challenge id=3 len=80" and the like.
std::string packet_summary(const Bytes& packet);

// The summary line followed by indented attribute lines. kEncr may be null;
// when given, AT_ENCR_DATA is decrypted with the packet's AT_IV and its
// attributes are listed under it.
std::vector<std::string> decode_packet(const Bytes& packet, const uint8_t* kEncr);

}  // namespace tool

#endif
