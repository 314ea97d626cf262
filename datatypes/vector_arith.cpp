// vector!: element-wise arithmetic with a number (in place) or with another
// vector of the same element type (into a new buffer).
//
// Float and percent elements take the float arithmetic. Char and integer
// elements take the integer arithmetic, except that an add, subtract or
// multiply wraps to 32 bits instead of overflowing; the result is then cut
// to the element width.
#include <cmath>

#include "core/float.h"
#include "core/integer.h"
#include "core/number_internal.h"
#include "core/raise.h"
#include "core/stack.h"
#include "datatypes/vector.h"
#include "datatypes/vector_internal.h"

namespace zel {
namespace vector {

namespace {

using number::OP_ADD;
using number::OP_DIVIDE;
using number::OP_MULTIPLY;
using number::OP_REMAINDER;
using number::OP_SUBTRACT;

int32_t int_op(int32_t x, int32_t y, int32_t op) {
    switch (op) {
    case OP_ADD: return int32_t(uint32_t(x) + uint32_t(y));
    case OP_SUBTRACT: return int32_t(uint32_t(x) - uint32_t(y));
    case OP_MULTIPLY: return int32_t(uint32_t(x) * uint32_t(y));
    default: return integer::arith_op(x, y, op, nullptr);
    }
}

// A number operand: its value, the whole part that integer elements take,
// and whether it was written before the vector.
struct Scalar {
    double number;
    int32_t whole;
    bool whole_fits;
    bool first;
};

Scalar scalar_of(const Cell* value, bool first) {
    uint32_t t = cell::type(value);
    if (t == T_INTEGER) return {double(cell::get_int(value)), cell::get_int(value), true, first};
    if (t != T_FLOAT && t != T_PERCENT) error::raise(Err::internal_not_done);
    double d = cell::get_float(value), whole = std::trunc(d);
    bool fits = number::fits_int32(whole);
    return {d, fits ? int32_t(whole) : 0, fits, first};
}

// Adding or subtracting 0 and multiplying or dividing by 1 change nothing.
bool is_identity(int32_t op, double y) {
    return ((op == OP_ADD || op == OP_SUBTRACT) && y == 0) || ((op == OP_MULTIPLY || op == OP_DIVIDE) && y == 1);
}

// Only a divisor of 0 or -1 fails (by zero, or the overflow of the lowest
// integer); with the vector as the divisor any element may be one.
bool may_fail(int32_t op, const Scalar& s) {
    return (op == OP_DIVIDE || op == OP_REMAINDER) && (s.first || s.whole == 0 || s.whole == -1);
}

void floats_with(Cell* v, const Scalar& s, int32_t op) {
    uint32_t n = length(v), w = width(v);
    if (!s.first && is_identity(op, s.number)) return;
    for (uint32_t i = 0; i < n; i++) {
        uint8_t* p = element_address(v, i);
        double x = float_at(p, w);
        put_float(p, w, s.first ? float_::arith_op(s.number, x, op) : float_::arith_op(x, s.number, op));
    }
}

int32_t combine(const Scalar& s, int32_t x, int32_t op) {
    return s.first ? int_op(s.whole, x, op) : int_op(x, s.whole, op);
}

void integers_with(Cell* v, const Scalar& s, int32_t op) {
    if (!s.whole_fits) error::raise(Err::math_overflow);
    uint32_t n = length(v), w = width(v);
    if (!s.first && is_identity(op, s.whole)) return;
    // A division that fails leaves every element as it was.
    for (uint32_t i = 0; may_fail(op, s) && i < n; i++) combine(s, whole_at(element_address(v, i), cell::series_extra(v), w), op);
    for (uint32_t i = 0; i < n; i++) {
        uint8_t* p = element_address(v, i);
        put_int(p, w, combine(s, whole_at(p, cell::series_extra(v), w), op));
    }
}

void with_scalar(Cell* v, const Cell* scalar, int32_t op, bool scalar_first) {
    Scalar s = scalar_of(scalar, scalar_first);
    if (is_float_type(cell::series_extra(v))) floats_with(v, s, op);
    else integers_with(v, s, op);
}

// A new buffer at the wider width and the shorter length replaces a's.
void with_vector(Cell* a, const Cell* b, int32_t op) {
    if (cell::series_extra(a) != cell::series_extra(b)) error::raise(Err::script_not_same_type);
    uint32_t type = cell::series_extra(a), wa = width(a), wb = width(b), w = std::max(wa, wb);
    uint32_t n = std::min(length(a), length(b));
    Cell out;
    init_cell(&out, type, w, n);
    uint8_t* o = series::reserve(buffer_of(&out), n * w);
    for (uint32_t i = 0; i < n; i++, o += w) {
        const uint8_t* x = element_address(a, i);
        const uint8_t* y = element_address(b, i);
        if (is_float_type(type)) put_float(o, w, float_::arith_op(float_at(x, wa), float_at(y, wb), op));
        else put_int(o, w, int_op(whole_at(x, type, wa), whole_at(y, type, wb), op));
    }
    cell::set_series_index(a, 0);
    cell::set_series_node(a, cell::series_node(&out));
}

void do_math(int32_t op) {
    Cell* v = stack::arg(0);
    Cell* other = stack::arg(1);
    if (cell::type(other) == T_VECTOR) with_vector(v, other, op);
    else with_scalar(v, other, op, false);
}

}  // namespace

const Cell* arithmetic(int32_t op, Cell* v, Cell* scalar) {
    with_scalar(v, scalar, op, true);
    return v;
}

void add() { do_math(number::OP_ADD); }
void subtract() { do_math(number::OP_SUBTRACT); }
void multiply() { do_math(number::OP_MULTIPLY); }
void divide() { do_math(number::OP_DIVIDE); }
void remainder() { do_math(number::OP_REMAINDER); }
void or_() { do_math(number::OP_OR); }
void and_() { do_math(number::OP_AND); }
void xor_() { do_math(number::OP_XOR); }

}  // namespace vector
}  // namespace zel
