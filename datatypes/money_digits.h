// Decimal magnitudes of money!: 22 digits, one a byte, the most significant
// first; digits 1-17 hold the integer part and 18-22 five decimals. The
// operations work digit by digit, so amounts such as 0.1 stay exact; each
// answers false when the result does not fit 22 digits and then leaves the
// output unspecified.
#pragma once
#include <cstdint>

namespace zel {
namespace money {

constexpr int32_t DIGITS = 22;
constexpr int32_t INTEGER_DIGITS = 17;
constexpr int32_t DECIMALS = 5;

struct Digits {
    uint8_t d[DIGITS];
};

bool is_zero(const Digits& a);
// 22 less the leading zero digits, at least 1.
int32_t significant_digits(const Digits& a);
// -1, 0 or 1.
int32_t compare_magnitudes(const Digits& a, const Digits& b);

bool add_magnitudes(const Digits& a, const Digits& b, Digits* out);
// a - b, with a not below b.
void subtract_magnitudes(const Digits& a, const Digits& b, Digits* out);
// The product with its extra decimals dropped (toward zero).
bool multiply_magnitudes(const Digits& a, const Digits& b, Digits* out);
// The quotient with five decimals, truncated toward zero; b not zero.
bool divide_magnitudes(const Digits& a, const Digits& b, Digits* out);
// a - trunc(a / b) * b; b not zero.
void remainder_magnitudes(const Digits& a, const Digits& b, Digits* out);

}  // namespace money
}  // namespace zel
