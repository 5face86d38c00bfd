#include "tools/hints.h"

#include <algorithm>

#include "eapaka/eapaka.h"
#include "tools/eap_wire.h"
#include "tools/simnet/auc.h"

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

// The realm the peer's identity carries when it is a shorter start of the
// one asked for: the library keeps only what fits its realm field.
std::string cut_realm(const ExchangeFacts& f) {
    size_t at = f.identitySent.find('@');
    if (f.realm.empty() || at == std::string::npos) return "";
    std::string sent = f.identitySent.substr(at);
    return sent.size() < f.realm.size() && f.realm.compare(0, sent.size(), sent) == 0 ? sent : "";
}

// The peer answered more than one AUTN of the exchange with AUTS.
bool resynchronised_repeatedly(const ExchangeFacts& f) {
    return std::count(f.statusCodes.begin(), f.statusCodes.end(), uintptr_t{EAPAKA_FAIL_INVALID_SQN}) > 1;
}

}  // namespace

void ExchangeFacts::saw_request(const Bytes& eap) {
    // AUTN = SQN xor AK (6 bytes) || AMF (2) || MAC-A (8), after 2 reserved bytes.
    constexpr size_t AUTN_AMF_OFFSET = 2 + 6;
    EapPacket p;
    if (!p.parse(eap) || p.code != EAP_REQUEST || !is_aka_type(p.type)) return;
    methodRun = p.type;
    const bool prime = p.type == EAP_TYPE_AKA_PRIME;
    const Attribute* autn = p.find(AT_AUTN);
    if (autn != nullptr && autn->valueSize >= AUTN_AMF_OFFSET + 2) {
        const uint16_t amf = get_be16(autn->value + AUTN_AMF_OFFSET);
        autnAmfs.push_back(amf);
        primeWithoutSeparation |= prime && (amf & AMF_SEPARATION_BIT) == 0;
    }
    const Attribute* bidding = p.find(AT_BIDDING);
    bidDown |= !prime && bidding != nullptr && bidding->valueSize == 2 &&
               (get_be16(bidding->value) & BIDDING_D_BIT) != 0;
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
                        std::to_string(kept.size()) + " characters), so the server saw '" + f.identitySent + "'" +
                        ((f.compatibility & EAP_COMPAT_LONG_REALM) == 0
                             ? "; --compat rfc4187 (EAP_COMPAT_LONG_REALM) keeps realms of up to 128 characters whole"
                             : ""));
    }
    if (f.unauthenticatedSuccess) {
        hints.push_back("the server reached EAP-Success without authenticating itself (the peer accepted no "
                        "AKA-Challenge or AKA-Reauthentication in this exchange), so its keys prove nothing: the "
                        "library hands out the previous MSK or zeros; its default lets this through, --compat rfc4187 "
                        "(EAP_COMPAT_STRICT_SUCCESS) refuses it");
    }
    if (f.succeeded) return hints;
    if (!f.unverifiedServer.empty()) {
        hints.push_back("replies from " + f.unverifiedServer + " do not verify with this --secret: the shared "
                        "secret differs from the one the server has for this client");
    }
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
    const bool primeEnabled = (f.compatibility & EAP_COMPAT_AKA_PRIME) != 0;
    if (f.methodRun == EAP_TYPE_AKA_PRIME && !primeEnabled) {
        hints.push_back("the server chose EAP-AKA' (EAP Type 50), which the library answers with a Nak unless "
                        "EAP_COMPAT_AKA_PRIME is set; --method aka-prime sets it");
    }
    if (f.primeAsked && f.methodRun == EAP_TYPE_AKA) {
        hints.push_back(std::string("the server ran EAP-AKA for '") + f.identitySent +
                        "': an EAP-AKA' server picks the method by the identity, and RFC 9048 section 3 makes \"6\" + "
                        "IMSI the EAP-AKA' permanent identity ('eapaka keystore init --method aka-prime' writes one)");
    }
    if (reported(EAPAKA_FAIL_INVALID_AUTN) && f.bidDown && primeEnabled) {
        hints.push_back("the server prefers EAP-AKA' (the D bit of AT_BIDDING in its EAP-AKA challenge), and a peer "
                        "with EAP-AKA' enabled refuses such a challenge as bid down (RFC 9048 section 4); an EAP-AKA' "
                        "identity (\"6\" + IMSI) lets the server start EAP-AKA'");
    } else if (reported(EAPAKA_FAIL_INVALID_AUTN) && f.primeWithoutSeparation) {
        hints.push_back("the EAP-AKA' challenge's AUTN lacks the AMF separation bit, and EAP-AKA' takes only vectors "
                        "with it (3GPP TS 33.102 Annex H): the HLR must issue them with AMF 8000 ('eapaka hlr' does "
                        "for an identity starting with \"6\")");
    } else if (reported(EAPAKA_FAIL_INVALID_AUTN)) {
        hints.push_back("the peer refused AUTN: K or OPc (or the Milenage constants) of the profile "
                        "differ from the network's");
    }
    const bool amfInMacS = (f.compatibility & EAP_COMPAT_AUTS_DUMMY_AMF) == 0 &&
                           std::any_of(f.autnAmfs.begin(), f.autnAmfs.end(), [](uint16_t amf) { return amf != 0; });
    if (resynchronised_repeatedly(f) && amfInMacS) {
        hints.push_back("the network kept sending SQNs the peer refused, as if it refused each AUTS: the library "
                        "computed MAC-S with the AMF of the refused AUTN, an AuC checks it with the dummy AMF 0000 "
                        "(3GPP TS 33.102 section 6.3.3); --compat rfc4187 (EAP_COMPAT_AUTS_DUMMY_AMF) does the same");
    } else if (reported(EAPAKA_FAIL_INVALID_SQN)) {
        hints.push_back("the network's SQN is outside what the profile's SEQ array accepts, and "
                        "resynchronisation did not bring them together; 'eapaka keystore forget' "
                        "clears the SEQ array");
    }
    return hints;
}

}  // namespace tool
