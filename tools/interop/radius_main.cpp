// `eapaka radius`: the library authenticating through a RADIUS server, with
// this process as the NAS.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "tools/eap_wire.h"
#include "tools/interop/interop.h"
#include "tools/interop/radius_session.h"

namespace {

const char USAGE[] =
    "usage: eapaka radius --profile FILE --secret SECRET [options]\n"
    "\n"
    "Authenticates the subscriber of FILE through a RADIUS server (RFC 2865,\n"
    "RFC 3579), this process acting as the NAS. Every EAP packet, key-store\n"
    "request and host event is shown; after an Access-Accept the MSK from the\n"
    "library is compared with the MS-MPPE-Recv-Key and MS-MPPE-Send-Key of the\n"
    "Accept (MATCH or MISMATCH). Pseudonyms, fast re-authentication identities\n"
    "and SEQ_MS updates are kept in FILE as the library hands them over.\n"
    "\n"
    "  --server ADDR       IPv4 address of the server (default 127.0.0.1)\n"
    "  --port N            authentication port (default 1812)\n"
    "  --count N           N authentications one after the other (default 1)\n"
    "  --compat MODE       rfc4187 (ignore unknown skippable attributes and\n"
    "                      send an empty AT_CHECKCODE when no identity round\n"
    "                      took place), none (the default behaviour) or a number\n"
    "  --realm REALM       realm for the library (default: its built-in one)\n"
    "  --timeout MS        wait per transmission (default 3000)\n"
    "  --retries N         retransmissions per request (default 3)\n"
    "  --quiet             one line per authentication and the summary\n"
    "Exit status: 0 when every authentication succeeded with matching keys.\n";

struct Options {
    std::string profile;
    RadiusClientConfig radius;
    RadiusNasConfig nas;
    long count = 1;
    long compat = -1;  // -1: leave the library's setting alone
};

bool parse_long(const char* text, long min, long max, long& out) {
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || value < min || value > max) return false;
    out = value;
    return true;
}

// Returns 0 when the options are complete, else an exit status.
int parse_options(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        long number = 0;
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            std::cout << USAGE;
            return -1;
        } else if (arg == "--quiet") {
            o.nas.verbose = false;
            continue;
        } else if (value == nullptr) {
            ok = false;
        } else if (arg == "--profile") {
            o.profile = value;
        } else if (arg == "--secret") {
            o.radius.secret = value;
        } else if (arg == "--server") {
            o.radius.server = value;
        } else if (arg == "--realm") {
            o.nas.realm = value;
        } else if (arg == "--port") {
            ok = parse_long(value, 1, 65535, number);
            o.radius.port = static_cast<uint16_t>(number);
        } else if (arg == "--count") {
            ok = parse_long(value, 1, 1000000, o.count);
        } else if (arg == "--timeout") {
            ok = parse_long(value, 1, 600000, number);
            o.radius.timeoutMs = static_cast<int>(number);
        } else if (arg == "--retries") {
            ok = parse_long(value, 0, 100, number);
            o.radius.retries = static_cast<int>(number);
        } else if (arg == "--compat") {
            std::string mode = value;
            if (mode == "rfc4187") o.compat = EAP_COMPAT_RFC4187;
            else if (mode == "none") o.compat = 0;
            else ok = parse_long(value, 0, 0xFFFFFFFFL, o.compat);
        } else {
            ok = false;
        }
        if (!ok) {
            std::cerr << "eapaka radius: bad or incomplete option " << arg << "\n" << USAGE;
            return 2;
        }
        ++i;
    }
    if (o.profile.empty() || o.radius.secret.empty()) {
        std::cerr << "eapaka radius: --profile and --secret are needed\n" << USAGE;
        return 2;
    }
    return 0;
}

enum class AuthKind { Full, Reauthentication, Other };

// A fast re-authentication may fall back to a full one in the same exchange;
// the last of the two subtypes the server sent decides.
AuthKind kind_of(const RadiusAuthResult& r) {
    for (auto it = r.requestSubtypes.rbegin(); it != r.requestSubtypes.rend(); ++it) {
        if (*it == tool::AKA_REAUTHENTICATION) return AuthKind::Reauthentication;
        if (*it == tool::AKA_CHALLENGE) return AuthKind::Full;
    }
    return AuthKind::Other;
}

const char* kind_name(AuthKind kind) {
    switch (kind) {
    case AuthKind::Full: return "full authentication";
    case AuthKind::Reauthentication: return "fast re-authentication";
    default: return "authentication";
    }
}

}  // namespace

int radius_main(int argc, char** argv) {
    Options o;
    int status = parse_options(argc, argv, o);
    if (status != 0) return status < 0 ? 0 : status;

    tool::SubscriberProfile profile;
    RadiusClient client;
    std::string error;
    if (!tool::profile_load(o.profile, tool::ProfileKind::Peer, profile, error) ||
        !client.open(o.radius, error)) {
        std::cerr << "eapaka radius: " << error << "\n";
        return 1;
    }
    o.nas.permanentIdLength = static_cast<int>(profile.permanentId.size());
    tool::ProfileKeyStore store(profile, o.profile);
    RadiusHostPrinter printer(std::cout, o.nas.verbose);
    tool::PeerHost peer(store, &printer);
    if (o.compat >= 0) EAP_SetCompatibility(static_cast<unsigned int>(o.compat));

    long succeeded = 0, full = 0, reauth = 0;
    auto start = std::chrono::steady_clock::now();
    for (long n = 1; n <= o.count; ++n) {
        if (o.nas.verbose) std::cout << "authentication " << n << " of " << o.count << "\n";
        RadiusAuthResult r = radius_authenticate(client, peer, o.radius.secret, o.nas, std::cout);
        AuthKind kind = kind_of(r);
        if (r.succeeded()) {
            ++succeeded;
            (kind == AuthKind::Reauthentication ? reauth : full) += 1;
        }
        std::cout << "radius: " << n << "/" << o.count << " " << kind_name(kind) << ": "
                  << (r.succeeded() ? "EAP-Success, keys MATCH" : "FAILED: " + r.failure) << "\n";
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char rate[64];
    std::snprintf(rate, sizeof rate, "%.3f s, %.1f authentications per second", seconds,
                  seconds > 0 ? static_cast<double>(o.count) / seconds : 0.0);
    std::cout << "radius: " << succeeded << " of " << o.count
              << " authentications succeeded with matching keys (" << full << " full, " << reauth
              << " fast re-authentication) in " << rate << "\n";
    if (client.retransmissions() > 0)
        std::cout << "radius: " << client.retransmissions() << " retransmissions\n";
    if (peer.storeFailed)
        std::cout << "radius: the profile file could not be updated: " << store.last_error() << "\n";
    return succeeded == o.count && !peer.storeFailed ? 0 : 1;
}
