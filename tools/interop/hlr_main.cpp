// `eapaka hlr`: the HLR/AuC gateway for the subscribers of profile files.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "tools/bytes.h"
#include "tools/interop/hlr_gateway.h"
#include "tools/interop/interop.h"
#include "tools/keystore_file.h"

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
    "  --amf HEX      AMF of the vectors, 4 hex digits (default 0000)\n"
    "  --seq N        SEQ of the last vector issued; the first has N + 1\n"
    "                 (default: a network record's seq_he, else 0)\n"
    "  --ind N        IND of the vectors, 0..31 (default: next_ind, else 0)\n"
    "The options apply to the profiles named after them. The gateway runs until\n"
    "SIGINT or SIGTERM.\n";

struct PendingOptions {
    uint8_t amf[2] = {0, 0};
    long long seq = -1;  // -1: take it from the profile
    long ind = -1;
};

bool parse_number(const char* text, long long max, long long& out) {
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 0 || value > max) return false;
    out = value;
    return true;
}

// The IMSI behind an EAP-AKA permanent identity "0<IMSI>" (RFC 4187 4.1.1.6).
std::string imsi_of(const std::string& permanentId) {
    return permanentId.size() > 1 && permanentId[0] == '0' ? permanentId.substr(1) : permanentId;
}

bool load_subscriber(const std::string& path, const PendingOptions& options, HlrSubscriber& s,
                     std::string& error) {
    tool::SubscriberProfile profile;
    std::string peerError;
    if (!tool::profile_load(path, tool::ProfileKind::Peer, profile, peerError) &&
        !tool::profile_load(path, tool::ProfileKind::Network, profile, error)) {
        error = peerError;
        return false;
    }
    s.imsi = imsi_of(profile.permanentId);
    s.keys = profile.main;
    s.milenage = profile.milenage;
    std::memcpy(s.amf, options.amf, sizeof s.amf);
    s.seq = options.seq >= 0 ? static_cast<uint64_t>(options.seq) : profile.seqHe;
    s.ind = options.ind >= 0 ? static_cast<unsigned>(options.ind) : profile.nextInd % tool::SQN_IND_COUNT;
    return true;
}

}  // namespace

int hlr_main(int argc, char** argv) {
    HlrAuc auc;
    PendingOptions options;
    std::string socketPath;
    int subscribers = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        long long number = 0;
        if (arg == "--help" || arg == "-h") {
            std::cout << USAGE;
            return 0;
        } else if (arg == "--socket" && hasValue) {
            socketPath = argv[++i];
        } else if (arg == "--amf" && hasValue) {
            tool::Bytes amf;
            if (!tool::from_hex(argv[++i], amf) || amf.size() != 2) {
                std::cerr << "eapaka hlr: --amf needs 4 hex digits\n";
                return 2;
            }
            std::memcpy(options.amf, amf.data(), 2);
        } else if (arg == "--seq" && hasValue) {
            if (!parse_number(argv[++i], static_cast<long long>(tool::PROFILE_SEQ_LIMIT - 2), number)) {
                std::cerr << "eapaka hlr: --seq needs a number below 2^43 - 1\n";
                return 2;
            }
            options.seq = number;
        } else if (arg == "--ind" && hasValue) {
            if (!parse_number(argv[++i], static_cast<long long>(tool::SQN_IND_COUNT - 1), number)) {
                std::cerr << "eapaka hlr: --ind needs a number from 0 to 31\n";
                return 2;
            }
            options.ind = static_cast<long>(number);
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::cerr << "eapaka hlr: unknown or incomplete option " << arg << "\n" << USAGE;
            return 2;
        } else {
            HlrSubscriber s;
            std::string error;
            if (!load_subscriber(arg, options, s, error)) {
                std::cerr << "eapaka hlr: " << error << "\n";
                return 1;
            }
            std::cout << "hlr: subscriber " << s.imsi << " from " << arg << "\n";
            auc.add(s);
            ++subscribers;
        }
    }
    if (socketPath.empty() || subscribers == 0) {
        std::cerr << "eapaka hlr: a --socket and at least one profile are needed\n" << USAGE;
        return 2;
    }
    return hlr_serve(auc, socketPath, std::cout);
}
