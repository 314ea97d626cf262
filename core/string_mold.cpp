// string!: mold, the text that the lexer reads back as the same string.
//
// A string molds in double quotes unless it holds a double quote, three line
// feeds or more, or 50 characters or more: then in braces. Characters that
// cannot stand as they are take a caret escape: a letter or sign from the
// escape table, "^~" for DEL, or the parenthesised hexadecimal form.
#include <algorithm>

#include "core/string.h"
#include "core/string_actions.h"

namespace zel {
namespace string {

namespace {

// The character written after a caret for code points 0 to 94, 0 where the
// character stands as it is. 30 would read back as an escaped caret, so it
// takes the parenthesised form before the table is asked.
constexpr char ESCAPES[95] = {
    '@', 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', '-', '/', 'K', 'L', 'M', 'N', 'O',
    'P', 'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z', '[', '\\', ']', '^', '_',
    0,   0,   '"', 0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   '^',
};

// Strings this long or longer mold in braces.
constexpr uint32_t BRACE_LENGTH = 50;
// So many line feeds or more make a string mold in braces.
constexpr uint32_t BRACE_LINES = 3;

SeriesBuffer* put(SeriesBuffer* b, const char* s) {
    for (; *s; s++) b = append_char(b, uint8_t(*s));
    return b;
}

// A surrogate code point has no UTF-8 form, so it too takes the
// parenthesised form: the text stays valid UTF-8 and loads back.
constexpr bool is_surrogate(uint32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

SeriesBuffer* put_escaped(SeriesBuffer* b, uint32_t cp, int32_t mode, bool all) {
    if (cp == 30 || (cp >= 0x80 && cp <= 0x9F) || is_surrogate(cp) || (all && cp > 0x7F)) {
        b = put(b, "^(");
        b = put(b, int_to_hex(int32_t(cp), true));
        return append_char(b, ')');
    }
    if (mode == ESCAPE_IN_STRING && cp < sizeof ESCAPES && ESCAPES[cp]) {
        b = append_char(b, '^');
        return append_char(b, uint8_t(ESCAPES[cp]));
    }
    if (mode == ESCAPE_IN_STRING && cp == 0x7F) return put(b, "^~");
    return append_char(b, cp);
}

void mold_quoted(SeriesBuffer* b, const Text& t, uint32_t count, bool all) {
    b = append_char(b, '"');
    for (uint32_t i = 0; i < count; i++) b = put_escaped(b, char_of(t, i), ESCAPE_IN_STRING, all);
    append_char(b, '"');
}

// Every "{" before the first unmatched one is written as it is and opens a
// level; from that one on each "{" is escaped. A "}" that closes no level is
// escaped.
void mold_braced(SeriesBuffer* b, const Text& t, uint32_t count, bool all) {
    uint32_t escape_from = first_unmatched_brace(t.p, count, t.unit);
    int32_t depth = 0;
    b = append_char(b, '{');
    for (uint32_t i = 0; i < count; i++) {
        uint32_t c = char_of(t, i);
        switch (c) {
        case '{':
            if (i >= escape_from) b = append_char(b, '^');
            else depth++;
            b = append_char(b, c);
            break;
        case '}':
            if (depth < 1) b = append_char(b, '^');
            else depth--;
            b = append_char(b, c);
            break;
        case '"': b = append_char(b, c); break;
        case '^': b = put(b, "^^"); break;
        default: b = put_escaped(b, c, ESCAPE_IN_STRING, all); break;
        }
    }
    append_char(b, '}');
}

}  // namespace

void mold_char(const Cell* buffer, uint32_t cp, int32_t mode, bool all) {
    put_escaped(buffer_of(buffer), cp, mode, all);
}

void count_quotes_and_lines(const uint8_t* start, uint32_t count, uint32_t unit, uint32_t* quotes,
                            uint32_t* lines) {
    *quotes = *lines = 0;
    for (uint32_t i = 0; i < count; i++) {
        uint32_t c = get_char(start + size_t(i) * unit, unit);
        *quotes += c == '"';
        *lines += c == '\n';
    }
}

// One pass: a "{" that opens from level 0 is the earliest one still open until
// the level drops back to 0; if the text ends with a level open, it is the
// first "{" without a match.
uint32_t first_unmatched_brace(const uint8_t* start, uint32_t count, uint32_t unit) {
    uint32_t depth = 0, bottom = count;
    for (uint32_t i = 0; i < count; i++) {
        uint32_t c = get_char(start + size_t(i) * unit, unit);
        if (c == '{') {
            if (depth++ == 0) bottom = i;
        } else if (c == '}' && depth > 0) {
            depth--;
        }
    }
    return depth > 0 ? bottom : count;
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell* part, int32_t limit, int32_t) {
    Text t = text_of(value);
    uint32_t count = part && limit >= 0 ? std::min(t.len, uint32_t(limit)) : t.len;
    uint32_t quotes, lines;
    count_quotes_and_lines(t.p, count, t.unit, &quotes, &lines);
    if (lines >= BRACE_LINES || quotes > 0 || t.len >= BRACE_LENGTH)
        mold_braced(buffer_of(buffer), t, count, all);
    else
        mold_quoted(buffer_of(buffer), t, count, all);
    return limit - int32_t(count) - 2;
}

}  // namespace string
}  // namespace zel
