// error!: the catalog, building every error by id, make error! from every
// kind of spec, the fields that throws and catches fill in, the argument word
// of a call, path access to the fields, comparison and mold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/context.h"
#include "core/dispatch.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/error.h"
#include "kernel/collector.h"
#include "test_values.h"

using namespace zel;

namespace {

using test_values::as;
using test_values::block_of;
using test_values::integer;
using test_values::name_of;
using test_values::none;
using test_values::Raised;
using test_values::raised;
using test_values::text;
using test_values::utf8_of;

using error::field;

using ErrorTest = ::testing::Test;

// Runs f under a try frame and answers the error it raised (none when none).
template <class F>
Cell trap(F f) {
    Raised r = raised(f);
    return r.id.empty() ? none() : r.error;
}

Cell make_error(Cell spec) {
    Cell result;
    cell::make_none(&result);
    Cell err = trap([&] { result = *error::make(nullptr, &spec, T_ERROR); });
    EXPECT_EQ(cell::type(&err), T_NONE) << "make raised " << name_of(field(&err, error::FIELD_ID));
    return result;
}

// The error that make raises for the spec.
Raised make_fails(Cell spec) {
    return raised([&] { error::make(nullptr, &spec, T_ERROR); });
}

// The ids of the catalog with the words they must carry.
struct CatalogId {
    Err id;
    const char* category;
    const char* word;
};
const char* const CATEGORY_WORDS[] = {"throw", "note",      "syntax",    "script", "math",
                                     "access", "reserved1", "reserved2", "user",   "internal"};
const CatalogId CATALOG_IDS[] = {
#define ZEL_ERROR_CATEGORY(index, word, title)
#define ZEL_ERROR(category, code, ident, word, kind, ...) {Err::ident, CATEGORY_WORDS[category], word},
#include "datatypes/error_catalog.inc"
#undef ZEL_ERROR
#undef ZEL_ERROR_CATEGORY
};

TEST_F(ErrorTest, CatalogHasTenCategoriesWithTheirCodesTitlesAndIds) {
    struct Category {
        const char* word;
        const char* title;
        uint32_t ids;
    };
    const Category expected[] = {
        {"throw", "Throw Error", 5},   {"note", "note", 1},
        {"syntax", "Syntax Error", 7}, {"script", "Script Error", 94},
        {"math", "Math Error", 3},     {"access", "Access Error", 15},
        {"reserved1", "Reserved1 Error", 0}, {"reserved2", "Reserved2 Error", 0},
        {"user", "User Error", 1},     {"internal", "Internal Error", 15},
    };
    const Cell* catalog = error::catalog();
    ASSERT_EQ(cell::type(catalog), T_OBJECT);
    ASSERT_EQ(error::category_count(), 10u);
    for (uint32_t i = 0; i < 10; i++) {
        SCOPED_TRACE(expected[i].word);
        EXPECT_EQ(name_of(context::word_at(context::cell_of(cell::object_context(catalog)), int32_t(i))), expected[i].word);
        const Cell* cat = error::category(i);
        ASSERT_EQ(cell::type(cat), T_OBJECT);
        const Cell* ctx = context::cell_of(cell::object_context(cat));
        EXPECT_EQ(context::word_count(ctx), 2 + expected[i].ids);
        EXPECT_EQ(name_of(context::word_at(ctx, 0)), "code");
        EXPECT_EQ(name_of(context::word_at(ctx, 1)), "type");
        EXPECT_EQ(cell::get_int(context::value_at(cell::object_context(cat), 0)), int32_t(i * 100));
        EXPECT_EQ(utf8_of(context::value_at(cell::object_context(cat), 1)), expected[i].title);
    }
}

TEST_F(ErrorTest, TemplatesKeepTheirForm) {
    // script/expect-arg: :arg1 "does not allow" :arg2 "for its" :arg3 "argument"
    const Cell* t = context::value_at(cell::object_context(error::category(CAT_SCRIPT)), int32_t(position_of(Err::script_expect_arg)));
    ASSERT_EQ(cell::type(t), T_BLOCK);
    SeriesBuffer* b = node::buffer(cell::series_node(t));
    ASSERT_EQ(series::length(b), 6u);
    const Cell* v = series::cells(b);
    EXPECT_EQ(cell::type(&v[0]), T_GET_WORD);
    EXPECT_EQ(name_of(&v[0]), "arg1");
    EXPECT_EQ(utf8_of(&v[1]), "does not allow");
    EXPECT_EQ(name_of(&v[4]), "arg3");
    // internal/deprecated names plain words; user/message is the word arg1.
    t = context::value_at(cell::object_context(error::category(CAT_INTERNAL)), int32_t(position_of(Err::internal_deprecated)));
    EXPECT_EQ(cell::type(series::cells(node::buffer(cell::series_node(t)))), T_WORD);
    t = context::value_at(cell::object_context(error::category(CAT_USER)), int32_t(position_of(Err::user_message)));
    EXPECT_EQ(cell::type(t), T_WORD);
    EXPECT_EQ(name_of(t), "arg1");
    t = context::value_at(cell::object_context(error::category(CAT_MATH)), int32_t(position_of(Err::math_zero_divide)));
    EXPECT_EQ(utf8_of(t), "attempt to divide by zero");
}

// Every id builds with its words and code, and make error! of the code gives
// the same entry back.
TEST_F(ErrorTest, EveryCatalogIdBuildsWithItsCode) {
    std::vector<uint32_t> per_category(10, 0);
    for (const CatalogId& c : CATALOG_IDS) {
        SCOPED_TRACE(c.word);
        uint32_t cat = category_of(c.id);
        EXPECT_EQ(uint32_t(c.id), cat * 100 + per_category[cat]++);
        Cell* top = stack::reg.top;
        Cell err = *error::build(c.id);
        EXPECT_EQ(stack::reg.top, top);
        ASSERT_EQ(cell::type(&err), T_ERROR);
        EXPECT_EQ(cell::object_class(&err), 1u);
        EXPECT_EQ(cell::object_handlers(&err), 0u);
        EXPECT_EQ(cell::get_int(field(&err, error::FIELD_CODE)), int32_t(c.id));
        EXPECT_EQ(name_of(field(&err, error::FIELD_TYPE)), c.category);
        EXPECT_EQ(name_of(field(&err, error::FIELD_ID)), c.word);
        EXPECT_EQ(cell::type(field(&err, error::FIELD_ARG1)), T_NONE);
        Cell made = make_error(integer(int32_t(c.id)));
        EXPECT_EQ(name_of(field(&made, error::FIELD_TYPE)), c.category);
        EXPECT_EQ(name_of(field(&made, error::FIELD_ID)), c.word);
        EXPECT_EQ(cell::get_int(field(&made, error::FIELD_CODE)), int32_t(c.id));
    }
}

// The catalog and the prototype survive collections that move their buffers
// (and may move their nodes).
TEST_F(ErrorTest, CatalogSurvivesCollections) {
    for (int i = 0; i < 3; i++) {
        Cell garbage;
        for (int k = 0; k < 200; k++) cell::make_series(&garbage, T_BLOCK, series::new_cells(64));
        collector::collect();
    }
    Cell err = *error::build(Err::access_cannot_open);
    EXPECT_EQ(name_of(field(&err, error::FIELD_TYPE)), "access");
    EXPECT_EQ(name_of(field(&err, error::FIELD_ID)), "cannot-open");
    const Cell* t = context::value_at(cell::object_context(error::category(CAT_MATH)), int32_t(position_of(Err::math_positive)));
    EXPECT_EQ(utf8_of(t), "positive number required");
    Cell made = make_error(integer(913));
    EXPECT_EQ(name_of(field(&made, error::FIELD_ID)), "deprecated");
}

TEST_F(ErrorTest, BuildCopiesTheGivenArgumentsOnly) {
    Cell a = integer(7), w = word::intern("thing");
    Cell err = *error::build(Err::script_expect_arg, &w, nullptr, &a);
    EXPECT_EQ(name_of(field(&err, error::FIELD_ARG1)), "thing");
    EXPECT_EQ(cell::type(field(&err, error::FIELD_ARG2)), T_NONE);
    EXPECT_EQ(cell::get_int(field(&err, error::FIELD_ARG3)), 7);
    // Each error has its own fields.
    Cell other = *error::build(Err::script_expect_arg);
    EXPECT_NE(cell::object_context(&other), cell::object_context(&err));
    EXPECT_EQ(cell::type(field(&other, error::FIELD_ARG1)), T_NONE);

    Cell math = word::intern("math"), zero = word::intern("zero-divide");
    Cell by_words = *error::build(&math, &zero, &a, nullptr, nullptr);
    EXPECT_EQ(cell::get_int(field(&by_words, error::FIELD_CODE)), 400);
    EXPECT_EQ(cell::get_int(field(&by_words, error::FIELD_ARG1)), 7);
    Cell bad = word::intern("no-such-id");
    Cell err2 = trap([&] { error::build(&math, &bad, nullptr, nullptr, nullptr); });
    EXPECT_EQ(name_of(field(&err2, error::FIELD_ID)), "invalid-spec-field");
    EXPECT_EQ(name_of(field(&err2, error::FIELD_ARG1)), "id");
}

TEST_F(ErrorTest, MakeFromCodesAndWordBlocks) {
    struct Case {
        const char* name;
        Cell spec;
        int32_t code;
        const char* category;
        const char* id;
    };
    const Case cases[] = {
        {"302", integer(302), 302, "script", "not-defined"},
        {"0", integer(0), 0, "throw", "break"},
        {"913", integer(913), 913, "internal", "deprecated"},
        {"[math zero-divide]", block_of({word::intern("math"), word::intern("zero-divide")}), 400, "math", "zero-divide"},
        {"[MATH Overflow extra]", block_of({word::intern("MATH"), word::intern("Overflow"), integer(1)}), 401, "MATH", "Overflow"},
        {"[access cannot-open]", block_of({word::intern("access"), word::intern("cannot-open")}), 500, "access", "cannot-open"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cell err = make_error(c.spec);
        ASSERT_EQ(cell::type(&err), T_ERROR);
        EXPECT_EQ(cell::get_int(field(&err, error::FIELD_CODE)), c.code);
        EXPECT_EQ(name_of(field(&err, error::FIELD_TYPE)), c.category);
        EXPECT_EQ(name_of(field(&err, error::FIELD_ID)), c.id);
    }
}

TEST_F(ErrorTest, MakeFailures) {
    Cell math = word::intern("math");
    Cell f;
    cell::make_float(&f, 1.5);
    struct Case {
        const char* name;
        Cell spec;
        const char* category;
        const char* id;
        const char* arg1_word;  // the word in arg1, or null
        int32_t arg1_int;       // else the integer in arg1 (or -999: none)
    };
    const Case cases[] = {
        {"399", integer(399), "script", "out-of-range", nullptr, 399},
        {"-1", integer(-1), "script", "out-of-range", nullptr, -1},
        {"1000", integer(1000), "script", "out-of-range", nullptr, 1000},
        {"650: reserved1 has no ids", integer(650), "script", "out-of-range", nullptr, 650},
        {"[math]", block_of({math}), "script", "invalid-spec-field", "id", 0},
        {"[math 5]", block_of({math, integer(5)}), "script", "invalid-arg", nullptr, 5},
        {"[nothing break]", block_of({word::intern("nothing"), word::intern("break")}), "script", "invalid-spec-field", "type", 0},
        {"[math code] names no error", block_of({math, word::intern("code")}), "script", "invalid-spec-field", "id", 0},
        {"[math type]", block_of({math, word::intern("type")}), "script", "invalid-spec-field", "id", 0},
        {"[]", block_of({}), "internal", "invalid-error", nullptr, -999},
        {"[5 math]", block_of({integer(5), math}), "internal", "invalid-error", nullptr, -999},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Raised r = make_fails(c.spec);
        EXPECT_EQ(r.category, c.category);
        EXPECT_EQ(r.id, c.id);
        if (c.arg1_word) {
            EXPECT_EQ(name_of(r.arg(1)), c.arg1_word);
        } else if (c.arg1_int == -999) {
            EXPECT_EQ(cell::type(r.arg(1)), T_NONE);
        } else {
            EXPECT_EQ(cell::get_int(r.arg(1)), c.arg1_int);
        }
    }
    Raised r = make_fails(f);
    EXPECT_EQ(r.id, "bad-make-arg");
    EXPECT_EQ(cell::type(r.arg(1)), T_DATATYPE);
    EXPECT_EQ(cell::datatype_id(r.arg(1)), uint32_t(T_ERROR));
}

TEST_F(ErrorTest, MakeFromStringIsAUserError) {
    Cell s = text("boom");
    Cell err = make_error(s);
    EXPECT_EQ(cell::get_int(field(&err, error::FIELD_CODE)), 800);
    EXPECT_EQ(name_of(field(&err, error::FIELD_TYPE)), "user");
    EXPECT_EQ(name_of(field(&err, error::FIELD_ID)), "message");
    EXPECT_EQ(utf8_of(field(&err, error::FIELD_ARG1)), "boom");
}

// A stand-in evaluator for spec blocks of set-words: each set-word takes the
// next value, a lit-word as its word.
void assign_pairs(const Cell* block) {
    SeriesBuffer* b = node::buffer(cell::series_node(block));
    Cell* v = series::writable_cells(b);
    for (uint32_t i = 0; i + 1 < series::length(b); i += 2) {
        Cell value = v[i + 1];
        if (cell::type(&value) == T_LIT_WORD) cell::set_type(&value, T_WORD);
        context::set_word_value(&v[i], &value, cell::word_context(&v[i]), false);
    }
}

TEST_F(ErrorTest, MakeFromSetWordsEvaluatesInTheErrorsFields) {
    error::set_evaluator(assign_pairs);
    Cell set_type = as(word::intern("type"), T_SET_WORD), set_id = as(word::intern("id"), T_SET_WORD);
    Cell set_arg1 = as(word::intern("arg1"), T_SET_WORD);
    Cell user = as(word::intern("user"), T_LIT_WORD), message = as(word::intern("message"), T_LIT_WORD);
    Cell err = make_error(block_of({set_type, user, set_id, message, set_arg1, text("hello")}));
    EXPECT_EQ(cell::get_int(field(&err, error::FIELD_CODE)), 800);
    EXPECT_EQ(utf8_of(field(&err, error::FIELD_ARG1)), "hello");
    // The prototype is untouched.
    EXPECT_EQ(cell::type(context::value_at(cell::object_context(error::prototype()), error::FIELD_ARG1)), T_NONE);

    Cell bogus = as(word::intern("bogus"), T_LIT_WORD);
    struct Case {
        Cell spec;
        const char* field;
    };
    const Case cases[] = {
        {block_of({set_type, bogus, set_id, message}), "type"},
        {block_of({set_type, user, set_id, bogus}), "id"},
        {block_of({set_type, user}), "id"},
    };
    for (const Case& c : cases) {
        Raised r = make_fails(c.spec);
        EXPECT_EQ(r.id, "invalid-spec-field");
        EXPECT_EQ(name_of(r.arg(1)), c.field);
    }
}

TEST_F(ErrorTest, FillWhereKeepsTheFirstWord) {
    Cell err = *error::build(Err::script_no_value);
    Cell f = word::intern("first"), g = word::intern("second");
    error::fill_where(&err, &f);
    error::fill_where(&err, &g);
    EXPECT_EQ(name_of(field(&err, error::FIELD_WHERE)), "first");
    EXPECT_EQ(error::stack_field(), 8u);
    EXPECT_EQ(symbol::get_cstr(error::category_symbol(&err)), std::string("script"));
    EXPECT_EQ(symbol::get_cstr(error::id_symbol(&err)), std::string("no-value"));
}

TEST_F(ErrorTest, FillStackNamesTheCallsAndRecordsTheFiles) {
    Node state = cell::object_context(error::state());
    Cell trace_word = word::intern("stack-trace");
    Cell* level = context::get_word_cell(cell::word_symbol(&trace_word), state);
    Cell* files = context::get_word_cell(symbol::intern("source-files"), state);
    cell::make_integer(level, 2);
    Cell a = word::intern("alpha"), b = word::intern("beta"), script = word::intern("script.zel");
    stack::enter_native(&a);
    stack::enter_native(&b);
    Cell err = *error::build(Err::script_no_value);
    *field(&err, error::FIELD_STACK) = integer(int32_t(stack::depth()));
    *block::append_slot(files) = script;
    error::fill_stack(&err);
    const Cell* names = field(&err, error::FIELD_STACK);
    ASSERT_EQ(cell::type(names), T_BLOCK);
    SeriesBuffer* nb = node::buffer(cell::series_node(names));
    ASSERT_EQ(series::length(nb), 2u);
    EXPECT_EQ(name_of(series::cells(nb)), "alpha");
    EXPECT_EQ(name_of(series::cells(nb) + 1), "beta");
    const Cell* copied = field(&err, error::FIELD_FILES);
    ASSERT_EQ(cell::type(copied), T_BLOCK);
    EXPECT_NE(cell::series_node(copied), cell::series_node(files));
    EXPECT_EQ(name_of(series::cells(node::buffer(cell::series_node(copied)))), "script.zel");
    // A block already there stays: the names are final.
    stack::leave();
    error::fill_stack(&err);
    EXPECT_EQ(series::length(node::buffer(cell::series_node(field(&err, error::FIELD_STACK)))), 2u);
    cell::make_integer(level, 1);
    node::buffer(cell::series_node(files))->tail = node::buffer(cell::series_node(files))->head;
}

TEST_F(ErrorTest, ArgumentWordWalksTheCalleesSpec) {
    Cell spec = block_of({word::intern("value"), block_of({}), text("doc"), as(word::intern("part"), T_REFINEMENT),
                          as(word::intern("length"), T_LIT_WORD)});
    Cell native = {T_NATIVE, 0, cell::series_node(&spec), 0};
    Cell callee = word::intern("my-native");
    word::set_value(&callee, &native);
    stack::enter_native(&callee);
    const char* expected[] = {"value", "part", "length"};
    for (uint32_t n = 0; n < 3; n++) {
        Cell w = error::argument_word(n);
        EXPECT_EQ(name_of(&w), expected[n]);
    }
    Cell past = error::argument_word(3);
    EXPECT_EQ(cell::type(&past), T_NONE);
    stack::leave();
    Cell plain = word::intern("plain"), one = integer(1);
    word::set_value(&plain, &one);
    stack::enter_native(&plain);
    Cell none = error::argument_word(0);
    EXPECT_EQ(cell::type(&none), T_NONE);
    stack::leave();
}

TEST_F(ErrorTest, PathsReadAndSetFieldsButNotStack) {
    Cell err = *error::build(Err::math_overflow);
    Cell path = block_of({});
    Cell id = word::intern("id"), arg2 = word::intern("ARG2"), stack_word = word::intern("stack");
    const Cell* got = error::eval_path(&err, &id, nullptr, &path, nullptr, nullptr, 1, false, false, true, false);
    EXPECT_EQ(name_of(got), "overflow");
    Cell seven = integer(7);
    error::eval_path(&err, &arg2, &seven, &path, nullptr, nullptr, 1, false, false, true, false);
    EXPECT_EQ(cell::get_int(field(&err, error::FIELD_ARG2)), 7);
    for (bool set : {false, true}) {
        Cell e = trap([&] {
            error::eval_path(&err, &stack_word, set ? &seven : nullptr, &path, nullptr, nullptr, 1, false, false, true, false);
        });
        EXPECT_EQ(name_of(field(&e, error::FIELD_ID)), "invalid-path-set");
    }
    Cell missing = word::intern("missing");
    Cell e = trap([&] { error::eval_path(&err, &missing, nullptr, &path, nullptr, nullptr, 1, false, false, false, false); });
    EXPECT_EQ(name_of(field(&e, error::FIELD_ID)), "unset-path");
}

TEST_F(ErrorTest, CompareAsObjects) {
    Cell a = *error::build(Err::math_overflow);
    Cell b = *error::build(Err::math_overflow);
    Cell one = integer(1);
    EXPECT_EQ(error::compare(&a, &a, actions::OP_EQUAL), 0);
    EXPECT_EQ(error::compare(&a, &one, actions::OP_EQUAL), actions::NOT_COMPARABLE);
    EXPECT_EQ(error::compare(&a, &b, actions::OP_SAME), -1);
}

std::string mold_of(Cell err, bool only, bool flat, int32_t indent) {
    Cell buffer;
    string::write_cell(&buffer, 64);
    error::mold(&err, &buffer, only, false, flat, nullptr, INT32_MAX, indent);
    return utf8_of(&buffer);
}

// Molded as an object of its ten fields; the values here are words and none,
// a word value written as a lit-word.
TEST_F(ErrorTest, MoldWritesTheFields) {
    Cell err = *error::build(Err::math_overflow);
    cell::make_none(field(&err, error::FIELD_CODE));
    const std::string fields[] = {"code: none", "type: 'math", "id: 'overflow", "arg1: none", "arg2: none",
                                  "arg3: none", "near: none", "where: none", "stack: none", "files: none"};
    std::string lines, flat;
    for (const std::string& f : fields) {
        lines += "    " + f + "\n";
        flat += (flat.empty() ? "" : " ") + f;
    }
    EXPECT_EQ(mold_of(err, false, false, 0), "make error! [\n" + lines + "]");
    EXPECT_EQ(mold_of(err, false, true, 0), "make error! [" + flat + "]");
    std::string deeper;
    for (const std::string& f : fields) deeper += "        " + f + "\n";
    EXPECT_EQ(mold_of(err, false, false, 1), "make error! [\n" + deeper + "    ]");
    std::string only;
    for (const std::string& f : fields) only += (only.empty() ? "" : "\n") + f;
    EXPECT_EQ(mold_of(err, true, false, 0), only);
    // An error in its own fields is written as a mark.
    *field(&err, error::FIELD_ARG1) = err;
    std::string marked = flat;
    marked.replace(marked.find("arg1: none"), 10, "arg1: ...");
    EXPECT_EQ(mold_of(err, false, true, 0), "make error! [" + marked + "]");
}

}  // namespace
