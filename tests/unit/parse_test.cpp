// The PARSE engine's own bookkeeping, which Zel code cannot see: the shared
// work stacks are back at the tops a call found on every way out of it
// (success, failure, errors, exits from parens, a trace callback that stops,
// the stack limit), and a parse nested in a paren works above the outer one.
#include <gtest/gtest.h>

#include "interpreter/parse_internal.h"
#include "natives_cases.h"

namespace zel {
namespace {

using natives_cases::run;

using ParseTest = natives_cases::NativesTest;

void expect_stacks_empty() {
    EXPECT_EQ(parse::work.rule_top, 0u);
    EXPECT_EQ(parse::work.input_top, 0u);
}

TEST_F(ParseTest, StacksBackAtBaseAfterEveryOutcome) {
    const char* values[] = {
        "parse \"abc\" [\"a\" [\"b\" | \"x\"] \"c\"]",
        "parse [a [b]] ['a into ['x]]",
        "f: func [] [parse \"ab\" [some [skip (return 1)]]] f",
        "catch [parse \"ab\" [skip (throw 2)]]",
        "n: 0 loop 3 [parse [1 2] [into [(n: n + 1) (break)]]] n",
        "g: func [e m r i s] [e <> 'match] parse/trace \"ab\" [some [skip]] :g",
        "parse \"ab\" [skip (parse \"cd\" [\"c\" (x: parse \"e\" [\"e\"]) \"d\"]) skip]",
    };
    for (const char* code : values) {
        SCOPED_TRACE(code);
        run(code);
        expect_stacks_empty();
    }
    const natives_cases::ErrorCase errors[] = {
        {"parse \"ab\" [skip (1 / 0)]", Err::math_zero_divide},
        {"parse \"ab\" [skip (parse \"x\" [\"x\" (1 / 0)])]", Err::math_zero_divide},
        {"r: [\"a\" r | end] parse append/dup copy \"\" #\"a\" 4000 r", Err::script_parse_stack},
        {"r: [not r] parse \"a\" r", Err::script_parse_infinite},
        {"parse \"a\" [collect [keep skip] keep skip]", Err::script_parse_keep},
    };
    for (const auto& e : errors) {
        SCOPED_TRACE(e.code);
        EXPECT_TRUE(test_support::raises(e.id, [&] { run(e.code); }));
        expect_stacks_empty();
    }
}

// A chain of prefix keywords without blocks takes a stack entry per keyword,
// so a malicious rule stops at the stack limit, not in the machine stack.
TEST_F(ParseTest, KeywordChainsStopAtTheLimit) {
    EXPECT_TRUE(test_support::raises(Err::script_parse_stack, [] {
        run("r: append/dup copy [] 'not 50000 append r 'skip parse \"a\" r");
    }));
    EXPECT_TRUE(test_support::raises(Err::script_parse_stack, [] {
        run("r: append/dup copy [] 'opt 50000 append r 'skip parse \"a\" r");
    }));
    expect_stacks_empty();
    EXPECT_EQ(natives_cases::eval_molded("r: append/dup copy [] 'opt 1000 append r 'skip parse \"a\" r"),
              "true");
}

}  // namespace
}  // namespace zel
