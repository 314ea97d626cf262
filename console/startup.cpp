// The start-up body: the fixed sequence that brings every module into being,
// then the least of the command line: `zel file` evaluates the file, `zel`
// alone runs nothing yet.
#include "console/startup.h"

#include <cstring>
#include <string>

#include "console/boot_words.h"
#include "core/block.h"
#include "core/datatype.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/symbol.h"
#include "core/word.h"
#include "interpreter/eval.h"
#include "io/lexer.h"
#include "kernel/boot.h"
#include "kernel/collector.h"
#include "kernel/memory.h"
#include "kernel/runtime.h"
#include "library/library.h"
#include "platform/read_file.h"

namespace zel {
namespace startup {

// Start-up keeps most of a 1 MiB series frame busy for good (the symbol and
// word tables, the natives, the library), so the first frame is taken at the
// largest frame size instead: the program then starts with room of its own,
// not in a nearly full frame whose every refill would ask for a collection.
static void size_first_frame() {
    memory::init();
    memory::record.next_frame_size = memory::record.threshold;
}

void boot() {
    size_first_frame();
    runtime::boot();
    types::register_event();
    boot_words::bind();
    collector::state.enabled = true;
    runtime::booting = false;
    boot_words::make_values();
    library::load();
    boot_words::make_library_operators();
}

[[noreturn]] static void cannot_open(const char* path) {
    Cell* file = string::load(reinterpret_cast<const uint8_t*>(path), uint32_t(std::strlen(path)),
                              string::ENC_UTF8);
    cell::set_type(file, T_FILE);
    error::raise(Err::access_cannot_open, file);
}

// The position after a header: the word Zel followed by a block.
static uint32_t skip_header(const Cell* code) {
    if (block::buffer_length(code) < 2) return 0;
    const Cell* first = block::cell_at(code, 0);
    if (cell::type(first) != T_WORD || cell::type(block::cell_at(code, 1)) != T_BLOCK) return 0;
    Cell zel = word::intern("Zel");
    return symbol::resolve(first->w2) == symbol::resolve(zel.w2) ? 2 : 0;
}

Cell load_script(const char* path) {
    std::string text;
    if (!platform::read_file(path, text)) cannot_open(path);
    size_t from = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    Cell code = lexer::load_text(text.data() + from, text.size() - from);
    code.w1 = skip_header(&code);
    *stack::top() = code;
    return code;
}

void run_script(const char* path) {
    Cell code = load_script(path);
    interp::eval(words::word(words::W_tag_anon), &code, false);
}

void main() {
    boot();
    if (runtime::record.argc > 1) run_script(runtime::record.argv[1]);
    runtime::at_exit(0);
}

}  // namespace startup
}  // namespace zel
