// Recursion that never ends in the evaluator and in the walks over values:
// each raises a language error that leaves the system usable, however deep
// the machine stack has gone.
#include <gtest/gtest.h>

#include "kernel/stack_guard.h"
#include "natives_cases.h"

using namespace zel;

namespace {

struct StackGuardTest : natives_cases::NativesTest {
    // A raise unwinds past the frames the evaluator pushed.
    void TearDown() override {
        stack::reg.call_top = call_top;
        natives_cases::NativesTest::TearDown();
    }
};

TEST_F(StackGuardTest, EndlessRecursionRaises) {
    const natives_cases::ErrorCase cases[] = {
        {"p: to paren! [] append/only p p do p", Err::internal_stack_overflow},
        {"p: to paren! [] append/only p p reduce p", Err::internal_stack_overflow},
        {"do transcode append/dup append/dup copy {1 + } {(} 1000000 {)} 1000000", Err::internal_stack_overflow},
        {"b: copy [] append/only b b compose/deep b", Err::internal_too_deep},
        {"b: copy [] append/only b b make bitset! b", Err::internal_too_deep},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        stack::reg.call_top = call_top;
        EXPECT_TRUE(test_support::raises(c.id, [&] { natives_cases::run(c.code); }));
    }
    // Through calls and compose in turn: the call stack or the machine stack,
    // whichever is used up first.
    stack::reg.call_top = call_top;
    bool raised = false;
    try {
        natives_cases::run("f: func [x] [compose/deep x] b: copy [] append/only b to paren! [f b] append/only b b f b");
    } catch (...) {
        raised = true;
    }
    int32_t code = test_support::take_error_code();
    EXPECT_TRUE(raised && (code == int32_t(Err::internal_stack_overflow) || code == int32_t(Err::internal_too_deep)))
        << code;
    stack::reg.call_top = call_top;
    EXPECT_EQ(natives_cases::eval_molded("e: try [p: to paren! [] append/only p p do p] e/id"), "stack-overflow");
    EXPECT_EQ(natives_cases::eval_molded("compose/deep [a [(1 + 1)]]"), "[a [2]]");
}

// The guard lets through every frame above the floor it finds.
TEST_F(StackGuardTest, ShallowCallsPass) {
    stack_guard::check();
    EXPECT_LT(stack_guard::floor, reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
}

}  // namespace
