// eapaka: runs EAP-AKA authentications between the peer library and a
// simulated operator network, and shows every packet, event and key-store
// request on the way; also keeps the subscriber profile, measures, and
// authenticates through a RADIUS server.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "eapaka/eapaka.h"
#include "tools/bench.h"
#include "tools/cli.h"
#include "tools/interop/interop.h"
#include "tools/scenarios.h"
#include "tools/trace_file.h"

using namespace tool;

namespace {

constexpr uint64_t DEFAULT_BENCH_COUNT = 1000;
constexpr uint64_t MAX_BENCH_COUNT = 10000000;

const char HELP[] =
    "usage: eapaka [options]                   run scenarios (default: full)\n"
    "       eapaka keystore init|show|forget [options]\n"
    "                                          write, describe or reset the subscriber profile\n"
    "       eapaka bench [options]             measure authentications per second\n"
    "       eapaka radius --secret S [options] authenticate through a RADIUS server\n"
    "       eapaka hlr --socket PATH PROFILE...  serve AKA vectors to an EAP-AKA server\n"
    "       eapaka help [COMMAND], eapaka COMMAND --help, eapaka --version\n"
    "\n"
    "eapaka plays a connection manager that loads the EAP-AKA peer library\n"
    "(libeapaka.so) and a simulated operator network (authenticator, EAP-AKA\n"
    "or EAP-AKA' server and HSS/AuC) and runs complete authentications between\n"
    "them.\n"
    "\n"
    "Scenario options:\n"
    "  --scenario NAME   full (default), identity-rounds, pseudonym, reauth,\n"
    "                    counter-too-small, resync, result-ind, alt-keyset,\n"
    "                    notify-failure, bad-autn, bad-mac, timeout, and with\n"
    "                    --method aka-prime only kdf-negotiation,\n"
    "                    amf-separation, bidding-down; or all (runs every one\n"
    "                    that applies to the method and prints a pass/fail\n"
    "                    table; timeout waits the library's 10-second response\n"
    "                    timer)\n"
    "  --list            list the scenarios (with --method: those it runs)\n"
    "  --method aka|aka-prime\n"
    "                    EAP-AKA (default) or EAP-AKA' (RFC 9048: Type 50,\n"
    "                    SHA-256, keys bound to the network name); aka-prime\n"
    "                    adds EAP_COMPAT_AKA_PRIME to the peer's setting\n"
    "  --network-name NAME\n"
    "                    the access network name the EAP-AKA' network sends\n"
    "                    in AT_KDF_INPUT (default WLAN)\n"
    "  --keystore FILE   subscriber profile (default ~/.eapaka/subscriber.profile,\n"
    "                    created with the defaults of 'keystore init' if missing)\n"
    "  --network FILE    the network's record of the subscriber (default:\n"
    "                    the profile's name with .network appended)\n"
    "  --network-profile default|rfc4187\n"
    "                    how the network follows RFC 4187: default (what the\n"
    "                    library does without compatibility setting) or\n"
    "                    rfc4187 (as an operator's server: AT_BIDDING, AT_CHECKCODE\n"
    "                    always, counter from 1 after each full authentication,\n"
    "                    pseudonyms not starting with G, a new re-authentication\n"
    "                    identity in each re-authentication, MAC-S with AMF 0000)\n"
    "  --compat MODE     EAP_SetCompatibility for the peer: rfc4187, none or a\n"
    "                    number (default: rfc4187 with --network-profile rfc4187,\n"
    "                    else not called)\n"
    "  --realm REALM     realm appended to identities, with or without the\n"
    "                    leading @ (default: the profile's realm)\n"
    "  --quiet           one summary line instead of the packet log\n"
    "  --json            one JSON document with every packet and event\n"
    "  --pcap FILE       write the exchange as EAPOL frames (EtherType 0x888E)\n"
    "  --trace           create the library's trace file (mode 0600) and say\n"
    "                    where it is (the library traces whenever that file\n"
    "                    exists, is the user's own and private; it holds keys\n"
    "                    in clear: delete it afterwards)\n"
    "Options take their value as the next argument or after '='.\n"
    "\n"
    "Only the report goes to stdout (with --json exactly one JSON document);\n"
    "messages go to stderr.\n"
    "\n"
    "Exit status: 0 success, 1 an authentication or scenario failed, 2 usage\n"
    "error, 3 key store error (profile missing, unreadable, malformed or not\n"
    "saved).\n";

const char KEYSTORE_HELP[] =
    "usage: eapaka keystore init [--keystore FILE] [--network FILE] [--force]\n"
    "                            [--imsi DIGITS [--mnc-digits 2|3]] [--method aka|aka-prime]\n"
    "                            [--realm REALM] [--k HEX] [--opc HEX] [--operator-milenage]\n"
    "       eapaka keystore show [--keystore FILE]\n"
    "       eapaka keystore forget [--keystore FILE]\n"
    "\n"
    "The subscriber profile is a text file: permanent_id, k, opc, k_alt,\n"
    "opc_alt, c1..c5, r (five rotations), pseudonym, realm, and seq_ms <index>\n"
    "<SEQ> for the 32 SQN array entries; every field is required. Every store\n"
    "request of the library rewrites it at once, crash-safe (temporary file,\n"
    "fsync, rename), through a symbolic link to its target. A process using it\n"
    "holds <profile>.lock, so others wait their turn. The default is\n"
    "~/.eapaka/subscriber.profile.\n"
    "\n"
    "  init     write a new profile and provision the network's record (the\n"
    "           profile's name with .network appended, or --network) with the\n"
    "           same secrets\n"
    "             --force          replace an existing profile\n"
    "             --imsi DIGITS    IMSI (default 001010123456789); the identity is '0'+IMSI\n"
    "                              and the realm the 3GPP one of TS 23.003 19.3.2,\n"
    "                              @wlan.mnc<MNC>.mcc<MCC>.3gppnetwork.org\n"
    "             --mnc-digits N   digits of the MNC in the IMSI, 2 (default) or 3\n"
    "             --method aka-prime  the identity is '6'+IMSI, the EAP-AKA' permanent\n"
    "                              identity of RFC 9048 (default aka: '0'+IMSI)\n"
    "             --realm REALM    the realm instead (default without --imsi:\n"
    "                              @eapaka.test)\n"
    "             --k HEX --opc HEX   main key set (default: 3GPP TS 35.208 test set 1)\n"
    "             --operator-milenage  random c1..c5 and r1..r5 instead of the\n"
    "                              standard Milenage constants\n"
    "  show     the profile in words: identity, key sets, constants, pseudonym,\n"
    "           SEQ array\n"
    "  forget   drop the pseudonym and the SEQ array, keep identity and keys\n"
    "\n"
    "Exit status: 0 done, 2 usage error, 3 the profile is missing, unreadable or\n"
    "malformed, a symbolic link to nothing, cannot be written, or exists already\n"
    "(init without --force).\n";

const char BENCH_HELP[] =
    "usage: eapaka bench [--count N | -n N] [--method aka|aka-prime] [--realm REALM] [--json]\n"
    "\n"
    "Full authentications and fast re-authentications between the peer library\n"
    "and the simulated network in one process, N of each (default 1000), with\n"
    "the trace off and the profile in memory; each rate is also given as a\n"
    "ratio to one network authentication vector measured in the same run.\n"
    "--method aka-prime measures EAP-AKA' (default: EAP-AKA).\n"
    "\n"
    "Exit status: 0 every authentication succeeded, 1 one failed, 2 usage error\n"
    "(also when the library's trace file exists, since it would be measured).\n";

int run_scenarios(const CommandLine& line);
int keystore_needs_action(const CommandLine& line);
int run_keystore_init(const CommandLine& line);
int run_keystore_show(const CommandLine& line);
int run_keystore_forget(const CommandLine& line);
int run_bench_command(const CommandLine& line);

const OptionInfo KEYSTORE{"--keystore", nullptr, "FILE"};
const OptionInfo NETWORK{"--network", nullptr, "FILE"};
const OptionInfo REALM{"--realm", nullptr, "REALM"};
const OptionInfo JSON{"--json", nullptr, nullptr};
const OptionInfo COMPAT{"--compat", nullptr, "MODE"};
const OptionInfo METHOD{"--method", nullptr, "METHOD"};
constexpr uint64_t MNC_DIGITS_DEFAULT = 2;  // most networks; TS 23.003 allows 2 or 3

const std::vector<CommandInfo>& commands() {
    static const std::vector<CommandInfo> all = {
        {"",
         {{"--scenario", nullptr, "NAME"}, {"--list", nullptr, nullptr}, METHOD,
          {"--network-name", nullptr, "NAME"}, KEYSTORE, NETWORK, {"--network-profile", nullptr, "NAME"}, COMPAT,
          REALM, {"--quiet", nullptr, nullptr}, JSON, {"--pcap", nullptr, "FILE"}, {"--trace", nullptr, nullptr}},
         nullptr, HELP, run_scenarios},
        {"keystore", {}, nullptr, KEYSTORE_HELP, keystore_needs_action},
        {"keystore init",
         {KEYSTORE, NETWORK, {"--force", nullptr, nullptr}, {"--imsi", nullptr, "DIGITS"},
          {"--mnc-digits", nullptr, "N"}, METHOD, REALM, {"--k", nullptr, "HEX"}, {"--opc", nullptr, "HEX"},
          {"--operator-milenage", nullptr, nullptr}},
         nullptr, KEYSTORE_HELP, run_keystore_init},
        {"keystore show", {KEYSTORE}, nullptr, KEYSTORE_HELP, run_keystore_show},
        {"keystore forget", {KEYSTORE}, nullptr, KEYSTORE_HELP, run_keystore_forget},
        {"bench", {{"--count", "-n", "N"}, METHOD, REALM, JSON}, nullptr, BENCH_HELP, run_bench_command},
        radius_command(),
        hlr_command(),
    };
    return all;
}

const CommandInfo& scenarios_command() { return commands()[0]; }

const CommandInfo* find_command(const std::string& name) {
    for (const CommandInfo& c : commands()) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

bool is_directory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void make_parent_directory(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) ::mkdir(path.substr(0, slash).c_str(), 0700);
}

std::string keystore_path(const CommandLine& line) { return line.value("--keystore", profile_default_path()); }

std::string network_path(const CommandLine& line) {
    return line.value("--network", keystore_path(line) + ".network");
}

bool hex16_option(const CommandLine& line, const char* name, uint8_t out[16], std::string& error) {
    if (!line.has(name)) return true;
    Bytes bytes;
    if (!from_hex(line.value(name), bytes) || bytes.size() != 16) {
        error = bad_value(name, line.value(name), "32 hex digits");
        return false;
    }
    std::memcpy(out, bytes.data(), 16);
    return true;
}

// The identity and realm from --imsi, --mnc-digits, --method and --realm.
bool identity_options(const CommandLine& line, SubscriberProfile& p, std::string& error) {
    // MCC (3 digits), MNC and at least one MSIN digit (TS 23.003 section 2.2).
    constexpr size_t IMSI_MIN = 6;
    uint64_t mncDigits = 0;
    bool prime = false;
    if (!number_option(line, "--mnc-digits", 2, 3, MNC_DIGITS_DEFAULT, mncDigits, error) ||
        !method_option(line, prime, error)) {
        return false;
    }
    p.permanentId[0] = prime ? AKA_PRIME_PERMANENT_PREFIX : AKA_PERMANENT_PREFIX;
    if (line.has("--mnc-digits") && !line.has("--imsi")) {
        error = "--mnc-digits needs --imsi";
        return false;
    }
    if (line.has("--imsi")) {
        std::string imsi = line.value("--imsi");
        if (imsi.size() < IMSI_MIN || imsi.size() > PROFILE_ID_MAX - 1 ||
            imsi.find_first_not_of("0123456789") != std::string::npos) {
            error = bad_value("--imsi", imsi, std::to_string(IMSI_MIN) + " to 15 digits");
            return false;
        }
        p.permanentId = p.permanentId[0] + imsi;
        p.realm = realm_3gpp(imsi, static_cast<unsigned>(mncDigits));
    }
    if (line.has("--realm")) {
        p.realm = realm_with_at(line.value("--realm"));
        if (!realm_valid(p.realm)) {
            error = bad_value("--realm", line.value("--realm"),
                              "1 to " + std::to_string(PROFILE_REALM_MAX - 1) +
                                  " printable characters after the @, no space or second @");
            return false;
        }
    }
    return true;
}

bool build_profile(const CommandLine& line, SubscriberProfile& p, std::string& error) {
    p = SubscriberProfile::defaults();
    if (!identity_options(line, p, error)) return false;
    if (!hex16_option(line, "--k", p.main.k, error) || !hex16_option(line, "--opc", p.main.opc, error)) return false;
    if (line.has("--operator-milenage")) {
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

// Writes `p` as a new profile and the network's matching record; `out`
// receives what was written.
int write_new_profile(const CommandLine& line, const SubscriberProfile& p, std::FILE* out) {
    std::string error;
    const std::string keystore = keystore_path(line);
    if (is_directory(keystore)) {
        std::fprintf(stderr, "eapaka: %s is a directory, not a profile\n", keystore.c_str());
        return EXIT_KEYSTORE;
    }
    if (!profile_absent(keystore) && !line.has("--force")) {
        std::fprintf(stderr, "eapaka: %s exists; --force replaces it\n", keystore.c_str());
        return EXIT_KEYSTORE;
    }
    make_parent_directory(keystore);
    if (!profile_save(keystore, p, ProfileKind::Peer, error) ||
        !profile_save(network_path(line), p, ProfileKind::Network, error)) {
        std::fprintf(stderr, "eapaka: %s\n", error.c_str());
        return EXIT_KEYSTORE;
    }
    std::fprintf(out, "wrote subscriber profile %s (identity %s, realm %s, %s Milenage)\n", keystore.c_str(),
                 p.permanentId.c_str(), p.realm.c_str(), line.has("--operator-milenage") ? "operator" : "standard");
    std::fprintf(out, "provisioned the network's record %s\n", network_path(line).c_str());
    return EXIT_OK;
}

// The profile's lock for the whole command; false (message on stderr) when
// it cannot be taken.
bool lock_profile(const std::string& keystore, ProfileLock& lock) {
    std::string error;
    make_parent_directory(keystore);
    if (lock.acquire(keystore, error, stderr)) return true;
    std::fprintf(stderr, "eapaka: key store: %s\n", error.c_str());
    return false;
}

int run_keystore_init(const CommandLine& line) {
    SubscriberProfile p;
    std::string error;
    if (!build_profile(line, p, error)) return usage_error(*line.command, error);
    ProfileLock lock;
    if (!lock_profile(keystore_path(line), lock)) return EXIT_KEYSTORE;
    return write_new_profile(line, p, stdout);
}

int keystore_needs_action(const CommandLine& line) {
    return usage_error(*line.command, "an action is needed: init, show or forget");
}

bool load_peer_profile(const std::string& path, SubscriberProfile& p) {
    std::string error;
    if (profile_load(path, ProfileKind::Peer, p, error)) return true;
    std::fprintf(stderr, "eapaka: key store: %s\n", error.c_str());
    return false;
}

int run_keystore_show(const CommandLine& line) {
    const std::string keystore = keystore_path(line);
    SubscriberProfile p;
    if (!load_peer_profile(keystore, p)) return EXIT_KEYSTORE;
    std::printf("subscriber profile %s\n%s", keystore.c_str(), profile_describe(p).c_str());
    return EXIT_OK;
}

int run_keystore_forget(const CommandLine& line) {
    const std::string keystore = keystore_path(line);
    SubscriberProfile p;
    std::string error;
    ProfileLock lock;
    // A missing profile is not locked: the lock file would stay behind it.
    if ((!profile_absent(keystore) && !lock_profile(keystore, lock)) || !load_peer_profile(keystore, p)) {
        return EXIT_KEYSTORE;
    }
    std::string dropped = p.has_pseudonym() ? "pseudonym \"" + p.pseudonym_text() + "\"" : "no pseudonym";
    size_t entries = 0;
    for (uint64_t seq : p.seqMs) entries += seq != 0;
    p.forget_state();
    if (!profile_save(keystore, p, ProfileKind::Peer, error)) {
        std::fprintf(stderr, "eapaka: %s\n", error.c_str());
        return EXIT_KEYSTORE;
    }
    std::printf("%s: dropped %s and %zu SEQ array entries; kept the identity, keys and Milenage constants\n",
                keystore.c_str(), dropped.c_str(), entries);
    return EXIT_OK;
}

// The library traces whenever its trace file exists and is private to the
// user; --trace creates it so. An existing file the library refuses is
// named with the reason, an error with --trace.
bool prepare_trace(const CommandLine& line, TraceFile& trace) {
    trace = trace_file_inspect(EAPAKA_TRACE_PATH);
    std::string error;
    if (trace.state == TraceFileState::Refused) {
        std::string why = trace.path + " exists, but the library writes no trace to it: " + trace.refusal +
                          " ('chmod 600' it if it is your own, or remove it)";
        if (line.has("--trace")) {
            usage_error(*line.command, "--trace: " + why);
            return false;
        }
        std::fprintf(stderr, "eapaka: %s\n", why.c_str());
    }
    if (line.has("--trace") && !trace_file_create(trace, error)) {
        usage_error(*line.command, error);
        return false;
    }
    return true;
}

int run_bench_command(const CommandLine& line) {
    uint64_t count = 0;
    bool prime = false;
    std::string error;
    if (!number_option(line, "--count", 1, MAX_BENCH_COUNT, DEFAULT_BENCH_COUNT, count, error) ||
        !method_option(line, prime, error)) {
        return usage_error(*line.command, error);
    }
    TraceFile trace = trace_file_inspect(EAPAKA_TRACE_PATH);
    if (trace.state == TraceFileState::Traced) {
        return usage_error(*line.command, trace.path + " exists, so the library traces; remove it to measure");
    }
    return run_bench(static_cast<unsigned>(count), realm_with_at(line.value("--realm", PROFILE_DEFAULT_REALM)),
                     line.has("--json"), prime);
}

// The profile and the network's record, created on first use.
int load_or_create(const CommandLine& line, SubscriberProfile& peer, SubscriberProfile& network) {
    std::string error;
    const std::string keystore = keystore_path(line);
    if (profile_absent(keystore)) {
        if (int status = write_new_profile(line, SubscriberProfile::defaults(), stderr)) return status;
    }
    if (!load_peer_profile(keystore, peer)) return EXIT_KEYSTORE;
    const std::string networkFile = network_path(line);
    if (profile_absent(networkFile)) {
        network = peer;   // provision the operator's record from the profile
        if (!profile_save(networkFile, network, ProfileKind::Network, error)) {
            std::fprintf(stderr, "eapaka: %s\n", error.c_str());
            return EXIT_KEYSTORE;
        }
    } else if (!profile_load(networkFile, ProfileKind::Network, network, error)) {
        std::fprintf(stderr, "eapaka: network record: %s\n", error.c_str());
        return EXIT_KEYSTORE;
    }
    return EXIT_OK;
}

// `--list`: every scenario, each limited to one method marked so; with
// --method, only the names of those that method runs.
int list_scenarios(const CommandLine& line, bool prime) {
    const bool filtered = line.has("--method");
    if (line.items.size() > (filtered ? 2u : 1u)) {
        return usage_error(*line.command, "--list takes no other option than --method");
    }
    for (const Scenario& s : all_scenarios()) {
        if (filtered && s.not_applicable(prime) != nullptr) continue;
        const char* only = s.notInAka != nullptr ? " (--method aka-prime only)"
                         : s.notInAkaPrime != nullptr ? " (--method aka only)" : "";
        std::printf("%-18s %s%s\n", s.name, s.description, filtered ? "" : only);
    }
    return EXIT_OK;
}

// The access network name of --network-name: 1 to 255 bytes, no control
// characters (RFC 9048 section 3.1: UTF-8 text).
bool network_name_option(const CommandLine& line, bool prime, std::string& name, std::string& error) {
    constexpr size_t NETWORK_NAME_MAX = 255;
    name = line.value("--network-name", NetworkMethod{}.networkName);
    if (!line.has("--network-name")) return true;
    if (!prime) {
        error = "--network-name needs --method aka-prime";
        return false;
    }
    const bool control = std::any_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    if (name.empty() || name.size() > NETWORK_NAME_MAX || control) {
        error = bad_value("--network-name", name, "1 to 255 bytes of text");
        return false;
    }
    return true;
}

int run_scenarios(const CommandLine& line) {
    std::string error;
    bool prime = false;
    if (!method_option(line, prime, error)) return usage_error(*line.command, error);
    if (line.has("--list")) return list_scenarios(line, prime);
    std::string networkName;
    if (!exclusive(line, "--quiet", "--json", error) || !network_name_option(line, prime, networkName, error)) {
        return usage_error(*line.command, error);
    }
    std::vector<const Scenario*> selected, skipped;
    const std::string name = line.value("--scenario", "full");
    if (name == "all") {
        for (const Scenario& s : all_scenarios()) (s.not_applicable(prime) ? skipped : selected).push_back(&s);
    } else if (const Scenario* s = find_scenario(name)) {
        if (s->not_applicable(prime) != nullptr) {
            return usage_error(*line.command, "--scenario " + name + " does not apply to " + method_title(prime) +
                                                  ": " + s->not_applicable(prime));
        }
        selected.push_back(s);
    } else {
        return usage_error(*line.command, bad_value("--scenario", name, "a name 'eapaka --list' shows, or all"));
    }
    const OutputMode mode = line.has("--json") ? OutputMode::Json
                          : line.has("--quiet") ? OutputMode::Quiet : OutputMode::Readable;
    NetworkProfile networkProfile = NetworkProfile::Default;
    if (!network_profile_from_name(line.value("--network-profile", "default"), networkProfile)) {
        return usage_error(*line.command,
                           bad_value("--network-profile", line.value("--network-profile"), "default or rfc4187"));
    }
    // A peer facing an RFC-following network wants every RFC behaviour.
    long compat = networkProfile == NetworkProfile::Rfc4187 ? long{EAP_COMPAT_RFC4187} : -1;
    if (line.has("--compat") && !parse_compat(line.value("--compat"), compat, error)) {
        return usage_error(*line.command, error);
    }
    compat = compat_for_method(compat, prime);
    TraceFile trace;
    if (!prepare_trace(line, trace)) return EXIT_USAGE;
    const bool tracing = trace.state == TraceFileState::Traced;
    PcapWriter pcap;
    const std::string capture = line.value("--pcap");
    if (!capture.empty() && !pcap.open(capture, error)) return usage_error(*line.command, error);

    const std::string keystore = keystore_path(line);
    ProfileLock lock;
    if (!lock_profile(keystore, lock)) return EXIT_KEYSTORE;
    SubscriberProfile peer, network;
    if (int status = load_or_create(line, peer, network)) return status;
    const std::string realm = line.has("--realm") ? realm_with_at(line.value("--realm")) : peer.realm;

    const std::string networkFile = network_path(line);
    const NetworkRules rules = network_rules(networkProfile);
    Report report(mode, stdout, "network");
    if (!capture.empty()) report.set_pcap(&pcap);
    report.line("key store: " + keystore + "\nnetwork:   " + networkFile);
    if (networkProfile != NetworkProfile::Default) {
        char value[24];
        std::snprintf(value, sizeof value, "0x%lx", static_cast<unsigned long>(compat < 0 ? 0 : compat));
        report.line("profile:   " + std::string(network_profile_name(networkProfile)) + " network (" +
                    network_rules_text(rules) + "); peer compatibility " + value);
    }
    if (prime) {
        report.line("method:    EAP-AKA' with the network name \"" + networkName +
                    "\" (peer compatibility includes EAP_COMPAT_AKA_PRIME)");
    }
    if (tracing) report.line("trace:     " + trace.path + " (the library writes keys in clear to it)");
    if (mode == OutputMode::Json) {
        JsonWriter& json = report.json();
        json.begin_object().field("command", "scenarios").field("version", EAPAKA_VERSION_STRING)
            .field("keystore", keystore).field("network", networkFile)
            .field("network_profile", network_profile_name(networkProfile)).field("method", method_option_name(prime));
        if (prime) json.field("network_name", networkName);
        json.field("compatibility", static_cast<int64_t>(compat)).field("realm", realm).begin_array("scenarios");
    }

    if (compat >= 0) EAP_SetCompatibility(static_cast<unsigned int>(compat));
    ProfileKeyStore store(peer, keystore);
    PeerHost host(store, &report);
    NetRandom random;
    Hss hss(network, random);
    EapAkaServer server(hss, realm, random, rules, NetworkMethod{prime, networkName});
    ScenarioEnv env{host, store, hss, server, report, realm, networkFile,
                    compat > 0 ? static_cast<unsigned>(compat) : 0u, 0, {}};

    std::vector<ItemResult> results;
    for (const Scenario* s : selected) results.push_back(run_scenario(*s, env));
    report_summary(report, results, skipped, prime);
    if (!capture.empty()) report.line("capture:   " + capture);
    if (tracing) report.line("trace:     " + trace.path);
    for (const ItemResult& r : results) {
        if (!r.passed) return EXIT_FAILED;
    }
    return EXIT_OK;
}

// `eapaka help [COMMAND...]`.
int help(const std::vector<std::string>& words) {
    std::string name;
    for (const std::string& w : words) name += (name.empty() ? "" : " ") + w;
    const CommandInfo* command = find_command(name);
    if (command == nullptr) return usage_error(scenarios_command(), "no command '" + name + "'");
    std::fputs(command->help, stdout);
    return EXIT_OK;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "help") return help(std::vector<std::string>(args.begin() + 1, args.end()));
    // The command is named by the leading words that are not options: two
    // ("keystore init") or one ("bench"); none runs scenarios.
    const CommandInfo* command = &scenarios_command();
    size_t words = 0;
    if (!args.empty() && args[0][0] != '-') {
        if (args.size() > 1 && find_command(args[0] + " " + args[1]) != nullptr) {
            command = find_command(args[0] + " " + args[1]);
            words = 2;
        } else if (find_command(args[0]) != nullptr) {
            command = find_command(args[0]);
            words = 1;
        } else {
            return usage_error(*command, "unknown command '" + args[0] + "'");
        }
    }
    CommandLine line;
    std::string error;
    switch (parse_command_line(*command, commands(), std::vector<std::string>(args.begin() + words, args.end()),
                               line, error)) {
    case ParseOutcome::Help:
        std::fputs(command->help, stdout);
        return EXIT_OK;
    case ParseOutcome::Version:
        std::printf("eapaka %s\n", EAPAKA_VERSION_STRING);
        return EXIT_OK;
    case ParseOutcome::Error:
        return usage_error(*command, error);
    case ParseOutcome::Run:
        break;
    }
    return command->run(line);
}
