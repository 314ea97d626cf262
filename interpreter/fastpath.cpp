// Fast paths of the operators, of integer selection and of block navigation:
// the inline cases, and the generic fallback through a native frame.
#include "interpreter/fastpath.h"

#include <cmath>

#include "core/actions.h"
#include "core/type_groups.h"
#include "interpreter/actions.h"
#include "interpreter/stack.h"
#include "kernel/memory.h"
#include "kernel/runtime.h"

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
    case Q_NEXT: moved.w1 = uint32_t(at < length ? at + 1 : at); break;
    case Q_BACK: moved.w1 = uint32_t(at > 0 ? at - 1 : 0); break;
    case Q_HEAD: moved.w1 = 0; break;
    case Q_TAIL: moved.w1 = uint32_t(length); break;
    default: return false;
    }
    *out = moved;
    return true;
}

// ---- the generic fallback -----------------------------------------------------------

// Runs the action entry on the operands under a native frame named by the
// word; the answer is left as the top value.
static void generic(const Cell* word, const Cell* left, const Cell* right, void (*run)(const void*),
                    const void* context) {
    Cell l = *left, r{};
    if (right) r = *right;
    stack::enter_native(word);
    stack::push(&l);
    if (right) stack::push(&r);
    run(context);
    stack::leave();
}

static void run_entry(const void* entry) {
    static const int32_t none[1] = {-1};
    (*static_cast<const Entry*>(entry))(none);
}

[[noreturn]] static void bad_op() { runtime::error_report(101, reinterpret_cast<uintptr_t>(&bad_op)); }

static const Entry* arith_entry(uint32_t op) {
    static const uint32_t ids[] = {ACT_add, ACT_subtract, ACT_multiply, ACT_divide, ACT_remainder,
                                   ACT_or_, ACT_and_, ACT_xor_};
    if (op >= sizeof ids / sizeof ids[0] || ids[op] == 0) bad_op();
    return &table[ids[op] - 1];
}

// ---- arithmetic -----------------------------------------------------------------------

void arith_fast_path_a(uint32_t op, const Cell* left, const Cell* right, const Cell* word) {
    const Entry* entry = arith_entry(op);
    Cell out;
    if (arith_inline(op, left, right, &out)) {
        stack::push(&out);
        return;
    }
    generic(word, left, right, run_entry, entry);
}

void arith_fast_path_b(uint32_t op, const Cell* left, int32_t right, const Cell* word) {
    Cell r;
    cell::make_integer(&r, right);
    arith_fast_path_a(op, left, &r, word);
}

void arith_fast_path_c(uint32_t op, const Cell* right, const Cell* word) {
    Cell left = *stack::top();
    stack::pop(1);
    arith_fast_path_a(op, &left, right, word);
}

void arith_fast_path_d(uint32_t op, int32_t right, const Cell* word) {
    Cell r;
    cell::make_integer(&r, right);
    arith_fast_path_c(op, &r, word);
}

// ---- comparison -----------------------------------------------------------------------

static void run_compare(const void* op) { compare_to_logic(*static_cast<const int32_t*>(op)); }

static bool compare_answer(int32_t op, const Cell* left, const Cell* right, const Cell* word) {
    if (op < OP_EQUAL || op > OP_GREATER_OR_EQUAL) bad_op();
    bool answer;
    if (compare_inline(op, left, right, &answer)) return answer;
    generic(word, left, right, run_compare, &op);
    answer = stack::top()->w1 != 0;
    stack::pop(1);
    return answer;
}

void compare_fast_path_a(int32_t op, const Cell* left, const Cell* right, const Cell* word) {
    cell::make_logic(stack::push_slot(), compare_answer(op, left, right, word));
}

void compare_fast_path_b(int32_t op, const Cell* left, int32_t right, const Cell* word) {
    cell::make_logic(stack::push_slot(), compare_fast_path_f(op, left, right, word));
}

void compare_fast_path_c(int32_t op, const Cell* right, const Cell* word) {
    cell::make_logic(stack::push_slot(), compare_fast_path_g(op, right, word));
}

void compare_fast_path_d(int32_t op, int32_t right, const Cell* word) {
    cell::make_logic(stack::push_slot(), compare_fast_path_h(op, right, word));
}

bool compare_fast_path_e(int32_t op, const Cell* left, const Cell* right, const Cell* word) {
    return compare_answer(op, left, right, word);
}

bool compare_fast_path_f(int32_t op, const Cell* left, int32_t right, const Cell* word) {
    Cell r;
    cell::make_integer(&r, right);
    return compare_answer(op, left, &r, word);
}

bool compare_fast_path_g(int32_t op, const Cell* right, const Cell* word) {
    Cell left = *stack::top();
    stack::pop(1);
    return compare_answer(op, &left, right, word);
}

bool compare_fast_path_h(int32_t op, int32_t right, const Cell* word) {
    Cell r;
    cell::make_integer(&r, right);
    return compare_fast_path_g(op, &r, word);
}

// ---- selection and navigation ------------------------------------------------------------

static void run_select(const void*) {
    Cell* base = stack::reg.base;
    *base = *eval_path_dispatch(base, base + 1, nullptr, nullptr, nullptr, nullptr, 0, false, true,
                                true, false);
}

void select_path_fast(const Cell* value, int32_t index, const Cell* word) {
    Cell out;
    if (select_inline(value, index, &out)) {
        stack::push(&out);
        return;
    }
    Cell element;
    cell::make_integer(&element, index);
    generic(word, value, &element, run_select, nullptr);
}

static void run_query(const void* op) {
    static const uint32_t ids[] = {0, ACT_is_length, ACT_is_index, ACT_is_head, ACT_is_tail,
                                   ACT_next, ACT_back, ACT_head, ACT_tail};
    run_entry(&table[ids[*static_cast<const uint32_t*>(op)] - 1]);
}

void series_query_fast(const Cell* value, uint32_t op, const Cell* word) {
    if (op < Q_LENGTH || op > Q_TAIL) bad_op();
    Cell out;
    if (query_inline(value, op, &out)) {
        stack::push(&out);
        return;
    }
    generic(word, value, nullptr, run_query, &op);
}

}  // namespace actions
}  // namespace zel
