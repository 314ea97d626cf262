// The 62 polymorphic actions: their ids, the shape of each implementation, and
// the action row that the datatype registry keeps per type.
//
// A row is a struct of typed function pointers, one member per action in id
// order, so that dispatch is one table read and a datatype module that gives
// an implementation of the wrong shape does not compile. Implementations take
// one of three shapes:
//   - frame only (arithmetic, navigation): no arguments; the routine reads its
//     operands from the current call frame and writes the result slot;
//   - value in, result out: the first argument;
//   - arguments and refinements: the argument cells and then, in spec order,
//     one parameter per refinement: a bool flag for a refinement without an
//     argument, the argument cell (null when the refinement is absent) for one
//     with an argument.
// A routine that answers a cell gives it to the caller to copy into the result
// slot; null means the routine wrote the result slot itself.
#pragma once
#include <cstddef>
#include <cstdint>

#include "kernel/cell.h"

namespace zel {

// Shapes of the implementations.
using FrameFn = void (*)();
using ValueFn = const Cell* (*)(Cell* value);
using CountFn = int32_t (*)(Cell* value);  // even?, odd? (non-zero: true), length? (-1: none)
using MakeFn = const Cell* (*)(Cell* proto, Cell* spec, uint32_t type);
using RandomFn = const Cell* (*)(Cell* value, bool seed, bool secure, bool only);
using ReflectFn = const Cell* (*)(Cell* value, uint32_t field_symbol);
// form and mold append to the buffer string and answer the limit less the
// characters appended.
using FormFn = int32_t (*)(Cell* value, Cell* buffer, Cell* part, int32_t limit);
using MoldFn = int32_t (*)(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
                           int32_t limit, int32_t indent);
// One step of a path: the parent value, the element, the value to store (null
// for a get), the path, the value and element of the step before, the
// element's position, and the case, get, last-element and notify flags.
using PathFn = const Cell* (*)(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                               Cell* prev_element, int32_t index, bool case_, bool get, bool last,
                               bool notify);
// Answers 0 equal, other values by the op's order, -2 when the two cannot be
// compared (comparison ops: 0 equal ... 12, see the dispatch layer).
using CompareFn = int32_t (*)(Cell* value1, Cell* value2, int32_t op);
using RoundFn = const Cell* (*)(Cell* value, Cell* scale, bool even, bool down, bool half_down,
                                bool floor, bool ceiling, bool half_ceiling);
// append and insert share one shape (one routine may fill both slots): the
// /part length (-1 without /part) and the /dup count (1 without /dup) arrive
// normalised, and the append flag tells the two apart.
using InsertFn = const Cell* (*)(Cell* series, Cell* value, int32_t part, bool only, int32_t dup,
                                 bool append);
using ChangeFn = const Cell* (*)(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
using CopyFn = const Cell* (*)(Cell* value, Cell* part, bool deep, Cell* types);
using FindFn = const Cell* (*)(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                               bool any, Cell* with, Cell* skip, bool last, bool reverse, bool tail,
                               bool match);
using SelectFn = const Cell* (*)(Cell* series, Cell* value, Cell* part, bool only, bool case_,
                                 bool same, bool any, Cell* with, Cell* skip, bool last, bool reverse);
using MoveFn = const Cell* (*)(Cell* origin, Cell* target, Cell* part);
// The index arrives as a number (true 1, false 2, integer or char its value,
// else 0) beside the index cell as given.
using PickFn = const Cell* (*)(Cell* series, int32_t index, Cell* index_cell);
using PokeFn = const Cell* (*)(Cell* series, int32_t index, Cell* index_cell, Cell* value);
using PutFn = const Cell* (*)(Cell* series, Cell* key, Cell* value, bool case_);
using RemoveFn = const Cell* (*)(Cell* series, Cell* part, Cell* key);
using ReverseFn = const Cell* (*)(Cell* series, Cell* part, Cell* skip);
using SortFn = const Cell* (*)(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part,
                               bool all, bool reverse, bool stable);
using SwapFn = const Cell* (*)(Cell* series1, Cell* series2);
using TakeFn = const Cell* (*)(Cell* series, Cell* part, bool deep, bool last);
using TrimFn = const Cell* (*)(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all,
                               Cell* with);
using ModifyFn = const Cell* (*)(Cell* target, Cell* field, Cell* value, bool case_);
using OpenFn = const Cell* (*)(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow);
using ReadFn = const Cell* (*)(Cell* source, Cell* part, Cell* seek, bool binary, bool lines,
                               bool info, Cell* as);
using RenameFn = const Cell* (*)(Cell* from, Cell* to);
using WriteFn = const Cell* (*)(Cell* destination, Cell* data, bool binary, bool lines, bool info,
                                bool append, Cell* part, Cell* seek, Cell* allow, Cell* as);

// The actions in id order: X(member, id, shape). The id is the slot number
// plus one. eval-path, set-path and compare have no word of their own.
#define ZEL_ACTIONS(X)                                                                          \
    X(make, 1, MakeFn) X(random, 2, RandomFn) X(reflect, 3, ReflectFn) X(to, 4, MakeFn)         \
    X(form, 5, FormFn) X(mold, 6, MoldFn) X(eval_path, 7, PathFn) X(set_path, 8, PathFn)        \
    X(compare, 9, CompareFn) X(absolute, 10, FrameFn) X(add, 11, FrameFn)                       \
    X(divide, 12, FrameFn) X(multiply, 13, FrameFn) X(negate, 14, ValueFn)                      \
    X(power, 15, FrameFn) X(remainder, 16, FrameFn) X(round, 17, RoundFn)                       \
    X(subtract, 18, FrameFn) X(is_even, 19, CountFn) X(is_odd, 20, CountFn)                     \
    X(and_, 21, FrameFn) X(complement, 22, ValueFn) X(or_, 23, FrameFn) X(xor_, 24, FrameFn)    \
    X(append, 25, InsertFn) X(at, 26, FrameFn) X(back, 27, FrameFn) X(change, 28, ChangeFn)     \
    X(clear, 29, ValueFn) X(copy, 30, CopyFn) X(find, 31, FindFn) X(head, 32, FrameFn)          \
    X(is_head, 33, FrameFn) X(is_index, 34, FrameFn) X(insert, 35, InsertFn)                    \
    X(is_length, 36, CountFn) X(move, 37, MoveFn) X(next, 38, FrameFn) X(pick, 39, PickFn)      \
    X(poke, 40, PokeFn) X(put, 41, PutFn) X(remove, 42, RemoveFn) X(reverse, 43, ReverseFn)     \
    X(select, 44, SelectFn) X(sort, 45, SortFn) X(skip, 46, FrameFn) X(swap, 47, SwapFn)        \
    X(tail, 48, FrameFn) X(is_tail, 49, FrameFn) X(take, 50, TakeFn) X(trim, 51, TrimFn)        \
    X(create, 52, ValueFn) X(close, 53, ValueFn) X(delete_, 54, ValueFn)                        \
    X(modify, 55, ModifyFn) X(open, 56, OpenFn) X(is_open, 57, ValueFn) X(query, 58, ValueFn)   \
    X(read, 59, ReadFn) X(rename, 60, RenameFn) X(update, 61, ValueFn) X(write, 62, WriteFn)

enum ActionId : uint32_t {
#define ZEL_ACTION_ID(member, id, shape) ACT_##member = id,
    ZEL_ACTIONS(ZEL_ACTION_ID)
#undef ZEL_ACTION_ID
    ACTION_COUNT = 62,
};

// The implementations of one type, inheritance already resolved; a null
// member is an action the type does not support.
struct ActionRow {
#define ZEL_ACTION_MEMBER(member, id, shape) shape member;
    ZEL_ACTIONS(ZEL_ACTION_MEMBER)
#undef ZEL_ACTION_MEMBER
};

// Every slot sits at its id less one and there are exactly ACTION_COUNT of them.
static_assert(sizeof(ActionRow) == ACTION_COUNT * sizeof(FrameFn), "an action row has 62 slots");
#define ZEL_ACTION_PLACE(member, id, shape) \
    static_assert(offsetof(ActionRow, member) == (id - 1) * sizeof(FrameFn), "action out of order");
ZEL_ACTIONS(ZEL_ACTION_PLACE)
#undef ZEL_ACTION_PLACE

// The shape and the row member of each action id, for typed lookups.
template <uint32_t id>
struct ActionSlot;
#define ZEL_ACTION_SLOT(member_, id, shape)                            \
    template <>                                                        \
    struct ActionSlot<id> {                                            \
        using Fn = shape;                                              \
        static constexpr Fn ActionRow::*member = &ActionRow::member_; \
    };
ZEL_ACTIONS(ZEL_ACTION_SLOT)
#undef ZEL_ACTION_SLOT

// A slot of a registration table: an implementation, not supported (null), or
// INHERIT, which copies the parent's implementation as it stands when the
// table is registered.
struct Inherit {};
inline constexpr Inherit INHERIT{};

template <class F>
struct Slot {
    F fn = nullptr;
    bool inherit = false;
    constexpr Slot() = default;
    constexpr Slot(F f) : fn(f) {}
    constexpr Slot(std::nullptr_t) {}
    constexpr Slot(Inherit) : inherit(true) {}
};

// The registration table of one datatype, written with designated initialisers
// in slot order; slots left out are not supported:
//   TypeTable{.id = T_LOGIC, .name = "logic!", .make = logic::make, ...}
struct TypeTable {
    uint32_t id;
    uint32_t parent = 0;  // 0 for none
    const char* name = nullptr;  // with its "!"
#define ZEL_ACTION_SLOT(member, id, shape) Slot<shape> member{};
    ZEL_ACTIONS(ZEL_ACTION_SLOT)
#undef ZEL_ACTION_SLOT
};

}  // namespace zel
