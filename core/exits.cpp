// Non-local exits: the frame walks that place the stacks for an exit, and the
// end of the process when an error finds nothing to take it.
#include "core/exits.h"

#include <cstdint>

#include "core/dispatch.h"
#include "core/evaluator.h"
#include "core/raise.h"
#include "core/string.h"
#include "datatypes/error.h"
#include "kernel/hooks.h"
#include "kernel/output.h"

namespace zel {
namespace stack {

Frame* unroll(uint32_t kind, bool keep) {
    Frame* start = reg.call_top;
    if (start == reg.call_bottom) {
        reg.top = reg.base + 1;
        return nullptr;
    }
    Frame* f;
    do {
        f = --reg.call_top;
        if (kind_of(f) == KIND_FUNCTION) restore_values(f);
    } while (reg.call_top > reg.call_bottom && kind_of(f) != kind && kind_of(f) != KIND_BARRIER);
    if (keep) reg.call_top++;
    if (reg.call_top == start) {
        reg.top = reg.base + 1;
    } else if (reg.call_top == reg.call_bottom) {
        reg.base = reg.top = reg.bottom;
    } else {
        // The record at call top is the found frame (its caller's base) or,
        // kept, the frame above it (the found frame's own base).
        reg.top = reg.base + 1;
        reg.base = reg.bottom + reg.call_top->saved_base;
    }
    if (!keep) reg.call_top++;
    return f;
}

// The code near the failure: the block being evaluated, at the expression
// that raised, unless the error already names a place.
static void fill_near(const Cell* error) {
    Cell* near = error::field(error, error::FIELD_NEAR);
    if (cell::type(near) != T_NONE) return;
    Cell code = evaluator::current_code();
    uint32_t type = cell::type(&code);
    if (type == T_BLOCK || type == T_PAREN) *near = code;
}

void throw_error(const Cell* error) {
    Cell err = *error;  // the walk below may push over the cell it came from
    bool caught = false;
    if (has_frames()) {
        Cell where = get_call();
        error::fill_where(&err, &where);
        fill_near(&err);
        mark_error_stack(&err);
        Cell* saved_top = reg.top;
        Frame* f = unroll(KIND_TRY, false);
        reg.call_top--;
        reg.top = saved_top;
        caught = has_frames() || kind_of(f) == KIND_TRY || kind_of(f) == KIND_BARRIER;
    }
    if (!caught) {
        if (exits::uncaught_handler) exits::uncaught_handler(&err);
        exits::end_uncaught(&err);
    }
    // The handler finds the error on top, above the innermost call's cells;
    // past an overflow the last free cell takes it.
    Cell* slot = reg.top < reg.limit - 1 ? reg.top : reg.limit - 2;
    *slot = err;
    reg.top = slot + 1;
    throw Throw{EXIT_ERROR};
}

// The frame that takes an exit, walking down from below the frame position
// from: the first one the test accepts, or null when a barrier or the bottom
// comes first. Nothing changes until a target is found, so a failing exit
// leaves the stacks as they were.
template <class Takes>
[[gnu::always_inline]] inline Frame* find_target(Frame* from, Takes takes) {
    for (Frame* f = from; f > reg.call_bottom;) {
        --f;
        if (kind_of(f) == KIND_BARRIER) return nullptr;
        if (takes(f)) return f;
    }
    return nullptr;
}

// Pops every frame above the target, giving function contexts their values
// back (innermost first, so a recursive context ends with its outer values),
// and sets base and top to the target's own arguments base; answers that
// base. The value of the exit is read before and written after, in one copy.
[[gnu::always_inline]] inline Cell* place(Frame* target) {
    Frame* above = target + 1;
    Frame* top = reg.call_top;
    Cell* own_base = above < top ? reg.bottom + above->saved_base : reg.base;
    for (Frame* f = top - 1; f > target; --f)
        if (kind_of(f) == KIND_FUNCTION) restore_values(f);
    reg.call_top = above;
    reg.base = reg.top = own_base;
    return own_base;
}

// The position below which an exit looks: under the exiting call's own frame.
static Frame* below_own_frame() { return has_frames() ? reg.call_top - 1 : reg.call_top; }

void throw_break(bool with_value, bool is_continue) {
    Frame* loop = find_target(below_own_frame(), [](const Frame* f) { return kind_of(f) == KIND_LOOP; });
    if (!loop) error::raise(is_continue ? Err::throw_continue : Err::throw_break);
    Cell value = with_value && !is_continue ? *reg.base : statics::unset_cell;
    *place(loop) = value;
    runtime::record.pending_code = is_continue ? EXIT_CONTINUE : EXIT_BREAK;
}

bool break_in_place(bool is_continue) {
    Frame* loop = find_target(reg.call_top, [](const Frame* f) { return kind_of(f) == KIND_LOOP; });
    if (!loop) return false;
    *place(loop) = statics::unset_cell;
    runtime::record.pending_code = is_continue ? EXIT_CONTINUE : EXIT_BREAK;
    return true;
}

void throw_return(bool with_value, bool no_own_frame) {
    Frame* from = no_own_frame ? reg.call_top : below_own_frame();
    Frame* target = find_target(from, [](const Frame* f) { return (f->header & CATCH_RETURN) != 0; });
    if (!target) error::raise(Err::throw_return);
    Cell value = with_value ? *reg.base : statics::unset_cell;
    *place(target) = value;
    runtime::record.pending_code = with_value ? EXIT_RETURN : EXIT_EXIT;
}

bool return_in_place(const Cell* value) {
    Frame* target = find_target(reg.call_top, [](const Frame* f) { return (f->header & CATCH_RETURN) != 0; });
    if (!target) return false;
    Cell v = *value;
    *place(target) = v;
    runtime::record.pending_code = EXIT_RETURN;
    return true;
}

void throw_value(uint32_t code) {
    Cell value = reg.base[0];
    Cell name = reg.base[1];
    Frame* own = below_own_frame();
    Frame* target = find_target(own, [](const Frame* f) { return kind_of(f) == KIND_CATCH; });
    if (!target) {
        // The error names the caller of throw: get_call starts below its frame.
        if (!reg.pending_error) reg.pending_error = own;
        error::raise(Err::throw_throw, &value);
    }
    place(target);
    reg.base[0] = value;
    reg.base[1] = name;
    reg.top = reg.base + 2;
    runtime::record.pending_code = code;
}

}  // namespace stack

namespace exits {

UncaughtHandler uncaught_handler = nullptr;

void end_uncaught(const Cell* error) {
    using stack::reg;
    // An error while the report is made (a type without form, say) would come
    // back here: end at once.
    static bool ending = false;
    if (ending) runtime::at_exit(UNCAUGHT_STATUS);
    ending = true;
    // The report of a failed write to the output goes where it can be read.
    if (output::has_failed()) output::attach(2, false);
    *reg.base = *error;
    reg.top = reg.base + 1;
    Cell* text = stack::push_slot();
    string::write_cell(text, 16);
    actions::form_dispatch(reg.base, text, nullptr, INT32_MAX);
    hooks::call(text, true);
    runtime::at_exit(UNCAUGHT_STATUS);
}

}  // namespace exits
}  // namespace zel
