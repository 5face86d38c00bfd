// Hints in words for what the tool can explain from what it saw: an
// attribute the library refuses by default, a realm cut short, keys that
// differ from the network's, an SQN out of range, a silent server or one
// whose replies do not verify, a success the server never earned, and
// EAP-AKA' where the peer or the server was not set for it.
#ifndef EAPAKA_TOOLS_HINTS_H
#define EAPAKA_TOOLS_HINTS_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/bytes.h"

namespace tool {

// What one exchange showed, as far as the hints need it.
struct ExchangeFacts {
    bool succeeded = false;
    unsigned compatibility = 0;              // what EAP_SetCompatibility was given
    std::vector<uintptr_t> statusCodes;      // host events 2
    std::vector<uint8_t> unknownSkippable;   // skippable attribute types RFC 4187 does not define
    std::string realm;                       // the realm handed to EAP_Init; empty: the library's
    std::string identitySent;                // the peer's EAP-Response/Identity
    std::vector<uint16_t> autnAmfs;          // AMF of every AT_AUTN the server sent
    uint8_t methodRun = 0;                   // EAP Type of the server's method requests (23, 50), 0: none
    bool primeAsked = false;                 // the run asked for EAP-AKA'
    bool bidDown = false;                    // an EAP-AKA challenge said the server prefers EAP-AKA'
    bool primeWithoutSeparation = false;     // an EAP-AKA' AUTN without the AMF separation bit
    std::string silentServer;                // "HOST port N" when no answer came
    std::string unverifiedServer;            // "HOST port N" when its Response Authenticators failed
    bool unauthenticatedSuccess = false;     // success with no AKA-Challenge or AKA-Reauthentication accepted

    // Notes the method, AUTN's AMF, AT_BIDDING and the skippable attributes
    // of a request from the server.
    void saw_request(const Bytes& eap);
};

std::vector<std::string> hints_for(const ExchangeFacts& facts);

}  // namespace tool

#endif
