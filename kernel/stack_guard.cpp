// The machine-stack floor of each thread, found on its first check.
#include "kernel/stack_guard.h"

#include <algorithm>

#include "kernel/fail.h"
#include "platform/process.h"

namespace zel {
namespace stack_guard {

constinit thread_local uintptr_t floor = UINTPTR_MAX;
static constinit thread_local bool found = false;

static uintptr_t find_floor(uintptr_t here) {
    uintptr_t low = platform::stack_low_end();
    uintptr_t by_budget = here > BUDGET ? here - BUDGET : 0;
    uintptr_t by_margin = low && here - low > MARGIN ? low + MARGIN : 0;
    return std::max(by_budget, by_margin);
}

void reached(const char* id) {
    uintptr_t here = stack_point();
    if (!found) {
        found = true;
        floor = find_floor(here);
        if (here >= floor) return;
    }
    fail::internal(id);
}

}  // namespace stack_guard
}  // namespace zel
