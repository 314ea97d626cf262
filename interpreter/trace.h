// Trace events: the evaluator reports what it does to a function written in
// the language. do/trace installs the callback for a trace run; from then on
// the evaluator, the function call and the exits of throw and catch emit
// events to it, each event one bit of the callback's mask.
//
// The callback runs with tracing switched off, so nothing it does is
// reported; an emission while one is already running is dropped, and so is
// the error event of a stack overflow, so tracing near a full stack never
// recurses without bound.
#pragma once
#include <cstdint>

#include "kernel/attention.h"
#include "kernel/cell.h"

namespace zel {
namespace interp {

enum Event : uint32_t {
    EV_INIT = 1, EV_END = 2, EV_PROLOG = 4, EV_EPILOG = 8, EV_ENTER = 16, EV_EXIT = 32,
    EV_OPEN = 64, EV_RETURN = 128, EV_FETCH = 256, EV_PUSH = 512, EV_SET = 1024,
    EV_CALL = 2048, EV_ERROR = 4096, EV_THROW = 8192, EV_CATCH = 16384, EV_EXPR = 32768,
};
// Every event bit and one more that no event uses.
constexpr uint32_t DEFAULT_MASK = 0x1FFFF;

// The tracing switch itself, read at every emission point, is a bit of the
// attention word (kernel/attention.h): is_tracing and switch_tracing.
struct TraceState {
    bool run;          // a do/trace run is active
    bool emitting;     // the callback is running
    uint32_t mask;
    Cell callback;     // the function! called for each event
    bool caller_tracing;  // the switch the innermost library body puts back
};
extern TraceState trace_state;

inline bool is_tracing() { return attention::tracing(); }
// Sets the switch; the word is written only when it changes (library
// bodies switch it off on every call, mostly when it is off already).
inline void switch_tracing(bool on) {
    if (is_tracing() != on) attention::put(attention::TRACING, on);
}

// trace with a logic: the switch of the code that called the library
// function running (or, outside library code, the switch itself) becomes the
// value and-ed with the trace run, so tracing never starts outside one.
void set_tracing(bool on);

// The events a callback asks for: the words of the block that begins its
// body, or else its spec; every event without one.
uint32_t trace_mask(const Cell* callback);

// Calls the callback when tracing is on and the mask has the event: the code
// block and position (null: none), the reference (the function, word or path
// concerned) and the value (null: none). A pending exit the callback leaves
// is raised as the exception once the stacks are back as they were.
void emit_event(uint32_t event, const Cell* code, int32_t position, const Cell* reference,
                const Cell* value);

// Starts a trace run with the callback unless one is active; answers whether
// it started one (and emitted init).
bool trace_start(const Cell* callback);
// Ends the run started by trace_start: emits end, switches tracing off.
void trace_end();

// The throw and catch events of the natives that throw and catch: the value
// is the current result slot.
void trace_throw();
void trace_catch();

// The evaluator's error event: emitted for each error raised while tracing.
void trace_error(const Cell* error);

// The collector's part: the callback cell.
void mark_trace();

}  // namespace interp
}  // namespace zel
