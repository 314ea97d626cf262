// The routines bound to words: small C++ routines in the routine table that
// give scripts the runtime's own services (leaving the process, quiet
// assignment, bit shifts, directories, tuple builders, the stacks, standard
// output), and the routines of event!.
#pragma once
#include <cstdint>

#include "core/routine.h"

namespace zel {
namespace routines {

// Registers the routine in the routine table (once), makes its routine! from
// the spec text (Zel source of the spec block's contents) and keeps it in the
// root block; answers its root index.
uint32_t keep(const char* name, const char* spec, routine::Fn fn);

// Registers every routine in the routine table, makes its routine! from its
// spec and binds it to its global word. Needs the boot words and the
// typesets (the specs name them). Idempotent.
void bind();

}  // namespace routines
}  // namespace zel
