// unset!, none! and logic!: the static cells, the truth tests, and the actions
// as registered in the rows of the three types.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/datatype.h"
#include "core/logic.h"
#include "core/string.h"
#include "kernel/fail.h"
#include "kernel/runtime.h"
#include "test_support.h"
#include "test_values.h"

using namespace zel;

namespace {

using test_values::integer;
using test_values::logic;
using test_values::none;
using test_values::supported;
using test_values::unset;
using test_values::utf8_of;

using LogicTest = ::testing::Test;

Cell number(uint32_t type, double d) {
    Cell c;
    cell::make_float(&c, d);
    cell::set_type(&c, type);
    return c;
}

// Runs f, which must raise the language error id.
template <class F>
void expect_error(F f, const char* id) {
    EXPECT_THROW(f(), Throw);
    EXPECT_STREQ(fail::last_id(), id);
}

TEST_F(LogicTest, StaticCellsHoldTheirValues) {
    EXPECT_EQ(statics::unset_cell.header, uint32_t(T_UNSET));
    EXPECT_EQ(statics::none_cell.header, uint32_t(T_NONE));
    EXPECT_EQ(statics::true_cell.header, uint32_t(T_LOGIC));
    EXPECT_TRUE(cell::get_logic(&statics::true_cell));
    EXPECT_EQ(statics::false_cell.header, uint32_t(T_LOGIC));
    EXPECT_FALSE(cell::get_logic(&statics::false_cell));
}

TEST_F(LogicTest, RowsHoldTheActionsOfEachType) {
    using V = std::vector<uint32_t>;
    EXPECT_EQ(supported(types::row(T_UNSET)), (V{ACT_make, ACT_to, ACT_form, ACT_mold, ACT_compare}));
    EXPECT_EQ(supported(types::row(T_NONE)),
              (V{ACT_make, ACT_to, ACT_form, ACT_mold, ACT_compare, ACT_clear, ACT_find, ACT_is_length, ACT_remove,
                 ACT_select, ACT_take}));
    EXPECT_EQ(supported(types::row(T_LOGIC)),
              (V{ACT_make, ACT_random, ACT_to, ACT_form, ACT_mold, ACT_compare, ACT_and_, ACT_complement, ACT_or_,
                 ACT_xor_}));
}

TEST_F(LogicTest, OnlyNoneAndFalseAreFalse) {
    struct Case {
        Cell value;
        bool truthy;
    };
    const Case cases[] = {{none(), false},     {logic(false), false}, {logic(true), true},
                          {unset(), true},     {integer(0), true},    {number(T_FLOAT, 0.0), true}};
    for (const Case& c : cases) {
        EXPECT_EQ(logic::is_truthy(&c.value), c.truthy) << c.value.header;
        EXPECT_EQ(logic::check_type(&c.value, false), c.truthy);
        EXPECT_EQ(logic::is_result_false(&c.value), !c.truthy);
        if (cell::type(&c.value) != T_UNSET) {
            EXPECT_EQ(logic::check_type(&c.value, true), c.truthy);
            EXPECT_EQ(logic::check_condition(&c.value), c.truthy);
        }
    }
}

TEST_F(LogicTest, UnsetConditionsRaise) {
    Cell u = unset();
    expect_error([&] { logic::check_type(&u, true); }, "no-value");
    expect_error([&] { logic::check_condition(&u); }, "no-return");
}

TEST_F(LogicTest, MakeTakesNumbersByValueAndToTakesTruth) {
    Cell proto;
    cell::make_datatype(&proto, T_LOGIC);
    struct Case {
        Cell spec;
        bool made, converted;
    };
    const Case cases[] = {
        {integer(0), false, true},          {integer(2), true, true},
        {integer(-1), true, true},          {number(T_FLOAT, 0.0), false, true},
        {number(T_FLOAT, -0.0), false, true}, {number(T_FLOAT, NAN), true, true},
        {number(T_PERCENT, 0.5), true, true}, {none(), false, false},
        {logic(false), false, false},       {logic(true), true, true},
        {unset(), true, true},
    };
    const ActionRow& row = types::row(T_LOGIC);
    for (Case c : cases) {
        EXPECT_EQ(row.make(&proto, &c.spec, T_LOGIC), c.made ? &statics::true_cell : &statics::false_cell)
            << c.spec.header;
        EXPECT_EQ(row.to(&proto, &c.spec, T_LOGIC), c.converted ? &statics::true_cell : &statics::false_cell)
            << c.spec.header;
    }
}

TEST_F(LogicTest, UnsetAndNoneMakeThemselves) {
    Cell proto, spec = integer(5);
    EXPECT_EQ(types::row(T_UNSET).make(&proto, &spec, T_UNSET), &statics::unset_cell);
    EXPECT_EQ(types::row(T_UNSET).to(&proto, &spec, T_UNSET), &statics::unset_cell);
    EXPECT_EQ(types::row(T_NONE).make(&proto, &spec, T_NONE), &statics::none_cell);
    EXPECT_EQ(types::row(T_NONE).to(&proto, &spec, T_NONE), &statics::none_cell);
}

TEST_F(LogicTest, FormAndMoldText) {
    struct Case {
        Cell value;
        const char *form, *mold, *mold_all;
    };
    const Case cases[] = {{unset(), "", "unset", "#(unset)"},
                          {none(), "none", "none", "#(none)"},
                          {logic(true), "true", "true", "#(true)"},
                          {logic(false), "false", "false", "#(false)"}};
    for (Case c : cases) {
        const ActionRow& row = types::row(cell::type(&c.value));
        Cell formed, molded, molded_all;
        string::write_cell(&formed, 16);
        string::write_cell(&molded, 16);
        string::write_cell(&molded_all, 16);
        EXPECT_EQ(row.form(&c.value, &formed, nullptr, 50), 50 - int32_t(std::strlen(c.form)));
        EXPECT_EQ(row.mold(&c.value, &molded, false, false, false, nullptr, 50, 0), 50 - int32_t(std::strlen(c.mold)));
        EXPECT_EQ(row.mold(&c.value, &molded_all, false, true, false, nullptr, 50, 0),
                  50 - int32_t(std::strlen(c.mold_all)));
        EXPECT_EQ(utf8_of(&formed), c.form);
        EXPECT_EQ(utf8_of(&molded), c.mold);
        EXPECT_EQ(utf8_of(&molded_all), c.mold_all);
    }
}

TEST_F(LogicTest, CompareOrdersFalseBeforeTrueUnderEqualityAndSortOps) {
    struct Case {
        Cell a, b;
        int32_t op, answer;
    };
    const Case cases[] = {
        {logic(true), logic(false), 0, 1},  {logic(true), logic(false), 7, 1}, {logic(false), logic(true), 8, -1},
        {logic(true), logic(true), 2, 0},   {logic(true), logic(false), 12, 1}, {logic(true), logic(false), 5, -2},
        {logic(true), logic(false), 3, -2}, {logic(true), none(), 0, -2},      {logic(true), integer(1), 0, -2},
        {unset(), unset(), 0, 0},           {unset(), unset(), 9, 0},          {unset(), unset(), 4, -2},
        {unset(), none(), 0, -2},           {none(), none(), 1, 0},            {none(), none(), 8, 0},
        {none(), none(), 6, -2},            {none(), logic(false), 0, -2},
    };
    for (Case c : cases)
        EXPECT_EQ(types::row(cell::type(&c.a)).compare(&c.a, &c.b, c.op), c.answer)
            << cell::type(&c.a) << " op " << c.op;
}

TEST_F(LogicTest, ComplementAndBitwise) {
    Cell t = logic(true), f = logic(false);
    EXPECT_EQ(types::row(T_LOGIC).complement(&t), &statics::false_cell);
    EXPECT_EQ(types::row(T_LOGIC).complement(&f), &statics::true_cell);
    struct Case {
        bool a, b;
        logic::Bitwise op;
        bool result;
    };
    const Case cases[] = {{true, true, logic::BIT_AND, true},  {true, false, logic::BIT_AND, false},
                          {false, false, logic::BIT_OR, false}, {true, false, logic::BIT_OR, true},
                          {true, true, logic::BIT_XOR, false}, {false, true, logic::BIT_XOR, true}};
    for (const Case& c : cases) {
        Cell left = logic(c.a), right = logic(c.b);
        logic::bitwise(&left, &right, c.op);
        EXPECT_EQ(left.header, uint32_t(T_LOGIC));
        EXPECT_EQ(cell::get_logic(&left), c.result != 0);
    }
    Cell left = logic(true), one = integer(1);
    EXPECT_TRUE(test_support::raises(Err::script_expect_arg, [&] { logic::bitwise(&left, &one, logic::BIT_AND); }));
    EXPECT_TRUE(cell::get_logic(&left));
}

TEST_F(LogicTest, NoneAnswersNoneToSeriesActions) {
    Cell n = none(), value = integer(1);
    const ActionRow& row = types::row(T_NONE);
    EXPECT_EQ(row.clear(&n), &statics::none_cell);
    EXPECT_EQ(row.find(&n, &value, nullptr, false, false, false, false, nullptr, nullptr, false, false, false, false),
              &statics::none_cell);
    EXPECT_EQ(row.select(&n, &value, nullptr, false, false, false, false, nullptr, nullptr, false, false),
              &statics::none_cell);
    EXPECT_EQ(row.remove(&n, nullptr, nullptr), &statics::none_cell);
    EXPECT_EQ(row.take(&n, nullptr, false, false), &statics::none_cell);
    EXPECT_EQ(row.is_length(&n), -1);
}

TEST_F(LogicTest, AppendNewAddsValuesToABlock) {
    Cell block;
    cell::make_series(&block, T_BLOCK, series::new_cells(1));
    unset::append_new(&block);
    none::append_new(&block);
    logic::append_new(&block, true);
    logic::append_new(&block, false);
    SeriesBuffer* b = node::buffer(cell::series_node(&block));
    ASSERT_EQ(series::length(b), 4u);
    const Cell* c = series::cells(b);
    EXPECT_EQ(c[0].header, uint32_t(T_UNSET));
    EXPECT_EQ(c[1].header, uint32_t(T_NONE));
    EXPECT_TRUE(cell::get_logic(&c[2]));
    EXPECT_FALSE(cell::get_logic(&c[3]));
    EXPECT_EQ(c[3].header, uint32_t(T_LOGIC));
}

}  // namespace
