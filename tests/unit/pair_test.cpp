// pair! and percent! below the language: the cell constructors the Zelbin
// readers and the lexer rely on, the action rows, and the hand-over from the
// integer and float arithmetic.
#include <gtest/gtest.h>

#include "core/datatype.h"
#include "core/stack.h"
#include "datatypes/pair.h"
#include "datatypes/percent.h"
#include "number_calls.h"
#include "test_values.h"

namespace zel {
namespace {

using namespace number_calls;
using test_values::supported;

using PairTest = ::testing::Test;

Cell pr(int32_t x, int32_t y) {
    Cell c;
    pair::init_cell(&c, x, y);
    return c;
}

TEST_F(PairTest, CellsKeepCoordinatesInWordsTwoAndThree) {
    Cell c = pr(-1, 7);
    EXPECT_EQ(c.header, uint32_t(T_PAIR));
    EXPECT_EQ(c.w1, 0u);
    EXPECT_EQ(c.w2, 0xFFFFFFFFu);
    EXPECT_EQ(c.w3, 7u);
    Cell slot{uint32_t(T_BLOCK) | HDR_NEW_LINE, 1, 2, 3};
    pair::init_slot(&slot, 3, 4);
    EXPECT_EQ(slot.header, uint32_t(T_PAIR) | HDR_NEW_LINE);
    EXPECT_EQ(molded(slot), "3x4");
    Cell* top = stack::reg.top;
    Cell* pushed = pair::push_new(5, 6);
    EXPECT_EQ(molded(*pushed), "5x6");
    stack::reg.top = top;
}

TEST_F(PairTest, PercentCellsHoldTheFraction) {
    Cell c;
    percent::init_cell(&c, 0.5);
    EXPECT_EQ(molded(c), "50%");
    percent::init_cell(&c, 1.0);
    EXPECT_EQ(formed(c), "100%");
}

TEST_F(PairTest, ActionRows) {
    EXPECT_EQ(supported(types::row(T_PAIR)),
              (std::vector<uint32_t>{ACT_make, ACT_random, ACT_to, ACT_form, ACT_mold, ACT_eval_path, ACT_compare,
                                     ACT_absolute, ACT_add, ACT_divide, ACT_multiply, ACT_negate,
                                     ACT_remainder, ACT_round, ACT_subtract, ACT_and_, ACT_or_, ACT_xor_,
                                     ACT_pick, ACT_reverse}));
    // percent! takes all but its text from float!.
    EXPECT_EQ(types::row(T_PERCENT).add, types::row(T_FLOAT).add);
    EXPECT_EQ(types::row(T_PERCENT).round, types::row(T_FLOAT).round);
    EXPECT_NE(types::row(T_PERCENT).mold, types::row(T_FLOAT).mold);
}

// The scalar as first operand: the integer and float arithmetic hand the pair
// over, swapped; a subtract negates the pair and adds.
TEST_F(PairTest, NumbersHandThePairOver) {
    struct Case {
        const char* action;
        Cell a, b;
        const char* text;
    };
    const Case cases[] = {
        {"add", i32(10), pr(1, 2), "11x12"},       {"subtract", i32(10), pr(1, 2), "9x8"},
        {"multiply", i32(3), pr(1, -2), "3x-6"},   {"add", f64(1.5), pr(1, 2), "2x3"},
        {"multiply", f64(0.5), pr(3, 4), "(1.5, 2)"},
        {"add", pr(2147483647, 0), i32(1), "(2.147484e9, 1)"},
    };
    for (const Case& c : cases) {
        Outcome o = arith(c.action, c.a, c.b);
        ASSERT_EQ(o.code, -1) << c.action << " " << c.text;
        EXPECT_EQ(molded(o.value), c.text);
    }
    Outcome o = arith("divide", i32(1), pr(1, 1));
    EXPECT_EQ(o.code, int32_t(Err::script_not_related));
    // One zero coordinate of the divisor is enough.
    o = arith("divide", pr(4, 4), pr(2, 0));
    EXPECT_EQ(o.code, int32_t(Err::math_zero_divide));
}

}  // namespace
}  // namespace zel
