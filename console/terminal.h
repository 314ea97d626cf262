// The console's terminal layer: tells a terminal from a pipe, reads lines of
// UTF-8 from a pipe, measures the window, builds the ANSI sequences that move
// the cursor and clear, sets the title, and enters and leaves the raw input
// mode that line reading on a terminal needs. The raw mode is restored on
// every way out of the process (platform/terminal.h).
#pragma once
#include <cstdint>
#include <string>

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

// Starts the console: the console flag, the window size, and the signals of
// an interactive process (Ctrl-C asks the evaluator to halt; SIGTERM, SIGHUP
// and a fatal report restore the terminal; SIGWINCH marks the size).
void init();
// Reads the window size into the state and into system/console/size; false
// (both unchanged) when it cannot be measured or the terminal reports a width
// or height of 0: the console then stays at 80x50 and lines are laid out in
// 80 columns.
bool update_size();
// The width lines are laid out in: the measured one, else 80.
int32_t columns();

// Appends to the string the characters of standard input up to a line feed
// or the end of input; the line feed is not stored, a carriage return before
// it is, malformed UTF-8 bytes become U+FFFD. False (and state.ended set) when
// the end of input came before any byte.
bool stdin_readline(const Cell* line);

// ANSI sequences, appended to out.
void cursor_up(std::string& out, int32_t rows);
void clear_below(std::string& out);
// Writes to standard output, after what the output module holds.
void write(const std::string& bytes);
// Sets the window title; nothing when standard output is no terminal.
void set_title(const std::string& title);

// Raw input mode for the time of one line read on the terminal.
struct RawMode {
    bool on;
    RawMode();
    ~RawMode();
};

}  // namespace terminal
}  // namespace zel
