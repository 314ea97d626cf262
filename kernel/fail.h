// Raising language errors by name, for the kernel and the modules beneath the
// error catalog's identifiers: the category and id words are looked up in the
// catalog and the error raised as error::raise does.
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

}  // namespace fail
}  // namespace zel
