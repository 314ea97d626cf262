// unset!, none! and logic!: the three simplest datatypes, the shared static
// cells that stand for unset, none, true and false, and the truth tests every
// condition goes through (a value is true unless it is none or false).
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {

namespace unset {
void init();
Cell* append_new(const Cell* block);
// A new unset on the value stack; the current call's result made unset.
Cell* push();
void set_result();
const Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
}  // namespace unset

namespace none {
void init();
Cell* append_new(const Cell* block);
Cell* push();
void set_result();
const Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
// clear, remove, take, find and select of none answer none; length? -1, which
// the action turns into none.
const Cell* clear(Cell* value);
int32_t length(Cell* value);
}  // namespace none

namespace logic {

// Operations of the bitwise actions, in the order of their action ids.
enum Bitwise : int { BIT_AND, BIT_OR, BIT_XOR };

void init();
Cell* append_new(const Cell* block, bool b);
Cell* push(bool b);
void set_result(bool b);

// The truth of a value: false for none and false only.
[[gnu::always_inline]] inline bool is_truthy(const Cell* v) {
    uint32_t t = cell::type(v);
    return !(t == T_NONE || (t == T_LOGIC && !cell::get_logic(v)));
}
// The plain test: unset counts as true, unless error is set, which raises
// script error no-value for it.
bool check_type(const Cell* value, bool error);
// The condition test of either, while, until and case on a result: unset
// raises script error no-return.
[[noreturn]] void no_return();
inline bool check_condition(const Cell* result) {
    if (cell::type(result) == T_UNSET) no_return();
    return is_truthy(result);
}
inline bool is_result_false(const Cell* result) { return !is_truthy(result); }

const Cell* make(Cell* proto, Cell* spec, uint32_t type);
const Cell* to(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
const Cell* complement(Cell* value);
// and~, or~, xor~ of two operand cells: the right one must be a logic!, else
// script error expect-arg; the left one receives the result.
void bitwise(Cell* left, const Cell* right, Bitwise op);

}  // namespace logic
}  // namespace zel
