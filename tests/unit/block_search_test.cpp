// block! find, select, put, the path step, sort and the set operations.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/block.h"
#include "core/block_search.h"
#include "core/context.h"
#include "core/exits.h"
#include "core/hashtable.h"
#include "core/ownership.h"
#include "core/raise.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/error_ids.h"
#include "datatypes/typeset.h"
#include "kernel/collector.h"
#include "kernel/temp_roots.h"
#include "test_support.h"
#include "test_values.h"

using namespace zel;
using test_support::raises;

namespace {

using test_values::integer;
using test_values::ints;
using test_values::run;

Cell block_of(const std::vector<Cell>& cells, int32_t index = 0) {
    Cell b;
    block::write_cell(&b, int32_t(cells.size()));
    for (const Cell& c : cells) block::append_copy(&b, &c);
    cell::set_series_index(&b, uint32_t(index));
    return b;
}

Cell words_of(const std::vector<const char*>& names, int32_t index = 0) {
    std::vector<Cell> cells;
    for (const char* n : names) cells.push_back(word::intern(n));
    return block_of(cells, index);
}

// The integers of the whole buffer.
std::vector<int32_t> values(const Cell& b) {
    std::vector<int32_t> out;
    for (uint32_t i = 0; i < block::buffer_length(&b); i++) out.push_back(cell::get_int(block::cell_at(&b, i)));
    return out;
}

std::string spelled(const Cell& b) {
    std::string out;
    for (uint32_t i = 0; i < block::buffer_length(&b); i++) {
        if (i) out += ' ';
        out += symbol::get_cstr(cell::word_symbol(block::cell_at(&b, i)));
    }
    return out;
}

std::string joined(const std::vector<int32_t>& v) {
    std::ostringstream s;
    for (size_t i = 0; i < v.size(); i++) s << (i ? " " : "") << v[i];
    return s.str();
}

std::string python_list(const std::vector<int32_t>& v) {
    std::ostringstream s;
    s << '[';
    for (int32_t x : v) s << x << ',';
    s << ']';
    return s.str();
}

// What python3 prints for the program (one line, the trailing new line cut).
std::string python(const std::string& program) {
    std::string out = run("python3 -c '" + program + "'");
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

std::vector<int32_t> random_ints(uint32_t seed, size_t n, int32_t range) {
    std::mt19937 gen(seed);
    std::vector<int32_t> v;
    for (size_t i = 0; i < n; i++) v.push_back(int32_t(gen() % uint32_t(range)));
    return v;
}

// The index a find answered, -1 for none.
int32_t index_of(const Cell* r) { return cell::type(r) == T_NONE ? -1 : cell::series_index(r); }

struct Refinements {
    Cell* part = nullptr;
    bool only = false, case_ = false, same = false;
    Cell* skip = nullptr;
    bool last = false, reverse = false, tail = false, match = false;
};

const Cell* find(Cell series, Cell value, const Refinements& r = {}) {
    static Cell copy;
    copy = series;
    return block::find(&copy, &value, r.part, r.only, r.case_, r.same, false, nullptr, r.skip, r.last, r.reverse,
                       r.tail, r.match);
}

const Cell* select(Cell series, Cell value, const Refinements& r = {}) {
    return block::select(&series, &value, r.part, r.only, r.case_, r.same, false, nullptr, r.skip, r.last,
                         r.reverse);
}

// ---- find ---------------------------------------------------------------------------------

TEST(BlockSearchTest, FindInAnIntegerBlock) {
    const std::vector<int32_t> data = {1, 2, 3, 2, 1, 4};
    Cell two = integer(2), three = integer(3);
    struct Case {
        const char* what;
        int32_t index;
        Cell value;
        Refinements r;
        int32_t expected;
    } cases[] = {
        {"first match", 0, integer(2), {}, 1},
        {"from the index on", 2, integer(2), {}, 3},
        {"missing", 0, integer(9), {}, -1},
        {"at the tail", 6, integer(2), {}, -1},
        {"reverse at the tail finds the last before it", 6, integer(2), {.reverse = true}, 3},
        {"reverse from the middle", 3, integer(2), {.reverse = true}, 1},
        {"reverse at the head", 0, integer(1), {.reverse = true}, -1},
        {"last answers the later occurrence", 0, integer(2), {.last = true}, 3},
        {"last of the first value", 0, integer(1), {.last = true}, 4},
        {"tail answers the cell after", 0, integer(2), {.tail = true}, 2},
        {"last with tail", 0, integer(2), {.last = true, .tail = true}, 4},
        {"last looks from the index on only", 4, integer(2), {.last = true}, -1},
        {"last within the part", 0, integer(2), {.part = &three, .last = true}, 1},
        {"reverse part counts the cells before", 3, integer(1), {.part = &two, .reverse = true}, -1},
        {"reverse part reaching the match", 3, integer(2), {.part = &two, .reverse = true}, 1},
        {"skip looks at keys only", 0, integer(2), {.skip = &two}, -1},
        {"skip finds a key", 0, integer(3), {.skip = &two}, 2},
        {"skip from an odd index", 1, integer(4), {.skip = &two}, 5},
        {"skip with tail passes the record", 0, integer(3), {.skip = &two, .tail = true}, 4},
        {"match at the position", 0, integer(1), {.match = true}, 0},
        {"match looks at one cell only", 0, integer(2), {.match = true}, -1},
        {"match from the index", 1, integer(2), {.match = true}, 1},
        {"match with tail", 1, integer(2), {.tail = true, .match = true}, 2},
        {"part limits the cells searched", 0, integer(3), {.part = &two}, -1},
        {"part reaching the match", 0, integer(3), {.part = &three}, 2},
        {"sequence", 0, ints({2, 1}), {}, 3},
        {"sequence at the start", 0, ints({1, 2, 3}), {}, 0},
        {"sequence from its index", 0, ints({9, 2, 1}, 1), {}, 3},
        {"sequence running past the tail", 0, ints({4, 5}), {}, -1},
        {"sequence with tail", 0, ints({2, 1}), {.tail = true}, 5},
        {"sequence last", 0, ints({2, 3}), {.last = true}, 1},
        {"sequence reverse from the tail", 6, ints({2, 1}), {.reverse = true}, 3},
        {"datatype", 0, {T_DATATYPE, T_INTEGER, 0, 0}, {}, 0},
        {"datatype not present", 0, {T_DATATYPE, T_WORD, 0, 0}, {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(index_of(find(ints(data, c.index), c.value, c.r)), c.expected);
    }
}

TEST(BlockSearchTest, FindTellsASequenceFromANestedBlock) {
    Cell inner = words_of({"b", "c"});
    Cell b = block_of({word::intern("a"), inner, word::intern("b"), word::intern("c"), integer(7)});
    EXPECT_EQ(index_of(find(b, inner)), 2);
    EXPECT_EQ(index_of(find(b, inner, {.only = true})), 1);
    EXPECT_EQ(index_of(find(b, {T_DATATYPE, T_BLOCK, 0, 0})), 1);
    Cell words;
    typeset::init_empty(&words);
    typeset::set_bit(&words, T_INTEGER);
    EXPECT_EQ(index_of(find(b, words)), 4);
}

TEST(BlockSearchTest, FindCaseAndSame) {
    Cell b = words_of({"a", "B", "b"});
    EXPECT_EQ(index_of(find(b, word::intern("b"))), 1);
    EXPECT_EQ(index_of(find(b, word::intern("b"), {.case_ = true})), 2);
    Cell inner = ints({1});
    Cell twin = ints({1});
    Cell outer = block_of({twin, inner});
    EXPECT_EQ(index_of(find(outer, inner, {.only = true, .same = true})), 1);
}

TEST(BlockSearchTest, FindChecksItsRefinements) {
    Cell b = ints({1, 2, 3});
    Cell zero = integer(0), word = word::intern("x"), other = ints({1, 2, 3}, 1);
    EXPECT_TRUE(raises(Err::script_out_of_range, [&] { find(b, integer(1), {.skip = &zero}); }));
    EXPECT_TRUE(raises(Err::script_invalid_refine_arg, [&] { find(b, integer(1), {.skip = &word}); }));
    EXPECT_TRUE(raises(Err::script_invalid_refine_arg, [&] { find(b, integer(1), {.part = &other}); }));
    Cell same_series = b;
    cell::set_series_index(&same_series, 2);
    EXPECT_EQ(index_of(find(b, integer(2), {.part = &same_series})), 1);
    EXPECT_EQ(index_of(find(b, integer(3), {.part = &same_series})), -1);
    EXPECT_EQ(index_of(find(b, integer(1), {.part = &zero})), -1);
}

// A hash! answers single values from its table; the answers are the block's.
TEST(BlockSearchTest, HashFindAgreesWithTheLinearScan) {
    std::vector<int32_t> data = random_ints(7, 40, 6);
    Cell b = ints(data);
    Cell h;
    block::clone(&b, &h, false, false);
    cell::set_type(&h, T_HASH);
    cell::set_series_extra(&h, hashtable::make(uint32_t(data.size()), &h, hashtable::KIND_HASH, 0));
    Cell two = integer(2), three = integer(3), part = integer(9);
    const Refinements shapes[] = {{},
                                  {.last = true},
                                  {.reverse = true},
                                  {.skip = &two},
                                  {.skip = &three, .reverse = true},
                                  {.part = &part},
                                  {.tail = true},
                                  {.skip = &two, .last = true, .tail = true}};
    for (int32_t index : {0, 5, 17, 40}) {
        for (int32_t v = 0; v < 7; v++) {
            for (const Refinements& r : shapes) {
                cell::set_series_index(&b, index);
                cell::set_series_index(&h, index);
                SCOPED_TRACE(std::to_string(index) + " " + std::to_string(v));
                EXPECT_EQ(index_of(find(h, integer(v), r)), index_of(find(b, integer(v), r)));
            }
        }
    }
}

// ---- select and put ------------------------------------------------------------------------

TEST(BlockSearchTest, SelectAnswersTheValueAfterTheMatch) {
    Cell b = block_of({word::intern("a"), integer(1), word::intern("b"), integer(2)});
    EXPECT_EQ(cell::get_int(select(b, word::intern("b"))), 2);
    EXPECT_EQ(cell::type(select(b, integer(2))), T_NONE);
    EXPECT_EQ(cell::type(select(b, word::intern("z"))), T_NONE);
    Cell pair = block_of({word::intern("a"), integer(1)});
    EXPECT_EQ(cell::word_symbol(select(b, pair)), symbol::intern("b"));
    Cell two = integer(2);
    EXPECT_EQ(cell::type(select(b, integer(1), {.skip = &two})), T_NONE);
    EXPECT_EQ(cell::get_int(select(b, word::intern("b"), {.skip = &two})), 2);
}

TEST(BlockSearchTest, PutStoresUnlessStrictlyEqual) {
    Cell b = words_of({"k", "a"});
    Cell k = word::intern("k"), upper = word::intern("A");
    EXPECT_EQ(cell::word_symbol(block::put(&b, &k, &upper, false)), cell::word_symbol(&upper));
    EXPECT_EQ(spelled(b), "k A");

    Cell z = word::intern("z"), one = integer(1);
    block::put(&b, &z, &one, false);
    EXPECT_EQ(block::buffer_length(&b), 4u);
    EXPECT_EQ(cell::get_int(block::cell_at(&b, 3)), 1);

    Cell last = words_of({"x"});
    Cell x = word::intern("x"), five = integer(5);
    block::put(&last, &x, &five, false);
    EXPECT_EQ(block::buffer_length(&last), 2u);
    EXPECT_EQ(cell::get_int(block::cell_at(&last, 1)), 5);
}

TEST(BlockSearchTest, PutFindsABlockKeyItPutBefore) {
    Cell b;
    block::write_cell(&b, 4);
    Cell key = words_of({"p", "q"}), first = integer(1), second = integer(2);
    block::put(&b, &key, &first, false);
    block::put(&b, &key, &second, false);
    EXPECT_EQ(block::buffer_length(&b), 2u);
    EXPECT_EQ(cell::get_int(block::cell_at(&b, 1)), 2);
}

TEST(BlockSearchTest, PutCaseKeepsKeysApart) {
    Cell b = words_of({"k", "a"});
    Cell upper = word::intern("K"), v = word::intern("v");
    block::put(&b, &upper, &v, true);
    EXPECT_EQ(spelled(b), "k a K v");
    block::put(&b, &upper, &v, false);
    EXPECT_EQ(spelled(b), "k v K v");
}

// ---- the path step ---------------------------------------------------------------------------

TEST(BlockSearchTest, PathStepsPickSelectAndSet) {
    Cell b = block_of({word::intern("a"), integer(1), word::intern("b"), integer(2)});
    Cell two = integer(2), b_word = word::intern("b"), nine = integer(9);
    auto step = [&](Cell element, Cell* value) {
        return block::eval_path(&b, &element, value, nullptr, nullptr, nullptr, 0, false, value == nullptr, true,
                                false);
    };
    EXPECT_EQ(cell::get_int(step(two, nullptr)), 1);
    EXPECT_EQ(cell::type(step(integer(9), nullptr)), T_NONE);
    EXPECT_EQ(cell::get_int(step(b_word, nullptr)), 2);
    EXPECT_EQ(cell::get_int(step(b_word, &nine)), 9);
    EXPECT_EQ(values(b)[3], 9);
    EXPECT_EQ(cell::get_int(step(integer(4), &two)), 2);
    EXPECT_EQ(values(b)[3], 2);
    EXPECT_TRUE(raises(Err::script_bad_path_set, [&] { step(word::intern("z"), &nine); }));
    EXPECT_TRUE(raises(Err::script_out_of_range, [&] { step(integer(9), &nine); }));
    Cell last = words_of({"a", "b"});
    Cell b_key = word::intern("b");
    EXPECT_TRUE(raises(Err::script_out_of_range, [&] {
        block::eval_path(&last, &b_key, &nine, nullptr, nullptr, nullptr, 0, false, false, true, false);
    }));
}

// ---- sort -------------------------------------------------------------------------------------

struct SortArgs {
    bool case_ = false;
    Cell* skip = nullptr;
    Cell* compare = nullptr;
    Cell* part = nullptr;
    bool all = false, reverse = false, stable = false;
};

const Cell* sort(Cell* b, const SortArgs& a) {
    return block::sort(b, a.case_, a.skip, a.compare, a.part, a.all, a.reverse, a.stable);
}

const char* const SORT_PROGRAMS[] = {
    "print(*sorted(a))",
    "print(*sorted(a, reverse=True))",
};

TEST(BlockSearchTest, SortMatchesPython) {
    std::vector<int32_t> data = random_ints(11, 300, 1000);
    for (bool stable : {false, true}) {
        for (bool reverse : {false, true}) {
            Cell b = ints(data);
            sort(&b, {.reverse = reverse, .stable = stable});
            EXPECT_EQ(joined(values(b)), python("a=" + python_list(data) + "; " + SORT_PROGRAMS[reverse]));
        }
    }
}

// Records of two cells; python sorts pairs, which is stable.
std::string python_records(const std::vector<int32_t>& data, const char* key, bool reverse) {
    return python("a=" + python_list(data) + "; r=[(a[i],a[i+1]) for i in range(0,len(a),2)]; " +
                  "print(*[x for t in sorted(r, key=" + key + (reverse ? ", reverse=True" : "") +
                  ") for x in t])");
}

TEST(BlockSearchTest, StableSortOfRecordsMatchesPython) {
    std::vector<int32_t> data = random_ints(5, 200, 8);
    Cell two = integer(2), second = integer(2);
    struct Case {
        const char* what;
        SortArgs args;
        const char* key;
    } cases[] = {
        {"by key", {.skip = &two, .stable = true}, "lambda t: t[0]"},
        {"by key reversed", {.skip = &two, .reverse = true, .stable = true}, "lambda t: t[0]"},
        {"by the second field", {.skip = &two, .compare = &second, .stable = true}, "lambda t: t[1]"},
        {"by all fields", {.skip = &two, .all = true, .stable = true}, "lambda t: t"},
        {"by all fields reversed", {.skip = &two, .all = true, .reverse = true}, "lambda t: t"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Cell b = ints(data);
        sort(&b, c.args);
        EXPECT_EQ(joined(values(b)), python_records(data, c.key, c.args.reverse));
    }
}

TEST(BlockSearchTest, QuickSortOfRecordsKeepsRecordsWhole) {
    std::vector<int32_t> data;
    for (int32_t i = 0; i < 100; i++) {
        data.push_back(int32_t(i * 37 % 10));
        data.push_back(i);
    }
    Cell b = ints(data);
    Cell two = integer(2);
    sort(&b, {.skip = &two});
    std::vector<int32_t> v = values(b);
    for (size_t i = 0; i + 2 < v.size(); i += 2) EXPECT_LE(v[i], v[i + 2]);
    for (size_t i = 0; i < v.size(); i += 2) EXPECT_EQ(v[i], v[i + 1] * 37 % 10);
}

TEST(BlockSearchTest, SortPart) {
    Cell b = ints({5, 4, 3, 2, 1});
    Cell three = integer(3);
    sort(&b, {.part = &three});
    EXPECT_EQ(joined(values(b)), "3 4 5 2 1");

    Cell back = ints({5, 4, 3, 2, 1}, 4);
    Cell minus = integer(-3);
    EXPECT_EQ(cell::series_index(sort(&back, {.part = &minus})), 1);
    EXPECT_EQ(joined(values(back)), "5 2 3 4 1");

    Cell few = ints({5, 4, 3}, 1);
    EXPECT_EQ(cell::series_index(sort(&few, {.part = &minus})), 1);
    EXPECT_EQ(joined(values(few)), "5 4 3");

    Cell to = ints({3, 2, 1});
    Cell end = to;
    cell::set_series_index(&end, 2);
    sort(&to, {.part = &end});
    EXPECT_EQ(joined(values(to)), "2 3 1");
}

TEST(BlockSearchTest, SortChecksItsRefinements) {
    Cell b = ints({4, 3, 2, 1});
    Cell two = integer(2), three = integer(3), one = integer(1), word = word::intern("x");
    struct Case {
        const char* what;
        SortArgs args;
        Err error;
    } cases[] = {
        {"all without skip", {.all = true}, Err::script_bad_refines},
        {"skip not dividing the length", {.skip = &three}, Err::script_invalid_refine_arg},
        {"skip not an integer", {.skip = &word}, Err::script_invalid_refine_arg},
        {"offset without skip", {.compare = &one}, Err::script_bad_refines},
        {"offset with all", {.skip = &two, .compare = &one, .all = true}, Err::script_bad_refines},
        {"offset outside the record", {.skip = &two, .compare = &three}, Err::script_out_of_range},
        {"comparator of no kind", {.compare = &word}, Err::script_invalid_refine_arg},
        {"part of no kind", {.part = &word}, Err::script_invalid_refine_arg},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(raises(c.error, [&] { sort(&b, c.args); }));
        EXPECT_EQ(joined(values(b)), "4 3 2 1");
    }
}

// ---- sort with a comparator function ---------------------------------------------------------

// Stands for the function layer: the comparator is a C++ function here.
std::function<const Cell*(const Cell*, const Cell*)> comparator;
const Cell* call_comparator(const Cell*, const Cell* first, const Cell* second) { return comparator(first, second); }

// "lesser?": is the first argument below the second.
const Cell* lesser(const Cell* first, const Cell* second) {
    return cell::get_int(first) < cell::get_int(second) ? &statics::true_cell : &statics::false_cell;
}

struct BlockSearchComparatorTest : ::testing::Test {
    Cell function{};
    void SetUp() override {
        block::set_compare_caller(call_comparator);
        // Payload nodes that marking can follow, should a comparator collect.
        Cell spec = ints({}), extra = ints({});
        function = Cell{T_FUNCTION, context::global_node, cell::series_node(&spec), cell::series_node(&extra)};
    }
    void TearDown() override { comparator = nullptr; }
};

TEST_F(BlockSearchComparatorTest, ALesserComparatorSortsAscending) {
    std::vector<int32_t> data = random_ints(3, 100, 50);
    for (bool stable : {false, true}) {
        for (bool reverse : {false, true}) {
            comparator = lesser;
            Cell b = ints(data);
            sort(&b, {.compare = &function, .reverse = reverse, .stable = stable});
            EXPECT_EQ(joined(values(b)), python("a=" + python_list(data) + "; " + SORT_PROGRAMS[reverse]));
        }
    }
}

TEST_F(BlockSearchComparatorTest, AnswersMapToAnOrder) {
    static Cell answer;
    const std::vector<int32_t> data = {3, 1, 2};
    struct Case {
        const char* what;
        std::function<void(int32_t)> make;  // from second less first
        const char* expected;
    } cases[] = {
        {"integer difference", [](int32_t d) { cell::make_integer(&answer, d); }, "1 2 3"},
        {"float sign", [](int32_t d) { cell::make_float(&answer, d * 0.5); }, "1 2 3"},
        {"none keeps the order", [](int32_t) { cell::make_none(&answer); }, "3 1 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        comparator = [&](const Cell* first, const Cell* second) {
            c.make(cell::get_int(second) - cell::get_int(first));
            return &answer;
        };
        Cell b = ints(data);
        sort(&b, {.compare = &function, .stable = true});
        EXPECT_EQ(joined(values(b)), c.expected);
    }
}

TEST_F(BlockSearchComparatorTest, AllHandsOverWholeRecords) {
    std::vector<int32_t> data = random_ints(9, 60, 5);
    comparator = [](const Cell* first, const Cell* second) {
        EXPECT_EQ(cell::type(first), T_BLOCK);
        std::vector<int32_t> x = values(*first), y = values(*second);
        return x < y ? &statics::true_cell : &statics::false_cell;
    };
    Cell b = ints(data);
    Cell two = integer(2);
    sort(&b, {.skip = &two, .compare = &function, .all = true, .stable = true});
    EXPECT_EQ(joined(values(b)), python_records(data, "lambda t: t", false));
}

// An error from the comparator leaves the block as it was, whichever sort ran.
TEST_F(BlockSearchComparatorTest, AThrowingComparatorLeavesTheBlockWhole) {
    std::vector<int32_t> data = random_ints(4, 80, 1000);
    for (bool stable : {false, true}) {
        int calls = 0;
        comparator = [&](const Cell* first, const Cell* second) {
            if (++calls == 150) error::raise(Err::script_invalid_arg, first);
            return lesser(first, second);
        };
        Cell b = ints(data);
        EXPECT_TRUE(raises(Err::script_invalid_arg, [&] { sort(&b, {.compare = &function, .stable = stable}); }));
        EXPECT_EQ(values(b), data);
    }
}

TEST_F(BlockSearchComparatorTest, AnExitFromTheComparatorStaysPending) {
    std::vector<int32_t> data = random_ints(6, 50, 100);
    int calls = 0;
    comparator = [&](const Cell* first, const Cell* second) {
        if (++calls == 20) {
            runtime::record.pending_code = EXIT_BREAK;
            exits::raise_pending();
        }
        return lesser(first, second);
    };
    Cell b = ints(data);
    sort(&b, {.compare = &function});
    EXPECT_EQ(exits::pending(), uint32_t(EXIT_BREAK));
    exits::clear();
    EXPECT_EQ(values(b), data);
}

TEST_F(BlockSearchComparatorTest, AComparatorThatShortensTheBlockLeavesItWhole) {
    std::vector<int32_t> data = random_ints(8, 64, 100);
    Cell b = ints(data);
    bool cut = false;
    comparator = [&](const Cell* first, const Cell* second) {
        if (!cut) block::truncate_at(&b, 10);
        cut = true;
        return lesser(first, second);
    };
    sort(&b, {.compare = &function});
    EXPECT_EQ(values(b), std::vector<int32_t>(data.begin(), data.begin() + 10));
}

// The comparator reaches a collection that slides the block's buffer; the
// sorted records land in the buffer where it is now.
TEST_F(BlockSearchComparatorTest, ACollectionInsideTheComparator) {
    for (int i = 0; i < 50; i++) ints({i, i, i});
    std::vector<int32_t> data = random_ints(10, 120, 1000);
    Cell b = ints(data);
    temp_roots::Hold hold_block(&b);
    temp_roots::Hold hold_function(&function);
    uint8_t* before = reinterpret_cast<uint8_t*>(block::writable_cell_at(&b, 0));
    bool collected = false;
    comparator = [&](const Cell* first, const Cell* second) {
        if (!collected) collector::collect();
        collected = true;
        return lesser(first, second);
    };
    sort(&b, {.compare = &function, .stable = true});
    EXPECT_NE(reinterpret_cast<uint8_t*>(block::writable_cell_at(&b, 0)), before);
    EXPECT_EQ(joined(values(b)), python("a=" + python_list(data) + "; print(*sorted(a))"));
}

// ---- change notification ----------------------------------------------------------------------

std::vector<std::string> heard;

void listen(Cell*, Cell*, const Cell*, const Cell* action, const Cell*, int32_t index, int32_t part) {
    heard.push_back(std::string(symbol::get_cstr(cell::word_symbol(action))) + " " + std::to_string(index) + " " +
                    std::to_string(part));
}

// put and sort tell the owner of the block before and after the change.
TEST(BlockSearchTest, PutAndSortTellTheOwner) {
    Cell fields = words_of({"items"});
    Node ctx = context::make(&fields, false, true, context::KIND_OBJECT);
    Cell owner{T_OBJECT, ctx, 1, 1};
    *context::owner_of(ctx) = owner;
    Cell field = *context::word_at(context::cell_of(ctx), 0);
    Cell b = ints({3, 1, 2});
    ownership::assign(&b, &owner, &field);
    ownership::set_notifier(listen);
    heard.clear();
    sort(&b, {});
    Cell one = integer(1), nine = integer(9), seven = integer(7);
    block::put(&b, &one, &nine, false);
    block::put(&b, &seven, &nine, false);
    ownership::set_notifier(nullptr);
    ownership::release(&b);
    EXPECT_EQ(heard, (std::vector<std::string>{"sort 0 3", "sorted 0 3", "put 1 1", "put-ed 1 1", "put 3 2",
                                               "put-ed 3 2"}));
    EXPECT_EQ(joined(values(b)), "1 9 3 7 9");
}

// ---- set operations ---------------------------------------------------------------------------

Cell set_op(int32_t op, Cell a, Cell b, bool case_ = false, Cell* skip = nullptr) {
    return *block::set_operation(op, &a, op == block::SET_UNIQUE ? nullptr : &b, case_, skip);
}

// python3 programs over the lists a and b; dict.fromkeys keeps first occurrences.
const struct {
    int32_t op;
    const char* program;
} SET_PROGRAMS[] = {
    {block::SET_UNIQUE, "r=list(dict.fromkeys(a))"},
    {block::SET_UNION, "r=list(dict.fromkeys(a+b))"},
    {block::SET_INTERSECT, "r=[x for x in dict.fromkeys(a) if x in b]"},
    {block::SET_EXCLUDE, "r=[x for x in dict.fromkeys(a) if x not in b]"},
    {block::SET_DIFFERENCE,
     "r=[x for x in dict.fromkeys(a) if x not in b]+[x for x in dict.fromkeys(b) if x not in a]"},
};

TEST(BlockSearchTest, SetOperationsMatchPython) {
    std::vector<int32_t> a = random_ints(1, 60, 40), b = random_ints(2, 50, 40);
    for (const auto& s : SET_PROGRAMS) {
        SCOPED_TRACE(s.program);
        Cell r = set_op(s.op, ints(a, 3), ints(b, 5));
        std::vector<int32_t> from_a(a.begin() + 3, a.end()), from_b(b.begin() + 5, b.end());
        EXPECT_EQ(cell::type(&r), T_BLOCK);
        EXPECT_EQ(cell::series_index(&r), 0);
        EXPECT_EQ(joined(values(r)),
                  python("a=" + python_list(from_a) + "; b=" + python_list(from_b) + "; " + s.program + "; print(*r)"));
    }
}

// With /skip the keys decide and the first record of each key is kept.
TEST(BlockSearchTest, SetOperationsOnRecords) {
    std::vector<int32_t> a = random_ints(3, 80, 12), b = random_ints(4, 60, 12);
    const char* records = "ra=[(a[i],a[i+1]) for i in range(0,len(a),2)]; "
                          "rb=[(b[i],b[i+1]) for i in range(0,len(b),2)]; kb={t[0] for t in rb}; d={}; ";
    Cell two = integer(2);
    Cell u = set_op(block::SET_UNION, ints(a), ints(b), false, &two);
    EXPECT_EQ(joined(values(u)), python("a=" + python_list(a) + "; b=" + python_list(b) + "; " + records +
                                        "[d.setdefault(t[0], t) for t in ra+rb]; print(*[x for t in d.values() for x in t])"));
    Cell i = set_op(block::SET_INTERSECT, ints(a), ints(b), false, &two);
    EXPECT_EQ(joined(values(i)), python("a=" + python_list(a) + "; b=" + python_list(b) + "; " + records +
                                        "[d.setdefault(t[0], t) for t in ra if t[0] in kb]; "
                                        "print(*[x for t in d.values() for x in t])"));
}

TEST(BlockSearchTest, SetOperationCaseAndBlockKeys) {
    EXPECT_EQ(spelled(set_op(block::SET_UNIQUE, words_of({"a", "A", "b", "a"}), {})), "a b");
    EXPECT_EQ(spelled(set_op(block::SET_UNIQUE, words_of({"a", "A", "b", "a"}), {}, true)), "a A b");
    Cell x = words_of({"x"}), y = words_of({"y"});
    Cell r = set_op(block::SET_UNIQUE, block_of({x, words_of({"x"}), y, x}), {});
    EXPECT_EQ(block::buffer_length(&r), 2u);
    Cell zero = integer(0);
    EXPECT_TRUE(raises(Err::script_invalid_refine_arg, [&] { set_op(block::SET_UNIQUE, ints({1}), {}, false, &zero); }));
}

TEST(BlockSearchTest, SetOperationWithAHashGivesAHash) {
    Cell h = ints({1, 2, 3, 2});
    cell::set_type(&h, T_HASH);
    cell::set_series_extra(&h, hashtable::make(4, &h, hashtable::KIND_HASH, 0));
    Cell r = set_op(block::SET_UNION, ints({4, 1}), h);
    EXPECT_EQ(cell::type(&r), T_HASH);
    EXPECT_EQ(joined(values(r)), "4 1 2 3");
    EXPECT_EQ(index_of(find(r, integer(3))), 3);
    Cell p = set_op(block::SET_EXCLUDE, ints({5, 2, 6}), h);
    EXPECT_EQ(joined(values(p)), "5 6");
}

}  // namespace
