// Non-local exits: errors, break, continue, return, exit, throw and quit.
//
// An exit leaves any number of nested calls at once, in two steps.
//
// 1. The stack step (the stack::throw_* routines below) pops call frames down
//    to the frame that takes the exit, keeps that frame on the call stack and
//    puts the value-stack registers and the exit's value where the frame's
//    owner will look for them. An exit that finds no frame to take it, or
//    meets a barrier frame first, leaves both stacks as they were and raises
//    its throw-category error instead.
//
// 2. The C++ step carries control up to the owner of that frame (the C++
//    routine that pushed it):
//
//    - break, continue, return, exit and throw travel as the PENDING CODE,
//      runtime::record.pending_code. throw_break, throw_return and throw_value
//      place the frames, set the code and return normally. Every routine that
//      evaluates code (the evaluator, the function call, every native that
//      evaluates a block or calls a function) tests exits::pending() after
//      each evaluation and, while it is not 0, returns at once: it pushes
//      nothing and leaves no frame of its own, because the exit has already
//      popped every frame above the target. RAII may restore C++ state on
//      the way; it never pops call frames.
//    - The owner of the target frame takes the code when it is one of its
//      frame's kind and its frame is the top frame (stack::top_frame()); it
//      clears the code with exits::clear() and finds the value in place:
//        break     loop frame (enter_loop) on top; its result slot (the base)
//                  holds the break/return value or unset; value top = base.
//        continue  the same, the result slot unset: go on with the next turn.
//        return    the catch-return frame on top; its result slot holds the
//        exit      returned value (unset for exit); value top = base.
//        throw     catch frame (enter_catch) on top; its result slot holds the
//                  thrown value and the next cell the name (none without one);
//                  value top = base + 2. A catch that does not want the name
//                  passes the throw on with stack::throw_value(EXIT_THROW).
//      The owner then leaves its frame as usual (for break: leave_last moves
//      the value into its caller's result slot). Any other code passes on.
//    - An error travels as the C++ exception Throw{EXIT_ERROR}; the pending
//      code stays 0. stack::throw_error pops every frame down to and including
//      the nearest try (enter_try) or barrier (enter_eval) frame, so its owner
//      must NOT leave that frame again; the error is the top value of the
//      value stack and the base is the owner's own (the one it had when it
//      pushed the frame): stack::adjust_result() makes the error the result.
//      Owners catch errors with exits::catch_error and nothing else catches
//      Throw{EXIT_ERROR}. An error that no try or barrier frame takes is
//      printed (its report) and ends the process with status 254.
//    - Quit travels as Throw{EXIT_QUIT} to the root catch, which ends the
//      process quietly; nothing else catches it.
//
// Code that calls the evaluator but cannot test after each call (a sort
// comparator, a lexer or trace callback, a change handler) runs the
// evaluation through exits::raise_pending, which turns a pending code into
// the exception Throw{code}; the native that started that code wraps it in
// exits::catch_pending, which turns the exception back into the pending code,
// and then returns at once as above.
#pragma once
#include <cstdint>

#include "core/stack.h"
#include "kernel/runtime.h"

namespace zel {
namespace stack {

// Pops frames down to the nearest frame of the kind (a barrier stops the walk
// too, and so does the bottom frame) and places the registers for it; with
// keep the frame stays on the stack, without it call top is put back above it
// afterwards, so it remains either way. Function frames popped on the way give
// their context its values back. Answers the frame found (null on an empty
// call stack).
Frame* unroll(uint32_t kind, bool keep);

// Throws an error! value: to the nearest try or barrier frame, or, when there
// is none, prints its report and ends the process.
[[noreturn]] void throw_error(const Cell* error);

// break (is_continue false) or continue; with_value for break/return, whose
// value is the first argument of the break call.
void throw_break(bool with_value, bool is_continue);
// break (without a value) or continue from code that opened no frame for
// the call (the evaluator's short way): false, with nothing changed, when no
// loop takes it, so that the general call raises the error.
bool break_in_place(bool is_continue);
// return (with_value) or exit; no_own_frame when the top frame is not the
// exiting native's own frame and must be examined too.
void throw_return(bool with_value, bool no_own_frame);
// return of the value from code that opened no frame for the return call
// (the evaluator's short way): false, with nothing changed, when no frame
// takes it, so that the general call raises the error.
bool return_in_place(const Cell* value);
// throw: the value is the first argument of the throw call, its name the
// second; the code travels pending.
void throw_value(uint32_t code);

inline Frame* rewind_loop(bool keep) { return unroll(KIND_LOOP, keep); }

}  // namespace stack

namespace exits {

inline uint32_t pending() { return runtime::record.pending_code; }
inline void clear() { runtime::record.pending_code = EXIT_NONE; }
// The codes that travel pending.
constexpr bool is_pending_code(uint32_t code) { return code >= EXIT_THROW && code <= EXIT_BREAK; }

// For code that cannot test after each evaluation: a pending code becomes
// the exception.
inline void raise_pending() {
    if (runtime::record.pending_code != EXIT_NONE) throw Throw{runtime::record.pending_code};
}

// Runs f; a pending-code exception that leaves it becomes the pending code
// again. Answers the pending code (0 when none). Errors and quit pass.
template <class F>
uint32_t catch_pending(F&& f) {
    try {
        f();
    } catch (const Throw& t) {
        if (!is_pending_code(t.code)) throw;
        runtime::record.pending_code = t.code;
    }
    return runtime::record.pending_code;
}

// Runs f; true when an error left it (then the error is the top value of the
// value stack and the owner's try or barrier frame is gone). Every other
// exception passes.
template <class F>
bool catch_error(F&& f) {
    try {
        f();
        return false;
    } catch (const Throw& t) {
        if (t.code != EXIT_ERROR) throw;
        runtime::record.pending_code = EXIT_NONE;
        return true;
    }
}

// Prints the error's report as print does and ends the process with the
// status of an uncaught error.
[[noreturn]] void end_uncaught(const Cell* error);
// Called first for an error that nothing catches. A host that runs code outside
// any try frame (the unit tests) installs one that throws instead; when it
// returns, the process ends as above.
using UncaughtHandler = void (*)(const Cell* error);
extern UncaughtHandler uncaught_handler;
constexpr int UNCAUGHT_STATUS = 254;

}  // namespace exits
}  // namespace zel
