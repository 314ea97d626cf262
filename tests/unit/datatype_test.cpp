// The datatype registry: registration order and names, inheritance resolved at
// registration, name words, and the actions of datatype!.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/datatype.h"
#include "core/string.h"
#include "test_values.h"

using namespace zel;

namespace {

using test_values::supported;
using test_values::utf8_of;

struct DatatypeTest : ::testing::Test {
    // Every test leaves the registry as it found it.
    types::Registry saved = types::registry;
    ~DatatypeTest() override { types::registry = saved; }
};

int32_t form_a(Cell*, Cell*, Cell*, int32_t) { return 1; }
int32_t form_b(Cell*, Cell*, Cell*, int32_t) { return 2; }
int32_t compare_a(Cell*, Cell*, int32_t) { return 3; }

TEST_F(DatatypeTest, EveryTypeHasItsIdNameAndLength) {
    types::register_event();
    EXPECT_EQ(types::top(), 54u);
    struct Case {
        uint32_t id;
        const char* name;
    };
    const Case cases[] = {{T_DATATYPE, "datatype!"}, {T_LOGIC, "logic!"},       {T_SERIES, "series!"},
                          {T_INTEGER, "integer!"},   {T_SET_WORD, "set-word!"}, {T_POINT2D, "point2D!"},
                          {T_IMAGE, "image!"},       {T_EVENT, "event!"}};
    for (const Case& c : cases) {
        EXPECT_STREQ(types::name(c.id).name, c.name);
        EXPECT_EQ(types::name(c.id).length, std::strlen(c.name) - 1) << c.name;
    }
    for (uint32_t t = 1; t <= 54; t++) {
        const types::NameRecord& n = types::name(t);
        ASSERT_NE(n.name, nullptr) << t;
        EXPECT_EQ(n.name[n.length], '!') << n.name;
        EXPECT_EQ(n.name[n.length + 1], '\0') << n.name;
    }
}

TEST_F(DatatypeTest, BootRegistersAllButEvent) {
    types::registry = types::Registry{};
    types::register_all();
    EXPECT_EQ(types::top(), 53u);
    EXPECT_EQ(types::name(T_EVENT).name, nullptr);
}

TEST_F(DatatypeTest, RowsOfTypesNotRegisteredSupportNothing) {
    types::registry = types::Registry{};  // as at boot, before event! registers
    types::register_all();
    EXPECT_TRUE(supported(types::row(T_EVENT)).empty());  // registered after the library is built
    EXPECT_EQ(supported(types::row(T_DATATYPE)), (std::vector<uint32_t>{ACT_form, ACT_mold, ACT_compare}));
}

TEST_F(DatatypeTest, ChildCopiesParentRowAsItStoodAtRegistration) {
    datatype::register_({.id = 55, .name = "parent!", .form = form_a, .compare = compare_a});
    datatype::register_({.id = 56, .parent = 55, .name = "child!", .form = INHERIT, .mold = INHERIT,
                         .compare = INHERIT});
    datatype::register_({.id = 55, .name = "parent!", .form = form_b});
    EXPECT_EQ(types::row(55).form, &form_b);
    EXPECT_EQ(types::row(55).compare, nullptr);
    EXPECT_EQ(types::row(56).form, &form_a);
    EXPECT_EQ(types::row(56).compare, &compare_a);
    EXPECT_EQ(types::row(56).mold, nullptr);  // the parent did not support it
    EXPECT_EQ(types::top(), 56u);
}

TEST_F(DatatypeTest, InheritWithoutParentIsNotSupported) {
    datatype::register_({.id = 55, .name = "orphan!", .form = INHERIT, .compare = compare_a});
    EXPECT_EQ(types::row(55).form, nullptr);
    EXPECT_EQ(types::row(55).compare, &compare_a);
}

Cell counting_maker(const char* name) {
    static uint32_t count = 0;
    Cell c{T_WORD, 0, ++count, uint32_t(std::strlen(name))};
    return c;
}

TEST_F(DatatypeTest, NameWordsAreMadeForEveryIdThenAtRegistration) {
    types::registry = types::Registry{};  // as at boot, before event! registers
    types::register_all();
    types::make_name_words(counting_maker);
    for (uint32_t t = 1; t <= types::top(); t++) {
        EXPECT_EQ(types::name(t).word.header, uint32_t(T_WORD)) << t;
        EXPECT_EQ(cell::word_index(&types::name(t).word), types::name(t).length + 1) << t;
    }
    EXPECT_EQ(types::name(T_EVENT).word.header, 0u);
    types::register_event();
    EXPECT_EQ(types::name(T_EVENT).word.header, uint32_t(T_WORD));
    EXPECT_EQ(cell::word_symbol(&types::name(T_EVENT).word), cell::word_symbol(&types::name(T_IMAGE).word) + 1);
}

TEST_F(DatatypeTest, FormAndMoldWriteTheNameAndAnswerTheLimitLeft) {
    struct Case {
        bool mold, all;
        const char* text;
    };
    const Case cases[] = {{false, false, "integer"}, {true, false, "integer!"}, {true, true, "#(integer!)"}};
    for (const Case& c : cases) {
        Cell value, buffer;
        cell::make_datatype(&value, T_INTEGER);
        string::write_cell(&buffer, 16);
        const ActionRow& row = types::row(T_DATATYPE);
        int32_t left = c.mold ? row.mold(&value, &buffer, false, c.all, false, nullptr, 100, 0)
                              : row.form(&value, &buffer, nullptr, 100);
        EXPECT_EQ(utf8_of(&buffer), c.text);
        EXPECT_EQ(left, 100 - int32_t(std::strlen(c.text)));
    }
}

TEST_F(DatatypeTest, CompareAnswersEqualityOnlyAndNoOrder) {
    Cell integer, other, string_type, number;
    cell::make_datatype(&integer, T_INTEGER);
    cell::make_datatype(&other, T_INTEGER);
    cell::make_datatype(&string_type, T_STRING);
    cell::make_integer(&number, 7);
    struct Case {
        Cell* second;
        int32_t op, answer;
    };
    const Case cases[] = {{&other, 0, 0},       {&other, 1, 0},        {&other, 2, 0},  {&other, 9, 0},
                          {&other, 12, 0},      {&string_type, 0, 1},  {&number, 0, 1}, {&string_type, 12, 1},
                          {&string_type, 3, -2}, {&other, 5, -2},      {&other, 7, -2}, {&other, 10, -2}};
    for (const Case& c : cases)
        EXPECT_EQ(types::row(T_DATATYPE).compare(&integer, c.second, c.op), c.answer) << c.op;
}

TEST_F(DatatypeTest, AppendNewAddsADatatypeToABlock) {
    Cell block;
    cell::make_series(&block, T_BLOCK, series::new_cells(2));
    for (uint32_t t : {T_STRING, T_LOGIC, T_MONEY}) datatype::append_new(&block, t);
    SeriesBuffer* b = node::buffer(cell::series_node(&block));
    ASSERT_EQ(series::length(b), 3u);
    EXPECT_EQ(series::cells(b)[2].header, uint32_t(T_DATATYPE));
    EXPECT_EQ(cell::datatype_id(&series::cells(b)[2]), uint32_t(T_MONEY));
}

}  // namespace
