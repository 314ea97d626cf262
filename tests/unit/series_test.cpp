// series!: navigation and its clamping, pick and poke bounds, length of a
// value whose tail was shortened under it, take, copy/part, reverse, remove,
// move, clear and the owner notifications of the modifying actions.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/block.h"
#include "core/context.h"
#include "core/hashtable.h"
#include "core/ownership.h"
#include "core/series.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/symbol.h"
#include "core/word.h"
#include "kernel/collector.h"
#include "kernel/temp_roots.h"
#include "test_support.h"
#include "test_values.h"

namespace zel {
namespace {

using test_values::enter_call;
using test_values::integer;
using test_values::ints;
using test_values::text;
using test_values::utf8_of;

using test_support::raises;

Cell pair(int32_t x, int32_t y) { return Cell{T_PAIR, 0, uint32_t(x), uint32_t(y)}; }

// A block of words named by the letters.
Cell words_of(const char* names, int32_t index = 0) {
    Cell b;
    block::write_cell(&b, 8);
    for (const char* p = names; *p; p++) {
        char name[2] = {*p, 0};
        *block::append_slot(&b) = word::intern(name);
    }
    cell::set_series_index(&b, uint32_t(index));
    return b;
}

// The integers of a block from its index (other cells as -999).
std::vector<int32_t> values(const Cell& b) {
    std::vector<int32_t> out;
    for (uint32_t i = uint32_t(cell::series_index(&b)); i < block::buffer_length(&b); i++) {
        const Cell* c = block::cell_at(&b, i);
        out.push_back(cell::type(c) == T_INTEGER ? cell::get_int(c) : -999);
    }
    return out;
}

std::vector<int32_t> all_values(Cell b) {
    cell::set_series_index(&b, 0);
    return values(b);
}

// Runs a frame-only action on a fresh frame holding the arguments; answers
// the result slot.
Cell call(void (*action)(), std::initializer_list<Cell> args) {
    enter_call("series-test", args);
    action();
    Cell result = *stack::reg.base;
    stack::leave_reset();
    stack::reg.top = stack::reg.base;
    return result;
}

using SeriesTest = ::testing::Test;

// ---- navigation ----------------------------------------------------------------------

TEST_F(SeriesTest, AtAndSkipClampToTheBuffer) {
    struct Case {
        void (*action)();
        int32_t from, n, index;
    };
    const Case cases[] = {
        {series::at, 2, 1, 2},      {series::at, 2, 0, 2},    {series::at, 0, -1, 0},
        {series::at, 2, -1, 1},     {series::at, 0, 3, 2},    {series::at, 0, 100, 5},
        {series::skip, 0, 1000, 5}, {series::skip, 3, -10, 0}, {series::skip, 1, 2, 3},
        {series::skip, 5, 0, 5},    {series::at, 1, INT32_MIN, 0}, {series::skip, 1, INT32_MAX, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " by " << c.n);
        Cell r = call(c.action, {ints({1, 2, 3, 4, 5}, c.from), integer(c.n)});
        EXPECT_EQ(cell::series_index(&r), c.index);
    }
}

TEST_F(SeriesTest, AtAndSkipTakeOnlyIntegers) {
    Cell b = ints({1, 2, 3});
    EXPECT_TRUE(raises(Err::script_invalid_arg, [&] { call(series::at, {b, pair(1, 1)}); }));
    stack::init();
    EXPECT_TRUE(raises(Err::script_invalid_arg, [&] { call(series::skip, {b, text("1")}); }));
}

TEST_F(SeriesTest, NavigationStopsAtTheEnds) {
    struct Case {
        void (*action)();
        int32_t from;
        uint32_t type;
        int32_t value;  // the index of a block!, the truth of a logic!, the integer
    };
    const Case cases[] = {
        {series::next, 3, T_BLOCK, 3},   {series::next, 1, T_BLOCK, 2},   {series::back, 0, T_BLOCK, 0},
        {series::back, 2, T_BLOCK, 1},   {series::head, 2, T_BLOCK, 0},   {series::tail, 1, T_BLOCK, 3},
        {series::is_head, 0, T_LOGIC, 1}, {series::is_head, 1, T_LOGIC, 0}, {series::is_tail, 3, T_LOGIC, 1},
        {series::is_tail, 2, T_LOGIC, 0}, {series::is_tail, 7, T_LOGIC, 1}, {series::is_index, 2, T_INTEGER, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from);
        Cell r = call(c.action, {ints({7, 8, 9}, c.from)});
        ASSERT_EQ(cell::type(&r), c.type);
        int32_t got = c.type == T_INTEGER ? cell::get_int(&r)
                      : c.type == T_LOGIC ? int32_t(cell::get_logic(&r))
                                          : cell::series_index(&r);
        EXPECT_EQ(got, c.value);
    }
}

TEST_F(SeriesTest, LengthOfAValuePastAShortenedTail) {
    Cell b = ints({1, 2, 3, 4, 5});
    Cell late = b, cut = b;
    cell::set_series_index(&late, 4);
    cell::set_series_index(&cut, 2);
    series::clear(&cut);
    EXPECT_TRUE(series::is_at_tail(&late));
    EXPECT_EQ(series::is_length(&late), 0);
    EXPECT_EQ(cell::series_index(&late), 2);
    EXPECT_EQ(series::is_length(&b), 2);
    EXPECT_EQ(series::get_length(&late, true), 2u);
}

TEST_F(SeriesTest, StepMovesOnlyWithinTheBuffer) {
    Cell b = ints({1, 2});
    EXPECT_FALSE(series::step(&b, 1));
    EXPECT_TRUE(series::step(&b, 1));
    EXPECT_TRUE(series::step(&b, 1));
    EXPECT_EQ(cell::series_index(&b), 2);
}

// ---- pick and poke ---------------------------------------------------------------------

TEST_F(SeriesTest, PickCountsFromThePosition) {
    struct Case {
        int32_t from, n, expected;  // -1: none
    };
    const Case cases[] = {
        {0, 1, 10}, {0, 3, 30}, {0, 4, -1}, {0, 0, -1}, {0, -1, -1}, {2, -1, 20},
        {2, -2, 10}, {2, -3, -1}, {2, 1, 30}, {3, 1, -1}, {1, INT32_MAX, -1}, {1, INT32_MIN, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " pick " << c.n);
        Cell b = ints({10, 20, 30}, c.from);
        const Cell* r = series::pick(&b, c.n, nullptr);
        if (c.expected < 0) EXPECT_EQ(cell::type(r), T_NONE);
        else EXPECT_EQ(cell::get_int(r), c.expected);
    }
}

TEST_F(SeriesTest, PokeStoresInsideTheBufferOnly) {
    Cell b = ints({10, 20, 30}, 1);
    Cell v = integer(99);
    EXPECT_EQ(cell::get_int(series::poke(&b, -1, nullptr, &v)), 99);
    series::poke(&b, 2, nullptr, &v);
    EXPECT_EQ(all_values(b), (std::vector<int32_t>{99, 20, 99}));
    for (int32_t n : {0, 3, -2}) {
        SCOPED_TRACE(n);
        EXPECT_TRUE(raises(Err::script_out_of_range, [&] { series::poke(&b, n, nullptr, &v); }));
    }
}

TEST_F(SeriesTest, TextPicksAndPokesCharacters) {
    Cell s = text("abc");
    const Cell* c = series::pick(&s, 2, nullptr);
    EXPECT_EQ(cell::type(c), T_CHAR);
    EXPECT_EQ(cell::get_char(c), uint32_t('b'));
    Cell wide;
    cell::make_char(&wide, 0x3A9);
    series::poke(&s, 3, nullptr, &wide);
    EXPECT_EQ(string::char_at(&s, 2), 0x3A9u);
    EXPECT_EQ(string::char_at(&s, 0), uint32_t('a'));
    Cell n = integer(65);
    EXPECT_TRUE(raises(Err::script_invalid_arg, [&] { series::poke(&s, 1, nullptr, &n); }));
    EXPECT_EQ(string::char_at(&s, 0), uint32_t('a'));
}

// ---- take ----------------------------------------------------------------------------

TEST_F(SeriesTest, TakeVariants) {
    struct Case {
        const char* name;
        int32_t from;
        bool has_part;
        int32_t part;
        bool last;
        std::vector<int32_t> taken, left;  // taken empty with none_result: none
        bool none_result;
    };
    const Case cases[] = {
        {"first", 0, false, 0, false, {1}, {2, 3, 4, 5}, false},
        {"last", 0, false, 0, true, {5}, {1, 2, 3, 4}, false},
        {"part 2", 1, true, 2, false, {2, 3}, {1, 4, 5}, false},
        {"part capped", 3, true, 9, false, {4, 5}, {1, 2, 3}, false},
        {"part -2", 3, true, -2, false, {2, 3}, {1, 4, 5}, false},
        {"part -9 at 2", 2, true, -9, false, {1, 2}, {3, 4, 5}, false},
        {"part -1 at head", 0, true, -1, false, {}, {1, 2, 3, 4, 5}, false},
        {"part 0", 2, true, 0, false, {}, {1, 2, 3, 4, 5}, false},
        {"part 0 last", 2, true, 0, true, {}, {1, 2, 3, 4, 5}, false},
        {"last part 2", 1, true, 2, true, {4, 5}, {1, 2, 3}, false},
        {"last part -2", 3, true, -2, true, {}, {1, 2, 3, 4, 5}, false},
        {"at tail", 5, false, 0, false, {}, {1, 2, 3, 4, 5}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cell b = ints({1, 2, 3, 4, 5}, c.from);
        Cell part = integer(c.part);
        Cell r = *series::take(&b, c.has_part ? &part : nullptr, false, c.last);
        if (c.none_result) {
            EXPECT_EQ(cell::type(&r), T_NONE);
        } else {
            ASSERT_EQ(cell::type(&r), T_BLOCK);
            EXPECT_EQ(cell::series_index(&r), 0);
            EXPECT_NE(cell::series_node(&r), cell::series_node(&b));
            EXPECT_EQ(all_values(r), c.taken);
        }
        EXPECT_EQ(all_values(b), c.left);
    }
}

TEST_F(SeriesTest, TakePartBySeriesPosition) {
    Cell b = ints({1, 2, 3, 4, 5}, 1);
    Cell end = b;
    cell::set_series_index(&end, 3);
    EXPECT_EQ(all_values(*series::take(&b, &end, false, false)), (std::vector<int32_t>{2, 3}));
    Cell c = ints({1, 2, 3, 4, 5}, 1), mid = c;
    cell::set_series_index(&mid, 3);
    EXPECT_EQ(all_values(*series::take(&c, &mid, false, true)), (std::vector<int32_t>{4, 5}));
    Cell d = ints({1, 2, 3}, 2), before = d;
    cell::set_series_index(&before, 0);
    EXPECT_EQ(all_values(*series::take(&d, &before, false, false)), (std::vector<int32_t>{}));
    Cell other = ints({1});
    EXPECT_TRUE(raises(Err::script_invalid_refine_arg, [&] { series::take(&d, &other, false, false); }));
    Cell w = word::intern("x");
    EXPECT_TRUE(raises(Err::script_invalid_refine_arg, [&] { series::take(&d, &w, false, false); }));
    EXPECT_EQ(all_values(d), (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(SeriesTest, TakeOfTextKeepsItsWidth) {
    Cell s = text("xyz");
    Cell wide;
    cell::make_char(&wide, 0x20AC);
    series::poke(&s, 2, nullptr, &wide);
    Cell part = integer(2);
    Cell r = *series::take(&s, &part, false, false);
    EXPECT_EQ(cell::type(&r), T_STRING);
    EXPECT_EQ(string::char_at(&r, 1), 0x20ACu);
    EXPECT_EQ(utf8_of(s), "z");
}

// ---- copy ------------------------------------------------------------------------------

TEST_F(SeriesTest, CopyPartWithCountsPairsAndPositions) {
    struct Case {
        const char* name;
        int32_t from;
        Cell part;
        std::vector<int32_t> copied;
    };
    const Case cases[] = {
        {"pair 2x5", 0, pair(2, 5), {2, 3, 4}},
        {"pair from index", 1, pair(1, 3), {2, 3}},
        {"pair y below x", 0, pair(4, 2), {}},
        {"pair negative x", 3, pair(-2, 0), {2, 3}},
        {"pair past tail", 0, pair(9, 12), {}},
        {"count", 1, integer(2), {2, 3}},
        {"count capped", 3, integer(10), {4, 5, 6}},
        {"-2", 3, integer(-2), {2, 3}},
        {"-10 at 2", 2, integer(-10), {1, 2}},
        {"zero", 2, integer(0), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cell b = ints({1, 2, 3, 4, 5, 6}, c.from);
        Cell part = c.part;
        Cell r = *series::copy(&b, &part, false, nullptr);
        EXPECT_EQ(cell::series_index(&r), 0);
        EXPECT_EQ(all_values(r), c.copied);
        EXPECT_EQ(all_values(b), (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
    }
}

TEST_F(SeriesTest, CopyKeepsTheNewLineMarkAndDropsTheOwnerFlag) {
    Cell b = ints({1, 2, 3}, 1);
    b.header |= HDR_NEW_LINE;
    node::buffer(cell::series_node(&b))->flags |= SER_OWNED;
    Cell end = b;
    cell::set_series_index(&end, 3);
    Cell r = *series::copy(&b, &end, false, nullptr);
    EXPECT_TRUE(r.header & HDR_NEW_LINE);
    EXPECT_FALSE(node::buffer(cell::series_node(&r))->flags & SER_OWNED);
    EXPECT_EQ(all_values(r), (std::vector<int32_t>{2, 3}));
    node::buffer(cell::series_node(&b))->flags &= ~SER_OWNED;
    Cell past = ints({1, 2});
    Cell cut = past;
    cell::set_series_index(&past, 2);
    cell::set_series_index(&cut, 0);
    series::clear(&cut);
    EXPECT_EQ(all_values(*series::copy(&past, nullptr, false, nullptr)), (std::vector<int32_t>{}));
}

// ---- reverse and remove ---------------------------------------------------------------

TEST_F(SeriesTest, ReverseWithPartAndSkip) {
    struct Case {
        const char* name;
        std::vector<int32_t> start;
        int32_t from;
        int32_t part, skip;  // 0: refinement absent
        std::vector<int32_t> result;
    };
    const Case cases[] = {
        {"all", {1, 2, 3, 4, 5}, 0, 0, 0, {5, 4, 3, 2, 1}},
        {"from 1", {1, 2, 3, 4, 5}, 1, 0, 0, {1, 5, 4, 3, 2}},
        {"part 3", {1, 2, 3, 4, 5}, 0, 3, 0, {3, 2, 1, 4, 5}},
        {"part -2", {1, 2, 3, 4, 5}, 0, -2, 0, {1, 2, 3, 4, 5}},
        {"skip 2 of six", {1, 2, 3, 4, 5, 6}, 0, 0, 2, {5, 6, 3, 4, 1, 2}},
        {"skip equal to count", {1, 2, 3}, 0, 0, 3, {1, 2, 3}},
        {"part 4 skip 2", {1, 2, 3, 4, 5, 6}, 1, 4, 2, {1, 4, 5, 2, 3, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cell b;
        block::write_cell(&b, 8);
        for (int32_t v : c.start) *block::append_slot(&b) = integer(v);
        cell::set_series_index(&b, uint32_t(c.from));
        Cell part = integer(c.part), skip = integer(c.skip);
        Cell r = *series::reverse(&b, c.part ? &part : nullptr, c.skip ? &skip : nullptr);
        EXPECT_EQ(cell::series_index(&r), c.from);
        EXPECT_EQ(all_values(b), c.result);
    }
}

TEST_F(SeriesTest, ReverseRejectsBadSkips) {
    Cell five = ints({1, 2, 3, 4, 5});
    Cell two = integer(2), zero = integer(0), w = word::intern("x");
    EXPECT_TRUE(raises(Err::script_invalid_refine_arg, [&] { series::reverse(&five, nullptr, &two); }));
    EXPECT_TRUE(raises(Err::script_out_of_range, [&] { series::reverse(&five, nullptr, &zero); }));
    EXPECT_TRUE(raises(Err::script_invalid_refine_arg, [&] { series::reverse(&five, nullptr, &w); }));
    EXPECT_TRUE(raises(Err::script_invalid_refine_arg, [&] { series::reverse(&five, &w, nullptr); }));
    EXPECT_EQ(all_values(five), (std::vector<int32_t>{1, 2, 3, 4, 5}));
}

TEST_F(SeriesTest, RemoveWithPart) {
    struct Case {
        int32_t from;
        Cell part;
        bool has_part;
        std::vector<int32_t> left;
    };
    const Case cases[] = {
        {0, {}, false, {2, 3, 4}}, {3, {}, false, {1, 2, 3}},      {4, {}, false, {1, 2, 3, 4}},
        {1, integer(2), true, {1, 4}}, {1, integer(0), true, {1, 2, 3, 4}}, {1, integer(-1), true, {1, 2, 3, 4}},
        {2, integer(99), true, {1, 2}},
    };
    for (const Case& c : cases) {
        Cell b = ints({1, 2, 3, 4}, c.from);
        Cell part = c.part;
        Cell r = *series::remove(&b, c.has_part ? &part : nullptr, nullptr);
        EXPECT_EQ(cell::series_index(&r), c.from);
        EXPECT_EQ(all_values(b), c.left);
    }
    Cell b = ints({1, 2, 3, 4}, 1), end = b;
    cell::set_series_index(&end, 3);
    series::remove(&b, &end, nullptr);
    EXPECT_EQ(all_values(b), (std::vector<int32_t>{1, 4}));
}

TEST_F(SeriesTest, RemoveKeyTakesTheKeyAndItsValue) {
    Cell b = words_of("akbvc");
    Cell key = word::intern("b");
    Cell r = *series::remove(&b, nullptr, &key);
    EXPECT_EQ(cell::series_index(&r), 2);
    EXPECT_EQ(block::buffer_length(&b), 3u);
    EXPECT_EQ(cell::word_symbol(block::cell_at(&b, 2)), symbol::intern("c"));
    Cell absent = word::intern("zz");
    EXPECT_EQ(cell::type(series::remove(&b, nullptr, &absent)), T_NONE);
    EXPECT_EQ(block::buffer_length(&b), 3u);
}

TEST_F(SeriesTest, ClearCutsAtThePosition) {
    Cell b = ints({1, 2, 3}, 1);
    series::clear(&b);
    EXPECT_EQ(all_values(b), (std::vector<int32_t>{1}));
    Cell past = b;
    cell::set_series_index(&past, 5);
    series::clear(&past);
    EXPECT_EQ(all_values(b), (std::vector<int32_t>{1}));
}

// ---- move ------------------------------------------------------------------------------

TEST_F(SeriesTest, MoveWithinOneBuffer) {
    struct Case {
        int32_t from, to, part;
        std::vector<int32_t> result;
    };
    // The moved run lands before the cell that was at the target position.
    const Case cases[] = {
        {0, 3, 1, {2, 3, 1, 4, 5}}, {0, 5, 2, {3, 4, 5, 1, 2}}, {3, 0, 2, {4, 5, 1, 2, 3}},
        {1, 2, 1, {1, 2, 3, 4, 5}}, {1, 1, 3, {1, 2, 3, 4, 5}}, {2, 1, 1, {1, 3, 2, 4, 5}},
        {1, 4, 9, {1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " to " << c.to);
        Cell b = ints({1, 2, 3, 4, 5}, c.from), target = b;
        cell::set_series_index(&target, uint32_t(c.to));
        Cell part = integer(c.part);
        Cell r = *series::move(&b, &target, &part);
        EXPECT_EQ(cell::series_index(&r), c.to);
        EXPECT_EQ(all_values(b), c.result);
    }
}

TEST_F(SeriesTest, MoveBetweenBuffers) {
    Cell a = ints({1, 2, 3, 4}, 1), b = ints({7, 8}, 1);
    Cell part = integer(2);
    series::move(&a, &b, &part);
    EXPECT_EQ(all_values(a), (std::vector<int32_t>{1, 4}));
    EXPECT_EQ(all_values(b), (std::vector<int32_t>{7, 2, 3, 8}));
    Cell s = text("hello"), t = text("");
    series::move(&s, &t, &part);
    EXPECT_EQ(utf8_of(s), "llo");
    EXPECT_EQ(utf8_of(t), "he");
    EXPECT_TRUE(raises(Err::script_move_bad, [&] { series::move(&a, &s, nullptr); }));
    Cell n = integer(3);
    EXPECT_TRUE(raises(Err::script_expect_arg, [&] { series::move(&a, &n, nullptr); }));
    EXPECT_EQ(all_values(a), (std::vector<int32_t>{1, 4}));
}

// ---- packed series and hash! tables ----------------------------------------------------

TEST_F(SeriesTest, VectorAndBinaryElements) {
    Cell v;
    cell::make_series(&v, T_VECTOR, series::new_units(4, 2));
    cell::set_series_extra(&v, T_INTEGER);
    const uint8_t raw[] = {0x34, 0x12, 0xFE, 0xFF};  // 0x1234, -2 little-endian
    std::memcpy(series::reserve(series::buffer_of(&v), 4), raw, 4);
    EXPECT_EQ(cell::get_int(series::pick(&v, 1, nullptr)), 0x1234);
    EXPECT_EQ(cell::get_int(series::pick(&v, 2, nullptr)), -2);
    Cell n = integer(0x12345);
    series::poke(&v, 1, nullptr, &n);
    EXPECT_EQ(cell::get_int(series::pick(&v, 1, nullptr)), 0x2345);
    Cell f;
    cell::make_float(&f, 1.5);
    EXPECT_TRUE(raises(Err::script_invalid_arg, [&] { series::poke(&v, 1, nullptr, &f); }));
    Cell part = integer(1);
    Cell taken = *series::take(&v, &part, false, true);
    EXPECT_EQ(cell::type(&taken), T_VECTOR);
    EXPECT_EQ(cell::series_extra(&taken), uint32_t(T_INTEGER));
    EXPECT_EQ(cell::get_int(series::pick(&taken, 1, nullptr)), -2);

    Cell b;
    cell::make_series(&b, T_BINARY, series::new_bytes(4));
    *series::reserve(series::buffer_of(&b), 1) = 0xC8;
    EXPECT_EQ(cell::get_int(series::pick(&b, 1, nullptr)), 200);
    Cell ch;
    cell::make_char(&ch, 'A');
    series::poke(&b, 1, nullptr, &ch);
    EXPECT_EQ(cell::get_int(series::pick(&b, 1, nullptr)), 65);
    Cell w = word::intern("x");
    EXPECT_TRUE(raises(Err::script_invalid_arg, [&] { series::poke(&b, 1, nullptr, &w); }));
}

// The positions a hash! table gives for each word follow the cells as they move.
TEST_F(SeriesTest, HashTablesFollowTheCells) {
    Cell h = words_of("abcdef");
    cell::set_type(&h, T_HASH);
    cell::set_series_extra(&h, hashtable::make(8, &h, 0, 0));
    auto position = [&](const char* name) {
        Cell w = word::intern(name);
        return hashtable::find(cell::series_extra(&h), &w, hashtable::FindOptions{false, false}, nullptr);
    };
    Cell two = integer(2);
    cell::set_series_index(&h, 1);
    series::remove(&h, &two, nullptr);  // a d e f
    EXPECT_EQ(position("d"), 1);
    EXPECT_EQ(position("b"), -1);
    cell::set_series_index(&h, 0);
    series::reverse(&h, nullptr, nullptr);  // f e d a
    EXPECT_EQ(position("f"), 0);
    EXPECT_EQ(position("a"), 3);
    Cell z = word::intern("z");
    series::poke(&h, 2, nullptr, &z);  // f z d a
    EXPECT_EQ(position("z"), 1);
    EXPECT_EQ(position("e"), -1);
    Cell target = h;
    cell::set_series_index(&target, 4);
    series::move(&h, &target, nullptr);  // z d a f
    EXPECT_EQ(position("f"), 3);
    EXPECT_EQ(position("z"), 0);
    cell::set_series_index(&h, 1);
    Cell taken = *series::take(&h, &two, false, false);  // z f
    EXPECT_EQ(position("f"), 1);
    EXPECT_EQ(cell::type(&taken), T_HASH);
    Cell a = word::intern("a");
    EXPECT_EQ(hashtable::find(cell::series_extra(&taken), &a, hashtable::FindOptions{false, false}, nullptr), 1);
    cell::set_series_index(&h, 1);
    series::clear(&h);
    EXPECT_EQ(position("f"), -1);
    EXPECT_EQ(position("z"), 0);
}

// take's carrier buffer lives outside the frames; a collection keeps it.
TEST_F(SeriesTest, TakeCarrierSurvivesACollection) {
    Cell b = ints({1, 2, 3});
    temp_roots::Hold hold(&b);
    EXPECT_EQ(cell::get_int(block::take(&b, nullptr, false, false)), 1);
    collector::collect();
    EXPECT_EQ(cell::get_int(block::take(&b, nullptr, false, false)), 2);
    EXPECT_EQ(all_values(b), (std::vector<int32_t>{3}));
}

// ---- owner notifications ---------------------------------------------------------------

std::vector<std::string> notices;

void record(Cell*, Cell*, const Cell*, const Cell* action, const Cell*, int32_t index, int32_t part) {
    notices.push_back(std::string(symbol::get_cstr(cell::word_symbol(action))) + " " + std::to_string(index) + " " +
                      std::to_string(part));
}

Cell owner_object() {
    Cell spec = words_of("f");
    Node ctx = context::make(&spec, false, true, context::KIND_OBJECT);
    Cell o{T_OBJECT, ctx, 1, 1};
    *context::owner_of(ctx) = o;
    return o;
}

struct SeriesOwnerTest : SeriesTest {
    void SetUp() override {
        notices.clear();
        ownership::set_notifier(record);
    }
};

TEST_F(SeriesOwnerTest, ModifyingActionsNotifyBeforeAndAfter) {
    Cell owner = owner_object(), field = word::intern("f");
    Cell b = ints({1, 2, 3, 4, 5, 6});
    ownership::assign(&b, &owner, &field);
    Cell v = integer(0), two = integer(2);
    cell::set_series_index(&b, 1);
    series::poke(&b, 1, nullptr, &v);
    series::remove(&b, &two, nullptr);
    series::reverse(&b, nullptr, nullptr);
    series::take(&b, nullptr, false, true);
    Cell target = b;
    cell::set_series_index(&target, 0);
    series::move(&b, &target, nullptr);
    series::clear(&b);
    EXPECT_EQ(notices, (std::vector<std::string>{"poke 1 1", "poked 1 1", "remove 1 2", "removed 1 2",
                                                 "reverse 1 3", "reversed 1 3", "take 3 1", "taken 3 1",
                                                 "move 1 1", "moved 1 1", "clear 1 2", "cleared 1 2"}));
    Cell free_block = ints({1, 2});
    notices.clear();
    series::clear(&free_block);
    EXPECT_TRUE(notices.empty());
}

TEST_F(SeriesOwnerTest, ReflectAndModifyTheOwner) {
    Cell owner = owner_object(), field = word::intern("f");
    Cell b = ints({1});
    EXPECT_EQ(cell::type(series::reflect(&b, symbol::intern("owned"))), T_NONE);
    Cell spec;
    block::write_cell(&spec, 2);
    *block::append_slot(&spec) = owner;
    *block::append_slot(&spec) = field;
    Cell owned = word::intern("owned");
    series::modify(&b, &owned, &spec);
    const Cell* r = series::reflect(&b, symbol::intern("owned"));
    EXPECT_EQ(cell::type(r), T_OBJECT);
    EXPECT_EQ(cell::object_context(r), cell::object_context(&owner));
    Cell none = statics::none_cell;
    series::modify(&b, &owned, &none);
    EXPECT_EQ(cell::type(series::reflect(&b, symbol::intern("owned"))), T_NONE);
    EXPECT_TRUE(raises(Err::internal_not_done, [&] { series::reflect(&b, symbol::intern("size")); }));
}

}  // namespace
}  // namespace zel
