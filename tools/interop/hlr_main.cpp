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
    "Serves authentication vectors to an EAP-AKA server over a UNIX datagram\n"
    "socket (AKA-REQ-AUTH / AKA-RESP-AUTH / AKA-AUTS) for the subscriber of\n"
    "each profile file. The IMSI is the profile's permanent identity without\n"
    "its leading \"0\". K, OPc and the Milenage constants come from the profile.\n"
    "\n"
    "  --socket PATH  socket to bind (a stale one is replaced)\n"
    "  --amf HEX      AMF of the vectors, 4 hex digits (default 0000); MAC-S of\n"
    "                 an AUTS is checked with the dummy AMF 0000 whatever it is,\n"
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
    long long seq = -1;  // -1: take it from the profile
    long long ind = -1;
};

// The IMSI behind an EAP-AKA permanent identity "0<IMSI>" (RFC 4187 4.1.1.6).
std::string imsi_of(const std::string& permanentId) {
    return permanentId.size() > 1 && permanentId[0] == '0' ? permanentId.substr(1) : permanentId;
}

bool load_subscriber(const std::string& path, const PendingOptions& options, HlrSubscriber& s,
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
        if (!load_subscriber(item.value, options, s, error)) {
            std::cerr << "eapaka hlr: " << error << "\n";
            return EXIT_KEYSTORE;
        }
        std::cout << "hlr: subscriber " << s.imsi << " from " << item.value << "\n";
        auc.add(s);
    }
    return hlr_serve(auc, socket, std::cout, std::cerr);
}

}  // namespace

const CommandSpec& hlr_command() {
    static const CommandSpec spec{
        "hlr",
        {{"--socket", nullptr, "PATH"},
         {"--amf", nullptr, "HEX", true},
         {"--seq", nullptr, "N", true},
         {"--ind", nullptr, "N", true}},
        "PROFILE...",
        USAGE,
        run_hlr};
    return spec;
}
