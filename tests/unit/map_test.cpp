// map!: key types and their stored form, the live count across removals and
// table rebuilds, copies that own their table, the collector, and the order
// of keys against python3's dict.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/hashtable.h"
#include "datatypes/map.h"
#include "kernel/collector.h"
#include "kernel/temp_roots.h"
#include "natives_cases.h"
#include "test_support.h"
#include "test_values.h"

using namespace zel;
using test_values::integer;
using test_values::word_of;

namespace {

struct MapTest : natives_cases::NativesTest {};

Cell new_map(uint32_t capacity = 0) {
    Cell m;
    map::make_empty(&m, capacity);
    return m;
}

Cell* pair_cells(const Cell& m) { return series::writable_cells(node::buffer(cell::series_node(&m))); }

TEST_F(MapTest, KeyTypes) {
    struct Case {
        uint32_t type;
        bool allowed;
    };
    const Case cases[] = {
        {T_STRING, true},  {T_FILE, true},     {T_URL, true},      {T_BINARY, true},   {T_TAG, true},
        {T_EMAIL, true},   {T_REF, true},      {T_WORD, true},     {T_SET_WORD, true}, {T_LIT_WORD, true},
        {T_GET_WORD, true}, {T_REFINEMENT, true}, {T_ISSUE, true}, {T_CHAR, true},     {T_INTEGER, true},
        {T_FLOAT, true},   {T_PAIR, true},     {T_PERCENT, true},  {T_TUPLE, true},    {T_TIME, true},
        {T_DATE, true},    {T_MONEY, true},    {T_POINT2D, true},  {T_POINT3D, true},  {T_BLOCK, false},
        {T_PAREN, false},  {T_PATH, false},    {T_NONE, false},    {T_LOGIC, false},   {T_OBJECT, false},
        {T_MAP, false},    {T_HASH, false},    {T_DATATYPE, false}, {T_UNSET, false},  {T_BITSET, false},
    };
    for (const Case& c : cases) EXPECT_EQ(map::is_key_type_allowed(c.type), c.allowed) << c.type;
}

TEST_F(MapTest, NormalizedKeys) {
    Cell s = test_values::text("Key");
    Cell k = s;
    map::normalize_key(&k, nullptr);
    EXPECT_EQ(cell::type(&k), T_STRING);
    EXPECT_NE(cell::series_node(&k), cell::series_node(&s));  // a copy: changing the caller's string leaves the key
    EXPECT_EQ(test_values::utf8_of(k), "Key");
    for (uint32_t t : {T_WORD, T_LIT_WORD, T_GET_WORD, T_SET_WORD}) {
        Cell w = word_of("a", t);
        map::normalize_key(&w, nullptr);
        EXPECT_EQ(cell::type(&w), T_SET_WORD);
    }
    Cell i = integer(7);
    map::normalize_key(&i, nullptr);
    EXPECT_EQ(cell::get_int(&i), 7);
}

TEST_F(MapTest, KeyOfAnotherTypeNamesThePathAndItsType) {
    Cell block = test_values::ints({1});
    Cell path = test_values::as(test_values::ints({2}), T_PATH);
    test_values::Raised r = test_values::raised([&] { map::normalize_key(&block, &path); });
    EXPECT_EQ(r.id, "invalid-path");
    EXPECT_EQ(cell::type(r.arg(1)), T_PATH);
    EXPECT_EQ(natives_cases::molded(*r.arg(2)), "block!");
    r = test_values::raised([&] { map::normalize_key(&block, nullptr); });
    EXPECT_EQ(cell::type(r.arg(1)), T_NONE);
}

// A removed pair stays where it was, its key in the table and its value cell
// zeroed; the table's rebuilds on growth keep the live count.
TEST_F(MapTest, LiveCountAcrossRemovalAndGrowth) {
    Cell m = new_map();
    temp_roots::Hold hold(&m);
    for (int32_t i = 0; i < 10; i++) {
        Cell k = integer(i), v = integer(i * 10);
        map::put_pair(&m, &k, &v, false);
    }
    for (int32_t i = 0; i < 10; i += 2) {
        Cell k = integer(i);
        map::remove(&m, nullptr, &k);
    }
    EXPECT_EQ(map::count(&m), 5u);
    EXPECT_EQ(pair_cells(m)[1].header, 0u);
    EXPECT_EQ(cell::get_int(&pair_cells(m)[0]), 0);
    uint32_t buckets = hashtable::record(cell::series_extra(&m))->buckets;
    for (int32_t i = 100; i < 300; i++) {
        Cell k = integer(i), v = integer(i);
        map::put_pair(&m, &k, &v, false);
    }
    EXPECT_GT(hashtable::record(cell::series_extra(&m))->buckets, buckets);
    EXPECT_EQ(map::count(&m), 205u);
    Cell four = integer(4), revived = integer(44);
    EXPECT_EQ(map::get(&m, &four, false), nullptr);
    map::put_pair(&m, &four, &revived, false);
    EXPECT_EQ(map::count(&m), 206u);
    EXPECT_EQ(cell::get_int(&pair_cells(m)[9]), 44);  // pair 4, in its old place
    EXPECT_EQ(block::buffer_length(&m), 2u * 210);
}

TEST_F(MapTest, CopyOwnsItsBlockAndTable) {
    Cell m = natives_cases::run("m: #[a 1 b 2] remove/key m 'a m");
    temp_roots::Hold hold(&m);
    Cell c = *map::copy(&m, nullptr, false, nullptr);
    temp_roots::Hold hold_copy(&c);
    EXPECT_NE(cell::series_node(&c), cell::series_node(&m));
    EXPECT_NE(cell::series_extra(&c), cell::series_extra(&m));
    EXPECT_EQ(hashtable::record(cell::series_extra(&c))->keys, cell::series_node(&c));
    EXPECT_EQ(map::count(&c), 1u);
    Cell a = word_of("a"), one = integer(1);
    map::put_pair(&c, &a, &one, false);
    EXPECT_EQ(map::count(&c), 2u);
    EXPECT_EQ(map::count(&m), 1u);
    EXPECT_EQ(map::get(&m, &a, false), nullptr);
}

TEST_F(MapTest, SurvivesACollection) {
    Cell m = natives_cases::run(R"(#["k" [1 2] a "v" 3 #[x 1]])");
    temp_roots::Hold hold(&m);
    std::string before = natives_cases::molded(m);
    collector::collect();
    EXPECT_EQ(natives_cases::molded(m), before);
    Cell k = test_values::text("K"), a = word_of("A"), three = integer(3);
    EXPECT_EQ(natives_cases::molded(*map::get(&m, &k, false)), "[1 2]");
    EXPECT_EQ(natives_cases::molded(*map::get(&m, &a, false)), "\"v\"");
    EXPECT_EQ(cell::type(map::get(&m, &three, false)), T_MAP);
}

// Without removals the keys keep the order in which they were first stored
// and a later pair replaces the value: as python3's dict does.
TEST_F(MapTest, KeyOrderAgreesWithPythonDict) {
    const char* keys[] = {"d", "b", "a", "d", "c", "b", "e", "a", "f", "c"};
    std::string zel = "m: make map! [", py;
    for (size_t i = 0; i < sizeof keys / sizeof keys[0]; i++) {
        zel += std::string(keys[i]) + " " + std::to_string(i) + " ";
        py += "('" + std::string(keys[i]) + "'," + std::to_string(i) + "),";
    }
    zel += "] reduce [reflect m 'words reflect m 'values]";
    std::string oracle = natives_cases::shell(
        "python3 -c \"d=dict([" + py + "]); print('[[' + ' '.join(d) + '] [' + ' '.join(map(str, d.values())) + ']]')\"");
    ASSERT_FALSE(oracle.empty());
    EXPECT_EQ(natives_cases::eval_molded(zel.c_str()), oracle);
}

TEST_F(MapTest, LoopWordsSkipRemovedPairs) {
    Cell m = natives_cases::run("m: #[a 1 b 2 c 3] remove/key m 'a remove/key m 'c m");
    temp_roots::Hold hold(&m);
    Cell words = natives_cases::run("[k v]");
    temp_roots::Hold hold_words(&words);
    EXPECT_TRUE(map::set_loop_words(&words, &m));
    EXPECT_EQ(cell::series_index(&m), 2u);
    EXPECT_EQ(natives_cases::eval_molded("reduce [k v]"), "[b 2]");
    cell::set_series_index(&m, cell::series_index(&m) + 2);
    EXPECT_FALSE(map::set_loop_words(&words, &m));
    Cell bad = natives_cases::run("[k 1]");
    cell::set_series_index(&m, 0);
    EXPECT_EQ(test_values::raised([&] { map::set_loop_words(&bad, &m); }).id, "invalid-arg");
}

TEST_F(MapTest, LiteralsMustHoldPairsOfKeys) {
    Cell a = word_of("a"), one = integer(1), block = test_values::ints({1});
    Cell good[] = {a, one, one, a};
    Cell odd[] = {a, one, a};
    Cell bad_key[] = {block, one};
    EXPECT_TRUE(map::is_pair_list(good, 4));
    EXPECT_TRUE(map::is_pair_list(good, 0));
    EXPECT_FALSE(map::is_pair_list(odd, 3));
    EXPECT_FALSE(map::is_pair_list(bad_key, 2));
}

TEST_F(MapTest, MoldKeepsIndentationOfNestedMaps) {
    const natives_cases::Case cases[] = {
        {"#[a #[b 1]]", "#[\n    a: #[\n        b: 1\n    ]\n]"},
        {"m: #[a 1] m/b: m", "#[\n    a: 1\n    b: #[...]\n]"},
        {"m: #[a 1 b 2] remove/key m 'b mold/flat m", "\"#[a: 1]\""},
        {"mold/part #[abc 1 def 2] 6", "\"#[^/   \""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(natives_cases::molded(natives_cases::run(c.code), false), c.expected);
    }
}

}  // namespace
