// print and prin, the comparison natives, same?, not, type? and max/min, as
// tables of Zel source -> molded value or error id.
#include <string>
#include <vector>

#include "core/block.h"
#include "core/word.h"
#include "interpreter/natives.h"
#include "interpreter/natives_output.h"
#include "kernel/hooks.h"
#include "natives_cases.h"

namespace zel {
namespace {

using natives_cases::Case;
using natives_cases::ErrorCase;
using natives_cases::eval_molded;
using natives_cases::run;

// ---- the table ------------------------------------------------------------------------------

using NativesSlotTest = natives_cases::NativesTest;

// Every native of the output, math and conversion modules sits at its index
// under its word.
TEST_F(NativesSlotTest, OutputMathAndConversionNativesAreBound) {
    const natives_cases::NativeSlot known[] = {
        {23, "print"}, {24, "prin"}, {25, "equal?"}, {31, "greater-or-equal?"}, {32, "same?"},
        {33, "not"}, {34, "type?"}, {41, "union"}, {45, "exclude"}, {46, "complement?"},
        {47, "dehex"}, {48, "enhex"}, {49, "negative?"}, {50, "positive?"}, {51, "max"},
        {52, "min"}, {53, "shift"}, {54, "to-hex"}, {55, "sine"}, {61, "arctangent2"},
        {62, "NaN?"}, {67, "square-root"}, {71, "uppercase"}, {72, "lowercase"}, {73, "as-pair"},
        {84, "debase"}, {89, "new-line"}, {90, "new-line?"}, {91, "enbase"}, {97, "sign?"},
        {98, "as"}, {100, "zero?"},
    };
    natives_cases::check_slots(known);
}

// ---- print and prin ------------------------------------------------------------------

// What the print hooks received: each text with "\n" for a line end.
std::string printed;

void capture(const Cell* text, bool line) {
    printed += natives_cases::text_of(text);
    if (line) printed += "\n";
}

// Takes the console's hook out while a test captures the output.
struct Capture {
    Capture() {
        printed.clear();
        hooks::remove(print::string_value, nullptr);
        hooks::add(capture, nullptr);
    }
    ~Capture() {
        hooks::remove(capture, nullptr);
        hooks::add(print::string_value, nullptr);
    }
};

using NativesPrintTest = natives_cases::NativesTest;

TEST_F(NativesPrintTest, WritesFormedValues) {
    const Case cases[] = {
        {R"(print [1 + 1 "a"])", "2 a\n"},
        {R"(prin "x")", "x"},
        {"print []", "\n"},
        {R"(print "a^/b")", "a\nb\n"},
        {"print 1.5", "1.5\n"},
        {"print none", "none\n"},
        {R"(prin "")", ""},
        {"prin []", ""},
        {"print [[1 2] 3]", "1 2 3\n"},
        {R"(prin next "abc")", "bc"},
        {R"(s: "ab" print at s 3)", "\n"},
        {R"(x: 5 print ["x =" x])", "x = 5\n"},
        {R"(print ["a" print "b" "c"])", "b\na  c\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        Capture capture;
        run(c.code);
        EXPECT_EQ(printed, c.expected);
    }
}

TEST_F(NativesPrintTest, ResultIsUnsetAndRecordsTheLineEnd) {
    Capture capture;
    EXPECT_EQ(cell::type(&(const Cell&)run("print 1")), T_UNSET);
    EXPECT_EQ(natives::last_line_end, 1);
    run(R"(prin "x")");
    EXPECT_EQ(natives::last_line_end, 0);
}

// The scratch block ends every print as it began: after a nested print,
// after an error, and after a break that leaves the print.
TEST_F(NativesPrintTest, ScratchBlockIsRestored) {
    Capture capture;
    const char* codes[] = {
        R"(print [1 print [2 3] 4])",
        R"(print [1 2 (first [])])",
        R"(print [1 2 1 / 0])",
        R"(loop 1 [print [1 2 break 3]])",
    };
    Cell before = *natives::print_scratch();
    uint32_t length = block::buffer_length(&before);
    for (const char* code : codes) {
        SCOPED_TRACE(code);
        try {
            run(code);
        } catch (...) {
        }
        const Cell* after = natives::print_scratch();
        EXPECT_EQ(cell::series_index(after), cell::series_index(&before));
        EXPECT_EQ(block::buffer_length(after), length);
    }
    EXPECT_EQ(printed, "2 3\n1  4\n");
}

TEST_F(NativesPrintTest, ErrorsPassThrough) {
    Capture capture;
    EXPECT_TRUE(test_support::raises(Err::math_zero_divide, [] { run("print [1 / 0]"); }));
    EXPECT_EQ(printed, "");
    EXPECT_TRUE(test_support::raises(Err::script_no_value, [] { run("print [undefined-word-here]"); }));
}

// ---- comparisons, same?, not, type? ------------------------------------------------------

using NativesLogicTest = natives_cases::NativesTest;

TEST_F(NativesLogicTest, Comparisons) {
    const Case cases[] = {
        {"equal? 1 1.0", "true"},          {"not-equal? 1 2", "true"},
        {"strict-equal? 1 1.0", "false"},  {"strict-equal? 1 1", "true"},
        {"lesser? 1 2", "true"},           {"greater? 1 2", "false"},
        {"lesser-or-equal? 2 2", "true"},  {"greater-or-equal? 1 2", "false"},
        {R"(equal? "abc" "ABC")", "true"}, {R"(strict-equal? "abc" "ABC")", "false"},
        {R"(lesser? "abc" "abd")", "true"}, {"equal? [1 2] [1 2]", "true"},
        {"equal? 1 none", "false"},        {"equal? none none", "true"},
    };
    natives_cases::check_values(cases);
}

TEST_F(NativesLogicTest, ComparisonErrors) {
    const ErrorCase cases[] = {
        {"lesser? 1 none", Err::script_invalid_compare},
        {R"(greater? "a" 1)", Err::script_invalid_compare},
    };
    natives_cases::check_errors(cases);
}

TEST_F(NativesLogicTest, Same) {
    const Case cases[] = {
        {R"(same? "a" "a")", "false"},
        {R"(s: "a" same? s s)", "true"},
        {R"(s: "ab" same? s next s)", "false"},
        {"b: [1] same? b b", "true"},
        {"same? [1] [1]", "false"},
        {"same? none none", "true"},
        {"same? 1 1", "true"},
        {"same? 1 1.0", "false"},
        {"same? 1.5 1.5", "true"},
        {"same? 0.0 -0.0", "false"},
        {"same? #\"a\" #\"a\"", "true"},
        {"same? true true", "true"},
        {"same? true false", "false"},
        {"same? integer! integer!", "true"},
        {"same? 'a 'a", "true"},
        {"same? 'a 'b", "false"},
        {"same? :print :print", "true"},
        {"same? :print :prin", "false"},
        {"same? :append :append", "true"},
        {"o: make object! [a: 1] same? o o", "true"},
        {"same? make object! [] make object! []", "false"},
        {"same? 1:00 1:00", "true"},
    };
    natives_cases::check_values(cases);
}

TEST_F(NativesLogicTest, NotAndTypeOf) {
    const Case cases[] = {
        {"not 0", "false"},          {"not none", "true"},
        {"not false", "true"},       {"not true", "false"},
        {"not ()", "false"},         {R"(not "")", "false"},
        {"type? 1", "integer!"},     {R"(type? "a")", "string!"},
        {"type? none", "none!"},     {"type? ()", "unset!"},
        {"type? :print", "native!"}, {"type? integer!", "datatype!"},
        {"type?/word 1.5", "float!"}, {"type? type?/word 1", "word!"},
        {"type?/word []", "block!"},
    };
    natives_cases::check_values(cases);
}

// ---- max and min ---------------------------------------------------------------------------

using NativesExtremeTest = natives_cases::NativesTest;

TEST_F(NativesExtremeTest, Values) {
    const Case cases[] = {
        // Equal values: max keeps the first, min takes the second.
        {"max 1 1.0", "1"},
        {"min 1 1.0", "1.0"},
        {"max 1.0 1", "1.0"},
        {"min 1.0 1", "1"},
        {"max 1 2", "2"},
        {"min 1 2", "1"},
        {"max -3.5 2", "2"},
        {"min -3.5 2", "-3.5"},
        {R"(max "abc" "abd")", R"("abd")"},
        {R"(min "abc" "abd")", R"("abc")"},
        {"max #\"a\" #\"b\"", "#\"b\""},
        {"max 1:00 0:30", "1:00:00"},
        // A NaN wins against any number, on either side.
        {"nan? max arcsine 2 5", "true"},
        {"nan? max 5 arcsine 2", "true"},
        {"nan? min 5.0 arcsine 2", "true"},
        {"nan? min arcsine 2 5", "true"},
    };
    natives_cases::check_values(cases);
}

TEST_F(NativesExtremeTest, Errors) {
    const ErrorCase cases[] = {
        {R"(max 1 "a")", Err::script_invalid_compare},
        {"max none 1", Err::script_expect_arg},
    };
    natives_cases::check_errors(cases);
}

}  // namespace
}  // namespace zel
