// Runtime boot and shutdown. The order matters: the registry before the first
// series, the root block before the stacks, the symbol table before any word,
// the words before the error catalog.
#include "kernel/boot.h"

#include "core/context.h"
#include "core/cycles.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/ownership.h"
#include "core/random.h"
#include "core/roots.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/value_slots.h"
#include "core/word.h"
#include "datatypes/error.h"
#include "interpreter/checksum.h"
#include "interpreter/eval.h"
#include "interpreter/natives.h"
#include "interpreter/parse.h"
#include "io/deflate.h"
#include "io/file_io.h"
#include "io/http.h"
#include "io/lexer.h"
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

// The platform services: console output and its streams, the HTTP client.
static void init_platform() {
    output::init();
    http::init();
}

void boot() {
    booting = true;
    hooks::init();
    init_platform();
    random::init();
    memory::init();
    collector::init();  // before any module registers a mark callback
    resources::init();
    types::register_all();
    actions::init_table();
    memory::make_first_frames();
    roots::init(roots::BOOT_VALUES);
    context::make_global();
    case_::init();
    symbol::make_tables(symbol::BOOT_SYMBOLS);
    types::make_name_words(word::intern);
    words::init();
    words::init_refinements();
    words::init_issue();
    natives::init_table();
    error::init();
    ownership::init();
    checksum::init();
    parse::init();
    cycles::init();
    stack::init();
    lexer::init();
    interp::init();
    compress::init();
    io::init();
    value_slots::init();
}

void shutdown() {
    memory::free_all();
    heap::free_all();
}

}  // namespace runtime
}  // namespace zel
