// Raising language errors by name, for the kernel and the modules beneath the
// error catalog's identifiers: the category and id words are looked up in the
// catalog and the error raised as error::raise does.
#pragma once
#include <cstdint>
#include <new>

namespace zel {
namespace fail {

// Raises the error (category, id) as a language error; never returns.
[[noreturn]] void raise(const char* category, const char* id);
// Shorthand for internal errors such as "no-memory" and "wrong-mem".
[[noreturn]] inline void internal(const char* id) { raise("internal", id); }

// Runs f, in which C++ containers grow, and answers its result. When the
// system refuses memory (std::bad_alloc) the error raised is internal
// no-memory, after f's own containers are freed by the unwinding.
template <class F>
decltype(auto) or_no_memory(F&& f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        internal("no-memory");
    }
}

// The category and id of the last error raised through this module.
const char* last_category();
const char* last_id();

}  // namespace fail
}  // namespace zel
