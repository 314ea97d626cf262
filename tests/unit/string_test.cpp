// string! actions: comparison, find and select, path access, make and to,
// mold (read back through the lexer), append/insert/change, sort, trim,
// take, swap, the set operations and case changes, on texts of 1-, 2- and
// 4-byte units.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/bitset.h"
#include "core/block.h"
#include "core/block_search.h"
#include "core/context.h"
#include "core/dispatch.h"
#include "core/ownership.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/string_actions.h"
#include "core/symbol.h"
#include "core/word.h"
#include "io/lexer.h"
#include "tests/unit/test_support.h"
#include "tests/unit/test_values.h"

using namespace zel;

namespace {

using test_values::ch;
using test_values::integer;
using test_values::text;
using test_values::utf8_of;

using StringTest = ::testing::Test;

// A string! of the UTF-8 text at the narrowest unit, or widened to unit.
Cell str(const std::string& utf8, uint32_t unit = 1, int32_t index = 0) {
    Cell s;
    string::load_at(reinterpret_cast<const uint8_t*>(utf8.data()), uint32_t(utf8.size()), &s, string::ENC_UTF8);
    if (unit > series::unit(string::buffer_of(&s))) string::widen_to(string::buffer_of(&s), unit);
    cell::set_series_index(&s, uint32_t(index));
    return s;
}

uint32_t unit_of(const Cell* s) { return series::unit(string::buffer_of(s)); }

// ---- comparison -------------------------------------------------------------------

TEST_F(StringTest, CompareFoldsCaseExceptStrictAndAcrossUnits) {
    struct Case {
        const char* a;
        uint32_t unit_a;
        const char* b;
        uint32_t unit_b;
        int32_t op;
        int32_t expected;
    };
    const Case cases[] = {
        {"abc", 1, "ABC", 1, actions::OP_EQUAL, 0},
        {"abc", 1, "ABC", 4, actions::OP_EQUAL, 0},
        {"abc", 2, "ABC", 1, actions::OP_STRICT_EQUAL, 1},
        {"abc", 1, "abc", 4, actions::OP_STRICT_EQUAL, 0},
        {"été", 2, "ÉTÉ", 1, actions::OP_EQUAL, 0},
        {"abc", 1, "abd", 1, actions::OP_LESSER, -1},
        {"ab", 1, "abc", 2, actions::OP_LESSER, -1},
        {"abc", 1, "ab", 1, actions::OP_EQUAL, 1},
        {"b", 1, "A", 1, actions::OP_SORT, 1},
        {"b", 1, "A", 1, actions::OP_SORT_CASE, 1},
        {"B", 1, "a", 1, actions::OP_SORT_CASE, -1},
        {"", 1, "", 1, actions::OP_EQUAL, 0},
    };
    for (const Case& c : cases) {
        Cell a = str(c.a, c.unit_a), b = str(c.b, c.unit_b);
        EXPECT_EQ(string::compare(&a, &b, c.op), c.expected) << c.a << " " << c.b << " op " << c.op;
    }
}

TEST_F(StringTest, CompareAcrossTextTypesOnlyForEquality) {
    Cell s = str("abc"), f = text("ABC", T_FILE);
    EXPECT_EQ(string::compare(&s, &f, actions::OP_EQUAL), 0);
    EXPECT_EQ(string::compare(&s, &f, actions::OP_LESSER), actions::NOT_COMPARABLE);
    Cell n = integer(1);
    EXPECT_EQ(string::compare(&s, &n, actions::OP_EQUAL), actions::NOT_COMPARABLE);
    Cell same = s;
    EXPECT_EQ(string::compare(&s, &same, actions::OP_SAME), 0);
    Cell other = str("abc");
    EXPECT_EQ(string::compare(&s, &other, actions::OP_SAME), -1);
}

TEST_F(StringTest, EqualPartWithMatchIsAPrefixTest) {
    Cell s = str("abcd"), p = str("AB"), empty = str(""), longer = str("abcde");
    EXPECT_EQ(string::is_equal_part(&s, &p, actions::OP_EQUAL, true), 0);
    EXPECT_EQ(string::is_equal_part(&s, &p, actions::OP_STRICT_EQUAL, true), 1);
    EXPECT_EQ(string::is_equal_part(&s, &empty, actions::OP_FIND, true), 1);
    EXPECT_EQ(string::is_equal_part(&s, &empty, actions::OP_EQUAL, true), 0);
    EXPECT_EQ(string::is_equal_part(&s, &longer, actions::OP_EQUAL, true), 1);
}

// ---- find and select --------------------------------------------------------------

struct FindCase {
    const char* hay;
    uint32_t hay_unit;
    int32_t index;
    const char* pattern;  // null: the char! below
    uint32_t pattern_char;
    int32_t part, skip;  // -1: not given
    bool case_, last, reverse, tail, match;
    int32_t expected;  // index of the answer, -1 for none
};

int32_t run_find(const FindCase& c) {
    Cell s = str(c.hay, c.hay_unit, c.index);
    Cell v = c.pattern ? str(c.pattern) : ch(c.pattern_char);
    Cell part = integer(c.part), skip = integer(c.skip);
    const Cell* r = string::find(&s, &v, c.part < 0 ? nullptr : &part, false, c.case_, false, false, nullptr,
                                 c.skip < 0 ? nullptr : &skip, c.last, c.reverse, c.tail, c.match);
    return cell::type(r) == T_NONE ? -1 : cell::series_index(r);
}

TEST_F(StringTest, FindTable) {
    const FindCase cases[] = {
        // hay, unit, index, pattern, char, part, skip, case, last, reverse, tail, match, expected
        {"abcd", 1, 0, "ab", 0, -1, -1, false, false, false, false, true, 0},
        {"abcd", 1, 0, "ab", 0, -1, -1, false, false, false, true, true, 2},
        {"abcd", 1, 0, "bc", 0, -1, -1, false, false, false, false, true, -1},
        {"abcabc", 1, 0, "bc", 0, -1, -1, false, true, false, false, false, 4},
        {"abcabc", 1, 0, "bc", 0, -1, -1, false, false, false, false, false, 1},
        {"abcabc", 1, 0, "bc", 0, -1, -1, false, false, false, true, false, 3},
        {"abcabc", 1, 6, "bc", 0, -1, -1, false, false, true, false, false, 4},
        {"abcabc", 1, 4, "bc", 0, -1, -1, false, false, true, false, false, 1},
        {"abcabc", 1, 6, "bc", 0, -1, -1, false, false, true, false, true, -1},
        {"abcabc", 1, 6, "bc", 0, 2, -1, false, false, true, false, false, 4},
        {"abcabc", 1, 6, "a", 0, 2, -1, false, false, true, false, false, -1},
        {"abcabc", 1, 6, "bc", 0, -1, -1, false, false, false, false, false, -1},
        {"ABC", 1, 0, "b", 0, -1, -1, false, false, false, false, false, 1},
        {"ABC", 1, 0, "b", 0, -1, -1, true, false, false, false, false, -1},
        {"ABC", 1, 0, nullptr, 'c', -1, -1, false, false, false, false, false, 2},
        {"abcabc", 1, 0, nullptr, 'c', 2, -1, false, false, false, false, false, -1},
        {"abcabc", 1, 0, nullptr, 'c', 3, -1, false, false, false, false, false, 2},
        {"axbxbx", 1, 0, nullptr, 'x', -1, 2, false, false, false, false, false, -1},
        {"axbxbx", 1, 0, nullptr, 'b', -1, 2, false, false, false, false, false, 2},
        {"abcabc", 1, 2, "abc", 0, -1, -1, false, false, false, false, false, 3},
        {"abcabc", 1, 2, "abc", 0, -1, -1, false, true, false, false, false, 3},
        {"abcab", 1, 0, "abc", 0, -1, -1, false, true, false, false, false, 0},
        // units mixed on both sides
        {"xÉtéy", 2, 0, "ÉTÉ", 0, -1, -1, false, false, false, false, false, 1},
        {"xÉtéy", 2, 0, "été", 0, -1, -1, true, false, false, false, false, -1},
        {"a😀b😀", 4, 0, "😀", 0, -1, -1, false, true, false, false, false, 3},
        {"abc", 4, 0, "BC", 0, -1, -1, false, false, false, false, false, 1},
        {"ab", 1, 0, nullptr, 0x1F600, -1, -1, false, false, false, false, false, -1},
        {"aé", 1, 0, nullptr, 0xC9, -1, -1, false, false, false, false, false, 1},
    };
    for (const FindCase& c : cases)
        EXPECT_EQ(run_find(c), c.expected) << c.hay << " / " << (c.pattern ? c.pattern : "char");
}

TEST_F(StringTest, FindInABitsetAndOfOtherValues) {
    Cell bits;
    bitset::write_cell(&bits, 16, 0);
    bitset::first_byte(&bits)['c' >> 3] |= uint8_t(0x80 >> ('c' & 7));
    Cell s = str("abcé😀");
    const Cell* r = string::find(&s, &bits, nullptr, false, false, false, false, nullptr, nullptr, false, false,
                                 false, false);
    EXPECT_EQ(cell::series_index(r), 2u);
    // Beyond its bits a complemented bitset holds every character.
    string::buffer_of(&bits)->flags |= SER_COMPLEMENT;
    Cell t = str("c😀", 1, 1);
    r = string::find(&t, &bits, nullptr, false, false, false, false, nullptr, nullptr, false, false, false, false);
    EXPECT_EQ(cell::series_index(r), 1u);
    // Other values are formed first: true reads as its text.
    Cell u = str("is TRUE");
    const Cell* yes = &statics::true_cell;
    r = string::find(&u, const_cast<Cell*>(yes), nullptr, false, false, false, false, nullptr, nullptr, false,
                     false, false, false);
    EXPECT_EQ(cell::series_index(r), 3u);
}

TEST_F(StringTest, FindRaisesOnBadRefinements) {
    Cell s = str("abc"), v = str("b"), zero = integer(0), block;
    block::write_cell(&block, 1);
    auto find = [&](Cell* part, bool any, Cell* skip) {
        string::find(&s, &v, part, false, false, false, any, nullptr, skip, false, false, false, false);
    };
    EXPECT_TRUE(test_support::raises(Err::script_out_of_range, [&] { find(nullptr, false, &zero); }));
    EXPECT_TRUE(test_support::raises(Err::internal_not_done, [&] { find(nullptr, true, nullptr); }));
    EXPECT_TRUE(test_support::raises(Err::script_invalid_refine_arg, [&] { find(&block, false, nullptr); }));
}

TEST_F(StringTest, SelectAnswersTheCharacterAfterTheMatch) {
    struct Case {
        const char* hay;
        const char* pattern;
        int32_t expected;  // code point, -1 for none
    };
    const Case cases[] = {{"abc", "b", 'c'}, {"abc", "c", -1}, {"abcd", "bc", 'd'}, {"aé😀", "é", 0x1F600}};
    for (const Case& c : cases) {
        Cell s = str(c.hay), v = str(c.pattern);
        const Cell* r =
            string::select(&s, &v, nullptr, false, false, false, false, nullptr, nullptr, false, false);
        if (c.expected < 0) {
            EXPECT_EQ(cell::type(r), T_NONE) << c.hay;
        } else {
            EXPECT_EQ(cell::type(r), T_CHAR);
            EXPECT_EQ(cell::get_char(r), uint32_t(c.expected)) << c.hay;
        }
    }
}

TEST_F(StringTest, PathAccess) {
    Cell s = str("abc"), two = integer(2), b = str("b"), w = word::intern("b"), path;
    block::write_cell(&path, 1);
    EXPECT_EQ(cell::get_char(string::eval_path(&s, &two, nullptr, &path, nullptr, nullptr, 0, false, false, true, false)),
              uint32_t('b'));
    EXPECT_EQ(cell::get_char(string::eval_path(&s, &b, nullptr, &path, nullptr, nullptr, 0, false, false, true, false)),
              uint32_t('c'));
    Cell x = ch('X');
    string::eval_path(&s, &b, &x, &path, nullptr, nullptr, 0, false, false, true, false);
    EXPECT_EQ(utf8_of(&s), "abX");
    Cell missing = str("q");
    EXPECT_TRUE(test_support::raises(Err::script_bad_path_set, [&] {
        string::eval_path(&s, &missing, &x, &path, nullptr, nullptr, 0, false, false, true, false);
    }));
    EXPECT_TRUE(test_support::raises(Err::script_invalid_path, [&] {
        string::eval_path(&s, &w, nullptr, &path, nullptr, nullptr, 0, false, false, true, false);
    }));
}

// ---- make, to and form ------------------------------------------------------------

TEST_F(StringTest, MakeAndTo) {
    Cell type, room = integer(10), negative = integer(-1), none = statics::none_cell;
    cell::make_datatype(&type, T_STRING);
    const Cell* r = string::make(&type, &room, T_FILE);
    EXPECT_EQ(cell::type(r), T_FILE);
    EXPECT_EQ(string::get_abs_length(r), 0u);
    EXPECT_TRUE(test_support::raises(Err::script_out_of_range, [&] { string::make(&type, &negative, T_STRING); }));
    EXPECT_TRUE(test_support::raises(Err::script_bad_to_arg, [&] { string::to(&type, &none, T_STRING); }));

    Cell parts;
    block::write_cell(&parts, 3);
    Cell a = ch('a'), bc = str("bé"), yes = statics::true_cell;
    block::append_copy(&parts, &a);
    block::append_copy(&parts, &bc);
    block::append_copy(&parts, &yes);
    r = string::to(&type, &parts, T_STRING);
    EXPECT_EQ(utf8_of(r), "abétrue");

    Cell e = str("é");
    cell::make_datatype(&type, T_BINARY);
    r = string::make(&type, &e, T_BINARY);
    EXPECT_EQ(cell::type(r), T_BINARY);
    EXPECT_EQ(string::get_abs_length(r), 2u);  // UTF-8
    EXPECT_EQ(string::char_at(r, 0), 0xC3u);
    cell::make_datatype(&type, T_STRING);

    Cell source = str("xyz😀", 1, 1);
    r = string::to(&type, &source, T_URL);
    EXPECT_EQ(cell::type(r), T_URL);
    EXPECT_EQ(utf8_of(r), "yz😀");
    EXPECT_EQ(unit_of(r), 4u);
}

Cell binary_of(const std::string& bytes) {
    Cell b;
    cell::make_series(&b, T_BINARY, series::new_units(uint32_t(bytes.size()), 1));
    std::memcpy(series::reserve(string::buffer_of(&b), uint32_t(bytes.size())), bytes.data(), bytes.size());
    return b;
}

TEST_F(StringTest, ToDecodesBinaryAsUtf8) {
    Cell type;
    cell::make_datatype(&type, T_STRING);
    Cell good = binary_of("h\xC3\xA9!");
    EXPECT_EQ(utf8_of(string::to(&type, &good, T_STRING)), "hé!");
    Cell bad = binary_of("ok\xC3(x");
    EXPECT_TRUE(test_support::raises(Err::access_invalid_utf8, [&] { string::to(&type, &bad, T_STRING); }));
}

TEST_F(StringTest, FormStopsAtTheLimitAndLeavesTheSource) {
    Cell s = str("abc"), buffer = str("😀");
    EXPECT_EQ(string::form(&s, &buffer, nullptr, 2), 0);
    EXPECT_EQ(utf8_of(&buffer), "😀ab");
    EXPECT_EQ(unit_of(&s), 1u);
    EXPECT_EQ(string::form(&s, &buffer, nullptr, 10), 7);
}

// ---- mold -------------------------------------------------------------------------

std::string mold(const Cell* value, bool all = false) {
    Cell v = *value, buffer = str("");
    string::mold(&v, &buffer, false, all, false, nullptr, 0x7FFFFFFF, 0);
    return utf8_of(&buffer);
}

TEST_F(StringTest, MoldTable) {
    struct Case {
        std::string text;
        bool all;
        std::string expected;
    };
    const Case cases[] = {
        {std::string(49, 'a'), false, "\"" + std::string(49, 'a') + "\""},
        {std::string(50, 'a'), false, "{" + std::string(50, 'a') + "}"},
        {"say \"hi\"", false, "{say \"hi\"}"},
        {"a\nb\nc", false, "\"a^/b^/c\""},
        {"a\nb\nc\nd", false, "{a^/b^/c^/d}"},
        {"\x1E", false, "\"^(1E)\""},
        {"\xC2\x85", false, "\"^(85)\""},
        {"\x7F", false, "\"^~\""},
        {"^", false, "\"^^\""},
        {"é", false, "\"é\""},
        {"é", true, "\"^(E9)\""},
        {std::string("\0\t\x1B", 3), false, "\"^@^-^[\""},
        {"{}", false, "\"{}\""},
        {"\"a{b", false, "{\"a^{b}"},
        {"\"a{b{c}", false, "{\"a^{b^{c^}}"},
        {"\"a}b", false, "{\"a^}b}"},
        {"\"{a}}{", false, "{\"{a}^}^{}"},
        {"\"^", false, "{\"^^}"},
        {"\"\n", false, "{\"^/}"},
    };
    for (const Case& c : cases) {
        Cell s = str(c.text);
        EXPECT_EQ(mold(&s, c.all), c.expected) << c.text;
    }
}

TEST_F(StringTest, MoldCountsTheRangeAndLimitsIt) {
    Cell s = str("abcdef", 2, 1), buffer = str(""), part = integer(3);
    EXPECT_EQ(string::mold(&s, &buffer, false, false, false, &part, 3, 0), 3 - 3 - 2);
    EXPECT_EQ(utf8_of(&buffer), "\"bcd\"");
}

TEST_F(StringTest, MoldCharOutsideStrings) {
    Cell buffer = str("");
    string::mold_char(&buffer, '"', 0, false);
    string::mold_char(&buffer, 0x1E, 0, false);
    string::mold_char(&buffer, 0xE9, 0, true);
    EXPECT_EQ(utf8_of(&buffer), "\"^(1E)^(E9)");
}

TEST_F(StringTest, BraceScanFindsTheFirstUnmatchedOpening) {
    struct Case {
        const char* text;
        uint32_t expected;
    };
    const Case cases[] = {{"a{b", 1}, {"{a}", 3}, {"{{a}", 0}, {"{a}{", 3}, {"}{", 1}, {"{}}{{}", 3}, {"", 0}};
    for (const Case& c : cases) {
        Cell s = str(c.text, 2);
        EXPECT_EQ(string::first_unmatched_brace(string::head_ptr(&s), string::get_length(&s), 2), c.expected)
            << c.text;
    }
}

// What mold writes, the lexer reads back as the same string.
TEST_F(StringTest, MoldReadsBackThroughTheLexer) {
    const std::string texts[] = {
        "plain",
        std::string(60, 'x'),
        "quote \" inside",
        "l1\nl2\nl3\nl4",
        "tab\there",
        "caret ^ and {braces} and } and {",
        "\"{a}}{",
        "a{b{c}",
        std::string("\x1E\x01\x1F", 3),
        "\x7F",
        "Latin é and \xC2\x85 and wide 😀 and 中",
        std::string("\"") + std::string(3, '\n') + "}{",
    };
    for (const std::string& text : texts) {
        for (bool all : {false, true}) {
            Cell s = str(text);
            std::string molded = mold(&s, all);
            Cell block = lexer::load_text(molded.data(), molded.size());
            ASSERT_EQ(block::buffer_length(&block), 1u) << molded;
            Cell* back = block::writable_cell_at(&block, 0);
            ASSERT_EQ(cell::type(back), T_STRING) << molded;
            EXPECT_EQ(utf8_of(back), text) << molded;
        }
    }
}

// ---- append, insert, change -------------------------------------------------------

struct PutCase {
    const char* target;
    uint32_t target_unit;
    int32_t index;
    const char* value;  // null: the char! below
    uint32_t value_char;
    int32_t part, dup;
    enum { APPEND, INSERT, CHANGE } action;
    const char* expected;
    int32_t answer_index;
};

TEST_F(StringTest, AppendInsertChangeTable) {
    const PutCase cases[] = {
        {"ab", 1, 0, "cd", 0, -1, 1, PutCase::APPEND, "abcd", 0},
        {"", 1, 0, "ab", 0, -1, 3, PutCase::APPEND, "ababab", 0},
        {"x", 1, 0, "abcdef", 0, 3, 1, PutCase::APPEND, "xabc", 0},
        {"x", 1, 0, "abcdef", 0, 2, 2, PutCase::APPEND, "xabab", 0},
        {"a", 1, 0, nullptr, 0xE9, -1, 1, PutCase::APPEND, "aé", 0},
        {"a", 1, 0, nullptr, 0x1F600, -1, 2, PutCase::APPEND, "a😀😀", 0},
        {"abc", 1, 1, "XY", 0, -1, 1, PutCase::INSERT, "aXYbc", 3},
        {"abc", 1, 1, "XY", 0, -1, 3, PutCase::INSERT, "aXYXYXYbc", 7},
        {"abc", 1, 3, "XY", 0, 1, 1, PutCase::INSERT, "abcX", 4},
        {"abc", 2, 1, "😀", 0, -1, 1, PutCase::INSERT, "a😀bc", 2},
        {"abc", 4, 0, "é", 0, -1, 1, PutCase::INSERT, "éabc", 1},
        {"abc", 1, 0, nullptr, 0xE9, -1, 1, PutCase::INSERT, "éabc", 1},
        {"abcdef", 1, 1, "XY", 0, -1, 1, PutCase::CHANGE, "aXYdef", 3},
        {"abcdef", 1, 1, "X", 0, 3, 1, PutCase::CHANGE, "aXef", 2},
        {"abcdef", 1, 1, "XY", 0, 1, 2, PutCase::CHANGE, "aXYXYcdef", 5},
        {"abc", 1, 2, "XYZ", 0, -1, 1, PutCase::CHANGE, "abXYZ", 5},
        {"abc", 1, 3, "XY", 0, -1, 1, PutCase::CHANGE, "abcXY", 5},
        {"abc", 1, 0, nullptr, 0x4E2D, -1, 1, PutCase::CHANGE, "中bc", 1},
        {"a😀c", 4, 1, "b", 0, -1, 1, PutCase::CHANGE, "abc", 2},
    };
    for (const PutCase& c : cases) {
        Cell s = str(c.target, c.target_unit, c.index);
        Cell v = c.value ? str(c.value) : ch(c.value_char);
        const Cell* r = c.action == PutCase::CHANGE
                            ? string::change(&s, &v, c.part, false, c.dup)
                            : string::insert(&s, &v, c.part, false, c.dup, c.action == PutCase::APPEND);
        Cell whole = s;
        cell::set_series_index(&whole, 0);
        EXPECT_EQ(utf8_of(&whole), c.expected) << c.target << " + " << (c.value ? c.value : "char");
        EXPECT_EQ(cell::series_index(r), c.answer_index) << c.target;
    }
}

TEST_F(StringTest, AppendWidensForLatin1WhileInsertKeepsOneByte) {
    Cell a = str("a"), b = str("a"), e = ch(0xE9);
    string::insert(&a, &e, -1, false, 1, true);
    string::insert(&b, &e, -1, false, 1, false);
    EXPECT_EQ(unit_of(&a), 2u);
    EXPECT_EQ(unit_of(&b), 1u);
}

TEST_F(StringTest, TagAndFormedValues) {
    Cell s = str("a"), tag = text("b", T_TAG);
    string::insert(&s, &tag, -1, false, 1, true);
    EXPECT_EQ(utf8_of(&s), "a<b>");
    Cell t = str("xy", 1, 1);
    const Cell* r = string::insert(&t, &tag, -1, false, 2, false);
    cell::set_series_index(&t, 0);
    EXPECT_EQ(utf8_of(&t), "x<b><b>y");
    EXPECT_EQ(cell::series_index(r), 7u);

    Cell u = str("a"), yes = statics::true_cell;
    string::insert(&u, &yes, 2, false, 2, true);
    EXPECT_EQ(utf8_of(&u), "atrtr");
    Cell block;
    block::write_cell(&block, 2);
    Cell x = ch('x'), yz = str("yz");
    block::append_copy(&block, &x);
    block::append_copy(&block, &yz);
    Cell v = str("-", 1, 1);
    r = string::insert(&v, &block, -1, false, 1, false);
    cell::set_series_index(&v, 0);
    EXPECT_EQ(utf8_of(&v), "-xyz");
    EXPECT_EQ(cell::series_index(r), 4u);
    Cell w = str("a");
    string::insert(&w, &block, 2, false, 1, true);
    EXPECT_EQ(utf8_of(&w), "axy");
}

// A string put into itself reads its own characters as they were.
TEST_F(StringTest, InsertingAStringIntoItself) {
    struct Case {
        int32_t target_index, source_index, part, dup;
        bool change, append;
        const char* expected;
    };
    const Case cases[] = {
        {1, 0, -1, 1, false, false, "aabcbc"},
        {0, 1, -1, 1, false, false, "bcabc"},
        {2, 0, 2, 2, false, false, "ababab" "c"},
        {0, 0, -1, 1, false, true, "abcabc"},
        {0, 1, -1, 3, false, true, "abcbcbcbc"},
        {1, 0, -1, 1, true, false, "aabc"},
        {0, 2, -1, 1, true, false, "cbc"},
        {1, 0, 1, 1, true, false, "aabcc"},
    };
    for (const Case& c : cases) {
        Cell s = str("abc", 1, c.target_index), v = s;
        cell::set_series_index(&v, uint32_t(c.source_index));
        if (c.change)
            string::change(&s, &v, c.part, false, c.dup);
        else
            string::insert(&s, &v, c.part, false, c.dup, c.append);
        cell::set_series_index(&s, 0);
        EXPECT_EQ(utf8_of(&s), c.expected);
    }
}

// The owner's handler runs before the change and may change the string; the
// action measures it again afterwards.
std::vector<std::string> events;
uint32_t cut_to = 0;

void record_and_cut(Cell*, Cell*, const Cell* target, const Cell* action, const Cell*, int32_t, int32_t) {
    events.push_back(symbol::get_cstr(cell::word_symbol(action)));
    if (events.size() == 1) string::truncate(string::buffer_of(target), cut_to);
}

struct OwnedStringTest : StringTest {
    Cell owner{}, field{};
    void SetUp() override {
        Cell spec, name = word::intern("text");
        block::write_cell(&spec, 1);
        block::append_copy(&spec, &name);
        Node ctx = context::make(&spec, false, true, context::KIND_OBJECT);
        owner = Cell{T_OBJECT, ctx, 1, 1};
        *context::owner_of(ctx) = owner;
        field = *context::word_at(context::cell_of(ctx), 0);
        ownership::set_notifier(record_and_cut);
        events.clear();
    }
    Cell owned(const char* text, int32_t index) {
        Cell s = str(text, 1, index);
        ownership::assign(&s, &owner, &field);
        return s;
    }
};

TEST_F(OwnedStringTest, ActionsReadTheStringAgainAfterTheHandler) {
    cut_to = 2;
    Cell s = owned("abcdef", 4), xy = str("XY");
    const Cell* r = string::insert(&s, &xy, -1, false, 1, false);
    EXPECT_EQ(cell::series_index(r), 4u);
    cell::set_series_index(&s, 0);
    EXPECT_EQ(utf8_of(&s), "abXY");
    EXPECT_EQ(events, (std::vector<std::string>{"insert", "inserted"}));
    ownership::release(&s);

    events.clear();
    Cell t = owned("abcdef", 1);
    string::change(&t, &xy, 4, false, 1);
    cell::set_series_index(&t, 0);
    EXPECT_EQ(utf8_of(&t), "aXY");
    EXPECT_EQ(events, (std::vector<std::string>{"change", "changed"}));
    ownership::release(&t);

    events.clear();
    cut_to = 3;
    Cell u = owned(" a b c ", 0), yes = statics::true_cell;
    string::insert(&u, &yes, -1, false, 1, true);
    EXPECT_EQ(utf8_of(&u), " a true");
    EXPECT_EQ(events, (std::vector<std::string>{"append", "appended"}));
    ownership::release(&u);

    events.clear();
    Cell v = owned(" a b c ", 0);
    string::trim(&v, false, false, false, false, true, nullptr);
    EXPECT_EQ(utf8_of(&v), "a");
    EXPECT_EQ(events, (std::vector<std::string>{"trim", "trimmed"}));
    ownership::release(&v);

    events.clear();
    cut_to = 1;
    Cell w = owned("dcba", 0);
    string::sort(&w, false, nullptr, nullptr, nullptr, false, false, false);
    EXPECT_EQ(utf8_of(&w), "d");
    EXPECT_EQ(events, (std::vector<std::string>{"sort", "sorted"}));
    ownership::release(&w);
}

// ---- sort -------------------------------------------------------------------------

struct SortCase {
    const char* text;
    uint32_t unit;
    int32_t index;
    bool case_, reverse, all, stable;
    int32_t skip, part, compare;  // -1: not given
    const char* expected;         // the whole string
};

void run_sort(const SortCase& c) {
    Cell s = str(c.text, c.unit, c.index), skip = integer(c.skip), part = integer(c.part),
         compare = integer(c.compare);
    string::sort(&s, c.case_, c.skip < 0 ? nullptr : &skip, c.compare < 0 ? nullptr : &compare,
                 c.part < 0 ? nullptr : &part, c.all, c.reverse, c.stable);
    cell::set_series_index(&s, 0);
    EXPECT_EQ(utf8_of(&s), c.expected) << c.text;
}

TEST_F(StringTest, SortTable) {
    const SortCase cases[] = {
        {"bDa", 1, 0, false, false, false, false, -1, -1, -1, "abD"},
        {"bDa", 1, 0, true, false, false, false, -1, -1, -1, "Dab"},
        {"bDa", 2, 0, false, false, false, false, -1, -1, -1, "abD"},
        {"bDa", 4, 0, true, false, false, false, -1, -1, -1, "Dab"},
        {"bDa", 1, 0, false, true, false, false, -1, -1, -1, "Dba"},
        {"éÉa", 2, 0, false, false, false, true, -1, -1, -1, "aéÉ"},
        {"zcba", 1, 1, false, false, false, false, -1, -1, -1, "zabc"},
        {"dcba", 1, 0, false, false, false, false, -1, 2, -1, "cdba"},
        {"b2a1b1", 1, 0, false, false, false, true, 2, -1, -1, "a1b2b1"},
        {"b2a1b1", 1, 0, false, false, true, false, 2, -1, -1, "a1b1b2"},
        {"b2a3c1", 1, 0, false, false, false, false, 2, -1, 2, "c1b2a3"},
        {"x😀y中", 4, 0, false, false, false, false, -1, -1, -1, "xy中😀"},
    };
    for (const SortCase& c : cases) run_sort(c);
}

TEST_F(StringTest, SortNegativePartSortsBeforeTheIndex) {
    Cell s = str("dcba", 1, 3), part = integer(-2);
    const Cell* r = string::sort(&s, false, nullptr, nullptr, &part, false, false, false);
    EXPECT_EQ(cell::series_index(r), 1u);
    cell::set_series_index(&s, 0);
    EXPECT_EQ(utf8_of(&s), "dbca");
}

TEST_F(StringTest, SortRaisesOnBadRefinements) {
    Cell s = str("abcd"), three = integer(3), two = integer(2), zero = integer(0), b = str("x");
    EXPECT_TRUE(test_support::raises(Err::script_bad_refines, [&] {
        string::sort(&s, false, nullptr, nullptr, nullptr, true, false, false);
    }));
    EXPECT_TRUE(test_support::raises(Err::script_invalid_refine_arg, [&] {
        string::sort(&s, false, &three, nullptr, nullptr, false, false, false);
    }));
    EXPECT_TRUE(test_support::raises(Err::script_out_of_range,
                                     [&] { string::sort(&s, false, &two, &zero, nullptr, false, false, false); }));
    EXPECT_TRUE(test_support::raises(Err::script_bad_refines, [&] {
        string::sort(&s, false, nullptr, &two, nullptr, false, false, false);
    }));
    EXPECT_TRUE(test_support::raises(Err::script_invalid_refine_arg,
                                     [&] { string::sort(&s, false, nullptr, &b, nullptr, false, false, false); }));
    EXPECT_EQ(utf8_of(&s), "abcd");
}

// The comparator stands in for a function! through the caller that the
// function layer installs; no layer installs one at boot yet, so the test
// removes its own afterwards.
Cell* sorted_string = nullptr;
int calls = 0;
enum Behaviour { LESSER, SHORTEN, FAIL, RECORDS } behaviour;

const Cell* fake_caller(const Cell*, const Cell* first, const Cell* second) {
    calls++;
    if (behaviour == SHORTEN && calls == 2) string::truncate(string::buffer_of(sorted_string), 1);
    if (behaviour == FAIL && calls == 2) error::raise(Err::script_invalid_arg, first);
    if (behaviour == RECORDS)
        return string::compare(const_cast<Cell*>(first), const_cast<Cell*>(second), actions::OP_LESSER) < 0
                   ? &statics::true_cell
                   : &statics::false_cell;
    return cell::get_char(first) < cell::get_char(second) ? &statics::true_cell : &statics::false_cell;
}

struct FunctionSortTest : StringTest {
    void SetUp() override {
        block::set_compare_caller(fake_caller);
        calls = 0;
    }
    const Cell* run(Cell* s, Behaviour b, Cell* skip = nullptr, bool all = false, bool reverse = false) {
        behaviour = b;
        sorted_string = s;
        calls = 0;
        Cell function{T_FUNCTION, 0, 0, 0};
        return string::sort(s, false, skip, &function, nullptr, all, reverse, false);
    }
};

TEST_F(FunctionSortTest, ComparatorOrdersCharacters) {
    Cell s = str("dbéa😀c");
    run(&s, LESSER);
    EXPECT_EQ(utf8_of(&s), "abcdé😀");
    Cell t = str("dbac");
    run(&t, LESSER, nullptr, false, true);
    EXPECT_EQ(utf8_of(&t), "dcba");
    Cell u = str("b2a3c1"), two = integer(2);
    run(&u, RECORDS, &two, true);
    EXPECT_EQ(utf8_of(&u), "a3b2c1");
}

TEST_F(FunctionSortTest, ComparatorThatFailsOrShortensLeavesTheString) {
    Cell s = str("dcba");
    EXPECT_TRUE(test_support::raises(Err::script_invalid_arg, [&] { run(&s, FAIL); }));
    EXPECT_EQ(utf8_of(&s), "dcba");
    Cell t = str("dcba");
    run(&t, SHORTEN);
    EXPECT_EQ(utf8_of(&t), "d");
}

// ---- trim -------------------------------------------------------------------------

TEST_F(StringTest, TrimTable) {
    struct Case {
        std::string text;
        uint32_t unit;
        bool head, tail, lines, all;
        const char* with;
        std::string expected;
    };
    const char* sample = "  a  \n  b  ";
    const Case cases[] = {
        {sample, 1, false, false, false, false, nullptr, "a\nb"},
        {sample, 1, false, false, true, false, nullptr, "a b"},
        {sample, 2, false, false, false, false, nullptr, "a\nb"},
        {sample, 4, false, false, true, false, nullptr, "a b"},
        {sample, 1, true, false, false, false, nullptr, "a  \n  b  "},
        {sample, 1, false, true, false, false, nullptr, "  a  \n  b"},
        {sample, 1, true, true, false, false, nullptr, "a  \n  b"},
        {sample, 1, false, false, false, true, nullptr, "ab"},
        {" a\t\r\n", 1, false, false, false, false, nullptr, "a\n"},
        {"  a \n\n b\n", 1, false, false, false, false, nullptr, "a\n\nb\n"},
        {"\xE3\x80\x80 a\xC2\xA0 b\xE2\x80\x83", 2, false, false, false, false, nullptr, "a\xC2\xA0 b"},
        {"\xE3\x80\x80 a\xC2\xA0 b\xE2\x80\x83", 2, false, false, true, false, nullptr, "a b"},
        {"abcabc", 1, false, false, false, false, "cb", "aa"},
        {"a😀b😀", 4, false, false, false, false, "😀", "ab"},
        {std::string(" \0a ", 4), 1, false, false, false, false, nullptr, std::string("\0a", 2)},
        {"   ", 1, false, false, false, false, nullptr, ""},
    };
    for (const Case& c : cases) {
        Cell s = str(c.text, c.unit), with = c.with ? str(c.with) : Cell{};
        string::trim(&s, c.head, c.tail, false, c.lines, c.all, c.with ? &with : nullptr);
        EXPECT_EQ(utf8_of(&s), c.expected) << c.text;
    }
}

TEST_F(StringTest, TrimWorksFromTheIndexAndChecksFirst) {
    Cell s = str(" a  b ", 1, 2), c = ch('b'), n = integer(' ');
    string::trim(&s, false, false, false, false, false, &c);
    EXPECT_EQ(utf8_of(&s), "   ");
    cell::set_series_index(&s, 0);
    EXPECT_EQ(utf8_of(&s), " a   ");
    Cell t = str("x y z");
    string::trim(&t, false, false, false, false, false, &n);
    EXPECT_EQ(utf8_of(&t), "xyz");
    Cell u = str(" a ");
    EXPECT_TRUE(test_support::raises(Err::internal_not_done,
                                     [&] { string::trim(&u, false, false, true, false, true, nullptr); }));
    EXPECT_EQ(utf8_of(&u), " a ");
}

// ---- take, swap ---------------------------------------------------------------------

TEST_F(StringTest, TakeAnswersACharWithoutPart) {
    Cell s = str("é");
    const Cell* r = string::take(&s, nullptr, false, false);
    EXPECT_EQ(cell::type(r), T_CHAR);
    EXPECT_EQ(cell::get_char(r), 0xE9u);
    EXPECT_EQ(string::get_abs_length(&s), 0u);
    Cell t = str("ab😀"), two = integer(2);
    r = string::take(&t, &two, false, true);
    EXPECT_EQ(cell::type(r), T_STRING);
    EXPECT_EQ(utf8_of(r), "b😀");
    EXPECT_EQ(utf8_of(&t), "a");
    Cell b = binary_of("\x07");
    EXPECT_EQ(cell::type(string::take(&b, nullptr, false, false)), T_INTEGER);
}

TEST_F(StringTest, SwapExchangesTheFirstCharacters) {
    Cell a = str("ab"), b = str("😀z");
    EXPECT_EQ(string::swap(&a, &b), &a);
    EXPECT_EQ(utf8_of(&a), "😀b");
    EXPECT_EQ(utf8_of(&b), "az");
    Cell tail = str("x", 1, 1);
    string::swap(&a, &tail);
    EXPECT_EQ(utf8_of(&a), "😀b");
    Cell n = integer(1), bin = binary_of("q");
    EXPECT_TRUE(test_support::raises(Err::script_invalid_arg, [&] { string::swap(&a, &n); }));
    EXPECT_TRUE(test_support::raises(Err::script_out_of_range, [&] { string::swap(&a, &bin); }));
    EXPECT_EQ(utf8_of(&a), "😀b");
}

// ---- set operations -----------------------------------------------------------------

std::string set_op(int32_t op, const std::string& a, uint32_t ua, const std::string& b, uint32_t ub,
                   bool case_ = false, int32_t skip = -1) {
    Cell* base = stack::reg.top;
    stack::reg.base = base;
    *stack::push_slot() = str(a, ua);
    *stack::push_slot() = str(b, ub);
    Cell size = integer(skip);
    const Cell* r = string::do_set_op(case_, skip < 0 ? nullptr : &size, op);
    EXPECT_EQ(r, base);
    EXPECT_EQ(cell::series_index(r), 0u);
    return utf8_of(r);
}

TEST_F(StringTest, SetOperationsOnMixedUnits) {
    struct Case {
        int32_t op;
        const char* a;
        uint32_t ua;
        const char* b;
        uint32_t ub;
        bool case_;
        int32_t skip;
        const char* expected;
    };
    const Case cases[] = {
        {block::SET_UNIQUE, "abcabc", 1, "", 1, false, -1, "abc"},
        {block::SET_UNIQUE, "aAbB", 1, "", 1, false, -1, "ab"},
        {block::SET_UNIQUE, "aAbB", 1, "", 1, true, -1, "aAbB"},
        {block::SET_UNION, "abc", 1, "cde", 1, false, -1, "abcde"},
        {block::SET_UNION, "aé", 2, "É😀a", 4, false, -1, "aé😀"},
        {block::SET_UNION, "aé", 1, "É😀a", 4, true, -1, "aéÉ😀"},
        {block::SET_INTERSECT, "a😀b中", 4, "中xé", 2, false, -1, "中"},
        {block::SET_INTERSECT, "abcb", 1, "BC", 4, false, -1, "bc"},
        {block::SET_EXCLUDE, "a😀b中", 4, "中xb", 2, false, -1, "a😀"},
        {block::SET_DIFFERENCE, "abé", 2, "b😀c", 4, false, -1, "aé😀c"},
        {block::SET_DIFFERENCE, "abc", 1, "abc", 1, false, -1, ""},
        {block::SET_UNIQUE, "a1a2b3", 1, "", 1, false, 2, "a1b3"},
        {block::SET_UNION, "a1b2", 1, "b9c3", 1, false, 2, "a1b2c3"},
        {block::SET_EXCLUDE, "a1b2c3", 1, "b9", 1, false, 2, "a1c3"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(set_op(c.op, c.a, c.ua, c.b, c.ub, c.case_, c.skip), c.expected) << c.a << " " << c.b;
}

TEST_F(StringTest, SetOperationKeepsTheFirstArgumentsType) {
    Cell* base = stack::reg.top;
    stack::reg.base = base;
    *stack::push_slot() = text("aab", T_FILE);
    Cell* r = const_cast<Cell*>(string::do_set_op(false, nullptr, block::SET_UNIQUE));
    EXPECT_EQ(cell::type(r), T_FILE);
    EXPECT_EQ(utf8_of(r), "ab");
    Cell zero = integer(0);
    EXPECT_TRUE(test_support::raises(Err::script_invalid_refine_arg,
                                     [&] { string::do_set_op(false, &zero, block::SET_UNIQUE); }));
}

// ---- case changes, push and load ------------------------------------------------------

TEST_F(StringTest, ChangeStringWidensWhenTheOtherCaseNeedsIt) {
    Cell s = str("aÿb");
    case_::change_string(&s, true, nullptr);
    EXPECT_EQ(utf8_of(&s), "AŸB");
    EXPECT_EQ(unit_of(&s), 2u);
    Cell t = str("ABCD", 1, 1), two = integer(2);
    case_::change_string(&t, false, &two);
    cell::set_series_index(&t, 0);
    EXPECT_EQ(utf8_of(&t), "AbcD");
    Cell u = str("ABCD"), end = u;
    cell::set_series_index(&end, 3);
    case_::change_string(&u, false, &end);
    EXPECT_EQ(utf8_of(&u), "abcD");
    Cell c = ch('x');
    case_::change_string(&c, true, nullptr);
    EXPECT_EQ(cell::get_char(&c), uint32_t('X'));
    Cell wrong = str("x");
    EXPECT_TRUE(test_support::raises(Err::script_invalid_refine_arg,
                                     [&] { case_::change_string(&u, true, &wrong); }));
}

TEST_F(StringTest, LoadUsesTheValueStack) {
    Cell* top = stack::reg.top;
    Cell* loaded = string::load(reinterpret_cast<const uint8_t*>("h\xC3\xA9"), 3, string::ENC_UTF8);
    EXPECT_EQ(loaded, top);
    EXPECT_EQ(utf8_of(loaded), "hé");
}

}  // namespace
