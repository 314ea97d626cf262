// The lexer: tables of source text and the values, types, events or syntax
// errors it gives. Values are shown in a compact notation of this file
// (show), so that the tables do not depend on how each datatype molds.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/exits.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/error.h"
#include "datatypes/pair.h"
#include "io/lexer.h"
#include "io/number_scan.h"
#include "kernel/collector.h"
#include "kernel/memory.h"
#include "kernel/temp_roots.h"
#include "kernel/unicode.h"
#include "test_support.h"

namespace zel {
namespace {

using lexer::Mode;
using lexer::Request;

// ---- showing values ----------------------------------------------------------

std::string utf8_of(const Cell* v) {
    SeriesBuffer* b = node::buffer(cell::series_node(v));
    uint32_t unit = series::unit(b);
    std::string out;
    for (uint8_t* p = series::raw_bytes(b) + size_t(cell::series_index(v)) * unit; p < series::tail_ptr(b); p += unit) {
        uint8_t buf[4];
        out.append(reinterpret_cast<char*>(buf), utf8::encode_char(string::get_char(p, unit), buf));
    }
    return out;
}

std::string show(const Cell* v, bool lines = false);

std::string show_cells(const Cell* v, const char* separator, bool lines) {
    SeriesBuffer* b = node::buffer(cell::series_node(v));
    std::string out;
    for (uint32_t i = 0; i < series::length(b); i++) {
        if (i) out += separator;
        out += show(series::cells(b) + i, lines);
    }
    return out;
}

std::string show(const Cell* v, bool lines) {
    std::string flag = lines && (v->header & HDR_NEW_LINE) ? "|" : "";
    uint32_t t = cell::type(v);
    std::string name = t >= T_WORD && t <= T_ISSUE ? symbol::get_cstr(cell::word_symbol(v)) : "";
    char text[64];
    switch (t) {
    case T_BLOCK: return flag + "[" + show_cells(v, " ", lines) + "]";
    case T_PAREN: return flag + "(" + show_cells(v, " ", lines) + ")";
    case T_PATH: return flag + show_cells(v, "/", lines);
    case T_SET_PATH: return flag + show_cells(v, "/", lines) + ":";
    case T_GET_PATH: return flag + ":" + show_cells(v, "/", lines);
    case T_LIT_PATH: return flag + "'" + show_cells(v, "/", lines);
    case T_WORD: return flag + name;
    case T_SET_WORD: return flag + name + ":";
    case T_GET_WORD: return flag + ":" + name;
    case T_LIT_WORD: return flag + "'" + name;
    case T_REFINEMENT: return flag + "/" + name;
    case T_ISSUE: return flag + "#" + name;
    case T_INTEGER: return flag + std::to_string(cell::get_int(v));
    case T_FLOAT: {
        auto r = std::to_chars(text, text + sizeof text, cell::get_float(v));
        return flag + "f" + std::string(text, r.ptr);
    }
    case T_TIME: {
        auto r = std::to_chars(text, text + sizeof text, cell::get_float(v));
        return flag + "t" + std::string(text, r.ptr);
    }
    case T_CHAR: std::snprintf(text, sizeof text, "c%X", cell::get_char(v)); return flag + text;
    case T_STRING: return flag + "\"" + utf8_of(v) + "\"";
    case T_FILE: return flag + "%" + utf8_of(v);
    case T_URL: return flag + "url:" + utf8_of(v);
    case T_EMAIL: return flag + "email:" + utf8_of(v);
    case T_TAG: return flag + "<" + utf8_of(v) + ">";
    case T_REF: return flag + "@" + utf8_of(v);
    case T_BINARY: {
        std::string out = "#{";
        SeriesBuffer* b = node::buffer(cell::series_node(v));
        for (uint8_t* p = series::raw_bytes(b); p < series::tail_ptr(b); p++) {
            std::snprintf(text, sizeof text, "%02X", *p);
            out += text;
        }
        return flag + out + "}";
    }
    case T_LOGIC: return flag + (cell::get_logic(v) ? "true" : "false");
    case T_NONE: return flag + "none";
    case T_UNSET: return flag + "unset";
    case T_DATATYPE: return flag + types::name(cell::datatype_id(v)).name;
    default: return flag + "?" + std::to_string(cell::type(v));
    }
}

// ---- scanning with errors caught ---------------------------------------------

std::string arg_text(const Cell* a) {
    switch (cell::type(a)) {
    case T_STRING: return utf8_of(a);
    case T_DATATYPE: return types::name(cell::datatype_id(a)).name;
    default: return show(a);
    }
}

// The values of the text, space-separated, or "error <id> <args>".
struct Outcome {
    std::string text;
    lexer::Result result;
};

Outcome lex(const std::string& src, Request r = Request{}, bool lines = false) {
    Cell* top = stack::reg.top;
    Cell* base = stack::reg.base;
    stack::Frame* frames = stack::reg.call_top;
    Cell try_word = word::intern("try");
    stack::enter_try(&try_word);
    Cell* out = stack::push(&statics::none_cell);
    Outcome o{"", {0, 0}};
    if (exits::catch_error([&] {
            o.result = lexer::scan(out, reinterpret_cast<const uint8_t*>(src.data()), uint32_t(src.size()), r);
        })) {
        const Cell* err = stack::top();
        o.text = std::string("error ") + symbol::get_cstr(error::id_symbol(err));
        for (uint32_t f = error::FIELD_ARG1; f <= error::FIELD_ARG3; f++) {
            const Cell* a = error::field(err, f);
            if (cell::type(a) != T_NONE) o.text += " " + arg_text(a);
        }
    } else if (cell::type(out) == T_BLOCK) {
        o.text = show_cells(out, " ", lines);
    } else {
        o.text = show(out);
    }
    stack::reg.top = top;
    stack::reg.base = base;
    stack::reg.call_top = frames;
    return o;
}

struct Case {
    const char* source;
    const char* expected;
};

void check_table(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(lex(c.source).text, c.expected) << "source: " << c.source;
}

// ---- values ------------------------------------------------------------------

TEST(LexerTest, LoadsEveryKindOfToken) {
    check_table({
        {"", ""},
        {"  \t\r\n ", ""},
        {"a b", "a b"},
        {"a: :b 'c", "a: :b 'c"},
        {"/ // /a", "/ // /a"},
        {"'/ :/", "'/ :/"},
        {"+ - < << <= >", "+ - < << <= >"},
        {"% %:", "% %:"},
        {"#a #abc", "#a #abc"},
        {"\"abc\" \"\"", "\"abc\" \"\""},
        {"{a{b}c} {}", "\"a{b}c\" \"\""},
        {"{line\nbreak}", "\"line\nbreak\""},
        {"#\"a\" #\"^\"\" #\"^(tab)\" #\"^(1F600)\"", "c61 c22 c9 c1F600"},
        {"%file.txt %\"a b\" %a%20b", "%file.txt %a b %a b"},
        {"http://a.b/c?d=1 http://a/%41", "url:http://a.b/c?d=1 url:http://a/A"},
        {"a@b.c", "email:a@b.c"},
        {"@ref", "@ref"},
        {"<a> <a b=\"c>\">", "<a> <a b=\"c>\">"},
        {"#{0102FF} #{} 2#{00000001 11111111} 64#{AQL/}", "#{0102FF} #{} #{01FF} #{0102FF}"},
        {"64#{AQ==} 64#{AQI=}", "#{01} #{0102}"},
        {"#{01 ; comment\n 02}", "#{0102}"},
        {"0 1 -1 +7 007", "0 1 -1 7 7"},
        {"1.5 .5 1. 1e3 1.5E-3 -0.0", "f1.5 f0.5 f1 f1000 f0.0015 f-0"},
        {"1.#INF -1.#inf", "finf f-inf"},
        {"1e400 -2e308 1e-400", "finf f-inf f0"},  // saturated, never a syntax error
        {"FFh 0Ah FFFFFFFFh", "255 10 -1"},
        {"12:30 -0:30 1:02:03.5", "t45000 t-1800 t3723.5"},
        {"[] [a [b]] (c) [(d)]", "[] [a [b]] (c) [(d)]"},
        {"#(true) #(none) #(FALSE) #(unset) #(integer!)", "true none false unset integer!"},
        {"a ; comment\nb", "a b"},
    });
}

TEST(LexerTest, ReadsPaths) {
    check_table({
        {"a/b", "a/b"},
        {"a/b/c d", "a/b/c d"},
        {"a/b: 1", "a/b: 1"},
        {":a/b 'a/b", ":a/b 'a/b"},
        {"a/1/\"s\"", "a/1/\"s\""},
        {"a/(b)/c", "a/(b)/c"},
        {"[a/b]", "[a/b]"},
        {"(a/b)", "(a/b)"},
        {"a/:b", "a/:b"},
        {"a/b/", "error invalid (line 1) path! a/b/"},
        {"a/b:c", "error invalid (line 1) path! a/b:c"},
    });
}

// The edge cases of integers: apostrophes, the 32-bit range and its lowest
// value, and more than ten digits.
TEST(LexerTest, IntegersBecomeFloatsBeyondThirtyTwoBits) {
    check_table({
        {"1'000", "1000"},
        {"1'000'000", "1000000"},
        {"2147483647", "2147483647"},
        {"2147483648", "f2147483648"},
        {"-2147483648", "-2147483648"},
        {"-2147483649", "f-2147483649"},
        {"00000000001", "f1"},
        {"1''0", "error invalid (line 1) integer! 1''0"},
    });
}

TEST(LexerTest, RawStringsEndAtTheFirstMatchingBrace) {
    check_table({
        {"%{a}%", "\"a\""},
        {"%%{a}%b}%%", "\"a}%b\""},
        {"%%{a}% }%%", "\"a}% \""},
        {"%{a^b\"}%", "\"a^b\"\""},
        {"%{a}%%", "error invalid (line 1) string! %{a}%%"},
        {"%%{a", "error invalid (line 1) string! %%{a"},
    });
}

TEST(LexerTest, StringsDecodeEscapes) {
    check_table({
        {"\"^\"^-^/^^^{^}^~\" #\"^@\"", "\"\"\t\n^{}\x7F\" c0"},
        {"\"^a^Z^[\"", "\"\x01\x1A\x1B\""},
        {"\"^(41)^(line)^(TAB)^(esc)\"", "\"A\n\t\x1B\""},
        {"\"^(1F600)\"", "\"\xF0\x9F\x98\x80\""},
        {"\"caf\xC3\xA9\"", "\"caf\xC3\xA9\""},
        {"\"^(zz)\"", "error invalid (line 1) string! \"^(zz)\""},
        {"\"^(110000)\"", "error invalid (line 1) string! \"^(110000)\""},
        {"\"a\xC0\"", "error invalid (line 1) string! \"a\xEF\xBF\xBD\""},
    });
}

// The narrowest unit that holds every character.
TEST(LexerTest, StringUnitsFitTheirWidestCharacter) {
    struct UnitCase {
        const char* source;
        uint32_t unit;
    };
    for (const UnitCase& c : std::vector<UnitCase>{{"\"abc\"", 1}, {"\"^(E9)\"", 1}, {"\"^(100)\"", 2},
                                                   {"\"\xE2\x82\xAC\"", 2}, {"\"^(1F600)\"", 4}, {"{a^(10000)}", 4}}) {
        Cell out;
        temp_roots::Hold hold(&out);
        lexer::scan(&out, reinterpret_cast<const uint8_t*>(c.source), uint32_t(std::strlen(c.source)), Request{});
        const Cell* s = series::cells(node::buffer(cell::series_node(&out)));
        EXPECT_EQ(series::unit(node::buffer(cell::series_node(s))), c.unit) << c.source;
    }
}

TEST(LexerTest, UnicodeSpacesSeparateWords) {
    check_table({
        {"a\xC2\xA0" "b", "a b"},
        {"a\xE3\x80\x80" "b", "a b"},
        {"\xC2\xA0\xE2\x80\x8B" "a", "a"},
        {"\xC2\xA0", ""},
        {"a\xC2\xA0" "b:", "a b:"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},
        {"a\xEB\xEB", "error invalid (line 1) word! a\xEF\xBF\xBD\xEF\xBF\xBD"},
    });
}

// ---- errors ------------------------------------------------------------------

TEST(LexerTest, SyntaxErrorsNameTypeLineAndText) {
    check_table({
        {"[1 2", "error missing (line 1) ] [1 2"},
        {"1 2]", "error missing (line 1) [ ]"},
        {"(1\n2", "error missing (line 2) ) (1"},
        {"[1 2)", "error missing (line 1) ( )"},
        {"a\n\"bc\nd", "error invalid (line 2) string! \"bc"},
        {"a\n\nb \xC0", "error bad-char (line 3) \xEF\xBF\xBD"},
        {"}", "error bad-char (line 1) }"},
        {"a\xC0", "error invalid (line 1) word! a\xEF\xBF\xBD"},
        {"'a:", "error invalid (line 1) lit-word! 'a:"},
        {":a:", "error invalid (line 1) word! :a:"},
        {"1.2.256", "error invalid (line 1) tuple! 1.2.256"},
        {"1x2.5", "error invalid (line 1) pair! 1x2.5"},
        {"1''%", "error invalid (line 1) percent! 1''%"},
        {"1-Jan-20000", "error invalid (line 1) date! 1-Jan-20000"},
        {"$1.123456", "error invalid (line 1) money! $1.123456"},
        {"#[a 1 b]", "error invalid (line 1) map! #[a 1 b]"},
        {"#[[k] 1]", "error invalid (line 1) map! #[[k] 1]"},
        {"(1, 2 3)", "error invalid (line 1) point2D! (1, 2 3)"},
        {"1,5", "error invalid (line 1) point2D! ,5"},
        {"#(foo)", "error malconstruct (line 1) #(foo)"},
        {"#(true", "error bad-char (line 1) #(true"},
        {"1e", "error invalid (line 1) float! 1e"},
        {"1.#FOO", "error invalid (line 1) float! 1.#FOO"},
        {"1h", "error invalid (line 1) integer! 1h"},
        {"Ah", "error invalid (line 1) word! Ah"},
        {"123456789h", "error invalid (line 1) integer! 123456789h"},
        {"#", "error invalid (line 1) issue! #"},
        {"#\"ab\"", "error invalid (line 1) char! #\"ab\""},
        {"#{0}", "error invalid (line 1) binary! #{0}"},
        {"3#{01}", "error invalid (line 1) binary! 3#{01}"},
        {"2#{0101}", "error invalid (line 1) binary! 2#{0101}"},
        {"64#{A===}", "error invalid (line 1) binary! 64#{A===}"},
        {"1:60:00 1:00:60", "error invalid (line 1) time! 1:00:60"},
        {"{a{b}", "error invalid (line 1) string! {a{b}"},
        {"x {\nab", "error invalid (line 2) string! {"},
        {":http://a", "error invalid (line 1) get-word! :http://a"},
    });
}

// A NUL byte shares the end-of-input column of the tables; before the end
// it is a bad character, so no text after it is dropped unread.
TEST(LexerTest, ANulByteBeforeTheEndIsABadCharacter) {
    for (const std::string& source : {std::string("1\0" "2", 3), std::string("1 \0", 3), std::string("a\0", 2),
                                      std::string("; c\0x\n1", 7), std::string("\0", 1)})
        EXPECT_EQ(lex(source).text.rfind("error bad-char (line 1)", 0), 0u) << lex(source).text;
    EXPECT_EQ(lex("1 2").text, "1 2");
}

// ---- the modes ---------------------------------------------------------------

TEST(LexerTest, OneValueModeStopsAfterTheFirstValue) {
    Request one;
    one.mode = lexer::MODE_ONE;
    struct ModeCase {
        const char* source;
        const char* values;
        uint32_t type, consumed;
    };
    for (const ModeCase& c : std::vector<ModeCase>{{"", "", 0, 0},
                                                   {"a b", "a", T_WORD, 1},
                                                   {"  [1 2] 3", "[1 2]", T_BLOCK, 7},
                                                   {"a/b c", "a/b", T_WORD, 3},
                                                   {"; c\n{x} y", "\"x\"", T_STRING, 7},
                                                   {"1x2 3", "?37", T_PAIR, 3}}) {
        Outcome o = lex(c.source, one);
        EXPECT_EQ(o.text, c.values) << c.source;
        EXPECT_EQ(o.result.type, c.type) << c.source;
        EXPECT_EQ(o.result.consumed, c.consumed) << c.source;
    }
}

TEST(LexerTest, ScanModeTypesTokensWithoutLoading) {
    Request scan;
    scan.mode = lexer::MODE_SCAN;
    Request prescan;
    prescan.mode = lexer::MODE_PRESCAN;
    struct TypeCase {
        const char* source;
        uint32_t scanned, prescanned;
    };
    for (const TypeCase& c : std::vector<TypeCase>{{"a:", T_SET_WORD, T_WORD},
                                                   {":a", T_GET_WORD, T_WORD},
                                                   {"1.2.3", T_TUPLE, T_TUPLE},
                                                   {"1-Jan-2000", T_DATE, T_DATE},
                                                   {"$1", T_MONEY, T_MONEY},
                                                   {"[1 2", T_ERROR, T_ERROR},
                                                   {"\"abc", T_ERROR, T_ERROR},
                                                   {"{abc", T_ERROR, T_ERROR},
                                                   {"1 2", T_INTEGER, T_INTEGER},
                                                   {"99999999999", T_FLOAT, T_INTEGER},
                                                   {"[a b]", T_BLOCK, T_BLOCK},
                                                   {"x\xC0", T_ERROR, T_ERROR}}) {
        Outcome s = lex(c.source, scan);
        EXPECT_EQ(s.text, "") << c.source;
        EXPECT_EQ(s.result.type, c.scanned) << c.source;
        EXPECT_EQ(lex(c.source, prescan).result.type, c.prescanned) << c.source;
    }
}

// The type a token stopped in a state was becoming: unfinished input.
TEST(LexerTest, UnfinishedStatesKnowTheirType) {
    struct StateCase {
        uint32_t state, type;
    };
    for (const StateCase& c : std::vector<StateCase>{{0, 0}, {1, 0}, {2, T_STRING}, {4, T_STRING}, {7, T_FILE},
                                                     {10, T_STRING}, {14, T_REFINEMENT}, {17, T_BINARY},
                                                     {19, T_CHAR}, {23, T_INTEGER}, {25, T_FLOAT}, {29, T_TUPLE},
                                                     {30, T_DATE}, {32, T_TIME}, {34, T_PAIR}, {37, T_MONEY},
                                                     {44, T_TAG}, {52, T_WORD}, {55, T_URL}, {56, T_EMAIL},
                                                     {57, T_REF}, {59, T_PATH}, {67, T_ERROR}, {80, T_WORD},
                                                     {99, T_INTEGER}, {100, T_STRING}})
        EXPECT_EQ(lexer::state_type(c.state), c.type) << c.state;
}

// ---- line flags --------------------------------------------------------------

TEST(LexerTest, ValuesAfterLineBreaksCarryTheNewLineFlag) {
    EXPECT_EQ(lex("a\nb c\n[\nd]\n{x\ny} z", Request{}, true).text, "a |b c |[|d] |\"x\ny\" z");
}

// ---- events ------------------------------------------------------------------

struct Recorder {
    std::vector<std::string> events;
    bool refuse_errors = false;
    bool collect = false;
};
Recorder* recorder = nullptr;

bool record(const Cell*, const Cell* args) {
    std::string e = symbol::get_cstr(cell::word_symbol(&args[0]));
    e += " " + arg_text(args + 2) + " " + std::to_string(cell::get_int(args + 3));
    if (cell::type(args + 4) == T_PAIR) e += " " + std::to_string(pair::x_of(&args[4])) + "x" + std::to_string(pair::y_of(&args[4]));
    else e += " " + show(args + 4);
    recorder->events.push_back(e);
    if (recorder->collect) collector::collect();
    return !(recorder->refuse_errors && e.rfind("error", 0) == 0);
}

// A function! cell as the lexer reads one: its extra block holds the body.
Cell callback_with_body(const char* body_source) {
    Cell body = lexer::load_text(body_source, std::strlen(body_source));
    Node extra = series::new_cells(1);
    SeriesBuffer* b = node::buffer(extra);
    *series::writable_cells(b) = body;
    b->tail = b->head + sizeof(Cell);
    return Cell{T_FUNCTION, 0, 0, extra};
}

TEST(LexerTest, CallbackSeesTheEventsItAsksFor) {
    Recorder r;
    recorder = &r;
    lexer::set_caller(record);
    Cell all = callback_with_body("x");
    Request req;
    req.callback = &all;
    EXPECT_EQ(lex("[a 1]", req).text, "[a 1]");
    EXPECT_EQ(r.events, (std::vector<std::string>{
                            "prescan block! 1 1x2", "open block! 1 1x2",
                            "prescan word! 1 2x3", "scan word! 1 2x3", "load word! 1 a",
                            "prescan integer! 1 4x5", "scan integer! 1 4x5", "load integer! 1 1",
                            "prescan block! 1 5x6", "close block! 1 5x6", "prescan eof 1 6x6"}));
    // 1,5 is an integer, a comma token and an integer; the comma outside a
    // point is an error, here skipped.
    r.events.clear();
    r.refuse_errors = true;
    Cell prescan_errors = callback_with_body("[prescan error] x");
    req.callback = &prescan_errors;
    EXPECT_EQ(lex("1,5", req).text, "1 5");
    EXPECT_EQ(r.events, (std::vector<std::string>{"prescan integer! 1 1x2", "prescan comma 1 2x3",
                                                  "error point2D! 1 2x3", "prescan integer! 1 3x4",
                                                  "prescan eof 1 4x4"}));
    Cell only_prescan = callback_with_body("[prescan] x");
    req.callback = &only_prescan;
    r.events.clear();
    req.mode = lexer::MODE_LOAD;
    lex("1.5", req);
    EXPECT_EQ(r.events, (std::vector<std::string>{"prescan float! 1 1x4", "prescan eof 1 4x4"}));
    lexer::set_caller(nullptr);
    recorder = nullptr;
}

TEST(LexerTest, CallbackCanSkipErrors) {
    Recorder r;
    r.refuse_errors = true;
    recorder = &r;
    lexer::set_caller(record);
    Cell errors = callback_with_body("[error] x");
    Request req;
    req.callback = &errors;
    EXPECT_EQ(lex("a \xC0 b 1.2.256 c", req).text, "a b c");
    EXPECT_EQ(r.events, (std::vector<std::string>{"error error! 1 3x4", "error tuple! 1 7x14"}));
    r.events.clear();
    Outcome o = lex("[a", req);
    EXPECT_EQ(o.text, "none");
    EXPECT_EQ(o.result.type, T_ERROR);
    lexer::set_caller(nullptr);
    recorder = nullptr;
}

// The input is a binary! that collections move while callbacks run: the scan
// works on offsets and the values built so far stay alive.
TEST(LexerTest, BinaryInputSurvivesCollectionsInCallbacks) {
    Recorder r;
    r.collect = true;
    recorder = &r;
    lexer::set_caller(record);
    Cell all = callback_with_body("x");
    temp_roots::Hold hold_callback(&all);
    const char* text = "[\"a string\" word 12 #{0102}] %file";
    Node n = series::new_bytes(uint32_t(std::strlen(text)));
    SeriesBuffer* b = node::buffer(n);
    std::memcpy(series::raw_bytes(b), text, std::strlen(text));
    b->tail = b->head + uint32_t(std::strlen(text));
    Cell input{T_BINARY, 0, n, 0};
    Cell out;
    temp_roots::Hold hold_input(&input), hold_out(&out);
    Request req;
    req.callback = &all;
    lexer::Result res = lexer::scan_binary(&out, &input, -1, req);
    EXPECT_EQ(show_cells(&out, " ", false), "[\"a string\" word 12 #{0102}] %file");
    EXPECT_EQ(res.consumed, std::strlen(text));
    lexer::set_caller(nullptr);
    recorder = nullptr;
}

// ---- string input and the load seam ------------------------------------------

Cell string_of(const char* text) {
    Cell s;
    string::load_at(reinterpret_cast<const uint8_t*>(text), uint32_t(std::strlen(text)), &s, string::ENC_UTF8);
    return s;
}

TEST(LexerTest, StringInputCountsCharacters) {
    Cell s = string_of("\xC3\xA9t\xC3\xA9 x");
    temp_roots::Hold hold(&s);
    Cell out;
    temp_roots::Hold hold_out(&out);
    Request one;
    one.mode = lexer::MODE_ONE;
    lexer::Result r = lexer::scan_string(&out, &s, -1, one);
    EXPECT_EQ(show_cells(&out, " ", false), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(r.consumed, 3u);
}

TEST(LexerTest, ValueFromStringReadsOneValue) {
    Cell a = string_of("word"), b = string_of("a b"), empty = string_of(" ");
    temp_roots::Hold ha(&a), hb(&b), he(&empty);
    EXPECT_EQ(show(load::value_from_string(&a)), "word");
    EXPECT_EQ(cell::type(load::value_from_string(&b)), T_NONE);
    EXPECT_EQ(cell::type(load::value_from_string(&empty)), T_UNSET);
    EXPECT_EQ(load::scan_type(&a), uint32_t(T_WORD));
}

TEST(LexerTest, LoadTextRootsItsBlock) {
    Cell* top = stack::reg.top;
    Cell block = lexer::load_text("a [b]", 5);
    EXPECT_EQ(show(&block), "[a [b]]");
    EXPECT_EQ(stack::reg.top, top + 1);
    stack::reg.top = top;
}

// ---- number scanners ---------------------------------------------------------

TEST(NumberScanTest, IntegersReportTheirErrors) {
    struct IntCase {
        const char* text;
        int32_t value, error;
    };
    for (const IntCase& c : std::vector<IntCase>{{"1'000", 1000, 0}, {"12a", 12, -1}, {"-2147483648", INT32_MIN, 0},
                                                 {"2147483647", INT32_MAX, 0}, {"+5", 5, 0}}) {
        int32_t error;
        int32_t v = lexer::scan_integer(reinterpret_cast<const uint8_t*>(c.text), 0, uint32_t(std::strlen(c.text)), 1, &error);
        EXPECT_EQ(error, c.error) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
    int32_t error;
    lexer::scan_integer(reinterpret_cast<const uint8_t*>("2147483648"), 0, 10, 1, &error);
    EXPECT_EQ(error, -2);
    // Units of 4 bytes, read from a start inside the text.
    const uint32_t wide[] = {'x', '4', '2'};
    EXPECT_EQ(lexer::scan_integer(reinterpret_cast<const uint8_t*>(wide), 1, 2, 4, &error), 42);
}

TEST(NumberScanTest, FloatsAndTuples) {
    int32_t error;
    EXPECT_EQ(lexer::scan_float(reinterpret_cast<const uint8_t*>("1,5"), 0, 3, 1, &error), 1.5);
    EXPECT_EQ(error, 0);
    std::string long_text(313, '1');
    lexer::scan_float(reinterpret_cast<const uint8_t*>(long_text.data()), 0, 313, 1, &error);
    EXPECT_EQ(error, -1);
    // 1e311 is beyond the float range: it saturates.
    EXPECT_EQ(lexer::scan_float(reinterpret_cast<const uint8_t*>(long_text.data()), 0, 312, 1, &error), HUGE_VAL);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(lexer::scan_float(reinterpret_cast<const uint8_t*>("125"), 0, 3, 1, &error, -2), 1.25);
    lexer::scan_float(reinterpret_cast<const uint8_t*>(long_text.data()), 0, 300, 1, &error);
    EXPECT_EQ(error, 0);
    Cell t;
    lexer::scan_tuple(reinterpret_cast<const uint8_t*>("1.2.3.4"), 0, 7, 1, &t, &error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(cell::type(&t), T_TUPLE);
    EXPECT_EQ(t.header >> 19, 4u);
    EXPECT_EQ(t.w1, 0x04030201u);
    for (const char* bad : {"1.2.256", "1..2", "1.2.3.4.5.6.7.8.9.10.11.12.13", "1.a"}) {
        lexer::scan_tuple(reinterpret_cast<const uint8_t*>(bad), 0, uint32_t(std::strlen(bad)), 1, &t, &error);
        EXPECT_EQ(error, -1) << bad;
    }
}

// The float syntax against python3's float(): the same texts are accepted
// (apostrophes aside, which python does not know) and read to the same bits.
TEST(NumberScanTest, FloatSyntaxAgreesWithPython) {
    const std::vector<std::string> texts = {
        "0", "1", "-1", "+1", "1.", ".5", "-.5", "1.5", "1e5", "1E5", "1e+5", "1e-5", "1.e5", "1.5e-3",
        "0.1", "123456789.123456789", "1e308", "4.9e-324", "2.2250738585072014e-308", "1e-400",
        "0.30000000000000004", "9007199254740993", "1.7976931348623157e308", "00012.500",
        ".", "e5", "1e", "1e+", "+", "-", "1.2.3", "1..2", ".e5", "1e5.5", "--1", "1-", "+-1", "1e--5", "",
        "1'000.5", "1'0'0", "1.000'5", "1'e5", "'1", "1''0",
    };
    // The texts go to python as hexadecimal; python does not know the
    // apostrophes, which are removed where the syntax allows them.
    std::string command = "python3 -c \"import struct,sys\nfor h in sys.argv[1:]:\n t=bytes.fromhex(h[1:]).decode()\n"
                          " try: print(struct.unpack('<Q',struct.pack('<d',float(t if h[0]=='y' else 'x')))[0])\n"
                          " except ValueError: print('x')\"";
    for (const std::string& t : texts) {
        bool apostrophes_fit = t.find("''") == std::string::npos && t.rfind('\'', 0) != 0 && t.find("'e") == std::string::npos;
        std::string plain;
        for (char c : t)
            if (c != '\'') plain += c;
        command += apostrophes_fit ? " y" : " n";
        for (unsigned char c : plain) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", c);
            command += hex;
        }
    }
    FILE* p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[64];
    for (const std::string& t : texts) {
        ASSERT_NE(fgets(line, sizeof line, p), nullptr);
        std::string oracle(line, std::strcspn(line, "\n"));
        int32_t error;
        double d = lexer::scan_float(reinterpret_cast<const uint8_t*>(t.data()), 0, uint32_t(t.size()), 1, &error);
        if (oracle == "x") {
            EXPECT_NE(error, 0) << t;
            continue;
        }
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        EXPECT_EQ(error, 0) << t;
        EXPECT_EQ(std::to_string(bits), oracle) << t;
    }
    pclose(p);
}

}  // namespace
}  // namespace zel

namespace zel {
namespace {

// ---- round trips: mold, then scan the text back ------------------------------

std::string mold_of(Cell* value) {
    Cell buffer;
    string::write_cell(&buffer, 64);
    temp_roots::Hold hold(&buffer);
    actions::mold_dispatch(value, &buffer, false, false, false, nullptr, INT32_MAX, 0);
    return utf8_of(&buffer);
}

// The one value the text reads as, or a null header when it is not one value.
Cell read_back(const std::string& text) {
    Cell* top = stack::reg.top;
    Cell block = lexer::load_text(text.data(), text.size());
    stack::reg.top = top;
    SeriesBuffer* b = node::buffer(cell::series_node(&block));
    return series::length(b) == 1 ? *series::cells(b) : Cell{0, 0, 0, 0};
}

Cell text_value(uint32_t type, const std::string& utf8) {
    Cell s = string_of(utf8.c_str());
    cell::set_type(&s, type);
    return s;
}

TEST(LexerRoundTripTest, StringsCharsAndFilesReadBackAsMolded) {
    struct TextCase {
        uint32_t type;
        std::string text;
    };
    const std::vector<TextCase> cases = {
        {T_STRING, ""}, {T_STRING, "plain"}, {T_STRING, "a{b"}, {T_STRING, "}"}, {T_STRING, "a{b}c"},
        {T_STRING, "{{"}, {T_STRING, "^"}, {T_STRING, "^^(41)"}, {T_STRING, "\"quoted\""},
        {T_STRING, "\"{"}, {T_STRING, "tab\there"}, {T_STRING, "\x01\x1F\x7F"}, {T_STRING, "line\nbreak"},
        {T_STRING, "cr\rlf"}, {T_STRING, "caf\xC3\xA9"}, {T_STRING, "\xF0\x9F\x98\x80 astral"},
        {T_STRING, "\xE2\x82\xAC and \xF0\x9F\x98\x80 and \"{}^"},
        {T_STRING, std::string(60, 'x') + "\"" + std::string(60, 'y')},
        {T_FILE, "file.txt"}, {T_FILE, "a b"}, {T_FILE, "100%"}, {T_FILE, "dir/sub/x.zel"},
        {T_FILE, "\xC3\xBCn\xC3\xAF"}, {T_FILE, "semi;colon"}, {T_FILE, "x\"y"},
    };
    for (const TextCase& c : cases) {
        Cell v = text_value(c.type, c.text);
        temp_roots::Hold hold(&v);
        std::string molded = mold_of(&v);
        Cell back = read_back(molded);
        EXPECT_EQ(cell::type(&back), c.type) << molded;
        if (cell::type(&back) == c.type) {
            EXPECT_EQ(utf8_of(&back), c.text) << molded;
        }
    }
    for (uint32_t cp : {0u, 9u, 10u, 13u, 0x1Bu, 0x22u, 0x41u, 0x5Eu, 0x7Bu, 0x7Du, 0x7Fu, 0xA0u, 0xE9u, 0x20ACu,
                        0x1F600u, 0x10FFFFu}) {
        Cell c;
        cell::make_char(&c, cp);
        std::string molded = mold_of(&c);
        Cell back = read_back(molded);
        EXPECT_EQ(cell::type(&back), T_CHAR) << molded;
        EXPECT_EQ(cell::get_char(&back), cp) << molded;
    }
}

TEST(LexerRoundTripTest, FloatsReadBackBitForBit) {
    for (double d : {0.0, -0.0, 1.0, -1.5, 0.1, 1.0 / 3, 2.0 / 3, 1e-7, 1e21, 1e22, 123456789012345678.0,
                     9007199254740993.0, 1e-300, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308,
                     -1e308, 3.14159265358979, HUGE_VAL, -HUGE_VAL}) {
        Cell f;
        cell::make_float(&f, d);
        std::string molded = mold_of(&f);
        Cell back = read_back(molded);
        ASSERT_EQ(cell::type(&back), T_FLOAT) << molded;
        uint64_t a, b;
        double r = cell::get_float(&back);
        std::memcpy(&a, &d, 8);
        std::memcpy(&b, &r, 8);
        EXPECT_EQ(a, b) << molded;
    }
    Cell nan;
    cell::make_float(&nan, std::nan(""));
    Cell back = read_back(mold_of(&nan));
    EXPECT_TRUE(cell::type(&back) == T_FLOAT && std::isnan(cell::get_float(&back)));
}

// Blocks molded by the block module read back to the same text.
TEST(LexerRoundTripTest, BlocksReadBackAsMolded) {
    for (const char* text : {"[a b: :c 'd /e #f]", "[1 -2 3.5 \"s\" #\"c\" %f <t> @r]", "[a/b c/d: :e/f 'g/h]",
                             "[[nested (paren)] #{0102}]", "[http://x.y/z me@here.org]"}) {
        Cell v = read_back(text);
        temp_roots::Hold hold(&v);
        EXPECT_EQ(mold_of(&v), text);
    }
}

}  // namespace
}  // namespace zel
