// Float text: the layouts of format_double, the form texts of each kind with
// the pretty rules, reading with saturation and the special spellings, and a
// random sweep against python3's float repr, printf and float().
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "kernel/floattext.h"

using namespace zel;

namespace {

const double INF = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();

uint64_t bits_of(double v) {
    uint64_t b;
    std::memcpy(&b, &v, 8);
    return b;
}

std::string format(double v, int32_t precision, bool keep) {
    char out[float_::TEXT_SIZE];
    size_t n = float_::format_double(v, precision, keep, out);
    EXPECT_EQ(n, std::strlen(out));
    return out;
}

std::string form(double v, int32_t kind) {
    char out[float_::TEXT_SIZE];
    size_t n = float_::form_into(v, kind, out);
    EXPECT_EQ(n, std::strlen(out));
    return out;
}

double read(const std::string& text, int32_t shift = 0, int32_t* unconsumed = nullptr) {
    int32_t left = -1;
    double v = float_::from_text(text.data(), text.data() + text.size(), shift, &left);
    if (unconsumed) *unconsumed = left;
    return v;
}

// Sets the pretty flag for one test and puts it back.
struct PrettyFlag {
    bool saved = float_::pretty;
    explicit PrettyFlag(bool on) { float_::pretty = on; }
    ~PrettyFlag() { float_::pretty = saved; }
};

// Digits as laid out by python3 repr ("%r") and "%.*e".
struct FormatCase {
    double value;
    int32_t precision;
    bool keep;
    const char* text;
};

TEST(FloatText, FormatDoubleLayouts) {
    const FormatCase cases[] = {
        {0.1, 0, true, "0.1"},
        {0.1 + 0.2, 0, true, "0.30000000000000004"},
        {1e17, 0, true, "1.0e17"},
        {1e16, 0, true, "10000000000000000.0"},
        {1e16, 0, false, "10000000000000000"},
        {12345678901234567.0, 0, true, "12345678901234568.0"},
        {123456789012345678.0, 0, true, "1.2345678901234568e17"},
        {1e-7, 0, true, "0.0000001"},
        {1.234e-7, 0, true, "0.0000001234"},
        {1.5e-8, 0, true, "1.5e-8"},
        {-2.5e-5, 0, true, "-0.000025"},
        {6.666666666666667e-06, 0, true, "0.000006666666666666667"},
        {-0.0, 0, true, "-0.0"},
        {0.0, 0, true, "0.0"},
        {-0.0, 0, false, "-0"},
        {0.0, 0, false, "0"},
        {100.0, 0, true, "100.0"},
        {100.0, 0, false, "100"},
        {1e20, 0, true, "1.0e20"},
        {1e20, 0, false, "1e20"},
        {123.45, 0, true, "123.45"},
        {0.001234, 0, true, "0.001234"},
        {5e-324, 0, true, "5.0e-324"},
        {2.2250738585072011e-308, 0, true, "2.225073858507201e-308"},
        {9007199254740993.0, 0, true, "9007199254740992.0"},
        {1.7976931348623157e308, 0, true, "1.7976931348623157e308"},
        {-1e-300, 0, true, "-1.0e-300"},
        // Precision n: python3 "%.(n-1)e", trailing zeros dropped.
        {1.0 / 3, 6, false, "0.333333"},
        {1.25, 6, false, "1.25"},
        {123456.7, 6, false, "123457"},
        {1234567.0, 6, false, "1234570"},
        {1234567.0, 6, true, "1234570.0"},
        {9.9999999, 6, false, "10"},
        {2.5, 1, false, "2"},
        {0.25, 1, false, "0.2"},
        {0.15, 1, false, "0.1"},
        {1e23, 3, true, "1.0e23"},
        {0.1, 20, false, "0.10000000000000000555"},
        {5e-324, 30, false, "4.94065645841246544176568792868e-324"},
        {5e-324, 99, false, "4.94065645841246544176568792868e-324"},
    };
    for (const FormatCase& c : cases)
        EXPECT_EQ(format(c.value, c.precision, c.keep), c.text)
            << c.value << " precision " << c.precision << " keep " << c.keep;
}

TEST(FloatText, SpecialValuesHaveTheirSpellings) {
    for (bool keep : {false, true}) {
        EXPECT_EQ(format(INF, 0, keep), "1.#INF");
        EXPECT_EQ(format(-INF, 0, keep), "-1.#INF");
        EXPECT_EQ(format(NaN, 0, keep), "1.#NaN");
        EXPECT_EQ(format(-NaN, 5, keep), "1.#NaN");
    }
    for (bool on : {false, true}) {
        PrettyFlag flag(on);
        for (int32_t kind = 0; kind <= 6; kind++) {
            EXPECT_EQ(form(INF, kind), "1.#INF");
            EXPECT_EQ(form(-INF, kind), "-1.#INF");
            EXPECT_EQ(form(-NaN, kind), "1.#NaN");
        }
    }
}

struct FormCase {
    double value;
    int32_t kind;
    bool pretty;
    const char* text;
};

// Expected texts: python3 "%.16g", "%.14g", "%.13g", "%.7g", "%.5g" of the
// value, exponent cleaned and ".0" or "%" added.
TEST(FloatText, FormIntoByKindAndPrettyFlag) {
    const FormCase cases[] = {
        {1.0, 1, true, "1.0"},
        {1e20, 1, true, "1.0e20"},
        {1e100, 1, true, "1.0e100"},
        {1e-5, 1, true, "1.0e-5"},
        {-2.5e-5, 1, true, "-2.5e-5"},
        {123456789012345678.0, 1, true, "1.234567890123457e17"},
        {9007199254740993.0, 1, true, "9007199254740992.0"},
        {1.7976931348623157e308, 1, true, "1.797693134862316e308"},
        {0.7 + 0.1, 1, true, "0.8"},
        {0.7 + 0.1, 1, false, "0.7999999999999999"},
        {-(0.7 + 0.1), 1, true, "-0.8"},
        {7.999999999999999e-08, 1, true, "8.0e-8"},
        {7.999999999999999e-08, 1, false, "7.999999999999999e-8"},
        {12.34567890123401, 1, true, "12.345678901234"},
        {0.1234567890123401, 1, true, "0.12345678901234"},
        {0.123456789012301, 1, true, "0.123456789012301"},  // 17 chars from "0.": kept
        {1e-20, 1, true, "0.0"},
        {1e-20, 1, false, "9.999999999999999e-21"},
        {-0.0, 1, true, "0.0"},
        {-0.0, 1, false, "-0.0"},
        {2.220446049250313e-16, 1, true, "2.220446049250313e-16"},
        {2.2204460492503128e-16, 1, true, "0.0"},
        {0.1, 0, true, "0.1"},
        {3.0, 0, true, "3.0"},
        {1.0 / 3, 0, true, "0.3333333"},
        {50.0, 3, true, "50%"},
        {100.0 / 3, 3, true, "33.33333333333%"},
        {1e-20, 3, true, "0%"},
        {-0.0, 3, false, "-0%"},
        {12.5, 2, true, "12.5%"},
        {1e-20, 2, true, "0%"},
        {3.0, 5, true, "3"},
        {1.0 / 3, 5, true, "0.3333333"},
        {1e-20, 5, true, "0"},
        {1e20, 5, true, "1e20"},
        {1.25, 4, true, "1.25"},
        {1.0 / 3, 4, true, "0.333333"},
        {1e-20, 4, true, "0.0"},
        {1e-20, 4, false, "1e-20"},
        {1e20, 99, true, "1.0e20"},
        {1.0, -1, true, "1.0"},
    };
    for (const FormCase& c : cases) {
        PrettyFlag flag(c.pretty);
        EXPECT_EQ(form(c.value, c.kind), c.text) << c.value << " kind " << c.kind << " pretty " << c.pretty;
    }
}

struct ReadCase {
    const char* text;
    int32_t shift;
    double value;
    int32_t unconsumed;
};

// Values from python3 float() of the text (without the unread tail).
TEST(FloatText, FromTextReadsAndSaturates) {
    const std::string long_above_half = "9007199254740993" + std::string(800, '0') + "1e-801";
    const std::string long_exact_half = "9007199254740993" + std::string(800, '0') + "e-800";
    const ReadCase cases[] = {
        {"0.1", 0, 0.1, 0},
        {"+5", 0, 5.0, 0},
        {".5", 0, 0.5, 0},
        {"5.", 0, 5.0, 0},
        {"000123.4500", 0, 123.45, 0},
        {"0.0000000000000000000000000001234", 0, 0x1.38db2dd5c166ep-93, 0},
        {"1E3", 0, 1000.0, 0},
        {"1e+3", 0, 1000.0, 0},
        {"25e-1", 0, 2.5, 0},
        {"12.5", -2, 0.125, 0},
        {"1.5x", 0, 1.5, 1},
        {"1e", 0, 1.0, 1},
        {"1e+", 0, 1.0, 2},
        {"1ex", 0, 1.0, 2},
        {"1e5z", 0, 1e5, 1},
        {"1.#", 0, 1.0, 1},
        {"1.#Q", 0, 1.0, 2},
        {"9007199254740993", 0, 9007199254740992.0, 0},
        {"2.4703282292062328e-324", 0, 5e-324, 0},
        {"2.4703282292062327e-324", 0, 0.0, 0},
        {"2.2250738585072011e-308", 0, 2.2250738585072011e-308, 0},
        {"1.7976931348623157e308", 0, 1.7976931348623157e308, 0},
        {"1.7976931348623159e308", 0, INF, 0},
        {"1e400", 0, INF, 0},
        {"-1e400", 0, -INF, 0},
        {"1e-400", 0, 0.0, 0},
        {"1e99999999999999999999999999", 0, INF, 0},
        {"1e-99999999999999999999999999", 0, 0.0, 0},
        {"0e99999999999999999999999999", 0, 0.0, 0},
        {"1e2147483647", 2147483647, INF, 0},
        {"1e-2147483648", -2147483647 - 1, 0.0, 0},
        {long_above_half.c_str(), 0, 9007199254740994.0, 0},
        {long_exact_half.c_str(), 0, 9007199254740992.0, 0},
        {"1.#INF", 0, INF, 0},
        {"1.#inf", 0, INF, 0},
        {"-1.#INF", 0, -INF, 0},
        {"+1.#INF", 0, INF, 0},
    };
    for (const ReadCase& c : cases) {
        int32_t unconsumed = -1;
        double v = read(c.text, c.shift, &unconsumed);
        EXPECT_EQ(bits_of(v), bits_of(c.value)) << c.text << " read as " << v;
        EXPECT_EQ(unconsumed, c.unconsumed) << c.text;
    }
}

TEST(FloatText, FromTextZerosNaNAndEmptyInput) {
    int32_t unconsumed = -1;
    EXPECT_EQ(bits_of(read("-0.0", 0, &unconsumed)), bits_of(-0.0));
    EXPECT_EQ(bits_of(read("-000", 0, &unconsumed)), bits_of(-0.0));
    EXPECT_EQ(bits_of(read("0.000", 0, &unconsumed)), bits_of(0.0));
    for (const char* text : {"1.#NaN", "-1.#NaN", "1.#nan"}) {
        EXPECT_EQ(bits_of(read(text, 0, &unconsumed)), 0x7FF8000000000000u) << text;
        EXPECT_EQ(unconsumed, 0);
    }
    // No digit at all: nothing is read.
    for (const char* text : {"", "-", ".", "abc", "-.e5", "e5"}) {
        EXPECT_EQ(bits_of(read(text, 0, &unconsumed)), bits_of(0.0)) << text;
        EXPECT_EQ(unconsumed, int32_t(std::strlen(text))) << text;
    }
}

// Every text the writers give reads back to the same double.
TEST(FloatText, WrittenTextsReadBack) {
    for (double v : {0.1, 0.1 + 0.2, 1e17, 1e16, 1e-7, 1.5e-8, -0.0, 5e-324, 2.2250738585072011e-308,
                     1.7976931348623157e308, -123.456, 1e-300, 6.02214076e23}) {
        for (bool keep : {false, true}) {
            std::string text = format(v, 0, keep);
            int32_t unconsumed = -1;
            EXPECT_EQ(bits_of(read(text, 0, &unconsumed)), bits_of(v)) << text;
            EXPECT_EQ(unconsumed, 0);
        }
    }
    for (double v : {INF, -INF}) EXPECT_EQ(bits_of(read(format(v, 0, true))), bits_of(v));
    EXPECT_TRUE(std::isnan(read(format(NaN, 0, true))));
}

// The significant digits and the decimal exponent of a number text, so texts
// of different layouts compare: "-0.0012e1" and "-1.2e-2" give "-12e-3".
std::string canonical(const std::string& text) {
    std::string digits;
    long point = 0, exponent = 0;
    bool seen_point = false;
    size_t i = 0;
    std::string sign = text[0] == '-' ? "-" : "";
    i += sign.size();
    for (; i < text.size() && text[i] != 'e'; i++) {
        if (text[i] == '.') seen_point = true;
        else if (isdigit(static_cast<unsigned char>(text[i]))) {
            if (digits.empty() && text[i] == '0') {
                if (seen_point) point--;
                continue;
            }
            digits += text[i];
            if (!seen_point) point++;
        }
    }
    if (i < text.size()) exponent = std::stol(text.substr(i + 1));
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    if (digits.empty()) return sign + "0";
    return sign + digits + "e" + std::to_string(point + exponent - long(digits.size()));
}

// python3 prints random doubles (by bit pattern) with repr and printf forms,
// and random decimal texts with the bits of float() of them.
const char* ORACLE_SCRIPT =
    "python3 -c \""
    "import random, struct\n"
    "random.seed(1234)\n"
    "for i in range(3000):\n"
    "  x = struct.unpack('<d', struct.pack('<Q', random.getrandbits(64)))[0]\n"
    "  if x != x or abs(x) == float('inf'): continue\n"
    "  print('D', struct.pack('<d', x).hex(), repr(x), '%.6e' % x, '%.16g' % x, '%.13g' % x, '%.7g' % x)\n"
    "for i in range(3000):\n"
    "  t = str(random.randint(0, 10**random.randint(1, 40))) + '.' + str(random.randint(0, 10**random.randint(0, 30)))"
    " + 'e' + str(random.randint(-340, 320))\n"
    "  print('T', t, struct.pack('<d', float(t)).hex())\n"
    "\"";

double from_hex_le(const std::string& hex) {
    unsigned char bytes[8];
    for (int i = 0; i < 8; i++) bytes[i] = static_cast<unsigned char>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    double v;
    std::memcpy(&v, bytes, 8);
    return v;
}

TEST(FloatText, RandomSweepAgainstPython) {
    FILE* pipe = popen(ORACLE_SCRIPT, "r");
    ASSERT_NE(pipe, nullptr);
    PrettyFlag flag(false);
    char line[512];
    int doubles = 0, texts = 0;
    while (std::fgets(line, sizeof line, pipe)) {
        char tag, a[128], b[128], c[128], d[128], e[128], f[128];
        if (std::sscanf(line, "%c %127s %127s %127s %127s %127s %127s", &tag, a, b, c, d, e, f) == 7 && tag == 'D') {
            double v = from_hex_le(a);
            EXPECT_EQ(canonical(format(v, 0, true)), canonical(b)) << b;
            EXPECT_EQ(canonical(format(v, 7, false)), canonical(c)) << c;
            EXPECT_EQ(canonical(form(v, float_::KIND_FLOAT)), canonical(d)) << d;
            EXPECT_EQ(canonical(form(v, float_::KIND_PERCENT)), canonical(e)) << e;
            EXPECT_EQ(canonical(form(v, float_::KIND_POINT)), canonical(f)) << f;
            EXPECT_EQ(bits_of(read(b)), bits_of(v)) << b;
            EXPECT_EQ(bits_of(read(format(v, 0, false))), bits_of(v)) << b;
            doubles++;
        } else if (std::sscanf(line, "%c %127s %127s", &tag, a, b) == 3 && tag == 'T') {
            int32_t unconsumed = -1;
            EXPECT_EQ(bits_of(read(a, 0, &unconsumed)), bits_of(from_hex_le(b))) << a;
            EXPECT_EQ(unconsumed, 0);
            texts++;
        }
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_GT(doubles, 2000);
    EXPECT_EQ(texts, 3000);
}

}  // namespace
