// native!, action! and op!: the callables implemented in C++, and the infix
// form of any two-argument callable.
//
// A native! or action! cell holds in w1 its 1-based index in the native table
// (below) or its action id (the action table, core/dispatch.h), in w2
// the node of its spec block and in w3 the node of an extra block of
// EXTRA_CELLS cells: none (a native has no context, and its first cell is a
// function's body in the layout the two share), then the argument list the
// evaluator prepares from the spec on the first call (none until then).
//
// An op! is a copy of the callable it was made from, with type op! in the
// type byte and the callable's own type id in header bits 16-23; its payload
// is the callable's, so an op made from a function! or routine! holds that
// function's context, spec and extra block (whose op-self cell receives a
// copy of the function when the op is made).
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {

// The native table: the C++ routines of the natives, filled once at start-up
// in native-index order (native n in slot n - 1). A native routine works on
// the current call frame like an action entry: argument k is the cell k above
// the arguments base, which is also the result slot. It takes the check flag
// (set by callers that did not check the argument types against the spec) and
// one position per refinement of its spec, in spec order: -1 when the
// refinement is not used, else the frame position of its first argument.
namespace natives {

constexpr uint32_t TABLE_SLOTS = 120;

using Routine = void (*)(bool check, const int32_t* refinements);

struct Table {
    Routine slots[TABLE_SLOTS];
    uint32_t fill;  // the index the next registered routine receives
};
extern Table table;

// Stores the routines in order from the fill position on, so the n-th
// routine ever registered gets native index n. Registering past the last
// slot is a fault of the program (fatal runtime error 101).
void register_(uint32_t count, const Routine* list);
// The routine of a native index, or null when the slot is empty or the index
// lies outside 1 to TABLE_SLOTS.
inline Routine routine(uint32_t index) {
    return index >= 1 && index <= TABLE_SLOTS ? table.slots[index - 1] : nullptr;
}

}  // namespace natives

namespace native {

// Positions in the extra block of a native! or action!.
enum Extra : uint32_t { EXTRA_NONE = 0, EXTRA_ARGS = 1, EXTRA_CELLS = 2 };

// The cell becomes a native! or action! (type) of the index with the spec
// block; the spec is used itself, not copied.
void write_cell(Cell* c, uint32_t type, uint32_t index, const Cell* spec);
// The first cell of a callable's extra block; good until the block changes.
Cell* extra(const Cell* callable);
// Records the native! or action! that start-up keeps in the root block at
// root_index. A value made later for the same routine is called with that
// value's argument list, so its frame holds the cells the routine reads
// whatever spec it was made from.
void keep_bound(uint32_t root_index);
// The value kept for a native index (type native!) or action id (action!),
// or null when start-up bound none.
const Cell* bound_value(uint32_t type, uint32_t index);

void init();
const Cell* make(Cell* proto, Cell* spec, uint32_t type);
// spec, and body: the native index, the action id, or the body of the
// function an op was made from. Used by action! and op! too.
const Cell* reflect(Cell* value, uint32_t field_symbol);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);

}  // namespace native

namespace action {
void init();
const Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
}  // namespace action

namespace op {

// The type id of the callable an op was made from.
inline uint32_t wrapped_type(const Cell* op) { return (op->header & HDR_OP_TYPE_MASK) >> HDR_OP_TYPE_SHIFT; }

// True when the spec block (from its head) fits an infix operator: exactly
// two arguments, the first not quoted, no refinement but /local or /extern.
bool is_valid_spec(Node spec);

void init();
const Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);

}  // namespace op
}  // namespace zel
