// block!: construction, append/insert/change with /part and /dup (also into
// the block itself), take, copy/deep, swap, trim, form and mold with new-line
// marks and indentation, a block that holds itself, and comparison.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "core/block.h"
#include "core/context.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/hashtable.h"
#include "core/ownership.h"
#include "core/series.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/typeset.h"
#include "test_support.h"
#include "test_values.h"

namespace zel {
namespace {

using test_values::formed;
using test_values::integer;
using test_values::ints;
using test_values::utf8_of;

using test_support::raises;

// A block of words, one per letter; a '/' before a letter sets that word's
// new-line mark.
Cell words_of(const char* spec) {
    Cell b;
    block::write_cell(&b, 4);
    bool mark = false;
    for (const char* p = spec; *p; p++) {
        if (*p == '/') {
            mark = true;
            continue;
        }
        char name[2] = {*p, 0};
        Cell* c = block::append_slot(&b);
        *c = word::intern(name);
        if (mark) c->header |= HDR_NEW_LINE;
        mark = false;
    }
    return b;
}

// A list view of a block from its head: integers as themselves, a nested
// block as 1000 + its length, anything else as -999.
std::vector<int32_t> all_values(const Cell& b) {
    std::vector<int32_t> out;
    for (uint32_t i = 0; i < block::buffer_length(&b); i++) {
        const Cell* c = block::cell_at(&b, i);
        uint32_t t = cell::type(c);
        out.push_back(t == T_INTEGER ? cell::get_int(c) : t == T_BLOCK ? 1000 + block::get_length(c) : -999);
    }
    return out;
}

std::string molded(Cell value, bool only = false, bool flat = false) {
    Cell buffer;
    string::write_cell(&buffer, 16);
    actions::mold_dispatch(&value, &buffer, only, false, flat, nullptr, INT32_MAX, 0);
    return utf8_of(buffer);
}

using BlockTest = ::testing::Test;

// ---- construction ----------------------------------------------------------------------

TEST_F(BlockTest, MakeFromCountsAndBlocks) {
    struct Case {
        Cell spec;
        uint32_t room;
    };
    Cell f;
    cell::make_float(&f, 2.7);
    const Case cases[] = {{integer(0), 1}, {integer(-5), 1}, {integer(6), 6}, {f, 2}};
    for (const Case& c : cases) {
        Cell spec = c.spec;
        Cell r = *block::make(nullptr, &spec, T_BLOCK);
        EXPECT_EQ(cell::type(&r), T_BLOCK);
        EXPECT_EQ(block::buffer_length(&r), 0u);
        EXPECT_GE(node::buffer(cell::series_node(&r))->size, c.room * sizeof(Cell));
    }
    Cell source = ints({1, 2, 3}, 1);
    Cell r = *block::make(nullptr, &source, T_PAREN);
    EXPECT_EQ(cell::type(&r), T_PAREN);
    EXPECT_EQ(all_values(r), (std::vector<int32_t>{2, 3}));
    Cell w = word::intern("x");
    EXPECT_TRUE(raises(Err::script_bad_make_arg, [&] { block::make(nullptr, &w, T_BLOCK); }));
}

TEST_F(BlockTest, ToWrapsScalarsAndListsTypesets) {
    Cell five = integer(5);
    EXPECT_EQ(all_values(*block::to(nullptr, &five, T_BLOCK)), (std::vector<int32_t>{5}));
    Cell ts;
    typeset::init_empty(&ts);
    typeset::set_bit(&ts, T_BLOCK);
    typeset::set_bit(&ts, T_INTEGER);
    Cell r = *block::to(nullptr, &ts, T_BLOCK);
    ASSERT_EQ(block::buffer_length(&r), 2u);
    EXPECT_EQ(cell::datatype_id(block::cell_at(&r, 0)), uint32_t(T_BLOCK));
    EXPECT_EQ(cell::datatype_id(block::cell_at(&r, 1)), uint32_t(T_INTEGER));
}

TEST_F(BlockTest, ToScansAString) {
    Cell text;
    string::write_cell(&text, 16);
    string::append_cstr(&text, "a [b c]");
    Cell r = *block::to(nullptr, &text, T_BLOCK);
    EXPECT_EQ(molded(r), "[a [b c]]");
    EXPECT_EQ(cell::type(block::cell_at(&r, 1)), T_BLOCK);
}

TEST_F(BlockTest, CellRoutines) {
    Cell b = ints({1, 2, 3});
    Cell late = b;
    cell::set_series_index(&late, 7);
    EXPECT_EQ(block::get_length(&late), -4);
    EXPECT_EQ(block::head_cell(&late), block::tail_cell(&b));
    EXPECT_EQ(cell::series_index(&late), 3);
    block::remove_last(&late);
    EXPECT_EQ(cell::series_index(&late), 2);
    block::truncate_at(&b, 1);
    EXPECT_EQ(all_values(b), (std::vector<int32_t>{1}));
    block::append_copy(&b, block::cell_at(&b, 0));
    block::append_copy(&b, block::cell_at(&b, 0));
    EXPECT_EQ(all_values(b), (std::vector<int32_t>{1, 1, 1}));
    cell::set_series_index(&b, 1);
    Cell nine = integer(9);
    block::insert_value(&b, &nine, false, true);
    EXPECT_EQ(cell::series_index(&b), 2);
    block::insert_value(&b, &nine, true, false);
    EXPECT_EQ(all_values(b), (std::vector<int32_t>{9, 1, 9, 1, 1}));
    Cell pushed = *block::push_new(0);
    EXPECT_EQ(cell::series_node(stack::top()), cell::series_node(&pushed));
    Cell* kid = block::append_new(&b, 3);
    EXPECT_EQ(cell::type(kid), T_BLOCK);
    EXPECT_EQ(block::buffer_length(&b), 6u);
}

TEST_F(BlockTest, InsertAtTheIndexEvenFromItself) {
    Cell b = ints({1, 2, 3}, 1);
    Cell source = b;
    cell::set_series_index(&source, 0);
    Cell after = *block::insert(&b, &source, -1, false, 1, false);
    EXPECT_EQ(all_values(b), (std::vector<int32_t>{1, 1, 2, 3, 2, 3}));
    EXPECT_EQ(cell::series_index(&after), 4);
}

TEST_F(BlockTest, SelectByWord) {
    Cell b = words_of("akbvc");
    Cell upper = word::intern("B");
    EXPECT_EQ(cell::word_symbol(block::select_word(&b, &upper, false)), symbol::intern("v"));
    EXPECT_EQ(cell::type(block::select_word(&b, &upper, true)), T_NONE);
}

// ---- append, insert, change ----------------------------------------------------------

TEST_F(BlockTest, AppendAndInsert) {
    struct Case {
        const char* name;
        int32_t index;
        Cell value;
        int32_t part;
        bool only;
        int32_t dup;
        bool append;
        std::vector<int32_t> result;
        int32_t result_index;
    };
    const Case cases[] = {
        {"append splices", 1, ints({3, 4}), -1, false, 1, true, {1, 2, 3, 4}, 0},
        {"append only", 0, ints({3, 4}), -1, true, 1, true, {1, 2, 1002}, 0},
        {"append empty", 1, ints({}), -1, false, 1, true, {1, 2}, 0},
        {"insert empty", 1, ints({}), -1, false, 1, false, {1, 2}, 1},
        {"insert splices", 1, ints({3, 4}), -1, false, 1, false, {1, 3, 4, 2}, 3},
        {"insert scalar", 0, integer(9), -1, false, 1, false, {9, 1, 2}, 1},
        {"insert part", 0, ints({3, 4}), 1, false, 1, false, {3, 1, 2}, 1},
        {"insert part beyond", 0, ints({3, 4}), 7, false, 1, false, {3, 4, 1, 2}, 2},
        {"insert dup 3", 0, ints({7, 8}), -1, false, 3, false, {7, 8, 7, 8, 7, 8, 1, 2}, 6},
        {"append dup 6", 0, integer(5), -1, false, 6, true, {1, 2, 5, 5, 5, 5, 5, 5}, 0},
        {"insert past tail", 9, integer(5), -1, false, 1, false, {1, 2, 5}, 3},
        {"insert only dup", 2, ints({3}), -1, true, 2, false, {1, 2, 1001, 1001}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cell b = ints({1, 2}, c.index);
        Cell value = c.value;
        Cell r = *block::insert(&b, &value, c.part, c.only, c.dup, c.append);
        EXPECT_EQ(all_values(b), c.result);
        EXPECT_EQ(cell::series_index(&r), c.result_index);
        EXPECT_EQ(cell::series_node(&r), cell::series_node(&b));
    }
}

TEST_F(BlockTest, InsertIntoItself) {
    // Expected lists from python3: l[:p] + l[s:] + l[p:] for l = [1, 2, 3].
    struct Case {
        int32_t position, source;
        bool append;
        std::vector<int32_t> result;
    };
    const Case cases[] = {
        {1, 0, false, {1, 1, 2, 3, 2, 3}}, {0, 1, false, {2, 3, 1, 2, 3}}, {0, 0, true, {1, 2, 3, 1, 2, 3}},
        {2, 1, false, {1, 2, 2, 3, 3}},    {3, 0, false, {1, 2, 3, 1, 2, 3}}, {0, 0, false, {1, 2, 3, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.position << " from " << c.source);
        Cell b = ints({1, 2, 3}, c.position), source = b;
        cell::set_series_index(&source, uint32_t(c.source));
        block::insert(&b, &source, -1, false, 1, c.append);
        EXPECT_EQ(all_values(b), c.result);
    }
    Cell b = ints({1, 2}), source = b;
    block::insert(&b, &source, -1, false, 3, false);
    EXPECT_EQ(all_values(b), (std::vector<int32_t>{1, 2, 1, 2, 1, 2, 1, 2}));
}

TEST_F(BlockTest, Change) {
    struct Case {
        const char* name;
        std::vector<int32_t> start;
        int32_t index;
        Cell value;
        int32_t part;
        bool only;
        int32_t dup;
        std::vector<int32_t> result;
        int32_t result_index;
    };
    const Case cases[] = {
        {"part 1 by three", {1, 2, 3}, 0, ints({7, 8, 9}), 1, false, 1, {7, 8, 9, 2, 3}, 3},
        {"one for one", {1, 2, 3}, 1, ints({7}), -1, false, 1, {1, 7, 3}, 2},
        {"at tail appends", {1, 2}, 2, integer(5), -1, false, 1, {1, 2, 5}, 3},
        {"past tail", {1, 2}, 8, integer(5), -1, false, 1, {1, 2, 5}, 3},
        {"longer than rest", {1, 2, 3}, 2, ints({7, 8, 9}), -1, false, 1, {1, 2, 7, 8, 9}, 5},
        {"part 3 by one", {1, 2, 3, 4}, 0, ints({7}), 3, false, 1, {7, 4}, 1},
        {"dup 2", {1, 2, 3, 4, 5}, 0, ints({7, 8}), -1, false, 2, {7, 8, 7, 8, 5}, 4},
        {"only", {1, 2, 3}, 0, ints({7, 8}), -1, true, 1, {1002, 2, 3}, 1},
        {"empty with part", {1, 2, 3}, 0, ints({}), 2, false, 1, {3}, 0},
        {"part beyond", {1, 2, 3}, 1, ints({7}), 9, false, 1, {1, 7}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cell b;
        block::write_cell(&b, 2);
        for (int32_t v : c.start) *block::append_slot(&b) = integer(v);
        cell::set_series_index(&b, uint32_t(c.index));
        Cell value = c.value;
        Cell r = *block::change(&b, &value, c.part, c.only, c.dup);
        EXPECT_EQ(all_values(b), c.result);
        EXPECT_EQ(cell::series_index(&r), c.result_index);
    }
}

TEST_F(BlockTest, ChangeFromItself) {
    Cell b = ints({1, 2, 3, 4}, 1), source = b;
    cell::set_series_index(&source, 0);
    block::change(&b, &source, -1, false, 1);
    // python3: l = [1, 2, 3, 4]; l[1:4] = l  ->  [1, 1, 2, 3, 4]
    EXPECT_EQ(all_values(b), (std::vector<int32_t>{1, 1, 2, 3, 4}));
    Cell c = ints({1, 2, 3, 4, 5}, 0), tail_part = c;
    cell::set_series_index(&tail_part, 3);
    block::change(&c, &tail_part, 1, false, 1);
    // python3: l = [1, 2, 3, 4, 5]; l[0:1] = l[3:]  ->  [4, 5, 2, 3, 4, 5]
    EXPECT_EQ(all_values(c), (std::vector<int32_t>{4, 5, 2, 3, 4, 5}));
}

std::vector<std::string> seen;

void record(Cell*, Cell*, const Cell*, const Cell* action, const Cell*, int32_t index, int32_t part) {
    seen.push_back(std::string(symbol::get_cstr(cell::word_symbol(action))) + " " + std::to_string(index) + " " +
                   std::to_string(part));
}

TEST_F(BlockTest, ModifyingActionsReportToTheOwner) {
    seen.clear();
    ownership::set_notifier(record);
    Cell spec = words_of("f"), field = word::intern("f");
    Node ctx = context::make(&spec, false, true, context::KIND_OBJECT);
    Cell owner{T_OBJECT, ctx, 1, 1};
    *context::owner_of(ctx) = owner;
    Cell b = ints({1, 2}, 1), two = ints({3, 4}), none = statics::none_cell, other = ints({9});
    ownership::assign(&b, &owner, &field);
    block::insert(&b, &two, -1, false, 1, false);
    block::insert(&b, &two, -1, false, 1, true);
    block::change(&b, &none, -1, false, 1);
    block::swap(&b, &other);
    block::trim(&b, false, false, false, false, false, nullptr);
    ownership::set_notifier(nullptr);
    EXPECT_EQ(seen, (std::vector<std::string>{"insert 1 2", "inserted 1 2", "append 4 2", "appended 4 2",
                                              "change 1 1", "changed 1 1", "swap 1 1", "swaped 1 1",
                                              "trim 1 5", "trimmed 1 5"}));
}

// ---- take and copy ---------------------------------------------------------------------

TEST_F(BlockTest, TakeAnswersTheCellItselfWithoutPart) {
    Cell b = ints({1, 2, 3});
    const Cell* r = block::take(&b, nullptr, false, false);
    EXPECT_EQ(cell::type(r), T_INTEGER);
    EXPECT_EQ(cell::get_int(r), 1);
    EXPECT_EQ(cell::get_int(block::take(&b, nullptr, false, true)), 3);
    Cell zero = integer(0);
    Cell empty = *block::take(&b, &zero, false, false);
    EXPECT_EQ(cell::type(&empty), T_BLOCK);
    EXPECT_EQ(block::buffer_length(&empty), 0u);
    EXPECT_EQ(all_values(b), (std::vector<int32_t>{2}));
    block::take(&b, nullptr, false, false);
    EXPECT_EQ(cell::type(block::take(&b, nullptr, false, false)), T_NONE);
}

TEST_F(BlockTest, TakeDeepCopiesNestedSeries) {
    Cell inner = ints({5}), b = ints({1});
    *block::append_slot(&b) = inner;
    Cell two = integer(2);
    Cell r = *block::take(&b, &two, true, false);
    EXPECT_NE(cell::series_node(block::cell_at(&r, 1)), cell::series_node(&inner));
    Cell c = ints({});
    *block::append_slot(&c) = inner;
    Cell one = *block::take(&c, nullptr, true, false);
    EXPECT_NE(cell::series_node(&one), cell::series_node(&inner));
    EXPECT_EQ(all_values(one), (std::vector<int32_t>{5}));
}

TEST_F(BlockTest, CopyDeepAndByTypes) {
    Cell inner = ints({5, 6}), b = ints({1});
    *block::append_slot(&b) = inner;
    block::writable_cell_at(&b, 1)->header |= HDR_NEW_LINE;
    Cell shallow = *block::copy(&b, nullptr, false, nullptr);
    EXPECT_EQ(cell::series_node(block::cell_at(&shallow, 1)), cell::series_node(&inner));
    Cell deep = *block::copy(&b, nullptr, true, nullptr);
    EXPECT_NE(cell::series_node(block::cell_at(&deep, 1)), cell::series_node(&inner));
    EXPECT_TRUE(block::cell_at(&deep, 1)->header & HDR_NEW_LINE);
    EXPECT_EQ(all_values(*block::cell_at(&deep, 1)), (std::vector<int32_t>{5, 6}));
    Cell only_strings;
    cell::make_datatype(&only_strings, T_STRING);
    Cell typed = *block::copy(&b, nullptr, false, &only_strings);
    EXPECT_EQ(cell::series_node(block::cell_at(&typed, 1)), cell::series_node(&inner));
    Cell blocks;
    typeset::init_empty(&blocks);
    typeset::set_bit(&blocks, T_BLOCK);
    typed = *block::copy(&b, nullptr, false, &blocks);
    EXPECT_NE(cell::series_node(block::cell_at(&typed, 1)), cell::series_node(&inner));
}

TEST_F(BlockTest, SelfContainingBlockMoldsAsAMarkAndRefusesDeepCopy) {
    Cell b = words_of("a");
    *block::append_slot(&b) = b;
    EXPECT_EQ(molded(b), "[a [...]]");
    EXPECT_EQ(formed(b), "a ...");
    EXPECT_TRUE(raises(Err::internal_no_cycle, [&] { block::copy(&b, nullptr, true, nullptr); }));
    Cell clone;
    EXPECT_TRUE(raises(Err::internal_no_cycle, [&] { block::clone(&b, &clone, true, false); }));
    EXPECT_EQ(molded(b), "[a [...]]");
    EXPECT_EQ(block::compare(&b, &b, actions::OP_EQUAL), 0);
}

// The positions a hash! table gives for each word follow the cells as they move.
TEST_F(BlockTest, HashTablesFollowInsertChangeAndTrim) {
    Cell h = words_of("abc");
    cell::set_type(&h, T_HASH);
    cell::set_series_extra(&h, hashtable::make(8, &h, 0, 0));
    auto position = [&](const char* name) {
        Cell w = word::intern(name);
        return hashtable::find(cell::series_extra(&h), &w, hashtable::FindOptions{false, false}, nullptr);
    };
    cell::set_series_index(&h, 1);
    Cell xy = words_of("xy");
    block::insert(&h, &xy, -1, false, 1, false);  // a x y b c
    EXPECT_EQ(position("x"), 1);
    EXPECT_EQ(position("b"), 3);
    Cell z = word::intern("z");
    cell::set_series_index(&h, 0);
    block::insert_value(&h, &z, false, false);  // z a x y b c
    EXPECT_EQ(position("c"), 5);
    Cell q = words_of("q");
    block::insert(&h, &q, -1, false, 1, false);  // q z a x y b c
    EXPECT_EQ(position("a"), 2);
    EXPECT_EQ(position("q"), 0);
    cell::set_series_index(&h, 1);
    Cell none = statics::none_cell;
    block::change(&h, &none, 3, false, 1);  // q none y b c
    EXPECT_EQ(position("x"), -1);
    EXPECT_EQ(position("b"), 3);
    block::trim(&h, false, false, false, false, false, nullptr);  // q y b c
    EXPECT_EQ(position("b"), 2);
    Cell other = words_of("m");
    cell::set_series_index(&h, 2);
    block::swap(&h, &other);  // q y m c
    EXPECT_EQ(position("m"), 2);
    EXPECT_EQ(position("b"), -1);
    Cell copy = *block::copy(&h, nullptr, false, nullptr);
    EXPECT_EQ(cell::type(&copy), T_HASH);
    Cell c = word::intern("c");
    EXPECT_EQ(hashtable::find(cell::series_extra(&copy), &c, hashtable::FindOptions{false, false}, nullptr), 1);
    EXPECT_EQ(cell::type(block::copy(&h, nullptr, true, nullptr)), T_BLOCK);
}

// ---- swap and trim -------------------------------------------------------------------

TEST_F(BlockTest, SwapAndTrim) {
    Cell a = ints({1, 2}, 1), b = ints({8, 9});
    block::swap(&a, &b);
    EXPECT_EQ(all_values(a), (std::vector<int32_t>{1, 8}));
    EXPECT_EQ(all_values(b), (std::vector<int32_t>{2, 9}));
    Cell n = integer(1);
    EXPECT_TRUE(raises(Err::script_invalid_arg, [&] { block::swap(&a, &n); }));
    Cell t = ints({1, 2, 3, 4}, 1);
    cell::make_none(block::writable_cell_at(&t, 0));
    cell::make_none(block::writable_cell_at(&t, 2));
    block::trim(&t, false, false, false, false, false, nullptr);
    EXPECT_EQ(all_values(t), (std::vector<int32_t>{-999, 2, 4}));
}

// ---- form and mold ---------------------------------------------------------------------

TEST_F(BlockTest, MoldWithNewLinesAndIndentation) {
    struct Case {
        const char* name;
        Cell value;
        bool only, flat;
        const char* text;
    };
    Cell nested = words_of("a");
    *block::append_slot(&nested) = words_of("/b");
    Cell deep = words_of("/a");
    *block::append_slot(&deep) = words_of("/bc");
    Cell inner_line = words_of("a");
    *block::append_slot(&inner_line) = words_of("b/c");
    block::writable_cell_at(&inner_line, 1)->header |= HDR_NEW_LINE;
    Cell at_index = words_of("abc");
    cell::set_series_index(&at_index, 1);
    const Case cases[] = {
        {"plain", words_of("abc"), false, false, "[a b c]"},
        {"empty", words_of(""), false, false, "[]"},
        {"at index", at_index, false, false, "[b c]"},
        {"first on new line", words_of("/ab"), false, false, "[\n    a b\n]"},
        {"second on new line", words_of("a/b"), false, false, "[a\nb]"},
        {"nested first", nested, false, false, "[a [\n    b\n]]"},
        {"nested in indented", deep, false, false, "[\n    a [\n        b c\n    ]\n]"},
        {"nested second", inner_line, false, false, "[a\n[b\nc]]"},
        {"flat", words_of("/a/b"), false, true, "[a b]"},
        {"only", words_of("/a/b"), true, false, "a\nb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(molded(c.value, c.only, c.flat), c.text);
    }
}

TEST_F(BlockTest, MoldPartLimitThroughTheEntry) {
    Cell name = word::intern("mold");
    stack::enter_native(&name);
    Cell b = words_of("abc"), limit = integer(3);
    stack::push(&b);
    stack::push(&limit);
    const int32_t refinements[] = {-1, -1, -1, 1};
    actions::mold(refinements);
    EXPECT_EQ(utf8_of(*stack::reg.base), "[a ");
}

TEST_F(BlockTest, FormSplicesNestedBlocks) {
    Cell b = words_of("a");
    *block::append_slot(&b) = words_of("bc");
    *block::append_slot(&b) = words_of("");
    *block::append_slot(&b) = word::intern("d");
    EXPECT_EQ(formed(b), "a b c  d");
    EXPECT_EQ(formed(words_of("/a/b")), "a b");
}

TEST_F(BlockTest, FormAddsNoSpaceAfterALineBreak) {
    if (!types::row(T_STRING).form) GTEST_SKIP() << "string! forms once its module registers";
    Cell b = words_of("a");
    Cell s;
    string::write_cell(&s, 8);
    string::append_cstr(&s, "x\n");
    *block::append_slot(&b) = s;
    *block::append_slot(&b) = word::intern("d");
    EXPECT_EQ(formed(b), "a x\nd");
}

// ---- comparison ------------------------------------------------------------------------

TEST_F(BlockTest, CompareLengthsFirstUnderEquality) {
    // Integers need no compare action here: unequal lengths answer at once.
    Cell two = ints({1, 2}), three = ints({1, 2, 3});
    EXPECT_EQ(block::compare(&two, &three, actions::OP_EQUAL), 1);
    EXPECT_EQ(block::compare(&two, &three, actions::OP_STRICT_EQUAL), 1);
    Cell same = two;
    EXPECT_EQ(block::compare(&two, &same, actions::OP_SAME), 0);
    Cell other = ints({1, 2});
    EXPECT_EQ(block::compare(&two, &other, actions::OP_SAME), -1);
    Cell paren = two;
    cell::set_type(&paren, T_PAREN);
    EXPECT_EQ(block::compare(&two, &paren, actions::OP_EQUAL), actions::NOT_COMPARABLE);
}

TEST_F(BlockTest, CompareOrdersByCellsThenLength) {
    struct Case {
        const char* a;
        const char* b;
        int32_t op, expected;
    };
    const Case cases[] = {
        {"ab", "ac", actions::OP_LESSER, -1}, {"ab", "abc", actions::OP_LESSER, -1},
        {"abc", "ab", actions::OP_LESSER, 1}, {"", "a", actions::OP_LESSER, -1},
        {"ab", "AB", actions::OP_EQUAL, 0},    {"ab", "ba", actions::OP_EQUAL, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " " << c.b);
        Cell a = words_of(c.a), b = words_of(c.b);
        int32_t r = block::compare(&a, &b, c.op);
        EXPECT_EQ(r < 0 ? -1 : r > 0 ? 1 : 0, c.expected);
    }
    Cell a = words_of("a"), n = ints({1});
    *block::append_slot(&a) = integer(1);
    *block::append_slot(&n) = integer(1);
    EXPECT_EQ(block::compare(&a, &n, actions::OP_LESSER), T_WORD < T_INTEGER ? -1 : 1);
}

}  // namespace
}  // namespace zel
