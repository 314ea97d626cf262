// The error report: the text form gives an error, byte for byte, for each
// kind of message template, the Where, Near, Stack and Files lines, the cuts
// to 40 and 80 characters, and the fallback for an unknown type or id.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "core/context.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/error.h"
#include "datatypes/error_report.h"
#include "test_values.h"

using namespace zel;

namespace {

using test_values::as;
using test_values::name_of;
using test_values::text;
using test_values::utf8_of;

using error::field;

using ErrorReportTest = ::testing::Test;

// The report, and the limit it answered for an unlimited start.
struct Report {
    std::string text;
    int32_t used;
};
Report report(Cell err) {
    Cell buffer;
    string::write_cell(&buffer, 64);
    int32_t left = error::form(&err, &buffer, nullptr, INT32_MAX);
    return {utf8_of(&buffer), INT32_MAX - left};
}

Cell* state_field(const char* name) {
    return context::get_word_cell(symbol::intern(name), cell::object_context(error::state()));
}

const std::string NO_PLACE = "\n*** Where: ???\n*** Near : none";

TEST_F(ErrorReportTest, EachTemplateForm) {
    Cell foo = word::intern("foo"), get_foo = as(foo, T_GET_WORD), lit_bar = as(word::intern("bar"), T_LIT_WORD);
    Cell baz = word::intern("baz"), boom = text("boom"), say = word::intern("say");
    struct Case {
        const char* name;
        Err id;
        Cell args[3];
        const char* message;
    };
    const Case cases[] = {
        {"string template", Err::math_zero_divide, {}, "*** Math Error: attempt to divide by zero"},
        {"block with a get-word first", Err::script_no_value, {foo}, "*** Script Error: foo has no value"},
        {"block ending in a get-word: no trailing space", Err::script_invalid_arg, {foo},
         "*** Script Error: invalid argument: foo"},
        {"arguments molded", Err::script_expect_arg, {get_foo, lit_bar, baz},
         "*** Script Error: :foo does not allow 'bar for its baz argument"},
        {"syntax arguments formed", Err::syntax_invalid, {get_foo, lit_bar, baz}, "*** Syntax Error: foo invalid bar at baz"},
        {"plain words of the template", Err::internal_deprecated, {foo, say},
         "*** Internal Error: foo is DEPRECATED, please use say instead"},
        {"missing argument is none", Err::script_not_related, {foo}, "*** Script Error: incompatible argument for foo of none"},
        {"user message is the argument itself", Err::user_message, {boom}, "*** User Error: boom"},
        {"text with its own trailing space", Err::note_no_load, {foo}, "*** note: cannot load:  foo"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Cell* a = c.args;
        Cell err = *error::build(c.id, cell::type(&a[0]) ? &a[0] : nullptr, cell::type(&a[1]) ? &a[1] : nullptr,
                                 cell::type(&a[2]) ? &a[2] : nullptr);
        Report r = report(err);
        EXPECT_EQ(r.text, c.message + NO_PLACE);
        EXPECT_EQ(size_t(r.used), r.text.size());
    }
}

TEST_F(ErrorReportTest, WhereIsAWordATextOrUnknown) {
    Cell err = *error::build(Err::math_overflow);
    Cell where = word::intern("divide");
    *field(&err, error::FIELD_WHERE) = where;
    EXPECT_EQ(report(err).text, "*** Math Error: math or number overflow\n*** Where: divide\n*** Near : none");
    *field(&err, error::FIELD_WHERE) = text("by hand");
    EXPECT_EQ(report(err).text, "*** Math Error: math or number overflow\n*** Where: by hand\n*** Near : none");
}

TEST_F(ErrorReportTest, ArgumentsCutTo80AndNearTo40) {
    std::string long_name(100, 'x');
    Cell w = word::intern(long_name.c_str());
    Cell err = *error::build(Err::script_invalid_arg, &w);
    *field(&err, error::FIELD_NEAR) = w;
    Report r = report(err);
    EXPECT_EQ(r.text, "*** Script Error: invalid argument: " + long_name.substr(0, 80) +
                          "\n*** Where: ???\n*** Near : " + long_name.substr(0, 40));
    EXPECT_EQ(size_t(r.used), r.text.size());
}

TEST_F(ErrorReportTest, UnknownTypeOrIdBecomesInvalidError) {
    Cell nonsense = word::intern("nonsense");
    Cell err = *error::build(Err::math_overflow);
    *field(&err, error::FIELD_TYPE) = nonsense;
    EXPECT_EQ(report(err).text, "*** Internal Error: invalid error object field value: nonsense" + NO_PLACE);
    EXPECT_EQ(name_of(field(&err, error::FIELD_TYPE)), "internal");
    EXPECT_EQ(name_of(field(&err, error::FIELD_ID)), "invalid-error");
    EXPECT_EQ(name_of(field(&err, error::FIELD_ARG1)), "nonsense");

    Cell err2 = *error::build(Err::math_overflow);
    *field(&err2, error::FIELD_ID) = nonsense;
    EXPECT_EQ(report(err2).text, "*** Internal Error: invalid error object field value: nonsense" + NO_PLACE);
    EXPECT_EQ(name_of(field(&err2, error::FIELD_TYPE)), "internal");

    // A message that is neither text nor a block: empty, and the type moves
    // to arg1.
    Cell err3 = *error::build(Err::user_message, &nonsense);
    EXPECT_EQ(report(err3).text, "*** User Error: " + NO_PLACE);
    EXPECT_EQ(name_of(field(&err3, error::FIELD_ARG1)), "user");
    EXPECT_EQ(name_of(field(&err3, error::FIELD_ID)), "invalid-error");
}

TEST_F(ErrorReportTest, StackLineOnlyWhileTracing) {
    Cell* level = state_field("stack-trace");
    Cell a = word::intern("alpha"), b = word::intern("beta");
    stack::enter_native(&a);
    stack::enter_native(&b);
    Cell err = *error::build(Err::math_overflow);
    cell::make_integer(field(&err, error::FIELD_STACK), int32_t(stack::depth()));
    cell::make_integer(level, 2);
    std::string traced = report(err).text;
    EXPECT_EQ(traced.find("*** Math Error: math or number overflow" + NO_PLACE + "\n*** Stack: alpha beta"), 0u)
        << traced;
    cell::make_integer(level, 0);
    EXPECT_EQ(report(err).text, "*** Math Error: math or number overflow" + NO_PLACE);
    // Names already collected are left out too while tracing is off.
    error::fill_stack(&err);
    EXPECT_EQ(cell::type(field(&err, error::FIELD_STACK)), T_BLOCK);
    EXPECT_EQ(report(err).text, "*** Math Error: math or number overflow" + NO_PLACE);
    cell::make_integer(level, 1);
    stack::leave();
    stack::leave();
}

TEST_F(ErrorReportTest, FilesLineWhenRecorded) {
    Cell err = *error::build(Err::math_overflow);
    EXPECT_EQ(report(err).text.find("\n*** Files: "), std::string::npos);
    Cell files;
    cell::make_series(&files, T_BLOCK, series::new_cells(1));
    *field(&err, error::FIELD_FILES) = files;
    std::string r = report(err).text;
    EXPECT_EQ(r.find("*** Math Error: math or number overflow" + NO_PLACE + "\n*** Files: "), 0u) << r;
}

}  // namespace
