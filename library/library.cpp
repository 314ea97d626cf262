// The standard library written in Zel: its sources lexed into the boot image
// by the build, evaluated from there at start-up, and what they make marked
// as library code.
#include "library/library.h"

#include <cstring>
#include <string>

#include "core/block.h"
#include "core/exits.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/support.h"
#include "interpreter/eval.h"
#include "io/lexer.h"
#include "kernel/print.h"
#include "kernel/runtime.h"
#include "kernel/unicode.h"
#include "library/routines.h"
#include "library/system_values.h"
#include "library/image_codec.h"
#include "library/json_codec.h"
#include "library/zelbin_codec.h"

namespace zel {
namespace library {

namespace {

[[noreturn]] void startup_failed(const char* what, const char* name, const Cell* error) {
    print::Arg line[3] = {print::Arg::cstring("*** Start-up error in "), print::Arg::cstring(what),
                          print::Arg::cstring(name)};
    print::values_line(3, line);
    if (error) {
        Cell err = *error;
        if (exits::uncaught_handler) exits::uncaught_handler(&err);
        exits::end_uncaught(&err);
    }
    runtime::at_exit(exits::UNCAUGHT_STATUS);
}

constexpr const char* SOURCE_FILE = "library file ";

}  // namespace

void run_guarded(const char* what, const char* name, void (*step)(void*), void* arg) {
    Cell* top = stack::reg.top;
    stack::enter_try(words::word(words::W_tag_anon));
    stack::push(&statics::none_cell);  // the try frame's result, below the step's values
    if (exits::catch_error([&] { step(arg); })) {
        stack::adjust_result();
        startup_failed(what, name, stack::reg.base);
    }
    if (exits::pending()) startup_failed(what, name, nullptr);
    stack::leave();
    stack::reg.top = top;
}

void add_source(const Cell* sources, const char* name, const char* text, uint32_t length) {
    run_at_startup(SOURCE_FILE, name, [&] {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(name);
        Cell file = *string::load(bytes, uint32_t(std::strlen(name)), string::ENC_UTF8);
        cell::set_type(&file, T_FILE);
        block::append_copy(sources, &file);
        Cell code = lexer::load_text(text, length);
        block::append_copy(sources, &code);
    });
}

void eval_source(const char* name, const Cell* code) {
    run_at_startup(SOURCE_FILE, name, [&] { interp::eval(words::word(words::W_tag_anon), code, true); });
}

// Every function made while the sources run is library code, those kept in
// contexts of their own (on-parse-event) as well as the global ones. The
// sources block stays in the root block, so its cells can be read again
// after each evaluation.
void load() {
    routines::bind();
    system_values::bind();
    zelbin_codec::bind();
    image_codec::bind();
    json_codec::bind();
    struct Loading {
        Loading() { interp::eval_state.loading = true; }
        ~Loading() { interp::eval_state.loading = false; }
    } loading;
    uint32_t count = block::buffer_length(boot::value_at(BOOT_SOURCES));
    for (uint32_t i = 0; i + 1 < count; i += 2) {
        std::string name = utf8::text(block::cell_at(boot::value_at(BOOT_SOURCES), i));
        Cell code = *block::cell_at(boot::value_at(BOOT_SOURCES), i + 1);
        eval_source(name.c_str(), &code);
    }
    system_values::unbind_hand_over();
}

}  // namespace library
}  // namespace zel
