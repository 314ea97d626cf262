// The lexer: UTF-8 source text to values.
//
// One table-driven automaton serves `transcode`, `load`, the console's check
// for unfinished input and `scan`: it cuts the text into tokens, and per token
// a scanner finds where the token really ends (delimiters, strings, nesting)
// and a loader turns its bytes into a value. Values are built on the lexer's
// own cell stack and copied into a block once at the end.
//
// Modes: load reads every value; one-value (`/next`, `/one`) stops after the
// first complete value; scan only types the tokens (nothing is loaded, errors
// end the scan with `error!`); prescan only delimits and types them by the
// tables. Syntax errors are language errors of category syntax naming the
// line.
//
// Scans nest (an event callback may transcode again); the input may be a
// binary! that an allocation or a callback moves, so positions are offsets.
#pragma once
#include <cstddef>
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace lexer {

enum Mode : uint32_t { MODE_LOAD = 0, MODE_ONE = 1, MODE_SCAN = 2, MODE_PRESCAN = 3 };

// Event bits of the callback's mask.
enum Event : uint32_t {
    EVENT_PRESCAN = 1, EVENT_SCAN = 2, EVENT_LOAD = 4, EVENT_OPEN = 8, EVENT_CLOSE = 16, EVENT_ERROR = 32,
    EVENT_ALL = 63,
};

struct Request {
    Mode mode = MODE_LOAD;
    // A function! called with every event the mask asks for (its body may
    // start with a block of event words), or null.
    const Cell* callback = nullptr;
    // A block to append the values to (transcode/into), or null for a new one.
    const Cell* into = nullptr;
};

struct Result {
    uint32_t type;      // type of the last token read; T_ERROR after a skipped error at the end
    uint32_t consumed;  // position reached: bytes of binary! input, characters of string! input
};

// Allocates the lexer stack and the UTF-8 scratch buffer, registers the
// stack with the collector and installs the scanner behind load/value-from-
// string. Boot calls it once; later calls change nothing.
void init();
// The collector's part: the cells of every active scan.
void mark_roots();

// Each scan writes its block into *out (a rooted cell: value stack or held),
// or none when a callback skipped an error at the end of the input.
// Bytes that cannot move (C++ text).
Result scan(Cell* out, const uint8_t* bytes, uint32_t length, const Request& request);
// A binary! from its index, length bytes (negative: to the tail); a leading
// UTF-8 byte-order mark is the caller's to skip.
Result scan_binary(Cell* out, const Cell* binary, int32_t length, const Request& request);
// A string! from its index, length characters (negative: to the tail),
// through the scratch buffer.
Result scan_string(Cell* out, const Cell* string, int32_t length, const Request& request);

// Text to a block: the transcode core for C++ callers (tests, the console).
// The block is pushed on the value stack, which roots it; the copy answered
// is good while that cell stays.
Cell load_text(const char* utf8, size_t length);

// Calling an event callback is the evaluator's work: it installs this, which
// calls the function! with the five argument cells (event word, input, type,
// line, token) and answers whether the result is neither none nor false. A
// scan with a callback and no caller raises internal error not-done.
using Caller = bool (*)(const Cell* callback, const Cell* args);
void set_caller(Caller caller);

// The event mask of a callback: the bits of the event words in the block that
// starts its body, or every event.
uint32_t event_mask(const Cell* callback);

// The datatype a token stopped in a state would have become (0 for none):
// the type of a lexical error and of unfinished input.
uint32_t state_type(uint32_t state);

// A new block of the result kinds of the terminal states, in state order
// (the state numbered FIRST at position 1): the datatype of the token, or a
// word for what has none (eof, comment, comma) or that the lexer tells apart
// from its type (hex, rawstring).
Cell exit_states();

}  // namespace lexer
}  // namespace zel
