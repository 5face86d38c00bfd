// `eapaka radius`: the library authenticating through a RADIUS server, with
// this process as the NAS.
#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "eapaka/eapaka.h"
#include "tools/eap_wire.h"
#include "tools/interop/interop.h"
#include "tools/interop/radius_session.h"
#include "tools/keystore_file.h"

using namespace tool;

namespace {

using Clock = std::chrono::steady_clock;

const char USAGE[] =
    "usage: eapaka radius --secret SECRET [options]\n"
    "\n"
    "Authenticates the subscriber of the key store through a RADIUS server\n"
    "(RFC 2865, RFC 3579), this process acting as the NAS. Every EAP packet,\n"
    "key-store request and host event is shown; after an Access-Accept the MSK\n"
    "from the library is compared with the MS-MPPE-Recv-Key and\n"
    "MS-MPPE-Send-Key of the Accept (MATCH or MISMATCH). Pseudonyms and SEQ_MS\n"
    "updates are kept in the key store as the library hands them over; the\n"
    "profile stays locked until the run ends. The summary counts full\n"
    "authentications (and those the server took a pseudonym for) and fast\n"
    "re-authentications. Replies that do not verify are dropped and named.\n"
    "\n"
    "  --keystore FILE     subscriber profile (default ~/.eapaka/subscriber.profile)\n"
    "  --secret SECRET     the RADIUS shared secret\n"
    "  --server HOST       host name, IPv4 or IPv6 address (default 127.0.0.1)\n"
    "  --port N            authentication port (default 1812)\n"
    "  --count N, -n N     N authentications one after the other (default 1)\n"
    "  --compat MODE       rfc4187 (EAP_COMPAT_RFC4187: every RFC 4187 rule a real\n"
    "                      server relies on; servers such as hostapd need it),\n"
    "                      none (the default behaviour) or a number\n"
    "  --method aka|aka-prime\n"
    "                      the method every authentication must run: EAP-AKA\n"
    "                      (default) or EAP-AKA' (RFC 9048), which adds\n"
    "                      EAP_COMPAT_AKA_PRIME to the setting; the server picks\n"
    "                      it by the identity (\"6\" + IMSI for EAP-AKA')\n"
    "  --realm REALM       realm for the library, with or without the leading @\n"
    "                      (default: the profile's realm)\n"
    "  --nas-ip ADDR       send NAS-IP-Address (IPv4) or NAS-IPv6-Address\n"
    "  --calling-station-id ID   Calling-Station-Id (default 02-00-00-00-00-01)\n"
    "  --timeout MS        wait per transmission (default 3000)\n"
    "  --retries N         retransmissions per request (default 3)\n"
    "  --time-limit S      stop after S seconds in all (default: no limit)\n"
    "  --quiet             one line per authentication and the summary\n"
    "  --json              one JSON document with every packet and result\n"
    "  --pcap FILE         write the RADIUS datagrams (UDP over IPv4/IPv6)\n"
    "\n"
    "Exit status: 0 every authentication succeeded with matching keys, 1 one\n"
    "did not (or no answer came), 2 usage error (also an unknown host), 3 key\n"
    "store error.\n";

constexpr uint64_t MAX_COUNT = 1000000;
constexpr uint64_t MAX_TIMEOUT_MS = 600000;
constexpr uint64_t MAX_RETRIES = 100;
constexpr uint64_t MAX_TIME_LIMIT_S = 86400;

struct Options {
    std::string keystore;
    RadiusClientConfig radius;
    RadiusNasConfig nas;
    OutputMode mode = OutputMode::Readable;
    std::string pcap;
    uint64_t count = 1;
    uint64_t timeLimit = 0;   // seconds; 0: none
    long compat = -1;         // -1: leave the library's setting alone
    bool prime = false;       // --method aka-prime
};

bool parse_address(const std::string& text, ByteString& out, std::string& error) {
    uint8_t bytes[16];
    if (inet_pton(AF_INET, text.c_str(), bytes) == 1) {
        out.assign(bytes, bytes + 4);
    } else if (inet_pton(AF_INET6, text.c_str(), bytes) == 1) {
        out.assign(bytes, bytes + 16);
    } else {
        error = bad_value("--nas-ip", text, "an IPv4 or IPv6 address");
        return false;
    }
    return true;
}

bool read_options(const CommandLine& line, Options& o, std::string& error) {
    uint64_t port = 0, timeout = 0, retries = 0;
    if (!exclusive(line, "--quiet", "--json", error) ||
        !number_option(line, "--port", 1, 65535, 1812, port, error) ||
        !number_option(line, "--count", 1, MAX_COUNT, 1, o.count, error) ||
        !number_option(line, "--timeout", 1, MAX_TIMEOUT_MS, 3000, timeout, error) ||
        !number_option(line, "--retries", 0, MAX_RETRIES, 3, retries, error) ||
        !number_option(line, "--time-limit", 1, MAX_TIME_LIMIT_S, 0, o.timeLimit, error) ||
        (line.has("--compat") && !parse_compat(line.value("--compat"), o.compat, error)) ||
        !method_option(line, o.prime, error) ||
        (line.has("--nas-ip") && !parse_address(line.value("--nas-ip"), o.nas.nasIp, error))) {
        return false;
    }
    if (line.value("--secret").empty()) {
        error = "--secret is needed: the shared secret the server has for this client";
        return false;
    }
    o.radius.secret = line.value("--secret");
    o.radius.server = line.value("--server", o.radius.server);
    o.radius.port = static_cast<uint16_t>(port);
    o.radius.timeoutMs = static_cast<int>(timeout);
    o.radius.retries = static_cast<int>(retries);
    o.keystore = line.value("--keystore", profile_default_path());
    o.nas.realm = realm_with_at(line.value("--realm"));
    o.compat = compat_for_method(o.compat, o.prime);
    o.nas.compatibility = o.compat > 0 ? static_cast<unsigned>(o.compat) : 0;
    o.nas.callingStationId = line.value("--calling-station-id", o.nas.callingStationId);
    o.pcap = line.value("--pcap");
    if (line.has("--quiet")) o.mode = OutputMode::Quiet;
    if (line.has("--json")) o.mode = OutputMode::Json;
    return true;
}

enum class AuthKind { Full, Reauthentication, Other };

// A full authentication on the pseudonym the profile held: the peer sent it
// and the server went straight to its AKA-Challenge without asking for
// another identity (RFC 4187 section 4.1.1.7).
bool via_pseudonym(const RadiusAuthResult& r, const std::string& pseudonym) {
    const std::string& sent = r.facts.identitySent;
    return !pseudonym.empty() && sent.compare(0, sent.find('@'), pseudonym) == 0 &&
           std::find(r.requestSubtypes.begin(), r.requestSubtypes.end(), AKA_IDENTITY) == r.requestSubtypes.end();
}

// A fast re-authentication may fall back to a full one in the same exchange;
// the last of the two subtypes the server sent decides.
AuthKind kind_of(const RadiusAuthResult& r) {
    for (auto it = r.requestSubtypes.rbegin(); it != r.requestSubtypes.rend(); ++it) {
        if (*it == AKA_REAUTHENTICATION) return AuthKind::Reauthentication;
        if (*it == AKA_CHALLENGE) return AuthKind::Full;
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

// The document's opening: readable header lines or the JSON members.
void open_document(Report& report, const Options& o) {
    report.line("RADIUS server: " + o.radius.server + " port " + std::to_string(o.radius.port));
    report.line("key store:     " + o.keystore);
    if (o.prime) report.line("method:        EAP-AKA' (EAP_COMPAT_AKA_PRIME added to the peer's setting)");
    if (report.mode() != OutputMode::Json) return;
    JsonWriter& json = report.json();
    json.begin_object().field("command", "radius").field("version", EAPAKA_VERSION_STRING)
        .field("server", o.radius.server).field("port", int64_t{o.radius.port}).field("keystore", o.keystore)
        .field("compatibility", static_cast<int64_t>(o.compat)).field("method", method_option_name(o.prime))
        .begin_array("authentications");
}

int run_radius(const CommandLine& line) {
    Options o;
    std::string error;
    if (!read_options(line, o, error)) return usage_error(*line.command, error);
    std::vector<sockaddr_storage> addresses;
    if (!radius_resolve(o.radius.server, o.radius.port, addresses, error)) {
        return usage_error(*line.command, error);
    }
    SubscriberProfile profile;
    ProfileLock lock;
    if ((!profile_absent(o.keystore) && !lock.acquire(o.keystore, error, stderr)) ||
        !profile_load(o.keystore, ProfileKind::Peer, profile, error)) {
        std::fprintf(stderr, "eapaka radius: key store: %s\n", error.c_str());
        return EXIT_KEYSTORE;
    }
    if (o.nas.realm.empty()) o.nas.realm = profile.realm;
    PcapWriter pcap;
    if (!o.pcap.empty() && !pcap.open(o.pcap, error)) return usage_error(*line.command, error);
    o.radius.capture = o.pcap.empty() ? nullptr : &pcap;
    const Clock::time_point start = Clock::now();
    if (o.timeLimit > 0) o.radius.deadline = start + std::chrono::seconds(o.timeLimit);
    RadiusClient client;
    if (!client.open(o.radius, addresses, error)) {
        std::fprintf(stderr, "eapaka radius: %s\n", error.c_str());
        return EXIT_FAILED;
    }
    o.nas.permanentIdLength = static_cast<int>(profile.permanentId.size());
    ProfileKeyStore store(profile, o.keystore);
    Report report(o.mode, stdout, "server");
    PeerHost peer(store, &report);
    if (o.compat >= 0) EAP_SetCompatibility(static_cast<unsigned int>(o.compat));
    open_document(report, o);

    uint64_t attempted = 0, succeeded = 0, full = 0, reauth = 0, pseudonymous = 0;
    for (uint64_t n = 1; n <= o.count && Clock::now() < o.radius.deadline; ++n) {
        ++attempted;
        report.begin_item("--- authentication " + std::to_string(n) + " of " + std::to_string(o.count));
        if (o.mode == OutputMode::Json) report.json().field("index", static_cast<int64_t>(n));
        report.begin_log();
        const Clock::time_point begin = Clock::now();
        const std::string pseudonym = store.profile().pseudonym_text();
        RadiusAuthResult r = radius_authenticate(client, peer, o.radius.secret, o.nas, report);
        const uint8_t wanted = o.prime ? EAP_TYPE_AKA_PRIME : EAP_TYPE_AKA;
        const bool ranPrime = r.facts.methodRun == EAP_TYPE_AKA_PRIME;
        if (r.succeeded() && r.facts.methodRun != wanted) {
            r.failure = std::string("the server ran ") + method_title(ranPrime) + ", not the " +
                        method_title(o.prime) + " that --method asks for";
        }
        AuthKind kind = kind_of(r);
        const bool onPseudonym = kind == AuthKind::Full && via_pseudonym(r, pseudonym);
        if (r.succeeded()) {
            ++succeeded;
            full += kind == AuthKind::Full;
            reauth += kind == AuthKind::Reauthentication;
            pseudonymous += onPseudonym;
        }
        ItemResult item;
        item.name = kind_name(kind);
        if (onPseudonym) item.name += " on the pseudonym";
        item.passed = r.succeeded();
        item.reason = r.succeeded() ? "EAP-Success, keys MATCH" : "FAILED: " + r.failure;
        item.lastResult = r.eapResult;
        item.msk = r.msk;
        if (r.facts.methodRun != 0) item.method = method_option_name(ranPrime);
        item.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
        r.facts.succeeded = r.succeeded();
        r.facts.compatibility = o.compat > 0 ? static_cast<unsigned>(o.compat) : 0;
        r.facts.realm = o.nas.realm;
        r.facts.primeAsked = o.prime;
        item.hints = hints_for(r.facts);
        report.end_item(item);
        if (o.mode != OutputMode::Json) {
            std::printf("radius: %llu/%llu %s%s: %s\n", static_cast<unsigned long long>(n),
                        static_cast<unsigned long long>(o.count), item.name.c_str(), ranPrime ? " (EAP-AKA')" : "",
                        item.reason.c_str());
        }
        report.show_hints(item.hints);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double perSecond = seconds > 0 ? static_cast<double>(attempted) / seconds : 0.0;
    const bool passed = succeeded == o.count && !peer.storeFailed;
    if (o.mode == OutputMode::Json) {
        report.json().end_array().field("passed", passed).field("count", static_cast<int64_t>(o.count))
            .field("attempted", static_cast<int64_t>(attempted)).field("succeeded", static_cast<int64_t>(succeeded))
            .field("full", static_cast<int64_t>(full)).field("full_on_pseudonym", static_cast<int64_t>(pseudonymous))
            .field("fast_reauthentication", static_cast<int64_t>(reauth))
            .field("seconds", seconds).field("per_second", perSecond)
            .field("retransmissions", static_cast<int64_t>(client.retransmissions())).end_object();
        report.print_json();
    } else {
        std::printf("radius: %llu of %llu authentications succeeded with matching keys (%llu full, %llu of them "
                    "on the pseudonym; %llu fast re-authentication) in %.3f s, %.1f authentications per second\n",
                    static_cast<unsigned long long>(succeeded), static_cast<unsigned long long>(o.count),
                    static_cast<unsigned long long>(full), static_cast<unsigned long long>(pseudonymous),
                    static_cast<unsigned long long>(reauth), seconds, perSecond);
        if (client.retransmissions() > 0) std::printf("radius: %u retransmissions\n", client.retransmissions());
    }
    if (attempted < o.count) {
        std::fprintf(stderr, "eapaka radius: the time limit of %llu s ran out after %llu of %llu authentications\n",
                     static_cast<unsigned long long>(o.timeLimit), static_cast<unsigned long long>(attempted),
                     static_cast<unsigned long long>(o.count));
    }
    if (peer.storeFailed) {
        std::fprintf(stderr, "eapaka radius: the key store could not be updated: %s\n", store.last_error().c_str());
    }
    return passed ? EXIT_OK : EXIT_FAILED;
}

}  // namespace

const CommandInfo& radius_command() {
    static const CommandInfo info{
        "radius",
        {{"--keystore", nullptr, "FILE"}, {"--secret", nullptr, "SECRET"}, {"--server", nullptr, "HOST"},
         {"--port", nullptr, "N"}, {"--count", "-n", "N"}, {"--compat", nullptr, "MODE"},
         {"--method", nullptr, "METHOD"}, {"--realm", nullptr, "REALM"}, {"--nas-ip", nullptr, "ADDR"},
         {"--calling-station-id", nullptr, "ID"}, {"--timeout", nullptr, "MS"}, {"--retries", nullptr, "N"},
         {"--time-limit", nullptr, "S"}, {"--quiet", nullptr, nullptr}, {"--json", nullptr, nullptr},
         {"--pcap", nullptr, "FILE"}},
        nullptr,
        USAGE,
        run_radius};
    return info;
}
