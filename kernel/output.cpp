// Console output: units to UTF-8, the console and redirected paths, the escape
// parser and the screen report.
#include "kernel/output.h"

#include <cstdio>
#include <cstring>

#include "core/raise.h"
#include "core/string.h"
#include "kernel/hooks.h"
#include "kernel/print.h"
#include "kernel/unicode.h"
#include "platform/process.h"
#include "platform/terminal.h"

namespace zel {
namespace output {

namespace {

constexpr uint32_t BUFFER_SIZE = 1024;
constexpr uint32_t FLUSH_ABOVE = 1020;  // room is left for one more character
constexpr uint32_t ESC = 27;

// A plain array rather than a heap block: the fatal report flushes it from a
// signal handler, after the tracked heap may be gone.
char buffer[BUFFER_SIZE];
uint32_t pending = 0;
int out_fd = 1;
bool console = false;
bool last_lf = false;
bool failed = false;

void put_byte(char c) {
    if (pending > FLUSH_ABOVE) flush();
    buffer[pending++] = c;
}

void put_char(uint32_t cp) {
    if (pending > FLUSH_ABOVE) flush();
    pending += utf8::encode_char(cp > utf8::MAX_CODE_POINT ? utf8::REPLACEMENT : cp,
                                 reinterpret_cast<uint8_t*>(buffer + pending));
}

void put_units(const uint8_t* text, uint32_t count, uint32_t unit) {
    for (uint32_t i = 0; i < count; i++) put_char(string::get_char(text + size_t(i) * unit, unit));
}

void screen_report();

// The console path of 1- and 2-byte text: sequences the terminal knows pass
// through; ESC[? is answered here; an unfinished sequence or one whose final
// character no terminal takes is dropped; a lone ESC is a character.
void write_console(const uint8_t* text, uint32_t count, uint32_t unit) {
    for (uint32_t i = 0; i < count;) {
        uint32_t c = string::get_char(text + size_t(i) * unit, unit);
        Escape e{};
        if (c == ESC) e = parse_escape(text + size_t(i) * unit, count - i, unit);
        if (e.units == 0) {
            put_char(c);
            i++;
            continue;
        }
        if (e.final == '?') {
            screen_report();
        } else if (e.final >= 0x40 && e.final <= 0x7E) {
            put_units(text + size_t(i) * unit, e.units, unit);
        }
        i += e.units;
    }
}

void print_units(const void* text, uint32_t bytes, uint32_t unit, bool line) {
    const uint8_t* p = static_cast<const uint8_t*>(text);
    uint32_t count = bytes / unit;
    if (console && unit < 4) write_console(p, count, unit);
    else put_units(p, count, unit);
    if (line) put_byte('\n');
    if (line || count > 0) last_lf = line || string::get_char(p + size_t(count - 1) * unit, unit) == '\n';
    flush();
}

// Parser states, named by what was read last.
enum State { START, FIRST, SEMICOLON, SECOND };

}  // namespace

void init() { attach(1, platform::terminal::is_tty(1)); }

void attach(int fd, bool is_console) {
    flush();
    out_fd = fd;
    console = is_console;
}

bool is_console() { return console; }
bool is_last_lf() { return last_lf; }

bool flush_raw() {
    bool written = platform::write_all(out_fd, buffer, pending);
    pending = 0;
    failed = !written;
    return written;
}

// Named as the file the output is, so that the report reads as that of a
// failed file write.
void flush() {
    if (flush_raw()) return;
    char name[32];
    int n = out_fd == 1 ? std::snprintf(name, sizeof name, "/dev/stdout")
                        : std::snprintf(name, sizeof name, "/dev/fd/%d", out_fd);
    Cell* file = string::load(reinterpret_cast<const uint8_t*>(name), uint32_t(n), string::ENC_UTF8);
    cell::set_type(file, T_FILE);
    error::raise(Err::access_cannot_open, file);
}

bool has_failed() { return failed; }

Escape parse_escape(const uint8_t* text, uint32_t units, uint32_t unit) {
    Escape e{};
    if (units < 2 || string::get_char(text + unit, unit) != '[') return e;
    State state = START;
    for (uint32_t i = 2; i < units; i++) {
        uint32_t c = string::get_char(text + size_t(i) * unit, unit);
        bool digit = c >= '0' && c <= '9';
        if (digit) {
            uint32_t k = state == START || state == FIRST ? 0 : 1;
            if (state == START || state == SEMICOLON) e.n[k] = 0;
            e.n[k] = (e.n[k] * 10 + (c - '0')) % 65535;
            e.count = k + 1;
            state = k == 0 ? FIRST : SECOND;
        } else if (c == ';') {
            if (state == SECOND) {
                e.count = 0;
                e.n[0] = e.n[1] = 0;
            }
            state = state == SECOND ? START : SEMICOLON;
        } else {
            e.units = i + 1;
            e.final = c;
            return e;
        }
    }
    e.units = units;  // the text ends inside the sequence
    return e;
}

void print_latin1(const void* text, uint32_t bytes) { print_units(text, bytes, 1, false); }
void print_latin1_line(const void* text, uint32_t bytes) { print_units(text, bytes, 1, true); }
void print_ucs2(const void* text, uint32_t bytes) { print_units(text, bytes, 2, false); }
void print_ucs2_line(const void* text, uint32_t bytes) { print_units(text, bytes, 2, true); }
void print_ucs4(const void* text, uint32_t bytes) { print_units(text, bytes, 4, false); }
void print_ucs4_line(const void* text, uint32_t bytes) { print_units(text, bytes, 4, true); }

void print_text(const char* bytes, size_t len) {
    for (size_t i = 0; i < len; i++) put_byte(bytes[i]);
    if (len > 0) last_lf = bytes[len - 1] == '\n';
    flush();
    hooks::call_text(bytes, uint32_t(len), 0);
}

void print_cstring(const char* s) { print_text(s, std::strlen(s)); }

namespace {

void report_pair(const char* label, int a, const char* sep, int b) {
    print_cstring(label);
    print::integer(a);
    print_cstring(sep);
    print::integer(b);
    print_cstring("\n");
}

void screen_report() {
    console::screen_info();
    const console::ScreenInfo& s = console::screen;
    print_cstring("Screen buffer info:\n");
    report_pair("   size______ ", s.width, "x", s.height);
    report_pair("   cursor____ ", s.cursor_col, "x", s.cursor_row);
    print_cstring("   attribute_ ");
    print::hex(s.attribute);
    print_cstring("\n");
    report_pair("   left______ ", s.left, " top: ", s.top);
    report_pair("   right_____ ", s.right, " bottom: ", s.bottom);
    report_pair("   max_______ ", s.max_width, "x", s.max_height);
}

}  // namespace
}  // namespace output

namespace console {

ScreenInfo screen = {80, 24, 0, 0, 0x07, 0, 0, 79, 23, 80, 24};

void screen_info() {
    int cols = 80, rows = 24;
    platform::terminal::window_size(output::out_fd, &cols, &rows);
    screen = {cols, rows, 0, 0, 0x07, 0, 0, cols - 1, rows - 1, cols, rows};
}

}  // namespace console
}  // namespace zel
