// integer!: cell routines, checked arithmetic, conversions, text and the
// registration of its action row; and the number hand-over seams.
#include "core/integer.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/compare_common.h"
#include "core/datatype.h"
#include "core/float.h"
#include "core/number_internal.h"
#include "core/raise.h"
#include "core/random.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/string_actions.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "datatypes/binary.h"
#include "io/number_scan.h"
#include "kernel/runtime.h"
#include "kernel/unicode.h"

namespace zel {

namespace number {

Seams seams{};

// The action words of the operators, for the errors that name them.
static const char* const OP_NAMES[] = {"add", "subtract", "multiply", "divide", "remainder",
                                       "or~", "and~", "xor~"};

void raise_not_related(int32_t op, uint32_t type) {
    Cell action = word::intern(OP_NAMES[op]);
    Cell datatype;
    cell::make_datatype(&datatype, type);
    error::raise(Err::script_not_related, &action, &datatype);
}

void raise_invalid_type(const Cell* value) {
    Cell datatype;
    cell::make_datatype(&datatype, cell::type(value));
    error::raise(Err::script_invalid_type, &datatype);
}

void vector_math(int32_t op, Cell* scalar, Cell* vector) {
    if (!seams.vector_arithmetic) raise_invalid_type(vector);
    *scalar = *seams.vector_arithmetic(op, vector, scalar);
}

void remainder_by_elements(Cell* scalar, Cell* compound) {
    void (*fn)() = seams.scalar_remainder[cell::type(compound)];
    if (!fn) raise_invalid_type(compound);
    std::swap(*scalar, *compound);
    fn();
}

void raise_bad_to(uint32_t type, const Cell* spec) {
    Cell datatype;
    cell::make_datatype(&datatype, type);
    error::raise(Err::script_bad_to_arg, &datatype, spec);
}

void raise_type_limit(uint32_t type) {
    Cell datatype;
    cell::make_datatype(&datatype, type);
    error::raise(Err::script_type_limit, &datatype);
}

void refuse_money_scale(const Cell* scale) {
    if (!scale || cell::type(scale) != T_MONEY) return;
    Cell call = stack::get_call();
    Cell datatype;
    cell::make_datatype(&datatype, T_MONEY);
    error::raise(Err::script_not_related, &call, &datatype);
}

void raise_bad_exponent(const Cell* exponent) { check::expect_arg(1, cell::type(exponent)); }

int32_t whole_to_int32(double d) {
    if (!fits_int32(d)) error::raise(Err::math_overflow);
    return int32_t(d);
}

}  // namespace number

namespace integer {

int32_t shift(int32_t data, int32_t bits, bool left, bool logical) {
    if (bits < 0) bits = 0;
    if (left) return bits > 31 ? 0 : int32_t(uint32_t(data) << bits);
    if (logical) return bits > 31 ? 0 : int32_t(uint32_t(data) >> bits);
    if (bits > 31) return data < 0 ? -1 : 0;
    return data >> bits;
}

using namespace number;

// An answer of make and to, which the caller copies at once.
static Cell answer;

// ---- cells --------------------------------------------------------------------

// ---- numbers ------------------------------------------------------------------

int32_t abs_checked(int32_t value) {
    if (value == INT32_MIN) error::raise(Err::math_overflow);
    return value < 0 ? -value : value;
}

const char* form_signed(int32_t value) {
    static char buffer[12];
    if (value == INT32_MIN) return "-2147483648";
    char* p = buffer + sizeof buffer - 1;
    *p = '\0';
    uint32_t n = uint32_t(value < 0 ? -value : value);
    do {
        *--p = char('0' + n % 10);
        n /= 10;
    } while (n);
    if (value < 0) *--p = '-';
    return p;
}

// An add, subtract or multiply that left the 32-bit range: the cell takes the
// float of the operation, or without a cell it is an error.
static int32_t overflowed(double exact, Cell* cell) {
    if (!cell) error::raise(Err::math_overflow);
    float_::write_cell(cell, exact);
    return 0;
}

// Division and remainder fault on the processor for these operands.
static void check_divisor(int32_t left, int32_t right) {
    if (right == 0) error::raise(Err::math_zero_divide);
    if (left == INT32_MIN && right == -1) error::raise(Err::math_overflow);
}

int32_t arith_op(int32_t left, int32_t right, int32_t op, Cell* cell) {
    int32_t r;
    double x = left, y = right;
    switch (op) {
    case OP_ADD:
        if (__builtin_add_overflow(left, right, &r)) return overflowed(x + y, cell);
        break;
    case OP_SUBTRACT:
        if (__builtin_sub_overflow(left, right, &r)) return overflowed(x - y, cell);
        break;
    case OP_MULTIPLY:
        if (__builtin_mul_overflow(left, right, &r)) return overflowed(x * y, cell);
        break;
    case OP_DIVIDE:
        check_divisor(left, right);
        if (cell && left % right != 0) {
            float_::write_cell(cell, x / y);
            return 0;
        }
        r = left / right;
        break;
    case OP_REMAINDER:
        check_divisor(left, right);
        r = left % right;
        break;
    case OP_OR: r = int32_t(uint32_t(left) | uint32_t(right)); break;
    case OP_AND: r = int32_t(uint32_t(left) & uint32_t(right)); break;
    case OP_XOR: r = int32_t(uint32_t(left) ^ uint32_t(right)); break;
    default: runtime::error_report(101, reinterpret_cast<uintptr_t>(&arith_op));
    }
    if (cell) cell::set_int(cell, uint32_t(r));
    return r;
}

// ---- arithmetic actions -----------------------------------------------------------

// The compound type's own arithmetic, once its module is there.
static void hand_over(int32_t op, const Cell* operand) {
    void (*fn)(int32_t) = seams.arithmetic[cell::type(operand)];
    if (!fn) raise_invalid_type(operand);
    fn(op);
}

// pair!, point2D! and point3D! take the integer second: a subtract becomes
// the negated pair plus the integer; a divide has no meaning.
static void with_pair(int32_t op, Cell* left, Cell* right) {
    if (op == OP_DIVIDE) raise_not_related(op, T_INTEGER);
    uint32_t t = cell::type(right);
    if (!seams.arithmetic[t] || (op == OP_SUBTRACT && !seams.negate[t])) raise_invalid_type(right);
    std::swap(*left, *right);
    if (op == OP_SUBTRACT) {
        seams.negate[t]();
        op = OP_ADD;
    }
    hand_over(op, left);
}

void do_math(int32_t op) {
    Cell* left = stack::arg(0);
    Cell* right = stack::arg(1);
    switch (cell::type(right)) {
    case T_INTEGER:
    case T_CHAR: arith_op(cell::get_int(left), cell::get_int(right), op, left); return;
    case T_FLOAT:
    case T_PERCENT:
    case T_TIME:
        float_::write_cell(left, double(cell::get_int(left)));
        float_::do_math(op);
        return;
    case T_MONEY: hand_over(op, right); return;
    case T_PAIR:
    case T_POINT2D:
    case T_POINT3D:
        if (op == OP_REMAINDER) return remainder_by_elements(left, right);
        with_pair(op, left, right);
        return;
    case T_TUPLE:
        if (op == OP_SUBTRACT || op == OP_DIVIDE) raise_not_related(op, T_INTEGER);
        if (op == OP_REMAINDER) return remainder_by_elements(left, right);
        if (!seams.arithmetic[T_TUPLE]) raise_invalid_type(right);
        std::swap(*left, *right);
        hand_over(op, left);
        return;
    case T_VECTOR: vector_math(op, left, right); return;
    case T_DATE:
        if (op != OP_ADD) raise_not_related(op, T_INTEGER);
        if (!seams.date_from_spec) raise_invalid_type(right);
        std::swap(*left, *right);
        seams.date_from_spec(op);
        return;
    default: raise_invalid_type(right);
    }
}

void add() { do_math(OP_ADD); }
void subtract() { do_math(OP_SUBTRACT); }
void multiply() { do_math(OP_MULTIPLY); }
void divide() { do_math(OP_DIVIDE); }
void remainder() { do_math(OP_REMAINDER); }
void or_() { do_math(OP_OR); }
void and_() { do_math(OP_AND); }
void xor_() { do_math(OP_XOR); }

// ---- single-operand actions -------------------------------------------------------

void absolute() {
    Cell* v = stack::arg(0);
    cell::set_int(v, uint32_t(abs_checked(cell::get_int(v))));
}

const Cell* negate(Cell* value) {
    if (cell::get_int(value) == INT32_MIN) error::raise(Err::math_overflow);
    cell::set_int(value, uint32_t(-cell::get_int(value)));
    return value;
}

const Cell* complement(Cell* value) {
    cell::set_int(value, ~cell::get_int(value));
    return value;
}

// The value becomes a draw between 1 and itself, keeping its type (char!
// takes this routine).
static const Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(cell::get_int(value));
        return &statics::unset_cell;
    }
    cell::set_int(value, uint32_t(random::in_range(secure, cell::get_int(value))));
    return value;
}

int32_t is_even(Cell* value) { return (cell::get_int(value) & 1) == 0; }
int32_t is_odd(Cell* value) { return cell::get_int(value) & 1; }

// ---- power --------------------------------------------------------------------

// Square-and-multiply; false when the result leaves the 32-bit range. The
// last square is never used, so only an earlier one may overflow.
static bool int_power(int32_t base, int32_t exponent, int32_t* result) {
    int32_t r = 1;
    while (exponent != 0) {
        if ((exponent & 1) && __builtin_mul_overflow(r, base, &r)) return false;
        exponent >>= 1;
        if (__builtin_mul_overflow(base, base, &base) && exponent != 0) return false;
    }
    *result = r;
    return true;
}

void power() {
    Cell* base = stack::arg(0);
    Cell* exponent = stack::arg(1);
    uint32_t t = cell::type(exponent);
    if (t != T_INTEGER && t != T_FLOAT) raise_bad_exponent(exponent);
    int32_t r;
    if (t == T_INTEGER && cell::get_int(exponent) >= 0 && int_power(cell::get_int(base), cell::get_int(exponent), &r)) {
        cell::set_int(base, uint32_t(r));
        return;
    }
    // A fraction, a negative exponent, or a result too large for an integer.
    float_::write_cell(base, double(cell::get_int(base)));
    float_::power();
}

// ---- round --------------------------------------------------------------------

// Computed in 64 bits, so that only a result outside the 32-bit range is an
// overflow (the smallest integer rounds like any other).
const Cell* round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                  bool ceiling, bool half_ceiling) {
    refuse_money_scale(scale);
    if (scale && cell::type(scale) != T_INTEGER) {
        float_::write_cell(value, double(cell::get_int(value)));
        return float_::round(value, scale, even, down, half_down, floor, ceiling, half_ceiling);
    }
    int64_t s = scale ? std::llabs(int64_t(cell::get_int(scale))) : 1;
    int64_t v = cell::get_int(value);
    bool negative = v < 0;
    int64_t a = negative ? -v : v;
    if (s == 0 || a % s == 0) return value;
    int64_t r = a % s, d = s - r;
    bool away;  // from zero, to the next multiple up in magnitude
    if (down) away = false;
    else if (floor) away = negative;
    else if (ceiling) away = !negative;
    else if (r != d) away = r > d;
    else if (even) away = (a / s) % 2 != 0;
    else if (half_down) away = false;
    else if (half_ceiling) away = !negative;
    else away = true;
    int64_t m = away ? a + d : a - r;
    int64_t result = negative ? -m : m;
    if (result < INT32_MIN || result > INT32_MAX) error::raise(Err::math_overflow);
    cell::set_int(value, uint32_t(int32_t(result)));
    return value;
}

// ---- make and to --------------------------------------------------------------

// Truncated toward zero; type-limit outside the 32-bit range or for NaN.
static int32_t of_float(double d) {
    if (!fits_int32(d)) raise_type_limit(T_INTEGER);
    return int32_t(d);
}

// Up to four bytes from the head, big-endian.
static int32_t of_binary(const Cell* spec) {
    uint32_t n = binary::length(spec);
    const uint8_t* p = binary::head_address(spec);
    uint32_t v = 0;
    for (uint32_t i = 0; i < n && i < 4; i++) v = v << 8 | p[i];
    return int32_t(v);
}

// The text from the index, read by the lexer's integer scanner (sign,
// digits, ' separators). The scanner reads what the lexer already took for
// a number, so a text without a digit ("", "-", "'") is refused here.
static int32_t of_text(Cell* spec) {
    uint32_t length = string::get_length(spec);
    uint32_t start = uint32_t(cell::series_index(spec));
    bool digit = false;
    for (uint32_t i = 0; i < length && !digit; i++) {
        uint32_t c = string::char_at(spec, start + i);
        digit = c >= '0' && c <= '9';
    }
    int32_t error;
    int32_t v = lexer::scan_integer(string::head_ptr(spec), 0, length,
                                    series::unit(string::buffer_of(spec)), &error);
    if (error != 0 || !digit) raise_bad_to(T_INTEGER, spec);
    return v;
}

static int32_t of_money(const Cell* spec) {
    if (!seams.money_as_integer) raise_bad_to(T_INTEGER, spec);
    return seams.money_as_integer(spec);
}

static int32_t of_date(const Cell* spec) {
    if (!seams.date_unix_seconds) raise_bad_to(T_INTEGER, spec);
    return seams.date_unix_seconds(spec);
}

// The value of the spec as an integer, by the spec's type.
static int32_t convert(Cell* spec) {
    if (types::is_any_string(spec)) return of_text(spec);
    switch (cell::type(spec)) {
    case T_INTEGER:
    case T_CHAR: return cell::get_int(spec);
    case T_FLOAT:
    case T_PERCENT: return of_float(std::trunc(cell::get_float(spec)));
    case T_TIME: return of_float(std::trunc(cell::get_float(spec) + 0.5));
    case T_MONEY: return of_money(spec);
    case T_BINARY: return of_binary(spec);
    case T_ISSUE: return from_issue(spec);
    case T_DATE: return of_date(spec);
    default: raise_bad_to(T_INTEGER, spec);
    }
}

const Cell* to(Cell*, Cell* spec, uint32_t) {
    cell::make_integer(&answer, convert(spec));
    return &answer;
}

const Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    if (cell::type(spec) != T_LOGIC) return to(proto, spec, type);
    cell::make_integer(&answer, cell::get_logic(spec) ? 1 : 0);
    return &answer;
}

int32_t from_issue(const Cell* issue) {
    uint32_t length;
    const uint8_t* name = symbol::name_of(symbol::get(cell::word_symbol(issue)), &length);
    const uint8_t* end = name + length;
    if (utf8::length(name, end) > 8) error::raise(Err::script_invalid_data, issue);
    uint32_t v = 0;
    for (const uint8_t* p = name; p < end;) {
        int32_t cp;
        p = utf8::decode_char(p, end, &cp);
        int32_t digit = cp < 0 ? -1 : ascii::hex_digit(uint32_t(cp));
        if (digit < 0) error::raise(Err::script_invalid_data, issue);
        v = v << 4 | uint32_t(digit);
    }
    return int32_t(v);
}

// ---- text and compare ---------------------------------------------------------------

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    const char* text = form_signed(cell::get_int(value));
    return datatype::append_text(buffer, text, uint32_t(std::strlen(text)), limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t t = cell::type(value2);
    if ((op == 2 || op == 12) && t != T_INTEGER) return 1;
    switch (t) {
    case T_INTEGER:
    case T_CHAR: return compare_common::three_way(cell::get_int(value1), cell::get_int(value2));
    case T_MONEY: {
        if (!seams.money_of_integer || !seams.money_compare) return -2;
        Cell money;
        seams.money_of_integer(&money, cell::get_int(value1));
        return seams.money_compare(&money, value2, op);
    }
    case T_FLOAT:
    case T_PERCENT:
    case T_TIME: {
        // The float compare of the integer's value, its type kept so that
        // sameness still tells the two apart.
        Cell as_float = *value1;
        cell::put_float(&as_float, double(cell::get_int(value1)));
        return float_::compare(&as_float, value2, op);
    }
    default: return -2;
    }
}

void init() {
    datatype::register_({.id = T_INTEGER, .parent = 0, .name = "integer!", .make = make, .random = random,
                         .to = to,
                         .form = form, .mold = mold, .compare = compare, .absolute = absolute,
                         .add = add, .divide = divide, .multiply = multiply, .negate = negate,
                         .power = power, .remainder = remainder, .round = round,
                         .subtract = subtract, .is_even = is_even, .is_odd = is_odd, .and_ = and_,
                         .complement = complement, .or_ = or_, .xor_ = xor_});
}

}  // namespace integer
}  // namespace zel
