// money!: the digit arithmetic against python3's decimal module, the cell
// layout, the currency list, the splitting of money texts and the
// conversions between money, integers and floats.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "datatypes/money.h"
#include "io/number_scan.h"
#include "number_calls.h"
#include "test_support.h"

namespace zel {
namespace {

using namespace number_calls;

money::Digits digits_from(const char* text) {
    money::Digits d{};
    for (int32_t i = 0; i < money::DIGITS; i++) d.d[i] = uint8_t(text[i] - '0');
    return d;
}

std::string text_of_digits(const money::Digits& d) {
    std::string s;
    for (uint8_t digit : d.d) s += char('0' + digit);
    return s;
}

// A money! read from text as `to money!` reads it.
Cell money_of(const char* text) {
    Cell c{};
    int32_t error;
    lexer::scan_money(reinterpret_cast<const uint8_t*>(text), 0, uint32_t(std::strlen(text)), 1, &c, &error);
    EXPECT_EQ(error, 0) << text;
    return c;
}

std::string mold_all(const Cell& c) {
    char text[money::TEXT_SIZE];
    uint32_t n = money::write_text(&c, false, money::DECIMALS, text);
    return std::string(text, n);
}

// Magnitudes as 22 digits, the last five decimals; nullptr for overflow.
// Expected values: python3 decimal (quantize ROUND_DOWN to 0.00001; % for the
// remainder), generated once and pasted.
TEST(MoneyTest, DigitArithmeticMatchesDecimal) {
    struct Case {
        const char *a, *b, *product, *quotient, *remainder;
    };
    const Case cases[] = {
        {"9999999999999999999999", "0000000000000000000001", "0000099999999999999999", nullptr, "0000000000000000000000"},
        {"9999999999999999999999", "1234567890123456789012", nullptr, "0000000000000000810000", "0123456879012345687903"},
        {"9999999999999999999999", "0000000000000100000000", nullptr, "0009999999999999999999", "0000000000000099999999"},
        {"9999999999999999999999", "0000314159265358979323", nullptr, "0000000000003183098861", "0000310583623688148909"},
        {"9999999999999999999999", "0000000000000000050000", "4999999999999999999999", nullptr, "0000000000000000049999"},
        {"9999999999999999999999", "5000000000000000000000", nullptr, "0000000000000000199999", "4999999999999999999999"},
        {"0000000000000000000001", "0000000000000000000001", "0000000000000000000000", "0000000000000000100000", "0000000000000000000000"},
        {"0000000000000000000001", "1234567890123456789012", "0000012345678901234567", "0000000000000000000000", "0000000000000000000001"},
        {"0000000000000000000001", "0000000000000100000000", "0000000000000000001000", "0000000000000000000000", "0000000000000000000001"},
        {"0000000000000000000001", "0000314159265358979323", "0000000003141592653589", "0000000000000000000000", "0000000000000000000001"},
        {"0000000000000000000001", "0000000000000000050000", "0000000000000000000000", "0000000000000000000002", "0000000000000000000001"},
        {"0000000000000000000001", "5000000000000000000000", "0000050000000000000000", "0000000000000000000000", "0000000000000000000001"},
        {"1234567890123456789012", "0000000000000000000001", "0000012345678901234567", nullptr, "0000000000000000000000"},
        {"1234567890123456789012", "1234567890123456789012", nullptr, "0000000000000000100000", "0000000000000000000000"},
        {"1234567890123456789012", "0000000000000100000000", nullptr, "0001234567890123456789", "0000000000000056789012"},
        {"1234567890123456789012", "0000314159265358979323", nullptr, "0000000000000392975164", "0000236136528027028945"},
        {"1234567890123456789012", "0000000000000000050000", "0617283945061728394506", "2469135780246913578024", "0000000000000000039012"},
        {"1234567890123456789012", "5000000000000000000000", nullptr, "0000000000000000024691", "1234567890123456789012"},
        {"0000000000000100000000", "0000000000000000000001", "0000000000000000001000", "0000000010000000000000", "0000000000000000000000"},
        {"0000000000000100000000", "1234567890123456789012", nullptr, "0000000000000000000000", "0000000000000100000000"},
        {"0000000000000100000000", "0000000000000100000000", "0000000000100000000000", "0000000000000000100000", "0000000000000000000000"},
        {"0000000000000100000000", "0000314159265358979323", "0314159265358979323000", "0000000000000000000000", "0000000000000100000000"},
        {"0000000000000100000000", "0000000000000000050000", "0000000000000050000000", "0000000000000200000000", "0000000000000000000000"},
        {"0000000000000100000000", "5000000000000000000000", nullptr, "0000000000000000000000", "0000000000000100000000"},
        {"0000314159265358979323", "0000000000000000000001", "0000000003141592653589", nullptr, "0000000000000000000000"},
        {"0000314159265358979323", "1234567890123456789012", nullptr, "0000000000000000000025", "0000314159265358979323"},
        {"0000314159265358979323", "0000000000000100000000", "0314159265358979323000", "0000000314159265358979", "0000000000000058979323"},
        {"0000314159265358979323", "0000314159265358979323", nullptr, "0000000000000000100000", "0000000000000000000000"},
        {"0000314159265358979323", "0000000000000000050000", "0000157079632679489661", "0000628318530717958646", "0000000000000000029323"},
        {"0000314159265358979323", "5000000000000000000000", nullptr, "0000000000000000000006", "0000314159265358979323"},
        {"0000000000000000050000", "0000000000000000000001", "0000000000000000000000", "0000000000005000000000", "0000000000000000000000"},
        {"0000000000000000050000", "1234567890123456789012", "0617283945061728394506", "0000000000000000000000", "0000000000000000050000"},
        {"0000000000000000050000", "0000000000000100000000", "0000000000000050000000", "0000000000000000000050", "0000000000000000050000"},
        {"0000000000000000050000", "0000314159265358979323", "0000157079632679489661", "0000000000000000000000", "0000000000000000050000"},
        {"0000000000000000050000", "0000000000000000050000", "0000000000000000025000", "0000000000000000100000", "0000000000000000000000"},
        {"0000000000000000050000", "5000000000000000000000", "2500000000000000000000", "0000000000000000000000", "0000000000000000050000"},
        {"5000000000000000000000", "0000000000000000000001", "0000050000000000000000", nullptr, "0000000000000000000000"},
        {"5000000000000000000000", "1234567890123456789012", nullptr, "0000000000000000405000", "0061728439506172843952"},
        {"5000000000000000000000", "0000000000000100000000", nullptr, "0005000000000000000000", "0000000000000000000000"},
        {"5000000000000000000000", "0000314159265358979323", nullptr, "0000000000001591549430", "0000155291811844074455"},
        {"5000000000000000000000", "0000000000000000050000", "2500000000000000000000", nullptr, "0000000000000000000000"},
        {"5000000000000000000000", "5000000000000000000000", nullptr, "0000000000000000100000", "0000000000000000000000"},

    };
    for (const Case& c : cases) {
        money::Digits a = digits_from(c.a), b = digits_from(c.b), out;
        bool fits = money::multiply_magnitudes(a, b, &out);
        EXPECT_EQ(fits, c.product != nullptr) << c.a << " * " << c.b;
        if (fits && c.product) {
            EXPECT_EQ(text_of_digits(out), c.product) << c.a << " * " << c.b;
        }
        fits = money::divide_magnitudes(a, b, &out);
        EXPECT_EQ(fits, c.quotient != nullptr) << c.a << " / " << c.b;
        if (fits && c.quotient) {
            EXPECT_EQ(text_of_digits(out), c.quotient) << c.a << " / " << c.b;
        }
        money::remainder_magnitudes(a, b, &out);
        EXPECT_EQ(text_of_digits(out), c.remainder) << c.a << " % " << c.b;
    }
}

TEST(MoneyTest, AddAndSubtractCarryAndBorrow) {
    money::Digits out;
    ASSERT_TRUE(money::add_magnitudes(digits_from("0999999999999999999999"), digits_from("0000000000000000000001"),
                                      &out));
    EXPECT_EQ(text_of_digits(out), "1000000000000000000000");
    EXPECT_FALSE(money::add_magnitudes(digits_from("9000000000000000000000"), digits_from("1000000000000000000000"),
                                       &out));
    EXPECT_FALSE(money::add_magnitudes(digits_from("9999999999999999999999"), digits_from("0000000000000000000001"),
                                       &out));
    money::subtract_magnitudes(digits_from("1000000000000000000000"), digits_from("0000000000000000000001"), &out);
    EXPECT_EQ(text_of_digits(out), "0999999999999999999999");
    EXPECT_EQ(money::significant_digits(digits_from("0000000000000000000000")), 1);
    EXPECT_EQ(money::significant_digits(digits_from("0000000000000000000120")), 3);
    EXPECT_EQ(money::compare_magnitudes(digits_from("0000000000000000000120"), digits_from("0000000000000000000121")), -1);
}

// The payload: byte 0 the currency, bytes 1-11 the digits two a byte, high
// nibble first; the sign in header bit 14.
TEST(MoneyTest, CellLayout) {
    const uint8_t packed[11] = {0, 0, 0, 0, 0, 0, 0, 0x01, 0x23, 0x45, 0};
    Cell c;
    money::init_cell(&c, true, 155, packed);
    EXPECT_EQ(c.header, uint32_t(T_MONEY) | 0x4000u);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&c)[4], 155);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&c)[12], 0x01);
    EXPECT_EQ(text_of_digits(money::digits_of(&c)), "0000000000000001234500");
    EXPECT_EQ(mold_all(c), "-USD$12.34500");
    EXPECT_EQ(money::sign_of(&c), -1);
    Cell same = money_of("-USD$12.345");
    EXPECT_EQ(std::memcmp(&same, &c, sizeof c), 0);
    // A zero amount is never negative, whatever its sign bit says.
    const uint8_t zero[11] = {};
    money::init_cell(&c, true, 0, zero);
    EXPECT_EQ(money::sign_of(&c), 0);
    EXPECT_EQ(mold_all(c), "$0.00000");
}

// Positions in the list (python3: codes.index(code) + 1).
TEST(MoneyTest, CurrencyIndex) {
    struct Case {
        const char* code;
        int32_t index;
    };
    const Case cases[] = {{"AED", 1}, {"EUR", 47}, {"usd", 155}, {"Zel", 123}, {"ZMW", 170},
                          {"XYZ", -1}, {"US", -1}, {"USDX", -1}};
    for (const Case& c : cases)
        EXPECT_EQ(money::currency_index(c.code, uint32_t(std::strlen(c.code))), c.index) << c.code;
    EXPECT_STREQ(std::string(money::currency_code(47), 3).c_str(), "EUR");
}

TEST(MoneyTest, SplitMoneyText) {
    struct Case {
        const char* text;
        bool lexer_form;
        bool ok;
        const char* integer;  // significant digits
        const char* fraction;
        bool negative;
    };
    const Case cases[] = {
        {"$1.50", true, true, "1", "50", false},
        {"-USD$1'000.5", true, true, "1000", "5", true},
        {"+eur$0,25", true, true, "", "25", false},
        {"$0,25", false, false, "", "", false},
        {"1.5", false, true, "1", "5", false},
        {"1.5", true, false, "", "", false},
        {"$007", true, true, "7", "", false},
        {"$1.1234567", false, true, "1", "12345", false},
        {"US$1", false, false, "", "", false},
        {"USD1", false, false, "", "", false},
        {"$1.", false, false, "", "", false},
        {"$.5", false, false, "", "", false},
        {"$'1", false, false, "", "", false},
        {"$1'", false, false, "", "", false},
        {"$1''0", false, false, "", "", false},
        {"$1.5'0", false, false, "", "", false},
        {"$1.2.3", false, false, "", "", false},
        {"$", false, false, "", "", false},
        {"", false, false, "", "", false},
    };
    for (const Case& c : cases) {
        lexer::MoneyText m;
        bool ok = lexer::split_money(reinterpret_cast<const uint8_t*>(c.text), 0, uint32_t(std::strlen(c.text)), 1,
                                     c.lexer_form, &m);
        ASSERT_EQ(ok, c.ok) << c.text;
        if (!ok) continue;
        EXPECT_EQ(std::string(m.integer, m.integer_count), c.integer) << c.text;
        EXPECT_EQ(std::string(m.fraction, std::min(m.fraction_count, 5u)), c.fraction) << c.text;
        EXPECT_EQ(m.negative, c.negative) << c.text;
    }
}

// Texts of 2- and 4-byte units scan as their 1-byte spelling does.
TEST(MoneyTest, ScanMoneyAnyUnit) {
    const char* text = "-EUR$1'234.5";
    uint32_t n = uint32_t(std::strlen(text));
    uint16_t wide[16];
    uint32_t wider[16];
    for (uint32_t i = 0; i < n; i++) wide[i] = wider[i] = uint8_t(text[i]);
    Cell c2{}, c4{};
    int32_t error2, error4;
    lexer::scan_money(reinterpret_cast<const uint8_t*>(wide), 0, n, 2, &c2, &error2);
    lexer::scan_money(reinterpret_cast<const uint8_t*>(wider), 0, n, 4, &c4, &error4);
    ASSERT_EQ(error2, 0);
    ASSERT_EQ(error4, 0);
    EXPECT_EQ(mold_all(c2), "-EUR$1234.50000");
    EXPECT_EQ(std::memcmp(&c2, &c4, sizeof c2), 0);
    Cell bad{};
    int32_t error;
    lexer::scan_money(reinterpret_cast<const uint8_t*>("$123456789012345678"), 0, 19, 1, &bad, &error);
    EXPECT_EQ(error, -1);
}

// python3: repr(float(Decimal(text))), and Decimal(repr(x)) for the floats.
TEST(MoneyTest, FloatConversions) {
    struct Case {
        const char* money;
        double d;
    };
    const Case cases[] = {
        {"$0.1", 0.1},
        {"-$1234.5", -1234.5},
        {"$2.675", 2.675},
        {"$0.00001", 1e-05},
        {"$99999999999999984", 9.999999999999998e+16},
        {"$12345678901.23456", 12345678901.23456},
        {"$0", 0.0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(money::as_float(&static_cast<const Cell&>(money_of(c.money))), c.d) << c.money;
        Cell m;
        money::of_float(&m, c.d, true);
        EXPECT_EQ(money::as_float(&m), c.d) << c.money;
    }
    EXPECT_TRUE(money::is_float_too_large(1e17));
    EXPECT_TRUE(money::is_float_too_large(NAN));
    EXPECT_TRUE(money::is_float_too_large(-INFINITY));
    EXPECT_FALSE(money::is_float_too_large(9.999999999999998e+16));
    EXPECT_TRUE(money::is_float_too_small(-9.9e-06));
    EXPECT_FALSE(money::is_float_too_small(0.0));
    EXPECT_FALSE(money::is_float_too_small(1e-05));
}

TEST(MoneyTest, IntegerConversions) {
    for (int32_t v : {0, 1, -1, 2147483647, INT32_MIN, 1000000}) {
        Cell m;
        money::of_integer(&m, v);
        EXPECT_EQ(money::as_integer(&m), v);
        EXPECT_EQ(mold_all(m), (v < 0 ? "-$" + std::to_string(-int64_t(v)) : "$" + std::to_string(v)) + ".00000");
    }
    Cell big = money_of("$2147483648");
    EXPECT_TRUE(test_support::raises(Err::script_type_limit, [&] { money::as_integer(&big); }));
}

}  // namespace
}  // namespace zel
