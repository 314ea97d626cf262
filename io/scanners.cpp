// Token scanners and loaders: what the automaton's terminal states accept.
// A scanner (states 66-78) finishes a delimiter, a comment or a braced string;
// a loader (states 79-101) validates a token's bytes and, when asked to load,
// turns them into a value on the lexer stack. Every refusal is a syntax error
// naming the type the token was meant to be.
#include <algorithm>
#include <cstring>

#include "core/context.h"
#include "core/datatype.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "io/lexer_internal.h"
#include "io/load_money.h"
#include "io/number_scan.h"
#include "kernel/floattext.h"
#include "kernel/memory.h"
#include "kernel/runtime.h"
#include "kernel/unicode.h"

namespace zel {
namespace lexer {

void invalid(State* s, uint32_t type) { throw_error(s, int32_t(type), s->token_start, s->pos); }

void put(Cell* c, const Cell& value) {
    uint32_t line = c->header & HDR_NEW_LINE;
    *c = value;
    c->header |= line;
}

namespace {

// ---- shared helpers ----------------------------------------------------------

uint32_t unit_for(uint32_t cp) { return cp > 0xFFFF ? 4 : cp > 0xFF ? 2 : 1; }

// ASCII texts equal without regard to case.
bool same_ascii(const char* a, const char* b, uint32_t n) {
    for (uint32_t i = 0; i < n; i++) {
        char x = a[i] >= 'a' && a[i] <= 'z' ? char(a[i] - 32) : a[i];
        char y = b[i] >= 'a' && b[i] <= 'z' ? char(b[i] - 32) : b[i];
        if (x != y) return false;
    }
    return true;
}

int32_t hex_value(uint8_t b) { return ascii::hex_digit(b); }

// One character of [p, end): an escape after "^" when escapes, else one UTF-8
// character; -1 when malformed.
int32_t next_char(const uint8_t*& p, const uint8_t* end, bool escapes) {
    uint8_t b = *p;
    if (b < 0x80) {
        p++;
        if (b != '^' || !escapes) return b;
        if (p >= end) return -1;
        return decode_escape(p, end, &p);
    }
    int32_t cp;
    const uint8_t* q = utf8::decode_char(p, end, &cp);
    p = q > p ? q : p + 1;
    return cp;
}

// True when every byte is ASCII and, with escapes, none is "^": each byte is
// then a character of its own. Eight bytes are tested at a time: a byte of
// x ^ CARETS is zero where x holds "^", and (v - ONES) & ~v has bit 7 set in
// some byte exactly when some byte of v is zero.
bool is_plain_ascii(const uint8_t* p, const uint8_t* end, bool escapes) {
    constexpr uint64_t ONES = 0x0101010101010101u, HIGHS = ONES * 0x80, CARETS = ONES * '^';
    uint64_t bits = 0, carets = 0;
    for (; end - p >= 8; p += 8) {
        uint64_t x;
        std::memcpy(&x, p, 8);
        uint64_t v = x ^ CARETS;
        bits |= x;
        carets |= (v - ONES) & ~v;
    }
    for (; p < end; p++) {
        bits |= *p;
        carets |= *p == '^' ? HIGHS : 0;
    }
    return !(bits & HIGHS) && !(escapes && (carets & HIGHS));
}

// Validates the text [start, end) of the input; when loading, a new string
// of the type holding it becomes a fresh cell, with the narrowest unit that
// holds every character.
void load_text(State* s, uint32_t type, uint32_t start, uint32_t end, bool escapes, bool load, uint32_t error_type,
               const uint8_t* text = nullptr) {
    const uint8_t* in = text ? text : input_bytes(s);
    bool plain = is_plain_ascii(in + start, in + end, escapes);
    uint32_t count = end - start, widest = 0;
    if (!plain) {
        count = 0;
        for (const uint8_t *p = in + start, *e = in + end; p < e; count++) {
            int32_t cp = next_char(p, e, escapes);
            if (cp < 0 || uint32_t(cp) > utf8::MAX_CODE_POINT) invalid(s, error_type);
            widest = std::max(widest, uint32_t(cp));
        }
    }
    s->type = type;
    if (!load) return;
    Cell* c = alloc_cell(s);
    uint32_t unit = unit_for(widest);
    Node n = series::new_units(count, unit);
    SeriesBuffer* b = node::buffer(n);
    in = text ? text : input_bytes(s);
    uint8_t* out = series::raw_bytes(b);
    if (plain) {
        std::memcpy(out, in + start, count);
    } else {
        for (const uint8_t *p = in + start, *e = in + end; p < e; out += unit)
            string::put_char(out, unit, uint32_t(next_char(p, e, escapes)));
    }
    b->tail = b->head + count * unit;
    put(c, Cell{type, 0, n, 0});
}

// Decodes "%" and two hexadecimal digits into the byte; any other "%" stays.
uint32_t percent_decode(const uint8_t* p, const uint8_t* end, uint8_t* out) {
    uint8_t* o = out;
    while (p < end) {
        if (*p == '%' && end - p >= 3 && hex_value(p[1]) >= 0 && hex_value(p[2]) >= 0) {
            *o++ = uint8_t(hex_value(p[1]) << 4 | hex_value(p[2]));
            p += 3;
        } else {
            *o++ = *p++;
        }
    }
    return uint32_t(o - out);
}

// A text whose "%" escapes are decoded before it is loaded.
void load_escaped_text(State* s, uint32_t type, uint32_t start, uint32_t end, bool load, uint32_t error_type) {
    if (!(s->flags & F_PERCENT)) return load_text(s, type, start, end, false, load, error_type);
    uint8_t small[256];
    uint8_t* buffer = end - start <= sizeof small ? small : static_cast<uint8_t*>(heap::alloc(end - start));
    struct Free {
        uint8_t* p;
        uint8_t* small;
        ~Free() {
            if (p != small) heap::free(p);
        }
    } release{buffer, small};
    const uint8_t* in = input_bytes(s);
    uint32_t n = percent_decode(in + start, in + end, buffer);
    load_text(s, type, 0, n, false, load, error_type, buffer);
}

// A name of the word family: valid UTF-8 without a colon.
void check_name(State* s, const uint8_t* p, const uint8_t* end, uint32_t type) {
    if (p >= end) invalid(s, type);
    for (const uint8_t* q = p; q < end; q++) {
        if (*q == ':') invalid(s, type);
        if (*q >= 0x80) {
            while (p < end) {
                if (next_char(p, end, false) < 0) invalid(s, type);
            }
            return;
        }
    }
}

// A word of the family, its name [start, end) interned; words are bound to
// the global context, refinements and issues to none.
void load_name(State* s, uint32_t type, uint32_t start, uint32_t end, bool load) {
    const uint8_t* in = input_bytes(s);
    check_name(s, in + start, in + end, type);
    s->type = type;
    if (!load) return;
    Cell* c = alloc_cell(s);
    uint32_t sym = symbol::make_from_buffer(in + start, end - start);
    Cell w;
    if (type == T_REFINEMENT) w = Cell{T_REFINEMENT, 0, sym, uint32_t(-1)};
    else if (type == T_ISSUE) w = Cell{T_ISSUE, context::global_node, sym, uint32_t(-1)};
    else word::write_cell(sym, &w);
    cell::set_type(&w, type);
    put(c, w);
}

// ---- scanners ----------------------------------------------------------------

// A NUL byte shares the end-of-input column of the tables; one that stands
// before the end would silently drop the rest of the text.
void scan_end(State* s) {
    if (s->token_end < s->length) throw_error(s, K_BAD_CHAR, s->token_end, s->token_end + 1);
    s->pos = s->length;
}

void scan_error(State* s) {
    uint32_t type = token_types[s->prev_state];
    throw_error(s, type ? int32_t(type) : K_BAD_CHAR, s->token_start, std::min(s->length, s->token_end + 1));
}

void scan_block_open(State* s) { open_series(s, T_BLOCK, s->token_start); }
void scan_block_close(State* s) { close_series(s, T_BLOCK); }
void scan_paren_close(State* s) { close_series(s, T_PAREN); }

void scan_paren_open(State* s) {
    if (s->point_paren) s->entry = S_POINT_BODY;
    else open_series(s, T_PAREN, s->token_start);
}

void scan_map_open(State* s) {
    const uint8_t* in = input_bytes(s);
    if (s->token_end - s->token_start != 1 || in[s->token_start] != '#') invalid(s, T_MAP);
    open_series(s, T_MAP, s->token_start);
}

void scan_brace_open(State* s) {
    if (s->braces == 0) {
        fire(s, EVENT_OPEN, T_STRING, s->token_end, s->pos);
        s->brace_start = s->token_end;
        s->brace_newline = s->token_lines > 0;
    }
    s->braces++;
    s->entry = S_BRACED;
}

void scan_brace_close(State* s) {
    if (--s->braces) {
        if (s->pos >= s->length) invalid(s, T_STRING);
        s->entry = S_BRACED;
        return;
    }
    uint32_t start = s->brace_start;
    fire(s, EVENT_CLOSE, T_STRING, start, s->pos);
    bool escapes = true;
    if (s->mode == MODE_PRESCAN) {
        s->type = T_STRING;
        return;
    }
    if (s->mode == MODE_SCAN || (s->mask & EVENT_SCAN)) {
        load_text(s, T_STRING, start + 1, s->token_end, escapes, false, T_STRING);
        if (!fire(s, EVENT_SCAN, T_STRING, start, s->pos) || s->mode == MODE_SCAN) return;
    }
    load_text(s, T_STRING, start + 1, s->token_end, escapes, true, T_STRING);
    Cell* c = stack.cells + stack.top - 1;
    c->header = (c->header & ~HDR_NEW_LINE) | (s->brace_newline ? uint32_t(HDR_NEW_LINE) : 0u);
    Cell value = *c;
    if (!fire_load(s, &value)) stack.top--;
}

// "/" after a word: the word is a path's first element.
void scan_path(State* s) {
    const uint8_t* in = input_bytes(s);
    uint8_t first = in[s->token_start];
    uint32_t kind = first == '\'' ? T_LIT_PATH : first == ':' ? T_GET_PATH : T_PATH;
    uint32_t start = s->token_start + (kind != T_PATH);
    open_series(s, kind, s->token_start);
    s->entry = S_PATH;
    if (s->mode == MODE_PRESCAN) return;
    if (s->mode == MODE_SCAN || (s->mask & EVENT_SCAN)) {
        load_name(s, T_WORD, start, s->token_end, false);
        if (!fire(s, EVENT_SCAN, T_WORD, start, s->token_end) || s->mode == MODE_SCAN) return;
    }
    load_name(s, T_WORD, start, s->token_end, true);
    Cell value = stack.cells[stack.top - 1];
    if (!fire_load(s, &value)) stack.top--;
}

// "#(" name ")": the four constants, then the datatypes by name.
void scan_construct(State* s) {
    const uint8_t* in = input_bytes(s);
    const char* name = reinterpret_cast<const char*>(in + s->token_start + 2);
    uint32_t length = s->token_end - s->token_start - 2;
    struct Constant {
        const char* name;
        const Cell* value;
    };
    static const Constant constants[] = {
        {"true", &statics::true_cell}, {"false", &statics::false_cell},
        {"none", &statics::none_cell}, {"unset", &statics::unset_cell},
    };
    Cell value{0, 0, 0, 0};
    bool found = false;
    for (const Constant& k : constants)
        if (!found && std::strlen(k.name) == length && same_ascii(k.name, name, length)) value = *k.value, found = true;
    for (uint32_t t = 1; !found && t <= types::top(); t++) {
        const types::NameRecord& r = types::name(t);
        if (r.name && r.length + 1 == length && same_ascii(r.name, name, length)) {
            datatype::write_cell(&value, t);
            found = true;
        }
    }
    if (!found) throw_error(s, K_CONSTRUCT, s->token_start, s->pos);
    s->type = cell::type(&value);
    if (s->mode != MODE_LOAD && s->mode != MODE_ONE) return;
    put(alloc_cell(s), value);
}

void scan_comment(State* s) { fire(s, EVENT_SCAN, 0, s->token_start, s->pos); }

// A comma makes the paren around it a point literal, one coordinate more per
// comma.
void scan_comma(State* s) {
    Cell* m = s->marker == NO_MARKER ? nullptr : stack.cells + s->marker;
    if (m && marker_type(m) == T_PAREN) set_marker_type(m, T_POINT2D);
    else if (m && marker_type(m) == T_POINT2D) set_marker_type(m, T_POINT3D);
    else invalid(s, T_POINT2D);
}

// ---- loaders -----------------------------------------------------------------

void load_string(State* s, uint32_t start, uint32_t end, uint32_t flags, bool load) {
    load_text(s, T_STRING, start + 1, end, (flags & F_CARET) != 0, load, T_STRING);
}

// The kind follows from the colons and the apostrophe.
void load_word(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    const uint8_t* in = input_bytes(s);
    uint8_t first = in[start], last = in[end - 1];
    bool single = end - start == 1;
    if (first == ':') {
        if (single || last == ':') invalid(s, T_WORD);
        return load_name(s, T_GET_WORD, start + 1, end, load);
    }
    if (first == '\'') {
        if (last == ':') invalid(s, T_LIT_WORD);
        return load_name(s, T_LIT_WORD, start + 1, end, load);
    }
    if (last == ':' && !single) return load_name(s, T_SET_WORD, start, end - 1, load);
    load_name(s, T_WORD, start, end, load);
}

void load_issue(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    const uint8_t* in = input_bytes(s);
    if (end - start < 2 || in[start] != '#') invalid(s, T_ISSUE);
    load_name(s, T_ISSUE, start + 1, end, load);
}

void load_float(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    int32_t error;
    double d = scan_float(input_bytes(s), start, end - start, 1, &error);
    if (error) invalid(s, T_FLOAT);
    s->type = T_FLOAT;
    if (load) {
        Cell f;
        cell::make_float(&f, d);
        put(alloc_cell(s), f);
    }
}

// More than 10 digits, or a value beyond 32 bits, is a float.
void load_integer(State* s, uint32_t start, uint32_t end, uint32_t flags, bool load) {
    const uint8_t* in = input_bytes(s);
    uint32_t digits = 0;
    for (uint32_t i = start; i < end; i++) {
        digits += in[i] >= '0' && in[i] <= '9';
        if (in[i] == '\'' && i + 1 < end && in[i + 1] == '\'') invalid(s, T_INTEGER);
    }
    int32_t error;
    int32_t v = scan_integer(in, start, end - start, 1, &error);
    if (digits > 10 || error == -2) return load_float(s, start, end, flags, load);
    if (error) invalid(s, T_INTEGER);
    s->type = T_INTEGER;
    if (load) {
        Cell i;
        cell::make_integer(&i, v);
        put(alloc_cell(s), i);
    }
}

// "/" and a name; two characters may also be the lit-, get- or set-word of "/".
void load_refinement(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    const uint8_t* in = input_bytes(s);
    if (end - start == 2) {
        static const struct {
            char a, b;
            uint32_t type;
            uint32_t name_at;
        } slashes[] = {{'\'', '/', T_LIT_WORD, 1}, {':', '/', T_GET_WORD, 1}, {'/', ':', T_SET_WORD, 0}};
        for (const auto& k : slashes)
            if (in[start] == k.a && in[start + 1] == k.b) return load_name(s, k.type, start + k.name_at, start + k.name_at + 1, load);
    }
    if (in[start] != '/') invalid(s, T_REFINEMENT);
    load_name(s, T_REFINEMENT, start + 1, end, load);
}

// #"x": one character or one escape.
void load_char(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    const uint8_t* in = input_bytes(s);
    const uint8_t* p = in + start + 2;
    const uint8_t* e = in + end;
    if (p >= e) invalid(s, T_CHAR);
    int32_t cp = next_char(p, e, true);
    if (cp < 0 || uint32_t(cp) > utf8::MAX_CODE_POINT || p != e) invalid(s, T_CHAR);
    s->type = T_CHAR;
    if (load) {
        Cell c;
        cell::make_char(&c, uint32_t(cp));
        put(alloc_cell(s), c);
    }
}

// %name with "%" escapes, or %"name" with "^" escapes.
void load_file(State* s, uint32_t start, uint32_t end, uint32_t flags, bool load) {
    if (s->prev_state == 8) return load_text(s, T_FILE, start + 2, end, (flags & F_CARET) != 0, load, T_FILE);
    load_escaped_text(s, T_FILE, start + 1, end, load, T_FILE);
}

// Base 16: pairs of hexadecimal digits; base 2: groups of eight binary
// digits; base 64: groups of four characters, "=" padding after two or
// three. White space is skipped and ";" comments run to the line end.
// Answers the byte count, or -1 when the text is not valid; out may be null.
int32_t decode_binary(const uint8_t* p, const uint8_t* end, uint32_t base, uint8_t* out) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    uint32_t bits = base == 16 ? 4 : base == 2 ? 1 : 6;
    uint32_t acc = 0, have = 0, count = 0, pads = 0;
    for (; p < end; p++) {
        uint8_t b = *p;
        if (b == ' ' || b == '\t' || b == '\r' || b == '\n') continue;
        if (b == ';') {
            while (p < end && *p != '\n') p++;
            continue;
        }
        int32_t v = -1;
        if (base == 16) v = hex_value(b);
        else if (base == 2) v = b == '0' ? 0 : b == '1' ? 1 : -1;
        else if (b == '=' && (have == 2 || have == 3 || pads)) v = 0, pads++;
        else if (b && !pads) {
            const char* at = std::strchr(alphabet, b);
            v = at ? int32_t(at - alphabet) : -1;
        }
        if (v < 0) return -1;
        acc = acc << bits | uint32_t(v);
        have++;
        if (have * bits % 8 == 0 && (base != 64 || have == 4)) {
            uint32_t bytes = have * bits / 8 - (base == 64 ? pads : 0);
            for (uint32_t i = 0; i < bytes; i++)
                if (out) out[count + i] = uint8_t(acc >> (8 * (have * bits / 8 - 1 - i)));
            count += bytes;
            acc = have = 0;
            if (pads) pads = 4;
        }
    }
    return have ? -1 : int32_t(count);
}

void load_binary(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    const uint8_t* in = input_bytes(s);
    uint32_t base = 0, at = start;
    for (; in[at] != '#'; at++) base = std::min(base * 10 + (in[at] - '0'), 1000u);
    if (at == start) base = 16;
    if (base != 2 && base != 16 && base != 64) invalid(s, T_BINARY);
    const uint8_t* digits = in + at + 2;
    int32_t n = decode_binary(digits, in + end, base, nullptr);
    if (n < 0) invalid(s, T_BINARY);
    s->type = T_BINARY;
    if (!load) return;
    Cell* c = alloc_cell(s);
    Node node = series::new_bytes(uint32_t(n));
    SeriesBuffer* b = node::buffer(node);
    in = input_bytes(s);
    decode_binary(in + at + 2, in + end, base, series::raw_bytes(b));
    b->tail = b->head + uint32_t(n);
    put(c, Cell{T_BINARY, 0, node, 0});
}

// "1.#NaN", "1.#INF", "-1.#INF", the letters in any case.
void load_special_float(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    const uint8_t* in = input_bytes(s);
    double d;
    if (!special_float(in + start, in + end, &d)) invalid(s, T_FLOAT);
    s->type = T_FLOAT;
    if (load) {
        Cell f;
        cell::make_float(&f, d);
        put(alloc_cell(s), f);
    }
}

// Digits of [p, end) as a number; -1 when there are none or too many.
int64_t read_digits(const uint8_t*& p, const uint8_t* end) {
    int64_t v = 0;
    const uint8_t* first = p;
    while (p < end && *p >= '0' && *p <= '9' && p - first < 10) v = v * 10 + (*p++ - '0');
    return p == first || (p < end && *p >= '0' && *p <= '9') ? -1 : v;
}

// [sign] hours ":" minutes [":" seconds ["." or "," fraction]].
void load_time(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    const uint8_t* in = input_bytes(s);
    const uint8_t* p = in + start;
    const uint8_t* e = in + end;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') p++;
    int64_t hours = read_digits(p, e);
    if (hours < 0 || p >= e || *p++ != ':') invalid(s, T_TIME);
    int64_t minutes = read_digits(p, e);
    if (minutes < 0) invalid(s, T_TIME);
    double seconds = 0;
    if (p < e) {
        if (*p++ != ':') invalid(s, T_TIME);
        char text[32];
        uint32_t n = 0;
        for (; p < e && n < sizeof text; p++) text[n++] = *p == ',' ? '.' : char(*p);
        int32_t unconsumed = 0;
        if (n == 0 || p < e || text[0] < '0' || text[0] > '9' || !is_float_syntax(reinterpret_cast<uint8_t*>(text),
                                                                                   reinterpret_cast<uint8_t*>(text) + n))
            invalid(s, T_TIME);
        for (uint32_t i = 0; i < n; i++)
            if (text[i] == 'e' || text[i] == 'E' || text[i] == '\'') invalid(s, T_TIME);
        seconds = float_::from_text(text, text + n, 0, &unconsumed);
        if (unconsumed || seconds >= 60) invalid(s, T_TIME);
    }
    double total = double(hours) * 3600 + double(minutes) * 60 + seconds;
    s->type = T_TIME;
    if (load) {
        Cell t;
        cell::make_float(&t, negative ? -total : total);
        cell::set_type(&t, T_TIME);
        put(alloc_cell(s), t);
    }
}

void load_tag(State* s, uint32_t start, uint32_t end, uint32_t flags, bool load) {
    load_text(s, T_TAG, start + 1, end, false, load, T_TAG);
    (void)flags;
}

void load_url(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    const uint8_t* in = input_bytes(s);
    if (in[start] == ':') invalid(s, T_GET_WORD);
    if (in[start] == '\'') invalid(s, T_LIT_WORD);
    load_escaped_text(s, T_URL, start, end, load, T_URL);
}

void load_email(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    load_text(s, T_EMAIL, start, end, false, load, T_EMAIL);
}

void load_ref(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    load_text(s, T_REF, start + 1, end, false, load, T_REF);
}

// Two to eight hexadecimal digits followed by "h".
void load_hex(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    const uint8_t* in = input_bytes(s);
    uint32_t digits = end - start - 1;
    if (digits == 1 && hex_value(in[start]) >= 10) invalid(s, T_WORD);
    if (digits < 2 || digits > 8) invalid(s, T_INTEGER);
    uint32_t v = 0;
    for (uint32_t i = start; i < end - 1; i++) {
        int32_t h = hex_value(in[i]);
        if (h < 0) invalid(s, T_INTEGER);
        v = v << 4 | uint32_t(h);
    }
    s->type = T_INTEGER;
    if (load) {
        Cell i;
        cell::make_integer(&i, int32_t(v));
        put(alloc_cell(s), i);
    }
}

// The automaton measured the raw string: n "%", "{", text, "}", n "%".
void load_raw_string(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    const uint8_t* in = input_bytes(s);
    uint32_t n = 0;
    while (in[start + n] == '%') n++;
    if (!load && s->mode == MODE_SCAN) {
        fire(s, EVENT_OPEN, T_STRING, start, s->pos);
        fire(s, EVENT_CLOSE, T_STRING, start, s->pos);
    }
    load_text(s, T_STRING, start + n + 1, end - n - 1, false, load, T_STRING);
}

// Tokens whose datatypes are not part of this lexer yet: typed when scanned,
// refused when loaded.
template <uint32_t Type>
void load_missing_type(State* s, uint32_t, uint32_t, uint32_t, bool load) {
    s->type = Type;
    if (load) invalid(s, Type);
}

}  // namespace

// ---- escapes and spaces ------------------------------------------------------

int32_t decode_escape(const uint8_t* p, const uint8_t* end, const uint8_t** after) {
    *after = p;
    uint8_t b = *p;
    if (b >= 0x80) {
        int32_t cp;
        const uint8_t* q = utf8::decode_char(p, end, &cp);
        *after = q > p ? q : p + 1;
        return cp;
    }
    *after = p + 1;
    static const struct {
        char c;
        uint8_t code;
    } fixed[] = {{'"', '"'}, {'-', '\t'}, {'/', '\n'}, {'^', '^'}, {'{', '{'}, {'}', '}'}, {'~', 127}, {'@', 0}};
    for (const auto& f : fixed)
        if (b == uint8_t(f.c)) return f.code;
    if (b >= 'a' && b <= 'z') return b - 'a' + 1;
    if (b >= '@' && b <= '_' && b != '(') return b - '@';
    if (b != '(') return b;
    const uint8_t* close = p + 1;
    while (close < end && *close != ')' && close - p <= 7) close++;
    if (close >= end || *close != ')' || close == p + 1) return -1;
    *after = close + 1;
    uint32_t length = uint32_t(close - p - 1);
    int32_t v = 0;
    bool hex = length <= 6;
    for (const uint8_t* q = p + 1; q < close && hex; q++) {
        hex = hex_value(*q) >= 0;
        v = v << 4 | std::max(hex_value(*q), 0);
    }
    if (hex) return v;
    static const struct {
        const char* name;
        uint8_t code;
    } names[] = {{"null", 0}, {"back", 8}, {"tab", 9}, {"line", 10}, {"page", 12}, {"esc", 27}, {"del", 127}};
    for (const auto& n : names)
        if (std::strlen(n.name) == length && same_ascii(n.name, reinterpret_cast<const char*>(p + 1), length))
            return n.code;
    return -1;
}

bool is_unicode_space(uint32_t cp) {
    static const uint32_t spaces[] = {0x85,   0xA0,   0x1680, 0x180E, 0x2000, 0x2001, 0x2002,
                                      0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009,
                                      0x200A, 0x200B, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
    if (cp < 0x85) return false;
    return std::find(std::begin(spaces), std::end(spaces), cp) != std::end(spaces);
}

// "(" starts a point literal when the bytes after it, up to the first byte
// that cannot be part of a number, stop at a comma or the end.
bool point_ahead(const State* s) {
    const uint8_t* in = input_bytes(s);
    uint32_t p = s->token_end + 1;
    if (s->length - std::min(s->length, p) < 3) return false;
    for (; p < s->length; p++) {
        uint8_t b = in[p];
        if (b == ',') return true;
        bool number = (b >= '0' && b <= '9') || std::strchr("\t #+-.AEFINaefin", b) != nullptr;
        if (!number || b == 0) return false;
    }
    return true;
}

const Scanner scanners[STATE_COUNT - FIRST_TERMINAL] = {
    scan_end,       scan_error,      scan_block_open, scan_block_close, scan_paren_open,
    scan_paren_close, scan_brace_open, scan_brace_close, scan_map_open,  scan_path,
    scan_construct, scan_comment,    scan_comma,
};

const Loader loaders[STATE_COUNT - FIRST_TERMINAL] = {
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    load_string,                   // 79
    load_word,                     // 80
    load_issue,                    // 81
    load_integer,                  // 82
    load_refinement,               // 83
    load_char,                     // 84
    load_file,                     // 85
    load_binary,                   // 86
    load_percent,                  // 87
    load_float,                    // 88
    load_special_float,            // 89
    load_tuple,                    // 90
    load_date,                     // 91
    load_pair,                     // 92
    load_point,                    // 93
    load_time,                     // 94
    load_money,                    // 95
    load_tag,                      // 96
    load_url,                      // 97
    load_email,                    // 98
    load_hex,                      // 99
    load_raw_string,               // 100
    load_ref,                      // 101
};

}  // namespace lexer
}  // namespace zel
