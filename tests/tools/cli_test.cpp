// The eapaka executable end to end: the library it drives is the shared
// one, every scenario passes against the simulated network, the key store
// file keeps what the library stored, failures are explained, and the
// capture decodes in tshark.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>

#include "support/test_host.h"
#include "tools/keystore_file.h"

using namespace tool;

namespace {

struct Command {
    int status;
    std::string output;
};

Command run(const std::string& command) {
    Command r{-1, {}};
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return r;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) r.output.append(chunk, n);
    int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

bool have_program(const std::string& name) { return run("command -v " + name).status == 0; }

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/eapaka-cli-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        directory = pattern;
        profile = directory + "/subscriber.profile";
    }
    void TearDown() override { std::system(("rm -rf " + directory).c_str()); }

    // Runs in the temporary directory so that no trace file is picked up.
    Command eapaka(const std::string& arguments) {
        return run("cd " + directory + " && " + EAPAKA_TOOL_PATH + " --keystore " + profile + " " + arguments);
    }

    std::string directory;
    std::string profile;
};

// Runs every scenario once (the time-out one waits the library's real
// 10 seconds) and checks what the key store file kept.
TEST_F(Cli, AllScenariosPassAndTheKeyStoreKeepsTheirState) {
    Command all = eapaka("--scenario all --json");
    ASSERT_EQ(all.status, 0) << all.output;
    EXPECT_NE(all.output.find("\"passed\":true,\"count\":12,\"passed_count\":12"), std::string::npos);

    SubscriberProfile stored;
    std::string error;
    ASSERT_TRUE(profile_load(profile, ProfileKind::Peer, stored, error)) << error;
    ASSERT_TRUE(stored.has_pseudonym());
    EXPECT_EQ(stored.pseudonym_text().size(), 23u);
    EXPECT_NE(all.output.find("pseudonym " + stored.pseudonym_text() + " stored"), std::string::npos);

    std::smatch m;
    ASSERT_TRUE(std::regex_search(all.output, m, std::regex(R"(seq_ms\[(\d+)\] = (\d+) stored)")));
    EXPECT_EQ(stored.seqMs[std::stoul(m[1])], std::stoull(m[2]));
}

TEST_F(Cli, WrongKeyFailsWithTheReasonInWords) {
    ASSERT_EQ(eapaka("keystore init").status, 0);
    std::string changed = std::regex_replace(read_file(profile), std::regex("\nk [0-9a-f]{32}"),
                                             "\nk 00112233445566778899aabbccddeeff");
    std::ofstream(profile) << changed;
    Command r = eapaka("--quiet");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_EQ(r.output.rfind("FAIL full:", 0), 0u) << r.output;
    EXPECT_NE(r.output.find("AUTN"), std::string::npos) << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << "--quiet prints one line";
}

TEST_F(Cli, CorruptKeyStoreNamesFileAndLine) {
    ASSERT_EQ(eapaka("keystore init").status, 0);
    std::ofstream(profile, std::ios::app) << "seq_ms 40 1\n";
    Command r = eapaka("--quiet");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.output.find(profile + ":46: seq_ms index must be 0 to 31"), std::string::npos) << r.output;
}

TEST_F(Cli, CaptureIsEapolAndDecodesAsEapAka) {
    const std::string capture = directory + "/exchange.pcap";
    Command r = eapaka("--scenario reauth --quiet --pcap " + capture);
    ASSERT_EQ(r.status, 0) << r.output;

    const std::string bytes = read_file(capture);
    ASSERT_GT(bytes.size(), 24u + 16u + 18u);
    EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 0xD4);             // pcap magic, little-endian
    EXPECT_EQ(static_cast<uint8_t>(bytes[20]), 1);               // LINKTYPE_ETHERNET
    const size_t frame = 24 + 16;
    EXPECT_EQ(static_cast<uint8_t>(bytes[frame + 12]), 0x88);   // EtherType 0x888E
    EXPECT_EQ(static_cast<uint8_t>(bytes[frame + 13]), 0x8E);
    EXPECT_EQ(static_cast<uint8_t>(bytes[frame + 15]), 0);      // EAPOL-Packet
    EXPECT_EQ(bytes.substr(frame + 16, 2), bytes.substr(frame + 20, 2));  // EAPOL length = EAP length

    if (!have_program("tshark")) GTEST_SKIP() << "tshark not installed (Debian package tshark)";
    Command decoded = run("tshark -r " + capture + " -V");
    ASSERT_EQ(decoded.status, 0) << decoded.output;
    EXPECT_EQ(decoded.output.find("Malformed"), std::string::npos) << decoded.output;
    EXPECT_NE(decoded.output.find("Subtype: AKA-Challenge"), std::string::npos) << decoded.output;
    EXPECT_NE(decoded.output.find("Subtype: Re-authentication"), std::string::npos);
    EXPECT_NE(decoded.output.find("AT_MAC"), std::string::npos);
}

}  // namespace
