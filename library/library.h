// The standard library written in Zel. The build lexes its sources into the
// boot image (the first stage calls add_source); start-up evaluates the code
// the image carries, in the sources' order, and marks the functions it makes
// as library code.
#pragma once
#include <cstdint>
#include <type_traits>

#include "kernel/cell.h"

namespace zel {
namespace library {

// The boot value that holds the library: a block of, for each source in load
// order, its file name (file!) and its code (block!).
constexpr uint32_t BOOT_SOURCES = 0;

// Runs the step under a try frame. An error in it is a fault of the build:
// the report names the failed part ("*** Start-up error in ", what, name)
// before the error's own report, and the process ends with the status of an
// uncaught error.
void run_guarded(const char* what, const char* name, void (*step)(void*), void* arg);
template <class F>
void run_at_startup(const char* what, const char* name, F&& step) {
    using Step = std::remove_reference_t<F>;
    run_guarded(what, name, [](void* f) { (*static_cast<Step*>(f))(); }, &step);
}

// The first stage: appends the source's file name and its code (the text
// lexed) to the sources block. A syntax error ends the process as
// run_at_startup says.
void add_source(const Cell* sources, const char* name, const char* text, uint32_t length);

// Binds the routines to their words (library/routines.h), then evaluates the
// code of each source from the boot image, and marks every function made
// meanwhile as library code. Needs the boot image loaded, the boot words,
// the constants and the typesets.
void load();

// One source's code evaluated (an error in it ends the process as
// run_at_startup says).
void eval_source(const char* name, const Cell* code);

}  // namespace library
}  // namespace zel
