// hash!: its own table on every path that makes one, and an index that agrees
// with a plain scan of the same values after every kind of change.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/hashtable.h"
#include "datatypes/hash.h"
#include "kernel/collector.h"
#include "kernel/temp_roots.h"
#include "natives_cases.h"
#include "test_support.h"
#include "test_values.h"

using namespace zel;

namespace {

struct HashTest : natives_cases::NativesTest {};

// The table's key series is the hash's own cell buffer.
void expect_own_table(const Cell& h) {
    ASSERT_EQ(cell::type(&h), T_HASH);
    ASSERT_NE(cell::series_extra(&h), 0u);
    EXPECT_EQ(hashtable::record(cell::series_extra(&h))->keys, cell::series_node(&h));
}

TEST_F(HashTest, EveryMakerGivesATableOverItsOwnCells) {
    const char* makers[] = {
        "make hash! 0",
        "make hash! [a 1]",
        "to hash! \"a b\"",
        "to hash! #[a 1]",
        "h: make hash! [a 1] copy h",
        "h: make hash! [a 1] copy next h",
        "h: make hash! [a [1]] copy/deep h",
        "h: make hash! [a 1] make hash! h",
        "h: make hash! [a 1 b 2] take/part h 2",
    };
    for (const char* code : makers) {
        SCOPED_TRACE(code);
        Cell h = natives_cases::run(code);
        expect_own_table(h);
    }
}

TEST_F(HashTest, WholeCopyCopiesTheTable) {
    Cell h = natives_cases::run("h: make hash! [a 1 b 2 a 3]");
    temp_roots::Hold hold(&h);
    Cell c = *hash::copy(&h, nullptr, false, nullptr);
    temp_roots::Hold hold_copy(&c);
    expect_own_table(c);
    EXPECT_NE(cell::series_extra(&c), cell::series_extra(&h));
    EXPECT_EQ(hashtable::record(cell::series_extra(&c))->count, hashtable::record(cell::series_extra(&h))->count);
    Cell a = test_values::word_of("a");
    hashtable::FindOptions o{false, true};
    EXPECT_EQ(hashtable::find(cell::series_extra(&c), &a, o, nullptr), 0);
}

// Random changes through the block actions, each followed by a check of every
// value's first position against a block holding the same values. A "#" in a
// change stands for a random value.
TEST_F(HashTest, IndexAgreesWithAScanAfterChanges) {
    const char* changes[] = {
        "insert at h 3 #",   "append h #",           "remove at h 2",     "change at h 4 #",
        "poke h 1 #",        "reverse h",            "sort h",            "sort/reverse h",
        "take/last h",       "swap h at h 3",        "move h at h 4",     "h/2: #",
        "insert/dup h # 3",  "remove/part at h 2 3", "sort at h 3",        "sort/part at h 2 4", "clear at h 9",
    };
    std::mt19937 pick(11);
    natives_cases::run("h: make hash! [3 1 4 1 5 9 2 6 5 3 5 8]");
    for (int step = 0; step < 80; step++) {
        std::string change = changes[pick() % (sizeof changes / sizeof changes[0])];
        size_t at = change.find('#');
        if (at != std::string::npos) change.replace(at, 1, std::to_string(1 + pick() % 9));
        SCOPED_TRACE(change);
        natives_cases::run(change.c_str());
        EXPECT_EQ(natives_cases::eval_molded(
                      "b: to block! h out: copy [] repeat v 9 [append out (index? any [find h v h]) = "
                      "index? any [find b v b]] find out false"),
                  "none");
    }
}

TEST_F(HashTest, FindsBlockValuesAfterACollection) {
    Cell h = natives_cases::run("b: [2] h: make hash! reduce [[1] b \"x\"]");
    temp_roots::Hold hold(&h);
    collector::collect();
    EXPECT_EQ(natives_cases::eval_molded("index? find/only h b"), "2");
    EXPECT_EQ(natives_cases::eval_molded("index? find h \"X\""), "3");
}

}  // namespace
