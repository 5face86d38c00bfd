// The eapaka executable end to end: the exit status and the two streams of
// every command, every scenario against the simulated network with one JSON
// document on stdout, what the key store file keeps, failures explained in
// words, the manual page, and the capture decoded by tshark.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <regex>
#include <string>
#include <thread>

#include "support/test_host.h"
#include "tools/keystore_file.h"
#include "tools/temp_dir.h"

using namespace tool;

namespace {

struct Command { int status; std::string out; std::string err; };

size_t lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

bool has(const std::string& text, const std::string& words) { return text.find(words) != std::string::npos; }

class Cli : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        profile = directory + "/.eapaka/subscriber.profile";  // the default under HOME
    }

    // Runs in the temporary directory (so that no trace file is picked up),
    // with HOME there too, stdout and stderr apart.
    Command eapaka(const std::string& arguments, const std::string& before = "true") {
        const std::string out = directory + "/stdout", err = directory + "/stderr";
        int status = run(before + " && HOME=" + directory + " " + EAPAKA_TOOL_PATH + " " + arguments + " >" + out +
                         " 2>" + err);
        return Command{status, read_file(out), read_file(err)};
    }

    // stdout holds exactly one JSON document for which `filter` holds.
    ::testing::AssertionResult json_document(const std::string& out, const std::string& filter) {
        if (!have_program("jq")) return ::testing::AssertionFailure() << "jq not installed (Debian package jq)";
        std::ofstream(directory + "/document") << out;
        if (run("jq -e -s 'length == 1 and (.[0] | " + filter + ")' document >/dev/null") == 0) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "not one JSON document with " << filter << ":\n" << out.substr(0, 2000);
    }

    SubscriberProfile stored_profile() {
        SubscriberProfile p;
        std::string error;
        EXPECT_TRUE(profile_load(profile, ProfileKind::Peer, p, error)) << error;
        return p;
    }

    std::string profile;
};

// Every command with --help, an unknown option, an option of another
// command, and a profile that is missing, a directory or a symbolic link to
// nothing; then values and combinations. The documented exit status, and
// for an error one line on stderr and nothing on stdout.
TEST_F(Cli, EveryCommandExitsAsDocumented) {
    const std::string d = directory, dangling = d + "/dangling";  // never taken for a fresh profile
    ASSERT_EQ(::symlink("nowhere", dangling.c_str()), 0);
    struct Case { std::string arguments; int status; };
    std::vector<Case> cases;
    struct CommandLine { std::string command, profileOption, foreignOption; bool createsProfile; };
    const CommandLine commands[] = {
        {"", "--keystore ", "--imsi 1", true},
        {"keystore init --force", "--keystore ", "--pcap x.pcap", true},
        {"keystore show", "--keystore ", "--json", false},
        {"keystore forget", "--keystore ", "--force", false},
        {"radius --secret s", "--keystore ", "--trace", false},
        {"hlr --socket " + d + "/s", "", "--json", false},
        {"bench", "", "--scenario all", false},  // bench reads no file
    };
    for (const CommandLine& c : commands) {
        cases.push_back({c.command + " --help", 0});
        cases.push_back({c.command + " --bogus", 2});
        cases.push_back({c.command + " " + c.foreignOption, 2});
        if (c.command == "bench") continue;
        for (const std::string& file : {d + (c.createsProfile ? "/no/such/p" : "/none"), d, dangling})
            cases.push_back({c.command + " " + c.profileOption + file, 3});
    }
    cases.insert(cases.end(), {
        {"keystore", 2}, {"keystore --help", 0}, {"help radius", 0}, {"frobnicate", 2},
        {"--scenario full --scenario all", 2}, {"--quiet --json", 2}, {"--scenario nonesuch", 2},
        {"bench -n 0", 2}, {"radius --secret s --count=x", 2}, {"radius --secret s --compat maybe", 2},
        {"radius --secret s --server host.invalid", 2}, {"radius --keystore " + d + "/none", 2},
        {"hlr --socket " + d + "/s --ind 32 " + d + "/none", 2}, {"--network-profile rfc", 2},
        {"--compat maybe", 2}, {"keystore init --mnc-digits 3", 2}, {"keystore init --imsi 12345", 2},
        {"keystore init --imsi 001010123456789 --mnc-digits 4", 2}, {"keystore init --realm a@b", 2},
        {"--method aka2", 2}, {"--scenario alt-keyset --method aka-prime", 2}, {"--scenario bidding-down", 2},
        {"--network-name WLAN", 2}, {"--method aka-prime --network-name ''", 2}, {"bench --method x", 2},
        {"radius --secret s --method x", 2},
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        Command r = eapaka(c.arguments);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.status == 0) {
            EXPECT_EQ(r.out.rfind("usage: eapaka", 0), 0u) << r.out;
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(lines(r.err), 1u) << r.err;
            EXPECT_EQ(r.err.rfind("eapaka", 0), 0u) << r.err;
        }
    }
    Command version = eapaka("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("eapaka ") + EAPAKA_VERSION + "\n");
    EXPECT_TRUE(has(eapaka("keystore show --keystore " + dangling).err,
                    "a symbolic link to 'nowhere', which does not exist"));
    char pointsTo[16] = {};
    EXPECT_GT(::readlink(dangling.c_str(), pointsTo, sizeof pointsTo - 1), 0) << "the dangling link was replaced";
    EXPECT_NE(::access((d + "/nowhere").c_str(), F_OK), 0) << "a profile was created behind the link";
    EXPECT_NE(::access((d + "/none.lock").c_str(), F_OK), 0) << "a missing profile was locked";
}

// Every scenario once per method and network profile, on a first run that
// creates the profile (the time-out scenario waits the library's real 10
// seconds); then the key store commands on what the scenarios left.
struct ScenarioRun {
    const char* options;
    std::vector<std::string> filters;  // jq, each must hold for the document
    const char* networkName;           // EAP-AKA': every AKA'-Challenge binds the keys to it
    const char* showWords;             // in `keystore show` afterwards
    char pseudonymStart;               // "G" by default, "P" for an operator's opaque ones
};

class CliScenarios : public Cli, public ::testing::WithParamInterface<ScenarioRun> {};

const std::string kChallenges = "[.scenarios[].log[].packet | select(.code == 1 and .subtype == 1)]";

const ScenarioRun kScenarioRuns[] = {
    {"",
     {".passed and .count == 12 and .passed_count == 12 and .compatibility == -1",
      // The EAP-Response/Identity in fields; no MSK after the time-out.
      "[.scenarios[0].log[] | select(.packet.type_name == \"Identity\")][1].packet"
      " | .code == 2 and .text == \"0001010123456789@eapaka.test\"",
      ".scenarios[] | select(.name == \"timeout\") | .msk == \"\"",
      // Attributes with their decoded fields, the encrypted ones decrypted.
      "[.scenarios[].log[].packet.attributes[]? | ., .decrypted[]?] | any(.name == \"AT_RES\" and .bits == 64)"
      " and any(.name == \"AT_NOTIFICATION\" and .code == 32768 and .success and (.phase | not))"
      " and any(.name == \"AT_NEXT_REAUTH_ID\")"},
     nullptr, "highest SEQ", 'G'},
    // The network as an operator's server behaves, against the library with
    // every RFC 4187 behaviour on: AT_BIDDING in every challenge.
    {"--network-profile rfc4187",
     {".passed and .passed_count == 12 and .network_profile == \"rfc4187\" and .compatibility == 511",
      kChallenges + " | length > 0 and all(.attributes | any(.name == \"AT_BIDDING\"))"},
     nullptr, "with --compat rfc4187", 'P'},
    // EAP-AKA': the scenario that cannot run is named with its reason; the
    // bidding-down scenario's EAP-AKA challenge sets the D bit.
    {"--method aka-prime",
     {".passed and .count == 14 and .method == \"aka-prime\" and (.not_applicable | map(.name)) == "
      "[\"alt-keyset\"] and .compatibility == 512",
      ".scenarios[] | select(.name == \"bidding-down\") | .log[].packet | select(.code == 1 and .type == 23)"
      " | .attributes | any(.d == true)"},
     "WLAN", "highest SEQ", 'G'},
    {"--method aka-prime --network-profile rfc4187 --network-name FOO:BAR",
     {".passed and .count == 14 and .compatibility == 1023"}, "FOO:BAR", "with --compat rfc4187", 'P'},
};

TEST_P(CliScenarios, AllPassAsOneJsonDocumentAndTheKeyStoreKeepsTheirState) {
    const ScenarioRun& run = GetParam();
    Command all = eapaka(std::string("--scenario all --json ") + run.options);
    ASSERT_EQ(all.status, 0) << all.err;
    for (const std::string& filter : run.filters) EXPECT_TRUE(json_document(all.out, filter));
    if (run.networkName != nullptr) {
        EXPECT_TRUE(json_document(all.out, kChallenges + " | map(select(.type == 50)) | length > 10 and all("
                                  ".subtype_name == \"AKA\\u0027-Challenge\" and (.attributes | any(.name == "
                                  "\"AT_KDF_INPUT\" and .text == \"" + run.networkName + "\") and any(.kdf > 0)))"));
    }

    const SubscriberProfile stored = stored_profile();
    ASSERT_TRUE(stored.has_pseudonym());
    EXPECT_EQ(stored.pseudonym[0], run.pseudonymStart);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(all.out, m, std::regex(R"(seq_ms\[(\d+)\] = (\d+) stored)")));
    EXPECT_EQ(stored.seqMs[std::stoul(m[1])], std::stoull(m[2]));

    Command show = eapaka("keystore show");
    EXPECT_EQ(show.status, 0);
    EXPECT_TRUE(has(show.out, "\"" + stored.pseudonym_text() + "\"")) << show.out;
    EXPECT_TRUE(has(show.out, run.showWords)) << show.out;

    ASSERT_EQ(eapaka("keystore forget").status, 0);
    const SubscriberProfile forgotten = stored_profile();
    EXPECT_FALSE(forgotten.has_pseudonym());
    EXPECT_TRUE(std::all_of(std::begin(forgotten.seqMs), std::end(forgotten.seqMs), [](uint64_t s) { return s == 0; }));
    EXPECT_EQ(std::memcmp(&forgotten.main, &stored.main, sizeof stored.main), 0);
}

INSTANTIATE_TEST_SUITE_P(MethodsAndNetworks, CliScenarios, ::testing::ValuesIn(kScenarioRuns));

// The manual page keeps up with the tool: every option a command's help
// names appears in that command's section of the page.
TEST_F(Cli, ManualPageNamesEveryOptionOfEachCommand) {
    const std::string page = std::regex_replace(read_file(EAPAKA_MAN_PAGE), std::regex(R"(\\-)"), "-");
    const std::pair<const char*, const char*> sections[] = {
        {"", "SCENARIO OPTIONS"}, {"keystore", "KEYSTORE OPTIONS"}, {"bench", "BENCH OPTIONS"},
        {"radius", "RADIUS OPTIONS"}, {"hlr", "HLR OPTIONS"},
    };
    const std::regex option(R"((?:^|[\s\[|,(])(--?[a-z][a-z0-9-]*))");
    for (const auto& [command, title] : sections) {
        SCOPED_TRACE(title);
        const size_t begin = page.find(std::string(".SH ") + title);
        ASSERT_NE(begin, std::string::npos);
        const std::string section = page.substr(begin, page.find("\n.SH ", begin) - begin);
        // The scenarios' help opens with the other commands' synopses.
        std::string help = eapaka(std::string("help ") + command).out;
        if (*command == '\0') help = help.substr(help.find("Scenario options:"));
        size_t checked = 0;
        for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it) {
            const std::string name = (*it)[1];
            if (name == "--help" || name == "--version") continue;  // every command's, in DESCRIPTION
            ++checked;
            EXPECT_TRUE(std::regex_search(section, std::regex(name + "(?![a-z0-9-])"))) << name << " of " << command;
        }
        EXPECT_GT(checked, 3u);
    }
}

// Hints on stderr: a realm longer than the library keeps, naming
// EAP_COMPAT_LONG_REALM unless it is set; a wrong key. bench prints one JSON
// document and no progress into a pipe.
TEST_F(Cli, HintsExplainFailuresAndBenchPrintsJson) {
    ASSERT_EQ(eapaka("keystore init --imsi 310150123456789").status, 0);  // a realm of 35 characters
    const Command cut = eapaka("--quiet"), whole = eapaka("--quiet --compat rfc4187");
    EXPECT_TRUE(has(cut.err, "hint: the library kept only '@wlan.mnc015.mc' of the realm") &&
                has(cut.err, "EAP_COMPAT_LONG_REALM")) << cut.err;
    EXPECT_EQ(whole.err, "");

    const std::string text = read_file(profile);
    std::ofstream(profile) << std::regex_replace(text, std::regex("\nk [0-9a-f]{32}"),
                                                 "\nk 00112233445566778899aabbccddeeff");
    Command wrongKey = eapaka("--quiet");
    EXPECT_EQ(wrongKey.status, 1);
    EXPECT_EQ(lines(wrongKey.out), 1u) << "--quiet prints one line";
    EXPECT_TRUE(has(wrongKey.err, "hint: the peer refused AUTN: K or OPc")) << wrongKey.err;

    Command bench = eapaka("bench -n 20 --json");
    EXPECT_EQ(bench.status, 0);
    EXPECT_EQ(bench.err, "");
    EXPECT_TRUE(json_document(bench.out, ".count == 20 and .failures == 0 and .full_authentication.per_second > 0"));
}

// --trace creates the trace file as the library requires it (0600 whatever
// the umask) and it fills; for an existing file the library refuses, --trace
// says why.
TEST_F(Cli, TraceFileIsPrivateOrRefusedInWords) {
    const std::string trace = directory + "/msginfo.log";
    // Shell commands that prepare the directory; words on stderr, or nullptr
    // when the trace is written.
    struct Case { const char* name; std::string prepare; int status; const char* words; };
    const Case cases[] = {
        {"created under a umask that takes the owner's write bit", "umask 0277", 0, nullptr},
        {"readable by all", "umask 022; touch msginfo.log", 2, "group or others have permissions on it (mode 0644)"},
        {"a second link", "touch msginfo.log; chmod 600 msginfo.log; ln msginfo.log other", 2, "has 2 links"},
        {"a symbolic link", "touch other; chmod 600 other; ln -s other msginfo.log", 2, "is a symbolic link"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        run("rm -f msginfo.log other");
        Command r = eapaka("--quiet --trace", c.prepare);
        EXPECT_EQ(r.status, c.status) << r.err;
        struct stat st {};
        ASSERT_EQ(::lstat(trace.c_str(), &st), 0);
        if (c.words == nullptr) {
            EXPECT_EQ(st.st_mode & 07777, 0600u);
            EXPECT_TRUE(has(read_file(trace), ">EAP_Init()"));
        } else {
            EXPECT_EQ(r.err.rfind("eapaka: --trace: " + trace + " exists, but the library writes no trace to it: ", 0),
                      0u) << r.err;
            EXPECT_TRUE(has(r.err, c.words)) << r.err;
        }
    }
}

// Processes sharing one profile take turns: all succeed, and nobody reading
// the profile meanwhile sees an entry of SEQ_MS go back.
TEST_F(Cli, ParallelRunsOnOneProfileSerialiseAndSeqMsNeverDecreases) {
    constexpr int RUNS = 300;
    ASSERT_EQ(eapaka("keystore init").status, 0);
    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, decreases{0};
    std::thread reader([&] {
        uint64_t seen[PROFILE_SEQ_ENTRIES] = {};
        while (!done) {
            const SubscriberProfile p = stored_profile();
            ++reads;
            for (size_t i = 0; i < PROFILE_SEQ_ENTRIES; ++i) {
                decreases += p.seqMs[i] < seen[i];
                seen[i] = std::max(seen[i], p.seqMs[i]);
            }
        }
    });
    run("for i in $(seq " + std::to_string(RUNS) + "); do (HOME=" + directory + " " + EAPAKA_TOOL_PATH +
        " --quiet >/dev/null 2>&1; echo $? >>statuses) & done; wait");
    done = true;
    reader.join();
    std::string allPassed;
    for (int i = 0; i < RUNS; ++i) allPassed += "0\n";
    EXPECT_EQ(read_file(directory + "/statuses"), allPassed) << "exit statuses, one line per run";
    EXPECT_GT(reads, 0);
    EXPECT_EQ(decreases, 0);
    // Each run met the network where the one before left it: SEQ 1 to 300,
    // one per run, with IND cycling through 0..31 (TS 33.102 C.3.2), so each
    // entry holds the last SEQ issued with its IND.
    const SubscriberProfile last = stored_profile();
    for (uint64_t i = 0; i < PROFILE_SEQ_ENTRIES; ++i) EXPECT_EQ(last.seqMs[i], (RUNS - 1 - i) / 32 * 32 + i + 1) << i;
}

TEST_F(Cli, CaptureIsEapolAndDecodesAsEapAka) {
    const std::string capture = directory + "/exchange.pcap";
    Command r = eapaka("--scenario reauth --quiet --pcap " + capture);
    ASSERT_EQ(r.status, 0) << r.out;

    if (!have_program("tshark")) GTEST_SKIP() << "tshark not installed (Debian package tshark)";
    ASSERT_EQ(run("tshark -r exchange.pcap -V >decoded 2>&1"), 0);
    const std::string text = read_file(directory + "/decoded");
    EXPECT_FALSE(has(text, "Malformed")) << text;
    EXPECT_TRUE(has(text, "Subtype: AKA-Challenge")) << text;
    EXPECT_TRUE(has(text, "Subtype: Re-authentication"));
}

}  // namespace
