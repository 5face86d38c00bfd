#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "api/session.h"
#include "platform/platform.h"
#include "support/test_host.h"

namespace {
int fired = 0;
void count_fire(void*, unsigned int, uintptr_t, unsigned long) { ++fired; }
}  // namespace

class PlatformTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform_reset_timers();
        fake_clock_install();
        fired = 0;
    }
    void TearDown() override {
        platform_reset_timers();
        fake_clock_uninstall();
    }
};

TEST_F(PlatformTimerTest, FiresOnlyFromDispatchAfterItsPeriod) {
    EXPECT_EQ(platform_dispatch_timers(), -1);
    uintptr_t id = platform_set_timer(10000, count_fire);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(platform_dispatch_timers(), 10000);
    fake_clock_advance(9999);
    EXPECT_EQ(platform_dispatch_timers(), 1);
    EXPECT_EQ(fired, 0);
    fake_clock_advance(1);
    EXPECT_EQ(platform_dispatch_timers(), 10000);  // periodic until killed
    EXPECT_EQ(fired, 1);
    EXPECT_TRUE(platform_kill_timer(id));
    EXPECT_FALSE(platform_kill_timer(id));
    fake_clock_advance(20000);
    EXPECT_EQ(platform_dispatch_timers(), -1);
    EXPECT_EQ(fired, 1);
}

// The trace is written only to a regular file owned by this user, with no
// permission bit for group or others and a single link, and never through a
// symbolic link.
TEST(PlatformTraceTest, RefusesUnsafeFiles) {
    TraceFile trace;
    std::FILE* f = platform_open_trace();
    ASSERT_NE(f, nullptr);
    std::fclose(f);

    for (mode_t mode : {0620, 0602, 0640, 0604, 0644, 0610, 0601}) {
        chmod(trace.path.c_str(), mode);
        EXPECT_EQ(platform_open_trace(), nullptr) << std::oct << mode;
    }
    chmod(trace.path.c_str(), 0600);

    const std::string other = trace.path + ".link";
    ASSERT_EQ(link(trace.path.c_str(), other.c_str()), 0);
    EXPECT_EQ(platform_open_trace(), nullptr) << "hard link";
    std::remove(other.c_str());

    if (geteuid() == 0) {  // only root can hand the file to another owner
        ASSERT_EQ(chown(trace.path.c_str(), 65534, 65534), 0);
        EXPECT_EQ(platform_open_trace(), nullptr) << "other owner";
        ASSERT_EQ(chown(trace.path.c_str(), 0, 0), 0);
    }

    std::string target = trace.path + ".target";
    std::FILE* t = std::fopen(target.c_str(), "w");
    ASSERT_NE(t, nullptr);
    std::fclose(t);
    chmod(target.c_str(), 0600);
    std::remove(trace.path.c_str());
    ASSERT_EQ(symlink(target.c_str(), trace.path.c_str()), 0);
    EXPECT_EQ(platform_open_trace(), nullptr) << "symbolic link";
    std::remove(trace.path.c_str());
    std::remove(target.c_str());

    EXPECT_EQ(platform_open_trace(), nullptr) << "absent";
    EXPECT_FALSE(trace.exists()) << "never created";
}

// Something other than a regular file under the trace's name (a FIFO that
// would block a writer, a directory) is refused like an absent file.
TEST(PlatformTraceTest, RefusesNonRegularFiles) {
    TraceFile trace(false);
    ASSERT_EQ(mkfifo(trace.path.c_str(), 0600), 0);
    EXPECT_EQ(platform_open_trace(), nullptr) << "FIFO";
    std::remove(trace.path.c_str());

    ASSERT_EQ(mkdir(trace.path.c_str(), 0700), 0);
    EXPECT_EQ(platform_open_trace(), nullptr) << "directory";
    rmdir(trace.path.c_str());
}

// A refused file receives nothing: the library's messages are dropped as
// if the trace were switched off. The same exchange is traced once the file
// is safe.
TEST(PlatformTraceTest, RefusedFileIsLeftUntouched) {
    struct Case {
        const char* name;
        mode_t mode;
        bool hardLink;
    };
    const Case cases[] = {{"0644", 0644, false}, {"0640", 0640, false}, {"hard link", 0600, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        aka_session_reset();
        TraceFile trace;
        chmod(trace.path.c_str(), c.mode);
        const std::string other = trace.path + ".link";
        if (c.hardLink) {
            ASSERT_EQ(link(trace.path.c_str(), other.c_str()), 0);
        }
        unsigned char out[256];
        unsigned short outLen = 0;
        unsigned char identityRequest[] = {1, 7, 0, 5, 1};
        EXPECT_EQ(EAP_layer(identityRequest, out, &outLen), EAPAKA_RESULT_RESPONSE);
        EXPECT_EQ(trace.contents(), "");
        chmod(trace.path.c_str(), 0600);
        std::remove(other.c_str());
        unsigned char sameRequest[] = {1, 7, 0, 5, 1};
        EXPECT_EQ(EAP_layer(sameRequest, out, &outLen), EAPAKA_RESULT_RESPONSE);
        EXPECT_NE(trace.contents(), "");
    }
    aka_session_reset();
}
