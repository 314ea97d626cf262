// Libraries that few scripts need (the HTTP transport, the digests), opened
// the first time they are asked for rather than linked: every library the
// executable links costs every run the dynamic loader's time to map and
// relocate it and all that it pulls in. A library opened here stays open
// for the life of the process.
#pragma once
#include <string>

namespace zel {
namespace platform {

struct SharedLibrary {
    void* handle = nullptr;  // null when the library could not be opened
    std::string failure;     // the first miss, in the loader's words; empty while nothing is missing
};

// Opens the library of that soname, found as the dynamic loader finds any,
// with all of its symbols bound now and none of them offered to others.
SharedLibrary open_shared_library(const char* soname);

// The address of the library's symbol; null when the library or the symbol
// is missing, and the miss is kept in lib->failure, so that a run of lookups
// is checked once at its end.
void* shared_symbol(SharedLibrary* lib, const char* name);

// Points *fn at the library's function of that name, as shared_symbol.
template <typename F>
void resolve(SharedLibrary* lib, F** fn, const char* name) {
    *fn = reinterpret_cast<F*>(shared_symbol(lib, name));
}

}  // namespace platform
}  // namespace zel
