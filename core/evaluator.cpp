// The evaluator's services, as the modules below it see them: until the
// evaluator installs its own, each raises internal not-done.
#include "core/evaluator.h"

#include "core/raise.h"

namespace zel {
namespace evaluator {

namespace {

[[noreturn]] void not_ready() { error::raise(Err::internal_not_done); }

void no_eval(const Cell*, const Cell*, bool) { not_ready(); }
void no_invoke(const Cell*, const Cell*, const Cell*, uint32_t) { not_ready(); }
Node no_spec(const Cell*) { not_ready(); }
Cell no_code() { not_ready(); }

}  // namespace

Services services = {no_eval, no_invoke, no_invoke, no_spec, no_code};

}  // namespace evaluator
}  // namespace zel
