// The subscriber profile file: buffer layout, round trip, clear errors for
// bad files (every field required), crash safety of the save, symbolic
// links.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "eapaka/eapaka.h"
#include "support/test_host.h"
#include "tools/keystore_file.h"

using namespace tool;

namespace {

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/eapaka-profile-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        directory = pattern;
        path = directory + "/subscriber.profile";
    }
    void TearDown() override { std::system(("rm -rf " + directory).c_str()); }

    void write(const std::string& text) { std::ofstream(path) << text; }

    // The name of a temporary file a save left in the directory, or "".
    std::string leftover_name() const {
        std::string found;
        DIR* dir = ::opendir(directory.c_str());
        while (const dirent* entry = dir != nullptr ? ::readdir(dir) : nullptr) {
            if (std::string(entry->d_name).rfind("subscriber.profile.tmp-", 0) == 0) found = entry->d_name;
        }
        if (dir != nullptr) ::closedir(dir);
        return found;
    }

    std::string directory;
    std::string path;
};

TEST_F(ProfileFile, BufferLayoutMatchesTheKeyExchangeBuffer) {
    SubscriberProfile p = SubscriberProfile::defaults();
    p.milenage.r[1] = 0x01020304;
    p.seqMs[31] = 0x0123456789AULL;
    std::memcpy(p.pseudonym, "G1234567890123456789012", 23);
    uint8_t buffer[EAPAKA_KEB_SIZE];
    p.to_buffer(buffer);
    EXPECT_EQ(std::memcmp(buffer, "0001010123456789", 16), 0);
    EXPECT_EQ(buffer[EAPAKA_KEB_K], 0x46);
    EXPECT_EQ(buffer[EAPAKA_KEB_OPC_ALT], 0x10);
    EXPECT_EQ(buffer[EAPAKA_KEB_C1 + 16 + 15], 1);  // c2 = ..01
    const uint8_t r2[4] = {0x04, 0x03, 0x02, 0x01};  // little-endian
    EXPECT_EQ(std::memcmp(buffer + EAPAKA_KEB_R1 + 4, r2, 4), 0);
    EXPECT_EQ(buffer[EAPAKA_KEB_PSEUDONYM], 'G');
    const uint8_t entry31[6] = {0x00, 0x12, 0x34, 0x56, 0x78, 0x9A};
    EXPECT_EQ(std::memcmp(buffer + EAPAKA_KEB_SEQMS + 6 * 31, entry31, 6), 0);

    // A store takes the entries back; bits above the 43 of SEQ are dropped.
    buffer[EAPAKA_KEB_SEQMS + 6 * 2] = 0xF8;
    buffer[EAPAKA_KEB_SEQMS + 6 * 2 + 5] = 0x07;
    SubscriberProfile back;
    back.take_seqms(buffer);
    EXPECT_EQ(back.seqMs[2], 7u);
    EXPECT_EQ(back.seqMs[31], p.seqMs[31]);
}

TEST_F(ProfileFile, SaveAndLoadRoundTrip) {
    SubscriberProfile p = SubscriberProfile::defaults();
    p.seqMs[5] = (uint64_t{1} << 43) - 1;
    p.milenage.r[4] = 127;
    std::memcpy(p.pseudonym, "G\x01\x02", 3);  // not text: saved as hex
    std::string error;
    ASSERT_TRUE(profile_save(path, p, ProfileKind::Peer, error)) << error;
    SubscriberProfile q;
    ASSERT_TRUE(profile_load(path, ProfileKind::Peer, q, error)) << error;
    EXPECT_EQ(profile_format(q, ProfileKind::Peer), profile_format(p, ProfileKind::Peer));
    EXPECT_EQ(std::memcmp(q.pseudonym, p.pseudonym, 23), 0);
    EXPECT_EQ(q.seqMs[5], p.seqMs[5]);
}

TEST_F(ProfileFile, BadFilesNameTheFileAndLine) {
    std::string good = profile_format(SubscriberProfile::defaults(), ProfileKind::Peer);
    struct Case {
        const char* name;
        std::string from, to;   // replace `from` by `to` in a good file
        int line;               // expected line, 0: the last line
        const char* words;
    };
    const Case cases[] = {
        {"short key", "k 465b5ce8b199b49faa5f0a2ee238a6bc", "k 465b", 3, "32 hex digits"},
        {"not hex", "opc cd63", "opc zz63", 4, "32 hex digits"},
        {"unknown field", "r 64", "rr 64", 12, "unknown field 'rr'"},
        {"negative rotation", "r 64 0", "r -1 0", 12, "rotation"},
        {"too few rotations", "r 64 0 32 64 96", "r 64 0", 12, "takes 5 values"},
        {"index out of range", "seq_ms 31 0", "seq_ms 32 0", 46, "0 to 31"},
        {"SEQ too large", "seq_ms 0 0", "seq_ms 0 8796093022208", 15, "2^43"},
        {"repeated entry", "seq_ms 1 0", "seq_ms 0 0", 16, "repeated"},
        {"repeated field", "c5 ", "c4 ", 11, "repeated"},
        {"long identity", "permanent_id 0001010123456789", "permanent_id 00010101234567890", 2, "16"},
        {"long pseudonym", "pseudonym none", "pseudonym G12345678901234567890123", 13, "23"},
        {"realm with a second @", "realm @eapaka.test", "realm @eapaka@test", 14, "second '@'"},
        {"missing field", "k_alt ", "# k_alt ", 0, "missing field 'k_alt'"},
        {"missing pseudonym", "pseudonym ", "# pseudonym ", 0, "missing field 'pseudonym'"},
        {"missing realm", "realm ", "# realm ", 0, "missing field 'realm'"},
        // A lost entry would read as 0 and let an old SQN through again.
        {"missing seq_ms entry", "seq_ms 5 0\n", "", 0, "seq_ms 5 missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = good;
        size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos);
        text.replace(at, c.from.size(), c.to);
        write(text);
        SubscriberProfile p;
        p.permanentId = "unchanged";
        std::string error;
        ASSERT_FALSE(profile_load(path, ProfileKind::Peer, p, error));
        int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
        std::string where = path + ":" + std::to_string(c.line == 0 ? lines : c.line) + ": ";
        EXPECT_EQ(error.rfind(where, 0), 0u) << error;
        EXPECT_NE(error.find(c.words), std::string::npos) << error;
        EXPECT_EQ(p.permanentId, "unchanged");
    }
}

TEST_F(ProfileFile, MissingFileIsNamed) {
    SubscriberProfile p;
    std::string error;
    EXPECT_FALSE(profile_load(path, ProfileKind::Peer, p, error));
    EXPECT_EQ(error.rfind(path + ": cannot open", 0), 0u) << error;
}

// A process killed after writing the temporary file and before the rename
// leaves the old profile intact and loadable.
TEST_F(ProfileFile, CrashBeforeRenameKeepsTheOldProfile) {
    SubscriberProfile old = SubscriberProfile::defaults();
    std::string error;
    ASSERT_TRUE(profile_save(path, old, ProfileKind::Peer, error)) << error;
    const std::string before = read_file(path);

    SubscriberProfile changed = old;
    changed.seqMs[9] = 424242;
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        profile_set_crash_hook([] { ::_exit(9); });
        std::string e;
        profile_save(path, changed, ProfileKind::Peer, e);
        ::_exit(0);  // not reached when the hook runs
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 9);

    EXPECT_EQ(read_file(path), before);
    SubscriberProfile loaded;
    ASSERT_TRUE(profile_load(path, ProfileKind::Peer, loaded, error)) << error;
    EXPECT_EQ(loaded.seqMs[9], 0u);
    const std::string leftover = directory + "/" + leftover_name();
    EXPECT_NE(read_file(leftover).find("seq_ms 9 424242"), std::string::npos);

    // The next process to take the lock removes it; its save goes through.
    ProfileLock lock;
    ASSERT_TRUE(lock.acquire(path, error)) << error;
    EXPECT_EQ(leftover_name(), "");
    ASSERT_TRUE(profile_save(path, changed, ProfileKind::Peer, error)) << error;
    ASSERT_TRUE(profile_load(path, ProfileKind::Peer, loaded, error)) << error;
    EXPECT_EQ(loaded.seqMs[9], 424242u);
}

// A profile that is a symbolic link is saved through to its target; one
// whose target is missing is neither read, nor replaced, nor locked.
TEST_F(ProfileFile, SymbolicLinkIsWrittenThroughAndADanglingOneRefused) {
    const std::string target = directory + "/target.profile", link = directory + "/link.profile";
    SubscriberProfile p = SubscriberProfile::defaults();
    p.seqMs[3] = 33;
    std::string error;
    ASSERT_TRUE(profile_save(target, SubscriberProfile::defaults(), ProfileKind::Peer, error)) << error;
    ASSERT_EQ(::symlink("target.profile", link.c_str()), 0);
    ASSERT_TRUE(profile_save(link, p, ProfileKind::Peer, error)) << error;
    char pointsTo[64] = {};
    ASSERT_GT(::readlink(link.c_str(), pointsTo, sizeof pointsTo - 1), 0) << "the link was replaced";
    EXPECT_STREQ(pointsTo, "target.profile");
    SubscriberProfile q;
    ASSERT_TRUE(profile_load(target, ProfileKind::Peer, q, error)) << error;
    EXPECT_EQ(q.seqMs[3], 33u);

    ASSERT_EQ(::unlink(target.c_str()), 0);
    for (const char* step : {"load", "save", "lock"}) {
        SCOPED_TRACE(step);
        ProfileLock lock;
        bool done = std::string(step) == "load"   ? profile_load(link, ProfileKind::Peer, q, error)
                    : std::string(step) == "save" ? profile_save(link, p, ProfileKind::Peer, error)
                                                  : lock.acquire(link, error);
        EXPECT_FALSE(done);
        EXPECT_NE(error.find("a symbolic link to 'target.profile', which does not exist"), std::string::npos) << error;
        EXPECT_FALSE(profile_absent(link));
        EXPECT_TRUE(profile_absent(target)) << "no profile created behind the link";
    }
}

TEST_F(ProfileFile, NetworkRecordKeepsItsCounter) {
    SubscriberProfile p = SubscriberProfile::defaults();
    p.seqHe = 77;
    p.nextInd = 31;
    std::string error;
    ASSERT_TRUE(profile_save(path, p, ProfileKind::Network, error)) << error;
    SubscriberProfile q;
    ASSERT_TRUE(profile_load(path, ProfileKind::Network, q, error)) << error;
    EXPECT_EQ(q.seqHe, 77u);
    EXPECT_EQ(q.nextInd, 31u);
    // seq_ms belongs to the peer's profile only.
    EXPECT_FALSE(profile_load(path, ProfileKind::Peer, q, error));
    EXPECT_NE(error.find("seq_he"), std::string::npos);
}

}  // namespace
