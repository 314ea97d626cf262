// The line editor: one input line on a terminal, read in raw mode, with the
// prompt, cursor movement, deletion, history walking and Tab completion (the
// characters typed echoed, or "*" for each when hidden).
#pragma once

#include "kernel/cell.h"

namespace zel {
namespace line_reader {

// Appends the line typed to line (a string!). Enter ends it and puts a copy of
// the value at the head of history (a block!) unless hidden, empty or equal to
// the newest entry; Ctrl-C, and Ctrl-D on an empty line, make it "q"; Esc
// ends it with an ESC character. False when the input ended before any key.
// Tab runs Zel code, so line and history are cells outside any series buffer
// (a copy, not a pointer into the root block) whose values the caller keeps
// rooted.
bool read(const Cell* line, const Cell* prompt, const Cell* history, bool hidden);

}  // namespace line_reader
}  // namespace zel
