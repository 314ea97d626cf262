// The evaluation, binding and function-making natives (do, reduce, compose,
// get, set, unset, value?, bind, in, context?, construct, extend, func,
// function, does, has, apply) and the two support routines that call natives
// (frame::set_refinements, error::make_and_push), as tables of Zel source ->
// molded value or error id.
#include "core/block.h"
#include "core/runtime_words.h"
#include "core/support.h"
#include "core/word.h"
#include "interpreter/natives.h"
#include "kernel/hooks.h"
#include "kernel/print.h"
#include "natives_cases.h"

namespace zel {
namespace {

using natives_cases::Case;
using natives_cases::ErrorCase;
using natives_cases::eval_molded;
using natives_cases::run;

using DoTest = natives_cases::NativesTest;

TEST_F(DoTest, EvaluatesByType) {
    const Case cases[] = {
        {"do [1 + 2]", "3"},
        {"do []", "unset"},
        {R"(do "1 + 2")", "3"},
        {R"(do "")", "unset"},
        {"do 5", "5"},
        {"x: 7 do 'x", "7"},
        {"o: make object! [a: 4] do 'o/a", "4"},
        {"do pick [(2 * 3)] 1", "6"},
        {"b: next [1 2] do b", "2"},
        {"do/next [1 2] 'pos", "1"},
        {"do/next [1 2] 'pos pos", "[2]"},
        {"do/next [1 + 2 3] 'pos index? pos", "4"},
        {"type? do/next [] 'pos", "unset!"},
        {"f: does [do [return 3] 4] f", "3"},
        {"n: 0 loop 3 [n: n + 1 do [break]] n", "1"},
        {"do/trace [1 + 2] func [event code offset value ref frame] [true]", "3"},
    };
    natives_cases::check_values(cases);
    const ErrorCase errors[] = {
        {R"(do make error! "boom")", Err::user_message},
        {"do %no-such-script.zs", Err::internal_not_done},
        {"do/expand [1]", Err::internal_not_done},
        {"do [1 / 0]", Err::math_zero_divide},
        {"do/trace [1 / 0] func [event code offset value ref frame] [true]", Err::math_zero_divide},
    };
    natives_cases::check_errors(errors);
}

// ---- reduce and compose ----------------------------------------------------------------------

using ReduceTest = natives_cases::NativesTest;

TEST_F(ReduceTest, Reduce) {
    const Case cases[] = {
        {"reduce [1 + 2 3]", "[3 3]"},
        {"reduce []", "[]"},
        {"reduce 5", "5"},
        {"x: 4 reduce 'x", "4"},
        {"type? reduce :print", "native!"},
        {"f: does [9] type? reduce :f", "function!"},
        {"reduce next [1 2 + 3]", "[5]"},
        {"b: [x] reduce/into [1 + 1 3] b", "[x]"},
        {"b: [x] reduce/into [1 + 1 3] b b", "[2 3 x]"},
        {"b: [x y] reduce/into [1] next b b", "[x 1 y]"},
        {"b: [] reduce/into [1 2] b b", "[1 2]"},
        {"reduce [[1 + 2]]", "[[1 + 2]]"},
    };
    natives_cases::check_values(cases);
}

// The values reduce collects lose the new-line marker they had in the code.
TEST_F(ReduceTest, NewLineMarkersCleared) {
    Cell b = run("reduce [1\n2\n3]");
    ASSERT_EQ(block::buffer_length(&b), 3u);
    for (uint32_t i = 0; i < 3; i++) EXPECT_EQ(block::cell_at(&b, i)->header & HDR_NEW_LINE, 0u) << i;
}

TEST_F(ReduceTest, Compose) {
    const Case cases[] = {
        {"compose [a (1 + 1) ([b c]) ()]", "[a 2 b c]"},
        {"compose/only [([b c])]", "[[b c]]"},
        {"compose [[(1)]]", "[[(1)]]"},
        {"compose/deep [[(1)] x]", "[[1] x]"},
        {"compose/deep/only [[([2])]]", "[[[2]]]"},
        {"compose [([]) x]", "[x]"},
        {"compose [(()) x]", "[x]"},
        {"compose [(none) (1 = 1)]", "[none true]"},
        {"b: [z] compose/into [(1) 2] b b", "[1 2 z]"},
        {"b: [z] compose/into [(1) 2] b", "[z]"},
        {"b: [z] compose/into/deep [[(1)]] b b", "[[1] z]"},
        {"compose next [(1) (2)]", "[2]"},
    };
    natives_cases::check_values(cases);
    const ErrorCase errors[] = {
        {"compose 5", Err::script_expect_arg},
        {"compose [(1 / 0)]", Err::math_zero_divide},
    };
    natives_cases::check_errors(errors);
}

// ---- get, set, unset, value? ---------------------------------------------------------------

using WordsTest = natives_cases::NativesTest;

TEST_F(WordsTest, Get) {
    const Case cases[] = {
        {"x: 5 get 'x", "5"},
        {"type? get/any 'never-assigned-word", "unset!"},
        {"o: make object! [a: 1 b: 2] get o", "[1 2]"},
        {"o: make object! [a: 1] get 'o/a", "1"},
        {"b: [x 10] get 'b/x", "10"},
        {"b: [x [y 3]] get 'b/x/y", "3"},
        {"type? get 'print", "native!"},
    };
    natives_cases::check_values(cases);
    const ErrorCase errors[] = {{"get 'never-assigned-word", Err::script_no_value}};
    natives_cases::check_errors(errors);
}

TEST_F(WordsTest, Set) {
    const Case cases[] = {
        {"set 'x 5 x", "5"},
        {"set 'x 5", "5"},
        {"c: 1 set [a b c] [1 2] reduce [a b c]", "[1 2 none]"},
        {"set [a b] 5 reduce [a b]", "[5 5]"},
        {"set/only [a b] [1 2] a", "[1 2]"},
        {"a: 9 set/some [a b] reduce [none 2] reduce [a b]", "[9 2]"},
        {"set [a b] [1 2]", "[1 2]"},
        {"set [a: :b] [3 4] reduce [a b]", "[3 4]"},
        {"set/any 'x () type? get/any 'x", "unset!"},
        {"set/any [a b] reduce [1 ()] type? get/any 'b", "unset!"},
        {"o: make object! [a: 1] set 'o/a 7 o/a", "7"},
        {"b: [x 1] set 'b/x 2 b", "[x 2]"},
        {"o: make object! [a: 1 b: 2] set o [8 9] get o", "[8 9]"},
    };
    natives_cases::check_values(cases);
}

// set checks every word and value of a block before it assigns any.
TEST_F(WordsTest, SetAssignsNothingOnError) {
    const ErrorCase errors[] = {
        {"a: 9 set [a 1] [2 3]", Err::script_invalid_arg},
        {"a: 9 set [a 1] 5", Err::script_invalid_arg},
        {"a: 9 set [a b] reduce [2 ()]", Err::script_need_value},
        {"a: 9 set 'a ()", Err::script_need_value},
    };
    for (const ErrorCase& c : errors) {
        SCOPED_TRACE(c.code);
        EXPECT_TRUE(test_support::raises(c.id, [&] { run(c.code); }));
        EXPECT_EQ(eval_molded("a"), "9");
    }
}

TEST_F(WordsTest, UnsetAndValueQ) {
    const Case cases[] = {
        {"x: 1 unset 'x value? 'x", "false"},
        {"x: 1 y: 2 unset [x 3 y] reduce [value? 'x value? 'y]", "[false false]"},
        {"type? unset 'x", "unset!"},
        {"value? 'value?", "true"},
        {"x: none value? 'x", "true"},
    };
    natives_cases::check_values(cases);
}

// ---- binding -----------------------------------------------------------------------------------

using BindTest = natives_cases::NativesTest;

TEST_F(BindTest, BindInContext) {
    const Case cases[] = {
        {"x: 5 o: make object! [x: 1] b: [x] bind b o do b", "1"},
        {"x: 5 o: make object! [x: 1] src: [x] b: bind/copy src o reduce [do src do b]", "[5 1]"},
        {"x: 5 o: make object! [x: 1] get bind 'x o", "1"},
        {"o: make object! [x: 1] get bind 'x in o 'x", "1"},
        {"y: 5 o: make object! [x: 1] get bind 'y o", "5"},
        {"o: make object! [a: 1] get in o 'a", "1"},
        {"o: make object! [a: 1] in o 'missing", "none"},
        {"o: make object! [a: 1] in o /a", "a"},
        {"o: make object! [a: 1] same? o context? in o 'a", "true"},
        {"f: func [x] [context? 'x] same? :f f 1", "true"},
        {"type? context? 'print", "none!"},
        {"x: 5 f: func [x] [do bind [x] 'x] f 7", "7"},
    };
    natives_cases::check_values(cases);
}

TEST_F(BindTest, ConstructExtend) {
    const Case cases[] = {
        {"o: construct [a: 1 + 2] o/a", "1"},
        {"o: construct [a: b: 5] reduce [o/a o/b]", "[5 5]"},
        {"o: construct [b: true] type? o/b", "logic!"},
        {"o: construct/only [b: true] type? o/b", "word!"},
        {"p: make object! [a: 1 b: 2] o: construct/with [b: 3] p reduce [o/a o/b]", "[1 3]"},
    };
    natives_cases::check_values(cases);
    const ErrorCase errors[] = {{"extend make object! [] [a 1]", Err::internal_not_done}};
    natives_cases::check_errors(errors);
}

// ---- making functions -------------------------------------------------------------------------

using FuncTest = natives_cases::NativesTest;

TEST_F(FuncTest, Makers) {
    const Case cases[] = {
        {"f: func [a b] [a + b] f 1 2", "3"},
        {"s: [a] f: func s [a] append s 'b f 1", "1"},
        {"f: func [a] [a] reflect :f 'spec", "[a]"},
        {"f: func next [x a] [a] f 4", "4"},
        {"x: 1 f: function [] [x: 5 x] reduce [f x]", "[5 1]"},
        {"f: function [a] [b: a] reflect :f 'spec", "[a /local b]"},
        {"x: 1 f: function [/extern x] [x: 5] f x", "5"},
        {"f: does [1] f", "1"},
        {"reflect does [1] 'spec", "[]"},
        {"reflect has [x] [x] 'spec", "[/local x]"},
        {"f: has [x] [x: 2 x] f", "2"},
        {"v: [x] f: has v [x] v", "[x]"},
        {"f: func [n] [either n < 2 [n] [(f n - 1) + f n - 2]] f 10", "55"},
    };
    natives_cases::check_values(cases);
    const ErrorCase errors[] = {
        {"func [a a] []", Err::script_dup_vars},
        {"func [1] []", Err::script_bad_func_def},
    };
    natives_cases::check_errors(errors);
}

TEST_F(FuncTest, Apply) {
    const Case cases[] = {
        {"f: func [a b] [a - b] apply :f [10 1 + 2]", "7"},
        {"f: func [a b] [a - b] apply 'f [10 3]", "7"},
        {"apply :add [1 2]", "3"},
        {"apply :+ [1 2]", "3"},
        {"apply 'add [1 2]", "3"},
        {"f: func [a /r b] [reduce [a r b]] apply 'f/r [1 2]", "[1 true 2]"},
        {"f: func [a /r b] [reduce [a r b]] apply 'f [1]", "[1 false none]"},
        {"f: func [a /r b] [reduce [a r b]] apply/all :f [1 true 2]", "[1 true 2]"},
        {"f: func [a /r b] [reduce [a r b]] apply/all :f [1 false 2]", "[1 false none]"},
        {"f: func [a /r b] [reduce [a r b]] apply/all :f [1]", "[1 false none]"},
        {"n: 0 f: func [a /r b] [a] apply/all :f [1 false n: 5] n", "5"},
        {"n: 0 f: func [a /r b] [a] apply/all/safer :f [1 false n: 5] n", "0"},
        {"f: func [a /local x] [x: a * 2 x] apply :f [4]", "8"},
        {"b: [1 2 3] apply 'remove/part [b 2] b", "[3]"},
        {"apply :reduce [[1 + 1]]", "[2]"},
        {"apply 'reduce/into [[1 + 1] []]", "[]"},
        {"f: func [a] [return a * 3 0] apply :f [2]", "6"},
    };
    natives_cases::check_values(cases);
    const ErrorCase errors[] = {
        {"x: 1 apply 'x [1]", Err::script_invalid_arg},
        {"f: func [a b] [a] apply :f [1]", Err::script_no_arg},
        {"f: func [a [integer!]] [a] apply :f [\"s\"]", Err::script_expect_arg},
        {"f: func [a /r] [a] apply 'f/q [1]", Err::script_no_refine},
    };
    natives_cases::check_errors(errors);
}

}  // namespace
}  // namespace zel
