// The evaluator, function invocation, trace events and the fast paths, as
// text -> value tables. Until the natives exist, the fixture binds the few
// actions, ops and small test natives the cases need.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "core/block.h"
#include "core/context.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/exits.h"
#include "core/logic.h"
#include "core/native.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/word.h"
#include "datatypes/typeset.h"
#include "interpreter/eval.h"
#include "interpreter/fastpath.h"
#include "interpreter/trace.h"
#include "io/lexer.h"
#include "kernel/collector.h"
#include "natives_cases.h"
#include "test_support.h"

namespace zel {
namespace {

// ---- environment ------------------------------------------------------------------

Cell global(const char* name) { return word::intern(name); }

uint32_t type_of(const Cell& c) { return cell::type(&c); }
Cell value_of(const char* name) {
    Cell w = global(name);
    return *word::get_value(&w);
}

void set_global(const char* name, const Cell& value) {
    Cell w = global(name);
    word::set_value(&w, &value);
}

// The block written in the text.
Cell loaded(const char* text) {
    Cell b = lexer::load_text(text, std::strlen(text));
    stack::pop(1);
    return *block::cell_at(&b, 0);
}

// Test natives live in the last slots of the native table, which stay empty.
uint32_t next_slot = natives::TABLE_SLOTS;

void define_native(const char* name, natives::Routine routine, const char* spec) {
    Cell s = loaded(spec);
    set_global(name, s);
    uint32_t index = next_slot--;
    natives::table.slots[index - 1] = routine;
    Cell n;
    native::write_cell(&n, T_NATIVE, index, &s);
    set_global(name, n);
}

Cell* arg(uint32_t k) { return stack::reg.base + k; }

void positive_native(bool, const int32_t*) { cell::make_logic(arg(0), cell::get_int(arg(0)) > 0); }

// reduce-lite: the values of each expression, into a new block.
void collect_native(bool, const int32_t*) {
    Cell code = *arg(0);
    Cell out;
    block::write_cell(&out, 4);
    *stack::push_slot() = out;
    uint32_t pos = uint32_t(cell::series_index(&code));
    while (pos < block::buffer_length(&code)) {
        pos = interp::eval_next_at(&code, pos, true);
        if (exits::pending()) return;
        block::append_copy(&out, stack::top());
        stack::pop(1);
    }
    *arg(0) = out;
}

// here: the current code position, as a block at that index.
void here_native(bool, const int32_t*) { *arg(0) = interp::current_code(); }

void setup_environment() {
    static bool done = false;
    interp::init();  // other suites may have replaced the notifiers
    if (done) return;
    done = true;
    // The standard words are bound at boot; only this suite's own natives
    // are added here, under names no boot word uses.
    define_native("positive", positive_native, "[n [integer!]]");
    define_native("collect", collect_native, "[code [block!]]");
    define_native("here", here_native, "[]");
}

// ---- running text --------------------------------------------------------------------

using natives_cases::eval_molded;
using natives_cases::molded;
using natives_cases::run;

struct EvalTest : ::testing::Test {
    Cell* top;
    stack::Frame* call_top;
    bool collector_was;
    void SetUp() override {
        stack::init();  // whatever other suites left on the stacks
        setup_environment();
        top = stack::reg.top;
        call_top = stack::reg.call_top;
        collector_was = collector::state.enabled;
        collector::state.enabled = true;  // GC stress collects at every expression
    }
    void TearDown() override {
        if (HasFailure()) std::printf("last error code %d\n", test_support::take_error_code());
        collector::state.enabled = collector_was;
        EXPECT_EQ(stack::reg.call_top, call_top);
        EXPECT_EQ(exits::pending(), EXIT_NONE);
        stack::reg.top = top;
    }
};

struct Case {
    const char* code;
    const char* expected;  // the molded value
};

void check_table(const Case* cases, size_t n) {
    for (size_t i = 0; i < n; i++) {
        SCOPED_TRACE(cases[i].code);
        test_support::take_error_code();
        try {
            EXPECT_EQ(eval_molded(cases[i].code), cases[i].expected);
        } catch (...) {
            ADD_FAILURE() << "error " << test_support::take_error_code();
            stack::reg.call_top = stack::reg.call_bottom;
        }
    }
}

// ---- expressions ----------------------------------------------------------------------

TEST_F(EvalTest, OperatorsApplyLeftToRight) {
    const Case cases[] = {
        {"1 + 2 * 3", "9"},
        {"2 * 3 + 1", "7"},
        {"1 + (2 * 3)", "7"},
        {"add 1 2 * 3", "7"},           // a prefix call's argument takes the operators after it
        {"multiply 2 3 + 1", "8"},
        {"1.5 + 1.5 * 2.0", "6.0"},
        {"10 - 2 - 3", "5"},
        {"a: b: 3 a * b", "9"},
    };
    check_table(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(EvalTest, ValuesEvaluateAsTheirKind) {
    set_global("v", run("[1 2 3]"));
    const Case cases[] = {
        {"'foo", "foo"},
        {"'a/b", "a/b"},
        {":add", "make action! [[\"Returns the sum of two values\" value1 [scalar! vector!] value2 [scalar! vector!] return: [scalar! vector!]]]"},
        {"v", "[1 2 3]"},
        {"v/2", "2"},
        {":v/3", "3"},
        {"next v", "[2 3]"},
        {"(1 2 3)", "3"},
        {"[a b]", "[a b]"},
        {"\"text\"", "\"text\""},
        {"collect [1 + 1 'x 3]", "[2 x 3]"},
    };
    check_table(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(EvalTest, EmptyBlockIsUnset) {
    EXPECT_EQ(type_of(run("")), T_UNSET);
    EXPECT_EQ(type_of(run("()")), T_UNSET);
}

TEST_F(EvalTest, ExpressionErrors) {
    struct ErrCase {
        const char* code;
        Err id;
    };
    const ErrCase cases[] = {
        {"+ 1 2", Err::script_no_op_arg},
        {"1 + + 2", Err::script_no_op_arg},
        {"unset-word-here", Err::script_no_value},
        {"x-unset:", Err::script_need_value},
        {"add 1", Err::script_no_arg},
        {"1 +", Err::script_no_arg},
        {"either 1", Err::script_no_arg},
        {"either 1 2 [3]", Err::script_expect_arg},
        {"v-missing/1", Err::script_unset_path},
    };
    for (const ErrCase& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_TRUE(test_support::raises(c.id, [&] { run(c.code); }));
        stack::reg.call_top = call_top;
    }
}

// ---- functions ---------------------------------------------------------------------------

TEST_F(EvalTest, ArgumentFetchModes) {
    run("x: 10 quote-it: make function! [['a] [a]] as-is: make function! [[:a] [a]]"
        " opt-arg: make function! [['a [any-type!]] [:a]]");
    const Case cases[] = {
        {"quote-it foo", "foo"},
        {"quote-it (1 + 2)", "3"},          // a paren is evaluated
        {"quote-it :x", "10"},              // a get-word gives the word's value
        {"as-is (1 + 2)", "(1 + 2)"},       // taken as it stands
        {"as-is :x", ":x"},
        {"quote-it 1 + 2", "3"},            // the operator applies to the result
    };
    check_table(cases, sizeof cases / sizeof cases[0]);
    EXPECT_EQ(type_of(run("opt-arg")), T_UNSET);
    EXPECT_TRUE(test_support::raises(Err::script_no_arg, [&] { run("quote-it"); }));
}

TEST_F(EvalTest, RefinementsFromPaths) {
    run("f: make function! [[a /r b /s c] [out: copy [] append out a append out r append out b"
        " append out s append out c out]]");
    const Case cases[] = {
        {"f 1", "[1 false none false none]"},
        {"f/r 1 2", "[1 true 2 false none]"},
        {"f/s/r 1 3 2", "[1 true 2 true 3]"},  // arguments come in path order
        {"r: false f/:r 1 2", "[1 false none false none]"},  // the value decides
        {"r: 1 f/:r 1 2", "[1 true 2 false none]"},
        {"append/only copy [] [1 2]", "[[1 2]]"},
        {"append/dup copy [] 7 3", "[7 7 7]"},
    };
    check_table(cases, sizeof cases / sizeof cases[0]);
    struct ErrCase {
        const char* code;
        Err id;
    };
    const ErrCase errors[] = {
        {"f/x 1", Err::script_no_refine},
        {"f/r/r 1 2 3", Err::script_dup_refine},
        {"f/1 1", Err::script_bad_refine},
        {":f/r", Err::script_invalid_path_get},
        {"append/nothing [] 1", Err::script_no_refine},
    };
    for (const ErrCase& c : errors) {
        SCOPED_TRACE(c.code);
        EXPECT_TRUE(test_support::raises(c.id, [&] { run(c.code); }));
        stack::reg.call_top = call_top;
    }
}

TEST_F(EvalTest, RecursionSeesItsOwnArguments) {
    run("sum: make function! [[n] [either positive n [n + sum n - 1] [0]]]"
        " back-to-n: make function! [[n] [either positive n [inner: back-to-n n - 1 n] [0]]]");
    const Case cases[] = {
        {"sum 10", "55"},
        {"back-to-n 5", "5"},
        {"sum 200", "20100"},
    };
    check_table(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(EvalTest, ReturnEndsOnlyItsCallAndBreakReachesTheLoop) {
    run("early: make function! [[a] [return a * 2 a]]"
        " outer: make function! [[] [1 + early 5]]"
        " breaker: make function! [[] [break 99]]");
    const Case cases[] = {
        {"early 4", "8"},
        {"outer", "11"},
        {"n: 0 loop 5 [n: n + 1 breaker n: n + 100] n", "1"},
        {"loop 3 [return-check: 1]", "1"},
    };
    check_table(cases, sizeof cases / sizeof cases[0]);
    EXPECT_TRUE(test_support::raises(Err::throw_return, [&] { run("return 1"); }));
    stack::reg.call_top = call_top;
}

TEST_F(EvalTest, FunctionContextsAreRestored) {
    run("g: make function! [[a] [a]]");
    EXPECT_EQ(eval_molded("g 1 g 2"), "2");
    // After the call the function's words have no values any more.
    Cell a = run("first-word: pick reflect :g 'words 1");
    EXPECT_TRUE(test_support::raises(Err::script_not_in_context, [&] { word::get_value(&a); }));
}

TEST_F(EvalTest, CodeThatShortensItsBlockStopsAtTheLiveTail) {
    // The block clears itself from the second expression on; what follows the
    // clear is never read.
    set_global("self-code", run("[1 clear next self-code 2 3]"));
    EXPECT_EQ(eval_molded("do-it: make function! [[b] [either 1 b [0]]] do-it self-code"), "[]");
    EXPECT_EQ(eval_molded("self-code"), "[1]");
}

TEST_F(EvalTest, IntegerOverflowGivesFloat) {
    const Case cases[] = {
        {"2147483647 + 1", "2147483648.0"},
        {"-2147483648 - 1", "-2147483649.0"},
        {"65536 * 65536", "4294967296.0"},
    };
    check_table(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(EvalTest, LibraryCodeKeepsTheUsersPosition) {
    run("user-fn: make function! [[] [1 here]] lib-fn: make function! [[] [1 here]]");
    Cell lib = value_of("lib-fn");
    interp::mark_library(&lib);
    EXPECT_TRUE(interp::is_library(&lib));
    EXPECT_EQ(eval_molded("1 user-fn"), "[here]");       // inside the body
    EXPECT_EQ(eval_molded("1 lib-fn"), "[lib-fn]");      // at the user's call
}

TEST_F(EvalTest, ValuesThatAreNotCallableAreRefused) {
    Cell one;
    cell::make_integer(&one, 1);
    EXPECT_TRUE(test_support::raises(Err::internal_not_callable, [&] { interp::invoke(&one, nullptr, nullptr, 0); }));
    stack::reg.call_top = call_top;
}

// ---- trace events --------------------------------------------------------------------------

TEST_F(EvalTest, TraceMasks) {
    struct MaskCase {
        const char* spec_and_body;
        uint32_t mask;
    };
    const MaskCase cases[] = {
        {"[e c p v r s] [[call return] e]", interp::EV_CALL | interp::EV_RETURN},
        {"[e c p v r s] [e]", interp::DEFAULT_MASK},
        {"[] []", interp::DEFAULT_MASK},
        {"[e] [[CALL fetch other]]", interp::EV_CALL | interp::EV_FETCH},
        {"[[call return] e c p v r s] [e]", interp::EV_CALL | interp::EV_RETURN},
        {"[[set] e] [[call] e]", interp::EV_CALL},
        {"[e] [e [call]]", interp::DEFAULT_MASK},
    };
    EXPECT_EQ(interp::DEFAULT_MASK, 131071u);
    for (const MaskCase& c : cases) {
        SCOPED_TRACE(c.spec_and_body);
        std::string text = std::string("make function! [") + c.spec_and_body + "]";
        Cell fn = run(text.c_str());
        EXPECT_EQ(interp::trace_mask(&fn), c.mask);
    }
}

// Runs the code under a trace run whose callback appends each event word to
// the global block events.
std::string traced(const char* callback_spec, const char* code) {
    run("events: copy []");
    std::string text = std::string("make function! [") + callback_spec + " [append events e]]";
    Cell callback = run(text.c_str());
    set_global("tracer", callback);
    EXPECT_TRUE(interp::trace_start(&callback));
    EXPECT_FALSE(interp::trace_start(&callback));  // a nested run installs nothing
    run(code);
    interp::trace_end();
    return eval_molded("events");
}

TEST_F(EvalTest, TraceEvents) {
    run("tf: make function! [[a] [a + 1]] quiet: make function! [[[no-trace] a] [a + 1]]"
        " lib: make function! [[a] [a + 1]]");
    Cell lib = value_of("lib");
    interp::mark_library(&lib);
    const char* calls = "[[call return] e c p v r s]";
    EXPECT_EQ(traced(calls, "tf 1"), "[call call return return]");
    EXPECT_EQ(traced(calls, "quiet 1"), "[call return]");
    EXPECT_EQ(traced(calls, "lib 1"), "[call return]");
    EXPECT_EQ(traced("[[init end] e c p v r s]", "1"), "[init end]");
    EXPECT_EQ(traced("[[set] e c p v r s]", "t: 1 t: 2"), "[set set]");
    EXPECT_EQ(traced("[[prolog epilog] e c p v r s]", "tf 1"), "[prolog epilog]");
    // Every event: the callback's own calls are never reported.
    std::string all = traced("[e c p v r s]", "tf 1");
    size_t calls_seen = 0;
    for (size_t at = all.find("call"); at != std::string::npos; at = all.find("call", at + 1)) calls_seen++;
    EXPECT_EQ(calls_seen, 2u);
    EXPECT_NE(all.find("fetch"), std::string::npos);
    EXPECT_FALSE(interp::is_tracing());
}

TEST_F(EvalTest, TraceErrorEventAndNoneForStackOverflow) {
    run("events: copy []");
    Cell callback = run("make function! [[[error] e c p v r s] [append events e]]");
    set_global("tracer", callback);
    interp::trace_start(&callback);
    EXPECT_TRUE(test_support::raises(Err::script_no_value, [&] { run("no-such-value-here"); }));
    stack::reg.call_top = call_top;
    EXPECT_TRUE(test_support::raises(Err::internal_stack_overflow, [&] {
        error::raise(Err::internal_stack_overflow);
    }));
    stack::reg.call_top = call_top;
    interp::trace_end();
    EXPECT_EQ(eval_molded("events"), "[error]");
}

// Nodes that the collector moves out of a sparse node frame while code runs
// (every safe point collects here): the evaluator's held cells, memos and
// the global values node must follow them. The junk is more than the holes
// earlier tests leave can take, so the live nodes made after it land in a
// fresh frame that its death leaves sparse, whatever ran before.
TEST_F(EvalTest, CodeRunsOnWhileNodesMove) {
    bool stress = collector::is_stress(), evacuation = collector::state.evacuation;
    run("junk-h23: copy [] loop 30000 [append junk-h23 copy {x}]"
        " fib-h23: make function! [[n] [either n < 2 [n] [(fib-h23 n - 1) + (fib-h23 n - 2)]]]"
        " obj-h23: make object! [a: 0 b: [1 2 3]]"
        " junk-h23: none");
    uint32_t evacuations = collector::state.evacuations;
    collector::set_stress(true);
    collector::state.evacuation = true;
    std::string fib = eval_molded("fib-h23 12");
    std::string fields = eval_molded("loop 30 [obj-h23/a: obj-h23/a + pick obj-h23/b 2] obj-h23/a");
    std::string sum = eval_molded("s: 0 repeat i 200 [s: s + (i % 7)] s");
    collector::set_stress(stress);
    collector::state.evacuation = evacuation;
    EXPECT_GT(collector::state.evacuations, evacuations);
    EXPECT_EQ(fib, "144");
    EXPECT_EQ(fields, "60");
    EXPECT_EQ(sum, "598");  // python3: sum(i % 7 for i in range(1, 201))
}

// ---- fast paths --------------------------------------------------------------------------

// The generic action entry of an arithmetic op code on two cells, molded.
std::string generic_arith(uint32_t op, const Cell& a, const Cell& b) {
    const uint32_t ids[] = {ACT_add, ACT_subtract, ACT_multiply, ACT_divide, ACT_remainder,
                            ACT_or_, ACT_and_, ACT_xor_};
    stack::enter_native(words::word(words::W_tag_anon));
    stack::push(&a);
    stack::push(&b);
    int32_t none[1] = {-1};
    actions::table[ids[op] - 1](none);
    Cell generic = *stack::reg.base;
    stack::leave();
    stack::pop(1);
    return molded(generic);
}

TEST_F(EvalTest, FastPathsAnswerAsTheGenericActions) {
    struct Arith {
        uint32_t op;
        const char *x, *y;
    };
    const Arith cases[] = {
        {actions::ARITH_ADD, "2147483647", "1"},   {actions::ARITH_SUBTRACT, "-2147483648", "1"},
        {actions::ARITH_MULTIPLY, "65536", "65536"}, {actions::ARITH_ADD, "3", "4"},
        {actions::ARITH_OR, "12", "3"},            {actions::ARITH_AND, "12", "4"},
        {actions::ARITH_XOR, "12", "4"},           {actions::ARITH_DIVIDE, "7", "2"},
        {actions::ARITH_DIVIDE, "-6", "3"},        {actions::ARITH_DIVIDE, "1", "3"},
        {actions::ARITH_REMAINDER, "-7", "2"},     {actions::ARITH_REMAINDER, "7", "-2"},
        {actions::ARITH_ADD, "1", "2.5"},          {actions::ARITH_SUBTRACT, "2.5", "1"},
        {actions::ARITH_MULTIPLY, "0.1", "3"},     {actions::ARITH_DIVIDE, "1.0", "3"},
        {actions::ARITH_DIVIDE, "1", "0.0"},       {actions::ARITH_REMAINDER, "7.5", "2"},
        {actions::ARITH_REMAINDER, "-7", "2.5"},   {actions::ARITH_ADD, "0.1", "0.2"},
    };
    for (const Arith& c : cases) {
        Cell a = loaded(c.x), b = loaded(c.y), out;
        ASSERT_TRUE(actions::arith_inline(c.op, &a, &b, &out)) << c.x << " op " << c.op << " " << c.y;
        EXPECT_EQ(molded(out), generic_arith(c.op, a, b)) << c.x << " op " << c.op << " " << c.y;
    }
}

// What the generic action raises an error for, and the bit operators on a
// float, are left to it.
TEST_F(EvalTest, FastPathsLeaveErrorsToTheGenericActions) {
    struct Arith {
        uint32_t op;
        const char *x, *y;
    };
    const Arith cases[] = {
        {actions::ARITH_DIVIDE, "1", "0"},  {actions::ARITH_REMAINDER, "5", "0"},
        {actions::ARITH_DIVIDE, "-2147483648", "-1"}, {actions::ARITH_REMAINDER, "-2147483648", "-1"},
        {actions::ARITH_AND, "1.5", "1"},   {actions::ARITH_ADD, "1", "#\"a\""},
    };
    for (const Arith& c : cases) {
        Cell a = loaded(c.x), b = loaded(c.y), out;
        EXPECT_FALSE(actions::arith_inline(c.op, &a, &b, &out)) << c.x << " op " << c.op << " " << c.y;
    }
}

TEST_F(EvalTest, SelectionByIntegerAnswersAsPick) {
    set_global("v", run("[10 20 30]"));
    const Case cases[] = {
        {"v/1", "10"}, {"v/3", "30"}, {"v/4", "none"}, {"v/0", "none"},
        {"pick v 0", "none"}, {"pick v -1", "none"}, {"v/-1", "none"},
        {"w: next v w/-1", "10"}, {"pick next v -1", "10"},
    };
    check_table(cases, sizeof cases / sizeof cases[0]);
    Cell v = value_of("v");
    Cell next = v;
    cell::set_series_index(&next, 1);
    // The inline selection answers only inside the values left, as pick does.
    for (int32_t index : {-1, 0, 1, 2, 3}) {
        Cell fast;
        bool inline_hit = actions::select_inline(&next, index, &fast);
        EXPECT_EQ(inline_hit, index >= 1 && index <= 2) << index;
        if (!inline_hit) continue;
        std::string code = "pick next v " + std::to_string(index);
        EXPECT_EQ(molded(fast), eval_molded(code.c_str())) << index;
    }
}

TEST_F(EvalTest, SeriesQueriesAtTheEnds) {
    Cell v = run("[1 2]");
    Cell at_tail = v;
    cell::set_series_index(&at_tail, 2);
    struct Query {
        const Cell* value;
        uint32_t op;
        const char* expected;
    };
    const Query cases[] = {
        {&at_tail, actions::Q_NEXT, "[]"},   {&at_tail, actions::Q_IS_TAIL, "true"},
        {&v, actions::Q_BACK, "[1 2]"},      {&v, actions::Q_LENGTH, "2"},
        {&at_tail, actions::Q_LENGTH, "0"},  {&at_tail, actions::Q_INDEX, "3"},
        {&at_tail, actions::Q_HEAD, "[1 2]"}, {&v, actions::Q_IS_HEAD, "true"},
    };
    for (const Query& q : cases) {
        Cell out;
        ASSERT_TRUE(actions::query_inline(q.value, q.op, &out)) << q.op;
        EXPECT_EQ(molded(out), q.expected) << q.op;
    }
}

}  // namespace
}  // namespace zel
