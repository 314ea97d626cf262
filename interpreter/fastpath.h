// Fast paths: the commonest operand types of the operators, of selection by
// integer and of block navigation, handled inline instead of through the
// generic actions, with exactly the generic answer. The evaluator takes them
// for every action and comparison native it calls; anything else goes to
// the generic action.
//
// The inline cases allocate nothing, push nothing and open no call frame.
#pragma once
#include <cstdint>
#include <cstring>

#include "core/dispatch.h"
#include "kernel/cell.h"

namespace zel {
namespace actions {

// Writes a whole cell with one 16-byte store. A cell written field by field
// and then copied whole (as the next push or assignment does) makes the copy
// wait until every piece has reached the cache; a cell written whole is
// forwarded to the copy at once. The fast paths write their answers so.
inline void store_cell(Cell* out, uint32_t header, uint32_t w1, uint32_t w2, uint32_t w3) {
    typedef uint32_t Words __attribute__((vector_size(16)));
    Words words = {header, w1, w2, w3};
    std::memcpy(out, &words, sizeof words);
}
// A copy of from with its third word replaced (an integer's answer over
// its left operand): one 16-byte load, one word put in, one 16-byte store.
// Only for a cell written whole (or not written) just before: a 16-byte
// load of a cell written word by word waits until those stores retire.
inline void store_with_w2(Cell* out, const Cell* from, uint32_t w2) {
    typedef uint32_t Words __attribute__((vector_size(16)));
    Words words;
    std::memcpy(&words, from, sizeof words);
    words[2] = w2;
    std::memcpy(out, &words, sizeof words);
}
// make_integer and make_logic as whole stores: the other payload words keep
// what the cell held.
inline void store_integer(Cell* out, int32_t v) { store_cell(out, T_INTEGER, out->w1, uint32_t(v), out->w3); }
inline void store_logic(Cell* out, bool b) { store_cell(out, T_LOGIC, b ? 1 : 0, out->w2, out->w3); }

// Operation codes of the arithmetic family.
enum ArithOp : uint32_t { ARITH_ADD = 0, ARITH_SUBTRACT = 1, ARITH_MULTIPLY = 2, ARITH_DIVIDE = 3,
                          ARITH_REMAINDER = 4, ARITH_OR = 5, ARITH_AND = 6, ARITH_XOR = 7 };

// The inline cores: true when they wrote the answer into out (which may be
// the left operand itself).
// Two integer!s (add, subtract and multiply give a float! on overflow, divide
// a float! when it leaves a remainder; or, and, xor are bitwise), or two
// numbers of which one is a float! under the first five ops, computed in
// floating point. A zero divisor and the one quotient out of range are left
// to the generic action, which raises the error.
bool arith_inline(uint32_t op, const Cell* left, const Cell* right, Cell* out);
// Two integer!s under the comparison ops 0-6 (inline: the evaluator's
// commonest operator after +).
[[gnu::always_inline]] inline bool compare_inline(int32_t op, const Cell* left, const Cell* right, bool* answer) {
    if (cell::type(left) != T_INTEGER || cell::type(right) != T_INTEGER) return false;
    int32_t a = cell::get_int(left), b = cell::get_int(right);
    switch (op) {
    case OP_EQUAL:
    case OP_STRICT_EQUAL: *answer = a == b; return true;
    case OP_NOT_EQUAL: *answer = a != b; return true;
    case OP_LESSER: *answer = a < b; return true;
    case OP_LESSER_OR_EQUAL: *answer = a <= b; return true;
    case OP_GREATER: *answer = a > b; return true;
    case OP_GREATER_OR_EQUAL: *answer = a >= b; return true;
    default: return false;
    }
}
// block! selection of an integer index from 1 to the values left.
bool select_inline(const Cell* value, int32_t index, Cell* out);
// block! navigation and queries, op codes as below.
bool query_inline(const Cell* value, uint32_t op, Cell* out);

// The navigation and query op codes of query_inline.
enum QueryOp : uint32_t { Q_LENGTH = 1, Q_INDEX = 2, Q_IS_HEAD = 3, Q_IS_TAIL = 4, Q_NEXT = 5,
                          Q_BACK = 6, Q_HEAD = 7, Q_TAIL = 8 };

}  // namespace actions
}  // namespace zel
