// Cell positions count from column 0 of the origin's row; row r, column c is
// position r * columns + c. A wide character that meets the last column is
// moved to the next row by the terminal, which leaves that cell empty: the
// position skips it the same way.
#include "console/line_layout.h"

#include "kernel/casefold.h"
#include "kernel/unicode.h"

namespace zel {
namespace line_layout {

namespace {

constexpr int32_t TAB_CELLS = 4;
// A wide character moved to the next row: the empty cell and its two.
constexpr int32_t WIDE_WRAPPED = 3;

void put_utf8(std::string& out, char32_t c) {
    uint8_t bytes[4];
    uint32_t n = utf8::encode_char(uint32_t(c), bytes);
    out.append(reinterpret_cast<char*>(bytes), n);
}

bool is_control(char32_t c) { return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0); }

int32_t width_of(char32_t c) {
    if (c >= 0x1F300 && c <= 0x1F5FF) return 2;
    int w = char_::display_width(uint32_t(c));
    return w < 0 ? 1 : w;
}

// A colour or cursor sequence of the prompt, "ESC[" or "ESC(" then digits
// and ";" then one final character: its length from the ESC, 0 when none.
size_t escape_length(const std::u32string& s, size_t at) {
    if (at + 1 >= s.size() || (s[at + 1] != '[' && s[at + 1] != '(')) return 0;
    size_t i = at + 2;
    while (i < s.size() && ((s[i] >= '0' && s[i] <= '9') || s[i] == ';')) i++;
    if (i >= s.size() || is_control(s[i])) return 0;
    return i + 1 - at;
}

std::u32string decode(const std::string& text) {
    std::u32string out;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text.data());
    const uint8_t* end = p + text.size();
    while (p < end) {
        int32_t cp = -1;
        const uint8_t* next = utf8::decode_char(p, end, &cp);
        if (next == p) next = p + 1;
        out += cp < 0 ? char32_t(utf8::REPLACEMENT) : char32_t(cp);
        p = next;
    }
    return out;
}

}  // namespace

int32_t place_char(std::string& out, char32_t c, bool hidden, int32_t position, int32_t columns) {
    if (hidden) {
        out += '*';
        return 1;
    }
    if (c == '\t') {
        out.append(TAB_CELLS, ' ');
        return TAB_CELLS;
    }
    if (is_control(c)) {
        out += '^';
        out += char(c == 0x7F ? '?' : c < 0x20 ? c + 0x40 : '?');
        return 2;
    }
    int32_t w = width_of(c);
    put_utf8(out, c);
    if (w == 2 && columns > 1 && position % columns == columns - 1) return WIDE_WRAPPED;
    return w;
}

Placed place(const std::string& prompt, const std::u32string& line, size_t cursor, bool hidden,
             int32_t origin_column, int32_t columns) {
    Placed p{"", 0, origin_column};
    std::u32string shown = decode(prompt);
    for (size_t i = 0; i < shown.size(); i++) {
        if (shown[i] == 0x1B) {
            if (size_t n = escape_length(shown, i)) {
                for (size_t k = 0; k < n; k++) put_utf8(p.bytes, shown[i + k]);
                i += n - 1;
                continue;
            }
        }
        p.end += place_char(p.bytes, shown[i], false, p.end, columns);
    }
    for (size_t i = 0; i < line.size(); i++) {
        int32_t cells = place_char(p.bytes, line[i], hidden, p.end, columns);
        if (i == cursor) p.cursor = p.end + (cells == WIDE_WRAPPED ? 1 : 0);  // on the wrapped character
        p.end += cells;
    }
    if (cursor >= line.size()) p.cursor = p.end;
    return p;
}

}  // namespace line_layout
}  // namespace zel
