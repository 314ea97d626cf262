// Shared by the tests of the natives: Zel source evaluated with every boot
// word bound, answered as its molded value, and tables of source -> molded
// value or error id.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "console/boot_words.h"
#include "core/runtime_words.h"
#include "core/string.h"
#include "datatypes/error_ids.h"
#include "interpreter/actions.h"
#include "interpreter/eval.h"
#include "interpreter/exits.h"
#include "interpreter/stack.h"
#include "io/lexer.h"
#include "kernel/collector.h"
#include "kernel/unicode.h"
#include "test_support.h"

namespace zel {
namespace natives_cases {

// The words of a started system: datatypes, actions, natives, constants,
// typesets and operators.
inline void words_ready() {
    static bool done = false;
    if (done) return;
    done = true;
    boot_words::bind();
    boot_words::make_values();
}

// Evaluates the text as a block and answers its value; the value stack is
// left as it was found.
inline Cell run(const char* text) {
    test_support::take_error_code();
    Cell* top = stack::reg.top;
    Cell code = lexer::load_text(text, std::strlen(text));
    interp::eval(words::word(words::W_tag_anon), &code, false);
    Cell result = *stack::top();
    stack::reg.top = top;
    return result;
}

// The string's text from its index, as UTF-8.
inline std::string text_of(const Cell* s) {
    std::string out;
    for (uint32_t i = uint32_t(cell::series_index(s)); i < string::get_abs_length(s); i++) {
        uint8_t bytes[4];
        uint32_t n = utf8::encode_char(string::char_at(s, i), bytes);
        out.append(reinterpret_cast<const char*>(bytes), n);
    }
    return out;
}

inline std::string molded(Cell value) {
    Cell buffer;
    string::write_cell(&buffer, 16);
    actions::mold_dispatch(&value, &buffer, false, false, true, nullptr, INT32_MAX, 0);
    return text_of(&buffer);
}

inline std::string eval_molded(const char* text) { return molded(run(text)); }

struct Case {
    const char* code;
    const char* expected;  // the molded value
};

struct ErrorCase {
    const char* code;
    Err id;
};

template <size_t N>
void check_values(const Case (&cases)[N]) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(eval_molded(c.code), c.expected);
    }
}

template <size_t N>
void check_errors(const ErrorCase (&cases)[N]) {
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_TRUE(test_support::raises(c.id, [&] { run(c.code); }));
    }
}

// The fixture: the collector on (so the stress mode collects at every
// expression), the stacks checked for balance after each test.
struct NativesTest : ::testing::Test {
    Cell* top;
    stack::Frame* call_top;
    bool collector_was;
    void SetUp() override {
        stack::init();
        words_ready();
        top = stack::reg.top;
        call_top = stack::reg.call_top;
        collector_was = collector::state.enabled;
        collector::state.enabled = true;
    }
    void TearDown() override {
        collector::state.enabled = collector_was;
        EXPECT_EQ(stack::reg.call_top, call_top);
        EXPECT_EQ(exits::pending(), EXIT_NONE);
        stack::reg.top = top;
    }
};

// The lines a shell command writes, without the last line end.
inline std::string shell(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, p)) > 0;) out.append(chunk, n);
    pclose(p);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

}  // namespace natives_cases
}  // namespace zel
