// The exit natives (break, continue, exit, return, throw) and the natives
// that take exits (catch, try).
//
// None of them costs a C++ exception: an exit places the frames and leaves
// its code pending (core/exits.h), and catch and try look at that
// code after the block they evaluate. Only errors arrive as the exception.
#include "core/exits.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "datatypes/error.h"
#include "interpreter/eval.h"
#include "interpreter/natives.h"
#include "interpreter/natives_system.h"
#include "interpreter/trace.h"

namespace zel {
namespace natives {
namespace system {

using stack::reg;

namespace {

inline bool used(const int32_t* refinements, uint32_t i) { return refinements[i] >= 0; }

bool same_word(const Cell* a, const Cell* b) { return symbol::resolve(cell::word_symbol(a)) == symbol::resolve(cell::word_symbol(b)); }

// Whether catch/name takes a throw named name: the names are a word or a
// block of words (anything else in it is an error, whatever the name).
bool takes_name(const Cell* names, const Cell* name) {
    if (cell::type(names) == T_WORD) return same_word(names, name);
    SeriesBuffer* b = node::buffer(cell::series_node(names));
    uint32_t end = series::length(b);
    bool found = false;
    for (uint32_t i = uint32_t(cell::series_index(names)); i < end; i++) {
        const Cell* w = series::cells(b) + i;
        if (cell::type(w) != T_WORD) error::raise(Err::script_invalid_refine_arg, words::word(words::W_name), names);
        found = found || same_word(w, name);
    }
    return found;
}

}  // namespace

void break_(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_break, refinements);
    stack::throw_break(used(refinements, 0), false);
}

void continue_(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_continue, refinements);
    stack::throw_break(false, true);
}

void exit_(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_exit, refinements);
    stack::throw_return(false, false);
}

void return_(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_return, refinements);
    stack::throw_return(true, false);
}

// The value and its name (none without /name) are the two cells the catch
// frame receives.
void throw_(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_throw, refinements);
    reg.base[1] = used(refinements, 0) ? reg.base[refinements[0]] : statics::none_cell;
    reg.top = reg.base + 2;
    if (interp::is_tracing()) interp::trace_throw();
    stack::throw_value(EXIT_THROW);
}

void catch_(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_catch, refinements);
    Cell* args = reg.base;
    Cell block = args[0];
    const Cell* name = words::word(words::W_catch_);
    stack::Frame* frame = stack::enter_catch(name);
    interp::eval(name, &block, true);
    uint32_t code = exits::pending();
    if (code == EXIT_NONE) {
        stack::leave_last();
        return;
    }
    if (code != EXIT_THROW || stack::top_frame() != frame) return;
    exits::clear();
    if (used(refinements, 0)) {
        const Cell* thrown_name = reg.base + 1;
        if (cell::type(thrown_name) != T_WORD || !takes_name(args + refinements[0], thrown_name)) {
            stack::throw_value(EXIT_THROW);  // on to an outer catch
            return;
        }
    }
    stack::keep();
    if (interp::is_tracing()) interp::trace_catch();
    stack::leave_last();
}

// Without /all a try frame takes errors and lets every pending exit pass;
// with /all a barrier frame turns those exits into their errors, so the
// error is what try answers.
void try_(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_try, refinements);
    Cell block = reg.base[0];
    bool keep = used(refinements, 1);
    const Cell* name = words::word(words::W_try_);
    if (used(refinements, 0)) stack::enter_eval(name);
    else stack::enter_try(name);
    bool failed = exits::catch_error([&] { interp::eval(name, &block, true); });
    if (failed) {
        stack::adjust_result();
        if (keep) error::fill_stack(reg.base);
        return;
    }
    if (exits::pending()) return;
    stack::leave_last();
}

}  // namespace system
}  // namespace natives
}  // namespace zel
