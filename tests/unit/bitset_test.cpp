// bitset!: the spec dialect of make and to, the text form, membership tests,
// the changing actions (checks before changes), the bitwise core and compare.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/bitset.h"
#include "core/datatype.h"
#include "core/logic.h"
#include "core/stack.h"
#include "core/string.h"
#include "test_support.h"
#include "test_values.h"

using namespace zel;

namespace {

using test_values::binary_of;
using test_values::block_of;
using test_values::ch;
using test_values::enter_call;
using test_values::integer;
using test_values::logic;
using test_values::molded;
using test_values::none;
using test_values::number;
using test_values::text;
using test_values::utf8_of;
using test_values::word_of;

using BitsetTest = ::testing::Test;

// ---- builders -------------------------------------------------------------------

Cell make(Cell spec) { return *bitset::make(nullptr, &spec, T_BITSET); }

bool complemented(Cell b) { return bitset::is_complemented(&b); }

bool pick(Cell b, Cell spec) { return cell::get_logic(bitset::pick(&b, 0, &spec)); }

// ---- make and to --------------------------------------------------------------------

// Expected bytes from python3: bytes with bit n at byte n >> 3, mask 0x80 >> (n & 7).
TEST_F(BitsetTest, MakeReadsTheSpecDialect) {
    struct Case {
        const char* what;
        Cell spec;
        const char* text;
    };
    const Case cases[] = {
        {"size 10", integer(10), "make bitset! #{0000}"},
        {"size 0", integer(0), "make bitset! #{}"},
        {"size 8", integer(8), "make bitset! #{00}"},
        {"float size", number(2.9), "make bitset! #{00}"},
        {"char range", block_of({ch('a'), word_of("-"), ch('c')}), "make bitset! #{00000000000000000000000070}"},
        {"string", text("cab"), "make bitset! #{00000000000000000000000070}"},
        {"one char", ch('a'), "make bitset! #{00000000000000000000000040}"},
        {"integers", block_of({integer(0), integer(7), integer(8)}), "make bitset! #{8180}"},
        {"range and string", block_of({integer(1), word_of("-"), integer(3), text("A")}), "make bitset! #{700000000000000040}"},
        {"float bit", block_of({number(8.7)}), "make bitset! #{0080}"},
        {"nested block", block_of({block_of({integer(0)})}), "make bitset! #{80}"},
        {"binary", binary_of({0xF0, 0x0F}), "make bitset! #{F00F}"},
        {"empty block", block_of({}), "make bitset! #{}"},
        {"not string", block_of({word_of("not"), text("a")}), "make bitset! [not #{00000000000000000000000040}]"},
        {"not binary", block_of({word_of("not"), binary_of({0xF0, 0x0F})}), "make bitset! [not #{F00F}]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(molded(make(c.spec)), c.text);
    }
}

TEST_F(BitsetTest, CharRangeFillsThirteenBytes) {
    Cell b = make(block_of({ch('a'), word_of("-"), ch('c')}));
    EXPECT_EQ(bitset::byte_length(&b), 13u);
    EXPECT_EQ(bitset::length(&b), 104);
    for (uint32_t cp : {96u, 97u, 98u, 99u, 100u}) EXPECT_EQ(pick(b, ch(cp)), cp >= 97 && cp <= 99) << cp;
}

TEST_F(BitsetTest, NotMakesTheComplement) {
    Cell b = make(block_of({word_of("not"), text("a")}));
    EXPECT_TRUE(bitset::is_complemented(&b));
    EXPECT_FALSE(pick(b, ch('a')));
    for (uint32_t cp : {0u, uint32_t('b'), uint32_t('z'), 0x3A9u, 0x10FFFFu}) EXPECT_TRUE(pick(b, ch(cp))) << cp;
    Cell spec = block_of({word_of("not"), text("a")});
    bitset::make(nullptr, &spec, T_BITSET);
    EXPECT_EQ(cell::series_index(&spec), 0u) << "the spec keeps its index";
}

TEST_F(BitsetTest, CopyOfABitsetSharesNothing) {
    Cell a = make(integer(8));
    Cell b = make(a);
    EXPECT_NE(cell::series_node(&b), cell::series_node(&a));
    Cell one = integer(1);
    bitset::insert(&b, &one, -1, false, 1, true);
    EXPECT_FALSE(pick(a, integer(1)));
    EXPECT_TRUE(pick(b, integer(1)));
}

TEST_F(BitsetTest, DialectErrors) {
    struct Case {
        const char* what;
        Cell spec;
        Err id;
    };
    const Case cases[] = {
        {"range down", block_of({integer(5), word_of("-"), integer(3)}), Err::script_past_end},
        {"range without end", block_of({integer(1), word_of("-")}), Err::script_past_end},
        {"char to integer", block_of({ch('a'), word_of("-"), integer(100)}), Err::script_invalid_arg},
        {"negative size", integer(-1), Err::script_out_of_range},
        {"negative bit", block_of({integer(-1)}), Err::script_out_of_range},
        {"negative range", block_of({integer(-3), word_of("-"), integer(2)}), Err::script_out_of_range},
        {"binary inside", block_of({binary_of({1})}), Err::internal_not_done},
        {"none", none(), Err::script_bad_make_arg},
        {"word inside", block_of({word_of("foo")}), Err::script_bad_make_arg},
        {"NaN size", number(std::numeric_limits<double>::quiet_NaN()), Err::script_out_of_range},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(test_support::raises(c.id, [&] { make(c.spec); }));
    }
}

// A size in bits is rounded up to whole bytes in 64 bits: near the top of
// the integer range it cannot wrap to a small bitset.
TEST_F(BitsetTest, HugeSizesRaiseInsteadOfWrapping) {
    for (int32_t size : {2147483647, 2147483641, -2147483647 - 1}) {
        EXPECT_TRUE(test_support::raises(Err::script_out_of_range, [&] { make(integer(size)); })) << size;
    }
    EXPECT_TRUE(test_support::raises(Err::script_out_of_range, [&] { make(block_of({integer(2147483647)})); }));
    EXPECT_TRUE(test_support::raises(Err::script_out_of_range, [&] { make(number(3e9)); }));
}

TEST_F(BitsetTest, ToRefusesSizes) {
    for (Cell spec : {integer(8), number(8.0), none()}) {
        EXPECT_TRUE(test_support::raises(Err::script_bad_to_arg, [&] { bitset::to(nullptr, &spec, T_BITSET); }));
    }
    Cell spec = text("a");
    Cell b = *bitset::to(nullptr, &spec, T_BITSET);
    EXPECT_TRUE(pick(b, ch('a')));
}

// ---- membership -----------------------------------------------------------------------

TEST_F(BitsetTest, PickBeyondTheBytesAnswersTheComplementFlag) {
    Cell plain = make(integer(8));
    Cell comp = *bitset::complement(&plain);
    for (Cell spec : {integer(100), integer(-1), block_of({integer(5), word_of("-"), integer(900)})}) {
        EXPECT_FALSE(pick(plain, spec));
        EXPECT_TRUE(pick(comp, spec));
    }
    Cell b = make(text("ab"));
    EXPECT_TRUE(pick(b, text("ba")));
    EXPECT_FALSE(pick(b, text("abc")));
    EXPECT_TRUE(pick(b, block_of({ch('a'), word_of("-"), ch('b')})));
    EXPECT_FALSE(pick(b, block_of({ch('a'), word_of("-"), ch('c')})));
    Cell a = ch('a'), z = ch('z');
    EXPECT_EQ(bitset::find(&b, &a, nullptr, false, false, false, false, nullptr, nullptr, false, false, false,
                           false),
              &statics::true_cell);
    EXPECT_EQ(bitset::find(&b, &z, nullptr, false, false, false, false, nullptr, nullptr, false, false, false,
                           false),
              &statics::none_cell);
}

// ---- changing bits --------------------------------------------------------------------------

TEST_F(BitsetTest, PokeSetsOrClears) {
    struct Case {
        Cell value;
        bool member;
    };
    const Case cases[] = {
        {logic(true), true}, {integer(5), true}, {text(""), true}, {none(), false},
        {logic(false), false}, {integer(0), false}, {number(0.0), false}, {number(0.5), true},
    };
    for (const Case& c : cases) {
        Cell b = make(integer(8));
        Cell index = integer(20);
        Cell set = logic(true);
        bitset::poke(&b, 0, &index, &set);
        Cell value = c.value;
        EXPECT_EQ(bitset::poke(&b, 0, &index, &value), &value);
        EXPECT_EQ(pick(b, index), c.member);
        EXPECT_EQ(bitset::byte_length(&b), 3u);
    }
}

TEST_F(BitsetTest, ComplementedBitsetsGrowOnlyToClear) {
    Cell plain = make(integer(8));
    Cell comp = *bitset::complement(&plain);
    Cell far = integer(100), on = logic(true), off = logic(false);
    bitset::poke(&comp, 0, &far, &on);
    EXPECT_EQ(bitset::byte_length(&comp), 1u) << "already a member";
    bitset::poke(&comp, 0, &far, &off);
    EXPECT_EQ(bitset::byte_length(&comp), 13u);
    EXPECT_FALSE(pick(comp, far));
    EXPECT_TRUE(pick(comp, integer(99)));
    EXPECT_TRUE(pick(comp, integer(101)));
    bitset::poke(&plain, 0, &far, &off);
    EXPECT_EQ(bitset::byte_length(&plain), 1u) << "not a member anyway";
}

TEST_F(BitsetTest, AppendInsertAndRemove) {
    Cell b = make(integer(8));
    Cell spec = text("az");
    EXPECT_EQ(bitset::insert(&b, &spec, -1, false, 1, true), &b);
    EXPECT_TRUE(pick(b, ch('a')));
    EXPECT_TRUE(pick(b, ch('z')));
    Cell gone = ch('a');
    EXPECT_TRUE(test_support::raises(Err::script_missing_arg, [&] { bitset::remove(&b, nullptr, nullptr); }));
    bitset::remove(&b, &gone, nullptr);
    EXPECT_FALSE(pick(b, ch('a')));
    EXPECT_TRUE(pick(b, ch('z')));
    // Removing from a complemented bitset takes the member out too.
    Cell comp = *bitset::complement(&b);
    Cell y = ch('y');
    bitset::remove(&comp, &y, nullptr);
    EXPECT_FALSE(pick(comp, y));
    EXPECT_TRUE(pick(comp, ch('x')));
}

TEST_F(BitsetTest, RefusedSpecChangesNothing) {
    Cell b = make(integer(8));
    std::string before = molded(b);
    Cell bad = block_of({integer(3), word_of("foo")});
    EXPECT_TRUE(test_support::raises(Err::script_bad_make_arg, [&] { bitset::insert(&b, &bad, -1, false, 1, true); }));
    Cell huge = block_of({integer(1), integer(2147483647)});
    EXPECT_TRUE(test_support::raises(Err::script_out_of_range, [&] { bitset::insert(&b, &huge, -1, false, 1, true); }));
    Cell on = logic(true);
    EXPECT_TRUE(test_support::raises(Err::script_past_end, [&] {
        Cell range = block_of({integer(2), word_of("-"), integer(1)});
        bitset::poke(&b, 0, &range, &on);
    }));
    EXPECT_EQ(molded(b), before);
}

TEST_F(BitsetTest, ClearEmptiesTheSet) {
    Cell b = make(text("abc"));
    bitset::clear(&b);
    EXPECT_EQ(molded(b), "make bitset! #{00000000000000000000000000}");
    Cell comp = *bitset::complement(&b);
    bitset::clear(&comp);
    EXPECT_FALSE(bitset::is_complemented(&comp));
    EXPECT_FALSE(pick(comp, ch('a')));
    EXPECT_FALSE(pick(comp, integer(5000)));
}

TEST_F(BitsetTest, EvalPathPicksAndPokes) {
    Cell b = make(integer(8));
    Cell element = integer(3), on = logic(true);
    EXPECT_EQ(bitset::eval_path(&b, &element, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false),
              &statics::false_cell);
    bitset::eval_path(&b, &element, &on, nullptr, nullptr, nullptr, 0, false, false, true, false);
    EXPECT_TRUE(pick(b, element));
    Cell bad = text("a");
    EXPECT_TRUE(test_support::raises(Err::script_invalid_type, [&] {
        bitset::eval_path(&b, &bad, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false);
    }));
}

// ---- bitwise --------------------------------------------------------------------------------

Cell bitwise(int32_t op, Cell a, Cell b) {
    enter_call("and~", {a, b});
    bitset::do_bitwise(op);
    Cell r = *stack::arg(0);
    stack::leave();
    return r;
}

TEST_F(BitsetTest, BitwiseOperationsAndLengths) {
    Cell a = make(binary_of({0xF0, 0xAA, 0x0F}));
    Cell b = make(binary_of({0x3C}));
    struct Case {
        int32_t op;
        Cell left, right;
        const char* text;
    };
    const Case cases[] = {
        {6, a, b, "make bitset! #{30}"},         // and~: the shorter length
        {10, a, b, "make bitset! #{300000}"},    // intersect: the longer, zero tail
        {5, b, a, "make bitset! #{FCAA0F}"},     // or~
        {9, a, b, "make bitset! #{FCAA0F}"},     // union
        {7, a, b, "make bitset! #{CCAA0F}"},     // xor~
        {12, b, a, "make bitset! #{CCAA0F}"},    // difference
        {11, a, b, "make bitset! #{C0AA0F}"},    // exclude, first longer: tail kept
        {11, b, a, "make bitset! #{0C0000}"},    // exclude, first shorter: tail zero
        {8, a, b, "make bitset! #{F0AA0F}"},     // unique: the first unchanged
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        EXPECT_EQ(molded(bitwise(c.op, c.left, c.right)), c.text);
    }
    Cell comp = *bitset::complement(&b);
    EXPECT_TRUE(complemented(bitwise(5, a, comp)));
    // The union of two complemented sets is complemented: every bit beyond
    // both is a member of both.
    EXPECT_TRUE(complemented(bitwise(5, comp, comp)));
    EXPECT_FALSE(complemented(bitwise(7, comp, comp)));
    EXPECT_FALSE(complemented(bitwise(6, a, comp)));
    EXPECT_TRUE(test_support::raises(Err::script_invalid_type, [&] { bitwise(5, a, integer(1)); }));
}

TEST_F(BitsetTest, ComplementTogglesAndInverts) {
    Cell b = make(binary_of({0xF0}));
    Cell c = *bitset::complement(&b);
    EXPECT_EQ(molded(c), "make bitset! [not #{F0}]");
    EXPECT_EQ(*bitset::first_byte(&c), 0x0F) << "the stored bits are the members";
    Cell back = *bitset::complement(&c);
    EXPECT_EQ(molded(back), "make bitset! #{F0}");
    EXPECT_EQ(types::row(T_BITSET).negate, types::row(T_BITSET).complement);
}

// ---- text and compare ----------------------------------------------------------------------

TEST_F(BitsetTest, FormStopsWhenThePartBudgetRunsOut) {
    Cell b = make(binary_of({0x12, 0x34, 0x56}));
    Cell buffer, part = integer(16);
    string::write_cell(&buffer, 32);
    bitset::form(&b, &buffer, &part, 16);
    EXPECT_EQ(utf8_of(&buffer), "make bitset! #{12");
    string::write_cell(&buffer, 32);
    EXPECT_EQ(bitset::form(&b, &buffer, nullptr, 100), 100 - 22);
    EXPECT_EQ(utf8_of(&buffer), "make bitset! #{123456}");
}

TEST_F(BitsetTest, CompareByLengthFlagThenLastBytes) {
    Cell a = make(binary_of({0x01, 0x02}));
    struct Case {
        Cell right;
        int32_t answer;
    };
    const Case cases[] = {
        {make(binary_of({0x01})), 1},
        {make(binary_of({0x01, 0x02, 0x00})), -1},
        {make(binary_of({0x01, 0x02})), 0},
        {make(binary_of({0x00, 0x03})), -1},   // the last byte decides first
        {make(binary_of({0xFF, 0x01})), 1},
        {make(block_of({word_of("not"), binary_of({0x01, 0x02})})), -1},
        {integer(1), -2},
    };
    for (const Case& c : cases) {
        Cell right = c.right;
        EXPECT_EQ(bitset::compare(&a, &right, 0), c.answer) << molded(right);
    }
    Cell e1 = make(integer(0)), e2 = *bitset::complement(&e1);
    EXPECT_EQ(bitset::compare(&e1, &e2, 0), 0);
    Cell same = a;
    Cell equal = make(a);
    EXPECT_EQ(bitset::compare(&a, &same, 9), 0);
    EXPECT_EQ(bitset::compare(&a, &equal, 9), 1);
}

}  // namespace
