// block! searching, sorting and set operations: the find, select, put and sort
// actions that every cell series shares (paren!, hash! and the path types take
// them by inheritance), the set operations behind unique, union, intersect,
// exclude and difference, and the path step of blocks.
//
// With /skip n a block is read as records of n cells: searches and set
// operations look at the first cell (the key) of each record, sorting moves
// whole records. Values are compared through their type's compare action.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace block {

// ---- searching ------------------------------------------------------------------
// The refinements of find and select, in the order of their spec.
//
// find answers the series cell it was given, its index moved to the match (or
// past it with /tail), or none. select answers the value after the match (a
// cell of the block, to be copied at once) or none. /any and /with change
// nothing for blocks.
const Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
                 Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
const Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
                   Cell* with, Cell* skip, bool last, bool reverse);
// Stores the value after the key (appending key and value when the key is
// missing) and answers the value.
const Cell* put(Cell* series, Cell* key, Cell* value, bool case_);

// The path step of every cell series: an integer element picks (get) or pokes
// (set); a word selects by its symbol, other elements select with /only; a set
// finds the element and stores the value in the cell after it.
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t index, bool case_, bool get, bool last, bool notify);

// ---- sorting --------------------------------------------------------------------
// Sorts in place from the index; answers the series (moved back to the first
// sorted cell for a negative /part). A sort that calls a comparator function
// works on a rooted copy and stores it back only when it completes, so an
// error or an exit from the comparator leaves the block as it was.
const Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
                 bool reverse, bool stable);

// Calls a comparator function with two values and answers its result cell. The
// function layer installs it; it runs the evaluator through
// exits::raise_pending, so that break, return and the rest leave the sort as
// exceptions and sort turns them back into the pending exit.
using CompareCaller = const Cell* (*)(const Cell* function, const Cell* first, const Cell* second);
void set_compare_caller(CompareCaller caller);

// Flags word of the comparators (the kernel sort's second context word).
enum SortFlags : uint32_t {
    SORT_REVERSE = 1u,  // exchange the operands
    SORT_ALL = 2u,      // compare every field of the record in turn
    SORT_FIELD_SHIFT = 2,  // above: the field offset (/compare n) or the record size (/all)
};
// The comparators handed to the kernel sort. Context 1 is the comparison op
// (7, or 8 for case-sensitive) for the first, the function cell for the second.
int32_t sort_compare_records(const void* a, const void* b, uintptr_t op, uintptr_t flags);
int32_t sort_call_compare(const void* a, const void* b, uintptr_t function, uintptr_t flags);

// ---- set operations -------------------------------------------------------------
enum SetOp : int32_t {
    SET_UNIQUE = 8, SET_UNION = 9, SET_INTERSECT = 10, SET_EXCLUDE = 11, SET_DIFFERENCE = 12,
};
// Works on the current frame's first two argument cells (one for unique): the
// result, a new series at index 0 keeping the first occurrence of each key in
// the order met, replaces the first argument and is answered. skip is the
// record size (null for 1).
const Cell* do_set_op(int32_t op, bool case_, Cell* skip);
// The same on two given cells (second is null for unique); the result
// replaces first, which is answered.
const Cell* set_operation(int32_t op, Cell* first, Cell* second, bool case_, Cell* skip);

}  // namespace block
}  // namespace zel
