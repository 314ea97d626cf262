// The words that start-up binds before any library code runs: the datatype,
// action and native words (the boot image's bound words, made here from C++
// tables until the boot image exists), and the library values that need only
// natives and actions: none, true and false, the constants, the typesets and
// the infix operators.
#pragma once

namespace zel {
namespace boot_words {

// Binds every registered datatype word to its datatype!, every action word to
// an action! made from its spec, and every native word. Needs the lexer, the
// global context and the native table. Idempotent.
void bind();

// Makes the constants, the typesets (with the union native) and the
// operators of natives and actions (with make op!) and binds them to their
// global words.
void make_values();

// Makes the operators whose callable is a library function or a routine
// (// of modulo, the shifts); after the library's Zel sources have run.
void make_library_operators();

}  // namespace boot_words
}  // namespace zel
