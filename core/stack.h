// The value stack and the call stack: where every call keeps its arguments,
// locals and result, and the record of who is running.
//
// Both stacks are fixed arrays outside the collector, so they never move and
// the registers are plain pointers into them. The value stack holds 20,000
// cells; the call stack 12,000 frames. A call's arguments start at the
// arguments base, whose first cell is the call's result slot: entering a frame
// sets the base to the value top, so the first value pushed afterwards lands
// in the result slot.
//
// A frame records the word that names the call (its symbol and context), its
// kind and flags, the caller's arguments base, and for a function call the
// function's context with the values word that context held at the push, put
// back when the frame is left.
//
// Overflow of either stack raises internal error stack-overflow after lowering
// the value top by five cells, so building and throwing the error has room.
//
// A context whose values live on the value stack keeps a value-stack index in
// payload word 2 of its context cell, as a pointer would not fit: index_of and
// cell_at convert. Indexes start at 1 (the bottom cell), so that 0 can mean
// "no values" (a function that is not running).
#pragma once
#include <cstdint>

#include "kernel/cell.h"
#include "core/type_groups.h"

namespace zel {
namespace stack {

constexpr uint32_t VALUE_CELLS = 20000;
constexpr uint32_t FRAME_COUNT = 12000;

// Frame kinds (header bits 24-27) and flags.
enum FrameBits : uint32_t {
    KIND_MASK = 0x0F000000u,
    KIND_FUNCTION = 0x01000000u,   // function call: restores its context's values
    KIND_NATIVE = 0x02000000u,     // native, action or op call
    KIND_TRY = 0x04000000u,        // catches errors
    KIND_BARRIER = 0x05000000u,    // catches errors, stops every other exit
    KIND_CATCH = 0x06000000u,      // target of throw
    KIND_BLOCK = 0x07000000u,      // evaluation of a block
    KIND_LOOP = 0x08000000u,       // target of break and continue
    KIND_RESERVED = 0x09000000u,   // pushed by nothing, tested by nothing
    CATCH_RETURN = 0x10000000u,    // target of return and exit
    INTERPRETED = 0x80000000u,     // pushed by the evaluator
};

struct Frame {
    uint32_t header;          // kind and flags
    uint32_t symbol;          // the symbol of the word naming the call
    uint32_t saved_base;      // the caller's arguments base, cells from the bottom
    Node word_context;        // context of the naming word
    Node function_context;    // the called function's context, or 0
    uint32_t saved_values;    // that context's values word at the push
};

struct Registers {
    Cell* bottom;             // first cell of the value stack
    Cell* top;                // next free cell
    Cell* limit;              // one past the last cell
    Cell* base;               // arguments base = result slot of the current call
    Frame* call_bottom;
    Frame* call_top;          // next free frame
    Frame* call_limit;
    Frame* pending_error;     // where get_call starts instead of call_top, or null
    uint32_t body_symbol;     // <body> and <anon> name frames without a name
    uint32_t anon_symbol;
};
extern Registers reg;

// Sets the registers to empty stacks and caches the frame-name symbols;
// needs the symbol table.
void init();

// ---- overflow (out of line: never returns) -----------------------------------
[[noreturn]] void value_overflow();
[[noreturn]] void call_overflow();

// ---- value stack --------------------------------------------------------------

// Advances the top by one cell and answers the cell that was the top.
[[gnu::always_inline]] inline Cell* push_slot() {
    Cell* c = reg.top++;
    if (reg.top >= reg.limit) value_overflow();
    return c;
}
[[gnu::always_inline]] inline Cell* push(const Cell* value) {
    Cell* c = reg.top;
    *c = *value;
    reg.top = c + 1;
    if (c + 1 >= reg.limit) value_overflow();
    return c;
}
inline void pop(uint32_t n) {
    reg.top = uint32_t(reg.top - reg.bottom) > n ? reg.top - n : reg.bottom;
}
// The next push writes the result slot.
inline Cell* reset() { return reg.top = reg.base; }
// Keeps the result slot only.
inline void keep() { reg.top = reg.base + 1; }
inline Cell* arg(uint32_t k) { return reg.base + k; }
[[gnu::always_inline]] inline void set_result(const Cell* value) { *reg.base = *value; }
inline void return_value(const Cell* value) {
    reg.top = reg.base + 1;
    *reg.base = *value;
}
// After a trapped error: the error on top becomes the result.
void adjust_result();
inline Cell* top() { return reg.top > reg.bottom ? reg.top - 1 : reg.bottom; }
// The top value where one was just pushed: no test for an empty stack.
inline Cell* last() { return reg.top - 1; }
inline uint32_t top_type() { return cell::type(top()); }
inline bool is_top_function() {
    return types::is_function_like(top_type());
}
// Removes the cell below the top value.
inline void drop_below() {
    reg.top--;
    reg.top[-1] = reg.top[0];
}
inline bool is_empty() { return reg.top == reg.bottom; }

// Value-stack indexes: the bottom cell is 1, 0 is no cell.
inline uint32_t index_of(const Cell* c) { return uint32_t(c - reg.bottom) + 1; }
[[gnu::always_inline]] inline Cell* cell_at(uint32_t index) { return reg.bottom + (index - 1); }

// ---- frame push ---------------------------------------------------------------
// Every push takes the word cell that names the call (its symbol and context
// go into the frame) and answers the new frame.

// The frame written in one step: a function call's records its context and
// the values word that context held at the push, every other frame 0 and 0.
[[gnu::always_inline]] inline Frame* push_frame(const Cell* word, uint32_t header, Node function_context,
                                                uint32_t saved_values) {
    Frame* f = reg.call_top;
    if (f >= reg.call_limit) call_overflow();
    f->header = header;
    f->symbol = cell::word_symbol(word);
    f->saved_base = uint32_t(reg.base - reg.bottom);
    f->word_context = cell::word_context(word);
    f->function_context = function_context;
    f->saved_values = saved_values;
    reg.call_top = f + 1;
    reg.base = reg.top;
    return f;
}
inline Frame* enter_frame(const Cell* word, uint32_t header) { return push_frame(word, header, 0, 0); }
// A function call: the frame also records the context and its values word.
Frame* enter_func(const Cell* word, Node function_context);
inline Frame* enter_native(const Cell* word) { return enter_frame(word, KIND_NATIVE); }
inline Frame* enter_try(const Cell* word) { return enter_frame(word, KIND_TRY); }
inline Frame* enter_eval(const Cell* word) { return enter_frame(word, KIND_BARRIER); }
inline Frame* enter_catch(const Cell* word) { return enter_frame(word, KIND_CATCH); }
inline Frame* enter_block(const Cell* word) { return enter_frame(word, KIND_BLOCK | INTERPRETED); }
inline Frame* enter_loop(const Cell* word) { return enter_frame(word, KIND_LOOP); }

// ---- frame pop ----------------------------------------------------------------
// Each pops the top frame (nothing on an empty call stack) and puts the
// arguments base back to the caller's. They differ in what they keep:
//   leave, leave_func            the callee's result stays as the top value
//   leave_last                   the callee's result goes to the caller's slot
//   leave_reset                  the result is dropped
//   leave_drop                   top := callee base (empty call stack: bottoms)
// leave_func puts the function context's values back; leave_drop does it for
// function frames only.

inline uint32_t kind_of(const Frame* f) { return f->header & KIND_MASK; }
inline bool has_frames() { return reg.call_top > reg.call_bottom; }
void restore_values(const Frame* f);

// Pops the top frame, puts the base back to the caller's and answers the
// frame; the callee's base goes to *callee.
inline Frame* pop_frame(Cell** callee) {
    Frame* f = --reg.call_top;
    *callee = reg.base;
    reg.base = reg.bottom + f->saved_base;
    return f;
}

inline void leave() {
    if (!has_frames()) return;
    Cell* callee;
    pop_frame(&callee);
    reg.top = callee + 1;
}

inline void leave_last() {
    if (!has_frames()) return;
    Cell* callee;
    pop_frame(&callee);
    reg.top = callee + 1;
    *reg.base = *callee;
}

void leave_func();
void leave_reset();
void leave_drop();

// ---- frame flags --------------------------------------------------------------
inline void set_catch_return(bool flag) {
    if (!has_frames()) return;
    Frame* f = reg.call_top - 1;
    f->header = flag ? f->header | CATCH_RETURN : f->header & ~CATCH_RETURN;
}
inline void clear_catch_return(Frame* f) { f->header &= ~CATCH_RETURN; }

// ---- frame queries ------------------------------------------------------------
inline Frame* top_frame() { return reg.call_top - 1; }
inline uint32_t depth() { return uint32_t(reg.call_top - reg.call_bottom); }
// True when an interpreted frame lies below the given one (below call top
// when null); with only_next, looks at one frame only.
bool is_interp_frame(const Frame* frame, bool only_next);
// True for <body> and <anon> frames, which the listings and get_call skip.
inline bool is_unnamed(const Frame* f) {
    return f->symbol == reg.body_symbol || f->symbol == reg.anon_symbol;
}

// The word of the nearest named call, for error reports: starts at the
// pending-error position when one is set (and clears it), else at call top;
// the word <not-found> when there is none.
Cell get_call();

// ---- listings -----------------------------------------------------------------

// Appends, for every named frame from the top down to (not including) the
// bottom-most one: its word bound in the function context (global when none),
// then its saved arguments base as an integer! from the bottom.
void trace(const Cell* block);
// Appends a global word of the symbol of every named frame from the bottom up
// to (not including) the frame position end, when level is above 1 or the
// word's value is a function!.
void collect_names(uint32_t level, const Cell* block, uint32_t end);
// The same walk, forming each name and one space into the string while the
// character budget lasts; answers the budget left.
int32_t collect_names_part(uint32_t level, uint32_t end, const Cell* text, int32_t budget);
// Records the call-stack depth in the error's stack field (unless it already
// holds a block!) and turns it into the block of names at once, while every
// frame it lists is still on the stack.
void mark_error_stack(const Cell* error);

// ---- collector ----------------------------------------------------------------
// Marks the contexts of every frame; the collector calls it after it has
// marked the value-stack cells from bottom to top.
void mark_frames();

}  // namespace stack
}  // namespace zel
