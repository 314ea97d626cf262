// The line editor keeps the line as code points while it is edited and stores
// it into the caller's string once, at the end, so no series is touched (and
// nothing is collected) while keys come in; only Tab runs Zel code, and the
// history and the line are read again from their roots after it.
//
// Every change redraws from the origin, the cell where the prompt began:
// back to it with relative moves, clear below, the prompt and the line, then
// the cursor placed. Only a character added at the end is written alone, so a
// long paste costs no redraw per character. The origin's column comes from a
// cursor position query before the first draw, so a prompt after text that
// did not end its row keeps that text.
//
// A terminal holds the cursor in the last column after a full row until the
// next character; the editor then writes a space past the end, which starts
// the next row as a wrap (not a line end, so a terminal that reflows its rows
// on a resize keeps the line whole), and goes back over it. So the cursor of
// position p always stands on row p / columns, column p % columns.
#include "console/line_reader.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/completion.h"
#include "console/keys.h"
#include "console/line_layout.h"
#include "console/terminal.h"
#include "core/block.h"
#include "core/series.h"
#include "core/string.h"
#include "kernel/unicode.h"
#include "platform/terminal.h"

namespace zel {
namespace line_reader {

namespace {

constexpr int STDIN = 0;
// How long a lone ESC waits for the rest of a sequence before it is the Esc key.
constexpr int ESC_WAIT_MS = 50;
// How long the cursor position query waits for its answer.
constexpr int QUERY_WAIT_MS = 200;
constexpr int32_t CTRL_A = 1, CTRL_B = 2, CTRL_C = 3, CTRL_D = 4, CTRL_E = 5, CTRL_F = 6, CTRL_K = 11,
                  CTRL_N = 14, CTRL_P = 16;

enum class Step { GO_ON, DONE, ENDED };

struct Editor {
    std::string prompt;  // UTF-8, as given
    std::u32string text;
    size_t cursor = 0;
    bool hidden = false;
    bool entered = false;  // Enter ended the line (only such a line enters the history)
    const Cell* history;   // the caller's cell, outside any buffer; its block read again after any evaluation
    int32_t history_at = -1;  // the history line shown, -1 for none
    int32_t origin_column = 0;
    int32_t cursor_row = 0;   // the row the terminal cursor is on, from the origin's
    int32_t shown_end = 0;    // the end of what is on the screen, in cells
    std::string pending;      // bytes read before the answer to the query
};

// Bytes read past the end of a line (typed ahead of the query's answer,
// e.g. lines pasted or typed while the one before ran): the next line's
// first input.
std::string typed_ahead;

void move_to_origin(std::string& out, const Editor& e) {
    out += '\r';
    terminal::cursor_up(out, e.cursor_row);
    if (e.origin_column > 0) out += "\x1b[" + std::to_string(e.origin_column) + "C";
}

// Puts the cursor, now at the end of the text written (position end), at
// position at.
void place_cursor(std::string& out, Editor& e, int32_t at, int32_t end) {
    int32_t columns = terminal::columns();
    if (end > 0 && end % columns == 0) out += " \r";  // the terminal's own wrap, which a resize reflows
    terminal::cursor_up(out, end / columns - at / columns);
    out += '\r';
    if (at % columns > 0) out += "\x1b[" + std::to_string(at % columns) + "C";
    e.cursor_row = at / columns;
    e.shown_end = end;
}

void refresh(Editor& e) {
    line_layout::Placed p = line_layout::place(e.prompt, e.text, e.cursor, e.hidden, e.origin_column,
                                               terminal::columns());
    std::string out;
    move_to_origin(out, e);
    terminal::clear_below(out);
    out += p.bytes;
    place_cursor(out, e, p.cursor, p.end);
    terminal::write(out);
}

// A character added at the end of the line is written alone.
void append(Editor& e, char32_t c) {
    e.text += c;
    e.cursor = e.text.size();
    std::string out;
    int32_t end = e.shown_end + line_layout::place_char(out, c, e.hidden, e.shown_end, terminal::columns());
    place_cursor(out, e, end, end);
    terminal::write(out);
}

void set_text(Editor& e, std::u32string text) {
    e.text = std::move(text);
    e.cursor = e.text.size();
}

std::u32string history_line(const Editor& e, int32_t at) {
    if (cell::type(e.history) != T_BLOCK || uint32_t(at) >= block::buffer_length(e.history)) return U"";
    const Cell* value = block::cell_at(e.history, uint32_t(at));
    return cell::type(value) == T_STRING ? completion::text_of(value) : U"";
}

int32_t history_length(const Editor& e) {
    return cell::type(e.history) == T_BLOCK ? int32_t(block::buffer_length(e.history)) : 0;
}

// Up shows older lines, Down newer ones; past either end the line is empty.
void history_up(Editor& e) {
    if (e.history_at >= history_length(e) - 1) {
        set_text(e, U"");
    } else {
        set_text(e, history_line(e, ++e.history_at));
    }
}

void history_down(Editor& e) {
    if (e.history_at < 0) {
        set_text(e, U"");
    } else {
        set_text(e, history_line(e, e.history_at--));
    }
}

// The candidates in columns under the line, then the prompt drawn anew below.
void list_candidates(Editor& e, const std::vector<std::u32string>& listed) {
    int32_t columns = terminal::columns();
    int32_t widest = 0;
    std::vector<line_layout::Placed> shown;
    for (const std::u32string& c : listed) {
        shown.push_back(line_layout::place("", c, c.size(), false, 0, 1 << 30));
        widest = std::max(widest, shown.back().end);
    }
    int32_t per_row = std::max(1, columns / (widest + 2));
    std::string out;
    place_cursor(out, e, e.shown_end, e.shown_end);
    out += "\r\n";
    for (size_t i = 0; i < shown.size(); i++) {
        bool last_in_row = (i + 1) % size_t(per_row) == 0 || i + 1 == shown.size();
        if (shown[i].end > columns) shown[i].bytes = "...";
        out += shown[i].bytes;
        if (last_in_row) out += "\r\n";
        else out.append(size_t(widest + 2 - shown[i].end), ' ');
    }
    terminal::write(out);
    e.cursor_row = 0;
    e.origin_column = 0;
}

// Hidden input is never completed: the candidates would show what was typed.
void complete(Editor& e) {
    completion::Answer answer;
    if (e.hidden || !completion::ask(e.text, e.cursor, &answer)) {
        e.text.insert(e.cursor++, 1, U'\t');
        refresh(e);
        return;
    }
    if (!answer.listed.empty()) list_candidates(e, answer.listed);
    e.text = answer.line;
    e.cursor = answer.cursor;
    refresh(e);
}

void remove_at(Editor& e, size_t at, size_t count) {
    e.text.erase(at, count);
    refresh(e);
}

Step on_key(Editor& e, int32_t key) {
    switch (key) {
    case '\t': complete(e); return Step::GO_ON;
    case keys::ENTER:
    case '\n': e.entered = true; return Step::DONE;
    case keys::BACKSPACE:
        if (e.cursor > 0) remove_at(e, --e.cursor, 1);
        return Step::GO_ON;
    case keys::LEFT:
    case CTRL_B:
        if (e.cursor > 0) e.cursor--, refresh(e);
        return Step::GO_ON;
    case keys::RIGHT:
    case CTRL_F:
        if (e.cursor < e.text.size()) e.cursor++, refresh(e);
        return Step::GO_ON;
    case keys::UP:
    case CTRL_P: history_up(e), refresh(e); return Step::GO_ON;
    case keys::DOWN:
    case CTRL_N: history_down(e), refresh(e); return Step::GO_ON;
    case keys::HOME:
    case CTRL_A: e.cursor = 0, refresh(e); return Step::GO_ON;
    case keys::END:
    case CTRL_E: e.cursor = e.text.size(), refresh(e); return Step::GO_ON;
    case keys::DELETE:
        if (e.cursor < e.text.size()) remove_at(e, e.cursor, 1);
        return Step::GO_ON;
    case CTRL_K:
        if (e.cursor < e.text.size()) remove_at(e, e.cursor, e.text.size() - e.cursor);
        return Step::GO_ON;
    case CTRL_D:
        if (e.cursor < e.text.size()) remove_at(e, e.cursor, 1);
        else if (e.text.empty()) return set_text(e, U"q"), Step::DONE;
        return Step::GO_ON;
    case CTRL_C: set_text(e, U"q"); return Step::DONE;
    case keys::ESC: e.text += char32_t(keys::ESC); return Step::DONE;
    default:
        if (key < 32) return Step::GO_ON;
        if (e.cursor == e.text.size()) {
            append(e, char32_t(key));
        } else {
            e.text.insert(e.cursor++, 1, char32_t(key));
            refresh(e);
        }
        return Step::GO_ON;
    }
}

// The window changed: the terminal rewrapped what it shows, so the cursor's
// row is counted again in the new width before the next redraw.
void on_resize(Editor& e) {
    terminal::update_size();
    line_layout::Placed p = line_layout::place(e.prompt, e.text, e.cursor, e.hidden, e.origin_column,
                                               terminal::columns());
    e.cursor_row = p.cursor / terminal::columns();
    e.origin_column = std::min(e.origin_column, terminal::columns() - 1);
    refresh(e);
}

bool read_byte(Editor& e, uint8_t* byte) {
    if (!e.pending.empty()) {
        *byte = uint8_t(e.pending[0]);
        e.pending.erase(0, 1);
        return true;
    }
    return platform::terminal::read_some(STDIN, byte, 1) == 1;
}

// The next key's step: a lone ESC that no byte follows soon is the Esc key.
Step next(Editor& e, keys::Decoder& d) {
    int32_t got[2];
    uint32_t n = 0;
    if (keys::is_pending(d) && e.pending.empty() && !platform::terminal::wait_readable(STDIN, ESC_WAIT_MS)) {
        n = keys::flush(d, got) ? 1 : 0;
    } else {
        while (e.pending.empty() && !platform::terminal::wait_input_or_resize(STDIN)) {
            platform::terminal::take_resized();
            on_resize(e);
        }
        uint8_t byte;
        if (!read_byte(e, &byte)) return Step::ENDED;
        n = keys::feed(d, byte, got);
    }
    if (platform::terminal::take_resized()) on_resize(e);
    for (uint32_t i = 0; i < n; i++) {
        Step s = on_key(e, got[i]);
        if (s != Step::GO_ON) return s;
    }
    return Step::GO_ON;
}

// The column the cursor stands in, from the answer "ESC[row;colR" to a cursor
// position query; bytes typed before the answer are kept as input. 0 when the
// terminal does not answer or standard output is no terminal.
int32_t query_column(Editor& e) {
    if (!platform::terminal::is_tty(1)) return 0;  // the query would land in a file
    terminal::write("\x1b[6n");
    std::string got;
    while (platform::terminal::wait_readable(STDIN, QUERY_WAIT_MS)) {
        uint8_t byte;
        if (platform::terminal::read_some(STDIN, &byte, 1) != 1) break;
        got += char(byte);
        size_t start = got.rfind("\x1b[");
        if (byte != 'R' || start == std::string::npos) continue;
        size_t semi = got.find(';', start);
        if (semi == std::string::npos) continue;
        int32_t column = std::atoi(got.c_str() + semi + 1);
        e.pending += got.substr(0, start);
        return column > 0 ? column - 1 : 0;
    }
    e.pending += got;
    return 0;
}

bool is_same_text(const Cell* a, const std::u32string& text) {
    if (cell::type(a) != T_STRING || string::get_abs_length(a) != text.size()) return false;
    for (uint32_t i = 0; i < text.size(); i++) {
        if (string::char_at(a, i) != text[i]) return false;
    }
    return true;
}

// The history keeps the caller's string itself; hidden and empty lines and a
// repeat of the newest line are left out.
void add_history(const Cell* line, const Cell* history, const Editor& e) {
    if (e.hidden || e.text.empty()) return;
    Cell hist = *history;
    cell::set_series_index(&hist, 0);
    if (block::buffer_length(&hist) > 0) {
        Cell newest = *block::cell_at(&hist, 0);
        cell::set_series_index(&newest, 0);
        if (is_same_text(&newest, e.text)) return;
    }
    Cell value = *line;
    cell::set_series_index(&value, 0);
    block::insert_value(&hist, &value, true, false);
}

Step edit(Editor& e) {
    terminal::update_size();
    e.origin_column = std::min(query_column(e), terminal::columns() - 1);
    refresh(e);
    keys::Decoder d;
    Step step;
    while ((step = next(e, d)) == Step::GO_ON) {}
    if (step == Step::DONE) {  // below the line's last row, whatever the cursor's
        line_layout::Placed p = line_layout::place(e.prompt, e.text, e.text.size(), e.hidden, e.origin_column,
                                                   terminal::columns());
        int32_t down = p.end / terminal::columns() - e.cursor_row;
        if (down > 0) terminal::write("\x1b[" + std::to_string(down) + "B");
    }
    terminal::write("\r\n");
    terminal::update_size();  // a resize whose signal the last key overtook
    return step;
}

}  // namespace

bool read(const Cell* line, const Cell* prompt, const Cell* history, bool hidden) {
    Editor e;
    e.pending = std::move(typed_ahead);
    typed_ahead.clear();
    e.prompt = utf8::text(prompt);
    e.hidden = hidden;
    e.history = history;
    Step step = Step::GO_ON;
    {
        terminal::RawMode raw;
        if (!raw.on) {  // a terminal that refuses raw mode still reads lines
            typed_ahead = std::move(e.pending);
            terminal::write(e.prompt);
            return terminal::stdin_readline(line);
        }
        step = edit(e);
        typed_ahead = std::move(e.pending);
    }
    SeriesBuffer* b = string::buffer_of(line);
    for (char32_t cp : e.text) b = string::append_char(b, uint32_t(cp));
    if (step == Step::ENDED) {
        terminal::state.ended = e.text.empty();
        return !terminal::state.ended;
    }
    terminal::state.ended = false;
    if (e.entered) add_history(line, history, e);
    return true;
}

}  // namespace line_reader
}  // namespace zel
