// The native table and the control natives (if ... case, the loops and their
// exits), as tables of Zel source -> molded value or error id.
#include <cmath>
#include <initializer_list>

#include "core/native.h"
#include "core/word.h"
#include "interpreter/natives.h"
#include "natives_cases.h"

namespace zel {
namespace {

using natives_cases::Case;
using natives_cases::ErrorCase;
using natives_cases::eval_molded;
using natives_cases::run;

using NativeTableTest = natives_cases::NativesTest;

// Every defined native sits at its index under its word; indexes no module
// defines stay empty, and so do the spare slots after the last native.
TEST_F(NativeTableTest, SlotsFollowTheIndexOrder) {
    const natives_cases::NativeSlot known[] = {{1, "if"},      {13, "remove-each"}, {14, "func"},
                                               {19, "case"},    {20, "do"},          {22, "set"},
                                               {35, "reduce"},  {36, "compose"},     {92, "context?"}};
    natives_cases::check_slots(known);
    for (uint32_t index = 1; index <= natives::COUNT; index++) {
        if (!natives::find(index)) {
            EXPECT_EQ(natives::routine(index), nullptr) << index;
        }
    }
    EXPECT_EQ(natives::find(natives::COUNT + 1), nullptr);
    EXPECT_EQ(natives::routine(0), nullptr);
    EXPECT_EQ(natives::routine(natives::TABLE_SLOTS + 1), nullptr);
}

TEST_F(NativeTableTest, SpecsCarryTheirDocStrings) {
    const Case cases[] = {
        {R"(equal? pick reflect :if 'spec 1 "If conditional expression is truthy, evaluate block; else return NONE")",
         "true"},
        {"pick reflect :switch 'spec 7", "/default"},
        {"length? reflect :repeat 'spec", "9"},
        {"pick reflect :repeat 'spec 2", "'word"},
        {R"(equal? pick reflect :repeat 'spec 4 "Iteration counter; not local to loop")", "true"},
        {"pick reflect :loop 'spec 3", "[integer! float!]"},
    };
    natives_cases::check_values(cases);
}

// A native called with the check flag tests its arguments against its spec,
// a refinement's argument only when the refinement is used.
TEST_F(NativeTableTest, CheckFlagTestsArguments) {
    auto call = [&](const char* name, uint32_t index, std::initializer_list<Cell> args, const int32_t* refs) {
        Cell w = word::intern(name);
        interp::prepare_spec(word::get_value(&w));
        stack::enter_native(&w);
        for (const Cell& a : args) stack::push(&a);
        bool raised = test_support::raises(Err::script_expect_arg, [&] { natives::routine(index)(true, refs); });
        stack::reg.call_top = call_top;
        stack::reg.base = stack::reg.bottom;
        stack::reg.top = top;
        return raised;
    };
    Cell one, cases, none;
    cell::make_integer(&one, 1);
    cases = run("[]");
    cell::make_none(&none);
    int32_t unused[1] = {-1}, default_at_2[1] = {2};
    EXPECT_TRUE(call("loop", 8, {one, one}, unused));
    EXPECT_FALSE(call("loop", 8, {one, cases}, unused));
    EXPECT_TRUE(call("switch", 18, {one, cases, none}, default_at_2));
    EXPECT_FALSE(call("switch", 18, {one, cases, none}, unused));
}

// ---- conditions ------------------------------------------------------------------------------

using ConditionTest = natives_cases::NativesTest;

TEST_F(ConditionTest, IfUnlessEither) {
    const Case cases[] = {
        {"if none [1]", "none"},       {"if false [1]", "none"},     {"if () [1]", "1"},
        {"if 0 [1 2]", "2"},           {"if true []", "unset"},      {"unless false [1]", "1"},
        {"unless 1 [2]", "none"},      {"unless none []", "unset"},  {"either true [1] [2]", "1"},
        {"either none [1] [2]", "2"},  {"either 0 [1] [2]", "1"},    {"either false [1] [2]", "2"},
    };
    natives_cases::check_values(cases);
}

TEST_F(ConditionTest, AnyAll) {
    const Case cases[] = {
        {"any []", "none"},
        {"all []", "none"},
        {"any [none 2 3]", "2"},
        {"x: 0 any [none 2 x: 1] x", "0"},
        {"any [none false]", "none"},
        {"all [1 2 3]", "3"},
        {"all [1 none 3]", "none"},
        {"x: 0 all [false x: 1] x", "0"},
        {"all [1 + 1 2 * 3]", "6"},
        {"any [() 5]", "unset"},
    };
    natives_cases::check_values(cases);
}

TEST_F(ConditionTest, Switch) {
    const Case cases[] = {
        {"switch 2 [1 ['a] 2 3 ['b]]", "b"},
        {"switch 9 [1 ['a]]", "none"},
        {"switch/default 9 [1 ['a]] [7]", "7"},
        {"switch/default 1 [1] [7]", "none"},
        {"switch 1 [1]", "none"},
        {R"(switch "a" ["A" [1]])", "1"},
        {"switch 1 [1.0 [1] 1 [2]]", "2"},
        {"switch 'b [a [1] b [2]]", "2"},
        {"switch [1] [[1] [2]]", "none"},
    };
    natives_cases::check_values(cases);
}

TEST_F(ConditionTest, Case) {
    const Case cases[] = {
        {"case/all [true [1] false [2]]", "none"},
        {"case/all [false [1] true [2]]", "2"},
        {"case [false [1] true [2] true [3]]", "2"},
        {"case []", "none"},
        {"case [false [1]]", "none"},
        {"case [true 1 + 1]", "2"},
        {"case [1 < 0 [1] 1 > 0 [2]]", "2"},
        {"n: 0 case/all [true [n: n + 1] false [n: 100] true [n: n + 10]] n", "11"},
    };
    natives_cases::check_values(cases);
}

TEST_F(ConditionTest, Errors) {
    const ErrorCase cases[] = {
        {"either () [1] [2]", Err::script_no_return},
        {"case [true]", Err::script_need_value},
        {"case [false [1] true]", Err::script_need_value},
        {"case [() [1]]", Err::script_no_return},
        {"if 1 2", Err::script_expect_arg},
    };
    natives_cases::check_errors(cases);
}

// ---- loops -----------------------------------------------------------------------------------

using LoopTest = natives_cases::NativesTest;

TEST_F(LoopTest, WhileUntil) {
    const Case cases[] = {
        {"n: 0 while [n < 3] [n: n + 1] n", "3"},
        {"type? while [true] [break/return 5]", "unset!"},
        {"type? while [false] [1]", "unset!"},
        {"n: 0 while [n < 5] [n: n + 1 if n = 2 [break]] n", "2"},
        {"n: 0 m: 0 while [n < 5] [n: n + 1 if odd? n [continue] m: m + 1] m", "2"},
        {"n: 0 until [n: n + 1 n >= 3]", "true"},
        {"n: 0 until [n: n + 1 n >= 3] n", "3"},
        {"until [7]", "7"},
        {"n: 0 until [n: n + 1 if n < 3 [continue] true] n", "3"},
        {"until [break/return 4]", "4"},
    };
    natives_cases::check_values(cases);
}

TEST_F(LoopTest, LoopRepeatForever) {
    const Case cases[] = {
        {"n: 0 loop 2.9 [n: n + 1] n", "2"},
        {"n: 0 loop -2.9 [n: n + 1] n", "0"},
        {"loop -1 [1]", "none"},
        {"loop 0 [1]", "none"},
        {"loop 3 [5]", "5"},
        {"type? loop 2 [break]", "unset!"},
        {"loop 2 [break/return 8]", "8"},
        {"i: 7 repeat i 0 [1]", "none"},
        {"i: 7 repeat i 0 [1] i", "7"},
        {"out: [] repeat i 3 [append out i i: 10] out", "[1 2 3]"},
        {"repeat i 3 [i * 10]", "30"},
        {"n: 0 repeat i 2.5 [n: n + i] n", "3"},
        {"type? forever [break]", "unset!"},
        {"n: 0 forever [n: n + 1 if n = 4 [break/return n * 2]]", "8"},
    };
    natives_cases::check_values(cases);
}

TEST_F(LoopTest, Foreach) {
    const Case cases[] = {
        {"out: [] foreach x [1 2 3] [append out x * 2] out", "[2 4 6]"},
        {"out: [] foreach [a b] [1 2 3] [append/only out reduce [a b]] out", "[[1 2] [3 none]]"},
        {"n: 0 foreach [a b] [1 2 3] [n: n + 1] n", "2"},
        {"type? foreach x [] [1]", "unset!"},
        {R"(foreach x "ab" [x])", "#\"b\""},
        {R"(out: [] foreach [a b] "abc" [append out reduce [a b]] out)", R"([#"a" #"b" #"c" none])"},
        {"s: next [1 2 3] foreach x s [] s", "[2 3]"},
        {"foreach x next [1 2 3] [x]", "3"},
        {"out: [] foreach x pick [(1 2)] 1 [append out x] out", "[1 2]"},
        {"foreach x [1 2 3] [if x = 2 [break/return x * 10]]", "20"},
        {"out: [] foreach x [1 2 3] [if x = 2 [continue] append out x] out", "[1 3]"},
        {"out: [] foreach [a] [1 2] [append out a] out", "[1 2]"},
    };
    natives_cases::check_values(cases);
    const ErrorCase errors[] = {
        {"foreach [] [1] []", Err::script_invalid_arg},
        {"foreach [a 1] [1 2] []", Err::script_invalid_arg},
        {"foreach x 5 []", Err::script_expect_arg},
    };
    natives_cases::check_errors(errors);
}

TEST_F(LoopTest, Forall) {
    const Case cases[] = {
        {"s: [1 2 3] out: [] forall s [append out pick s 1] out", "[1 2 3]"},
        {"s: [1 2 3] forall s [] index? s", "1"},
        {"s: next [1 2 3] forall s [] index? s", "2"},
        {"s: [1 2 3] forall s [if 2 = pick s 1 [break]] index? s", "2"},
        {"s: [1 2 3] forall s [pick s 1]", "3"},
        {R"(s: "ab" out: [] forall s [append out pick s 1] out)", R"([#"a" #"b"])"},
        {"s: [] forall s [1]", "unset"},
        {"s: [1 2 3] n: 0 forall s [n: n + 1 s: next s] n", "2"},
    };
    natives_cases::check_values(cases);
    const ErrorCase errors[] = {
        {"s: [1 2 3] forall s [s: [4 5]]", Err::script_bad_loop_series},
        {"s: [1 2 3] forall s [s: 5]", Err::script_bad_loop_series},
        {"x: 1 forall x []", Err::script_expect_arg},
        {"unset 'never-set-here forall never-set-here []", Err::script_no_value},
    };
    natives_cases::check_errors(errors);
}

TEST_F(LoopTest, RemoveEach) {
    const Case cases[] = {
        {"remove-each x [1 2 3 4] [even? x]", "[1 3]"},
        {"b: [1 2 3 4] remove-each x b [even? x] b", "[1 3]"},
        {"b: [1 2 3 4] same? b remove-each x b [x = 1]", "true"},
        {"remove-each [a b] [1 2 3 4 5 6] [a = 3]", "[1 2 5 6]"},
        {"remove-each [a b] [1 2 3] [b = none]", "[1 2]"},
        {R"(remove-each x "abc" [x = #"b"])", R"("ac")"},
        {"remove-each x [1 2] [()]", "[]"},
        {"remove-each x [1 2 3] [if x = 2 [break] true]", "[2 3]"},
        {"remove-each x [1 2 3] [if x = 1 [continue] true]", "[1]"},
        {"remove-each x next [1 2 3] [true]", "[]"},
        {"b: [1 2 3] remove-each x next b [true] b", "[1]"},
        {"remove-each x reduce [1 none 3] [x = none]", "[1 3]"},
    };
    natives_cases::check_values(cases);
    const ErrorCase errors[] = {{"remove-each [] [1] [true]", Err::script_invalid_arg}};
    natives_cases::check_errors(errors);
}

// break and continue land on the innermost loop from any call depth, return
// leaves a loop inside a function, and errors pass through loops.
TEST_F(LoopTest, ExitsCrossFrames) {
    const Case cases[] = {
        {"f: func [] [loop 3 [return 5] 9] f", "5"},
        {"n: 0 g: func [] [break] loop 3 [n: n + 1 g] n", "1"},
        {"n: 0 g: func [] [continue] loop 3 [n: n + 1 g n: 100] n", "3"},
        {"n: 0 loop 5 [if n = 2 [n: n + 10 continue] n: n + 1] n", "14"},
        {"out: [] loop 2 [foreach x [1 2 3] [if x = 2 [break] append out x]] out", "[1 1]"},
        {"f: func [] [foreach x [1 2 3] [if x = 2 [return x]]] f", "2"},
        {"f: func [] [repeat i 5 [if i = 3 [exit]] 9] type? f", "unset!"},
        {"n: 0 loop 2 [do [n: n + 1 break]] n", "1"},
        {"f: func [] [while [true] [return 6]] f", "6"},
        {"f: func [] [case [true [return 4]] 9] f", "4"},
        {"f: func [] [any [return 3] 9] f", "3"},
    };
    natives_cases::check_values(cases);
    const ErrorCase errors[] = {
        {"while [break] [1]", Err::throw_while_cond},
        {"while [continue] [1]", Err::throw_while_cond},
        {"while [()] [1]", Err::script_no_return},
        {"until [()]", Err::script_no_return},
        {"loop 2 [1 / 0]", Err::math_zero_divide},
        {"foreach x [1] [1 / 0]", Err::math_zero_divide},
    };
    natives_cases::check_errors(errors);
}

// A float count outside the 32-bit range, or NaN, is refused rather than run
// no times.
TEST_F(LoopTest, CountOutOfRange) {
    Cell nan;
    cell::make_float(&nan, std::nan(""));
    Cell w = word::intern("a-nan-value");
    word::set_value(&w, &nan);
    const ErrorCase errors[] = {
        {"loop 1e10 [1]", Err::script_out_of_range},
        {"loop -1e10 [1]", Err::script_out_of_range},
        {"loop a-nan-value [1]", Err::script_out_of_range},
        {"repeat i 3e9 [1]", Err::script_out_of_range},
        {"repeat i a-nan-value [1]", Err::script_out_of_range},
    };
    natives_cases::check_errors(errors);
    EXPECT_EQ(eval_molded("n: 0 loop 2147483647.9 [n: n + 1 if n = 3 [break]] n"), "3");
}

// The end test of the loop steps.
TEST_F(LoopTest, StepRoutines) {
    Cell b = run("[1 2]");
    EXPECT_TRUE(loop::is_more(&b));
    cell::set_series_index(&b, 2);
    EXPECT_FALSE(loop::is_more(&b));
}

}  // namespace
}  // namespace zel
