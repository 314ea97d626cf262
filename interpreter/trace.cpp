// Trace events: the mask a callback asks for, the emission of one event, and
// the start and end of a trace run.
#include "interpreter/trace.h"

#include "core/exits.h"
#include "core/function.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "datatypes/error.h"
#include "interpreter/eval.h"
#include "kernel/collector.h"

namespace zel {
namespace interp {

TraceState trace_state{false, false, 0, {T_NONE, 0, 0, 0}, false};

namespace {

// The word of each event bit, from bit 1 on.
const Cell* event_word(uint32_t event) {
    using namespace words;
    switch (event) {
    case EV_INIT: return word(W_init);
    case EV_END: return keyword(K_end);
    case EV_PROLOG: return word(W_prolog);
    case EV_EPILOG: return word(W_epilog);
    case EV_ENTER: return word(W_enter);
    case EV_EXIT: return word(W_exit);
    case EV_OPEN: return word(W_open);
    case EV_RETURN: return word(W_return_);
    case EV_FETCH: return word(W_fetch);
    case EV_PUSH: return word(W_push);
    case EV_SET: return keyword(K_set);
    case EV_CALL: return word(W_call);
    case EV_ERROR: return word(W_error);
    case EV_THROW: return word(W_throw_);
    case EV_CATCH: return word(W_catch_);
    default: return word(W_expr);
    }
}

uint32_t event_bit(uint32_t symbol) {
    for (uint32_t bit = EV_INIT; bit <= EV_EXPR; bit <<= 1) {
        if (symbol::resolve(cell::word_symbol(event_word(bit))) == symbol::resolve(symbol)) return bit;
    }
    return 0;
}

// The block a series holds at a position, or null.
const Cell* leading_block(SeriesBuffer* b, uint32_t at) {
    if (at >= series::length(b) || cell::type(series::cells(b) + at) != T_BLOCK) return nullptr;
    return series::cells(b) + at;
}

// The six arguments of the callback.
void event_arguments(Cell* args, uint32_t event, const Cell* code, int32_t position, const Cell* reference,
                     const Cell* value) {
    args[0] = *event_word(event);
    args[1] = statics::none_cell;
    cell::make_integer(&args[2], -1);
    if (code) {
        args[1] = *code;
        cell::set_series_index(&args[1], 0);
        int32_t tail = int32_t(series::length(node::buffer(cell::series_node(code))));
        if (position >= 0 && position < tail) cell::make_integer(&args[2], position);
    }
    args[3] = value ? *value : statics::none_cell;
    args[4] = reference ? *reference : statics::none_cell;
    args[5] = Cell{T_PAIR, 0, uint32_t(stack::reg.base - stack::reg.bottom), uint32_t(stack::reg.top - stack::reg.bottom)};
}

// Tracing off and the emitter closed while the callback runs, on every path.
struct Emitting {
    bool was_tracing;
    Emitting() : was_tracing(is_tracing()) {
        switch_tracing(false);
        trace_state.emitting = true;
    }
    ~Emitting() {
        switch_tracing(was_tracing);
        trace_state.emitting = false;
    }
};

}  // namespace

uint32_t trace_mask(const Cell* callback) {
    const Cell* body = function::extra(callback) + function::EXTRA_BODY;
    const Cell* list = nullptr;
    if (cell::type(body) == T_BLOCK)
        list = leading_block(node::buffer(cell::series_node(body)), uint32_t(cell::series_index(body)));
    if (!list) list = leading_block(node::buffer(cell::callable_spec(callback)), 0);
    if (!list) return DEFAULT_MASK;
    SeriesBuffer* b = node::buffer(cell::series_node(list));
    uint32_t mask = 0;
    for (uint32_t i = uint32_t(cell::series_index(list)); i < series::length(b); i++) {
        const Cell* c = series::cells(b) + i;
        if (cell::type(c) == T_WORD) mask |= event_bit(cell::word_symbol(c));
    }
    return mask;
}

void emit_event(uint32_t event, const Cell* code, int32_t position, const Cell* reference,
                const Cell* value) {
    TraceState& t = trace_state;
    if (!is_tracing() || t.emitting || !(t.mask & event)) return;
    Cell args[6];
    event_arguments(args, event, code, position, reference, value);
    stack::Registers saved = stack::reg;
    stack::push_slot();  // the value being produced stays where it is
    {
        Emitting scope;
        Cell callback = t.callback;
        invoke(&callback, words::word(words::W_tag_interp_callback), args, 6);
    }
    // An exit the callback started has placed the stacks for its target,
    // which lies below this emission point: it leaves from here as it is.
    exits::raise_pending();
    stack::reg.top = saved.top;
    stack::reg.base = saved.base;
    stack::reg.call_top = saved.call_top;
}

void set_tracing(bool on) {
    if (eval_state.library) trace_state.caller_tracing = on && trace_state.run;
    else switch_tracing(on && trace_state.run);
}

bool trace_start(const Cell* callback) {
    TraceState& t = trace_state;
    if (t.run) return false;
    t.mask = trace_mask(callback);
    t.callback = *callback;
    t.run = true;
    switch_tracing(true);
    emit_event(EV_INIT, nullptr, -1, nullptr, nullptr);
    return true;
}

void trace_end() {
    emit_event(EV_END, nullptr, -1, nullptr, nullptr);
    trace_state.run = false;
    switch_tracing(false);
    trace_state.callback = statics::none_cell;
}

void trace_throw() {
    if (is_tracing()) emit_event(EV_THROW, nullptr, -1, nullptr, stack::reg.base);
}

void trace_catch() {
    if (is_tracing()) emit_event(EV_CATCH, nullptr, -1, nullptr, stack::reg.base);
}

void trace_error(const Cell* error) {
    if (!is_tracing() || error::id_symbol(error) == 0) return;
    Cell code = *error::field(error, error::FIELD_CODE);
    if (cell::type(&code) == T_INTEGER && cell::get_int(&code) == int32_t(Err::internal_stack_overflow)) return;
    emit_event(EV_ERROR, nullptr, -1, nullptr, error);
}

void mark_trace() { collector::mark_cells(&trace_state.callback, &trace_state.callback + 1); }

}  // namespace interp
}  // namespace zel
