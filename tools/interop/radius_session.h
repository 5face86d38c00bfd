// One EAP authentication carried over RADIUS (RFC 3579), with this process
// as the NAS between the peer and the RADIUS server: the NAS starts with an
// EAP-Request/Identity, relays each EAP-Response in an Access-Request with
// User-Name and the State of the last Access-Challenge, and ends on
// Access-Accept or Access-Reject. The peer is the library behind the tool's
// host, which uses the public entry points only.
#ifndef EAPAKA_TOOLS_INTEROP_RADIUS_SESSION_H
#define EAPAKA_TOOLS_INTEROP_RADIUS_SESSION_H

#include <string>
#include <vector>

#include "tools/hints.h"
#include "tools/host.h"
#include "tools/interop/radius_client.h"
#include "tools/report.h"

struct RadiusNasConfig {
    std::string realm;                           // for EAP_Init; empty: the library's default
    int permanentIdLength = 0;                   // for EAP_Init
    std::string nasIdentifier = "eapaka";
    std::string callingStationId = "02-00-00-00-00-01";
    ByteString nasIp;                            // 4 or 16 bytes; empty: not sent
    unsigned compatibility = 0;                  // what EAP_SetCompatibility was given
};

struct RadiusAuthResult {
    bool accepted = false;       // Access-Accept received
    int eapResult = 0;           // EAP_layer's result for the last packet fed
    bool keysMatch = false;      // MSK = MS-MPPE-Recv-Key || MS-MPPE-Send-Key
    std::string msk;             // hex, after an Access-Accept the peer took as success
    std::vector<uint8_t> requestSubtypes;  // EAP-AKA or EAP-AKA' subtypes the server sent
    bool serverAuthenticated = false;      // the peer accepted an AKA-Challenge or AKA-Reauthentication (17)
    tool::ExchangeFacts facts;   // what the hints need (status codes, attributes, identity)
    std::string failure;         // empty on full success
    bool succeeded() const { return failure.empty(); }
};

// Runs one authentication. The packets go to `report`, which is also the
// observer of `peer`'s events and key-store requests.
RadiusAuthResult radius_authenticate(RadiusClient& client, tool::PeerHost& peer,
                                     const std::string& secret, const RadiusNasConfig& config,
                                     tool::Report& report);

#endif
