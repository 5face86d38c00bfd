// The subscriber profile file: round trip, clear errors for bad files
// (every field required), crash safety of the save, symbolic links.
#include <gtest/gtest.h>

#include <glob.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "support/test_host.h"
#include "tools/keystore_file.h"
#include "tools/temp_dir.h"

using namespace tool;

namespace {

class ProfileFile : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        path = directory + "/subscriber.profile";
    }

    void write(const std::string& text) { std::ofstream(path) << text; }

    // The temporary file a save left beside the profile, or "".
    std::string leftover() const {
        glob_t found{};
        ::glob((path + ".tmp-*").c_str(), 0, nullptr, &found);
        const std::string first = found.gl_pathc > 0 ? found.gl_pathv[0] : "";
        ::globfree(&found);
        return first;
    }

    std::string path;
};

// The peer's profile and the network's record (its SEQ counter instead of
// the peer's array) read back as written.
TEST_F(ProfileFile, SaveAndLoadRoundTrip) {
    SubscriberProfile p = SubscriberProfile::defaults();
    p.seqMs[5] = (uint64_t{1} << 43) - 1;
    p.milenage.r[4] = 127;
    std::memcpy(p.pseudonym, "G\x01\x02", 3);  // not text: saved as hex
    p.seqHe = 77;
    p.nextInd = 31;
    std::string error;
    for (ProfileKind kind : {ProfileKind::Peer, ProfileKind::Network}) {
        ASSERT_TRUE(profile_save(path, p, kind, error)) << error;
        SubscriberProfile q;
        ASSERT_TRUE(profile_load(path, kind, q, error)) << error;
        EXPECT_EQ(profile_format(q, kind), profile_format(p, kind));  // every field the kind writes
    }
}

TEST_F(ProfileFile, BadFilesNameTheFileAndLine) {
    std::string good = profile_format(SubscriberProfile::defaults(), ProfileKind::Peer);
    // `from` replaced by `to` in a good file; the line named, 0 for the last.
    struct Case { const char* name; std::string from, to; int line; const char* words; };
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
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 9) << status;
    EXPECT_EQ(read_file(path), before);
    EXPECT_NE(read_file(leftover()).find("seq_ms 9 424242"), std::string::npos);

    // The next process to take the lock removes it.
    ProfileLock lock;
    ASSERT_TRUE(lock.acquire(path, error)) << error;
    EXPECT_EQ(leftover(), "");
}

// The realm is kept with its "@"; keystore init --imsi takes the 3GPP realm
// of TS 23.003 section 19.3.2 (a two-digit MNC padded: cli_test.cpp).
TEST(Realm, WithAtAndFromTheImsi) {
    EXPECT_EQ(realm_with_at("example.test") + realm_with_at("@example.test"), "@example.test@example.test");
    EXPECT_EQ(realm_3gpp("310150123456789", 3), "@wlan.mnc150.mcc310.3gppnetwork.org");
}

// A profile that is a symbolic link is saved through to its target, and
// the link stays.
TEST_F(ProfileFile, SymbolicLinkIsWrittenThrough) {
    const std::string target = directory + "/target.profile", link = directory + "/link.profile";
    SubscriberProfile p = SubscriberProfile::defaults();
    std::string error;
    ASSERT_TRUE(profile_save(target, p, ProfileKind::Peer, error)) << error;
    ASSERT_EQ(::symlink("target.profile", link.c_str()), 0);
    p.seqMs[3] = 33;
    ASSERT_TRUE(profile_save(link, p, ProfileKind::Peer, error)) << error;
    char pointsTo[64] = {};
    ASSERT_GT(::readlink(link.c_str(), pointsTo, sizeof pointsTo - 1), 0) << "the link was replaced";
    EXPECT_STREQ(pointsTo, "target.profile");
    SubscriberProfile q;
    ASSERT_TRUE(profile_load(target, ProfileKind::Peer, q, error)) << error;
    EXPECT_EQ(q.seqMs[3], 33u);
}

}  // namespace
