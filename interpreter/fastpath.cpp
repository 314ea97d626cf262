// Fast paths of the operators, of integer selection and of block navigation:
// the inline cases, and the generic fallback through a native frame.
#include "interpreter/fastpath.h"

#include <cmath>

#include "core/actions.h"
#include "core/dispatch.h"
#include "core/type_groups.h"
#include "kernel/memory.h"

namespace zel {
namespace actions {

// ---- inline cores -------------------------------------------------------------------

// The answer replaces the left operand as the generic action does: the left
// cell's flags stay, only its type and payload change.
static void put_integer(const Cell* left, Cell* out, int32_t v) {
    store_cell(out, left->header, left->w1, uint32_t(v), left->w3);
}

static void put_float(const Cell* left, Cell* out, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    store_cell(out, (left->header & ~HDR_TYPE_MASK) | T_FLOAT, left->w1, uint32_t(bits), uint32_t(bits >> 32));
}

// Division and remainder of these operands are errors the action raises.
static bool divides(int32_t a, int32_t b) { return b != 0 && !(a == INT32_MIN && b == -1); }

static bool integer_arith(uint32_t op, const Cell* left, const Cell* right, Cell* out) {
    int32_t a = cell::get_int(left), b = cell::get_int(right), r;
    double fa = a, fb = b;
    switch (op) {
    case ARITH_ADD:
        if (__builtin_add_overflow(a, b, &r)) return put_float(left, out, fa + fb), true;
        break;
    case ARITH_SUBTRACT:
        if (__builtin_sub_overflow(a, b, &r)) return put_float(left, out, fa - fb), true;
        break;
    case ARITH_MULTIPLY:
        if (__builtin_mul_overflow(a, b, &r)) return put_float(left, out, fa * fb), true;
        break;
    case ARITH_DIVIDE:
        if (!divides(a, b)) return false;
        if (a % b != 0) return put_float(left, out, fa / fb), true;
        r = a / b;
        break;
    case ARITH_REMAINDER:
        if (!divides(a, b)) return false;
        r = a % b;
        break;
    case ARITH_OR: r = int32_t(uint32_t(a) | uint32_t(b)); break;
    case ARITH_AND: r = int32_t(uint32_t(a) & uint32_t(b)); break;
    case ARITH_XOR: r = int32_t(uint32_t(a) ^ uint32_t(b)); break;
    default: return false;
    }
    put_integer(left, out, r);
    return true;
}

static double number_of(const Cell* c) {
    return cell::type(c) == T_INTEGER ? double(cell::get_int(c)) : cell::get_float(c);
}

static bool float_arith(uint32_t op, const Cell* left, const Cell* right, Cell* out) {
    double a = number_of(left), b = number_of(right), r;
    switch (op) {
    case ARITH_ADD: r = a + b; break;
    case ARITH_SUBTRACT: r = a - b; break;
    case ARITH_MULTIPLY: r = a * b; break;
    case ARITH_DIVIDE: r = a / b; break;
    case ARITH_REMAINDER: r = std::fmod(a, b); break;
    default: return false;
    }
    put_float(left, out, r);
    return true;
}

bool arith_inline(uint32_t op, const Cell* left, const Cell* right, Cell* out) {
    uint32_t tl = cell::type(left), tr = cell::type(right);
    if (tl == T_INTEGER && tr == T_INTEGER) return integer_arith(op, left, right, out);
    if (types::in(types::INTEGER_OR_FLOAT, tl) && types::in(types::INTEGER_OR_FLOAT, tr)) return float_arith(op, left, right, out);
    return false;
}

// A block! whose position lies at or before its tail: the position and the
// live length, else false.
static bool block_position(const Cell* value, int32_t* index, int32_t* length) {
    if (cell::type(value) != T_BLOCK) return false;
    *index = cell::series_index(value);
    *length = int32_t(series::length(node::buffer(cell::series_node(value))));
    return *index >= 0 && *index <= *length;
}

bool select_inline(const Cell* value, int32_t index, Cell* out) {
    int32_t at, length;
    if (!block_position(value, &at, &length) || index < 1 || index > length - at) return false;
    *out = series::cells(node::buffer(cell::series_node(value)))[at + index - 1];
    return true;
}

bool query_inline(const Cell* value, uint32_t op, Cell* out) {
    int32_t at, length;
    if (!block_position(value, &at, &length)) return false;
    Cell moved = *value;
    switch (op) {
    case Q_LENGTH: store_integer(out, length - at); return true;
    case Q_INDEX: store_integer(out, at + 1); return true;
    case Q_IS_HEAD: store_logic(out, at == 0); return true;
    case Q_IS_TAIL: store_logic(out, at == length); return true;
    case Q_NEXT: cell::set_series_index(&moved, uint32_t(at < length ? at + 1 : at)); break;
    case Q_BACK: cell::set_series_index(&moved, uint32_t(at > 0 ? at - 1 : 0)); break;
    case Q_HEAD: cell::set_series_index(&moved, 0); break;
    case Q_TAIL: cell::set_series_index(&moved, uint32_t(length)); break;
    default: return false;
    }
    *out = moved;
    return true;
}

}  // namespace actions
}  // namespace zel
