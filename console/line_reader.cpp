// The line reader keeps the line as code points while it is typed and stores
// it into the caller's string once, at the end, so no series is touched (and
// nothing can be collected) while keys come in.
//
// A change other than adding at the end redraws: back to the prompt's row,
// clear below, write the prompt and the line again. A terminal keeps the
// cursor in the last column after filling a row, so the cursor of a text of
// n cells stands on row (n - 1) / columns.
#include "console/line_reader.h"

#include <string>

#include "console/keys.h"
#include "console/terminal.h"
#include "core/block.h"
#include "core/series.h"
#include "core/string.h"
#include "kernel/casefold.h"
#include "kernel/unicode.h"
#include "platform/terminal.h"

namespace zel {
namespace line_reader {

namespace {

// How long a lone ESC waits for the rest of a sequence before it is the Esc key.
constexpr int ESC_WAIT_MS = 50;

enum class Step { GO_ON, DONE, ENDED };

struct Reader {
    std::string prompt;  // UTF-8, as written
    int32_t prompt_cells;
    std::u32string text;
    bool hidden;
    bool entered;  // Enter ended the line (only such a line enters the history)
};

// The cells the text takes on the terminal; an escape sequence takes none.
int32_t cells_of(const std::string& utf8) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(utf8.data());
    const uint8_t* end = p + utf8.size();
    int32_t cells = 0;
    while (p < end) {
        int32_t cp;
        const uint8_t* next = utf8::decode_char(p, end, &cp);
        if (next == p) break;
        if (cp == 0x1B && next < end && *next == '[') {
            for (next++; next < end && (*next < 0x40 || *next > 0x7E); next++) {}
            if (next < end) next++;
        } else {
            cells += cp < 0 ? 1 : char_::display_width(uint32_t(cp));
        }
        p = next;
    }
    return cells;
}

std::string echo_of(const Reader& r, char32_t cp) {
    if (r.hidden) return "*";
    uint8_t bytes[4];
    uint32_t n = utf8::encode_char(uint32_t(cp), bytes);
    return std::string(reinterpret_cast<char*>(bytes), n);
}

int32_t text_cells(const Reader& r) {
    int32_t cells = 0;
    for (char32_t cp : r.text) cells += r.hidden ? 1 : char_::display_width(uint32_t(cp));
    return cells;
}

// Redraws the prompt and the line from the prompt's row; cells is what the
// screen showed before.
void redraw(const Reader& r, int32_t cells) {
    std::string out = "\r";
    terminal::cursor_up(out, cells > 0 ? (cells - 1) / terminal::columns() : 0);
    terminal::clear_below(out);
    out += r.prompt;
    for (char32_t cp : r.text) out += echo_of(r, cp);
    terminal::write(out);
}

Step on_key(Reader& r, int32_t key) {
    switch (key) {
    case keys::ENTER:
    case '\n':
        r.entered = true;
        return Step::DONE;
    case keys::BACKSPACE:
        if (!r.text.empty()) {
            int32_t before = r.prompt_cells + text_cells(r);
            r.text.pop_back();
            redraw(r, before);
        }
        return Step::GO_ON;
    case 3:  // Ctrl-C
        r.text = U"q";
        return Step::DONE;
    case 4:  // Ctrl-D
        if (!r.text.empty()) return Step::GO_ON;
        r.text = U"q";
        return Step::DONE;
    case keys::ESC:
        r.text += char32_t(keys::ESC);
        return Step::DONE;
    default:
        if (key != '\t' && key < 32) return Step::GO_ON;
        r.text += char32_t(key);
        terminal::write(echo_of(r, char32_t(key)));
        return Step::GO_ON;
    }
}

// The next key's step: a lone ESC that no byte follows soon is the Esc key.
Step next(Reader& r, keys::Decoder& d) {
    int32_t got[2];
    uint32_t n = 0;
    if (keys::is_pending(d) && !platform::terminal::wait_readable(0, ESC_WAIT_MS)) {
        n = keys::flush(d, got) ? 1 : 0;
    } else {
        uint8_t byte;
        if (platform::terminal::read_some(0, &byte, 1) != 1) return Step::ENDED;
        n = keys::feed(d, byte, got);
    }
    if (platform::terminal::take_resized()) terminal::update_size();
    for (uint32_t i = 0; i < n; i++) {
        Step s = on_key(r, got[i]);
        if (s != Step::GO_ON) return s;
    }
    return Step::GO_ON;
}

bool is_same_text(const Cell* a, const std::u32string& text) {
    if (cell::type(a) != T_STRING || string::get_abs_length(a) != text.size()) return false;
    for (uint32_t i = 0; i < text.size(); i++) {
        if (string::char_at(a, i) != text[i]) return false;
    }
    return true;
}

void add_history(const Cell* line, const Cell* history, const Reader& r) {
    if (r.hidden || r.text.empty()) return;
    Cell hist = *history;
    cell::set_series_index(&hist, 0);
    if (block::buffer_length(&hist) > 0) {
        Cell newest = *block::cell_at(&hist, 0);
        cell::set_series_index(&newest, 0);
        if (is_same_text(&newest, r.text)) return;
    }
    Cell value = *line;
    cell::set_series_index(&value, 0);
    block::insert_value(&hist, &value, true, false);
}

}  // namespace

bool read(const Cell* line, const Cell* prompt, const Cell* history, bool hidden) {
    Reader r{utf8::text(prompt), 0, U"", hidden, false};
    r.prompt_cells = cells_of(r.prompt);
    Step step = Step::GO_ON;
    {
        terminal::RawMode raw;
        if (!raw.on) {  // a terminal that refuses raw mode still reads lines
            terminal::write(r.prompt);
            return terminal::stdin_readline(line);
        }
        terminal::update_size();
        terminal::write(r.prompt);
        keys::Decoder d;
        while ((step = next(r, d)) == Step::GO_ON) {}
        terminal::write("\n");
        terminal::update_size();  // a resize whose signal the last key overtook
    }
    SeriesBuffer* b = string::buffer_of(line);
    for (char32_t cp : r.text) b = string::append_char(b, uint32_t(cp));
    if (step == Step::ENDED) {
        terminal::state.ended = r.text.empty();
        return !terminal::state.ended;
    }
    terminal::state.ended = false;
    if (r.entered) add_history(line, history, r);
    return true;
}

}  // namespace line_reader
}  // namespace zel
