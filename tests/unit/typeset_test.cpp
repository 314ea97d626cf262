// typeset!: the bit layout, make from datatypes, typesets and words, type
// blocks of function specs, the set and bit operations, membership,
// comparison, and the molded and formed text.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "core/datatype.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/word.h"
#include "datatypes/typeset.h"
#include "test_values.h"

using namespace zel;

namespace {

using test_values::block_of;
using test_values::integer;
using test_values::raised;
using test_values::utf8_of;

using TypesetTest = ::testing::Test;

Cell datatype_of(uint32_t t) {
    Cell c;
    datatype::write_cell(&c, t);
    return c;
}

Cell set_of(std::initializer_list<uint32_t> types) {
    Cell ts;
    typeset::init_empty(&ts);
    for (uint32_t t : types) typeset::set_bit(&ts, t);
    return ts;
}

std::vector<uint32_t> members(const Cell& ts) {
    std::vector<uint32_t> out;
    for (uint32_t t = 0; t < 96; t++)
        if (typeset::has(&ts, t)) out.push_back(t);
    return out;
}

TEST_F(TypesetTest, BitLayout) {
    // Type t is bit 0x80 >> (t mod 8) of payload byte t / 8, byte 0 being the
    // low byte of word 1.
    struct Case {
        uint32_t type;
        uint32_t w1, w2, w3;
    };
    const Case cases[] = {
        {T_DATATYPE, 0x40, 0, 0},       {T_UNSET, 0x20, 0, 0},          {T_INTEGER, 0x1000, 0, 0},
        {T_ERROR, 0, 0x20, 0},          {T_TYPESET, 0, 0x40, 0},        {T_EVENT, 0, 0x00020000, 0},
        {T_POINT3D, 0, 0x00080000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        Cell ts = set_of({c.type});
        EXPECT_EQ(cell::type(&ts), T_TYPESET);
        EXPECT_EQ(typeset::words(&ts)[0], c.w1);
        EXPECT_EQ(typeset::words(&ts)[1], c.w2);
        EXPECT_EQ(typeset::words(&ts)[2], c.w3);
        Cell slot;
        typeset::init_slot(&slot, c.w1, c.w2, c.w3);
        EXPECT_EQ(members(slot), std::vector<uint32_t>{c.type});
    }
}

TEST_F(TypesetTest, MakeFromBlockOrTypeset) {
    Cell number = set_of({T_INTEGER, T_FLOAT});
    Cell my_type = word::intern("my-type"), my_set = word::intern("my-set");
    Cell block_type = datatype_of(T_BLOCK);
    word::set_value(&my_type, &block_type);
    word::set_value(&my_set, &number);
    Cell spec = block_of({datatype_of(T_STRING), my_type, my_set, datatype_of(T_STRING)});
    Cell made = *typeset::make(nullptr, &spec, T_TYPESET);
    EXPECT_EQ(members(made), (std::vector<uint32_t>{T_BLOCK, T_STRING, T_INTEGER, T_FLOAT}));
    // From the block's index on.
    cell::set_series_index(&spec, 2);
    EXPECT_EQ(members(*typeset::make(nullptr, &spec, T_TYPESET)), (std::vector<uint32_t>{T_STRING, T_INTEGER, T_FLOAT}));
    EXPECT_EQ(typeset::make(nullptr, &number, T_TYPESET), &number);

    Cell three = integer(3), bad = block_of({integer(1)});
    EXPECT_EQ(raised([&] { typeset::make(nullptr, &three, T_TYPESET); }).id, "bad-to-arg");
    EXPECT_EQ(raised([&] { typeset::make(nullptr, &bad, T_TYPESET); }).id, "invalid-arg");
}

TEST_F(TypesetTest, FromTypeBlock) {
    Cell my_type = word::intern("my-type2"), a_word = word::intern("my-word"), target = word::intern("target");
    Cell pair_type = datatype_of(T_PAIR);
    word::set_value(&my_type, &pair_type);
    word::set_value(&a_word, &target);
    Cell ts;
    Cell spec = block_of({datatype_of(T_INTEGER), set_of({T_FILE}), my_type, block_of({datatype_of(T_MAP)}), a_word});
    typeset::from_type_block(&ts, &spec);
    EXPECT_EQ(members(ts), (std::vector<uint32_t>{T_FILE, T_INTEGER, T_OBJECT, T_PAIR}));

    Cell unset_word = word::intern("never-set"), bad = block_of({integer(5)}), with_unset = block_of({unset_word});
    EXPECT_EQ(raised([&] { typeset::from_type_block(&ts, &with_unset); }).id, "no-value");
    EXPECT_EQ(raised([&] { typeset::from_type_block(&ts, &bad); }).id, "invalid-type-spec");
}

TEST_F(TypesetTest, SetOperations) {
    const Cell a = set_of({T_INTEGER, T_FLOAT, T_STRING}), b = set_of({T_FLOAT, T_BLOCK});
    struct Case {
        int32_t code;
        std::vector<uint32_t> result;
    };
    const Case cases[] = {
        {5, {T_BLOCK, T_STRING, T_INTEGER, T_FLOAT}},  {9, {T_BLOCK, T_STRING, T_INTEGER, T_FLOAT}},
        {6, {T_FLOAT}},                                {10, {T_FLOAT}},
        {7, {T_BLOCK, T_STRING, T_INTEGER}},           {12, {T_BLOCK, T_STRING, T_INTEGER}},
        {11, {T_STRING, T_INTEGER}},                   {8, {T_STRING, T_INTEGER, T_FLOAT}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        Cell r = a;
        typeset::combine(&r, &b, c.code);
        EXPECT_EQ(members(r), c.result);
    }
    // A datatype stands for its one-member typeset; anything else is refused
    // (except by unique, which ignores its second argument).
    Cell r = a, block_type = datatype_of(T_BLOCK), five = integer(5);
    typeset::combine(&r, &block_type, 9);
    EXPECT_EQ(members(r), (std::vector<uint32_t>{T_BLOCK, T_STRING, T_INTEGER, T_FLOAT}));
    EXPECT_EQ(raised([&] { typeset::combine(&r, &five, 10); }).id, "invalid-arg");
    typeset::combine(&r, &five, 8);

    // The frame form used by and~, or~ and xor~.
    stack::init();
    stack::push(&a);
    stack::push(&b);
    typeset::xor_();
    EXPECT_EQ(members(*stack::reg.base), (std::vector<uint32_t>{T_BLOCK, T_STRING, T_INTEGER}));
}

TEST_F(TypesetTest, ComplementKeepsToTheDatatypes) {
    Cell all;
    typeset::init_all_but_unset(&all);
    EXPECT_EQ(typeset::count(&all), uint32_t(TYPE_COUNT - 2));
    Cell only_unset = *typeset::complement(&all);
    EXPECT_EQ(members(only_unset), std::vector<uint32_t>{T_UNSET});
    // Twice is the identity, so it compares equal to the start.
    Cell none = set_of({});
    Cell everything = *typeset::complement(&none);
    EXPECT_EQ(typeset::count(&everything), uint32_t(TYPE_COUNT - 1));
    EXPECT_FALSE(typeset::has(&everything, 0));
    Cell back = *typeset::complement(&everything);
    EXPECT_EQ(typeset::compare(&back, &none, 0), 0);
    Cell u = set_of({T_UNSET});
    Cell all_back = *typeset::complement(&u);
    EXPECT_EQ(typeset::compare(&all_back, &all, 0), 0);
}

TEST_F(TypesetTest, FindAndCompare) {
    Cell ts = set_of({T_INTEGER, T_FLOAT}), same = set_of({T_FLOAT, T_INTEGER}), other = set_of({T_STRING});
    Cell integer_type = datatype_of(T_INTEGER), string_type = datatype_of(T_STRING), one = integer(1);
    auto find = [&](Cell* v) { return typeset::find(&ts, v, nullptr, false, false, false, false, nullptr, nullptr, false, false, false, false); };
    EXPECT_EQ(find(&integer_type), &statics::true_cell);
    EXPECT_EQ(find(&string_type), &statics::false_cell);
    EXPECT_EQ(raised([&] { find(&one); }).id, "invalid-arg");

    struct Case {
        Cell* other;
        int32_t op;
        int32_t answer;
    };
    const Case cases[] = {
        {&same, 0, 0}, {&same, 2, 0}, {&same, 9, 0}, {&same, 12, 0}, {&other, 0, 1}, {&other, 1, 1},
        {&other, 7, 1}, {&other, 8, 1}, {&same, 7, 0}, {&other, 3, -2}, {&same, 5, -2}, {&one, 0, -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        EXPECT_EQ(typeset::compare(&ts, c.other, c.op), c.answer);
    }
    EXPECT_EQ(typeset::compare(&other, &ts, 7), -1);
}

TEST_F(TypesetTest, ListTypes) {
    Cell ts = set_of({T_MONEY, T_NONE, T_STRING}), block;
    typeset::list_types(&ts, &block);
    SeriesBuffer* b = node::buffer(cell::series_node(&block));
    ASSERT_EQ(series::length(b), 3u);
    const uint32_t expected[] = {T_NONE, T_STRING, T_MONEY};
    for (uint32_t i = 0; i < 3; i++) {
        EXPECT_EQ(cell::type(series::cells(b) + i), T_DATATYPE);
        EXPECT_EQ(cell::datatype_id(&series::cells(b)[i]), expected[i]);
    }
}

struct Molded {
    std::string text;
    int32_t left;
};
Molded mold_of(Cell ts, bool only, Cell* part = nullptr, int32_t limit = INT32_MAX, bool form = false) {
    Cell buffer;
    string::write_cell(&buffer, 32);
    int32_t left = form ? typeset::form(&ts, &buffer, part, limit)
                        : typeset::mold(&ts, &buffer, only, false, false, part, limit, 0);
    return {utf8_of(&buffer), left};
}

TEST_F(TypesetTest, MoldAndForm) {
    struct Case {
        Cell ts;
        bool only;
        const char* text;
    };
    const Case cases[] = {
        {set_of({T_FLOAT, T_INTEGER}), false, "make typeset! [integer! float!]"},
        {set_of({T_FLOAT, T_INTEGER}), true, "integer! float!"},
        {set_of({}), false, "make typeset! []"},
        {set_of({}), true, ""},
        {set_of({T_POINT2D}), false, "make typeset! [point2D!]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Molded m = mold_of(c.ts, c.only);
        EXPECT_EQ(m.text, c.text);
        EXPECT_EQ(size_t(INT32_MAX - m.left), m.text.size());
    }
    EXPECT_EQ(mold_of(set_of({T_FLOAT, T_INTEGER}), false, nullptr, INT32_MAX, true).text,
              "make typeset! [integer! float!]");
    // With a part limit the names stop once it is spent.
    Cell part = integer(20);
    Molded cut = mold_of(set_of({T_INTEGER, T_FLOAT, T_STRING}), false, &part, 20);
    EXPECT_EQ(cut.text, "make typeset! [string! ");
    EXPECT_LE(cut.left, 0);
}

}  // namespace
