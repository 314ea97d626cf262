// The runtime frame: the tracked heap, the catch-level rule, angles and the
// fault-signal table.
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <cstring>

#include "kernel/runtime.h"
#include "platform/process.h"

using namespace zel;

namespace {

// Runs a test with the tracked list as it was, so other suites' blocks stay.
struct HeapTest : ::testing::Test {
    size_t before = heap::count();
};

TEST_F(HeapTest, AllocLinksInOrderAndFreeUnlinks) {
    heap::Block* old_last = heap::last();
    void* a = heap::alloc(10);
    void* b = heap::alloc_zeroed(20);
    void* c = heap::alloc(30);
    EXPECT_EQ(heap::count(), before + 3);
    EXPECT_EQ(heap::last(), static_cast<heap::Block*>(c) - 1);
    EXPECT_EQ(static_cast<heap::Block*>(b)[-1].size, 20u);
    for (int i = 0; i < 20; i++) EXPECT_EQ(static_cast<char*>(b)[i], 0);
    heap::free(c);  // the last: the list's last moves back
    EXPECT_EQ(heap::last(), static_cast<heap::Block*>(b) - 1);
    heap::free(a);  // in front of b
    EXPECT_EQ(static_cast<heap::Block*>(b)[-1].prev, old_last);
    heap::free(b);
    EXPECT_EQ(heap::count(), before);
}

TEST_F(HeapTest, FreeOfUnknownAddressIsIgnored) {
    alignas(16) static char not_tracked[64];
    heap::free(not_tracked + 32);
    heap::free(nullptr);
    EXPECT_EQ(heap::count(), before);
}

TEST_F(HeapTest, ResizeNullAllocatesZeroFreesAndMovesKeepList) {
    void* p = heap::resize(nullptr, 8);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(heap::count(), before + 1);
    std::memcpy(p, "abcdefg", 8);
    p = heap::resize(p, 1 << 20);  // large enough to move
    EXPECT_STREQ(static_cast<char*>(p), "abcdefg");
    EXPECT_EQ(heap::last(), static_cast<heap::Block*>(p) - 1);
    EXPECT_EQ(heap::last()->size, 1u << 20);
    if (before == 0) {
        EXPECT_EQ(heap::first(), heap::last());
    }
    EXPECT_EQ(heap::resize(p, 0), nullptr);
    EXPECT_EQ(heap::count(), before);
}

TEST(CatchLevel, TakenWhenCodeAtOrBelowLevelUnsigned) {
    struct { uint32_t level, code; bool taken; } cases[] = {
        {0x7FFFFFFF, 0x7FFFFFFF, true},   // equal is taken
        {0x7FFFFFFE, 0x7FFFFFFF, false},
        {0x7FFFFFFF, 0x7FFFFFFA, true},
        {0x7FFFFFFF, 0x80000000, false},  // high codes pass every level...
        {0xFFFFFFFE, 0xFFFFFFFF, false},
        {CATCH_ALL, 0x80000000, true},    // ...but the catch-all
        {0, 0, true},
        {0, 1, false},
    };
    for (auto& c : cases) {
        EXPECT_EQ(runtime::takes(c.level, c.code), c.taken) << c.level << " " << c.code;
        uint32_t got = 0;
        try {
            got = runtime::protect(c.level, [&] { runtime::throw_code(c.code); });
        } catch (const Throw& t) {
            EXPECT_FALSE(c.taken);
            EXPECT_EQ(t.code, c.code);
            continue;
        }
        EXPECT_TRUE(c.taken);
        EXPECT_EQ(got, c.code);
    }
    runtime::record.pending_code = 0;
}

TEST(CatchLevel, InnermostTakingFrameCatches) {
    uint32_t outer = runtime::protect(CATCH_ALL, [] {
        uint32_t inner = runtime::protect(EXIT_BREAK, [] { runtime::throw_code(EXIT_ERROR); });
        ADD_FAILURE() << "inner frame took " << inner;
    });
    EXPECT_EQ(outer, EXIT_ERROR);
    EXPECT_EQ(runtime::protect(EXIT_ERROR, [] {}), 0u);
    runtime::record.pending_code = 0;
}

TEST(Runtime, ErrorMessages) {
    EXPECT_STREQ(runtime::error_message(6), "float denormal operan");
    EXPECT_STREQ(runtime::error_message(95), "no CATCH for THROW");
    EXPECT_STREQ(runtime::error_message(34), "Bus error");
    EXPECT_STREQ(runtime::error_message(0), "unknown error code!");
    EXPECT_STREQ(runtime::error_message(96), "unknown error code!");
}

TEST(Runtime, NormaliseAngle) {
    const double pi = 3.14159265358979323846;
    struct { double deg; int mode; double want_deg; } cases[] = {
        {30, 1, 30}, {-30, 1, -30}, {390, 1, 30}, {270, 1, -90},
        {135, 0, -45}, {-135, 0, 45},      // tangent: period 180
        {135, 2, 45}, {-135, 2, -45},      // sine: mirror at 90
        {135, 1, 135}, {180, 2, 0}, {-180, 2, 0},
        {720, 0, 0},
    };
    for (auto& c : cases)
        EXPECT_DOUBLE_EQ(math::normalise_angle(c.deg, c.mode), c.want_deg * pi / 180) << c.deg;
}

TEST(Runtime, AlignAndText) {
    EXPECT_EQ(math::align_up(17, 16), 32u);
    EXPECT_EQ(math::align_up(32, 16), 32u);
    EXPECT_EQ(math::align_next(32, 16), 48u);
    EXPECT_EQ(math::align_next(33, 16), 48u);
    EXPECT_TRUE(text::is_equal("abc", "abc"));
    EXPECT_FALSE(text::is_equal("abc", "abcd"));
}

TEST(Runtime, FaultSignalTable) {
    struct { int sig, code; bool guard; uint32_t want; } cases[] = {
        {SIGSEGV, SEGV_MAPERR, false, 1}, {SIGSEGV, SEGV_MAPERR, true, 19},
        {SIGSEGV, 12345, false, 32},      {SIGBUS, BUS_ADRALN, false, 2},
        {SIGBUS, 12345, false, 34},       {SIGFPE, FPE_INTDIV, false, 13},
        {SIGFPE, FPE_FLTDIV, false, 7},   {SIGFPE, 12345, false, 33},
        {SIGILL, ILL_PRVOPC, false, 15},  {SIGILL, ILL_ILLOPN, false, 23},
        {SIGTRAP, TRAP_TRACE, false, 4},  {SIGUSR1, 0, false, 99},
    };
    for (auto& c : cases) EXPECT_EQ(platform::fault_code(c.sig, c.code, c.guard), c.want) << c.sig;
}

}  // namespace
