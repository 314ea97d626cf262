// Runtime boot and shutdown. The order matters: the registry before the first
// series, the root block before the stacks, the symbol table before any word.
#include "kernel/boot.h"

#include "core/datatype.h"
#include "core/symbol.h"
#include "kernel/casefold.h"
#include "kernel/hooks.h"
#include "kernel/memory.h"
#include "kernel/output.h"
#include "kernel/resources.h"
#include "kernel/runtime.h"

namespace zel {
namespace runtime {

bool booting = false;

// The platform services: console output and its streams.
static void init_platform() { output::init(); }

void boot() {
    booting = true;
    hooks::init();
    init_platform();
    memory::init();
    resources::init();
    types::register_all();
    memory::make_first_frames();
    case_::init();
    symbol::make_tables(symbol::BOOT_SYMBOLS);
}

void shutdown() {
    memory::free_all();
    heap::free_all();
}

}  // namespace runtime
}  // namespace zel
