// The runtime's operating-system wrappers: zone packing, the environment, the
// working directory and the clocks.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "kernel/os.h"
#include "kernel/runtime.h"

using namespace zel;

TEST(Os, PackZone) {
    struct { int32_t offset; uint32_t packed; } cases[] = {
        {0, 0},
        {3600, 1 << 2},
        {(5 * 60 + 45) * 60, (5 << 2) | 3},         // +05:45
        {-(3 * 60 + 30) * 60, ((3 | 16) << 2) | 2},  // -03:30
        {-12 * 3600, (12 | 16) << 2},
        {14 * 3600, 14 << 2},
    };
    for (auto& c : cases) EXPECT_EQ(os::pack_zone(c.offset), c.packed) << c.offset;
}

TEST(Os, EnvironmentRoundTrip) {
    ASSERT_TRUE(os::set_env("ZEL_OS_TEST", "value=1"));
    char buf[8];
    EXPECT_EQ(os::get_env("ZEL_OS_TEST", buf, sizeof buf), 7u);
    EXPECT_STREQ(buf, "value=1");
    char small[4];
    EXPECT_EQ(os::get_env("ZEL_OS_TEST", small, sizeof small), 7u);  // cut, full length answered
    EXPECT_STREQ(small, "val");
    ASSERT_TRUE(os::set_env("ZEL_OS_TEST", nullptr));
    EXPECT_EQ(os::get_env("ZEL_OS_TEST", buf, sizeof buf), 0u);
}

TEST(Os, CurrentDirectory) {
    char* dir = os::get_current_dir();
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir[0], '/');
    EXPECT_TRUE(os::set_current_dir(dir));
    heap::free(dir);
    EXPECT_FALSE(os::set_current_dir("/no/such/directory/here"));
}

TEST(Os, ClocksAgreeWithTheSystem) {
    std::time_t t = std::time(nullptr);
    std::tm utc;
    gmtime_r(&t, &utc);
    uint32_t packed = os::now_local(true);
    EXPECT_EQ(packed >> 17, uint32_t(utc.tm_year + 1900));
    EXPECT_EQ((packed >> 12) & 31, uint32_t(utc.tm_mon + 1));
    EXPECT_EQ(packed & 127, 0u);  // UTC has no zone
    double s = os::now_utc(true);
    EXPECT_GE(s, 0.0);
    EXPECT_LT(s, 86400.0);
}
