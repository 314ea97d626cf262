// The evaluator: runs a block of values expression by expression, straight
// from the cells the lexer made, on the value stack and the call stack.
//
// Words are read, set-words and set-paths assigned, parens and paths
// evaluated, callables called with the arguments their spec asks for, and
// infix operators applied strictly from left to right. Each expression leaves
// exactly one value on the value stack.
//
// The start of every expression is the collector's safe point: a collection
// may move any series buffer there. So the evaluator walks a block by
// (block node, position) and never keeps a cell pointer across an
// expression; the end of the block is its live tail, read again before every
// expression, so code that shortens its own block stops where the block now
// ends.
//
// Exits follow core/exits.h: after every evaluation the caller tests
// exits::pending() and returns at once while it is set. A pending code that
// arrives as the exception (from code that cannot test: a trace callback, a
// change handler, a comparator) turns back into the pending code at the
// nearest eval().
//
// How natives call back into the evaluator:
//   - a block:      interp::eval(name, block, keep_last); then test
//                   exits::pending() and return at once while it is set (the
//                   frames are already placed for the exit's target).
//   - one step:     interp::eval_next_at(block, position, keep) answers the
//                   position after the expression (do/next, reduce, any, all).
//   - a callable:   interp::invoke(callable, name, args, count) pushes the
//                   result; refinements stay unused.
//   - code that cannot test after each call wraps it in interp::invoke_raising
//                   or interp::eval_raising, which turn a pending exit into the
//                   exception; the native that owns the target frame catches
//                   it with exits::catch_pending.
#pragma once
#include <cstdint>

#include "core/stack.h"
#include "kernel/attention.h"
#include "kernel/cell.h"
#include "kernel/memory.h"

namespace zel {
namespace prepared {
struct Form;
extern uint32_t generation;  // see interpreter/prepared.h
}
namespace interp {

// ---- argument lists --------------------------------------------------------------
// The argument list of a callable is made once from its spec and cached in the
// second cell of its extra block. One cell per spec entry, in spec order:
//   - an argument: a typeset! of the types it accepts, the fetch mode in header
//     bits 20-21 and the symbol of its word in payload word 3 (types stop at
//     id 56, so the third typeset word is free);
//   - a refinement: the refinement! of the spec, its ordinal (1, 2, ...) in
//     payload word 3;
//   - last, an integer!: for a function! or routine! with /local the cells a
//     call holds for /local and its words; for a native! or action! with
//     refinements their number.
enum FetchMode : uint32_t { FETCH_EVAL = 0, FETCH_AS_IS = 1, FETCH_QUOTED = 2, FETCH_RETURN = 3 };
constexpr uint32_t FETCH_SHIFT = 20;
constexpr uint32_t FETCH_MASK = 0x300000u;
inline uint32_t fetch_mode(const Cell* entry) { return (entry->header & FETCH_MASK) >> FETCH_SHIFT; }
constexpr uint32_t entry_symbol(const Cell* entry) { return entry->w3; }
constexpr void set_entry_symbol(Cell* entry, uint32_t symbol) { entry->w3 = symbol; }
constexpr uint32_t entry_ordinal(const Cell* entry) { return entry->w3; }
constexpr void set_entry_ordinal(Cell* entry, uint32_t ordinal) { entry->w3 = ordinal; }

// The node of the argument list, made on first use.
Node prepare_spec(const Cell* callable);
// The refinement the path element at `at` names, checked as a call checks
// it (a word, or a get-word whose value decides whether it is used: *used;
// bad-refine, dup-refine against the elements from `from`, no-refine naming
// `name`): its position in the argument list.
int32_t checked_refinement(const Cell* path, uint32_t from, uint32_t at, Node list, const Cell* name, bool* used);

// ---- library code ----------------------------------------------------------------
// Functions of the standard library, evaluated from Zel source, carry this
// mark on their context cell: their bodies emit no trace events, the frames
// of the calls they make are not marked interpreted, and the current-code
// position stays at the user's code while they run. Their bodies' blocks
// carry SER_LIBRARY, which tells them from the user's blocks they evaluate.
constexpr uint32_t LIBRARY_CONTEXT = 0x4000u;
void mark_library(const Cell* function);
// A marked function, or any routine (only the library makes routines, and
// they run no Zel code of their own).
bool is_library(const Cell* function);

// ---- evaluation -------------------------------------------------------------------

// Installs the evaluator's services (error! spec evaluation, the error trace,
// the change notifiers of objects) and its collector roots. Idempotent.
void init();

// Evaluates the whole block under a block frame named by the word (one named
// <body> or <anon> runs without it, untraced: no exit and no listing could
// see it); the last value stays as the top value, or with keep_last goes to
// the caller's result slot. An empty block gives unset.
void eval(const Cell* name, const Cell* block, bool keep_last);

// A block a loop runs on every turn (its condition, its body): the
// prepared form it last ran from, while the count of forms' generations is
// the one it was found in, so that a turn over a block of chains and their
// assignments runs them straight from the form, without eval()'s entry or
// the form's lookup. The form is checked on every turn as eval() checks it
// (its block unchanged, no trace), and so are a due collection and a halt.
struct LoopBlock;
// The form a block marked prepared holds when its loop starts, so that its
// first turn need not go through eval() to find it.
void find_form(LoopBlock& turn);
struct LoopBlock {
    explicit LoopBlock(const Cell* b) : block(b) {
        if (node::buffer(cell::series_node(b))->flags & SER_PREPARED) find_form(*this);
    }
    const Cell* block;  // a cell that stays put while the loop runs (its argument)
    prepared::Form* form = nullptr;
    uint32_t generation = 0;
    uint32_t general_turns = 0;  // turns the general evaluator ran
    bool quick = false;          // the form is quick (prepared::Form::quick)
};
// A turn from the form the block last ran from, and one through eval().
void form_turn(LoopBlock& turn, const Cell* name, bool keep_last);
void general_turn(LoopBlock& turn, const Cell* name, bool keep_last);
// eval(name, block, keep_last) for one turn of a loop; the name is <body> or
// <anon>.
inline void eval_turn(LoopBlock& turn, const Cell* name, bool keep_last) {
    if (turn.form && turn.generation == prepared::generation) form_turn(turn, name, keep_last);
    else general_turn(turn, name, keep_last);
}

// Turns of a loop run here while the blocks' forms are quick
// (prepared::Form::quick) and each turn runs no code, with the checks each
// block's eval_turn makes (form, trace, collection, halt). The loop frame
// is on top; each turn's values go where eval_turn leaves them. A result
// other than the end tells the native where its general turn goes on.
enum QuickWhile {
    WHILE_END,   // the condition was falsy
    WHILE_NONE,  // nothing of a turn done: the condition takes eval_turn
    WHILE_COND,  // the condition ran, partly the general way: its exits and value to check
    WHILE_TRUE,  // the condition was truthy; the body takes eval_turn
    WHILE_BODY,  // the body ran, partly the general way: its exits to check
};
QuickWhile quick_while(LoopBlock& cond, LoopBlock& body);
// A while run from a form whose blocks are written in the code may take its
// first turns before its frames are opened (nothing can see them while the
// turns run no code); where it stopped is handed to the native, which goes
// on from there: at the start of a turn, at the body after a truthy
// condition, or in the condition or the body from its form's k-th
// expression (the ones before it done).
enum WhileStop : uint8_t { STOP_NONE, STOP_TRUE, STOP_COND, STOP_BODY };
struct WhileResume {
    WhileStop stop;
    uint32_t k;
    prepared::Form* form;  // of the block stopped in
};
// The stop handed to the while native now running, taken (STOP_NONE for
// any other call).
WhileResume take_while_resume();
// The native's first turn: the rest of the stopped one, else quick_while's.
QuickWhile first_while(LoopBlock& cond, LoopBlock& body, const WhileResume& resume);
// loop and repeat: turns while *turns < count, each counting itself in
// *turns and setting the word (null for none) to that count first.
enum QuickCount {
    COUNT_END,    // count turns done
    COUNT_NONE,   // nothing of a turn done
    COUNT_BEGUN,  // a turn counted and its word set; the body takes eval_turn
    COUNT_BODY,   // the body ran, partly the general way: its exits to check
};
QuickCount quick_count(LoopBlock& body, const Cell* word, int64_t* turns, int64_t count);
// Whether the block last ran from a quick form that may still hold: else a
// counted loop's turn goes straight to eval_turn.
inline bool may_run_quick(const LoopBlock& turn) {
    return turn.quick && turn.generation == prepared::generation;
}

// One expression (with the infix operators after it) from the position (a
// series index) under a <body> frame; with keep the value stays as the top
// value, else it goes to the caller's result slot. Answers the next position.
uint32_t eval_next_at(const Cell* block, uint32_t position, bool keep);
// One expression from the block's own position into the caller's result
// slot; at the tail the result is unset. Answers the next index.
uint32_t eval_next(const Cell* block);

// eval and invoke for code that cannot test after each call: a pending exit
// leaves as the exception Throw{code}.
void eval_raising(const Cell* name, const Cell* block);
void invoke_raising(const Cell* callable, const Cell* name, const Cell* args, uint32_t count);

// Calls a callable (native!, action!, op!, function!, routine!) with count
// argument cells; missing arguments are none, refinements unused, locals
// false and none. The result is pushed. Argument types are checked.
void invoke(const Cell* callable, const Cell* name, const Cell* args, uint32_t count);
// The same for a function! whose refinements the caller sets: the cells fill
// the frame in spec order, a refinement's cell giving its flag (set only by a
// true logic!); the arguments of an unused refinement are none whatever is
// given for them, and the frame's slots past count are as for an unused
// refinement.
void invoke_positional(const Cell* callable, const Cell* name, const Cell* args, uint32_t count);

// ---- reduce and compose ---------------------------------------------------------------
// The count of values a reduce of the block should give: the count of its
// expressions when its prepared form holds and is decoded to the tail, else
// its cells from the index (a negative count when the index is past the tail).
int32_t reduce_estimate(const Cell* block);
// Evaluates the block's expressions from its index to its live tail, each as
// eval_next_at does in the frame the caller opened, and inserts each value
// (without its new-line marker) at out's index, which advances; the caller
// holds both cells. Plain chains and their assignments run from the block's
// prepared form, made when a block is reduced the second time. False on a
// pending exit.
bool reduce_into(const Cell* block, Cell* out);
// The value of a paren as eval(<anon>, paren) gives it, into *out; a paren of
// one plain chain runs from its prepared form, made when the paren is met
// the second time. False on a pending exit.
bool paren_into(const Cell* paren, Cell* out);

// ---- invocation (call.cpp) ----------------------------------------------------------
// Runs a function whose frame and arguments are in place; the result ends in
// the frame's result slot. The context pointed at the arguments is always the
// function's own. The caller keeps the function cell rooted for the call.
// The name it called the function by (null: none), which the call and return
// events report, is a word the caller keeps alive: held, or a copy whose
// context the frame keeps (nodes keep their numbers across collections).
void call_function(const Cell* function, const Cell* name = nullptr);
void call_function_body(const Cell* body, Node ctx, const Cell* function);
// Runs a routine whose frame and arguments are in place.
void call_routine(const Cell* routine);

// ---- current code --------------------------------------------------------------------
struct EvalState {
    Cell* code;        // the innermost eval's block outside library code, or null
    uint32_t library;  // library bodies running
    uint32_t frame_bit;  // stack::INTERPRETED while library is 0, else 0 (see enter_library)
    bool loading;      // the library is being loaded: every function made is library code
};
extern EvalState eval_state;
// A library body starts and ends: the count, and the bit that the frames
// the evaluator pushes carry (those of calls made from library code are not
// marked interpreted), kept with it so that a frame's push reads it whole.
inline void enter_library() {
    eval_state.library++;
    eval_state.frame_bit = 0;
}
inline void leave_library() {
    if (--eval_state.library == 0) eval_state.frame_bit = stack::INTERPRETED;
}

// A halt asked for (by the console's Ctrl-C handler, from a signal handler)
// stops the evaluation at its next safe point as the word halt does: the
// evaluator clears the request and calls halt. A bit of the attention word.
inline void request_halt() { attention::set(attention::HALT); }
inline bool is_halt_requested() { return attention::has(attention::HALT); }

// The block being evaluated by the innermost eval (outside library code) with
// its index at the expression being evaluated; unset when none runs.
Cell current_code();

}  // namespace interp
}  // namespace zel
