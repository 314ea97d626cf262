// The console's terminal layer over platform/terminal: lines from a pipe,
// the window size, ANSI cursor movement and the raw input mode.
#include "console/terminal.h"

#include <cstdio>
#include <string>

#include "core/object.h"
#include "core/string.h"
#include "core/word.h"
#include "datatypes/pair.h"
#include "kernel/output.h"
#include "platform/process.h"
#include "platform/terminal.h"

namespace zel {
namespace terminal {

State state{false, false, -1, -1};

namespace {

constexpr int STDIN = 0;
constexpr int STDOUT = 1;
constexpr int32_t DEFAULT_COLUMNS = 80;

// system/console/size, or null while the console object does not exist.
Cell* console_size() {
    Cell system = word::intern("system");
    const Cell* sys = word::get_value(&system);
    if (!sys || cell::type(sys) != T_OBJECT) return nullptr;
    Cell console_word = word::intern("console");
    const Cell* console = object::get_word_cell(sys, &console_word);
    if (cell::type(console) != T_OBJECT) return nullptr;
    Cell size_word = word::intern("size");
    int32_t index = object::lookup_word(console, &size_word);
    return index < 0 ? nullptr : object::get_values_at(console->w1, index);
}

// Escape sequences go straight to the terminal, after what is pending.
void write_sequence(const char* text, int length) {
    if (length <= 0 || !platform::terminal::is_tty(STDOUT)) return;
    output::flush();
    platform::write_all(STDOUT, text, size_t(length));
}

}  // namespace

bool update_size() {
    int cols = 0, rows = 0;
    if (!platform::terminal::window_size(STDOUT, &cols, &rows) &&
        !platform::terminal::window_size(STDIN, &cols, &rows)) {
        return false;
    }
    state.columns = cols > 0 ? cols : DEFAULT_COLUMNS;
    state.rows = rows;
    if (Cell* size = console_size()) pair::init_cell(size, state.columns, state.rows);
    return true;
}

bool stdin_readline(const Cell* line) {
    std::string bytes;
    uint8_t byte = 0;
    long got = 0;
    while ((got = platform::terminal::read_some(STDIN, &byte, 1)) == 1 && byte != '\n') bytes.push_back(char(byte));
    state.ended = got != 1 && bytes.empty();
    const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
    string::append_utf8_lenient(string::buffer_of(line), p, p + bytes.size());
    return !state.ended;
}

// A control character would end the sequence early, so none is passed on.
void set_title(const char* title, uint32_t length) {
    std::string seq = "\x1b]0;";
    for (uint32_t i = 0; i < length; i++) {
        unsigned char c = static_cast<unsigned char>(title[i]);
        if (c >= 0x20 && c != 0x7F) seq += char(c);
    }
    seq += '\x07';
    write_sequence(seq.data(), int(seq.size()));
}

void cursor_up(int32_t rows) {
    char seq[24];
    if (rows > 0) write_sequence(seq, std::snprintf(seq, sizeof seq, "\x1b[%dA", rows));
}

void cursor_to_column(int32_t column) {
    char seq[24];
    write_sequence(seq, std::snprintf(seq, sizeof seq, "\x1b[%dG", column + 1));
}

void clear_below() { write_sequence("\x1b[J", 3); }

bool raw_mode_on() { return state.console && platform::terminal::raw_on(STDIN); }

void raw_mode_off() { platform::terminal::raw_off(); }

}  // namespace terminal
}  // namespace zel
