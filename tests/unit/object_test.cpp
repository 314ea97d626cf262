// object!: making, class ids, copies, paths, select and put, reflect, mold and
// form, compare, set, and the change handlers on-change* and on-deep-change*.
// Cases are text evaluated with a few actions bound for the purpose.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/block.h"
#include "core/context.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/exits.h"
#include "core/native.h"
#include "core/object.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/word.h"
#include "datatypes/typeset.h"
#include "interpreter/eval.h"
#include "io/lexer.h"
#include "kernel/collector.h"
#include "natives_cases.h"
#include "test_support.h"

namespace zel {
namespace {

Cell global(const char* name) { return word::intern(name); }

Cell value_of(const char* name) {
    Cell w = global(name);
    return *word::get_value(&w);
}

void set_global(const char* name, const Cell& value) {
    Cell w = global(name);
    word::set_value(&w, &value);
}

// The standard words are bound at boot; the runtime's hooks are put back
// after each test.
void setup_environment() {}

using natives_cases::Case;
using natives_cases::eval_molded;
using natives_cases::formed;
using natives_cases::molded;
using natives_cases::run;

struct ObjectTest : ::testing::Test {
    Cell* top;
    stack::Frame* call_top;
    bool collector_was;
    void SetUp() override {
        stack::init();  // whatever other suites left on the stacks
        setup_environment();
        top = stack::reg.top;
        call_top = stack::reg.call_top;
        collector_was = collector::state.enabled;
        collector::state.enabled = true;
    }
    void TearDown() override {
        if (HasFailure()) std::printf("last error code %d\n", test_support::take_error_code());
        collector::state.enabled = collector_was;
        EXPECT_EQ(exits::pending(), EXIT_NONE);
        stack::reg.top = top;
        stack::reg.call_top = call_top;
    }
};

struct ErrCase {
    const char* code;
    Err id;
};

void check_errors(const ErrCase* cases, size_t n, stack::Frame* call_top) {
    for (size_t i = 0; i < n; i++) {
        SCOPED_TRACE(cases[i].code);
        EXPECT_TRUE(test_support::raises(cases[i].id, [&] { run(cases[i].code); }));
        stack::reg.call_top = call_top;
    }
}

int32_t class_of(const char* name) {
    Cell v = value_of(name);
    return int32_t(cell::object_class(&v));
}

// ---- making ---------------------------------------------------------------------------

TEST_F(ObjectTest, MakeEvaluatesTheSpecInTheObject) {
    run("o: make object! [a: 1 b: a + 1 s: [x y] me: self]");
    const Case cases[] = {
        {"o/b", "2"},
        {"o/a + o/b", "3"},
        {"o/s", "[x y]"},
        {"same-self: o/me", "make object! [a: 1 b: 2 s: [x y] me: make object! [...]]"},
        {"make object! []", "make object! []"},
        {"reflect o 'words", "[a b s me]"},
    };
    natives_cases::check_values(cases);
}

TEST_F(ObjectTest, ClassIds) {
    run("c1: make object! [a: 1] c2: make c1 [c: 3] c3: make c1 [a: 5] c4: make object! [a: 1]");
    EXPECT_GT(class_of("c1"), int32_t(object::FIRST_CLASS));
    EXPECT_NE(class_of("c2"), class_of("c1"));  // fields added: a new class
    EXPECT_EQ(class_of("c3"), class_of("c1"));  // same fields: the prototype's
    EXPECT_NE(class_of("c4"), class_of("c1"));  // no prototype: always new
    EXPECT_EQ(eval_molded("reflect c3 'class"), std::to_string(class_of("c1")));
    uint32_t next = object::new_class_id();
    EXPECT_EQ(object::new_class_id(), next + 1);
}

TEST_F(ObjectTest, CopiesOwnTheirSeries) {
    run("p1: make object! [s: [1 2] t: \"ab\" f: make function! [[] [s]]]"
        " p2: make p1 [] append p2/s 3 p3: copy/deep p1 append p3/s 4 p4: copy p1");
    const Case cases[] = {
        {"p1/s", "[1 2]"},
        {"p2/s", "[1 2 3]"},
        {"p2/f", "[1 2 3]"},  // the copied function sees the copy's field
        {"p1/f", "[1 2]"},
        {"p3/s", "[1 2 4]"},
    };
    natives_cases::check_values(cases);
    EXPECT_EQ(class_of("p2"), class_of("p1"));
}

TEST_F(ObjectTest, MakeErrors) {
    run("m: make object! [a: 1]");
    const ErrCase cases[] = {
        {"make object! 1", Err::syntax_malconstruct},
        {"copy/part m 1", Err::script_invalid_refine_arg},
        {"make object! [on-change*: 1]", Err::script_bad_field_set},
        {"m/missing", Err::script_invalid_path},
        {"m/missing/x", Err::script_unset_path},
        {"put m 'missing 1", Err::script_invalid_path},
        {"put m \"a\" 1", Err::script_invalid_key_type},
        {"select m 1", Err::script_invalid_type},
        {"modify m 'changed 1", Err::script_invalid_arg},
    };
    check_errors(cases, sizeof cases / sizeof cases[0], call_top);
}

// ---- access ------------------------------------------------------------------------------

TEST_F(ObjectTest, SelectPutAndPaths) {
    run("q: make object! [a: 1 b: none]");
    const Case cases[] = {
        {"select q 'missing", "none"},
        {"select q 'a", "1"},
        {"put q 'a 7 q/a", "7"},
        {"q/b: 5 q/b", "5"},
        {":q/a", "7"},
    };
    natives_cases::check_values(cases);
}

TEST_F(ObjectTest, ChangedMarks) {
    run("r: make object! [a: 1 b: 2]");
    EXPECT_EQ(eval_molded("reflect r 'changed"), "[]");
    EXPECT_EQ(eval_molded("r/b: 3 reflect r 'changed"), "[b]");
    EXPECT_EQ(eval_molded("modify r 'changed none reflect r 'changed"), "[]");
    EXPECT_EQ(eval_molded("reflect r 'events?"), "false");
    EXPECT_EQ(eval_molded("reflect r 'body"), "[a: 1 b: 3]");
    EXPECT_EQ(eval_molded("reflect r 'values"), "[1 3]");
}

TEST_F(ObjectTest, FormAndMold) {
    run("fm: make object! [a: 1 w: 'word]");
    Cell fm = value_of("fm");
    EXPECT_EQ(formed(fm), "a: 1\nw: 'word");
    EXPECT_EQ(molded(fm, false), "make object! [\n    a: 1\n    w: 'word\n]");
    EXPECT_EQ(molded(fm, true), "make object! [a: 1 w: 'word]");
    EXPECT_EQ(molded(run("make object! []"), false), "make object! []");
    // The mold of an object rebuilds it.
    std::string text = "rebuilt: " + molded(fm, false);
    run(text.c_str());
    EXPECT_EQ(molded(value_of("rebuilt")), molded(fm));
}

TEST_F(ObjectTest, Compare) {
    run("ca: make object! [x: 1 y: 2] cb: make object! [x: 1 y: 2] cc: make object! [x: 1 y: 3]"
        " cd: make object! [x: 1]");
    Cell a = value_of("ca"), b = value_of("cb"), c = value_of("cc"), d = value_of("cd");
    EXPECT_TRUE(actions::compare(&a, &b, actions::OP_EQUAL));
    EXPECT_FALSE(actions::compare(&a, &b, actions::OP_SAME));
    EXPECT_TRUE(actions::compare(&a, &a, actions::OP_SAME));
    EXPECT_FALSE(actions::compare(&a, &c, actions::OP_EQUAL));
    EXPECT_EQ(actions::compare_values(&d, &a, actions::OP_EQUAL), -1);  // fewer words
    Cell one;
    cell::make_integer(&one, 1);
    EXPECT_EQ(actions::compare_values(&a, &one, actions::OP_EQUAL), actions::NOT_COMPARABLE);
}

TEST_F(ObjectTest, SetValues) {
    Cell o = run("make object! [a: 1 b: 2 c: 3]");
    set_global("sv", o);
    Cell short_block = run("[7 8]");
    object::set_values(&o, &short_block, false, false, false);
    EXPECT_EQ(eval_molded("reflect sv 'values"), "[7 8 none]");
    EXPECT_TRUE(test_support::raises(Err::script_need_value, [&] {
        Cell block = run("[1 2]");
        *block::writable_cell_at(&block, 1) = statics::unset_cell;
        object::set_values(&o, &block, false, false, false);
    }));
    stack::reg.call_top = call_top;
    EXPECT_EQ(eval_molded("reflect sv 'values"), "[7 8 none]");  // nothing changed
    Cell with_none = run("[_ 5 _]");
    *block::writable_cell_at(&with_none, 0) = *block::writable_cell_at(&with_none, 2) = statics::none_cell;
    object::set_values(&o, &with_none, false, false, true);
    EXPECT_EQ(eval_molded("reflect sv 'values"), "[7 5 none]");  // some skips none
    Cell nine;
    cell::make_integer(&nine, 9);
    object::set_values(&o, &nine, false, false, false);
    EXPECT_EQ(eval_molded("reflect sv 'values"), "[9 9 9]");
}

// ---- change handlers ------------------------------------------------------------------

TEST_F(ObjectTest, OnChangeReceivesWordOldAndNew) {
    run("log: copy []"
        " h: make object! [a: 1 on-change*: make function! [[w o n] [append log :w append log :o append log :n]]"
        " bump: make function! [[] [a: 3]]]");
    EXPECT_EQ(eval_molded("reflect h 'events? "), "true");
    EXPECT_EQ(eval_molded("log"), "[]");  // make itself reports nothing
    run("h/a: 2");
    EXPECT_EQ(eval_molded("log"), "[a 1 2]");
    run("clear log h/bump");  // assignment through a word bound to the object: its set-word
    EXPECT_EQ(eval_molded("log"), "[a: 2 3]");
    Cell h = value_of("h");
    run("clear log");
    Cell values = run("make object! [a: 10 zz: 20]");
    object::set_values(&h, &values, false, false, false);  // handler fields are not reported
    EXPECT_EQ(eval_molded("log"), "[a 3 10]");
}

TEST_F(ObjectTest, HandlerLocalsAndReplacement) {
    run("log: copy []"
        " k: make object! [a: 1 on-change*: make function! [[w o n /local x y] [append log local"
        " append log x append log y]]] k/a: 2");
    EXPECT_EQ(eval_molded("log"), "[false none none]");
    // The new handler is told of its own assignment, then of the next one.
    run("clear log k/on-change*: make function! [[w o n /local p q r] [append log r append log :w]] k/a: 5");
    EXPECT_EQ(eval_molded("log"), "[none on-change* none a]");
}

TEST_F(ObjectTest, OnDeepChangeReceivesEachActionAndItsPastWord) {
    run("log: copy []"
        " d: make object! [b: [1 2 3] on-deep-change*: make function! [[o w t a n i p]"
        " [append log w append log a append log i append log p]]]");
    EXPECT_EQ(eval_molded("reflect d 'owner"), "true");
    const Case cases[] = {
        {"append d/b 4", "[b append 3 1 b appended 3 1]"},
        {"insert d/b 0", "[b insert 0 1 b inserted 0 1]"},
        {"poke d/b 1 9", "[b poke 0 1 b poked 0 1]"},
        {"remove d/b", "[b remove 0 1 b removed 0 1]"},
        {"reverse d/b", "[b reverse 0 4 b reversed 0 4]"},
        {"take d/b", "[b take 0 1 b taken 0 1]"},
        {"clear d/b", "[b clear 0 3 b cleared 0 3]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        run("clear log");
        run(c.code);
        EXPECT_EQ(eval_molded("log"), c.expected);
    }
    // A handler field set to a non-function later is silently not called.
    run("d/on-deep-change*: none clear log append d/b 1");
    EXPECT_EQ(eval_molded("log"), "[]");
}

}  // namespace
}  // namespace zel
