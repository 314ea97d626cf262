// The console's terminal layer: tells a terminal from a pipe, reads lines of
// UTF-8 from a pipe, measures the window, moves the cursor and clears with
// ANSI sequences, sets the title, and enters and leaves the raw input mode
// that line reading on a terminal needs. The raw mode is restored on every
// way out of the process (platform/terminal.h).
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace terminal {

struct State {
    bool console;     // standard input is a terminal
    bool ended;       // the last line read met the end of input before any character
    int32_t columns;  // the window's width and height in cells, -1 until measured
    int32_t rows;
};
extern State state;

// Measures the console and takes the signals an interactive process needs:
// Ctrl-C asks the evaluator to halt, the terminal is restored on SIGTERM and
// SIGHUP, SIGWINCH marks the size for measuring again.
void init();
// Reads the window size into the state and into system/console/size; false
// (the state unchanged) when it cannot be measured. A width of 0 is 80.
bool update_size();

// Appends to the string the characters of standard input up to a line feed
// or the end of input; the line feed is not stored, a carriage return before
// it is, malformed UTF-8 bytes become U+FFFD. False (and state.ended set) when
// the end of input came before any byte.
bool stdin_readline(const Cell* line);

// ANSI output to standard output; each is skipped when standard output is no
// terminal.
void set_title(const char* title, uint32_t length);
void cursor_up(int32_t rows);
void cursor_to_column(int32_t column);
void clear_below();

// Raw input mode for one line on the terminal; raw_mode_off always follows.
bool raw_mode_on();
void raw_mode_off();

}  // namespace terminal
}  // namespace zel
