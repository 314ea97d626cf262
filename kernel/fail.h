// Raising language errors from the kernel, before and beneath the error catalog.
// The kernel names an error by category and id word; the error module turns
// that into an error! value once it exists (see `fail::set_builder`).
#pragma once
#include <cstdint>

namespace zel {
namespace fail {

// Raises the error (category, id) as a language error; never returns.
[[noreturn]] void raise(const char* category, const char* id);
// Shorthand for internal errors such as "no-memory" and "wrong-mem".
[[noreturn]] inline void internal(const char* id) { raise("internal", id); }

// The category and id of the last error raised through this module.
const char* last_category();
const char* last_id();

// Lets the error module take over building the error value.
using Builder = void (*)(const char* category, const char* id);
void set_builder(Builder b);

}  // namespace fail
}  // namespace zel
