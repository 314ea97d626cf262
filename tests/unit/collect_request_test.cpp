// Garbage made while a large structure lives is collected: the series frames
// the structure fills, each found too full to use, do not keep the allocator
// from asking for collections as it takes new frames. And a structure that
// grows large is not marked again at every new frame: the collections it
// causes grow fewer as it grows.
#include <gtest/gtest.h>

#include "kernel/memory.h"
#include "natives_cases.h"

using namespace zel;

namespace {

struct CollectRequestTest : natives_cases::NativesTest {};

TEST_F(CollectRequestTest, MemoryStaysBoundedWhileALargeStructureLives) {
    natives_cases::run("keep: copy [] loop 50000 [keep: reduce [keep]] s0: stats");
    natives_cases::run("repeat i 300000 [x: copy {some text of moderate length}]");
    // Collections are paced by the heap's growth (half of what the last one
    // left, one frame at least), so the garbage stays within a small multiple
    // of the live data; never collected, it would be some 20 MB.
    EXPECT_EQ(natives_cases::eval_molded("(stats - s0) < (2 * s0)"), "true");
    natives_cases::run("keep: x: none");
}

TEST_F(CollectRequestTest, AGrowingStructureIsCollectedAtProportionalSteps) {
    uint32_t before = memory::record.cycle;
    // Some 50 MB of live strings: a collection at each 2 MB frame would be 25.
    natives_cases::run("keep: copy [] loop 400000 [append keep make string! 100]");
    EXPECT_LE(memory::record.cycle - before, 12u);
    EXPECT_GE(memory::record.cycle - before, 3u);
    natives_cases::run("keep: none");
}

}  // namespace
