// What the system object needs from C++: the values the runtime already owns
// (the error catalog and prototype, the lexer's exit states, the currency
// list, the global context as an object, the build record, the command line)
// handed to the library's Zel source while it builds `system`, and the
// routines its change handlers call (float flags, new currencies, collector
// statistics, the interpreted-frame test).
#pragma once

namespace zel {
namespace system_values {

// Registers the routines and binds the global ones to their words. Needs the
// boot words and the typesets (the specs name them). Idempotent.
void bind();

// Unsets the words of the routines that hand values over while the library
// loads (boot-value, fixed-class, use-system-state).
void unbind_hand_over();

}  // namespace system_values
}  // namespace zel
