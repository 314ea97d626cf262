// routine!: functions whose body is C++ code of the program, bound to words
// by the library at start-up. They cannot be made at run time.
//
// The C++ side is the routine table: each routine is registered once under a
// name and receives a 1-based index. A routine reads its arguments from the
// current call frame as a native does (argument k is the cell k above the
// arguments base, which is also the result slot) and leaves its result in
// the result slot; the call has checked the argument types against the spec.
//
// A routine cell: header type routine!, HDR_ROUTINE_CELLS when the builder
// asked for it, the number of word! cells of the spec in bits 25-29; w1 the
// node of a function context made from the spec (its owner cell holds a copy
// of the routine); w2 the node of the spec block; w3 the node of an extra
// block laid out as a function's (core/function.h): the body block kept for
// reflection or none, unset, the routine-table index as an integer!, unset,
// the builder's integer!.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace routine {

constexpr uint32_t HDR_ROUTINE_CELLS = 0x8000u;
constexpr uint32_t MAX_ARGS = HDR_ROUTINE_ARGC_MASK >> HDR_ROUTINE_ARGC_SHIFT;

// ---- the routine table --------------------------------------------------------
using Fn = void (*)();

struct Entry {
    const char* name;
    Fn fn;
};

constexpr uint32_t TABLE_SLOTS = 256;
constexpr uint32_t INDEX_SLOTS = 2 * TABLE_SLOTS;  // a power of two, at most half full

// The entries in order of registration, and an open-addressing index of them
// by name hash (0 an empty slot, else the entry's index): start-up registers
// every routine after asking whether its name is taken.
struct Table {
    Entry entries[TABLE_SLOTS];
    uint32_t count;
    uint16_t by_name[INDEX_SLOTS];
};
extern Table table;

// Enters the routine and answers its index (from 1). A second routine of the
// same name, or one past the last slot, is a fault of the program (fatal
// runtime error 101).
uint32_t register_(const char* name, Fn fn);
// The index of the routine registered under the name, or 0.
uint32_t find(const char* name);
// The entry of an index, or null when no routine has it.
inline const Entry* entry(uint32_t index) {
    return index >= 1 && index <= table.count ? &table.entries[index - 1] : nullptr;
}

// ---- routine! values ------------------------------------------------------------

// Builds the routine on the value-stack top and answers it: the spec (used
// itself, not copied), the body (null for none), the routine-table index, the
// builder's integer and whether the header takes HDR_ROUTINE_CELLS. More than
// MAX_ARGS word! cells in the spec raise bad-func-def.
Cell* make(const Cell* spec, const Cell* body, uint32_t index, int32_t builder, bool cells_flag);

// The argument count kept in the header.
inline uint32_t header_field(const Cell* c) {
    return (c->header & HDR_ROUTINE_ARGC_MASK) >> HDR_ROUTINE_ARGC_SHIFT;
}

void init();
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);

}  // namespace routine
}  // namespace zel
