// Runtime boot and shutdown of the kernel. The collector is set up before any
// module registers a mark callback, memory before the first tracked block.
#include "kernel/boot.h"

#include "kernel/casefold.h"
#include "kernel/collector.h"
#include "kernel/hooks.h"
#include "kernel/memory.h"
#include "kernel/output.h"
#include "kernel/resources.h"
#include "kernel/runtime.h"

namespace zel {
namespace runtime {

bool booting = false;

void boot() {
    booting = true;
    hooks::init();
    output::init();
    memory::init();
    collector::init();
    resources::init();
    case_::init();
}

void shutdown() {
    memory::free_all();
    heap::free_all();
}

}  // namespace runtime
}  // namespace zel
