// The natives: the built-in functions that are not actions, and how every
// native module hands its routines to the native table.
//
// Each native module (natives_control.cpp, natives_eval.cpp, natives_output.cpp,
// natives_math.cpp, natives_convert.cpp, natives_system.cpp) defines one Module: a table of
// NativeDef rows {native index, word, spec text, routine}. The spec text is the
// Zel source of the native's spec block without its outer brackets (doc
// string, arguments with their type blocks and doc strings, refinements,
// return:); the build loads it with the lexer into the boot image, which
// binds the native words at start-up.
//
// natives.cpp lists the modules in MODULES; a module that is built adds its
// one line there. init_table() fills the 120-slot table in index order from
// every listed module; an index no module defines stays null, and calling a
// native whose slot is null raises internal error not-callable (the
// evaluator tests the slot before every call).
//
// The calling convention is core/native.h's: argument k at stack::reg.base + k
// (the base is also the result slot); the check flag is set by callers that
// did not check the argument types (check_args() below does it from the
// spec); refinements[i] is -1 when refinement i is unused, else the frame
// position of its first argument.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/native.h"
#include "core/native_ids.h"
#include "kernel/cell.h"

namespace zel {
namespace natives {

// The count of natives the table defines (indexes 1 to COUNT).
constexpr uint32_t COUNT = NATIVE_COUNT;

struct NativeDef {
    uint32_t index;    // 1-based native index
    const char* name;  // the word, as the user writes it
    const char* spec;  // Zel source of the spec block's contents
    Routine routine;
};

constexpr bool same_word(const char* a, const char* b) {
    while (*a && *a == *b) a++, b++;
    return *a == *b;
}

// Whether a module's table names each native by its id and that id's word,
// in ascending id order; each module asserts it of its table.
template <size_t N>
constexpr bool matches_ids(const NativeDef (&defs)[N]) {
    for (size_t i = 0; i < N; i++) {
        uint32_t id = defs[i].index;
        if (id < 1 || id > NATIVE_COUNT || !same_word(defs[i].name, NATIVE_WORDS[id])) return false;
        if (i > 0 && defs[i - 1].index >= id) return false;
    }
    return true;
}

struct Module {
    const NativeDef* defs;
    uint32_t count;
};

// The modules' tables.
extern const Module module_control;  // natives_control.cpp
extern const Module module_eval;     // natives_eval.cpp
extern const Module module_output;   // natives_output.cpp
extern const Module module_math;     // natives_math.cpp
extern const Module module_convert;  // natives_convert.cpp
extern const Module module_system;   // natives_system.cpp

// The definition of a native index from the listed modules, or null.
const NativeDef* find(uint32_t index);

// Fills the native table in index order from the listed modules (a gap is a
// null slot) and appends the scratch block of print (room for 32 cells) to
// the root block. Idempotent.
void init_table();

// The scratch block of print, from the root block.
Cell* print_scratch();

// The argument check of a native called with the check flag set: tests each
// argument in the current frame (refinement arguments where refinements
// places them) against the types of the native's spec and raises script
// error expect-arg naming the native, the value's type and the argument.
void check_args(uint32_t index, const int32_t* refinements);

// Assigns values to the first n words of the words block (from its index):
// when value is block-like (or a map!) and only is false, word i gets the
// i-th value from value's position (none past the tail), else every word
// gets value itself. Every word must be a word!, set-word!, get-word! or
// lit-word! (else script error invalid-arg) and, without any, every value
// set (else need-value); both are checked before any word is assigned. With
// some, a none value leaves its word as it was.
void set_many(const Cell* words, const Cell* value, uint32_t n, bool any, bool only, bool some);

}  // namespace natives

// The loop step routines that foreach, forall and remove-each run on. They
// read the loop state on the value stack below the loop frame's arguments
// base: the series copy two cells below, the word (or words block) one cell
// below, the element count of remove-each three cells below.
namespace loop {
// True while the series' position lies before its end.
bool is_more(const Cell* series);
// Assigns the next n values to the words when there are more (and n > 0) and
// answers whether it did; advances the series copy by n either way.
bool foreach_step(uint32_t n);
// Sets the single loop word to the next value and advances by one; false at
// the end.
bool foreach_step_indexed();
// Removes the n values just stepped over when the loop result is truthy.
void remove_each_step(uint32_t n);
// Word i of the block gets pick i of the text-like series, i from 1 to n.
void assign_from_series(const Cell* words_block, Cell* series, uint32_t n);
// Advances the series held by the word one cell below the base (with
// advance) and answers whether it is now at its end.
bool forall_next(bool advance);
// Sets the word one cell below the base to the series two cells below it.
void check_series_arg();
}  // namespace loop
}  // namespace zel
