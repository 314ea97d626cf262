// Action dispatch: the layer between a call of one of the 62 polymorphic
// actions and the implementation that the first argument's datatype keeps in
// its action row (core/actions.h).
//
// The action table holds one entry routine per action id; an action! value
// names its id and the evaluator calls table[id - 1]. An entry works on the
// current call frame: argument k is the cell k above the arguments base (the
// first argument is the result slot) and the entry receives one integer per
// refinement of the action's spec, in spec order: the position of the
// refinement's argument (of the refinement itself when it has none) counted
// in cells from the base, or -1 when the refinement is not used. The entry
// looks the implementation up (one table read), turns the positions into the
// flags and cells the implementation takes, calls it and leaves the result in
// the result slot. A type without the action raises script error expect-arg.
//
// The table has no entry for eval-path, set-path and compare, which no word
// names: eval_path_dispatch and compare below are called directly.
//
// A port! whose actor is a handle! takes the actions from append (id 25) on
// from the native actor row the handle names (add_port_actor).
#pragma once
#include <cstdint>
#include <initializer_list>

#include "core/actions.h"
#include "core/datatype.h"
#include "core/type_groups.h"
#include "kernel/memory.h"
#include "kernel/cell.h"

namespace zel {
namespace actions {

using Entry = void (*)(const int32_t* refinements);
extern Entry table[ACTION_COUNT];
// The most refinements a call of a native or action is gathered with, and
// the positions of a call that uses none of them.
constexpr uint32_t MAX_REFINEMENTS = 64;
struct NoRefinements {
    int32_t refs[MAX_REFINEMENTS];
    constexpr NoRefinements() : refs{} {
        for (int32_t& r : refs) r = -1;
    }
};
inline constexpr NoRefinements NO_REFINEMENTS;
// The same entries for a call that uses none of the refinements (the
// evaluator's plain calls): each is its entry with the positions known to
// be unused, so that no refinement is read and none is passed on as more
// than a constant. The argument is not read.
extern Entry plain_table[ACTION_COUNT];

// Fills the action table and makes hash tables compare keys through the
// compare action.
void init_table();
void copy_entries(const Entry* list);

// ---- lookup -------------------------------------------------------------------
// A port's row when its actor is native, else null (out of line: ports are
// few).
const ActionRow* port_row(const Cell* value, bool* from_actor);

// The actions that may write the cells of their first argument.
struct Writers {
    bool of[ACTION_COUNT + 1];
    constexpr Writers() : of{} {
        for (uint32_t id : {ACT_random, ACT_set_path, ACT_append, ACT_change, ACT_clear, ACT_insert, ACT_move, ACT_poke,
                            ACT_put, ACT_remove, ACT_reverse, ACT_sort, ACT_swap, ACT_take, ACT_trim, ACT_modify})
            of[id] = true;
    }
};
inline constexpr Writers WRITERS;

// The row that answers action id for a value of the type: for the port
// actions of a port whose actor is a handle!, that native actor's row (and
// from_actor set); else the type's row. Every block action is found here,
// so a writer unprepares its block here.
inline const ActionRow& row_for(const Cell* value, uint32_t type, uint32_t id, bool* from_actor) {
    *from_actor = false;
    if (id <= ACTION_COUNT && WRITERS.of[id] && types::is_any_block(type))
        series::unprepare(node::buffer(cell::series_node(value)));
    if (type == T_PORT && id >= ACT_append) {
        if (const ActionRow* actor = port_row(value, from_actor)) return *actor;
    }
    return types::row(type);
}
// A row without the implementation: access no-port-action for an actor's
// row, else expect-arg for the type.
[[noreturn]] void raise_missing(uint32_t type, bool from_actor);

// The implementation of action id for the value taken as the type (the port
// rule first), in the action's own shape; raise_missing when there is none.
template <uint32_t id>
typename ActionSlot<id>::Fn lookup_for_value(uint32_t type, const Cell* value) {
    bool from_actor;
    auto fn = row_for(value, type, id, &from_actor).*ActionSlot<id>::member;
    if (!fn) raise_missing(type, from_actor);
    return fn;
}
template <uint32_t id>
typename ActionSlot<id>::Fn lookup(const Cell* value) {
    return lookup_for_value<id>(cell::type(value), value);
}
// The eval-path implementation of the value's type: no port rule; a missing
// one raises bad-path-type2 (no path given) or bad-path-type.
PathFn eval_path_of(const Cell* value, const Cell* path, const Cell* element, int32_t index);

// Native port actors: answers the handle value that names the row (0 when
// there is no room left).
uint32_t add_port_actor(const ActionRow* row);

// ---- entries ------------------------------------------------------------------
// Named as the members of the action row.
#define ZEL_ACTION_ENTRIES(X)                                                                       \
    X(make) X(random) X(reflect) X(to) X(form) X(mold) X(absolute) X(add) X(divide) X(multiply)     \
    X(negate) X(power) X(remainder) X(round) X(subtract) X(is_even) X(is_odd) X(and_)               \
    X(complement) X(or_) X(xor_) X(append) X(at) X(back) X(change) X(clear) X(copy) X(find)         \
    X(head) X(is_head) X(is_index) X(insert) X(is_length) X(move) X(next) X(pick) X(poke) X(put)    \
    X(remove) X(reverse) X(select) X(sort) X(skip) X(swap) X(tail) X(is_tail) X(take) X(trim)      \
    X(create) X(close) X(delete_) X(modify) X(open) X(is_open) X(query) X(read) X(rename)          \
    X(update) X(write)
#define ZEL_ACTION_ENTRY(member) void member(const int32_t* refinements);
ZEL_ACTION_ENTRIES(ZEL_ACTION_ENTRY)
#undef ZEL_ACTION_ENTRY

// ---- dispatch for callers that hold the arguments ------------------------------
int32_t form_dispatch(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold_dispatch(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
                      int32_t limit, int32_t indent);
const Cell* copy_dispatch(Cell* value, Cell* part, bool deep, Cell* types);
const Cell* find_dispatch(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                          bool any, Cell* with, Cell* skip, bool last, bool reverse, bool tail,
                          bool match);
const Cell* poke_dispatch(Cell* series, Cell* index, Cell* value);
const Cell* open_dispatch(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow);
const Cell* eval_path_dispatch(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                               Cell* prev_element, int32_t index, bool case_, bool get, bool last,
                               bool notify);

// ---- comparison ---------------------------------------------------------------
// Comparison ops given to a type's compare implementation.
enum CompareOp : int32_t {
    OP_EQUAL = 0, OP_NOT_EQUAL = 1, OP_STRICT_EQUAL = 2, OP_LESSER = 3, OP_LESSER_OR_EQUAL = 4,
    OP_GREATER = 5, OP_GREATER_OR_EQUAL = 6, OP_SORT = 7, OP_SORT_CASE = 8, OP_SAME = 9,
    OP_WORD_MATCH = 10, OP_WORD_MATCH_ALT = 11, OP_FIND = 12,
};
// The answer of a compare implementation for values that cannot be compared.
constexpr int32_t NOT_COMPARABLE = -2;

// The compare entry: ops 0-6 and 9-12. Values that cannot be compared raise
// invalid-compare under an ordering and are different under the others.
bool compare(Cell* value1, Cell* value2, int32_t op);
// Compares the frame's first two arguments into a logic! result.
void compare_to_logic(int32_t op);
// The raw three-way answer (-2: cannot be compared).
int32_t compare_values(Cell* value1, Cell* value2, int32_t op);

}  // namespace actions
}  // namespace zel
