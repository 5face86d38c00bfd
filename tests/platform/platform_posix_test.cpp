#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "api/session.h"
#include "platform/platform.h"
#include "support/test_host.h"

namespace {

// The trace is written only to a regular file owned by this user, with no
// permission bit for group or others and a single link, never through a
// symbolic link, and never created. A refused file receives nothing of an
// exchange, which is traced once the file is made safe.
TEST(PlatformTraceTest, RefusesUnsafeFilesAndWritesNothingToThem) {
    struct Case { std::string name; std::function<void(const std::string& path)> make_unsafe; };
    std::vector<Case> cases = {
        {"hard link", [](const std::string& p) { ASSERT_EQ(link(p.c_str(), (p + ".link").c_str()), 0); }},
        {"symbolic link",
         [](const std::string& p) {
             std::rename(p.c_str(), (p + ".target").c_str());
             ASSERT_EQ(symlink((p + ".target").c_str(), p.c_str()), 0);
         }},
        {"FIFO", [](const std::string& p) { std::remove(p.c_str()); mkfifo(p.c_str(), 0600); }},
        {"directory", [](const std::string& p) { std::remove(p.c_str()); mkdir(p.c_str(), 0700); }},
        {"absent", [](const std::string& p) { std::remove(p.c_str()); }},
    };
    for (mode_t mode : {0620, 0602, 0640, 0604, 0644, 0610, 0601})
        cases.push_back({"mode 0" + std::to_string(mode / 64) + std::to_string(mode / 8 % 8) + std::to_string(mode % 8),
                         [mode](const std::string& p) { chmod(p.c_str(), mode); }});
    if (geteuid() == 0)  // only root can hand the file to another owner
        cases.push_back({"other owner", [](const std::string& p) { ASSERT_EQ(chown(p.c_str(), 65534, 65534), 0); }});
    unsigned char out[256];
    unsigned short outLen = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        aka_session_reset();
        TraceFile trace;
        std::FILE* f = platform_open_trace();
        ASSERT_NE(f, nullptr);
        std::fclose(f);
        c.make_unsafe(trace.path);
        EXPECT_EQ(platform_open_trace(), nullptr);
        unsigned char identityRequest[] = {1, 7, 0, 5, 1};
        EXPECT_EQ(EAP_layer(identityRequest, out, &outLen), EAPAKA_RESULT_RESPONSE);
        struct stat st {};
        if (lstat(trace.path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            EXPECT_EQ(trace.contents(), "");
            EXPECT_EQ(chown(trace.path.c_str(), geteuid(), getegid()) | chmod(trace.path.c_str(), 0600), 0);
            std::remove((trace.path + ".link").c_str());
            unsigned char sameRequest[] = {1, 7, 0, 5, 1};
            EXPECT_EQ(EAP_layer(sameRequest, out, &outLen), EAPAKA_RESULT_RESPONSE);
            EXPECT_NE(trace.contents(), "");
        } else {
            EXPECT_EQ(S_ISLNK(st.st_mode) ? read_file(trace.path + ".target") : "", "");
        }
        std::remove((trace.path + ".target").c_str());
        rmdir(trace.path.c_str());
        std::remove(trace.path.c_str());
        EXPECT_EQ(platform_open_trace(), nullptr) << "never created";
    }
    aka_session_reset();
}

}  // namespace
