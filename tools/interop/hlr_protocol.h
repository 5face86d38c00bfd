// The text protocol between an EAP-AKA server and its HLR/AuC gateway, one
// message per UNIX datagram (the server is the client):
//   AKA-REQ-AUTH <IMSI>
//   AKA-RESP-AUTH <IMSI> <RAND> <AUTN> <IK> <CK> <RES>   (lower-case hex)
//   AKA-RESP-AUTH <IMSI> FAILURE
//   AKA-AUTS <IMSI> <AUTS> <RAND>                        (no answer)
// The IMSI comes without the identity's leading "0" and without a realm.
#ifndef EAPAKA_TOOLS_INTEROP_HLR_PROTOCOL_H
#define EAPAKA_TOOLS_INTEROP_HLR_PROTOCOL_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/simnet/auc.h"

constexpr size_t HLR_MAX_IMSI = 15;  // TS 23.003: at most 15 digits
constexpr size_t HLR_MIN_IMSI = 6;   // MCC + MNC + at least one MSIN digit

enum class HlrRequestKind { AuthVector, Resynchronisation };

struct HlrRequest {
    HlrRequestKind kind = HlrRequestKind::AuthVector;
    std::string imsi;
    uint8_t auts[14] = {};  // Resynchronisation only
    uint8_t rand[16] = {};  // Resynchronisation only
};

// Parses one datagram. Accepts exactly the two request forms above, fields
// separated by single spaces, an optional trailing newline, an IMSI of 6 to
// 15 digits and hex fields of the exact sizes. False for anything else
// (unknown commands such as the SIM ones included).
bool hlr_parse_request(const char* datagram, size_t length, HlrRequest& request);

std::string hlr_format_vector(const std::string& imsi, const tool::AuthVector& vector);
std::string hlr_format_failure(const std::string& imsi);

#endif
