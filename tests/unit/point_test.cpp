// point2D! and point3D! below the language: the component layout, the
// action rows, the 32-bit narrowing of arithmetic, and the actions whose
// argument types the action specs do not open to points yet (pick, reverse,
// round with a pair or point scale), called through their entries.
// Bit patterns marked "python3" come from struct.pack('<f', x).
#include <gtest/gtest.h>

#include "core/datatype.h"
#include "core/stack.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "number_calls.h"
#include "test_values.h"

namespace zel {
namespace {

using namespace number_calls;
using test_values::supported;

using PointTest = ::testing::Test;

Cell p2(float x, float y) {
    Cell c;
    point2D::init_cell(&c, x, y);
    return c;
}

Cell p3(float x, float y, float z) {
    Cell c;
    point3D::init_cell(&c, x, y, z);
    return c;
}

Cell pr(int32_t x, int32_t y) {
    Cell c;
    pair::init_cell(&c, x, y);
    return c;
}

// python3
TEST_F(PointTest, ComponentsAre32BitFloatsInWordsOneToThree) {
    Cell c = p3(1.5f, 0.1f, -2.25f);
    EXPECT_EQ(c.header, uint32_t(T_POINT3D));
    EXPECT_EQ(c.w1, 0x3FC00000u);
    EXPECT_EQ(c.w2, 0x3DCCCCCDu);
    EXPECT_EQ(c.w3, 0xC0100000u);
    c = p2(2147483648.0f, 0);
    EXPECT_EQ(c.w1, 0x4F000000u);
    EXPECT_EQ(c.w3, 0u);
    Cell* top = stack::reg.top;
    EXPECT_EQ(molded(*point2D::push_new(1, 2)), "(1, 2)");
    EXPECT_EQ(molded(*point3D::push_new(1, 2, 3)), "(1, 2, 3)");
    stack::reg.top = top;
}

TEST_F(PointTest, ActionRows) {
    const std::vector<uint32_t> row{ACT_make,     ACT_random, ACT_to,     ACT_form,     ACT_mold,   ACT_eval_path,
                                    ACT_compare,  ACT_absolute, ACT_add,    ACT_divide, ACT_multiply,
                                    ACT_negate,   ACT_remainder, ACT_round, ACT_subtract, ACT_pick,
                                    ACT_reverse};
    EXPECT_EQ(supported(types::row(T_POINT2D)), row);
    EXPECT_EQ(supported(types::row(T_POINT3D)), row);
}

// Every result is narrowed to 32 bits: float32(float32(0.1) + 0.2) has the
// bits 0x3E99999A (python3).
TEST_F(PointTest, ArithmeticNarrowsEachComponent) {
    Outcome o = arith("add", p2(0.1f, 1), f64(0.2));
    ASSERT_EQ(o.code, -1);
    EXPECT_EQ(o.value.w1, 0x3E99999Au);
    o = arith("multiply", p2(0.1f, 0), i32(3));
    ASSERT_EQ(o.code, -1);
    EXPECT_EQ(o.value.w1, 0x3E99999Au);
}

TEST_F(PointTest, PickAndReverse) {
    Outcome o = run_action("pick", actions::pick, {p3(1, 2, 3), i32(3)});
    EXPECT_EQ(o.type(), uint32_t(T_FLOAT));
    EXPECT_EQ(o.f(), 3.0);
    o = run_action("pick", actions::pick, {p2(1, 2), test_values::word_of("Y")});
    EXPECT_EQ(o.f(), 2.0);
    EXPECT_EQ(run_action("pick", actions::pick, {p2(1, 2), i32(3)}).code, code(Err::script_out_of_range));
    EXPECT_EQ(run_action("pick", actions::pick, {p2(1, 2), test_values::word_of("z")}).code,
              code(Err::script_out_of_range));
    EXPECT_EQ(molded(run_action("reverse", actions::reverse, {p2(1, 2)}, {-1, -1}).value), "(2, 1)");
    EXPECT_EQ(molded(run_action("reverse", actions::reverse, {p3(1, 2, 3)}, {-1, -1}).value), "(3, 2, 1)");
}

TEST_F(PointTest, RoundTakesPairAndPointScales) {
    struct Case {
        Cell value, scale;
        const char* text;
    };
    const Case cases[] = {
        {p2(17, 23), pr(10, 4), "(20, 24)"},
        {p2(17, 23), p3(10, 4, 1), "(20, 24)"},
        {p3(17, 23, 8.4f), p2(10, 4), "(20, 24, 8.4)"},  // z by a scale of 0.0: unchanged
        {p3(17, 23, 8), p3(10, 4, 3), "(20, 24, 9)"},
        {p2(1.26f, 2.5f), f64(0.1), "(1.3, 2.5)"},
        {p2(1.5f, -1.5f), i32(1), "(2, -2)"},
    };
    for (const Case& c : cases) {
        Outcome o = rounded(c.value, &c.scale);
        ASSERT_EQ(o.code, -1) << c.text;
        EXPECT_EQ(molded(o.value), c.text);
    }
    Cell scale = pr(10, 4);
    EXPECT_EQ(rounded(p3(1, 2, 3), &scale).code, code(Err::script_invalid_type));
}

TEST_F(PointTest, PairRoundTakesAPairScale) {
    Cell scale = pr(10, 4);
    Outcome o = rounded(pr(17, 23), &scale);
    ASSERT_EQ(o.code, -1);
    EXPECT_EQ(molded(o.value), "20x24");
    scale = f64(2.5);
    o = rounded(pr(6, 7), &scale);
    ASSERT_EQ(o.code, -1);
    EXPECT_EQ(molded(o.value), "5x7");
}

}  // namespace
}  // namespace zel
