// The console's input routines. Each reads its arguments from the call frame
// (the call has checked them against the spec) and leaves its result in the
// result slot, its first argument.
//
// The line and the history that _set-buffer-history hands over wait in two
// slots of the root block until _read-input fills the line: the collector
// may run between the two calls.
#include "console/input.h"

#include <algorithm>
#include <cstring>

#include "console/line_reader.h"
#include "console/terminal.h"
#include "core/raise.h"
#include "core/roots.h"
#include "core/series.h"
#include "core/string.h"
#include "core/stack.h"
#include "kernel/unicode.h"
#include "library/routines.h"
#include "platform/terminal.h"

namespace zel {
namespace console_input {

namespace {

Cell* arg(uint32_t k) { return stack::arg(k); }

uint32_t line_root = 0, history_root = 0;

void set_none() { cell::make_none(arg(0)); }

// One line of standard input in a new string; none at the end of input.
void input_stdin() {
    string::write_cell(arg(0), 256);
    if (!terminal::stdin_readline(arg(0))) set_none();
}

// Opens a gap of n bytes at the position (past the tail: at the tail) and
// answers its byte offset from the buffer's data start.
uint32_t open_gap(const Cell* binary, uint32_t n) {
    uint32_t length = series::buffer_length(binary);
    uint32_t position = std::min(uint32_t(cell::series_index(binary)), length);
    series::reserve(series::buffer_of(binary), n);
    SeriesBuffer* b = series::buffer_of(binary);
    uint8_t* at = series::raw_bytes(b) + position;
    std::memmove(at + n, at, length - position);
    return b->head + position;
}

// A read takes at most this much (the caller reads again for more), so a huge
// length asks for no huge room.
constexpr uint32_t READ_LIMIT = 1u << 20;

// The room is made before the read, so the bytes always land inside the
// buffer; the part of the gap no byte filled is closed again.
void read_stdin() {
    int32_t asked = cell::get_int(arg(1));
    if (asked < 0) error::raise(Err::script_out_of_range, arg(1));
    uint32_t n = std::min(uint32_t(asked), READ_LIMIT);
    uint32_t offset = open_gap(arg(0), n);
    SeriesBuffer* b = series::buffer_of(arg(0));
    long got = platform::terminal::read_some(0, series::data(b) + offset, n);
    uint32_t kept = got > 0 ? uint32_t(got) : 0;
    uint8_t* gap_end = series::data(b) + offset + n;
    std::memmove(gap_end - (n - kept), gap_end, b->tail - (offset + n));
    b->tail -= n - kept;
    set_none();
}

void set_buffer_history() {
    *roots::at(line_root) = *arg(0);
    *roots::at(history_root) = *arg(1);
    set_none();
}

// On a terminal the prompt is shown and the line read there, in raw mode for
// just this call; on a pipe the next line is taken as it is, with no prompt.
void read_input() {
    Cell line = *roots::at(line_root), history = *roots::at(history_root);
    if (cell::type(&line) != T_STRING) error::raise(Err::script_invalid_arg, &line);
    if (terminal::state.console && cell::type(&history) == T_BLOCK) {
        line_reader::read(&line, arg(0), &history, cell::get_logic(arg(1)));
    } else {
        terminal::stdin_readline(&line);
    }
    set_none();
}

void terminate_console() {
    platform::terminal::raw_off();
    set_none();
}

// The title goes out only to a terminal; a size that cannot be measured (or a
// pipe) leaves the console at 80x50.
void console_init() {
    terminal::set_title(utf8::text(arg(0)));
    terminal::init();
    set_none();
}

void is_input_ended() { cell::make_logic(arg(0), terminal::state.ended); }

const routines::Def ROUTINES[] = {
    {"input-stdin", R"~("Temporary function, internal use only")~", input_stdin},
    {"read-stdin", R"~("Temporary function, internal use only" buffer [binary!] buflen [integer!])~",
     read_stdin},
    {"_set-buffer-history", R"~("Internal Use Only" line [string!] hist [block!])~", set_buffer_history},
    {"_read-input", R"~("Internal Use Only" prompt [string!] hidden? [logic!])~", read_input},
    {"_terminate-console", R"~("Internal Use Only")~", terminate_console},
    {"_input-ended?", R"~("Internal Use Only" return: [logic!])~", is_input_ended},
};

bool bound = false;
uint32_t init_root = 0;

}  // namespace

const Cell* init_routine() { return roots::at(init_root); }

void bind() {
    if (bound) return;
    bound = true;
    line_root = roots::keep(&statics::none_cell);
    history_root = roots::keep(&statics::none_cell);
    terminal::init();
    routines::bind_all(ROUTINES);
    init_root = routines::keep("init", "str [string!]", console_init);
}

}  // namespace console_input
}  // namespace zel
