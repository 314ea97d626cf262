// The start-up body: boots the runtime, binds the boot words, builds the
// library values and runs the script the command line names.
#pragma once
#include "kernel/cell.h"

namespace zel {
namespace startup {

// Runs the whole program under the root catch; ends the process.
void main();

// The start-up sequence up to the console: the runtime boot, the datatype,
// action and native words, the collector switched on, then the library
// values: constants, typesets and operators, the library's Zel sources, and
// the operators of library functions.
void boot();

// Loads a script file (UTF-8, a leading byte-order mark skipped) into a
// block pushed on the value stack, positioned after a "Zel [...]" header at
// its start. A file that cannot be read raises access error cannot-open.
Cell load_script(const char* path);

// Loads a script file (UTF-8; a "Zel [...]" header at its start is skipped)
// and evaluates it. A file that cannot be read raises access error
// cannot-open.
void run_script(const char* path);

}  // namespace startup
}  // namespace zel
