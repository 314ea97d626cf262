// The start-up body: the fixed sequence that brings every module into being,
// then the console, which runs the script the command line names or reads
// input; when it returns, the process ends with status 0.
//
// The order of the modules matters: the datatype registry before the first
// series, the root block before the stacks, the symbol table before any
// word, the words before the error catalog.
#include "console/startup.h"

#include <cstring>
#include <string>

#include "console/boot_words.h"
#include "console/input.h"
#include "core/block.h"
#include "core/context.h"
#include "core/cycles.h"
#include "core/datatype.h"
#include "core/ownership.h"
#include "core/raise.h"
#include "core/roots.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/symbol.h"
#include "core/value_slots.h"
#include "core/word.h"
#include "datatypes/error.h"
#include "core/dispatch.h"
#include "interpreter/checksum.h"
#include "interpreter/eval.h"
#include "core/random.h"
#include "core/stack.h"
#include "interpreter/natives.h"
#include "interpreter/parse.h"
#include "io/deflate.h"
#include "io/file_io.h"
#include "io/http.h"
#include "io/lexer.h"
#include "io/zelbin.h"
#include "kernel/boot.h"
#include "kernel/collector.h"
#include "kernel/fail.h"
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

void boot_modules() {
    runtime::boot();
    http::init();
    random::init();
    types::register_all();
    actions::init_table();
    memory::make_first_frames();
    roots::init(roots::BOOT_VALUES);
    context::make_global();
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
    types::register_event();
}

void load_image() {
    library::run_at_startup("the boot image", "", [] {
        zelbin::load_boot(runtime::record.boot_image, runtime::record.boot_image_size, false);
    });
}

// system/console/init is the console layer's routine, which no word holds:
// it is stored through the evaluator's set-path, as any member is.
static void set_console_init() {
    library::run_at_startup("the console's init", "", [] {
        static const char set_init[] = "system/console/init: quote";
        Cell code = lexer::load_text(set_init, sizeof set_init - 1);
        *stack::top() = code;
        block::append_copy(&code, console_input::init_routine());
        interp::eval(words::word(words::W_tag_anon), &code, false);
    });
}

void boot() {
    size_first_frame();
    boot_modules();
    load_image();
    collector::state.enabled = true;
    runtime::booting = false;
    boot_words::make_values();
    console_input::bind();
    library::load();
    set_console_init();
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
    return symbol::resolve(cell::word_symbol(first)) == symbol::resolve(cell::word_symbol(&zel)) ? 2 : 0;
}

// The text is bounded by the largest series, so that a file without end
// (a device) stops as soon as it could not be held anyway.
Cell load_script(const char* path) {
    Cell code = fail::or_no_memory([&] {
        std::string text;
        switch (platform::read_file(path, text, memory::MAX_DATA)) {
        case platform::ReadFile::DONE: break;
        case platform::ReadFile::CANNOT_OPEN: cannot_open(path);
        case platform::ReadFile::TOO_LARGE: fail::internal("no-memory");
        }
        size_t from = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        return lexer::load_text(text.data() + from, text.size() - from);
    });
    cell::set_series_index(&code, skip_header(&code));
    *stack::top() = code;
    return code;
}

// The call is start-up's own code, so an error in the console's work outside
// the user's code names no place of it.
void launch_console() {
    static const char launch[] = "cli-console-ctx/launch";
    Cell code = lexer::load_text(launch, sizeof launch - 1);
    series::set_flags(cell::series_node(&code), SER_LIBRARY);
    *stack::top() = code;
    interp::eval(words::word(words::W_tag_anon), &code, false);
}

void main() {
    boot();
    launch_console();
    runtime::at_exit(0);
}

}  // namespace startup
}  // namespace zel
