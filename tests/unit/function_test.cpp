// function!: spec checking, local-word collection, building function values
// (the body copied and bound once), reflection, text and comparison.
#include <gtest/gtest.h>

#include <string>

#include "core/block.h"
#include "core/context.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/function.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/symbol.h"
#include "core/word.h"
#include "test_support.h"
#include "test_values.h"

using namespace zel;

namespace {

using test_values::at;
using test_values::formed;
using test_values::load;
using test_values::molded;

struct FunctionTest : ::testing::Test {
    static void SetUpTestSuite() {
        // The type words a spec names, as the start-up code defines them.
        for (auto [name, type] : {std::pair{"integer!", T_INTEGER}, {"block!", T_BLOCK}, {"string!", T_STRING}}) {
            Cell w = word::intern(name), dt;
            cell::make_datatype(&dt, type);
            word::set_value(&w, &dt);
        }
        Cell w = word::intern("an-integer"), one;
        cell::make_integer(&one, 1);
        word::set_value(&w, &one);
    }
};

Cell make_function(const char* text) {
    Cell spec = load(text);
    return *function::make(nullptr, &spec, T_FUNCTION);
}

// ---- spec checking -----------------------------------------------------------------------

TEST_F(FunctionTest, ValidSpecs) {
    const char* specs[] = {
        "",
        "\"doc\"",
        "a [integer!] \"doc\"",
        "a \"doc\"",
        "a return: [integer!]",
        "a return: [integer!] \"doc\"",
        "a return: [integer!] /local x",
        "/ref \"doc\" a",
        "a b /ref c [block! string!] /local d e",
        "'a :b [integer!]",
        "a [a-type-word integer!]",
        "/local x [integer!]",
    };
    Cell free_word = word::intern("a-type-word"), dt;
    cell::make_datatype(&dt, T_STRING);
    word::set_value(&free_word, &dt);
    for (const char* text : specs) {
        Cell spec = load(text);
        EXPECT_EQ(function::validate_spec(&spec), 0u) << text;
    }
}

TEST_F(FunctionTest, AttributeBlockSetsTheTraceFlags) {
    struct Case {
        const char* text;
        uint32_t flags;
    };
    const Case cases[] = {
        {"[trace] a", HDR_TRACE_ON},
        {"[no-trace]", HDR_TRACE_OFF},
        {"[NO-TRACE Trace other] a", HDR_TRACE_ON | HDR_TRACE_OFF},
        {"[catch] a", 0},
    };
    for (const Case& c : cases) {
        Cell spec = load(c.text);
        EXPECT_EQ(function::validate_spec(&spec), c.flags) << c.text;
    }
}

TEST_F(FunctionTest, SpecErrors) {
    struct Case {
        const char* text;
        Err id;
    };
    const Case cases[] = {
        {"a \"doc\" [integer!]", Err::script_bad_func_def},
        {"return: [integer!] a", Err::script_bad_func_def},
        {"return: [integer!] /ref", Err::script_bad_func_def},
        {"/local x return: [integer!]", Err::script_bad_func_def},
        {"a return: [integer!] return: [integer!]", Err::script_bad_func_def},
        {"a return: integer!", Err::script_bad_func_def},
        {"a return: [integer!] [x]", Err::script_bad_func_def},
        {"a result: [integer!]", Err::script_bad_func_def},
        {"/ref [integer!]", Err::script_bad_func_def},
        {"/local :x", Err::script_bad_func_def},
        {"/local 'x", Err::script_bad_func_def},
        {"/local x /ref", Err::script_bad_func_def},
        {"[1] a", Err::script_bad_func_def},
        {"a 1", Err::script_bad_func_def},
        {"a /local a", Err::script_dup_vars},
        {"a A", Err::script_dup_vars},
        {"'a :a", Err::script_dup_vars},
        {"/a a", Err::script_dup_vars},
        {"a [h14-no-such-type]", Err::script_no_value},
        {"a [1]", Err::script_invalid_type_spec},
        {"a [an-integer]", Err::script_invalid_type_spec},
    };
    for (const Case& c : cases) {
        Cell spec = load(c.text);
        EXPECT_TRUE(test_support::raises(c.id, [&] { function::validate_spec(&spec); })) << c.text;
    }
}

// ---- local-word collection ---------------------------------------------------------------

TEST_F(FunctionTest, CollectsLocalsInTheOrderFirstMet) {
    struct Case {
        const char* spec;
        const char* body;
        const char* collected;
        const char* spec_after;
    };
    const Case cases[] = {
        {"", "x: 1 foreach [i j] s [k: 2] repeat n 3 []", "[x i j k n]", "[/local x i j k n]"},
        {"x", "x: 1 y: 2 y: 3", "[y]", "[x /local y]"},
        {"a /local b", "b: c: (d: 1)", "[c d]", "[a /local b c d]"},
        {"", "local: 1 z: 2", "[z]", "[/local z]"},
        {"", "foreach w s [] remove-each v t [] foreach u: s []", "[w v u]", "[/local w v u]"},
        {"", "foreach ['p :q] s [] repeat r: 3 []", "[p q r]", "[/local p q r]"},
        {"", "print 1", "[]", "[]"},
        {"a /extern b c /local d", "b: 1 c: 2 d: 3 e: 4", "[d e]", "[a /local d e]"},
        {"a /extern b", "b: 1 e: 2", "[e]", "[a /local e]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        Cell spec = load(c.spec), body = load(c.body);
        Cell collected = function::collect_words(&spec, &body);
        EXPECT_EQ(molded(collected), c.collected);
        EXPECT_EQ(molded(spec), c.spec_after);
    }
}

TEST_F(FunctionTest, ExternWordsMustBeWords) {
    Cell spec = load("a /extern 1"), body = load("x: 1");
    EXPECT_TRUE(test_support::raises(Err::script_bad_func_extern, [&] { function::collect_words(&spec, &body); }));
    Cell plain = load("a 1"), body2 = load("x: 1");
    EXPECT_EQ(molded(function::collect_words(&plain, &body2)), "[x]") << "ignored without /extern";
}

TEST_F(FunctionTest, CollectionWalksABodyThatHoldsItselfOnce) {
    Cell spec = load(""), body = load("x: 1 []");
    Cell inner = *at(body, 2);
    *block::append_slot(&inner) = body;
    EXPECT_EQ(molded(function::collect_words(&spec, &body)), "[x]");
}

// ---- locals of a call ---------------------------------------------------------------------

TEST_F(FunctionTest, CountsLocalsAfterLocal) {
    struct Case {
        const char* spec;
        uint32_t index;
        bool required;
        int32_t count;
    };
    const Case cases[] = {
        {"a /local b c", 0, false, 3},
        {"a /local", 0, false, 1},
        {"a /local b [integer!] c \"doc\"", 0, false, 3},
        {"a", 0, false, 0},
        {"a", 0, true, -1},
        {"a /local b", 3, true, -1},
    };
    for (const Case& c : cases) {
        Cell spec = load(c.spec);
        EXPECT_EQ(function::count_refinement_args(cell::series_node(&spec), c.index, c.required), c.count) << c.spec;
    }
    Cell* before = stack::reg.top;
    function::init_refinement(3);
    ASSERT_EQ(stack::reg.top - before, 3);
    EXPECT_EQ(cell::type(before), uint32_t(T_LOGIC));
    EXPECT_FALSE(cell::get_logic(before));
    EXPECT_EQ(cell::type(before + 1), uint32_t(T_NONE));
    EXPECT_EQ(cell::type(before + 2), uint32_t(T_NONE));
}

// ---- building ------------------------------------------------------------------------------

TEST_F(FunctionTest, MakeCopiesAndBindsTheBodyOnce) {
    Cell source = load("[a] [a + a [a]]");
    Cell body = *at(source, 1);
    Cell fn = *function::make(nullptr, &source, T_FUNCTION);
    ASSERT_EQ(cell::type(&fn), uint32_t(T_FUNCTION));
    Node ctx = function::context_of(&fn);
    Cell copy = function::extra(&fn)[function::EXTRA_BODY];
    ASSERT_EQ(cell::type(&copy), uint32_t(T_BLOCK));
    EXPECT_NE(cell::series_node(&copy), cell::series_node(&body));
    EXPECT_EQ(cell::word_context(at(copy, 0)), ctx) << "bound to the function context";
    EXPECT_NE(cell::word_context(at(body, 0)), ctx) << "the source keeps its binding";
    Cell inner = *at(copy, 3);
    EXPECT_NE(cell::series_node(&inner), cell::series_node(at(body, 3))) << "nested blocks are copied too";
    EXPECT_EQ(cell::word_context(at(inner, 0)), ctx);
    // The function is its context's owner; the extra block is laid out.
    EXPECT_EQ(cell::callable_extra(context::owner_of(ctx)), cell::callable_extra(&fn));
    EXPECT_EQ(cell::type(context::cell_of(ctx)), uint32_t(T_CONTEXT));
    EXPECT_EQ(context::kind_of(context::cell_of(ctx)), uint32_t(context::KIND_FUNCTION));
    for (uint32_t i : {function::EXTRA_ENTRY, function::EXTRA_OP_SELF, function::EXTRA_BUILDER}) {
        EXPECT_EQ(cell::type(function::extra(&fn) + i), uint32_t(T_UNSET)) << i;
    }
    // The spec is the caller's block: its argument list is read at once.
    EXPECT_EQ(cell::type(function::extra(&fn) + function::EXTRA_ARGS), uint32_t(T_BLOCK));
    // A second function from the same body gets a copy of its own.
    Cell again = *function::make(nullptr, &source, T_FUNCTION);
    EXPECT_NE(cell::series_node(&function::extra(&again)[function::EXTRA_BODY]), cell::series_node(&copy));
}

TEST_F(FunctionTest, MakeErrors) {
    for (const char* text : {"[a]", "[a] 1", "1 [a]", ""}) {
        Cell spec = load(text);
        EXPECT_TRUE(test_support::raises(Err::script_bad_func_def, [&] { function::make(nullptr, &spec, T_FUNCTION); }))
            << text;
    }
    Cell number;
    cell::make_integer(&number, 1);
    EXPECT_TRUE(test_support::raises(Err::script_bad_func_def, [&] { function::make(nullptr, &number, T_FUNCTION); }));
    Cell dup = load("[a a] [a]");
    EXPECT_TRUE(test_support::raises(Err::script_dup_vars, [&] { function::make(nullptr, &dup, T_FUNCTION); }));
    Cell traced = load("[[trace] a] [a]");
    EXPECT_EQ(function::make(nullptr, &traced, T_FUNCTION)->header & (HDR_TRACE_ON | HDR_TRACE_OFF), HDR_TRACE_ON);
}

TEST_F(FunctionTest, BuildValueCopiesASpecOnlyFromAnIndex) {
    Cell spec = load("x a b"), body = load("a");
    cell::set_series_index(&spec, 1);
    Cell* top = stack::reg.top;
    Node ctx = function::build_value(&spec, &body, 0, 7, -1, 0);
    ASSERT_EQ(stack::reg.top, top + 1);
    Cell fn = *top;
    EXPECT_NE(cell::callable_spec(&fn), cell::series_node(&spec));
    EXPECT_EQ(molded(*function::reflect(&fn, symbol::intern("spec"))), "[a b]");
    EXPECT_EQ(context::word_count(context::cell_of(ctx)), 2u);
    EXPECT_EQ(cell::get_int(function::extra(&fn) + function::EXTRA_ENTRY), 7);
    EXPECT_EQ(cell::get_int(function::extra(&fn) + function::EXTRA_BUILDER), -1);
    cell::set_series_index(&spec, 0);
    function::build_value(&spec, nullptr, 0, 0, 0, 0);
    Cell bare = *stack::top();
    EXPECT_EQ(cell::callable_spec(&bare), cell::series_node(&spec)) << "a spec at its head is used itself";
    EXPECT_EQ(cell::type(function::extra(&bare) + function::EXTRA_BODY), uint32_t(T_NONE));
    EXPECT_EQ(molded(bare), "func [x a b] none");
}

// ---- reflection, text, comparison ------------------------------------------------------------

TEST_F(FunctionTest, ReflectGivesTheSpecItselfTheBodyAndBoundWords) {
    Cell fn = make_function("[a /ref b] [a]");
    Cell spec = *function::reflect(&fn, symbol::intern("spec"));
    EXPECT_EQ(cell::series_node(&spec), cell::callable_spec(&fn));
    *block::append_slot(&spec) = word::intern("c");
    EXPECT_EQ(molded(fn), "func [a /ref b c][a]") << "changing the reflected spec changes the function's";
    EXPECT_EQ(cell::series_node(function::reflect(&fn, symbol::intern("body"))), cell::series_node(&function::extra(&fn)[function::EXTRA_BODY]));
    Cell words = *function::reflect(&fn, symbol::intern("Words"));
    EXPECT_EQ(molded(words), "[a ref b]");
    for (uint32_t i = 0; i < 3; i++) EXPECT_EQ(cell::word_context(at(words, i)), function::context_of(&fn));
    EXPECT_TRUE(test_support::raises(Err::internal_not_done, [&] { function::reflect(&fn, symbol::intern("owner")); }));
}

TEST_F(FunctionTest, FormAndMold) {
    Cell fn = make_function("[a b] [a + b]");
    EXPECT_EQ(formed(fn), "?function?");
    EXPECT_EQ(molded(fn), "func [a b][a + b]");
    Cell buffer;
    string::write_cell(&buffer, 64);
    EXPECT_EQ(function::mold(&fn, &buffer, false, false, false, nullptr, 100, 0), 100 - 17);
}

TEST_F(FunctionTest, OnlyCopiesOfAFunctionAreEqual) {
    Cell f = make_function("[a] [a]"), g = make_function("[a] [a]");
    Cell copy = f, number;
    cell::make_integer(&number, 1);
    EXPECT_EQ(function::compare(&f, &copy, 0), 0);
    EXPECT_NE(function::compare(&f, &g, 0), 0);
    EXPECT_EQ(function::compare(&f, &g, 0), -function::compare(&g, &f, 0));
    EXPECT_EQ(function::compare(&f, &number, 0), -2);
    EXPECT_EQ(function::compare(&f, &copy, 3), -2);
    EXPECT_TRUE(actions::compare(&f, &copy, actions::OP_STRICT_EQUAL));
}

TEST_F(FunctionTest, RegisteredActions) {
    const ActionRow& row = types::row(T_FUNCTION);
    EXPECT_EQ(row.make, &function::make);
    EXPECT_EQ(row.reflect, &function::reflect);
    EXPECT_EQ(row.to, nullptr);
    EXPECT_EQ(row.copy, nullptr);
}

}  // namespace
