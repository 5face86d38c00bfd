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

// The trace is written only to a regular file owned by this user that no
// one else can write, and never through a symbolic link.
TEST(PlatformTraceTest, RefusesUnsafeFiles) {
    TraceFile trace;
    std::FILE* f = platform_open_trace();
    ASSERT_NE(f, nullptr);
    std::fclose(f);

    chmod(trace.path.c_str(), 0620);
    EXPECT_EQ(platform_open_trace(), nullptr) << "group-writable";
    chmod(trace.path.c_str(), 0602);
    EXPECT_EQ(platform_open_trace(), nullptr) << "world-writable";
    chmod(trace.path.c_str(), 0600);

    if (geteuid() == 0) {  // only root can hand the file to another owner
        ASSERT_EQ(chown(trace.path.c_str(), 65534, 65534), 0);
        EXPECT_EQ(platform_open_trace(), nullptr) << "other owner";
        ASSERT_EQ(chown(trace.path.c_str(), 0, 0), 0);
    }

    std::string target = trace.path + ".target";
    std::FILE* t = std::fopen(target.c_str(), "w");
    ASSERT_NE(t, nullptr);
    std::fclose(t);
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
// if the trace were switched off.
TEST(PlatformTraceTest, RefusedFileIsLeftUntouched) {
    aka_session_reset();
    TraceFile trace;
    chmod(trace.path.c_str(), 0666);
    EXPECT_EQ(platform_open_trace(), nullptr);
    unsigned char out[256];
    unsigned short outLen = 0;
    unsigned char identityRequest[] = {1, 7, 0, 5, 1};
    EXPECT_EQ(EAP_layer(identityRequest, out, &outLen), EAPAKA_RESULT_RESPONSE);
    EXPECT_EQ(trace.contents(), "");
    chmod(trace.path.c_str(), 0600);
    unsigned char sameRequest[] = {1, 7, 0, 5, 1};
    EXPECT_EQ(EAP_layer(sameRequest, out, &outLen), EAPAKA_RESULT_RESPONSE);
    EXPECT_NE(trace.contents(), "") << "the same exchange is traced once the file is safe";
    aka_session_reset();
}
