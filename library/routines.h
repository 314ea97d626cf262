// The routines bound to words: small C++ routines in the routine table that
// give scripts the runtime's own services (leaving the process, quiet
// assignment, bit shifts, directories, tuple builders, the stacks, standard
// output), and the routines of event!.
#pragma once

namespace zel {
namespace routines {

// Registers every routine in the routine table, makes its routine! from its
// spec and binds it to its global word. Needs the boot words and the
// typesets (the specs name them). Idempotent.
void bind();

}  // namespace routines
}  // namespace zel
