// float!: cell routines, the float arithmetic core, conversions, text,
// comparison and rounding, and the registration of its action row.
#include "core/float.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "core/compare_common.h"
#include "core/datatype.h"
#include "core/integer.h"
#include "core/number_internal.h"
#include "core/raise.h"
#include "core/random.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/string_actions.h"
#include "core/support.h"
#include "core/type_groups.h"
#include "datatypes/binary.h"
#include "datatypes/error.h"
#include "core/random.h"
#include "core/stack.h"
#include "io/lexer.h"
#include "io/number_scan.h"
#include "kernel/temp_roots.h"
#include "kernel/floattext.h"

namespace zel {
namespace float_ {

using namespace number;

// An answer of make, which the caller copies at once.
static Cell answer;

static uint64_t bits_of(double d) {
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

// ---- cells --------------------------------------------------------------------

Cell* write_cell(Cell* c, double value) {
    cell::set_type(c, T_FLOAT);
    cell::put_float(c, value);
    return c;
}

// ---- numbers ------------------------------------------------------------------

bool is_equal32(float a, float b) { return a == b; }

// The bit pattern as an integer that orders like the doubles: negative
// patterns negated, positive ones above them.
static uint64_t ordered(double d) {
    uint64_t u = bits_of(d);
    return u >> 63 ? 0 - u : u | uint64_t(1) << 63;
}

bool is_almost_equal(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return false;
    if (a == b) return true;
    if (std::fabs(a - b) < 0x1p-52) return true;
    uint64_t x = ordered(a), y = ordered(b);
    uint64_t distance = x > y ? x - y : y - x;
    if ((distance >> 32) > 1) return false;
    return distance <= 10;
}

[[noreturn]] static void raise_with_call(Err id, uint32_t type) {
    Cell call = stack::get_call();
    Cell datatype;
    cell::make_datatype(&datatype, type);
    error::raise(id, &call, &datatype);
}

// Division by zero and overflow are IEEE results, never errors; fmod gives
// the remainder rules too (NaN for a NaN or infinite x, x for an infinite y).
double arith_op(double x, double y, int32_t op) {
    switch (op) {
    case OP_ADD: return x + y;
    case OP_SUBTRACT: return x - y;
    case OP_MULTIPLY: return x * y;
    case OP_DIVIDE: return x / y;
    case OP_REMAINDER: return std::fmod(x, y);
    default: raise_with_call(Err::script_cannot_use, T_FLOAT);
    }
}

// ---- arithmetic actions -----------------------------------------------------------

// Compound values take the float as a scalar, the compound value first
// (money! keeps the order given).
static void hand_over(int32_t op, Cell* first, Cell* second) {
    uint32_t t = cell::type(second);
    if (t == T_VECTOR) {
        vector_math(op, first, second);
        return;
    }
    void (*fn)(int32_t) = seams.arithmetic[t];
    if (!fn) raise_invalid_type(second);
    if (t != T_MONEY) std::swap(*first, *second);
    fn(op);
}

// The other operand as a double; false for a type that hands over.
static bool operand_of(const Cell* first, const Cell* second, double* y) {
    switch (cell::type(second)) {
    case T_CHAR:
        if (cell::type(first) != T_FLOAT) raise_invalid_type(second);
        [[fallthrough]];
    case T_INTEGER: *y = cell::get_int(second); return true;
    case T_FLOAT:
    case T_PERCENT:
    case T_TIME: *y = cell::get_float(second); return true;
    case T_PAIR:
    case T_POINT2D:
    case T_POINT3D:
        if (cell::type(first) == T_TIME) raise_invalid_type(second);
        return false;
    case T_TUPLE:
    case T_MONEY:
    case T_VECTOR: return false;
    default: raise_invalid_type(second);
    }
}

void do_math(int32_t op) {
    Cell* first = stack::arg(0);
    Cell* second = stack::arg(1);
    double y;
    if (!operand_of(first, second, &y)) {
        uint32_t t = cell::type(second);
        bool compound = t == T_PAIR || t == T_POINT2D || t == T_POINT3D || t == T_TUPLE;
        if (compound && (op == OP_SUBTRACT || op == OP_DIVIDE)) raise_not_related(op, cell::type(first));
        if (compound && op == OP_REMAINDER) return remainder_by_elements(first, second);
        hand_over(op, first, second);
        return;
    }
    uint32_t t1 = cell::type(first), t2 = cell::type(second);
    uint32_t result = t1 == T_TIME || t2 == T_TIME ? T_TIME : t1 == T_PERCENT ? T_PERCENT : T_FLOAT;
    double r = arith_op(cell::get_float(first), y, op);
    cell::set_type(first, result);
    cell::put_float(first, r);
}

void add() { do_math(OP_ADD); }
void subtract() { do_math(OP_SUBTRACT); }
void multiply() { do_math(OP_MULTIPLY); }
void divide() { do_math(OP_DIVIDE); }
void remainder() { do_math(OP_REMAINDER); }

// ---- single-operand actions -------------------------------------------------------

void absolute() {
    Cell* v = stack::arg(0);
    cell::put_float(v, std::fabs(cell::get_float(v)));
}

const Cell* negate(Cell* value) {
    cell::put_float(value, 0.0 - cell::get_float(value));
    return value;
}

void power() {
    Cell* base = stack::arg(0);
    Cell* exponent = stack::arg(1);
    double e;
    switch (cell::type(exponent)) {
    case T_INTEGER: e = cell::get_int(exponent); break;
    case T_FLOAT: e = cell::get_float(exponent); break;
    default: raise_bad_exponent(exponent);
    }
    cell::put_float(base, std::pow(cell::get_float(base), e));
}

// Parity of the whole part; infinities and NaN have none (-1).
static int32_t parity(double v) {
    if (!std::isfinite(v)) return -1;
    return std::fmod(std::trunc(v), 2.0) != 0 ? 1 : 0;
}

// The value scaled by a draw, keeping its type (time! and percent! take
// this routine); the seed is the two halves of the double combined.
static const Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(int32_t(value->w2 ^ value->w3));
        return &statics::unset_cell;
    }
    cell::put_float(value, random::scale(secure, cell::get_float(value)));
    return value;
}

int32_t is_even(Cell* value) { return parity(cell::get_float(value)) == 0; }
int32_t is_odd(Cell* value) { return parity(cell::get_float(value)) == 1; }

// ---- round --------------------------------------------------------------------

struct RoundMode {
    bool even, down, half_down, floor, ceiling, half_ceiling;
};

// k to a whole number: the first mode given decides; ties of the nearest
// rounding go away from zero unless a tie mode says otherwise. k - floor(k)
// is exact, so the tie test is too.
static double round_whole(double k, const RoundMode& m) {
    if (m.down) return std::trunc(k);
    if (m.floor) return std::floor(k);
    if (m.ceiling) return std::ceil(k);
    double f = std::floor(k), diff = k - f;
    if (diff != 0.5) return diff < 0.5 ? f : f + 1;
    if (m.even) return std::fmod(f, 2.0) == 0 ? f : f + 1;
    if (m.half_down) return k > 0 ? f : f + 1;
    if (m.half_ceiling) return f + 1;
    return k > 0 ? f + 1 : f;
}

static double number_of(const Cell* c) {
    switch (cell::type(c)) {
    case T_INTEGER: return cell::get_int(c);
    case T_FLOAT:
    case T_PERCENT:
    case T_TIME: return cell::get_float(c);
    default: raise_invalid_type(c);
    }
}

// value rounded to a multiple of the scale s (> 0). Below 1 the value is
// multiplied by the inverse of the scale, which for the smallest scales is
// taken of the scale times 2^64 so that it stays finite.
static double round_to(double v, double s, const RoundMode& m) {
    if (s >= 1) return round_whole(v / s, m) * s;
    if (s >= 0x1p-1021) {
        double inverse = 1 / s;
        return round_whole(v * inverse, m) / inverse;
    }
    double inverse = 1 / (s * 0x1p64);
    return round_whole(v * 0x1p64 * inverse, m) / inverse * 0x1p-64;
}

const Cell* round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                  bool ceiling, bool half_ceiling) {
    refuse_money_scale(scale);
    bool percent = cell::type(value) == T_PERCENT;
    double s = scale ? std::fabs(number_of(scale)) / (percent ? 100 : 1) : percent ? 0.01 : 1.0;
    double v = cell::get_float(value);
    // Too large to have a fraction at this scale (or nothing to round by).
    if (s == 0 || !(std::fabs(v) * 0x1p-53 <= s)) return value;
    double r = round_to(v, s, {even, down, half_down, floor, ceiling, half_ceiling});
    if (std::isinf(r)) error::raise(Err::math_overflow);
    uint32_t type = scale ? cell::type(scale) : cell::type(value);
    if (type == T_INTEGER) {
        int32_t whole = whole_to_int32(r);
        cell::set_type(value, T_INTEGER);
        cell::set_int(value, whole);
        return value;
    }
    cell::set_type(value, type);
    cell::put_float(value, r);
    return value;
}

// ---- make and to --------------------------------------------------------------

// Up to eight bytes from the head, big-endian, as the bit pattern (a shorter
// binary fills the low bytes).
static double of_binary(const Cell* spec) {
    uint32_t n = binary::length(spec);
    const uint8_t* p = binary::head_address(spec);
    uint64_t u = 0;
    for (uint32_t i = 0; i < n && i < 8; i++) u = u << 8 | p[i];
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

// The text from the index, read by the lexer's float scanner.
static bool scan_text(Cell* text, double* out) {
    uint32_t length = string::get_length(text);
    int32_t error;
    *out = lexer::scan_float(string::head_ptr(text), 0, length, series::unit(string::buffer_of(text)), &error);
    return error == 0;
}

// The type of the text's first value, error! when it does not scan.
static uint32_t scanned_type(const Cell* text) {
    Cell block = statics::none_cell;
    temp_roots::Hold hold(&block);
    lexer::Request request;
    request.mode = lexer::MODE_SCAN;
    return lexer::scan_string(&block, text, -1, request).type;
}

// percent! reads its text as a value: a number or a percent. The text is
// typed first, so text that is no number (a syntax error included) is a bad
// argument of the conversion, and only a number is loaded.
static double of_loaded(Cell* spec, uint32_t type) {
    uint32_t scanned = scanned_type(spec);
    if (scanned != T_INTEGER && scanned != T_FLOAT && scanned != T_PERCENT) raise_bad_to(type, spec);
    Cell v = *load::value_from_string(spec);
    switch (cell::type(&v)) {
    case T_INTEGER: return cell::get_int(&v);
    case T_FLOAT:
    case T_PERCENT: return cell::get_float(&v);
    default: raise_bad_to(type, spec);
    }
}

static double of_text(Cell* spec, uint32_t type) {
    if (type == T_PERCENT) return of_loaded(spec, type);
    double d;
    if (!scan_text(spec, &d)) raise_bad_to(type, spec);
    return d;
}

// [mantissa exponent]: mantissa times ten to the exponent.
static double of_block(const Cell* spec, uint32_t type) {
    SeriesBuffer* b = node::buffer(cell::series_node(spec));
    uint32_t index = uint32_t(cell::series_index(spec)), length = series::length(b);
    if (index > length || length - index != 2) raise_bad_to(type, spec);
    const Cell* cells = series::cells(b) + index;
    for (uint32_t i = 0; i < 2; i++) {
        uint32_t t = cell::type(cells + i);
        if (t != T_INTEGER && t != T_FLOAT) raise_bad_to(type, spec);
    }
    return number_of(cells) * std::pow(10.0, number_of(cells + 1));
}

static double of_money(const Cell* spec, uint32_t type) {
    if (!seams.money_as_float) raise_bad_to(type, spec);
    return seams.money_as_float(spec);
}

static double convert(Cell* spec, uint32_t type) {
    if (types::is_any_string(spec)) return of_text(spec, type);
    switch (cell::type(spec)) {
    case T_INTEGER:
    case T_CHAR: return cell::get_int(spec);
    case T_FLOAT:
    case T_PERCENT:
    case T_TIME: return cell::get_float(spec);
    case T_MONEY: return of_money(spec, type);
    case T_BINARY: return of_binary(spec);
    case T_BLOCK:
    case T_PAREN:
    case T_HASH: return of_block(spec, type);
    default: raise_bad_to(type, spec);
    }
}

// Also the to action, and the make of percent!: the answer has the type made.
const Cell* make(Cell*, Cell* spec, uint32_t type) {
    double d = convert(spec, type);
    answer.header = type;
    cell::put_float(&answer, d);
    return &answer;
}

// ---- text ---------------------------------------------------------------------

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    char text[TEXT_SIZE];
    size_t n = form_into(cell::get_float(value), KIND_FLOAT, text);
    return datatype::append_text(buffer, text, uint32_t(n), limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t limit, int32_t) {
    char text[TEXT_SIZE];
    size_t n = format_double(cell::get_float(value), 0, true, text);
    return datatype::append_text(buffer, text, uint32_t(n), limit);
}

// ---- compare ------------------------------------------------------------------

// The money module compares with the money first, which also places floats
// that money cannot hold: the orderings are asked the other way round and
// their answer turned round.
static int32_t with_money(Cell* value, Cell* other, int32_t op) {
    if (!seams.money_compare) return -2;
    static const int32_t mirrored[] = {0, 1, 2, 5, 6, 3, 4, 7, 8};
    if (op > 8) return seams.money_compare(other, value, op);
    int32_t r = seams.money_compare(other, value, mirrored[op]);
    return op <= 2 || r == -2 ? r : -r;
}

int32_t compare(Cell* value, Cell* other, int32_t op) {
    uint32_t t = cell::type(other);
    if ((op == 2 || op == 9 || op == 12) && t != cell::type(value)) return 1;
    double a = cell::get_float(value), b;
    switch (t) {
    case T_INTEGER: b = cell::get_int(other); break;
    case T_FLOAT:
    case T_PERCENT:
    case T_TIME: b = cell::get_float(other); break;
    case T_MONEY: return with_money(value, other, op);
    default: return -2;
    }
    bool nan = std::isnan(a) || std::isnan(b);
    switch (op) {
    case 0:
    case 1: return is_almost_equal(a, b) ? 0 : 1;
    case 2: return a == b ? 0 : 1;
    case 9: return bits_of(a) == bits_of(b) ? 0 : 1;
    // Every ordering with NaN is false.
    case 3:
    case 4: return nan ? 1 : compare_common::three_way(a, b);
    case 5:
    case 6: return nan ? -1 : compare_common::three_way(a, b);
    // Sorting keeps NaN where it is; a search never matches it.
    case 7:
    case 8: return nan ? 0 : compare_common::three_way(a, b);
    default: return nan ? 1 : compare_common::three_way(a, b);
    }
}

void init() {
    datatype::register_({.id = T_FLOAT, .parent = 0, .name = "float!", .make = make, .random = random,
                         .to = make,
                         .form = form, .mold = mold, .compare = compare, .absolute = absolute,
                         .add = add, .divide = divide, .multiply = multiply, .negate = negate,
                         .power = power, .remainder = remainder, .round = round,
                         .subtract = subtract, .is_even = is_even, .is_odd = is_odd});
}

}  // namespace float_
}  // namespace zel
