// The standard library written in Zel: start-up evaluates its embedded
// sources in their fixed order and marks the functions they make as library
// code.
#pragma once

#include "library/sources.h"

namespace zel {
namespace library {

// Binds the routines to their words (library/routines.h); loads each
// source, binds it to the global context and evaluates it; then
// marks every function! the global context holds (and those of the objects
// it holds) as library code. Needs the boot words, the constants and the
// typesets. An error in a source is a fault of the build: its report names
// the file and the process ends with the status of an uncaught error.
void load();

// One source loaded, bound and evaluated (an error in it ends the process
// as load says).
void load_source(const Source& source);

}  // namespace library
}  // namespace zel
