#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

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
