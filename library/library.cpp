// The standard library written in Zel: evaluates the embedded sources at
// start-up and marks what they made as library code.
#include "library/library.h"

#include "core/exits.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "interpreter/eval.h"
#include "io/lexer.h"
#include "kernel/print.h"
#include "kernel/runtime.h"
#include "library/routines.h"

namespace zel {
namespace library {

namespace {

// A library source is part of the program, so an error in one is a fault of
// the build: the report names the file before the error's own report.
[[noreturn]] void source_failed(const Source& source, const Cell* error) {
    print::Arg line[2] = {print::Arg::cstring("*** Start-up error in library file "),
                          print::Arg::cstring(source.name)};
    print::values_line(2, line);
    if (error) {
        Cell err = *error;
        if (exits::uncaught_handler) exits::uncaught_handler(&err);
        exits::end_uncaught(&err);
    }
    runtime::at_exit(exits::UNCAUGHT_STATUS);
}

}  // namespace

// Under a try frame, so that an error can be reported with the file's name.
void load_source(const Source& source) {
    Cell* top = stack::reg.top;
    const Cell* name = words::word(words::W_tag_anon);
    stack::enter_try(name);
    stack::push(&statics::none_cell);  // the try frame's result, below the code
    if (exits::catch_error([&] {
            Cell code = lexer::load_text(source.text, source.length);
            interp::eval(name, &code, true);
        })) {
        stack::adjust_result();
        source_failed(source, stack::reg.base);
    }
    if (exits::pending()) source_failed(source, nullptr);
    stack::leave();
    stack::reg.top = top;
}

// Every function made while the sources load is library code, those kept
// in contexts of their own (on-parse-event) as well as the global ones.
void load() {
    routines::bind();
    struct Loading {
        Loading() { interp::eval_state.loading = true; }
        ~Loading() { interp::eval_state.loading = false; }
    } loading;
    for (uint32_t i = 0; i < SOURCE_COUNT; i++) load_source(SOURCES[i]);
}

}  // namespace library
}  // namespace zel
