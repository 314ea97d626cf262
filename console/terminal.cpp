// The console's terminal layer over platform/terminal: lines from a pipe,
// the window size, ANSI cursor movement, the title and the raw input mode.
#include "console/terminal.h"

#include "core/object.h"
#include "core/string.h"
#include "core/word.h"
#include "datatypes/pair.h"
#include "interpreter/eval.h"
#include "kernel/output.h"
#include "kernel/runtime.h"
#include "platform/process.h"
#include "platform/terminal.h"

namespace zel {
namespace terminal {

State state{false, false, -1, -1};

namespace {

constexpr int STDIN = 0;
constexpr int STDOUT = 1;
constexpr int32_t DEFAULT_COLUMNS = 80;
constexpr int32_t DEFAULT_ROWS = 50;

// system/console/size, or null while the console object does not exist. The
// words are interned before any slot is read: a new word grows the global
// context's values.
Cell* console_size() {
    Cell system = word::intern("system"), console_word = word::intern("console"), size_word = word::intern("size");
    const Cell* sys = word::get_value(&system);
    if (!sys || cell::type(sys) != T_OBJECT) return nullptr;
    const Cell* console = object::get_word_cell(sys, &console_word);
    if (cell::type(console) != T_OBJECT) return nullptr;
    int32_t index = object::lookup_word(console, &size_word);
    return index < 0 ? nullptr : object::get_values_at(cell::object_context(console), index);
}

// Both run in a signal handler: an atomic or of the attention word, a load.
void request_halt() { interp::request_halt(); }
bool is_halt_pending() { return interp::is_halt_requested(); }

}  // namespace

// With no window measured (a pipe), the console is 80x50.
void init() {
    state.console = platform::terminal::is_tty(STDIN);
    update_size();
    Cell* size = console_size();
    if (size && cell::type(size) == T_PAIR && (pair::x_of(size) == 0 || pair::y_of(size) == 0)) {
        pair::init_cell(size, DEFAULT_COLUMNS, DEFAULT_ROWS);
    }
    runtime::fatal_cleanup = platform::terminal::raw_off;
    platform::terminal::install_signals({request_halt, is_halt_pending});
}

bool update_size() {
    int cols = 0, rows = 0;
    if (!platform::terminal::window_size(STDOUT, &cols, &rows) &&
        !platform::terminal::window_size(STDIN, &cols, &rows)) {
        return false;
    }
    state.columns = cols;
    state.rows = rows;
    if (Cell* size = console_size()) pair::init_cell(size, state.columns, state.rows);
    return true;
}

int32_t columns() { return state.columns > 0 ? state.columns : DEFAULT_COLUMNS; }

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

void cursor_up(std::string& out, int32_t rows) {
    if (rows > 0) out += "\x1b[" + std::to_string(rows) + "A";
}

void clear_below(std::string& out) { out += "\x1b[J"; }

void write(const std::string& bytes) {
    output::flush();
    platform::write_all(STDOUT, bytes.data(), bytes.size());
}

// A control character would end the sequence early, so none is passed on.
void set_title(const std::string& title) {
    if (!platform::terminal::is_tty(STDOUT)) return;
    std::string seq = "\x1b]0;";
    for (unsigned char c : title) {
        if (c >= 0x20 && c != 0x7F) seq += char(c);
    }
    write(seq + "\x07");
}

RawMode::RawMode() : on(state.console && platform::terminal::raw_on(STDIN)) {}
RawMode::~RawMode() {
    if (on) platform::terminal::raw_off();
}

}  // namespace terminal
}  // namespace zel
