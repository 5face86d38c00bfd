#include "tools/hints.h"

#include <algorithm>

#include "eapaka/eapaka.h"
#include "tools/eap_wire.h"

namespace tool {

namespace {

// Attribute types from 128 up may be skipped by a peer that does not know
// them (RFC 4187 section 8.1); these are the ones RFC 4187 itself defines.
constexpr uint8_t FIRST_SKIPPABLE = 128;

bool rfc4187_skippable(uint8_t type) {
    switch (type) {
    case AT_IV: case AT_ENCR_DATA: case AT_NEXT_PSEUDONYM: case AT_NEXT_REAUTH_ID: case AT_CHECKCODE:
    case AT_RESULT_IND:
        return true;
    default:
        return false;
    }
}

// The realm the peer's identity carries when it is shorter than the one
// asked for: the library keeps only what fits its realm field.
std::string cut_realm(const ExchangeFacts& f) {
    if (f.realm.empty()) return "";
    for (const std::string& user : f.ownUserParts) {
        if (user.empty() || f.identitySent.compare(0, user.size(), user) != 0) continue;
        std::string sent = f.identitySent.substr(user.size());
        if (!sent.empty() && sent != f.realm && f.realm.compare(0, sent.size(), sent) == 0) return sent;
    }
    return "";
}

}  // namespace

void ExchangeFacts::saw_request(const Bytes& eap) {
    EapPacket p;
    if (!p.parse(eap) || p.code != EAP_REQUEST || p.type != EAP_TYPE_AKA) return;
    for (const Attribute& a : p.attributes) {
        if (a.type >= FIRST_SKIPPABLE && !rfc4187_skippable(a.type) &&
            std::find(unknownSkippable.begin(), unknownSkippable.end(), a.type) == unknownSkippable.end()) {
            unknownSkippable.push_back(a.type);
        }
    }
}

std::vector<std::string> hints_for(const ExchangeFacts& f) {
    std::vector<std::string> hints;
    auto reported = [&](uintptr_t code) {
        return std::find(f.statusCodes.begin(), f.statusCodes.end(), code) != f.statusCodes.end();
    };
    std::string kept = cut_realm(f);
    if (!kept.empty()) {
        hints.push_back("the library kept only '" + kept + "' of the realm '" + f.realm + "' (" +
                        std::to_string(kept.size()) + " characters), so the server saw '" + f.identitySent + "'");
    }
    if (f.succeeded) return hints;
    if (!f.silentServer.empty()) {
        hints.push_back("no answer from " + f.silentServer +
                        ": is a RADIUS server running there, and does it know this client's address and "
                        "--secret? A server drops requests with a wrong secret without a word");
    }
    if (reported(EAPAKA_FAIL_MALFORMED_ATTRIBUTE) && !f.unknownSkippable.empty() &&
        (f.compatibility & EAP_COMPAT_SKIP_UNKNOWN_SKIPPABLE) == 0) {
        std::string names;
        for (uint8_t type : f.unknownSkippable) {
            names += (names.empty() ? "" : ", ") + std::string("attribute ") + std::to_string(type) +
                     (type == AT_BIDDING ? " (AT_BIDDING)" : "");
        }
        hints.push_back("the server sent " + names +
                        ", which RFC 4187 does not define and this library refuses by default; "
                        "--compat rfc4187 skips such attributes as RFC 4187 section 8.1 allows");
    }
    if (reported(EAPAKA_FAIL_INVALID_AUTN)) {
        hints.push_back("the peer refused AUTN: K or OPc (or the Milenage constants) of the profile "
                        "differ from the network's");
    }
    if (reported(EAPAKA_FAIL_INVALID_SQN)) {
        hints.push_back("the network's SQN is outside what the profile's SEQ array accepts, and "
                        "resynchronisation did not bring them together; 'eapaka keystore forget' "
                        "clears the SEQ array");
    }
    return hints;
}

}  // namespace tool
