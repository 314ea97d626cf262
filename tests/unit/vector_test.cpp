// vector! below the language: the packed element layout, the cell
// constructor and its size check, the routines other modules call, the
// action row, and the hand-over from the number arithmetic.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/datatype.h"
#include "core/series.h"
#include "core/stack.h"
#include "datatypes/vector.h"
#include "number_calls.h"
#include "test_values.h"

namespace zel {
namespace {

using namespace number_calls;
using test_values::supported;

using VectorTest = ::testing::Test;

// A vector of the values (each of the element type) at the width.
Cell vec(uint32_t type, uint32_t width, const std::vector<Cell>& values) {
    Cell v;
    vector::init_cell(&v, type, width, uint32_t(values.size()));
    for (const Cell& c : values) vector::append_value(&v, &c);
    return v;
}

Cell pct(double d) {
    Cell c = f64(d);
    c.header = T_PERCENT;
    return c;
}

std::vector<uint8_t> bytes_of(const Cell& v) {
    const uint8_t* p = vector::element_address(&v, 0);
    return std::vector<uint8_t>(p, p + vector::length(&v) * vector::width(&v));
}

TEST_F(VectorTest, ElementsArePackedLittleEndian) {
    struct Case {
        uint32_t width;
        int32_t stored, read;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {1, 200, -56, {0xC8}},
        {1, 300, 44, {0x2C}},
        {2, 40000, -25536, {0x40, 0x9C}},
        {2, -2, -2, {0xFE, 0xFF}},
        {4, 0x12345678, 0x12345678, {0x78, 0x56, 0x34, 0x12}},
        {4, INT32_MIN, INT32_MIN, {0x00, 0x00, 0x00, 0x80}},
    };
    for (const Case& c : cases) {
        uint8_t p[4] = {};
        Cell value = i32(c.stored), out;
        vector::write_element(p, &value, c.width);
        EXPECT_EQ(std::vector<uint8_t>(p, p + c.width), c.bytes) << c.stored;
        vector::load_element(&out, p, T_INTEGER, c.width);
        EXPECT_EQ(cell::type(&out), uint32_t(T_INTEGER));
        EXPECT_EQ(cell::get_int(&out), c.read) << c.stored;
    }
    // Chars keep their code point: the high bit of a narrow element is no sign.
    for (auto [width, code_point] : {std::pair{1u, 0xE9u}, std::pair{2u, 0x20ACu}, std::pair{4u, 0x1F600u}}) {
        uint8_t p[4] = {};
        Cell value = ch(code_point), out;
        vector::write_element(p, &value, width);
        vector::load_element(&out, p, T_CHAR, width);
        EXPECT_EQ(cell::type(&out), uint32_t(T_CHAR));
        EXPECT_EQ(cell::get_char(&out), code_point);
    }
}

// 32-bit elements hold the float narrowed and read back widened; 64-bit
// ones hold the double's own bits. A percent is stored as its fraction.
TEST_F(VectorTest, FloatElementsNarrowAtWidthFour) {
    uint8_t p[8];
    Cell value = f64(0.1), out;
    vector::write_element(p, &value, 4);
    float f = 0.1f;
    EXPECT_EQ(std::memcmp(p, &f, 4), 0);
    vector::load_element(&out, p, T_FLOAT, 4);
    EXPECT_EQ(out.header, uint32_t(T_FLOAT));
    EXPECT_EQ(cell::get_float(&out), double(0.1f));
    value = pct(0.5);
    vector::write_element(p, &value, 8);
    double d = 0.5;
    EXPECT_EQ(std::memcmp(p, &d, 8), 0);
    vector::load_element(&out, p, T_PERCENT, 8);
    EXPECT_EQ(out.header, uint32_t(T_PERCENT));
    EXPECT_EQ(cell::get_float(&out), 0.5);
}

TEST_F(VectorTest, StoringAnotherTypeRaisesInvalidType) {
    uint8_t p[8] = {};
    for (Cell bad : {test_values::none(), str("1"), vec(T_INTEGER, 4, {i32(1)})}) {
        test_values::Raised r = test_values::raised([&] { vector::write_element(p, &bad, 4); });
        EXPECT_EQ(r.id, "invalid-type");
    }
    EXPECT_EQ(std::vector<uint8_t>(p, p + 8), std::vector<uint8_t>(8, 0));
}

TEST_F(VectorTest, InitCellChecksTheByteSize) {
    Cell v;
    vector::init_cell(&v, T_FLOAT, 4, 3);
    EXPECT_EQ(cell::type(&v), uint32_t(T_VECTOR));
    EXPECT_EQ(cell::series_index(&v), 0u);
    EXPECT_EQ(cell::series_extra(&v), uint32_t(T_FLOAT));
    EXPECT_EQ(vector::width(&v), 4u);
    EXPECT_EQ(vector::length(&v), 0u);
    // Sizes whose bytes leave 32 bits are refused before any allocation.
    for (auto [width, count] : {std::pair{4u, 0x40000000u}, std::pair{8u, 0x20000000u}, std::pair{8u, 0xFFFFFFFFu}}) {
        EXPECT_EQ(test_values::raised([&] { vector::init_cell(&v, T_FLOAT, width, count); }).id, "no-memory")
            << width << " " << count;
    }
}

TEST_F(VectorTest, AppendValueWantsTheElementType) {
    Cell v = vec(T_INTEGER, 2, {i32(1), i32(-1)});
    EXPECT_EQ(bytes_of(v), (std::vector<uint8_t>{1, 0, 0xFF, 0xFF}));
    for (Cell bad : {f64(1), ch('a'), str("a")}) {
        EXPECT_EQ(test_values::raised([&] { vector::append_value(&v, &bad); }).id, "invalid-arg");
    }
    EXPECT_EQ(vector::length(&v), 2u);
}

TEST_F(VectorTest, ElementsToBlockFromTheIndex) {
    Cell v = vec(T_PERCENT, 4, {pct(0.25), pct(0.5), pct(0.75)}), block;
    cell::set_series_index(&v, 1);
    vector::elements_to_block(&v, &block);
    EXPECT_EQ(test_values::molded(block), "[50% 75%]");
    cell::set_series_index(&v, 3);
    vector::elements_to_block(&v, &block);
    EXPECT_EQ(test_values::molded(block), "[]");
    EXPECT_GE(series::buffer_of(&block)->size, 16u);
}

TEST_F(VectorTest, ReadElementPushesTheValue) {
    Cell v = vec(T_INTEGER, 1, {i32(-7)});
    Cell* top = stack::reg.top;
    Cell* pushed = vector::read_element(vector::element_address(&v, 0), T_INTEGER, 1);
    EXPECT_EQ(pushed, top);
    EXPECT_EQ(stack::reg.top, top + 1);
    EXPECT_EQ(cell::get_int(pushed), -7);
    stack::reg.top = top;
}

TEST_F(VectorTest, ActionRow) {
    EXPECT_EQ(supported(types::row(T_VECTOR)),
              (std::vector<uint32_t>{ACT_make, ACT_random, ACT_reflect, ACT_form, ACT_mold, ACT_eval_path,
                                     ACT_compare, ACT_add, ACT_divide, ACT_multiply, ACT_remainder,
                                     ACT_subtract, ACT_and_, ACT_or_, ACT_xor_, ACT_append, ACT_at, ACT_back,
                                     ACT_change, ACT_clear, ACT_copy, ACT_find, ACT_head, ACT_is_head,
                                     ACT_is_index, ACT_insert, ACT_is_length, ACT_move, ACT_next, ACT_pick,
                                     ACT_poke, ACT_remove, ACT_reverse, ACT_select, ACT_sort, ACT_skip,
                                     ACT_tail, ACT_is_tail, ACT_take, ACT_modify}));
    EXPECT_EQ(types::name(T_VECTOR).name, std::string("vector!"));
}

// integer!, float! and char! hand a vector second operand over with the
// number as the left operand of each element.
TEST_F(VectorTest, NumbersHandTheVectorOver) {
    struct Case {
        const char* action;
        Cell number;
        uint32_t type;
        std::vector<Cell> elements;
        const char* molded;
    };
    const Case cases[] = {
        {"add", i32(1), T_INTEGER, {i32(1), i32(2)}, "make vector! [2 3]"},
        {"subtract", i32(10), T_INTEGER, {i32(1), i32(2)}, "make vector! [9 8]"},
        {"divide", i32(12), T_INTEGER, {i32(3), i32(4)}, "make vector! [4 3]"},
        {"remainder", i32(10), T_INTEGER, {i32(3), i32(4)}, "make vector! [1 2]"},
        {"multiply", i32(2), T_INTEGER, {i32(INT32_MAX)}, "make vector! [-2]"},
        {"subtract", f64(1), T_FLOAT, {f64(0.5), f64(2)}, "make vector! [0.5 -1.0]"},
        {"divide", f64(1), T_FLOAT, {f64(4)}, "make vector! [0.25]"},
        {"multiply", f64(2.9), T_INTEGER, {i32(3)}, "make vector! [6]"},
    };
    for (const Case& c : cases) {
        Outcome o = arith(c.action, c.number, vec(c.type, vector::default_width(c.type), c.elements));
        ASSERT_EQ(o.code, -1) << c.action;
        EXPECT_EQ(molded(o.value), c.molded) << c.action;
    }
    EXPECT_EQ(arith("add", ch('a'), vec(T_INTEGER, 4, {i32(1)})).code, code(Err::internal_not_done));
    EXPECT_EQ(arith("divide", i32(1), vec(T_INTEGER, 4, {i32(0)})).code, code(Err::math_zero_divide));
    EXPECT_EQ(arith("add", f64(1e300), vec(T_INTEGER, 4, {i32(0)})).code, code(Err::math_overflow));
}

TEST_F(VectorTest, VectorsCombineAtTheWiderWidthOverTheShorterLength) {
    Cell a = vec(T_INTEGER, 1, {i32(1), i32(2), i32(3)});
    Cell b = vec(T_INTEGER, 2, {i32(100), i32(200), i32(300), i32(400), i32(500)});
    Outcome o = arith("add", a, b);
    ASSERT_EQ(o.code, -1);
    EXPECT_EQ(vector::width(&o.value), 2u);
    EXPECT_EQ(vector::length(&o.value), 3u);
    EXPECT_NE(cell::series_node(&o.value), cell::series_node(&a));
    EXPECT_EQ(molded(o.value), "make vector! [integer! 16 [101 202 303]]");
    EXPECT_EQ(molded(a), "make vector! [integer! 8 [1 2 3]]");
    EXPECT_EQ(arith("add", a, vec(T_CHAR, 1, {ch('a')})).code, code(Err::script_not_same_type));
}

// The text of 32-bit float elements: python3 narrows each value through
// struct and writes it with "%.7g" (the system adds ".0" to whole numbers).
TEST_F(VectorTest, Float32TextMatchesPython) {
    const std::vector<double> values = {0.1, 1.1, 3.14159, -2.75, 123.456, 0.333, 2.0, 65504.0};
    std::string list;
    for (double d : values) list += std::to_string(d) + ",";
    std::string oracle = test_values::run(
        "python3 -c \"import struct\n"
        "out = []\n"
        "for x in [" + list + "]:\n"
        "    t = '%.7g' % struct.unpack('f', struct.pack('f', x))[0]\n"
        "    out.append(t if '.' in t else t + '.0')\n"
        "print(' '.join(out), end='')\"");
    ASSERT_FALSE(oracle.empty());
    Cell v;
    vector::init_cell(&v, T_FLOAT, 4, uint32_t(values.size()));
    for (double d : values) {
        Cell c = f64(d);
        vector::append_value(&v, &c);
    }
    EXPECT_EQ(formed(v), oracle);
}

}  // namespace
}  // namespace zel
