// tuple! below the language: the byte layout the lexer and the Zelbin
// readers rely on, the start-up and colour constructors, the action row and
// the hand-over from the integer and float arithmetic.
#include <gtest/gtest.h>

#include "core/datatype.h"
#include "core/stack.h"
#include "datatypes/tuple.h"
#include "io/number_scan.h"
#include "number_calls.h"
#include "test_values.h"

namespace zel {
namespace {

using namespace number_calls;
using test_values::supported;

using TupleTest = ::testing::Test;

Cell tp(std::initializer_list<uint8_t> b) {
    Cell c;
    tuple::init_cell(&c, std::data(b), uint32_t(b.size()));
    return c;
}

TEST_F(TupleTest, BytesFillThePayloadInMemoryOrder) {
    Cell c = tp({1, 2, 3, 4, 5});
    EXPECT_EQ(c.header, uint32_t(T_TUPLE | 5u << 19));
    EXPECT_EQ(c.w1, 0x04030201u);
    EXPECT_EQ(c.w2, 0x05u);
    EXPECT_EQ(c.w3, 0u);
    Cell* top = stack::reg.top;
    EXPECT_EQ(molded(*tuple::push_words(4, 0x80FF00FFu, 0, 0)), "255.0.255.128");
    stack::reg.top = top;
    tuple::write_colour(&c, 1, 2, 3, -1);
    EXPECT_EQ(molded(c), "1.2.3");
    tuple::write_colour(&c, 1, 2, 3, 200);
    EXPECT_EQ(molded(c), "1.2.3.200");
    EXPECT_TRUE(tuple::is_all_zero(&(c = tp({0, 0, 0, 0}))));
    EXPECT_FALSE(tuple::is_all_zero(&(c = tp({0, 0, 1}))));
}

// The number scanner of conversions takes fields of any number of digits
// while their value stays within 0-255.
TEST_F(TupleTest, ScannerReadsFieldsByValue) {
    int32_t error;
    Cell t;
    lexer::scan_tuple(reinterpret_cast<const uint8_t*>("0001.02.255"), 0, 11, 1, &t, &error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(molded(t), "1.2.255");
    lexer::scan_tuple(reinterpret_cast<const uint8_t*>("1.2.0256"), 0, 8, 1, &t, &error);
    EXPECT_EQ(error, -1);
}

TEST_F(TupleTest, ActionRow) {
    EXPECT_EQ(supported(types::row(T_TUPLE)),
              (std::vector<uint32_t>{ACT_make, ACT_random, ACT_to, ACT_form, ACT_mold, ACT_eval_path, ACT_compare,
                                     ACT_add, ACT_divide, ACT_multiply, ACT_remainder, ACT_subtract, ACT_and_,
                                     ACT_complement, ACT_or_, ACT_xor_, ACT_is_length, ACT_pick,
                                     ACT_reverse}));
}

TEST_F(TupleTest, NumbersHandTheTupleOver) {
    Outcome o = arith("add", i32(300), tp({1, 2, 3}));
    ASSERT_EQ(o.code, -1);
    EXPECT_EQ(molded(o.value), "255.255.255");
    o = arith("multiply", f64(1.5), tp({1, 2, 3}));
    ASSERT_EQ(o.code, -1);
    EXPECT_EQ(molded(o.value), "1.3.4");
    for (const char* action : {"subtract", "divide"}) {
        EXPECT_EQ(arith(action, i32(1), tp({1, 2, 3})).code, code(Err::script_not_related)) << action;
        EXPECT_EQ(arith(action, f64(1), tp({1, 2, 3})).code, code(Err::script_not_related)) << action;
    }
}

}  // namespace
}  // namespace zel
