// The numeric and set natives, as tables of Zel source -> molded value or
// error id; the float results are checked bit for bit against python3's math
// module.
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "core/word.h"
#include "interpreter/natives.h"
#include "natives_cases.h"

namespace zel {
namespace {

using natives_cases::Case;
using natives_cases::ErrorCase;
using natives_cases::run;

using NativesMathTest = natives_cases::NativesTest;

TEST_F(NativesMathTest, SignTests) {
    const Case cases[] = {
        {"negative? -1", "true"},     {"negative? 0", "false"},     {"negative? -0.0", "false"},
        {"positive? 0.5", "true"},    {"positive? 0", "false"},     {"positive? -2", "false"},
        {"negative? -1:00", "true"},  {"positive? 0:00", "false"},  {"positive? 0:00:01", "true"},
        {"sign? -5", "-1"},           {"sign? 0.0", "0"},           {"sign? 2:00", "1"},
        {"sign? 7", "1"},             {"negative? arcsine 2", "false"}, {"sign? arcsine 2", "0"},
    };
    natives_cases::check_values(cases);
}

TEST_F(NativesMathTest, ZeroAndNaN) {
    const Case cases[] = {
        {"zero? 0", "true"},          {"zero? 0.0", "true"},        {"zero? -0.0", "true"},
        {"zero? 0:00", "true"},       {"zero? #\"^@\"", "true"},    {"zero? 1", "false"},
        {"zero? #\"a\"", "false"},    {"zero? 0.1", "false"},
        {"NaN? arcsine 2", "true"},   {"NaN? 1", "false"},          {"nan? 1.5", "false"},
        {"NaN? log-e 0", "false"},
    };
    natives_cases::check_values(cases);
}

TEST_F(NativesMathTest, ArgumentTypes) {
    const ErrorCase cases[] = {
        {R"(zero? "a")", Err::script_expect_arg},
        {R"(negative? "a")", Err::script_expect_arg},
        {"sign? none", Err::script_expect_arg},
        {"NaN? 1:00", Err::script_expect_arg},
    };
    natives_cases::check_errors(cases);
}

TEST_F(NativesMathTest, Shift) {
    const Case cases[] = {
        {"shift -8 1", "-4"},
        {"shift/logical -8 1", "2147483644"},
        {"shift -1 40", "-1"},
        {"shift/left 1 32", "0"},
        {"shift 5 1", "2"},
        {"shift 5 40", "0"},
        {"shift 1 -3", "1"},
        {"shift/left 3 1", "6"},
        {"shift/left 1 31", "-2147483648"},
        {"shift/left -1 -1", "-1"},
        {"shift/logical -1 31", "1"},
        {"shift/logical -1 32", "0"},
        {"shift -2147483648 31", "-1"},
    };
    natives_cases::check_values(cases);
}

TEST_F(NativesMathTest, ToHex) {
    const Case cases[] = {
        {"to-hex 255", "#000000FF"},
        {"to-hex/size 255 2", "#FF"},
        {"to-hex/size 255 12", "#000000FF"},
        {"to-hex/size 255 8", "#000000FF"},
        {"to-hex -1", "#FFFFFFFF"},
        {"to-hex/size -2 3", "#FFE"},
        {"to-hex 0", "#00000000"},
        {"to-hex -2147483648", "#80000000"},
    };
    natives_cases::check_values(cases);
    const ErrorCase errors[] = {
        {"to-hex/size 1 0", Err::script_invalid_arg},
        {"to-hex/size 1 -5", Err::script_invalid_arg},
    };
    natives_cases::check_errors(errors);
}

// Called with the check flag, as compiled code calls them, the natives test
// their arguments against their specs.
TEST_F(NativesMathTest, CheckFlagTestsArguments) {
    const struct {
        const char* name;
        uint32_t index;
    } natives_checked[] = {{"shift", 53}, {"sine", 55}, {"log-e", 65}, {"union", 41}, {"zero?", 100}};
    for (const auto& n : natives_checked) {
        SCOPED_TRACE(n.name);
        Cell name = word::intern(n.name);
        interp::prepare_spec(word::get_value(&name));
        stack::enter_native(&name);
        stack::push(&statics::none_cell);
        stack::push(&statics::none_cell);
        int32_t unused[4] = {-1, -1, -1, -1};
        EXPECT_TRUE(test_support::raises(Err::script_expect_arg, [&] { natives::routine(n.index)(true, unused); }));
        stack::reg.call_top = call_top;
        stack::reg.base = stack::reg.bottom;
    }
}

// ---- floats against python3 ---------------------------------------------------------------

struct FloatCase {
    const char* code;
    const char* python;  // an expression of python3 with math imported
};

// The python3 values of the expressions, in order.
std::vector<double> python_values(const std::vector<const char*>& expressions) {
    std::string script = "python3 - <<'EOF'\nimport math\n";
    for (const char* e : expressions) script += std::string("print(repr(float(") + e + ")))\n";
    script += "EOF\n";
    std::istringstream lines(natives_cases::shell(script));
    std::vector<double> values;
    for (std::string line; std::getline(lines, line);) values.push_back(std::strtod(line.c_str(), nullptr));
    return values;
}

void check_floats(const FloatCase* cases, size_t n) {
    std::vector<const char*> expressions;
    for (size_t i = 0; i < n; i++) expressions.push_back(cases[i].python);
    std::vector<double> expected = python_values(expressions);
    ASSERT_EQ(expected.size(), n) << "python3 gave no value for every case";
    for (size_t i = 0; i < n; i++) {
        SCOPED_TRACE(cases[i].code);
        Cell result = run(cases[i].code);
        ASSERT_EQ(cell::type(&result), T_FLOAT);
        double got = cell::get_float(&result);
        if (std::isnan(expected[i])) {
            EXPECT_TRUE(std::isnan(got)) << got;
            continue;
        }
        EXPECT_EQ(std::signbit(got), std::signbit(expected[i]));
        EXPECT_EQ(got, expected[i]);
    }
}

// Degrees are reduced to [-90, 90] (sine: mirrored at 90, tangent: by its
// period of 180) before they are turned into radians as x * pi / 180.
TEST_F(NativesMathTest, Trigonometry) {
    const FloatCase cases[] = {
        {"sine 30", "math.sin(30 * math.pi / 180)"},
        {"sine -45", "math.sin(-45 * math.pi / 180)"},
        {"sine 150", "math.sin(30 * math.pi / 180)"},
        {"sine 180", "0.0"},
        {"sine 270", "-1.0"},
        {"sine 90", "1.0"},
        {"sine 720.5", "math.sin(0.5 * math.pi / 180)"},
        {"cosine 60", "math.cos(60 * math.pi / 180)"},
        {"cosine 120", "math.cos(120 * math.pi / 180)"},
        {"cosine 90", "0.0"},
        {"cosine 180", "math.cos(math.pi)"},
        {"cosine -180", "-1.0"},
        {"tangent 45", "math.tan(45 * math.pi / 180)"},
        {"tangent 135", "math.tan(-45 * math.pi / 180)"},
        {"tangent 90", "float('inf')"},
        {"tangent -90", "float('-inf')"},
        {"tangent 270", "float('-inf')"},
        {"sine/radians 1", "math.sin(1.0)"},
        {"cosine/radians pi", "math.cos(math.pi)"},
        {"tangent/radians 1.0", "math.tan(1.0)"},
        {"tangent/radians pi / 2", "float('inf')"},
        {"arcsine 1", "math.asin(1) * 180.0 / math.pi"},
        {"arcsine 0.5", "math.asin(0.5) * 180.0 / math.pi"},
        {"arcsine 2", "float('nan')"},
        {"arccosine 0.5", "math.acos(0.5) * 180.0 / math.pi"},
        {"arccosine -1.5", "float('nan')"},
        {"arctangent 1", "math.atan(1) * 180.0 / math.pi"},
        {"arctangent -1e300", "math.atan(-1e300) * 180.0 / math.pi"},
        {"arctangent2 1 -1", "math.atan2(1, -1) * 180.0 / math.pi"},
        {"arctangent2 -1 0", "math.atan2(-1, 0) * 180.0 / math.pi"},
        {"arctangent2 0 -1", "180.0"},
        {"arcsine/radians 1", "math.asin(1)"},
        {"arctangent2/radians 1 2", "math.atan2(1, 2)"},
    };
    check_floats(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(NativesMathTest, LogarithmsExpAndRoot) {
    const FloatCase cases[] = {
        {"log-2 8", "3.0"},
        {"log-2 10", "math.log(10) / 0.6931471805599453"},
        {"log-10 1000", "math.log10(1000)"},
        {"log-10 2", "math.log10(2)"},
        {"log-e 10", "math.log(10)"},
        {"log-e 0", "float('-inf')"},
        {"log-e -1", "float('nan')"},
        {"exp 0", "1.0"},
        {"exp 1", "math.pow(2.718281828459045, 1)"},
        {"exp -2.5", "math.pow(2.718281828459045, -2.5)"},
        {"exp 1000", "float('inf')"},
        {"square-root 2", "math.sqrt(2)"},
        {"square-root 0", "0.0"},
        {"square-root -1", "float('nan')"},
    };
    check_floats(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(NativesMathTest, FloatsMold) {
    const Case cases[] = {
        {"sine 180", "0.0"},
        {"tangent 90", "1.#INF"},
        {"arcsine 2", "1.#NaN"},
        {"arcsine 1", "90.0"},
        {"log-2 8", "3.0"},
        {"exp 0", "1.0"},
    };
    natives_cases::check_values(cases);
}

// ---- sets ---------------------------------------------------------------------------------

using NativesSetTest = natives_cases::NativesTest;

TEST_F(NativesSetTest, Blocks) {
    const Case cases[] = {
        {"union [a b c] [c d]", "[a b c d]"},
        {"intersect [a b c] [c b x]", "[b c]"},
        {"unique [a b a c b]", "[a b c]"},
        {"difference [a b c] [c d]", "[a b d]"},
        {"exclude [a b c] [c d]", "[a b]"},
        {"union [1 2] []", "[1 2]"},
        {"union/skip [a 1 b 2] [a 3 c 4] 2", "[a 1 b 2 c 4]"},
        {"unique/skip [a 1 a 1 b 2] 2", "[a 1 b 2]"},
        {R"(union ["a"] ["A"])", R"(["a"])"},
        {R"(union/case ["a"] ["A"])", R"(["a" "A"])"},
    };
    natives_cases::check_values(cases);
}

TEST_F(NativesSetTest, Strings) {
    const Case cases[] = {
        {R"(union "abc" "cde")", R"("abcde")"},
        {R"(intersect "abc" "bcd")", R"("bc")"},
        {R"(unique "aAbB")", R"("ab")"},
        {R"(unique/case "aAbB")", R"("aAbB")"},
        {R"(intersect/case "aAb" "A")", R"("A")"},
        {R"(difference "abc" "bcd")", R"("ad")"},
        {R"(exclude "abc" "b")", R"("ac")"},
    };
    natives_cases::check_values(cases);
}

TEST_F(NativesSetTest, BitsetsAndTypesets) {
    const Case cases[] = {
        {R"(equal? union make bitset! "a" make bitset! "b" make bitset! "ab")", "true"},
        {R"(equal? intersect make bitset! "abc" make bitset! "bcd" make bitset! "bc")", "true"},
        {R"(equal? exclude make bitset! "abc" make bitset! "b" make bitset! "ac")", "true"},
        {R"(equal? difference make bitset! "abc" make bitset! "bcd" make bitset! "ad")", "true"},
        {"union make typeset! [integer!] make typeset! [float!]", "make typeset! [integer! float!]"},
        {"exclude number! make typeset! [integer!]", "make typeset! [float! percent!]"},
        {"intersect number! make typeset! [float! block!]", "make typeset! [float!]"},
        {"difference make typeset! [integer! float!] make typeset! [float! block!]",
         "make typeset! [block! integer!]"},
        {R"(complement? make bitset! "a")", "false"},
        {R"(complement? make bitset! [not "a"])", "true"},
        {R"(complement? complement make bitset! "a")", "true"},
    };
    natives_cases::check_values(cases);
}

TEST_F(NativesSetTest, Errors) {
    const ErrorCase cases[] = {
        {R"(union [a b] "ab")", Err::script_expect_val},
        {R"(intersect "a" make bitset! "a")", Err::script_expect_val},
        {"exclude make typeset! [] []", Err::script_expect_val},
        {"union 1 2", Err::script_expect_arg},
        {R"(unique make bitset! "a")", Err::script_expect_arg},
        {"complement? 1", Err::script_expect_arg},
    };
    natives_cases::check_errors(cases);
}

}  // namespace
}  // namespace zel
