// Shared by the tests of the natives and of the evaluator: Zel source
// evaluated with every boot word bound, answered as its molded value, tables
// of source -> molded value or error id, and natives checked in their slots.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "console/boot_words.h"
#include "core/dispatch.h"
#include "core/exits.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/word.h"
#include "datatypes/error_ids.h"
#include "interpreter/eval.h"
#include "interpreter/natives.h"
#include "io/lexer.h"
#include "kernel/collector.h"
#include "test_support.h"
#include "test_values.h"

namespace zel {
namespace natives_cases {

// The words of a started system: datatypes, actions, natives, constants,
// typesets and operators.
inline void words_ready() {
    static bool done = false;
    if (done) return;
    done = true;
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
inline std::string text_of(const Cell* s) { return test_values::utf8_of(s); }

// The value molded, on one line unless flat is false.
inline std::string molded(Cell value, bool flat = true) {
    Cell buffer;
    string::write_cell(&buffer, 16);
    actions::mold_dispatch(&value, &buffer, false, false, flat, nullptr, INT32_MAX, 0);
    return text_of(&buffer);
}

inline std::string formed(Cell value) {
    Cell buffer;
    string::write_cell(&buffer, 16);
    actions::form_dispatch(&value, &buffer, nullptr, INT32_MAX);
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
    std::string out = test_values::run(command);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// A native expected at its index of the table under its word.
struct NativeSlot {
    uint32_t index;
    const char* name;
};

// Each native sits at its index, with its routine in the table and its word
// holding a native! of that index.
template <size_t N>
void check_slots(const NativeSlot (&slots)[N]) {
    for (const NativeSlot& k : slots) {
        SCOPED_TRACE(k.name);
        const natives::NativeDef* d = natives::find(k.index);
        ASSERT_NE(d, nullptr);
        EXPECT_STREQ(d->name, k.name);
        EXPECT_EQ(natives::routine(k.index), d->routine);
        Cell w = word::intern(k.name);
        const Cell* v = word::get_value(&w);
        EXPECT_EQ(cell::type(v), T_NATIVE);
        EXPECT_EQ(cell::callable_index(v), k.index);
    }
}

}  // namespace natives_cases
}  // namespace zel
