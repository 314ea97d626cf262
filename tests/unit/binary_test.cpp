// binary!: the byte-buffer interface, conversion of values to bytes, mold,
// comparison, the bitwise actions, append/insert/change and trim.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/stack.h"
#include "core/string.h"
#include "core/word.h"
#include "datatypes/binary.h"
#include "kernel/memory.h"
#include "tests/unit/test_support.h"
#include "tests/unit/test_values.h"

using namespace zel;

namespace {

using test_values::binary_of;
using test_values::integer;
using test_values::text;
using test_values::utf8_of;

using Bytes = std::vector<uint8_t>;

Bytes bytes_of(const Cell& c) {
    const uint8_t* p = binary::head_address(&c);
    return Bytes(p, p + binary::length(&c));
}

std::string mold(Cell v, bool flat = false, int32_t indent = 0) {
    Cell buffer;
    string::write_cell(&buffer, 16);
    binary::mold(&v, &buffer, false, false, flat, nullptr, 0x7FFFFFFF, indent);
    return utf8_of(buffer);
}

// Runs a frame action on two arguments and answers its result slot.
Cell call2(void (*fn)(), const Cell& a, const Cell& b) {
    Cell* saved_base = stack::reg.base;
    Cell* base = stack::reg.top;
    stack::reg.base = base;
    stack::push(&a);
    stack::push(&b);
    fn();
    Cell r = *base;
    stack::reg.top = base;
    stack::reg.base = saved_base;
    return r;
}

const Cell* to_binary(Cell spec) {
    Cell type;
    cell::make_datatype(&type, T_BINARY);
    return binary::to(&type, &spec, T_BINARY);
}

TEST(Binary, ToBinaryOfScalarsAndText) {
    Cell one = integer(1), minus = integer(-1), f, c, e = text("\xC3\xA9");
    cell::make_float(&f, 1.0);
    cell::make_char(&c, 0xE9);
    struct Case {
        Cell spec;
        Bytes expected;
    };
    const Case cases[] = {
        {one, {0, 0, 0, 1}},
        {minus, {0xFF, 0xFF, 0xFF, 0xFF}},
        {f, {0x3F, 0xF0, 0, 0, 0, 0, 0, 0}},
        {c, {0xC3, 0xA9}},
        {e, {0xC3, 0xA9}},
        {text("ab/c", T_FILE), {'a', 'b', '/', 'c'}},
        {binary_of({1, 2, 3}, 1), {2, 3}},
    };
    for (const Case& k : cases) EXPECT_EQ(bytes_of(*to_binary(k.spec)), k.expected);
}

TEST(Binary, ToBinaryOfBlocksIssuesAndErrors) {
    Cell block;
    cell::make_series(&block, T_BLOCK, series::new_cells(4));
    Cell* p = block::append_slot(&block);
    cell::make_integer(p, 65);
    p = block::append_slot(&block);
    *p = text("bc");
    p = block::append_slot(&block);
    *p = binary_of({0xFF});
    EXPECT_EQ(bytes_of(*to_binary(block)), (Bytes{'A', 'b', 'c', 0xFF}));

    Cell issue = word::intern_as("0aff", T_ISSUE);
    EXPECT_EQ(bytes_of(*to_binary(issue)), (Bytes{0x0A, 0xFF}));
    Cell bad_issue = word::intern_as("0g", T_ISSUE);
    EXPECT_TRUE(test_support::raises(Err::script_invalid_data, [&] { to_binary(bad_issue); }));
    EXPECT_TRUE(test_support::raises(Err::script_bad_to_arg, [&] { to_binary(statics::none_cell); }));
    Cell big = block;
    cell::make_integer(block::append_slot(&big), 256);
    EXPECT_TRUE(test_support::raises(Err::script_invalid_arg, [&] { to_binary(big); }));
    Cell self;
    cell::make_series(&self, T_BLOCK, series::new_cells(2));
    *block::append_slot(&self) = self;  // a block that holds itself
    EXPECT_TRUE(test_support::raises(Err::internal_too_deep, [&] { to_binary(self); }));
}

TEST(Binary, MoldBreaksLinesFrom31Bytes) {
    std::string z30;
    for (int i = 0; i < 30; i++) z30 += "5A";
    std::string z31 = z30 + "5A", z32 = z31 + "5A";
    EXPECT_EQ(mold(binary_of({})), "#{}");
    EXPECT_EQ(mold(binary_of({0x01, 0xAB})), "#{01AB}");
    EXPECT_EQ(mold(binary_of(Bytes(30, 0x5A))), "#{" + z30 + "}");
    EXPECT_EQ(mold(binary_of(Bytes(31, 0x5A))), "#{\n    " + z31 + "\n}");
    EXPECT_EQ(mold(binary_of(Bytes(32, 0x5A))), "#{\n    " + z32 + "\n    }");
    EXPECT_EQ(mold(binary_of(Bytes(33, 0x5A))), "#{\n    " + z32 + "\n    5A\n}");
    EXPECT_EQ(mold(binary_of(Bytes(31, 0x5A)), false, 1), "#{\n        " + z31 + "\n    }");
    EXPECT_EQ(mold(binary_of(Bytes(36, 0x5A)), true), "#{" + z32 + "5A5A5A5A}");
    Cell form_buffer;
    string::write_cell(&form_buffer, 16);
    Cell v = binary_of({0x0A, 0xFF});
    binary::form(&v, &form_buffer, nullptr, 100);
    EXPECT_EQ(utf8_of(form_buffer), "#{0AFF}");
}

TEST(Binary, CompareOrdersBytesAndEqualityNeedsEqualLengths) {
    struct Case {
        Bytes a, b;
        int32_t op, expected;
    };
    const Case cases[] = {
        {{1}, {1, 0}, 3, -1}, {{1}, {1, 0}, 0, 1},  {{1}, {1, 0}, 1, 1},  {{1}, {1, 0}, 2, 1},
        {{1}, {1, 0}, 12, 1}, {{2}, {1, 0}, 3, 1},  {{0xFF}, {0x01}, 3, 1}, {{}, {}, 0, 0},
        {{7, 8}, {7, 8}, 0, 0}, {{7, 8}, {7, 8}, 9, -1},
    };
    for (const Case& k : cases) {
        Cell a = binary_of(k.a), b = binary_of(k.b);
        EXPECT_EQ(binary::compare(&a, &b, k.op), k.expected) << k.op;
    }
    Cell a = binary_of({1, 2});
    Cell same = a;
    EXPECT_EQ(binary::compare(&a, &same, 9), 0);
    Cell s = text("x");
    EXPECT_EQ(binary::compare(&a, &s, 0), -2);
}

TEST(Binary, MatchingAtTheHead) {
    Cell b = binary_of({'a', 'b', 0xC3, 0xA9});
    Cell ab = text("ab"), abe = text("ab\xC3\xA9"), ac = text("ac"), empty = text("");
    EXPECT_EQ(binary::compare_bytes(&b, &ab, 0, true), 0);
    EXPECT_EQ(binary::compare_bytes(&b, &abe, 0, true), 0);  // text matches by its UTF-8 bytes
    EXPECT_NE(binary::compare_bytes(&b, &ac, 0, true), 0);
    EXPECT_EQ(binary::compare_bytes(&b, &empty, 0, true), 0);
    EXPECT_EQ(binary::compare_bytes(&b, &empty, 1, true), 1);
    Cell c;
    cell::make_char(&c, 'a');
    EXPECT_TRUE(binary::is_match_value(&b, &c, 0));
    cell::make_char(&c, 'b');
    EXPECT_FALSE(binary::is_match_value(&b, &c, 0));
    Cell i = integer(97);
    EXPECT_FALSE(binary::is_match_value(&b, &i, 0));
}

TEST(Binary, BitwiseActions) {
    Cell ff = binary_of({0xFF}), f0f = binary_of({0x0F, 0x0F});
    EXPECT_EQ(bytes_of(call2(binary::and_, ff, f0f)), (Bytes{0x0F, 0x00}));
    EXPECT_EQ(bytes_of(call2(binary::or_, ff, f0f)), (Bytes{0xFF, 0x0F}));
    EXPECT_EQ(bytes_of(call2(binary::xor_, ff, f0f)), (Bytes{0xF0, 0x0F}));
    EXPECT_EQ(bytes_of(call2(binary::xor_, f0f, ff)), (Bytes{0xF0, 0x0F}));
    EXPECT_EQ(bytes_of(ff), Bytes{0xFF});  // operands stay as they were
    Cell n = integer(1);
    EXPECT_TRUE(test_support::raises(Err::script_invalid_arg, [&] { call2(binary::and_, ff, n); }));
    Cell c = binary_of({0x00, 0x0F, 0xF0}, 1);
    binary::complement(&c);
    cell::set_series_index(&c, 0);
    EXPECT_EQ(bytes_of(c), (Bytes{0x00, 0xF0, 0x0F}));
}

TEST(Binary, AppendAndInsert) {
    Cell s = binary_of({});
    Cell ab = binary_of({0xAB});
    binary::append(&s, &ab, -1, false, 3, true);
    EXPECT_EQ(bytes_of(s), (Bytes{0xAB, 0xAB, 0xAB}));

    Cell t = binary_of({1, 2});
    Cell minus = integer(-1);
    binary::append(&t, &minus, -1, false, 1, true);
    EXPECT_EQ(bytes_of(t), (Bytes{1, 2, 0xFF}));
    Cell big = integer(256);
    EXPECT_TRUE(test_support::raises(Err::script_invalid_arg, [&] { binary::append(&t, &big, -1, false, 1, true); }));
    EXPECT_EQ(bytes_of(t), (Bytes{1, 2, 0xFF}));
    Cell f;
    cell::make_float(&f, 1.5);
    EXPECT_TRUE(test_support::raises(Err::script_bad_to_arg, [&] { binary::append(&t, &f, -1, false, 1, true); }));

    Cell u = binary_of({1, 2, 3}, 1);
    Cell xy = text("xy");
    const Cell* r = binary::append(&u, &xy, -1, false, 1, false);
    EXPECT_EQ(cell::series_index(r), 3u);
    Cell whole = *r;
    cell::set_series_index(&whole, 0);
    EXPECT_EQ(bytes_of(whole), (Bytes{1, 'x', 'y', 2, 3}));
    // append answers the series at its head
    Cell v = binary_of({1, 2}, 2);
    EXPECT_EQ(cell::series_index(binary::append(&v, &xy, -1, false, 1, true)), 0u);
}

TEST(Binary, InsertingABinaryIntoItself) {
    struct Case {
        int32_t at, from;
        Bytes expected;
    };
    const Case cases[] = {
        {0, 0, {1, 2, 3, 1, 2, 3}},
        {1, 0, {1, 1, 2, 3, 2, 3}},
        {0, 1, {2, 3, 1, 2, 3}},
        {1, 2, {1, 3, 2, 3}},
    };
    for (const Case& k : cases) {
        Cell s = binary_of({1, 2, 3}, k.at);
        Cell v = s;
        cell::set_series_index(&v, uint32_t(k.from));
        binary::append(&s, &v, -1, false, 1, false);
        cell::set_series_index(&s, 0);
        EXPECT_EQ(bytes_of(s), k.expected) << k.at << " " << k.from;
    }
}

TEST(Binary, AppendPartAndOnly) {
    Cell block;
    cell::make_series(&block, T_BLOCK, series::new_cells(4));
    *block::append_slot(&block) = text("abc");
    *block::append_slot(&block) = text("de");
    Cell s = binary_of({});
    binary::append(&s, &block, 1, false, 1, true);  // /part counts values
    EXPECT_EQ(bytes_of(s), (Bytes{'a', 'b', 'c'}));
    Cell t = binary_of({});
    binary::append(&t, &block, 4, true, 1, true);  // with /only it counts bytes
    EXPECT_EQ(bytes_of(t), (Bytes{'a', 'b', 'c', 'd'}));
}

TEST(Binary, Change) {
    Cell s = binary_of({1, 2, 3, 4}, 1);
    Cell f;
    cell::make_float(&f, 1.5);
    const Cell* r = binary::change(&s, &f, -1, false, 1);  // a float writes its formed text
    EXPECT_EQ(cell::series_index(r), 4u);
    cell::set_series_index(&s, 0);
    EXPECT_EQ(bytes_of(s), (Bytes{1, '1', '.', '5'}));

    Cell t = binary_of({1, 2, 3, 4}, 1);
    Cell x = binary_of({9});
    binary::change(&t, &x, 2, false, 1);
    cell::set_series_index(&t, 0);
    EXPECT_EQ(bytes_of(t), (Bytes{1, 9, 4}));

    Cell u = binary_of({1, 2, 3, 4});
    Cell tail = u;
    cell::set_series_index(&tail, 2);
    EXPECT_EQ(cell::series_index(binary::change(&u, &tail, -1, false, 1)), 2u);  // a change from the buffer itself
    cell::set_series_index(&u, 0);
    EXPECT_EQ(bytes_of(u), (Bytes{3, 4, 3, 4}));

    Cell w = binary_of({1});
    Cell ab = binary_of({0xA, 0xB});
    binary::change(&w, &ab, -1, false, 2);
    cell::set_series_index(&w, 0);
    EXPECT_EQ(bytes_of(w), (Bytes{0xA, 0xB, 0xA, 0xB}));
}

TEST(Binary, Trim) {
    struct Case {
        Bytes start;
        bool head, tail, all;
        Bytes expected;
    };
    const Case cases[] = {
        {{0, 0, 1, 0}, false, false, false, {1}},
        {{0, 1, 0, 2, 0}, false, false, true, {1, 2}},
        {{0, 1, 0}, true, false, false, {1, 0}},
        {{0, 1, 0}, false, true, false, {0, 1}},
        {{0, 0}, false, false, false, {}},
    };
    for (const Case& k : cases) {
        Cell s = binary_of(k.start);
        binary::trim(&s, k.head, k.tail, false, false, k.all, nullptr);
        EXPECT_EQ(bytes_of(s), k.expected);
    }
    Cell s = binary_of({'a', 'b', 'a', 'c'});
    Cell with = text("a");
    binary::trim(&s, false, false, false, false, false, &with);
    EXPECT_EQ(bytes_of(s), (Bytes{'b', 'c'}));
    EXPECT_TRUE(test_support::raises(Err::internal_not_done,
                                     [&] { binary::trim(&s, false, false, true, false, false, nullptr); }));
}

TEST(Binary, ByteBufferInterface) {
    Cell c;
    binary::init_empty(&c, 0);
    EXPECT_EQ(binary::length(&c), 0u);
    EXPECT_TRUE(binary::is_at_tail(&c));
    binary::append_int32_be(0x01020304, &c);
    EXPECT_EQ(bytes_of(c), (Bytes{1, 2, 3, 4}));
    const uint8_t more[] = {9, 9};
    binary::insert_bytes(&c, 1, more, 2);
    EXPECT_EQ(bytes_of(c), (Bytes{1, 9, 9, 2, 3, 4}));
    binary::overwrite_bytes(&c, 5, more, 2);
    EXPECT_EQ(bytes_of(c), (Bytes{1, 9, 9, 2, 3, 9, 9}));
    // growing far past the capacity keeps every byte
    Bytes big(1000);
    for (size_t i = 0; i < big.size(); i++) big[i] = uint8_t(i * 7);
    binary::overwrite_bytes(&c, 7, big.data(), uint32_t(big.size()));
    EXPECT_EQ(binary::length(&c), 1007u);
    EXPECT_EQ(binary::get_byte(&c, 1006), big.back());
    binary::insert_bytes(&c, 0, binary::head_address(&c) + 3, 2);  // from its own buffer
    EXPECT_EQ(Bytes(binary::head_address(&c), binary::head_address(&c) + 5), (Bytes{2, 3, 1, 9, 9}));
    cell::set_series_index(&c, 2);
    binary::cut_at_index(&c);
    EXPECT_TRUE(binary::is_at_tail(&c));
    cell::set_series_index(&c, 0);
    EXPECT_EQ(bytes_of(c), (Bytes{2, 3}));
    EXPECT_FALSE(binary::step_one(&c));
    EXPECT_TRUE(binary::step_one(&c));
    EXPECT_TRUE(binary::step(&c, 5));  // past the tail: stays
    EXPECT_EQ(cell::series_index(&c), 2u);

    uint8_t byte = 0;
    Cell ch;
    cell::make_char(&ch, 0x141);
    binary::set_byte(&byte, &ch);
    EXPECT_EQ(byte, 0x41);
    Cell none = statics::none_cell;
    EXPECT_TRUE(test_support::raises(Err::script_invalid_arg, [&] { binary::set_byte(&byte, &none); }));

    Cell* top = stack::reg.top;
    Cell* pushed = binary::from_memory(more, 2);
    EXPECT_EQ(pushed, top);
    EXPECT_EQ(bytes_of(*pushed), (Bytes{9, 9}));
    stack::reg.top = top;
}

}  // namespace
