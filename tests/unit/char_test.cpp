// char!: arithmetic that stays a character inside 0..0x10FFFF (overflow
// otherwise), the actions it inherits and the ones it lacks, conversions,
// text and comparison, each called through its action entry.
#include <gtest/gtest.h>

#include <cmath>

#include "core/char.h"
#include "number_calls.h"

namespace zel {
namespace {

using namespace number_calls;

using CharTest = ::testing::Test;

TEST_F(CharTest, ArithmeticKeepsACharacter) {
    struct Case {
        uint32_t a;
        const char* op;
        Cell b;
        uint32_t result;
    };
    const Case cases[] = {
        {'a', "add", i32(1), 'b'},
        {'a', "subtract", i32(97), 0},
        {'a', "divide", i32(2), 48},
        {'a', "multiply", i32(2), 194},
        {'a', "add", f64(1.7), 'b'},
        {'a', "add", f64(-1.7), '`'},
        {'a', "remainder", i32(10), 7},
        {'A', "or~", i32(0x20), 'a'},
        {'a', "and~", i32(0xDF), 'A'},
        {'A', "xor~", ch(0x20), 'a'},
        {'a', "add", ch('b'), 195},
        {0x10FFFE, "add", i32(1), 0x10FFFF},
    };
    for (const Case& c : cases) {
        Outcome o = arith(c.op, ch(c.a), c.b);
        ASSERT_EQ(o.code, -1) << c.a << " " << c.op;
        EXPECT_EQ(o.type(), uint32_t(T_CHAR));
        EXPECT_EQ(cell::get_char(&o.value), c.result) << c.a << " " << c.op;
    }
}

TEST_F(CharTest, LeavingTheRangeIsAnOverflow) {
    struct Case {
        uint32_t a;
        const char* op;
        Cell b;
        Err error;
    };
    const Case cases[] = {
        {'a', "subtract", i32(98), Err::math_overflow},
        {0x10FFFF, "add", i32(1), Err::math_overflow},
        {'a', "multiply", i32(2147483647), Err::math_overflow},
        {'a', "add", f64(NAN), Err::math_overflow},
        {'a', "add", f64(1e10), Err::math_overflow},
        {'a', "divide", i32(0), Err::math_zero_divide},
        {'a', "add", str("x"), Err::script_invalid_type},
        {'a', "add", stand_in(T_VECTOR), Err::internal_not_done},  // a vector takes numbers only
    };
    for (const Case& c : cases) EXPECT_EQ(arith(c.op, ch(c.a), c.b).code, code(c.error)) << c.op;
}

TEST_F(CharTest, InheritedAndMissingActions) {
    EXPECT_TRUE(truth(actions::is_even, "even?", ch('b')));
    EXPECT_TRUE(truth(actions::is_odd, "odd?", ch('a')));
    Outcome o = run_action("absolute", actions::absolute, {ch('a')});
    EXPECT_EQ(o.type(), uint32_t(T_CHAR));
    EXPECT_EQ(cell::get_char(&o.value), uint32_t('a'));
    o = run_action("negate", actions::negate, {ch('a')});
    EXPECT_EQ(o.code, code(Err::script_expect_arg));
    EXPECT_EQ(cell::datatype_id(o.arg(2)), uint32_t(T_CHAR));
    EXPECT_EQ(arith("power", ch('a'), i32(2)).code, code(Err::script_expect_arg));
    EXPECT_EQ(run_action("complement", actions::complement, {ch('a')}).code, code(Err::script_expect_arg));
    EXPECT_EQ(rounded(ch('a'), nullptr).code, code(Err::script_expect_arg));
}

TEST_F(CharTest, ToChar) {
    Cell abc = str("abc");
    Cell bc = abc;
    cell::set_series_index(&bc, 1);
    struct Case {
        Cell spec;
        uint32_t result;
    };
    const Case cases[] = {
        {f64(65.9), 'A'},   {i32(0x10FFFF), 0x10FFFF},     {ch('z'), 'z'},
        {abc, 'a'},         {bc, 'b'},                      {str("q", T_FILE), 'q'},
        {bytes({0xE2, 0x82, 0xAC, 'x'}), 0x20AC},            {bytes({'A'}), 'A'},
    };
    for (const Case& c : cases) {
        Outcome o = to_type(T_CHAR, c.spec);
        ASSERT_EQ(o.code, -1) << c.result;
        EXPECT_EQ(o.type(), uint32_t(T_CHAR));
        EXPECT_EQ(cell::get_char(&o.value), c.result);
    }
    Cell at_tail = abc;
    cell::set_series_index(&at_tail, 3);
    struct Bad {
        Cell spec;
        Err error;
    };
    const Bad bad[] = {
        {i32(-1), Err::script_out_of_range},        {i32(1114112), Err::script_out_of_range},
        {f64(NAN), Err::script_out_of_range},       {f64(-0.5 - 1), Err::script_out_of_range},
        {str(""), Err::script_bad_to_arg},          {at_tail, Err::script_bad_to_arg},
        {bytes({}), Err::script_bad_to_arg},        {bytes({0xFF}), Err::access_invalid_utf8},
        {statics::none_cell, Err::script_bad_to_arg},
    };
    for (const Bad& b : bad) EXPECT_EQ(make_type(T_CHAR, b.spec).code, code(b.error)) << cell::type(&b.spec);
}

TEST_F(CharTest, FormAndMold) {
    EXPECT_EQ(formed(ch('a')), "a");
    Outcome o = run_action("form", actions::form, {ch(0x20AC)}, {-1});
    EXPECT_EQ(string::get_length(&o.value), 1u);
    EXPECT_EQ(string::char_at(&o.value, 0), 0x20ACu);
    struct Case {
        uint32_t cp;
        bool all;
        const char* mold;
    };
    const Case cases[] = {
        {'a', false, "#\"a\""},          {'\n', false, "#\"^/\""},     {'"', false, "#\"^\"\""},
        {'^', false, "#\"^^\""},         {0x1E, false, "#\"^(1E)\""},  {0x7F, false, "#\"^~\""},
        {0xE9, true, "#\"^(E9)\""},      {0, false, "#\"^@\""},
    };
    for (const Case& c : cases) EXPECT_EQ(molded(ch(c.cp), c.all), c.mold) << c.cp;
    o = run_action("mold", actions::mold, {ch(0xE9)}, {-1, -1, -1, -1});
    EXPECT_EQ(string::char_at(&o.value, 2), 0xE9u);
}

TEST_F(CharTest, Compare) {
    using namespace actions;
    EXPECT_EQ(compared(ch('a'), i32(97), OP_EQUAL), 1);
    EXPECT_EQ(compared(ch('a'), i32(97), OP_STRICT_EQUAL), 0);
    EXPECT_EQ(compared(i32(97), ch('a'), OP_STRICT_EQUAL), 0);
    EXPECT_EQ(compared(ch('a'), ch('a'), OP_STRICT_EQUAL), 1);
    EXPECT_EQ(compared(ch('a'), ch('A'), OP_EQUAL), 0);
    EXPECT_EQ(compared(ch('a'), ch('b'), OP_LESSER), 1);
    EXPECT_EQ(compared(ch('a'), f64(97), OP_EQUAL), 0);
    EXPECT_EQ(compared(ch('a'), str("a"), OP_LESSER), code(Err::script_invalid_compare));
}

TEST_F(CharTest, CellRoutines) {
    Cell* c = char_::push('x');
    EXPECT_EQ(c->header, uint32_t(T_CHAR));
    EXPECT_EQ(cell::get_char(c), uint32_t('x'));
    Cell b;
    cell::make_series(&b, T_BLOCK, series::new_cells(2));
    Cell* d = char_::append_new(&b, 0x10FFFF);
    EXPECT_EQ(cell::get_char(d), 0x10FFFFu);
    EXPECT_EQ(series::length(node::buffer(cell::series_node(&b))), 1u);
}

}  // namespace
}  // namespace zel
