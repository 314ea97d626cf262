// Where a value selected by a path walk lives: the path's head word, a field
// of an object, or a cell of an any-block. A set through a path whose last
// step changes a scalar in place (the hour of a time!, a pair!'s x ...) works
// on the walk's copy of that scalar; the walk puts the changed copy back
// through the slot. A slot holds node handles and indexes, never pointers
// into buffers, since a paren element evaluates code between the steps.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace path_slot {

enum Kind : uint8_t { NOWHERE, WORD, FIELD, CELL };

struct Slot {
    Kind kind;
    Cell* word;      // WORD: the head word, owned by the walk
    Cell holder;     // FIELD: the object; CELL: the any-block (a hash! keeps its table here)
    uint32_t index;  // FIELD: the field; CELL: the cell, counted from the buffer's start
};

inline Slot nowhere() { return Slot{NOWHERE, nullptr, Cell{}, 0}; }
inline Slot of_word(Cell* word) { return Slot{WORD, word, Cell{}, 0}; }

// The slot of the value an eval-path step answered: answer is where the step
// found it (read before anything evaluates), parent and element the step's.
Slot located(const Cell* parent, const Cell* element, const Cell* answer);

// Puts the changed value back where it was selected from, when that slot
// still exists and still holds the old value: a paren element may have
// shortened the block meanwhile, and an on-change* handler that heard of the
// change may have stored a value of its own, which stays.
void write_back(const Slot& slot, const Cell* old_value, const Cell* value);

}  // namespace path_slot
}  // namespace zel
