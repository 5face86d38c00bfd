// `eapaka hlr`: the HLR/AuC gateway for the subscribers of profile files.
#include <cstring>
#include <iostream>
#include <string>

#include "tools/bytes.h"
#include "tools/interop/hlr_gateway.h"
#include "tools/interop/interop.h"
#include "tools/keystore_file.h"

using namespace tool;

namespace {

const char USAGE[] =
    "usage: eapaka hlr --socket PATH [--amf HEX] [--seq N] [--ind N] PROFILE...\n"
    "\n"
    "Serves authentication vectors to an EAP-AKA or EAP-AKA' server over a UNIX\n"
    "datagram socket (AKA-REQ-AUTH / AKA-RESP-AUTH / AKA-AUTS) for the\n"
    "subscriber of each profile file; an EAP-AKA' server derives CK' and IK'\n"
    "from the same vectors. The IMSI is the profile's permanent identity\n"
    "without its leading \"0\" (EAP-AKA) or \"6\" (EAP-AKA'). K, OPc and the\n"
    "Milenage constants come from the profile.\n"
    "\n"
    "  --socket PATH  socket to bind (a stale one is replaced)\n"
    "  --amf HEX      AMF of the vectors, 4 hex digits (default 0000, and 8000\n"
    "                 for an EAP-AKA' identity: EAP-AKA' takes only vectors\n"
    "                 with the separation bit, TS 33.102 Annex H); MAC-S of an\n"
    "                 AUTS is checked with the dummy AMF 0000 whatever it is,\n"
    "                 as TS 33.102 6.3.3 says\n"
    "  --seq N        SEQ of the last vector issued; the first has N + 1\n"
    "                 (default: a network record's seq_he, else 0)\n"
    "  --ind N        IND of the vectors, 0..31 (default: next_ind, else 0)\n"
    "--amf, --seq and --ind apply to the profiles named after them and may be\n"
    "given again before later ones. The gateway logs each request on stdout\n"
    "and runs until SIGINT or SIGTERM.\n"
    "\n"
    "Exit status: 0 stopped by a signal, 1 the socket could not be bound or a\n"
    "receive failed, 2 usage error, 3 a profile is missing or malformed.\n";

struct PendingOptions {
    uint8_t amf[2] = {0, 0};
    bool amfGiven = false;
    long long seq = -1;  // -1: take it from the profile
    long long ind = -1;
};

// The IMSI behind a permanent identity "0<IMSI>" or "6<IMSI>"; any other
// identity is taken as the IMSI itself.
std::string imsi_of(const std::string& permanentId) {
    const std::string imsi = imsi_of_identity(permanentId);
    return imsi.empty() ? permanentId : imsi;
}

// The subscriber of the profile at `path`; `note` says what an EAP-AKA'
// identity changed.
bool load_subscriber(const std::string& path, const PendingOptions& options, HlrSubscriber& s, std::string& note,
                     std::string& error) {
    SubscriberProfile profile;
    std::string peerError;
    if (!profile_load(path, ProfileKind::Peer, profile, peerError) &&
        !profile_load(path, ProfileKind::Network, profile, error)) {
        error = peerError;
        return false;
    }
    s.imsi = imsi_of(profile.permanentId);
    s.keys = profile.main;
    s.milenage = profile.milenage;
    std::memcpy(s.amf, options.amf, sizeof s.amf);
    note.clear();
    if (profile.permanentId[0] == AKA_PRIME_PERMANENT_PREFIX) {
        if (!options.amfGiven) put_be16(s.amf, AMF_SEPARATION_BIT);
        note = " (EAP-AKA' identity, AMF " + to_hex(s.amf, 2) + ")";
        if ((get_be16(s.amf) & AMF_SEPARATION_BIT) == 0) {
            std::cerr << "eapaka hlr: " << path << " holds an EAP-AKA' identity, but --amf " << to_hex(s.amf, 2)
                      << " lacks the separation bit that EAP-AKA' requires (8000)\n";
        }
    }
    s.seq = options.seq >= 0 ? static_cast<uint64_t>(options.seq) : profile.seqHe;
    s.ind = options.ind >= 0 ? static_cast<unsigned>(options.ind) : profile.nextInd % SQN_IND_COUNT;
    return true;
}

// Applies one per-profile option to `options`; false with `error`.
bool take_option(const CommandLine::Item& item, PendingOptions& options, std::string& error) {
    uint64_t number = 0;
    if (item.name == "--amf") {
        Bytes amf;
        if (!from_hex(item.value, amf) || amf.size() != 2) {
            error = bad_value(item.name, item.value, "4 hex digits");
            return false;
        }
        std::memcpy(options.amf, amf.data(), 2);
        options.amfGiven = true;
    } else if (item.name == "--seq") {
        if (!parse_number(item.name, item.value, 0, PROFILE_SEQ_LIMIT - 2, number, error)) return false;
        options.seq = static_cast<long long>(number);
    } else if (item.name == "--ind") {
        if (!parse_number(item.name, item.value, 0, SQN_IND_COUNT - 1, number, error)) return false;
        options.ind = static_cast<long long>(number);
    }
    return true;
}

int run_hlr(const CommandLine& line) {
    HlrAuc auc;
    PendingOptions options;
    std::string error;
    const std::string socket = line.value("--socket");
    if (socket.empty() || line.operands().empty()) {
        return usage_error(*line.command, "a --socket and at least one profile are needed");
    }
    if (socket.size() > HLR_SOCKET_PATH_MAX) {
        return usage_error(*line.command, bad_value("--socket", socket, "a path of at most " +
                                                    std::to_string(HLR_SOCKET_PATH_MAX) + " characters"));
    }
    // Check the whole command line before reading any profile.
    for (const CommandLine::Item& item : line.items) {
        if (!take_option(item, options, error)) return usage_error(*line.command, error);
    }
    options = PendingOptions{};
    for (const CommandLine::Item& item : line.items) {
        take_option(item, options, error);
        if (!item.name.empty()) continue;
        HlrSubscriber s;
        std::string note;
        if (!load_subscriber(item.value, options, s, note, error)) {
            std::cerr << "eapaka hlr: " << error << "\n";
            return EXIT_KEYSTORE;
        }
        std::cout << "hlr: subscriber " << s.imsi << " from " << item.value << note << "\n";
        auc.add(s);
    }
    return hlr_serve(auc, socket, std::cout, std::cerr);
}

}  // namespace

const CommandInfo& hlr_command() {
    static const CommandInfo info{
        "hlr",
        {{"--socket", nullptr, "PATH"},
         {"--amf", nullptr, "HEX", true},
         {"--seq", nullptr, "N", true},
         {"--ind", nullptr, "N", true}},
        "PROFILE...",
        USAGE,
        run_hlr};
    return info;
}
