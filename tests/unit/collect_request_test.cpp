// Garbage made while a large structure lives is collected: the series frames
// the structure fills, each found too full to use, do not keep the allocator
// from asking for collections as it takes new frames.
#include <gtest/gtest.h>

#include "natives_cases.h"

using namespace zel;

namespace {

struct CollectRequestTest : natives_cases::NativesTest {};

TEST_F(CollectRequestTest, MemoryStaysBoundedWhileALargeStructureLives) {
    natives_cases::run("keep: copy [] loop 50000 [keep: reduce [keep]] s0: stats");
    natives_cases::run("repeat i 300000 [x: copy {some text of moderate length}]");
    EXPECT_EQ(natives_cases::eval_molded("(stats - s0) < 4000000"), "true");
    natives_cases::run("keep: x: none");
}

}  // namespace
