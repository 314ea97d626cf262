// native!, action!, op! and routine!: making the values, the native and
// routine tables, op specs, reflection, text and comparison.
#include <gtest/gtest.h>

#include <string>

#include "core/context.h"
#include "core/datatype.h"
#include "core/function.h"
#include "core/native.h"
#include "core/routine.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/word.h"
#include "kernel/collector.h"
#include "test_support.h"
#include "test_values.h"

using namespace zel;

namespace {

using test_values::at;
using test_values::formed;
using test_values::load;
using test_values::molded;

struct NativeTest : ::testing::Test {
    static void SetUpTestSuite() {
        Cell w = word::intern("integer!"), dt;
        cell::make_datatype(&dt, T_INTEGER);
        word::set_value(&w, &dt);
    }
};

Cell make(uint32_t type, const char* spec_text) {
    Cell spec = load(spec_text);
    return *types::row(type).make(nullptr, &spec, type);
}

Cell make_op(Cell callable) { return *op::make(nullptr, &callable, T_OP); }

Cell function_of(const char* text) { return make(T_FUNCTION, text); }

// ---- the native table ---------------------------------------------------------------

void routine_a(bool, const int32_t*) {}
void routine_b(bool, const int32_t*) {}

TEST_F(NativeTest, NativeTableFillsInRegistrationOrder) {
    natives::Table saved = natives::table;
    uint32_t first = natives::table.fill;
    ASSERT_LE(first + 1, natives::TABLE_SLOTS);
    const natives::Routine list[] = {routine_a, routine_b};
    natives::register_(2, list);
    EXPECT_EQ(natives::routine(first), &routine_a);
    EXPECT_EQ(natives::routine(first + 1), &routine_b);
    EXPECT_EQ(natives::table.fill, first + 2);
    EXPECT_EQ(natives::routine(0), nullptr);
    EXPECT_EQ(natives::routine(natives::TABLE_SLOTS + 1), nullptr);
    natives::table = saved;
}

// ---- make native! and make action! ------------------------------------------------------

TEST_F(NativeTest, MakeChecksTheSpecAndTheIndex) {
    struct Case {
        uint32_t type;
        const char* spec;
    };
    const Case bad[] = {
        {T_NATIVE, "[a] 0"}, {T_NATIVE, "[a] 121"}, {T_NATIVE, "[a]"}, {T_NATIVE, "[a] 1 2"},
        {T_NATIVE, "a 1"},   {T_NATIVE, "[a] 1.0"}, {T_ACTION, "[a] 63"}, {T_ACTION, "[a] -1"},
    };
    for (const Case& c : bad) {
        EXPECT_TRUE(test_support::raises(Err::script_bad_make_arg, [&] { make(c.type, c.spec); })) << c.spec;
    }
    Cell n = make(T_NATIVE, "[a b] 120");
    EXPECT_EQ(cell::type(&n), uint32_t(T_NATIVE));
    EXPECT_EQ(cell::callable_index(&n), 120u);
    Cell a = make(T_ACTION, "[a] 62");
    EXPECT_EQ(cell::type(&a), uint32_t(T_ACTION));
    EXPECT_EQ(cell::callable_index(&a), 62u);
    // The extra block: none (no context), then the argument-list cache.
    Cell* extra = native::extra(&n);
    EXPECT_EQ(cell::type(extra + native::EXTRA_NONE), uint32_t(T_NONE));
    EXPECT_EQ(cell::type(extra + native::EXTRA_ARGS), uint32_t(T_NONE));
    EXPECT_EQ(series::length(node::buffer(cell::callable_extra(&n))), uint32_t(native::EXTRA_CELLS));
}

TEST_F(NativeTest, ReflectGivesSpecAndTablePosition) {
    Cell add = make(T_ACTION, "[value1 value2] 11");
    Cell body = *native::reflect(&add, symbol::intern("body"));
    EXPECT_EQ(cell::get_int(&body), ACT_add);
    Cell spec = *native::reflect(&add, symbol::intern("spec"));
    EXPECT_EQ(cell::series_node(&spec), cell::callable_spec(&add));
    EXPECT_EQ(cell::series_index(&spec), 0u);
    Cell n = make(T_NATIVE, "[a] 7");
    EXPECT_EQ(cell::get_int(native::reflect(&n, symbol::intern("BODY"))), 7);
    EXPECT_TRUE(test_support::raises(Err::internal_not_done, [&] { native::reflect(&n, symbol::intern("words")); }));
    EXPECT_EQ(types::row(T_ACTION).reflect, &native::reflect);
    EXPECT_EQ(types::row(T_OP).reflect, &native::reflect);
}

TEST_F(NativeTest, FormAndMold) {
    Cell n = make(T_NATIVE, "[a b] 3"), a = make(T_ACTION, "[a] 2");
    EXPECT_EQ(formed(n), "?native?");
    EXPECT_EQ(molded(n), "make native! [[a b]]");
    EXPECT_EQ(formed(a), "?action?");
    EXPECT_EQ(molded(a), "make action! [[a]]");
}

TEST_F(NativeTest, NativesAreEqualWhenTheyShareTheRoutine) {
    Cell n1 = make(T_NATIVE, "[a] 3"), n2 = make(T_NATIVE, "[b] 3"), n3 = make(T_NATIVE, "[a] 4");
    Cell a3 = make(T_ACTION, "[a] 3");
    EXPECT_EQ(native::compare(&n1, &n2, 0), 0);
    EXPECT_EQ(native::compare(&n1, &n3, 0), -1);
    EXPECT_EQ(native::compare(&n3, &n1, 7), 1);
    EXPECT_EQ(native::compare(&n1, &a3, 0), -2);
    EXPECT_EQ(native::compare(&n1, &n2, 3), -2);
    EXPECT_EQ(action::compare(&a3, &a3, 9), 0);
}

// ---- op! --------------------------------------------------------------------------------------

TEST_F(NativeTest, OpSpecs) {
    struct Case {
        const char* spec;
        bool valid;
    };
    const Case cases[] = {
        {"[a b]", true},
        {"[\"doc\" a [integer!] \"first\" b [integer!]]", true},
        {"[a :b]", true},
        {"[a b /local c]", true},
        {"[a b return: [integer!]]", true},
        {"[a b /extern c]", true},
        {"[a b c]", false},
        {"[a]", false},
        {"['a b]", false},
        {"[:a b]", false},
        {"[a b /ref]", false},
        {"[/ref a b]", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spec);
        Cell spec = load(c.spec);
        EXPECT_EQ(op::is_valid_spec(cell::callable_spec(at(spec, 0))), c.valid);
        Cell callable = make(T_NATIVE, (std::string(c.spec) + " 5").c_str());
        if (c.valid) EXPECT_EQ(cell::type(op::make(nullptr, &callable, T_OP)), uint32_t(T_OP));
        else EXPECT_TRUE(test_support::raises(Err::script_bad_op_spec, [&] { make_op(callable); }));
    }
}

TEST_F(NativeTest, OpOfAnActionKeepsItsPayload) {
    Cell add = make(T_ACTION, "[value1 value2] 11");
    Cell o = make_op(add);
    EXPECT_EQ(cell::type(&o), uint32_t(T_OP));
    EXPECT_EQ(op::wrapped_type(&o), uint32_t(T_ACTION));
    EXPECT_EQ(cell::callable_index(&o), cell::callable_index(&add));
    EXPECT_EQ(cell::callable_spec(&o), cell::callable_spec(&add));
    EXPECT_EQ(cell::callable_extra(&o), cell::callable_extra(&add));
    EXPECT_EQ(formed(o), "?op?");
    EXPECT_EQ(molded(o), "make op! [[value1 value2]]");
    EXPECT_EQ(stack::depth(), 0u) << "the mold's frame is gone";
    Cell* top = stack::reg.top;
    molded(o);
    EXPECT_EQ(stack::reg.top, top) << "and the value stack is as it was";
    EXPECT_EQ(cell::get_int(native::reflect(&o, symbol::intern("body"))), ACT_add);
    Cell other = make_op(make(T_ACTION, "[a b] 12"));
    EXPECT_EQ(op::compare(&o, &other, 0), -1);
    EXPECT_EQ(op::compare(&o, &add, 0), -2);
}

TEST_F(NativeTest, OpRefusesValuesThatAreNotCallables) {
    Cell number;
    cell::make_integer(&number, 1);
    EXPECT_TRUE(test_support::raises(Err::script_invalid_type, [&] { make_op(number); }));
    Cell o = make_op(make(T_ACTION, "[a b] 11"));
    EXPECT_TRUE(test_support::raises(Err::script_invalid_type, [&] { make_op(o); }));
}

TEST_F(NativeTest, OpOfAFunction) {
    Cell fn = function_of("[a b] [a + b]");
    Cell o = make_op(fn);
    EXPECT_EQ(op::wrapped_type(&o), uint32_t(T_FUNCTION));
    EXPECT_EQ(cell::callable_context(&o), cell::callable_context(&fn)) << "the function's context";
    EXPECT_EQ(cell::callable_extra(&o), cell::callable_extra(&fn)) << "the function's extra block, shared";
    Cell self = function::extra(&fn)[function::EXTRA_OP_SELF];
    EXPECT_EQ(cell::type(&self), uint32_t(T_FUNCTION));
    EXPECT_EQ(cell::callable_extra(&self), cell::callable_extra(&fn));
    EXPECT_EQ(molded(o), "make op! func [a b][a + b]");
    EXPECT_EQ(cell::series_node(native::reflect(&o, symbol::intern("body"))), cell::series_node(&function::extra(&fn)[function::EXTRA_BODY]));
    Cell traced = function_of("[[trace] a b] [a]");
    EXPECT_EQ(make_op(traced).header & HDR_TRACE_ON, HDR_TRACE_ON) << "the call reads the flags";
    EXPECT_TRUE(test_support::raises(Err::script_bad_op_spec, [&] { make_op(function_of("[a b c] [a]")); }));
    EXPECT_TRUE(test_support::raises(Err::script_bad_op_spec, [&] { make_op(function_of("['a b] [a]")); }));
    EXPECT_TRUE(test_support::raises(Err::script_bad_op_spec, [&] { make_op(function_of("[a b /only] [a]")); }));
    Cell with_locals = make_op(function_of("[a b /local c] [a]"));
    EXPECT_EQ(op::wrapped_type(&with_locals), uint32_t(T_FUNCTION));
}

// ---- routine! -------------------------------------------------------------------------------

void routine_x() {}
void routine_y() {}

TEST_F(NativeTest, RoutineTableRegistersByName) {
    routine::Table saved = routine::table;
    uint32_t x = routine::register_("h14-routine-x", routine_x);
    uint32_t y = routine::register_("h14-routine-y", routine_y);
    EXPECT_EQ(y, x + 1);
    EXPECT_EQ(routine::find("h14-routine-x"), x);
    EXPECT_EQ(routine::find("h14-routine-y"), y);
    EXPECT_EQ(routine::find("h14-routine-z"), 0u);
    ASSERT_NE(routine::entry(y), nullptr);
    EXPECT_EQ(routine::entry(y)->fn, &routine_y);
    EXPECT_STREQ(routine::entry(x)->name, "h14-routine-x");
    EXPECT_EQ(routine::entry(0), nullptr);
    EXPECT_EQ(routine::entry(y + 1), nullptr);
    routine::table = saved;
}

TEST_F(NativeTest, RoutineValues) {
    Cell spec = load("a [integer!] b [integer!] return: [integer!]");
    Cell* r = routine::make(&spec, nullptr, 9, -1, false);
    ASSERT_EQ(r, stack::top());
    Cell value = *r;
    EXPECT_EQ(cell::type(&value), uint32_t(T_ROUTINE));
    EXPECT_EQ(routine::header_field(&value), 2u);
    EXPECT_EQ(value.header & routine::HDR_ROUTINE_CELLS, 0u);
    EXPECT_EQ(cell::callable_spec(&value), cell::callable_spec(&spec)) << "the spec is used itself";
    Cell* extra = function::extra(&value);
    EXPECT_EQ(cell::type(extra + function::EXTRA_BODY), uint32_t(T_NONE));
    EXPECT_EQ(cell::get_int(extra + function::EXTRA_ENTRY), 9);
    EXPECT_EQ(cell::get_int(extra + function::EXTRA_BUILDER), -1);
    EXPECT_EQ(cell::callable_extra(context::owner_of(cell::callable_context(&value))), cell::callable_extra(&value));
    EXPECT_EQ(formed(value), "?routine?");
    EXPECT_EQ(molded(value), "routine [a [integer!] b [integer!] return: [integer!]] none");

    Cell spec2 = load("x /ref y"), body = load("x");
    Cell with_body = *routine::make(&spec2, &body, 1, 0, true);
    EXPECT_EQ(routine::header_field(&with_body), 2u) << "refinement arguments count";
    EXPECT_NE(with_body.header & routine::HDR_ROUTINE_CELLS, 0u);
    EXPECT_EQ(molded(with_body), "routine [x /ref y][x]");
    EXPECT_EQ(molded(*function::reflect(&with_body, symbol::intern("words"))), "[x ref y]");

    Cell copy = value;
    EXPECT_EQ(function::compare(&value, &copy, 0), 0);
    EXPECT_NE(function::compare(&value, &with_body, 0), 0);
    Cell fn = function_of("[a] [a]");
    EXPECT_EQ(types::row(T_ROUTINE).compare(&value, &fn, 0), -2);
    EXPECT_EQ(types::row(T_ROUTINE).make, nullptr) << "make routine! is unsupported";
    EXPECT_EQ(types::row(T_ROUTINE).reflect, &function::reflect);
}

TEST_F(NativeTest, RoutineArgumentCountMustFitTheHeader) {
    std::string words;
    for (int i = 0; i < 32; i++) words += "w" + std::to_string(i) + " ";
    Cell spec = load(words.c_str());
    EXPECT_TRUE(test_support::raises(Err::script_bad_func_def, [&] { routine::make(&spec, nullptr, 1, 0, false); }));
    spec = load(words.substr(0, words.size() - 4).c_str());
    EXPECT_EQ(routine::header_field(routine::make(&spec, nullptr, 1, 0, false)), 31u);
}

// Everything a callable reaches lives through a collection while the
// callable is on the value stack.
TEST_F(NativeTest, CallablesSurviveACollection) {
    Cell fn = function_of("[a b] [a + b [nested]]");
    Cell rspec = load("x /ref y"), rbody = load("x + y");
    Cell values[] = {
        fn,
        make_op(fn),
        make(T_NATIVE, "[x [integer!]] 4"),
        make_op(make(T_ACTION, "[a b] 11")),
        *routine::make(&rspec, &rbody, 2, -1, false),
    };
    std::string before[5];
    for (int i = 0; i < 5; i++) {
        stack::push(&values[i]);
        before[i] = molded(values[i]);
    }
    Cell* rooted = stack::reg.top - 5;
    collector::collect();
    for (int i = 0; i < 5; i++) EXPECT_EQ(molded(rooted[i]), before[i]);
    Cell words = *function::reflect(&rooted[0], symbol::intern("words"));
    EXPECT_EQ(molded(words), "[a b]");
    EXPECT_EQ(cell::callable_extra(context::owner_of(function::context_of(&rooted[0]))), cell::callable_extra(&rooted[0]));
}

}  // namespace
