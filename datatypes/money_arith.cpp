// money!: the arithmetic that money! and the number types share, compare
// and rounding.
#include <cmath>
#include <cstring>

#include "core/dispatch.h"
#include "core/integer.h"
#include "core/number_internal.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/word.h"
#include "datatypes/money.h"

namespace zel {
namespace money {

using namespace number;

namespace {

// A money value taken apart: sign, currency and magnitude.
struct Amount {
    bool negative;
    uint32_t currency;
    Digits digits;
};

Amount amount_of(const Cell* c) { return {sign_of(c) < 0, currency_of(c), digits_of(c)}; }

// An operand as money: integers exactly, floats and percents with further
// decimals dropped.
Amount operand_of(const Cell* v) {
    Cell m;
    switch (cell::type(v)) {
    case T_MONEY: return amount_of(v);
    case T_INTEGER: of_integer(&m, cell::get_int(v)); break;
    case T_FLOAT:
    case T_PERCENT: of_float(&m, cell::get_float(v), false); break;
    default: raise_invalid_type(v);
    }
    return amount_of(&m);
}

Amount add_amounts(const Amount& a, const Amount& b) {
    if (is_zero(a.digits)) return b;
    if (is_zero(b.digits)) return a;
    Amount r = a;
    if (a.negative == b.negative) {
        if (!add_magnitudes(a.digits, b.digits, &r.digits)) raise_type_limit(T_MONEY);
        return r;
    }
    bool a_larger = compare_magnitudes(a.digits, b.digits) >= 0;
    const Amount& larger = a_larger ? a : b;
    const Amount& smaller = a_larger ? b : a;
    subtract_magnitudes(larger.digits, smaller.digits, &r.digits);
    r.negative = larger.negative;
    return r;
}

Amount apply(int32_t op, const Amount& a, Amount b) {
    Amount r = a;
    r.negative = a.negative != b.negative;
    switch (op) {
    case OP_ADD: return add_amounts(a, b);
    case OP_SUBTRACT:
        b.negative = !b.negative;
        return add_amounts(a, b);
    case OP_MULTIPLY:
        if (!multiply_magnitudes(a.digits, b.digits, &r.digits)) raise_type_limit(T_MONEY);
        return r;
    case OP_DIVIDE:
        if (is_zero(b.digits)) error::raise(Err::math_zero_divide);
        if (!divide_magnitudes(a.digits, b.digits, &r.digits)) raise_type_limit(T_MONEY);
        return r;
    case OP_REMAINDER:
        if (is_zero(b.digits)) error::raise(Err::math_zero_divide);
        remainder_magnitudes(a.digits, b.digits, &r.digits);
        r.negative = a.negative;
        return r;
    default: raise_not_related(op, T_MONEY);
    }
}

// Money times money, and a number divided by money, have no meaning.
bool is_refused(int32_t op, uint32_t first, uint32_t second) {
    if (op == OP_MULTIPLY) return first == T_MONEY && second == T_MONEY;
    return (op == OP_DIVIDE || op == OP_REMAINDER) && first != T_MONEY && second == T_MONEY;
}

}  // namespace

void arithmetic(int32_t op) {
    Cell* first = stack::arg(0);
    Cell* second = stack::arg(1);
    if (is_refused(op, cell::type(first), cell::type(second))) raise_invalid_type(first);
    Amount a = operand_of(first), b = operand_of(second);
    if (a.currency && b.currency && a.currency != b.currency)
        error::raise(Err::script_wrong_denom, first, second);
    bool ratio = op == OP_DIVIDE && cell::type(first) == T_MONEY && cell::type(second) == T_MONEY;
    Amount r = apply(op, a, b);
    Cell result;
    make(&result, r.negative, b.currency ? b.currency : a.currency, r.digits);
    if (ratio) cell::make_float(&result, as_float(&result));
    *first = result;
}

// ---- compare ------------------------------------------------------------------

namespace {

// The signed order of two amounts.
int32_t compare_amounts(const Cell* a, const Cell* b) {
    int32_t sa = sign_of(a), sb = sign_of(b);
    if (sa != sb) return sa < sb ? -1 : 1;
    int32_t m = compare_magnitudes(digits_of(a), digits_of(b));
    return sa < 0 ? -m : m;
}

// Sorting puts values without a currency first, then orders by code.
int32_t compare_codes(uint32_t c1, uint32_t c2) {
    if (!c1 || !c2) return c1 ? 1 : -1;
    int32_t m = std::memcmp(currency_code(c1), currency_code(c2), 3);
    return m < 0 ? -1 : 1;
}

int32_t with_money(Cell* value1, Cell* value2, int32_t op) {
    uint32_t c1 = currency_of(value1), c2 = currency_of(value2);
    bool compatible = !c1 || !c2 || c1 == c2;
    switch (op) {
    case actions::OP_LESSER:
    case actions::OP_LESSER_OR_EQUAL:
    case actions::OP_GREATER:
    case actions::OP_GREATER_OR_EQUAL:
        if (!compatible) error::raise(Err::script_wrong_denom, value1, value2);
        break;
    case actions::OP_SORT:
    case actions::OP_SORT_CASE:
        if (c1 != c2) return compare_codes(c1, c2);
        break;
    case actions::OP_STRICT_EQUAL:
    case actions::OP_SAME:
        if (c1 != c2) return 1;
        break;
    case actions::OP_FIND:
        if (c2 && c1 != c2) return 1;
        break;
    default:
        if (!compatible) return 1;
    }
    return compare_amounts(value1, value2);
}

}  // namespace

// A NaN is unequal to every amount and orders with none of them.
int32_t nan_answer(int32_t op) {
    switch (op) {
    case actions::OP_GREATER:
    case actions::OP_GREATER_OR_EQUAL: return -1;
    case actions::OP_SORT:
    case actions::OP_SORT_CASE: return 0;
    default: return 1;
    }
}

// Floats that money cannot hold are placed, never refused: beyond every
// amount, between zero and the smallest amount, or, with more decimals than
// money keeps, between the amount their digits are cut to and the next one
// away from zero. Equality with such a float is false.
static int32_t with_float(const Cell* money, double d, int32_t op) {
    if (std::isnan(d)) return nan_answer(op);
    if (is_float_too_large(d)) return d > 0 ? -1 : 1;
    Cell cut;
    bool inexact = true;
    if (is_float_too_small(d)) of_integer(&cut, 0);
    else inexact = of_float_cut(&cut, d);
    int32_t order = compare_amounts(money, &cut);
    return order || !inexact ? order : d > 0 ? -1 : 1;
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t t = cell::type(value2);
    if (t != T_MONEY && (op == actions::OP_STRICT_EQUAL || op == actions::OP_SAME || op == actions::OP_FIND)) return 1;
    Cell other;
    switch (t) {
    case T_MONEY: return with_money(value1, value2, op);
    case T_INTEGER: of_integer(&other, cell::get_int(value2)); break;
    case T_FLOAT: return with_float(value1, cell::get_float(value2), op);
    default: return -2;
    }
    return compare_amounts(value1, &other);
}

// ---- round --------------------------------------------------------------------

namespace {

enum Direction { TOWARD_ZERO, AWAY_FROM_ZERO };

// The scale's magnitude: $1 without /to.
Digits scale_of(const Cell* scale) {
    Cell m;
    if (!scale) {
        of_integer(&m, 1);
        return digits_of(&m);
    }
    switch (cell::type(scale)) {
    case T_INTEGER: of_integer(&m, cell::get_int(scale)); break;
    case T_FLOAT: of_float(&m, cell::get_float(scale), false); break;
    case T_MONEY: m = *scale; break;
    default: {
        Cell action = word::intern("round"), datatype;
        cell::make_datatype(&datatype, cell::type(scale));
        error::raise(Err::script_not_related, &action, &datatype);
    }
    }
    return digits_of(&m);
}

// True when toward (a multiple of s) is an even multiple of s.
bool is_even_multiple(const Digits& toward, const Digits& s) {
    Digits twice, rest;
    if (!add_magnitudes(s, s, &twice)) return is_zero(toward);
    remainder_magnitudes(toward, twice, &rest);
    return is_zero(rest);
}

struct Modes {
    bool even, down, half_down, floor, ceiling, half_ceiling;
};

// The direction for a value with a remainder r (not zero) below the scale s.
Direction direction_of(const Modes& m, bool negative, const Digits& toward, const Digits& r, const Digits& s) {
    Digits other;
    subtract_magnitudes(s, r, &other);
    int32_t order = compare_magnitudes(r, other);
    bool half = order == 0;
    Direction nearest = order < 0 ? TOWARD_ZERO : AWAY_FROM_ZERO;
    Direction ceiling = negative ? TOWARD_ZERO : AWAY_FROM_ZERO;
    if (m.down) return TOWARD_ZERO;
    if (m.floor) return negative ? AWAY_FROM_ZERO : TOWARD_ZERO;
    if (m.ceiling) return ceiling;
    if (m.even) return half && is_even_multiple(toward, s) ? TOWARD_ZERO : nearest;
    if (m.half_down) return half ? TOWARD_ZERO : nearest;
    if (m.half_ceiling) return half ? ceiling : nearest;
    return nearest;
}

}  // namespace

const Cell* round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
                  bool half_ceiling) {
    Digits s = scale_of(scale);
    if (is_zero(value) || is_zero(s)) return value;
    Amount a = amount_of(value);
    Digits r, toward;
    remainder_magnitudes(a.digits, s, &r);
    if (is_zero(r)) return value;
    subtract_magnitudes(a.digits, r, &toward);
    Modes modes{even, down, half_down, floor, ceiling, half_ceiling};
    Digits result = toward;
    if (direction_of(modes, a.negative, toward, r, s) == AWAY_FROM_ZERO && !add_magnitudes(toward, s, &result))
        raise_type_limit(T_MONEY);
    make(value, a.negative, a.currency, result);
    return value;
}

}  // namespace money
}  // namespace zel
