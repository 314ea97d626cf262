// Function and routine invocation: once the evaluator has pushed the frame
// and gathered the arguments, runs the callee. A function's context is
// pointed at its arguments on the value stack for the time of its body, the
// body's return and exit end here, and every other exit passes on pending.
#include "core/context.h"
#include "core/exits.h"
#include "core/function.h"
#include "core/raise.h"
#include "core/routine.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "interpreter/eval.h"
#include "interpreter/trace.h"

namespace zel {
namespace interp {

namespace {

// The tracing switch of a body and the library mark, put back when the body
// ends on any path. A library body keeps its caller's switch where trace
// with a logic sets it, and saves the one an outer library body kept there.
struct BodyScope {
    bool saved;
    bool library;
    BodyScope(const Cell* fn, const Cell* context_cell) : library((context_cell->header & LIBRARY_CONTEXT) != 0) {
        if (library) {
            enter_library();
            saved = trace_state.caller_tracing;
            trace_state.caller_tracing = is_tracing();
            switch_tracing(false);
            return;
        }
        saved = is_tracing();
        if (fn->header & HDR_TRACE_OFF) {
            switch_tracing(false);
        } else if (fn->header & HDR_TRACE_ON) {
            switch_tracing(trace_state.run);
        }
    }
    ~BodyScope() {
        if (!library) {
            switch_tracing(saved);
            return;
        }
        leave_library();
        switch_tracing(trace_state.caller_tracing);
        trace_state.caller_tracing = saved;
    }
};

bool is_return_code(uint32_t code) { return code == EXIT_RETURN || code == EXIT_EXIT; }

// The words spelled as tags that name the frames of calls without a name:
// no word of the code can be one of them.
bool is_tag_word(const Cell* name) {
    using namespace words;
    static constexpr Word TAGS[] = {W_tag_anon, W_tag_applied, W_tag_interp_callback, W_tag_lexer_callback,
                                    W_tag_parse_callback, W_tag_compare_callback};
    if (cell::type(name) != T_WORD) return false;
    for (Word tag : TAGS) {
        if (cell::word_symbol(word(tag)) == cell::word_symbol(name)) return true;
    }
    return false;
}

// What the call and return events name: the word the function was called
// by; an unnamed call is named by the function itself.
const Cell* call_reference(const Cell* function, const Cell* name) {
    return !name || is_tag_word(name) ? function : name;
}

// The body cell where it lies in the function's extra: good until anything
// runs code or collects (a trace event, the body itself).
const Cell* body_of(const Cell* function) { return function::extra(function) + function::EXTRA_BODY; }

}  // namespace

// The function cell is the caller's held cell (the evaluator's call and
// apply hold theirs), so a collection rewrites it in place, and the body is
// read again from it after each trace event. The name, when given, is kept
// alive by the caller (see eval.h).
void call_function(const Cell* function, const Cell* name) {
    if (!is_tracing()) {
        call_function_body(body_of(function), function::context_of(function), function);
        return;
    }
    const Cell* reference = call_reference(function, name);
    emit_event(EV_CALL, nullptr, -1, reference, function);
    call_function_body(body_of(function), function::context_of(function), function);
    if (exits::pending()) return;
    if (is_tracing()) emit_event(EV_RETURN, nullptr, -1, reference, stack::reg.base);
}

// The context cell is fetched once before the body and once after it, as
// the body may move it; its node is read again from the held function, as
// a collection may renumber it. The body cell is read again after the
// prolog event (a body whose trace flag switches tracing on has one, even
// in a call that came untraced) and for the epilog, as either may find it
// moved; the evaluation copies it before anything runs.
void call_function_body(const Cell* body, Node ctx, const Cell* function) {
    Cell* cc = context::cell_of(ctx);
    uint32_t saved = cell::context_values(cc);
    cell::set_context_values(cc, stack::index_of(stack::reg.base));
    stack::Frame* frame = stack::top_frame();
    stack::set_catch_return(true);
    {
        BodyScope scope(function, cc);
        if (is_tracing()) {
            emit_event(EV_PROLOG, body, 0, function, nullptr);
            body = body_of(function);
        }
        if (!exits::pending()) {
            if (cell::type(body) == T_BLOCK) eval(words::word(words::W_tag_body), body, true);
            else stack::set_result(&statics::unset_cell);
        }
        if (!exits::pending() && is_tracing()) emit_event(EV_EPILOG, body_of(function), 0, function, stack::reg.base);
    }
    // A break or throw may have popped this frame: only a frame still on the
    // stack loses its mark.
    if (frame < stack::reg.call_top) stack::clear_catch_return(frame);
    cell::set_context_values(context::cell_of(function::context_of(function)), saved);
    if (is_return_code(exits::pending())) exits::clear();
}

void call_routine(const Cell* routine_value) {
    const Cell* index = function::extra(routine_value) + function::EXTRA_ENTRY;
    const routine::Entry* entry = cell::type(index) == T_INTEGER ? routine::entry(uint32_t(cell::get_int(index))) : nullptr;
    if (!entry) error::raise(Err::internal_routines);
    entry->fn();
}

}  // namespace interp
}  // namespace zel
