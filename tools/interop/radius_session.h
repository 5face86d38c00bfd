// One EAP authentication carried over RADIUS (RFC 3579), with this process
// as the NAS between the peer and the RADIUS server: the NAS starts with an
// EAP-Request/Identity, relays each EAP-Response in an Access-Request with
// User-Name and the State of the last Access-Challenge, and ends on
// Access-Accept or Access-Reject. The peer is the library behind the tool's
// host, which uses the public entry points only.
#ifndef EAPAKA_TOOLS_INTEROP_RADIUS_SESSION_H
#define EAPAKA_TOOLS_INTEROP_RADIUS_SESSION_H

#include <ostream>
#include <string>
#include <vector>

#include "tools/host.h"
#include "tools/interop/radius_client.h"

struct RadiusNasConfig {
    std::string realm;                           // for EAP_Init; empty: the library's default
    int permanentIdLength = 0;                   // for EAP_Init
    std::string nasIdentifier = "eapaka";
    std::string callingStationId = "02-00-00-00-00-01";
    bool verbose = true;                          // print every packet and note
};

struct RadiusAuthResult {
    bool accepted = false;       // Access-Accept received
    int eapResult = 0;           // EAP_layer's result for the last packet fed
    bool keysPresent = false;    // MS-MPPE keys found and decrypted
    bool keysMatch = false;      // MSK = MS-MPPE-Recv-Key || MS-MPPE-Send-Key
    std::vector<uint8_t> requestSubtypes;  // EAP-AKA subtypes the server sent
    std::vector<uint8_t> responseSubtypes; // EAP-AKA subtypes the peer sent
    std::vector<uintptr_t> statusCodes;    // host events 2 of the exchange
    std::string failure;         // empty on full success
    bool succeeded() const { return failure.empty(); }
};

// Prints the host's key-store requests and events as they happen.
class RadiusHostPrinter : public tool::HostObserver {
public:
    RadiusHostPrinter(std::ostream& out, bool verbose) : out_(out), verbose_(verbose) {}
    void on_event(const tool::HostEvent& event) override;
    void on_keystore(unsigned long request, const std::string& detail) override;

private:
    std::ostream& out_;
    bool verbose_;
};

// Runs one authentication. Everything the exchange shows (packets, key
// store requests, host events, the outcome) is written to `out` when
// `config.verbose` is set.
RadiusAuthResult radius_authenticate(RadiusClient& client, tool::PeerHost& peer,
                                     const std::string& secret, const RadiusNasConfig& config,
                                     std::ostream& out);

#endif
