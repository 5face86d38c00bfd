// eapaka: runs EAP-AKA authentications between the peer library and a
// simulated operator network, and shows every packet, event and key-store
// request on the way.
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/bench.h"
#include "tools/interop/interop.h"
#include "tools/scenarios.h"

using namespace tool;

namespace {

constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_KEYSTORE = 3;
constexpr unsigned DEFAULT_BENCH_COUNT = 1000;
const char* const DEFAULT_REALM = "@eapaka.test";

const char HELP[] =
    "usage: eapaka [options]                    run a scenario (default: full)\n"
    "       eapaka keystore init [options]      write a new subscriber profile\n"
    "       eapaka keystore show [options]      print the subscriber profile\n"
    "       eapaka bench [-n N]                 measure authentications per second\n"
    "       eapaka radius --profile FILE --secret S [options]\n"
    "                                           authenticate through a RADIUS server\n"
    "       eapaka hlr --socket PATH PROFILE... serve AKA vectors to an EAP-AKA server\n"
    "\n"
    "eapaka plays a connection manager that loads the EAP-AKA peer library\n"
    "(libeapaka.so) and a simulated operator network (authenticator, EAP-AKA\n"
    "server and HSS/AuC) and runs complete authentications between them.\n"
    "\n"
    "Scenario options:\n"
    "  --scenario NAME   full (default), identity-rounds, pseudonym, reauth,\n"
    "                    counter-too-small, resync, result-ind, alt-keyset,\n"
    "                    notify-failure, bad-autn, bad-mac, timeout, or all\n"
    "                    (runs every one and prints a pass/fail table;\n"
    "                    timeout waits the library's 10-second response timer)\n"
    "  --list            list the scenarios\n"
    "  --keystore FILE   subscriber profile (default ~/.eapaka/subscriber.profile,\n"
    "                    created with the defaults of 'keystore init' if missing)\n"
    "  --network FILE    the network's record of the subscriber (default:\n"
    "                    the profile's name with .network appended)\n"
    "  --realm REALM     realm appended to identities (default @eapaka.test)\n"
    "  --quiet           one summary line instead of the packet log\n"
    "  --json            one JSON document with every packet and event\n"
    "  --pcap FILE       write the exchange as EAPOL frames (EtherType 0x888E)\n"
    "  --trace           create the library's trace file and say where it is\n"
    "                    (the library traces whenever that file exists; it\n"
    "                    holds keys in clear: delete it afterwards)\n"
    "\n"
    "keystore init options:\n"
    "  --keystore FILE   as above; --force overwrites an existing profile\n"
    "  --imsi DIGITS     IMSI (default 001010123456789); the identity is '0'+IMSI\n"
    "  --k HEX --opc HEX main key set (default: 3GPP TS 35.208 test set 1)\n"
    "  --operator-milenage   random c1..c5 and r1..r5 instead of the standard\n"
    "                    Milenage constants\n"
    "  'init' also provisions the network's record with the same secrets.\n"
    "\n"
    "The profile is a text file: permanent_id, k, opc, k_alt, opc_alt, c1..c5,\n"
    "r (five rotations), pseudonym, and seq_ms <index> <SEQ> for the 32 SQN\n"
    "array entries. Every store request of the library rewrites it at once,\n"
    "crash-safe (temporary file, fsync, rename).\n"
    "\n"
    "Exit status: 0 all scenarios passed, 1 a scenario failed, 2 usage error,\n"
    "3 key store error.\n";

struct Options {
    std::string command;      // "", "keystore-init", "keystore-show", "bench"
    std::string scenario = "full";
    std::string keystore;
    std::string network;
    std::string realm = DEFAULT_REALM;
    std::string pcap;
    std::string imsi;
    std::string k;
    std::string opc;
    OutputMode mode = OutputMode::Readable;
    bool trace = false;
    bool force = false;
    bool operatorMilenage = false;
    bool list = false;
    unsigned benchCount = DEFAULT_BENCH_COUNT;
};

int usage(const std::string& message) {
    std::fprintf(stderr, "eapaka: %s\n(eapaka --help explains the options)\n", message.c_str());
    return EXIT_USAGE;
}

bool parse_arguments(int argc, char** argv, Options& o, std::string& error) {
    std::vector<std::string> args(argv + 1, argv + argc);
    size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };
        if (a == "keystore" && o.command.empty()) {
            if (i + 1 >= args.size() || (args[i + 1] != "init" && args[i + 1] != "show")) {
                error = "keystore needs 'init' or 'show'";
                return false;
            }
            o.command = "keystore-" + args[++i];
        } else if (a == "bench" && o.command.empty()) {
            o.command = "bench";
        } else if (a == "--help" || a == "-h") {
            o.command = "help";
            return true;
        } else if (a == "--scenario") {
            if (!value(o.scenario)) return false;
        } else if (a == "--keystore") {
            if (!value(o.keystore)) return false;
        } else if (a == "--network") {
            if (!value(o.network)) return false;
        } else if (a == "--realm") {
            if (!value(o.realm)) return false;
        } else if (a == "--pcap") {
            if (!value(o.pcap)) return false;
        } else if (a == "--imsi") {
            if (!value(o.imsi)) return false;
        } else if (a == "--k") {
            if (!value(o.k)) return false;
        } else if (a == "--opc") {
            if (!value(o.opc)) return false;
        } else if (a == "-n") {
            std::string n;
            if (!value(n)) return false;
            char* end = nullptr;
            unsigned long count = std::strtoul(n.c_str(), &end, 10);
            if (n.empty() || *end != '\0' || count == 0 || count > 10000000) {
                error = "-n needs a count from 1 to 10000000";
                return false;
            }
            o.benchCount = static_cast<unsigned>(count);
        } else if (a == "--quiet") {
            o.mode = OutputMode::Quiet;
        } else if (a == "--json") {
            o.mode = OutputMode::Json;
        } else if (a == "--trace") {
            o.trace = true;
        } else if (a == "--force") {
            o.force = true;
        } else if (a == "--operator-milenage") {
            o.operatorMilenage = true;
        } else if (a == "--list") {
            o.list = true;
        } else {
            error = "unknown argument '" + a + "'";
            return false;
        }
    }
    if (o.realm.size() > 15) {
        error = "--realm takes at most 15 characters";
        return false;
    }
    return true;
}

std::string default_keystore() {
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr && *home != '\0' ? home : ".") + "/.eapaka/subscriber.profile";
}

bool file_exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

void make_parent_directory(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) ::mkdir(path.substr(0, slash).c_str(), 0700);
}

bool build_profile(const Options& o, SubscriberProfile& p, std::string& error) {
    p = SubscriberProfile::defaults();
    if (!o.imsi.empty()) {
        if (o.imsi.size() > PROFILE_ID_MAX - 1 || o.imsi.find_first_not_of("0123456789") != std::string::npos) {
            error = "--imsi takes up to 15 digits";
            return false;
        }
        p.permanentId = "0" + o.imsi;
    }
    Bytes bytes;
    if (!o.k.empty()) {
        if (!from_hex(o.k, bytes) || bytes.size() != 16) {
            error = "--k takes 32 hex digits";
            return false;
        }
        std::memcpy(p.main.k, bytes.data(), 16);
    }
    if (!o.opc.empty()) {
        if (!from_hex(o.opc, bytes) || bytes.size() != 16) {
            error = "--opc takes 32 hex digits";
            return false;
        }
        std::memcpy(p.main.opc, bytes.data(), 16);
    }
    if (o.operatorMilenage) {
        NetRandom random;
        for (int i = 0; i < 5; ++i) {
            random.fill(p.milenage.c[i].data(), 16);
            uint8_t r;
            random.fill(&r, 1);
            p.milenage.r[i] = r & 0x7F;
        }
    }
    return true;
}

std::string network_path(const Options& o) {
    return o.network.empty() ? o.keystore + ".network" : o.network;
}

int keystore_init(const Options& o) {
    SubscriberProfile p;
    std::string error;
    if (!build_profile(o, p, error)) return usage(error);
    if (file_exists(o.keystore) && !o.force) {
        std::fprintf(stderr, "eapaka: %s exists; --force replaces it\n", o.keystore.c_str());
        return EXIT_KEYSTORE;
    }
    make_parent_directory(o.keystore);
    if (!profile_save(o.keystore, p, ProfileKind::Peer, error) ||
        !profile_save(network_path(o), p, ProfileKind::Network, error)) {
        std::fprintf(stderr, "eapaka: %s\n", error.c_str());
        return EXIT_KEYSTORE;
    }
    std::printf("wrote subscriber profile %s (identity %s, %s Milenage)\n", o.keystore.c_str(),
                p.permanentId.c_str(), o.operatorMilenage ? "operator" : "standard");
    std::printf("provisioned the network's record %s\n", network_path(o).c_str());
    return 0;
}

int keystore_show(const Options& o) {
    SubscriberProfile p;
    std::string error;
    if (!profile_load(o.keystore, ProfileKind::Peer, p, error)) {
        std::fprintf(stderr, "eapaka: %s\n", error.c_str());
        return EXIT_KEYSTORE;
    }
    std::fputs(profile_format(p, ProfileKind::Peer).c_str(), stdout);
    return 0;
}

// The library traces whenever its trace file exists; --trace creates it,
// private to the user as the library requires.
bool prepare_trace(bool create, std::string& path) {
    path = EAPAKA_TRACE_PATH;
    if (!path.empty() && path[0] != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd) != nullptr) path = std::string(cwd) + "/" + path;
    }
    if (create && !file_exists(path)) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        ::close(fd);
    }
    return file_exists(path);
}

int run(const Options& o) {
    std::vector<const Scenario*> selected;
    if (o.scenario == "all") {
        for (const Scenario& s : all_scenarios()) selected.push_back(&s);
    } else if (const Scenario* s = find_scenario(o.scenario)) {
        selected.push_back(s);
    } else {
        return usage("unknown scenario '" + o.scenario + "' (eapaka --list)");
    }

    std::string error;
    if (!file_exists(o.keystore)) {
        Options init = o;
        if (int status = keystore_init(init)) return status;
    }
    SubscriberProfile peer;
    if (!profile_load(o.keystore, ProfileKind::Peer, peer, error)) {
        std::fprintf(stderr, "eapaka: key store: %s\n", error.c_str());
        return EXIT_KEYSTORE;
    }
    SubscriberProfile network;
    std::string networkFile = network_path(o);
    if (!file_exists(networkFile)) {
        network = peer;   // provision the operator's record from the profile
        if (!profile_save(networkFile, network, ProfileKind::Network, error)) {
            std::fprintf(stderr, "eapaka: %s\n", error.c_str());
            return EXIT_KEYSTORE;
        }
    } else if (!profile_load(networkFile, ProfileKind::Network, network, error)) {
        std::fprintf(stderr, "eapaka: network record: %s\n", error.c_str());
        return EXIT_KEYSTORE;
    }

    std::string tracePath;
    bool tracing = prepare_trace(o.trace, tracePath);
    if (o.trace && !tracing) {
        std::fprintf(stderr, "eapaka: cannot create the trace file %s\n", tracePath.c_str());
        return EXIT_USAGE;
    }

    Report report(o.mode, stdout);
    PcapWriter pcap;
    if (!o.pcap.empty()) {
        if (!pcap.open(o.pcap, error)) {
            std::fprintf(stderr, "eapaka: %s\n", error.c_str());
            return EXIT_USAGE;
        }
        report.set_pcap(&pcap);
    }
    if (o.mode == OutputMode::Readable) {
        std::printf("key store: %s\nnetwork:   %s\n", o.keystore.c_str(), networkFile.c_str());
        if (tracing) std::printf("trace:     %s (the library writes keys in clear to it)\n", tracePath.c_str());
    }

    ProfileKeyStore store(peer, o.keystore);
    PeerHost host(store, &report);
    NetRandom random;
    Hss hss(network, random);
    EapAkaServer server(hss, o.realm, random);
    ScenarioEnv env{host, store, hss, server, report, o.realm, networkFile, 0};

    std::vector<ScenarioResult> results;
    for (const Scenario* s : selected) results.push_back(run_scenario(*s, env));
    report.finish(results);
    if (o.mode == OutputMode::Readable) {
        if (!o.pcap.empty()) std::printf("capture:   %s\n", o.pcap.c_str());
        if (tracing) std::printf("trace:     %s\n", tracePath.c_str());
    }
    for (const ScenarioResult& r : results) {
        if (!r.passed) return EXIT_FAILED;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The interoperability commands take their own options.
    if (argc > 1 && std::strcmp(argv[1], "radius") == 0) return radius_main(argc - 1, argv + 1);
    if (argc > 1 && std::strcmp(argv[1], "hlr") == 0) return hlr_main(argc - 1, argv + 1);
    Options o;
    std::string error;
    if (!parse_arguments(argc, argv, o, error)) return usage(error);
    if (o.command == "help") {
        std::fputs(HELP, stdout);
        return 0;
    }
    if (o.list) {
        for (const Scenario& s : all_scenarios()) std::printf("%-18s %s\n", s.name, s.description);
        return 0;
    }
    if (o.keystore.empty()) o.keystore = default_keystore();
    if (o.command == "keystore-init") return keystore_init(o);
    if (o.command == "keystore-show") return keystore_show(o);
    if (o.command == "bench") {
        std::string tracePath;
        if (prepare_trace(false, tracePath)) {
            std::fprintf(stderr, "eapaka: %s exists, so the library traces; remove it to measure\n",
                         tracePath.c_str());
            return EXIT_USAGE;
        }
        return run_bench(o.benchCount, o.realm, stdout);
    }
    return run(o);
}
