// Digit-by-digit arithmetic on the magnitudes of money!.
#include "datatypes/money_digits.h"

#include <cstring>

namespace zel {
namespace money {

bool is_zero(const Digits& a) {
    for (uint8_t d : a.d)
        if (d) return false;
    return true;
}

int32_t significant_digits(const Digits& a) {
    int32_t lead = 0;
    while (lead < DIGITS - 1 && a.d[lead] == 0) lead++;
    return DIGITS - lead;
}

// Compares two runs of n digits, most significant first.
static int32_t compare_run(const uint8_t* a, const uint8_t* b, int32_t n) {
    for (int32_t i = 0; i < n; i++)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

int32_t compare_magnitudes(const Digits& a, const Digits& b) { return compare_run(a.d, b.d, DIGITS); }

bool add_magnitudes(const Digits& a, const Digits& b, Digits* out) {
    uint8_t carry = 0;
    for (int32_t i = DIGITS - 1; i >= 0; i--) {
        uint8_t s = uint8_t(a.d[i] + b.d[i] + carry);
        carry = s >= 10;
        out->d[i] = uint8_t(carry ? s - 10 : s);
    }
    return carry == 0;
}

// r -= b over runs of n digits, r not below b.
static void subtract_run(uint8_t* r, const uint8_t* b, int32_t n) {
    uint8_t borrow = 0;
    for (int32_t i = n - 1; i >= 0; i--) {
        int32_t s = int32_t(r[i]) - b[i] - borrow;
        borrow = s < 0;
        r[i] = uint8_t(borrow ? s + 10 : s);
    }
}

void subtract_magnitudes(const Digits& a, const Digits& b, Digits* out) {
    if (out != &a) *out = a;
    subtract_run(out->d, b.d, DIGITS);
}

bool multiply_magnitudes(const Digits& a, const Digits& b, Digits* out) {
    // The whole product, then the five extra decimals dropped.
    constexpr int32_t WIDE = 2 * DIGITS;
    uint32_t acc[WIDE] = {};
    for (int32_t i = 0; i < DIGITS; i++)
        for (int32_t j = 0; j < DIGITS; j++) acc[i + j + 1] += uint32_t(a.d[i]) * b.d[j];
    for (int32_t k = WIDE - 1; k > 0; k--) {
        acc[k - 1] += acc[k] / 10;
        acc[k] %= 10;
    }
    constexpr int32_t KEEP_END = WIDE - DECIMALS;  // one past the last digit kept
    for (int32_t k = 0; k < KEEP_END - DIGITS; k++)
        if (acc[k]) return false;
    for (int32_t i = 0; i < DIGITS; i++) out->d[i] = uint8_t(acc[KEEP_END - DIGITS + i]);
    return true;
}

// Long division of the digits of a, followed by `shift` zeros, by b: each
// quotient digit by repeated subtraction. The running remainder stays below
// b, so one digit more than b has is room enough.
struct Division {
    uint8_t quotient[DIGITS + DECIMALS];
    uint8_t rest[DIGITS + 1];
};

static void long_divide(const Digits& a, const Digits& b, int32_t shift, Division* out) {
    uint8_t divisor[DIGITS + 1] = {};
    std::memcpy(divisor + 1, b.d, DIGITS);
    std::memset(out, 0, sizeof *out);
    int32_t count = DIGITS + shift;
    for (int32_t k = 0; k < count; k++) {
        std::memmove(out->rest, out->rest + 1, DIGITS);
        out->rest[DIGITS] = k < DIGITS ? a.d[k] : 0;
        uint8_t q = 0;
        while (compare_run(out->rest, divisor, DIGITS + 1) >= 0) {
            subtract_run(out->rest, divisor, DIGITS + 1);
            q++;
        }
        out->quotient[DIGITS + DECIMALS - count + k] = q;
    }
}

bool divide_magnitudes(const Digits& a, const Digits& b, Digits* out) {
    Division div;
    long_divide(a, b, DECIMALS, &div);
    for (int32_t k = 0; k < DECIMALS; k++)
        if (div.quotient[k]) return false;
    std::memcpy(out->d, div.quotient + DECIMALS, DIGITS);
    return true;
}

void remainder_magnitudes(const Digits& a, const Digits& b, Digits* out) {
    Division div;
    long_divide(a, b, 0, &div);
    std::memcpy(out->d, div.rest + 1, DIGITS);
}

}  // namespace money
}  // namespace zel
