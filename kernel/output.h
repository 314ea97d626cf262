// Console output: every text the system prints goes through here.
//
// Text arrives in units of 1, 2 or 4 bytes and leaves as UTF-8 with LF line
// ends. On a terminal (the console path) the terminal interprets the escape
// sequences of scripts itself; this layer only does what a terminal has no
// sequence for (ESC[? prints a report of the screen) and drops a sequence that
// the text leaves unfinished. Redirected to a file or pipe, every unit is
// written as it is, escape sequences included. Output is buffered and flushed at
// the end of every print. A write that fails (a closed pipe, a full disk)
// raises access error cannot-open naming the output, at every print that
// fails: a program that prints endlessly into a closed pipe ends.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zel {
namespace output {

// Selects standard output and the path by whether it is a terminal.
void init();
// Sends output to fd through the console path (console true) or the
// redirected one. Pending output goes to the old descriptor first.
void attach(int fd, bool console);
bool is_console();
// True when the last text written ended with a line feed.
bool is_last_lf();

// Text of 1-, 2- or 4-byte units, length in bytes; the line variants add LF.
void print_latin1(const void* text, uint32_t bytes);
void print_latin1_line(const void* text, uint32_t bytes);
void print_ucs2(const void* text, uint32_t bytes);
void print_ucs2_line(const void* text, uint32_t bytes);
void print_ucs4(const void* text, uint32_t bytes);
void print_ucs4_line(const void* text, uint32_t bytes);
// A NUL-terminated byte string, written as it is (UTF-8 or ASCII), then given
// to the text hooks.
void print_cstring(const char* s);
// Bytes written as they are, then given to the text hooks.
void print_text(const char* bytes, size_t len);

// Writes what is pending; raises when the output refuses it.
void flush();
// Writes what is pending, dropping it when the output refuses it; false then.
// Uses only write(2): safe in a signal handler and at the end of the process.
bool flush_raw();
// True when the last write failed; a write that works clears it.
bool has_failed();

// An escape sequence at ESC: "ESC[", numbers of at most 65,535 separated by
// ";", and a final character. After a second number a ";" starts a new pair.
struct Escape {
    uint32_t units;   // units taken, ESC included; 0 when ESC is not followed by "["
    uint32_t final;   // the final character; 0 when the text ends first
    uint32_t count;   // numbers read of the last pair (0 to 2)
    uint32_t n[2];    // those numbers
};
Escape parse_escape(const uint8_t* text, uint32_t units, uint32_t unit);

}  // namespace output

namespace console {

// What the console output knows of the terminal window, in character cells.
struct ScreenInfo {
    int width, height;          // the buffer: on a terminal, the window
    int cursor_col, cursor_row; // not tracked: 0, 0
    uint32_t attribute;         // the default attribute, white on black
    int left, top, right, bottom;
    int max_width, max_height;
};
extern ScreenInfo screen;

// Reads the window size into `screen` (80 x 24 when output is no terminal).
void screen_info();

}  // namespace console
}  // namespace zel
