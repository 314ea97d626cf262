// The routines bound to words: small C++ routines in the routine table that
// give scripts the runtime's own services (leaving the process, quiet
// assignment, bit shifts, directories, tuple builders, the stacks, the
// clipboard, standard output), and the routines of event!; the type
// predicates are in library/type_predicates.*.
#pragma once
#include <cstdint>

#include "core/routine.h"

namespace zel {
namespace routines {

// A routine as the library defines it: its word, the Zel source of its spec
// block's contents and its C++ body.
struct Def {
    const char* name;
    const char* spec;
    routine::Fn fn;
};

// Registers the routine in the routine table (once), makes its routine! from
// the spec text (its return-type code the id of the datatype its spec
// declares after return:, else -1) and keeps it in the root block; answers
// its root index.
uint32_t keep(const char* name, const char* spec, routine::Fn fn);

// Registers each routine of the table, makes its routine! and binds it to
// its global word.
void bind_all(const Def* defs, uint32_t count);
template <uint32_t N>
void bind_all(const Def (&defs)[N]) {
    bind_all(defs, N);
}

// Registers every routine in the routine table (the type predicates'
// included), makes its routine! from its spec and binds it to its global
// word. Needs the boot words and the typesets (the specs name them).
// Idempotent.
void bind();

}  // namespace routines
}  // namespace zel
