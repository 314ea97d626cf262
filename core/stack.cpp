// The value stack and the call stack: registers, frames, overflow, and the
// listings of the active calls that error reports and the collector read.
#include "core/stack.h"

#include "core/context.h"
#include "core/cycles.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/string.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/error.h"
#include "kernel/collector.h"
#include "kernel/memory.h"
#include "kernel/unicode.h"

namespace zel {
namespace stack {

// Fixed arrays outside the collector: the registers point into them for the
// life of the process.
static Cell value_cells[VALUE_CELLS];
static Frame frames[FRAME_COUNT];

// Empty stacks from the start, so that nothing ever sees null registers.
Registers reg{value_cells, value_cells, value_cells + VALUE_CELLS, value_cells,
              frames,      frames,      frames + FRAME_COUNT,      nullptr, 0, 0};

void init() {
    reg.bottom = reg.top = reg.base = value_cells;
    reg.limit = value_cells + VALUE_CELLS;
    reg.call_bottom = reg.call_top = frames;
    reg.call_limit = frames + FRAME_COUNT;
    reg.pending_error = nullptr;
    reg.body_symbol = cell::word_symbol(words::word(words::W_tag_body));
    reg.anon_symbol = cell::word_symbol(words::word(words::W_tag_anon));
}

// ---- overflow -----------------------------------------------------------------
// Five cells below the failed top leave room to build and throw the error.

void value_overflow() {
    reg.top -= 5;
    cycles::reset();
    error::raise(Err::internal_stack_overflow);
}

void call_overflow() {
    reg.top = reg.top - reg.bottom > 5 ? reg.top - 5 : reg.bottom;
    cycles::reset();
    error::raise(Err::internal_stack_overflow);
}

void adjust_result() {
    Cell* t = top();
    if (cell::type(t) == T_ERROR) *reg.base = *t;
    reg.top = reg.base + 1;
}

// ---- function frames ----------------------------------------------------------

Frame* enter_func(const Cell* word, Node ctx) {
    return push_frame(word, KIND_FUNCTION, ctx, ctx ? cell::context_values(context::cell_of(ctx)) : 0);
}

void restore_values(const Frame* f) {
    if (f->function_context) cell::set_context_values(context::cell_of(f->function_context), f->saved_values);
}

// ---- frame pop ----------------------------------------------------------------

void leave_func() {
    if (!has_frames()) return;
    Cell* callee;
    restore_values(pop_frame(&callee));
    reg.top = callee + 1;
}

void leave_reset() {
    if (!has_frames()) return;
    Cell* callee;
    pop_frame(&callee);
    reg.top = reg.base;
}

void leave_drop() {
    if (!has_frames()) return;
    Cell* callee;
    Frame* f = pop_frame(&callee);
    if (kind_of(f) == KIND_FUNCTION) restore_values(f);
    reg.top = callee;
    if (!has_frames()) reg.base = reg.top = reg.bottom;
}

// ---- queries ------------------------------------------------------------------

bool is_interp_frame(const Frame* frame, bool only_next) {
    const Frame* f = frame ? frame : reg.call_top;
    while (f > reg.call_bottom) {
        --f;
        if (f->header & INTERPRETED) return true;
        if (only_next) return false;
    }
    return false;
}

// Where a walk for the current error starts: the pending-error position when
// one is set (never above call top, whose frames may be gone), else call top.
static Frame* error_position() {
    Frame* p = reg.pending_error;
    reg.pending_error = nullptr;
    return p && p <= reg.call_top ? p : reg.call_top;
}

// The frame's word: the word of its symbol in its word context, else the
// global context's.
static Cell frame_word(const Frame* f) {
    return word::get_or_add(f->word_context ? f->word_context : context::global_node, f->symbol);
}

Cell get_call() {
    for (Frame* f = error_position(); f > reg.call_bottom;) {
        --f;
        if (!is_unnamed(f)) return frame_word(f);
    }
    return *words::word(words::W_tag_not_found);
}

// ---- listings -----------------------------------------------------------------

void trace(const Cell* block) {
    for (Frame* f = reg.call_top - 1; f > reg.call_bottom; --f) {
        if (is_unnamed(f)) continue;
        Cell word = context::add_word(f->symbol, false, false);
        if (f->function_context) context::bind_word(f->function_context, &word);
        *block::append_slot(block) = word;
        cell::make_integer(block::append_slot(block), int32_t(f->saved_base));
    }
}

// True when the frame's name belongs in a listing of this level: every named
// frame above level 1, else those whose word holds a function!.
static bool is_listed(const Frame* f, uint32_t level) {
    if (is_unnamed(f)) return false;
    if (level > 1) return true;
    Cell* value = context::get_word_cell(f->symbol, f->word_context ? f->word_context : context::global_node);
    return value && cell::type(value) == T_FUNCTION;
}

// The frames a listing may read: never above call top, as popped frames are
// stale.
static Frame* listing_end(uint32_t end) {
    return end < depth() ? reg.call_bottom + end : reg.call_top;
}

void collect_names(uint32_t level, const Cell* block, uint32_t end) {
    Frame* last = listing_end(end);
    for (Frame* f = reg.call_bottom; f < last; ++f)
        if (is_listed(f, level)) *block::append_slot(block) = context::add_word(f->symbol, false, false);
}

// Appends the symbol's name to the string, at most budget characters of it;
// answers the characters appended.
static int32_t append_name(const Cell* text, uint32_t symbol, int32_t budget) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(symbol::get_cstr(symbol));
    const uint8_t* end = p;
    while (*end) end++;
    int32_t n = 0;
    SeriesBuffer* b = string::buffer_of(text);
    while (p < end && n < budget) {
        int32_t cp;
        p = utf8::decode_char(p, end, &cp);
        b = string::append_char(b, cp < 0 ? utf8::REPLACEMENT : uint32_t(cp));
        n++;
    }
    return n;
}

int32_t collect_names_part(uint32_t level, uint32_t end, const Cell* text, int32_t budget) {
    Frame* last = listing_end(end);
    for (Frame* f = reg.call_bottom; f < last && budget > 0; ++f) {
        if (!is_listed(f, level)) continue;
        budget -= append_name(text, f->symbol, budget);
        string::append_char(string::buffer_of(text), ' ');
        budget -= 1;
    }
    return budget;
}

void mark_error_stack(const Cell* error) {
    Cell* field = error::field(error, error::stack_field());
    if (cell::type(field) == T_BLOCK) return;
    cell::make_integer(field, int32_t(depth()));
    error::fill_stack(error);
}

// ---- collector ----------------------------------------------------------------

void mark_frames() {
    for (Frame* f = reg.call_bottom; f < reg.call_top; ++f) {
        if (f->word_context) collector::mark_context_node(&f->word_context);
        if (!f->function_context) continue;
        collector::mark_context_node(&f->function_context);
        bool on_stack = context::is_on_stack(context::cell_of(f->function_context));
        if (!on_stack && f->saved_values) collector::mark_series(&f->saved_values);
    }
}

}  // namespace stack
}  // namespace zel
