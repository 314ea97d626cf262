// The word family: form and mold of every kind, comparison under every op,
// index?, make and to, and the routines that push, read and store words.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/datatype.h"
#include "core/roots.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/error.h"
#include "kernel/boot.h"
#include "test_values.h"

using namespace zel;

namespace {

using test_values::integer;
using test_values::name_of;
using test_values::Raised;
using test_values::raised;
using test_values::text;
using test_values::utf8_of;
using test_values::word_of;

using WordTest = ::testing::Test;

std::string molded(Cell w, bool mold, int32_t* left = nullptr) {
    Cell buffer = text("");
    int32_t limit = mold ? types::row(cell::type(&w)).mold(&w, &buffer, false, false, false, nullptr, 100, 0)
                         : types::row(cell::type(&w)).form(&w, &buffer, nullptr, 100);
    if (left) *left = limit;
    return utf8_of(&buffer);
}

// ---- form and mold --------------------------------------------------------------------

TEST_F(WordTest, MoldAndFormOfEveryKind) {
    struct Case {
        const char* name;
        uint32_t type;
        const char* mold;
    };
    const Case cases[] = {
        {"a", T_SET_WORD, "a:"}, {"b", T_WORD, "b"},       {"c", T_GET_WORD, ":c"},
        {"d", T_LIT_WORD, "'d"}, {"e", T_REFINEMENT, "/e"}, {"f", T_ISSUE, "#f"},
    };
    for (const Case& c : cases) {
        int32_t left;
        EXPECT_EQ(molded(word_of(c.name, c.type), true, &left), c.mold) << c.mold;
        EXPECT_EQ(left, 100 - int32_t(std::strlen(c.mold))) << c.mold;
        EXPECT_EQ(molded(word_of(c.name, c.type), false, &left), c.name) << c.mold;
        EXPECT_EQ(left, 99) << c.mold;
    }
}

TEST_F(WordTest, NamesKeepTheirSpellingAndWideCharacters) {
    EXPECT_EQ(molded(word_of("MiXed-h6", T_LIT_WORD), true), "'MiXed-h6");
    int32_t left;
    EXPECT_EQ(molded(word_of("\xce\xb4\xce\xbb-h6", T_SET_WORD), true, &left), "\xce\xb4\xce\xbb-h6:");
    EXPECT_EQ(left, 100 - 6);  // characters, not bytes
}

// ---- compare ------------------------------------------------------------------------------

TEST_F(WordTest, CompareUnderEveryOp) {
    Cell a = word_of("cmp-a"), big_a = word_of("CMP-A"), b = word_of("cmp-b");
    Cell lit_a = word_of("cmp-a", T_LIT_WORD), lit_big_a = word_of("CMP-A", T_LIT_WORD);
    Cell get_a = word_of("cmp-a", T_GET_WORD), set_a = word_of("cmp-a", T_SET_WORD);
    Cell set_big_a = word_of("CMP-A", T_SET_WORD), issue_a = word_of("cmp-a", T_ISSUE);
    Cell other_ctx = a;
    cell::set_object_context(&other_ctx, context::create(1, false, false, 0, context::KIND_OBJECT));
    Cell one = integer(1);
    struct Case {
        const char* what;
        Cell* x;
        Cell* y;
        int32_t by_op[13];  // ops 0 to 12
    };
    //                                    0  1  2   3   4   5   6   7   8  9 10 11 12
    const Case cases[] = {
        {"a a", &a, &a, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"a A", &a, &big_a, {0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0}},
        {"a b", &a, &b, {1, 1, 1, -1, -1, -1, -1, -1, -1, 1, 1, 1, 1}},
        {"a 'a", &a, &lit_a, {0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}},
        {"a 'A", &a, &lit_big_a, {0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0}},
        {"'a :a", &lit_a, &get_a, {0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0}},
        {"a: A:", &set_a, &set_big_a, {0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0}},
        {"a other context", &a, &other_ctx, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}},
        {"a #a", &a, &issue_a, {-2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2}},
        {"a 1", &a, &one, {-2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2, -2}},
        {"#a a", &issue_a, &a, {0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0}},
    };
    for (const Case& c : cases) {
        for (int32_t op = 0; op <= 12; op++) {
            int32_t got = word::compare(c.x, c.y, op);
            int32_t want = c.by_op[op];
            if (op >= 3 && op <= 8 && want != -2) {
                EXPECT_EQ(got < 0 ? -1 : got > 0 ? 1 : 0, want) << c.what << " op " << op;
            } else {
                EXPECT_EQ(got, want) << c.what << " op " << op;
            }
        }
    }
}

TEST_F(WordTest, OrderingFoldsCaseExceptForTheCaseSensitiveSort) {
    Cell lower = word_of("ord-b"), upper = word_of("ORD-B"), longer = word_of("ord-bb"), a = word_of("ORD-A");
    EXPECT_EQ(word::compare(&lower, &upper, 3), 0);
    EXPECT_GT(word::compare(&lower, &upper, 8), 0);  // 'b' after 'B'
    EXPECT_LT(word::compare(&lower, &longer, 5), 0);
    EXPECT_GT(word::compare(&lower, &a, 4), 0);
}

TEST_F(WordTest, IssuesCompareOnlyWithIssues) {
    Cell issue_a = word_of("iss-a", T_ISSUE), issue_big_a = word_of("ISS-A", T_ISSUE), a = word_of("iss-a");
    EXPECT_EQ(issue::compare(&issue_a, &issue_big_a, 0), 0);
    EXPECT_EQ(issue::compare(&issue_a, &issue_big_a, 2), 1);
    EXPECT_EQ(issue::compare(&issue_a, &a, 0), -2);
    EXPECT_EQ(types::row(T_ISSUE).compare, issue::compare);
    EXPECT_EQ(types::row(T_LIT_WORD).compare, word::compare);
}

// ---- index? ------------------------------------------------------------------------------

TEST_F(WordTest, IndexIsOneBasedOrNone) {
    Cell bound = word_of("idx-h6");
    Cell loose = bound;
    cell::set_word_index(&loose, uint32_t(-1));
    stack::reg.base = stack::reg.top;
    stack::push(&bound);
    word::is_index();
    EXPECT_EQ(cell::type(stack::reg.base), uint32_t(T_INTEGER));
    EXPECT_EQ(cell::get_int(stack::reg.base), cell::word_index(&bound) + 1);
    *stack::reg.base = loose;
    word::is_index();
    EXPECT_EQ(cell::type(stack::reg.base), uint32_t(T_NONE));
    EXPECT_EQ(types::row(T_REFINEMENT).is_index, nullptr);
    EXPECT_EQ(types::row(T_SET_WORD).is_index, word::is_index);
}

// ---- make and to ---------------------------------------------------------------------------

// A stand-in lexer for these tests: space-separated tokens, words (with the
// marks of their types) and decimal integers; it stops at an '@'.
uint32_t toy_scan(const Cell* block, const Cell* text) {
    std::string s;
    uint32_t n = string::get_length(const_cast<Cell*>(text));
    for (uint32_t i = 0; i < n; i++) s += char(string::char_at(text, uint32_t(cell::series_index(text)) + i));
    size_t stop = s.find('@');
    std::string body = s.substr(0, stop);
    size_t at = 0;
    while (at < body.size()) {
        size_t end = body.find(' ', at);
        std::string tok = body.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? body.size() : end + 1;
        if (tok.empty()) continue;
        Cell v;
        if (tok[0] >= '0' && tok[0] <= '9') {
            cell::make_integer(&v, std::stoi(tok));
        } else if (tok.back() == ':') {
            v = word_of(tok.substr(0, tok.size() - 1).c_str(), T_SET_WORD);
        } else if (tok[0] == '/') {
            v = word_of(tok.c_str() + 1, T_REFINEMENT);
        } else {
            v = word_of(tok.c_str());
        }
        *block::append_slot(block) = v;
    }
    return uint32_t(stop == std::string::npos ? s.size() : stop);
}

TEST_F(WordTest, MakeFromEverySpec) {
    load::set_scanner(toy_scan);
    Cell dt;
    cell::make_datatype(&dt, T_INTEGER);
    Cell yes;
    cell::make_logic(&yes, true);
    Cell ch;
    cell::make_char(&ch, 'x');
    struct Case {
        const char* what;
        Cell spec;
        uint32_t type;
        const char* mold;
    };
    const Case cases[] = {
        {"set-word", word_of("mk", T_SET_WORD), T_WORD, "mk"},
        {"word", word_of("mk"), T_LIT_WORD, "'mk"},
        {"refinement", word_of("mk", T_REFINEMENT), T_GET_WORD, ":mk"},
        {"issue", word_of("mk", T_ISSUE), T_SET_WORD, "mk:"},
        {"string", text("made-h6"), T_WORD, "made-h6"},
        {"string of a set-word", text("made-h6:"), T_LIT_WORD, "'made-h6"},
        {"char", ch, T_WORD, "x"},
        {"datatype", dt, T_WORD, "integer!"},
        {"logic", yes, T_WORD, "true"},
    };
    for (const Case& c : cases) {
        Cell spec = c.spec;
        const Cell* made = word::make(nullptr, &spec, c.type);
        EXPECT_EQ(cell::type(made), c.type) << c.what;
        EXPECT_EQ(molded(*made, true), c.mold) << c.what;
        EXPECT_EQ(cell::word_context(made), context::global_node) << c.what;
    }
}

TEST_F(WordTest, MakeRejectsWhatIsNoWord) {
    load::set_scanner(toy_scan);
    struct Case {
        const char* what;
        Cell spec;
        const char* id;
    };
    const Case cases[] = {
        {"integer", integer(3), "bad-to-arg"},
        {"issue that reads as a number", word_of("12", T_ISSUE), "bad-to-arg"},
        {"text of a number", text("12"), "invalid-chars"},
        {"text not read to its end", text("ab@cd"), "invalid-chars"},
        {"empty text", text(""), "invalid-chars"},
    };
    for (const Case& c : cases) {
        Cell spec = c.spec;
        Raised r = raised([&] { word::make(nullptr, &spec, T_WORD); });
        EXPECT_EQ(r.id, c.id) << c.what;
        if (r.id == "bad-to-arg") {
            EXPECT_EQ(cell::datatype_id(error::field(&r.error, error::FIELD_ARG1)), uint32_t(T_WORD)) << c.what;
        }
    }
}

TEST_F(WordTest, IssueMakeKeepsTheTextAsItStands) {
    Cell spaced = text("a b");
    const Cell* made = issue::make(nullptr, &spaced, T_ISSUE);
    EXPECT_EQ(cell::type(made), uint32_t(T_ISSUE));
    EXPECT_EQ(name_of(cell::word_symbol(made)), "a b");
    EXPECT_EQ(cell::word_index(made), -1);
    EXPECT_EQ(cell::word_context(made), context::global_node);

    Cell from = text("xyz-h6");
    cell::set_series_index(&from, 1);  // from its position
    EXPECT_EQ(name_of(cell::word_symbol(issue::make(nullptr, &from, T_ISSUE))), "yz-h6");
    Cell w = word_of("iw-h6", T_SET_WORD);
    EXPECT_EQ(molded(*issue::make(nullptr, &w, T_ISSUE), true), "#iw-h6");
    Cell ch;
    cell::make_char(&ch, 0xE9);
    EXPECT_EQ(name_of(cell::word_symbol(issue::make(nullptr, &ch, T_ISSUE))), "\xc3\xa9");
    Cell n = integer(4);
    EXPECT_EQ(raised([&] { issue::make(nullptr, &n, T_ISSUE); }).id, "bad-to-arg");
}

// ---- making, pushing, reading and storing -------------------------------------------------

TEST_F(WordTest, InternAnswersTheGlobalWord) {
    Cell w = word::intern("intern-h6");
    EXPECT_EQ(cell::type(&w), uint32_t(T_WORD));
    EXPECT_EQ(cell::word_context(&w), context::global_node);
    EXPECT_EQ(cell::word_symbol(context::word_at(context::cell_of(context::global_node), cell::word_index(&w))), cell::word_symbol(&w));
    uint32_t roots_before = series::length(node::buffer(roots::block_node));
    runtime::booting = true;
    Cell kept = word::intern("intern-boot-h6");
    runtime::booting = false;
    EXPECT_EQ(series::length(node::buffer(roots::block_node)), roots_before + 1);
    EXPECT_EQ(cell::word_symbol(roots::at(roots_before)), cell::word_symbol(&kept));

    Cell lit = lit_word::intern("intern-h6");
    EXPECT_EQ(cell::type(&lit), uint32_t(T_LIT_WORD));
    EXPECT_EQ(cell::word_index(&lit), cell::word_index(&w));
}

TEST_F(WordTest, TheTypedFamiliesAppendAndIntern) {
    Cell block;
    cell::make_series(&block, T_BLOCK, series::new_cells(4));
    Cell* g = get_word::append_new(&block, "fam-h6");
    EXPECT_EQ(cell::type(g), uint32_t(T_GET_WORD));
    EXPECT_EQ(cell::word_context(g), context::global_node);
    Cell* r = refinement::intern("fam-h6", &block);
    EXPECT_EQ(cell::type(r), uint32_t(T_REFINEMENT));
    EXPECT_EQ(cell::word_context(r), 0u);
    Cell* i = issue::append_new("fam-h6", &block);
    EXPECT_EQ(cell::type(i), uint32_t(T_ISSUE));
    EXPECT_EQ(cell::word_index(i), -1);
    EXPECT_EQ(series::length(node::buffer(cell::series_node(&block))), 3u);

    Cell pushed_issue = issue::intern("ooo-h6");
    EXPECT_EQ(cell::type(stack::top()), uint32_t(T_ISSUE));
    EXPECT_EQ(cell::word_symbol(&pushed_issue), cell::word_symbol(stack::top()));
}

TEST_F(WordTest, GetOrAddFindsTheExactSpellingElseTheGlobalWord) {
    Cell spec;
    cell::make_series(&spec, T_BLOCK, series::new_cells(2));
    *block::append_slot(&spec) = word_of("goa-h6");
    Node ctx = context::make(&spec, false, false, context::KIND_OBJECT);
    Cell found = word::get_or_add(ctx, symbol::intern("goa-h6"));
    EXPECT_EQ(cell::word_context(&found), ctx);
    Cell other = word::get_or_add(ctx, symbol::intern("GOA-H6"));
    EXPECT_EQ(cell::word_context(&other), context::global_node);
    EXPECT_EQ(cell::word_symbol(&other), symbol::intern("GOA-H6"));
}

TEST_F(WordTest, SetThroughTheFrame) {
    Cell w = word_of("frame-h6");
    Cell five = integer(5), unset;
    cell::make_unset(&unset);
    stack::reg.base = stack::reg.top;
    stack::push(&w);
    stack::push(&five);
    word::set_from_frame();
    EXPECT_EQ(cell::get_int(stack::reg.base), 5);
    EXPECT_EQ(cell::get_int(word::get_value(&w)), 5);

    Raised r = raised([&] {
        stack::push(&w);
        stack::push(&unset);
        word::set_from_frame();
    });
    EXPECT_EQ(r.id, "need-value");
    EXPECT_EQ(cell::word_symbol(error::field(&r.error, error::FIELD_ARG1)), cell::word_symbol(&w));
    EXPECT_EQ(cell::get_int(word::get_value(&w)), 5);
}

}  // namespace
