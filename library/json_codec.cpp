// json-unescape: one pass over a string from its index, reading and writing
// in the same buffer (the write index never passes the read index). A
// character wider than the buffer's units widens it behind the same node,
// so the buffer is taken again from each store and characters are read by
// index.
#include "library/json_codec.h"

#include "core/raise.h"
#include "core/stack.h"
#include "core/string.h"
#include "library/routines.h"
#include "kernel/unicode.h"

namespace zel {
namespace json_codec {

namespace {

Cell* arg(uint32_t k) { return stack::arg(k); }

struct Reader {
    Cell* str;
    uint32_t at;
    uint32_t end;

    [[noreturn]] void refuse() const { error::raise(Err::script_invalid_data, str); }

    uint32_t next() {
        if (at >= end) refuse();
        return string::char_at(str, at++);
    }

    // Exactly four hex digits, either case.
    uint32_t hex4() {
        if (end - at < 4) refuse();
        uint32_t value = 0;
        for (int i = 0; i < 4; i++) {
            int digit = ascii::hex_digit(string::char_at(str, at++));
            if (digit < 0) refuse();
            value = value << 4 | uint32_t(digit);
        }
        return value;
    }

    // The code point of a \u escape; a high surrogate must be followed by
    // the \u escape of a low one, and the pair gives one character. A lone
    // surrogate is refused: no text holds it, and UTF-8 cannot carry it.
    uint32_t code_point() {
        uint32_t high = hex4();
        if (high >= 0xDC00 && high <= 0xDFFF) refuse();
        if (high < 0xD800 || high > 0xDBFF) return high;
        if (end - at < 6 || string::char_at(str, at) != '\\' || string::char_at(str, at + 1) != 'u') refuse();
        at += 2;
        uint32_t low = hex4();
        if (low < 0xDC00 || low > 0xDFFF) refuse();
        return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
    }

    uint32_t escaped() {
        uint32_t c = next();
        switch (c) {
        case '"': case '\\': case '/': return c;
        case 'b': return 0x08;
        case 'f': return 0x0C;
        case 'n': return 0x0A;
        case 'r': return 0x0D;
        case 't': return 0x09;
        case 'u': return code_point();
        default: refuse();
        }
    }
};

void unescape() {
    Cell* str = arg(0);
    if (string::find_char(str, '\\') < 0) return;
    uint32_t start = uint32_t(cell::series_index(str));
    Reader in{str, start, string::get_abs_length(str)};
    SeriesBuffer* b = string::buffer_of(str);
    uint32_t write = start;
    while (in.at < in.end) {
        uint32_t c = in.next();
        if (c == '\\') c = in.escaped();
        b = string::poke_char(b, write++, c);
    }
    string::truncate(b, write);
}

const routines::Def ROUTINES[] = {
    {"json-unescape", R"~(str [string!])~", unescape},
};

}  // namespace

void bind() { routines::bind_all(ROUTINES); }

}  // namespace json_codec
}  // namespace zel
