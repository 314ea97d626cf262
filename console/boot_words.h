// The words that start-up binds before any library code runs: the datatype,
// action and native words (the binding records of the boot image, which the
// build makes here from the datatype registry and the tables of specs: the
// action specs below, the native specs in the native modules), and the
// library values that need only natives and actions: none, true and false,
// the constants, the typesets and the infix operators.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace boot_words {

// The binding records of the boot image, as a block of pairs: the set-word
// of every registered datatype with its datatype!, of every action with an
// action! over its spec, of every native with its native!. Needs the lexer,
// the global context and the native table.
Cell make_bindings();

// The spec text of an action id (the contents of its spec block), or null.
const char* action_spec(uint32_t id);

// Makes the constants, the typesets (with the union native) and the
// operators of natives and actions (with make op!) and binds them to their
// global words.
void make_values();

// Makes the operators whose callable is a library function or a routine
// (// of modulo, the shifts); after the library's Zel sources have run.
void make_library_operators();

}  // namespace boot_words
}  // namespace zel
