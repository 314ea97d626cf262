// The conversion natives, as tables of Zel source -> molded value or error
// id; the base encodings are checked against coreutils.
#include <string>

#include "core/block.h"
#include "datatypes/pair.h"
#include "natives_cases.h"

namespace zel {
namespace {

using natives_cases::Case;
using natives_cases::ErrorCase;
using natives_cases::eval_molded;
using natives_cases::run;
using natives_cases::shell;

using NativesConvertTest = natives_cases::NativesTest;

TEST_F(NativesConvertTest, UrlEscapes) {
    const Case cases[] = {
        {R"(dehex "a%20b")", R"("a b")"},
        {R"(dehex %a%20b)", R"("a b")"},
        {R"(dehex "%E2%82%AC")", R"("€")"},
        {R"(dehex "100%")", R"("100%")"},
        {R"(dehex next "xa%41")", R"("aA")"},
        {R"(enhex "a b/c")", R"("a%20b%2Fc")"},
        {R"(enhex "-._~Az09")", R"("-._~Az09")"},
        {R"(enhex "€")", R"("%E2%82%AC")"},
        {R"(dehex enhex "x=1&y=€ ü")", R"("x=1&y=€ ü")"},
        {R"(dehex "")", R"("")"},
        {R"(enhex "")", R"("")"},
    };
    natives_cases::check_values(cases);
    Cell text = run(R"(enhex %a/b)");
    EXPECT_EQ(cell::type(&text), T_STRING);
}

// The Zel text of the bytes as a string literal (ASCII and UTF-8 only).
struct CodecCase {
    const char* text;  // also the bytes given to coreutils
    const char* tool;  // the coreutils encoder of the base
    int base;
};

TEST_F(NativesConvertTest, EnbaseAgainstCoreutils) {
    const CodecCase cases[] = {
        {"", "base64 -w0", 64},          {"h", "base64 -w0", 64},
        {"he", "base64 -w0", 64},        {"hello", "base64 -w0", 64},
        {"héllo wörld", "base64 -w0", 64},
        {"hello", "basenc --base16 -w0", 16},
        {"€", "basenc --base16 -w0", 16},
        {"hi", "basenc --base2msbf -w0", 2},
        {"", "basenc --base2msbf -w0", 2},
    };
    for (const CodecCase& c : cases) {
        std::string code = std::string("enbase/base \"") + c.text + "\" " + std::to_string(c.base);
        SCOPED_TRACE(code);
        std::string expected = shell(std::string("printf '%s' '") + c.text + "' | " + c.tool);
        EXPECT_EQ(eval_molded(code.c_str()), "\"" + expected + "\"");
        std::string back = "to string! debase/base enbase/base \"" + std::string(c.text) + "\" " +
                           std::to_string(c.base) + " " + std::to_string(c.base);
        EXPECT_EQ(eval_molded(back.c_str()), "\"" + std::string(c.text) + "\"");
    }
}

TEST_F(NativesConvertTest, DebaseAgainstCoreutils) {
    const char* texts[] = {"aGVsbG8=", "aGVsbG8gd29ybGQ=", "YQ==", ""};
    for (const char* t : texts) {
        SCOPED_TRACE(t);
        std::string hex = shell(std::string("printf '%s' '") + t + "' | base64 -d | basenc --base16 -w0");
        EXPECT_EQ(eval_molded((std::string("debase \"") + t + "\"").c_str()), "#{" + hex + "}");
    }
}

TEST_F(NativesConvertTest, Bases) {
    const Case cases[] = {
        {R"(enbase #{00FF10})", R"("AP8Q")"},
        {R"(enbase/base #{00FF10} 16)", R"("00FF10")"},
        {R"(debase/base "00ff10" 16)", "#{00FF10}"},
        {R"(debase "AP8Q")", "#{00FF10}"},
        {R"(debase "AP 8Q ; comment^/")", "#{00FF10}"},
        {R"(debase/base enbase/base "hello" 58 58)", "#{68656C6C6F}"},
        {R"(enbase next #{0102})", R"("Ag==")"},
        {R"(debase "a*")", "none"},
        {R"(debase/base "0g" 16)", "none"},
        {R"(debase "A€")", "none"},
    };
    natives_cases::check_values(cases);
    const ErrorCase errors[] = {
        {R"(enbase/base "a" 10)", Err::script_invalid_arg},
        {R"(debase/base "a" 8)", Err::script_invalid_arg},
        {R"(debase #{00})", Err::script_expect_arg},
    };
    natives_cases::check_errors(errors);
}

TEST_F(NativesConvertTest, Case) {
    const Case cases[] = {
        {R"(uppercase "abc")", R"("ABC")"},
        {R"(lowercase "ABC")", R"("abc")"},
        {R"(uppercase/part "abcd" 2)", R"("ABcd")"},
        {R"(uppercase/part "abcd" 2.9)", R"("ABcd")"},
        {R"(uppercase/part s: "abcd" skip s 3)", R"("ABCd")"},
        {R"(s: "abc" uppercase next s s)", R"("aBC")"},
        {R"(uppercase "éß")", R"("Éß")"},
        {"lowercase #\"A\"", "#\"a\""},
        {R"(uppercase %a.txt)", "%A.TXT"},
    };
    natives_cases::check_values(cases);
}

TEST_F(NativesConvertTest, AsPair) {
    const struct {
        const char* code;
        int32_t x, y;
    } cases[] = {
        {"as-pair 1.9 -2.9", 1, -2},
        {"as-pair 3 4", 3, 4},
        {"as-pair -2147483648.0 2147483647.9", INT32_MIN, INT32_MAX},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        Cell pair = run(c.code);
        EXPECT_EQ(cell::type(&pair), T_PAIR);
        EXPECT_EQ(zel::pair::x_of(&pair), c.x);
        EXPECT_EQ(zel::pair::y_of(&pair), c.y);
    }
    const ErrorCase errors[] = {
        {"as-pair arcsine 2 1", Err::script_invalid_arg},
        {"as-pair 1 log-e 0", Err::script_invalid_arg},
        {"as-pair 1e10 1", Err::script_invalid_arg},
        {"as-pair 1 -2147483649.0", Err::script_invalid_arg},
        {R"(as-pair "1" 1)", Err::script_expect_arg},
    };
    natives_cases::check_errors(errors);
}

TEST_F(NativesConvertTest, As) {
    const Case cases[] = {
        {"as paren! [1 2]", "(1 2)"},
        {"as path! [a b]", "a/b"},
        {R"(as file! "a.txt")", "%a.txt"},
        {R"(as "" %a)", R"("a")"},
        {"as [] pick [(1)] 1", "[1]"},
        {R"(as file! next "abc")", "%bc"},
        {"b: [1 2] p: as paren! b append p 3 b", "[1 2 3]"},
        {R"(s: "ab" append as url! s "c" s)", R"("abc")"},
    };
    natives_cases::check_values(cases);
    const ErrorCase errors[] = {
        {R"(as string! [1])", Err::script_not_same_class},
        {R"(as block! "a")", Err::script_not_same_class},
        {R"(as integer! "a")", Err::script_not_same_class},
        {R"(as binary! "a")", Err::script_not_same_class},
        {R"(as string! #{00})", Err::script_expect_arg},
    };
    natives_cases::check_errors(errors);
}

// The new-line marks of a block's cells from its head, as "1" and "0".
std::string marks(const char* code) {
    Cell b = run(code);
    std::string out;
    for (uint32_t i = 0; i < block::buffer_length(&b); i++)
        out += (block::cell_at(&b, i)->header & HDR_NEW_LINE) ? '1' : '0';
    return out;
}

TEST_F(NativesConvertTest, NewLine) {
    const Case cases[] = {
        {"new-line/skip [1 2 3 4 5 6] true 2", "101010"},
        {"new-line/skip [1 2 3 4 5 6] false 2", "010101"},
        {"new-line/skip [1 2 3 4 5 6 7] true 3", "1001001"},
        {"new-line/all [1 2 3] true", "111"},
        {"new-line/all [1\n2\n3] false", "000"},
        {"head new-line next [1 2 3] true", "010"},
        {"head new-line/all next [1 2 3] true", "011"},
        {"new-line tail [1 2] true", "00"},
        {"new-line [1\n2] false", "01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(marks(c.code), c.expected);
    }
    const Case queries[] = {
        {"new-line? new-line [1 2] true", "true"},
        {"new-line? [1 2]", "false"},
        {"new-line? next [1\n2]", "true"},
        {"new-line? tail [1\n2]", "false"},
        {"b: [1 2] same? b new-line b true", "true"},
    };
    natives_cases::check_values(queries);
    const ErrorCase errors[] = {
        {"new-line/skip [1 2] true 0", Err::script_out_of_range},
        {"new-line/skip [1 2] true -1", Err::script_out_of_range},
        {R"(new-line "a" true)", Err::script_expect_arg},
    };
    natives_cases::check_errors(errors);
}

}  // namespace
}  // namespace zel
