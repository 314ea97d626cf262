// String storage: widening in place behind the same node, character access,
// stores, copies between buffers, the loaders and the hexadecimal helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/string.h"
#include "kernel/fail.h"
#include "kernel/runtime.h"

using namespace zel;

namespace {

using StringStorageTest = ::testing::Test;

// A string! holding the code points, at the narrowest unit that holds them.
Cell make(const std::u32string& text, int32_t index = 0) {
    uint32_t unit = 1;
    for (char32_t c : text) unit = std::max(unit, c > 0xFFFF ? 4u : c > 0xFF ? 2u : 1u);
    Cell s;
    string::make_buffer_at(&s, uint32_t(text.size()), unit);
    SeriesBuffer* b = string::buffer_of(&s);
    for (char32_t c : text) b = string::insert_char(b, series::length(b), c);
    cell::set_series_index(&s, uint32_t(index));
    return s;
}

// The whole buffer, from its head.
std::u32string chars(const Cell* s) {
    std::u32string out;
    for (uint32_t i = 0; i < string::get_abs_length(s); i++) out += char32_t(string::char_at(s, i));
    return out;
}

uint32_t unit_of(const Cell* s) { return series::unit(string::buffer_of(s)); }

template <class F>
void expect_error(F f, const char* id) {
    EXPECT_THROW(f(), Throw);
    EXPECT_STREQ(fail::last_id(), id);
}

TEST_F(StringStorageTest, AppendWidensInPlaceBehindTheSameNode) {
    struct Case {
        std::u32string start;
        char32_t added;
        uint32_t unit;
    };
    const Case cases[] = {
        {U"", U'A', 1},          {U"", 0xE9, 2},         {U"ab", 0x4E00, 2},      {U"ab", 0x1F600, 4},
        {U"a\u4E00", 0x1F600, 4}, {U"a\u4E00", 0xFF, 2}, {U"\U0001F600", 'z', 4}, {U"\xE9", 0x7F, 1},
    };
    for (const Case& c : cases) {
        Cell s = make(c.start), shared = s;
        SeriesBuffer* b = string::append_char(string::buffer_of(&s), c.added);
        EXPECT_EQ(b, string::buffer_of(&s));
        EXPECT_EQ(unit_of(&s), c.unit) << uint32_t(c.added);
        EXPECT_EQ(cell::series_node(&shared), cell::series_node(&s));
        EXPECT_EQ(chars(&shared), c.start + c.added);
    }
}

TEST_F(StringStorageTest, AppendingAcrossWidthsKeepsEveryCharacter) {
    Cell s = make(U"");
    std::u32string expected;
    SeriesBuffer* b = string::buffer_of(&s);
    for (uint32_t i = 0; i < 300; i++) {
        char32_t c = i == 100 ? 0x4E00 : i == 200 ? 0x1F600 : char32_t('a' + i % 26);
        b = string::append_char(b, c);
        expected += c;
        if (i == 99 || i == 199) {
            EXPECT_EQ(unit_of(&s), i == 99 ? 1u : 2u);
        }
    }
    EXPECT_EQ(unit_of(&s), 4u);
    EXPECT_EQ(chars(&s), expected);
}

TEST_F(StringStorageTest, AppendToAByteStringWithRoomStoresWithoutMoving) {
    Cell s;
    string::write_cell(&s, 64);
    SeriesBuffer* before = string::buffer_of(&s);
    for (char c : std::string("plain ascii")) EXPECT_EQ(string::append_char(before, uint8_t(c)), before);
    EXPECT_EQ(chars(&s), U"plain ascii");
}

TEST_F(StringStorageTest, InsertPokeAndSetKeepLatin1InBytes) {
    struct Case {
        const char* op;
        uint32_t position;
        char32_t c;
        std::u32string result;
        uint32_t unit;
    };
    const Case cases[] = {
        {"insert", 1, 0xE9, U"a\xE9" U"bc", 1},     {"insert", 0, 0x4E00, U"\u4E00abc", 2},
        {"insert", 3, 0x1F600, U"abc\U0001F600", 4}, {"insert", 9, 'z', U"abcz", 1},
        {"poke", 2, 0xFF, U"ab\xFF", 1},            {"poke", 0, 0x100, U"\u0100bc", 2},
        {"poke", 1, 0x10FFFF, U"a\U0010FFFF" U"c", 4}, {"insert", 3, 'd', U"abcd", 1},
    };
    for (const Case& c : cases) {
        Cell s = make(U"abc");
        SeriesBuffer* b = string::buffer_of(&s);
        if (std::strcmp(c.op, "insert") == 0) string::insert_char(b, c.position, c.c);
        if (std::strcmp(c.op, "poke") == 0) string::poke_char(b, c.position, c.c);
        EXPECT_EQ(chars(&s), c.result) << c.op << " " << c.position;
        EXPECT_EQ(unit_of(&s), c.unit) << c.op << " " << c.position;
    }
}

TEST_F(StringStorageTest, InsertGrowsAFullBuffer) {
    Cell s = make(U"");
    SeriesBuffer* b = string::buffer_of(&s);
    std::u32string expected;
    for (uint32_t i = 0; i < 100; i++) {
        b = string::insert_char(b, i / 2, char32_t('0' + i % 10));
        expected.insert(expected.begin() + i / 2, char32_t('0' + i % 10));
    }
    EXPECT_EQ(chars(&s), expected);
}

TEST_F(StringStorageTest, LengthsAndAnIndexPastTheTail) {
    Cell s = make(U"hello", 2), other = s;
    EXPECT_EQ(string::get_length(&s), 3u);
    EXPECT_EQ(string::get_abs_length(&s), 5u);
    EXPECT_FALSE(string::is_at_tail(&s));
    string::truncate(string::buffer_of(&other), 1);
    EXPECT_TRUE(string::is_at_tail(&s));
    EXPECT_EQ(string::head_ptr(&s), series::tail_ptr(string::buffer_of(&s)));
    EXPECT_EQ(cell::series_index(&s), 1);
    cell::set_series_index(&s, 7);
    EXPECT_EQ(string::get_length(&s), 0u);
    EXPECT_EQ(cell::series_index(&s), 1);
    Cell empty = make(U"", -1);
    EXPECT_TRUE(string::is_at_tail(&empty));
    EXPECT_EQ(string::get_length(&empty), 0u);
}

TEST_F(StringStorageTest, FindCharAndStartsWith) {
    Cell s = make(U"xAb\u4E00ab", 1);
    EXPECT_EQ(string::find_char(&s, 'b'), 1);
    EXPECT_EQ(string::find_char(&s, 0x4E00), 2);
    EXPECT_EQ(string::find_char(&s, 'x'), -1);
    EXPECT_TRUE(string::starts_with_cstr(&s, "Ab"));
    EXPECT_TRUE(string::starts_with_cstr(&s, ""));
    EXPECT_FALSE(string::starts_with_cstr(&s, "ab"));
    EXPECT_FALSE(string::starts_with_cstr(&s, "Ab\xE4"));
    Cell shorter = make(U"Ab");
    EXPECT_FALSE(string::starts_with_cstr(&shorter, "Abc"));
}

TEST_F(StringStorageTest, RemoveAndTruncate) {
    struct Case {
        uint32_t offset, count;
        std::u32string result;
    };
    const Case cases[] = {{0, 1, U"bcd\u4E00"}, {2, 2, U"ab\u4E00"}, {3, 9, U"abc"}, {5, 1, U"abcd\u4E00"},
                          {1, 0, U"abcd\u4E00"}};
    for (const Case& c : cases) {
        Cell s = make(U"abcd\u4E00");
        string::remove_at(&s, c.offset, c.count);
        EXPECT_EQ(chars(&s), c.result) << c.offset << " " << c.count;
    }
    Cell s = make(U"ab\U0001F600cd", 3);
    string::truncate(string::buffer_of(&s), 9);
    EXPECT_EQ(chars(&s), U"ab\U0001F600cd");
    string::truncate(string::buffer_of(&s), 2);
    EXPECT_EQ(chars(&s), U"ab");
}

TEST_F(StringStorageTest, MoveCharsBetweenWidths) {
    Cell source = make(U"12\u4E003456", 1), target = make(U"abc", 1);
    string::move_chars(&source, &target, 3 * 2);
    EXPECT_EQ(chars(&target), U"a2\u4E003bc");
    EXPECT_EQ(chars(&source), U"1456");
    EXPECT_EQ(unit_of(&target), 2u);
}

TEST_F(StringStorageTest, CopyPartIntoPlacesByModeAndWidens) {
    struct Case {
        std::u32string target, source;
        int32_t source_index, count;
        uint32_t position;
        bool convert;
        string::CopyMode mode;
        std::u32string result;
        uint32_t unit;
    };
    const Case cases[] = {
        {U"ab", U"xyz", 0, -1, 0, false, string::COPY_APPEND, U"abxyz", 1},
        {U"ab", U"xyz", 1, 1, 0, false, string::COPY_APPEND, U"aby", 1},
        {U"ab", U"xyz", 0, 9, 1, false, string::COPY_INSERT, U"axyzb", 1},
        {U"abcd", U"xy", 0, -1, 1, false, string::COPY_OVERWRITE, U"axyd", 1},
        {U"abcd", U"xyz", 0, -1, 3, false, string::COPY_OVERWRITE, U"abcxyz", 1},
        {U"ab", U"\u4E00z", 0, -1, 1, false, string::COPY_INSERT, U"a\u4E00zb", 2},
        {U"\U0001F600", U"xy", 0, -1, 0, true, string::COPY_APPEND, U"\U0001F600xy", 4},
        {U"\u4E00\u4E01", U"xy", 0, -1, 1, true, string::COPY_INSERT, U"\u4E00xy\u4E01", 2},
        {U"\u4E00\u4E01", U"xyz", 1, -1, 1, true, string::COPY_OVERWRITE, U"\u4E00yz", 2},
        {U"\u4E00", U"xy", 0, -1, 0, false, string::COPY_APPEND, U"\u4E00xy", 2},
    };
    for (const Case& c : cases) {
        Cell target = make(c.target), source = make(c.source, c.source_index);
        std::u32string before = chars(&source);
        uint32_t source_unit = unit_of(&source);
        string::copy_part_into(&target, &source, c.count, c.position, c.convert, c.mode);
        EXPECT_EQ(chars(&target), c.result);
        EXPECT_EQ(unit_of(&target), c.unit);
        EXPECT_EQ(chars(&source), before);
        if (c.convert) {
            EXPECT_EQ(unit_of(&source), source_unit);
        }
    }
}

TEST_F(StringStorageTest, CopyPartIntoItsOwnBuffer) {
    struct Case {
        int32_t source_index, count;
        uint32_t position;
        string::CopyMode mode;
        std::u32string result;
    };
    const Case cases[] = {
        {0, -1, 0, string::COPY_APPEND, U"abcdeabcde"}, {1, 3, 2, string::COPY_INSERT, U"abbcdcde"},
        {3, 2, 1, string::COPY_INSERT, U"adebcde"},      {0, 2, 4, string::COPY_INSERT, U"abcdabe"},
        {1, 3, 0, string::COPY_OVERWRITE, U"bcdde"},     {0, 3, 3, string::COPY_OVERWRITE, U"abcabc"},
    };
    for (const Case& c : cases) {
        Cell s = make(U"abcde"), source = s;
        cell::set_series_index(&source, uint32_t(c.source_index));
        string::copy_part_into(&s, &source, c.count, c.position, false, c.mode);
        EXPECT_EQ(chars(&s), c.result) << c.source_index << " " << c.position;
    }
}

TEST_F(StringStorageTest, LoadUtf8ChoosesTheNarrowestUnit) {
    // The expected code points are the compiler's own reading of the literals.
    struct Case {
        const char* utf8;
        std::u32string chars;
        uint32_t unit;
    };
    const Case cases[] = {{"", U"", 1},
                          {"plain", U"plain", 1},
                          {"h\xC3\xA9llo", U"h\xE9llo", 1},
                          {"\xE6\xBC\xA2\xE5\xAD\x97", U"\u6F22\u5B57", 2},
                          {"a\xF0\x9F\x98\x80", U"a\U0001F600", 4}};
    for (const Case& c : cases) {
        Cell s;
        string::load_at(reinterpret_cast<const uint8_t*>(c.utf8), uint32_t(std::strlen(c.utf8)), &s, string::ENC_UTF8);
        EXPECT_EQ(cell::type(&s), uint32_t(T_STRING));
        EXPECT_EQ(cell::series_index(&s), 0);
        EXPECT_EQ(chars(&s), c.chars) << c.utf8;
        EXPECT_EQ(unit_of(&s), c.unit) << c.utf8;
    }
}

TEST_F(StringStorageTest, LoadUtf8RefusesInvalidBytes) {
    const char* cases[] = {"ab\xFF", "\xC3\x28", "\xE2\x82", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"};
    for (const char* text : cases) {
        Cell s = {T_INTEGER, 5, 5, 5};
        expect_error(
            [&] {
                string::load_at(reinterpret_cast<const uint8_t*>(text), uint32_t(std::strlen(text)), &s,
                                string::ENC_UTF8);
            },
            "invalid-utf8");
        EXPECT_EQ(cell::type(&s), uint32_t(T_UNSET)) << text;
    }
}

TEST_F(StringStorageTest, LoadUtf16AndUnknownEncodings) {
    // "A", U+20AC, U+1F600 as a pair, then a lone high surrogate.
    const uint8_t utf16[] = {0x41, 0x00, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8};
    Cell s;
    string::load_at(utf16, sizeof utf16, &s, string::ENC_UTF16LE);
    EXPECT_EQ(chars(&s), U"A\u20AC\U0001F600\uFFFD");
    EXPECT_EQ(unit_of(&s), 4u);
    expect_error([&] { string::load_at(utf16, 2, &s, 1); }, "not-done");
}

TEST_F(StringStorageTest, LoadInAppendsToABlock) {
    Cell block;
    cell::make_series(&block, T_BLOCK, series::new_cells(1));
    string::load_in(&block, reinterpret_cast<const uint8_t*>("one"), 3, string::ENC_UTF8);
    string::load_in(&block, reinterpret_cast<const uint8_t*>("two"), 3, string::ENC_UTF8);
    SeriesBuffer* b = node::buffer(cell::series_node(&block));
    ASSERT_EQ(series::length(b), 2u);
    EXPECT_EQ(chars(&series::cells(b)[1]), U"two");
}

TEST_F(StringStorageTest, AppendCstrAndBytes) {
    Cell s = make(U"x");
    string::append_cstr(&s, "");
    EXPECT_EQ(chars(&s), U"x");
    string::append_bytes(&s, reinterpret_cast<const uint8_t*>("zzz"), 0);
    EXPECT_EQ(chars(&s), U"x");
    string::append_cstr(&s, "abc");
    EXPECT_EQ(chars(&s), U"xabc");
    const uint8_t bytes[] = {0x00, 0x41, 0xE9};
    string::append_bytes(&s, bytes, 3);
    EXPECT_EQ(chars(&s), std::u32string(U"xabc") + char32_t(0) + U"A\xE9");
    EXPECT_EQ(unit_of(&s), 2u);
}

TEST_F(StringStorageTest, HexDigits) {
    // Expected texts from python3: format(v & 0xFFFFFFFF, '08X').
    struct Case {
        int32_t value;
        bool trimmed;
        const char* text;
    };
    const Case cases[] = {{0, true, "00"},         {255, true, "FF"},        {0x1E, true, "1E"},
                          {0x1F600, true, "1F600"}, {-1, false, "FFFFFFFF"}, {10, false, "0000000A"},
                          {0, false, "00000000"},  {-2, false, "FFFFFFFE"}, {INT32_MIN, false, "80000000"},
                          {0x7FFFFFFF, true, "7FFFFFFF"}, {-16, true, "0"}};
    for (const Case& c : cases) EXPECT_STREQ(string::int_to_hex(c.value, c.trimmed), c.text) << c.value;
    struct Byte {
        uint8_t value;
        const char* text;
    };
    for (Byte b : {Byte{0, "00"}, Byte{0x0A, "0A"}, Byte{0xE9, "E9"}, Byte{0xFF, "FF"}})
        EXPECT_EQ(std::string(string::byte_to_hex(b.value), 2), b.text);
}

using StringStorageDeathTest = StringStorageTest;

TEST_F(StringStorageDeathTest, BrokenStorageRulesAreFatal) {
    Cell s = make(U"abc");
    EXPECT_EXIT(string::poke_char(string::buffer_of(&s), 3, 'x'), ::testing::ExitedWithCode(101), "");
    EXPECT_EXIT(string::widen_to(string::buffer_of(&s), 1), ::testing::ExitedWithCode(101), "");
}

}  // namespace
