// String storage: reading and storing characters in 1-, 2- and 4-byte units,
// widening in place, copying text between buffers, and the small constructors
// every other module uses to make strings.
#include "core/string.h"

#include <algorithm>
#include <cstring>

#include "core/stack.h"
#include "kernel/casefold.h"
#include "kernel/fail.h"
#include "kernel/floattext.h"
#include "kernel/runtime.h"
#include "kernel/unicode.h"

namespace zel {
namespace string {

namespace {

// Codes of the fatal report for a caller that breaks the storage rules: a
// unit that is not text, a position outside the text, a conversion between
// units that has no meaning.
constexpr uint32_t FAULT_INTERNAL = 101;
constexpr uint32_t FAULT_CONVERSION = 100;

[[noreturn]] void fault(uint32_t code) { runtime::error_report(code, 0); }

uint32_t shift_of(const SeriesBuffer* b) {
    switch (series::unit(b)) {
    case 1: return 0;
    case 2: return 1;
    case 4: return 2;
    }
    fault(FAULT_INTERNAL);
}

uint32_t length_of(const SeriesBuffer* b) { return (b->tail - b->head) >> shift_of(b); }
uint8_t* at(SeriesBuffer* b, uint32_t position) { return series::raw_bytes(b) + (size_t(position) << shift_of(b)); }

// The value's index within [0, length].
uint32_t index_in(const Cell* value, uint32_t length) {
    int32_t i = cell::series_index(value);
    return i < 0 ? 0 : std::min(uint32_t(i), length);
}

// The unit that insert, poke and set need for a code point: Latin-1 stays in
// 1-byte units.
uint32_t unit_for(uint32_t cp) { return cp > 0xFFFF ? 4 : cp > 0xFF ? 2 : 1; }

SeriesBuffer* fit(SeriesBuffer* b, uint32_t unit) { return unit > series::unit(b) ? widen_to(b, unit) : b; }

// Grows b so that its data area reaches bytes past the head: to twice that.
SeriesBuffer* reach(SeriesBuffer* b, uint64_t bytes) {
    if (b->head + bytes <= b->size) return b;
    if (bytes * 2 > 0xFFFFFFF0u) fail::internal("no-memory");
    return series::expand(b, uint32_t(bytes * 2));
}

// Makes room for n units at position as the mode places them and moves the
// tail; the units in the room are left for the caller to write.
SeriesBuffer* open_range(SeriesBuffer* b, uint32_t position, uint32_t n, CopyMode mode) {
    uint32_t s = shift_of(b), len = length_of(b);
    uint64_t end = mode == COPY_OVERWRITE ? std::max<uint64_t>(uint64_t(position) + n, len) : uint64_t(len) + n;
    b = reach(b, end << s);
    if (mode != COPY_OVERWRITE) std::memmove(at(b, position + n), at(b, position), size_t(len - position) << s);
    b->tail = b->head + uint32_t(end << s);
    return b;
}

// The copy of copy_part_into when the target is wider and the source must stay
// as it is: character by character.
SeriesBuffer* copy_converting(Node target, SeriesBuffer* source, uint32_t from, uint32_t n,
                              uint32_t position, CopyMode mode) {
    SeriesBuffer* b = node::buffer(target);
    uint32_t su = series::unit(source);
    const uint8_t* src = series::head_ptr(source) + size_t(from) * su;
    if (mode == COPY_APPEND) {
        for (uint32_t i = 0; i < n; i++) b = append_char(b, get_char(src + size_t(i) * su, su));
        return b;
    }
    b = open_range(b, position, n, mode);
    for (uint32_t i = 0; i < n; i++) b = poke_char(b, position + i, get_char(src + size_t(i) * su, su));
    return b;
}

// Writes n units of source (same unit) from index from into the room opened at
// position. Within one buffer an insertion has moved the part of the source
// at or after position up by n.
void fill_range(SeriesBuffer* b, Node target, Node source, uint32_t from, uint32_t n, uint32_t position,
                CopyMode mode) {
    uint32_t s = shift_of(b);
    if (source != target) {
        std::memcpy(at(b, position), at(node::buffer(source), from), size_t(n) << s);
    } else if (mode == COPY_OVERWRITE) {
        std::memmove(at(b, position), at(b, from), size_t(n) << s);
    } else {
        uint32_t before = from >= position ? 0 : std::min(n, position - from);
        std::memcpy(at(b, position), at(b, from), size_t(before) << s);
        uint32_t rest_from = std::max(from, position) + n;
        std::memcpy(at(b, position + before), at(b, rest_from), size_t(n - before) << s);
    }
}

}  // namespace

// ---- reading ----------------------------------------------------------------

uint32_t char_at(const Cell* value, uint32_t offset) {
    SeriesBuffer* b = buffer_of(value);
    return get_char(at(b, offset), series::unit(b));
}

uint32_t get_length(Cell* value) {
    uint32_t len = length_of(buffer_of(value));
    int32_t i = cell::series_index(value);
    if (i > 0 && uint32_t(i) > len) {
        cell::set_series_index(value, len);
        return 0;
    }
    return len - index_in(value, len);
}

uint32_t get_abs_length(const Cell* value) { return length_of(buffer_of(value)); }

uint8_t* head_ptr(Cell* value) {
    get_length(value);
    SeriesBuffer* b = buffer_of(value);
    return at(b, index_in(value, length_of(b)));
}

bool is_at_tail(const Cell* value) {
    uint32_t len = length_of(buffer_of(value));
    return index_in(value, len) == len;
}

int32_t find_char(const Cell* value, uint32_t cp) {
    SeriesBuffer* b = buffer_of(value);
    uint32_t len = length_of(b), unit = series::unit(b), from = index_in(value, len);
    const uint8_t* p = at(b, from);
    for (uint32_t i = from; i < len; i++, p += unit)
        if (get_char(p, unit) == cp) return int32_t(i - from);
    return -1;
}

bool starts_with_cstr(const Cell* value, const char* s) {
    SeriesBuffer* b = buffer_of(value);
    uint32_t len = length_of(b), unit = series::unit(b), i = index_in(value, len);
    for (; *s; s++, i++)
        if (i >= len || get_char(at(b, i), unit) != uint8_t(*s)) return false;
    return true;
}

// ---- storing ----------------------------------------------------------------

SeriesBuffer* append_char_slow(SeriesBuffer* b, uint32_t cp) {
    uint32_t need = cp > 0xFFFF ? 4 : cp > 0x7F ? 2 : 1;
    b = fit(b, need);
    Node n = b->node;
    uint32_t unit = series::unit(b);
    put_char(series::reserve(b, unit), unit, cp);
    return node::buffer(n);
}

SeriesBuffer* append_utf8_lenient(SeriesBuffer* b, const uint8_t* p, const uint8_t* end) {
    while (p < end) {
        int32_t cp;
        const uint8_t* next = utf8::decode_char(p, end, &cp);
        if (cp < 0) {
            cp = int32_t(utf8::REPLACEMENT);
            next = p + 1;
        }
        b = append_char(b, uint32_t(cp));
        p = next;
    }
    return b;
}

SeriesBuffer* insert_char(SeriesBuffer* b, uint32_t position, uint32_t cp) {
    b = fit(b, unit_for(cp));
    position = std::min(position, length_of(b));
    b = open_range(b, position, 1, COPY_INSERT);
    put_char(at(b, position), series::unit(b), cp);
    return b;
}

SeriesBuffer* poke_char(SeriesBuffer* b, uint32_t position, uint32_t cp) {
    if (position >= length_of(b)) fault(FAULT_INTERNAL);
    b = fit(b, unit_for(cp));
    put_char(at(b, position), series::unit(b), cp);
    return b;
}

void remove_at(const Cell* value, uint32_t offset, uint32_t count) {
    SeriesBuffer* b = buffer_of(value);
    uint32_t len = length_of(b), s = shift_of(b);
    if (offset >= len) return;
    if (count >= len - offset) {
        b->tail = b->head + (offset << s);
        return;
    }
    std::memmove(at(b, offset), at(b, offset + count), size_t(len - offset - count) << s);
    b->tail -= count << s;
}

void truncate(SeriesBuffer* b, uint32_t n) {
    if (length_of(b) > n) b->tail = b->head + (n << shift_of(b));
}

void move_chars(const Cell* source, const Cell* target, uint32_t bytes) {
    SeriesBuffer* sb = buffer_of(source);
    uint32_t len = length_of(sb), unit = series::unit(sb), from = index_in(source, len);
    uint32_t count = std::min(bytes >> shift_of(sb), len - from);
    Node tn = cell::series_node(target);
    uint32_t to = index_in(target, length_of(node::buffer(tn)));
    for (uint32_t i = 0; i < count; i++) {
        uint32_t cp = get_char(at(buffer_of(source), from + i), unit);
        insert_char(node::buffer(tn), to + i, cp);
    }
    remove_at(source, from, count);
}

// ---- units ------------------------------------------------------------------

SeriesBuffer* widen_to(SeriesBuffer* b, uint32_t unit) {
    uint32_t from = series::unit(b);
    if (unit == 2 && from == 1) return widen_to_ucs2(b);
    if (unit == 4 && from == 1) return widen_to_ucs4(b);
    if (unit == 4 && from == 2) return widen_ucs2_to_ucs4(b);
    fault(FAULT_INTERNAL);
}

SeriesBuffer* copy_part_into(const Cell* target, const Cell* source, int32_t count, uint32_t position,
                             bool convert, CopyMode mode) {
    Node tn = cell::series_node(target), sn = cell::series_node(source);
    SeriesBuffer* sb = node::buffer(sn);
    uint32_t slen = length_of(sb), from = index_in(source, slen);
    uint32_t n = count < 0 ? slen - from : std::min(slen - from, uint32_t(count));
    SeriesBuffer* tb = node::buffer(tn);
    if (mode == COPY_APPEND) position = length_of(tb);
    position = std::min(position, length_of(tb));
    uint32_t su = series::unit(sb), tu = series::unit(tb);
    if (su > tu) {
        tb = widen_to(tb, su);
    } else if (su < tu) {
        if (convert) return copy_converting(tn, sb, from, n, position, mode);
        widen_to(sb, tu);
    }
    tb = open_range(tb, position, n, mode);
    fill_range(tb, tn, sn, from, n, position, mode);
    return tb;
}

// ---- making -----------------------------------------------------------------

void write_cell(Cell* c, uint32_t size) { cell::make_series(c, T_STRING, series::new_units(size ? size : 1, 1)); }

void make_buffer_at(Cell* c, uint32_t size, uint32_t unit) {
    if (unit != 1 && unit != 2 && unit != 4) fault(FAULT_INTERNAL);
    cell::make_series(c, T_STRING, series::new_units(size, unit));
}

Cell* load_at(const uint8_t* text, uint32_t size, Cell* c, int32_t encoding) {
    if (encoding != ENC_UTF8 && encoding != ENC_UTF16LE) fail::internal("not-done");
    c->header = T_UNSET;
    cell::set_series_index(c, 0);
    cell::set_series_extra(c, 0);
    Node n = encoding == ENC_UTF8 ? from_utf8_new(text, size, false) : load_utf16(text, size, 0, false);
    cell::make_series(c, T_STRING, n);
    return c;
}

Cell* load_in(const Cell* block, const uint8_t* text, uint32_t size, int32_t encoding) {
    return load_at(text, size, block::append_slot(block), encoding);
}

Cell* load(const uint8_t* text, uint32_t size, int32_t encoding) {
    return load_at(text, size, stack::push_slot(), encoding);
}

void append_cstr(const Cell* value, const char* s) {
    SeriesBuffer* b = buffer_of(value);
    for (; *s; s++) b = append_char(b, uint8_t(*s));
}

void append_bytes(const Cell* value, const uint8_t* p, uint32_t count) {
    SeriesBuffer* b = buffer_of(value);
    for (uint32_t i = 0; i < count; i++) b = append_char(b, p[i]);
}

// ---- text -------------------------------------------------------------------

static const char HEX_DIGITS[] = "0123456789ABCDEF";

const char* byte_to_hex(uint8_t byte) {
    static char out[3];
    out[0] = HEX_DIGITS[byte >> 4];
    out[1] = HEX_DIGITS[byte & 15];
    return out;
}

const char* int_to_hex(int32_t value, bool trimmed) {
    static char out[9];
    int32_t fill = value < 0 ? -1 : 0;
    char* p = out + 8;
    for (int32_t v = value; v != fill; v >>= 4) *--p = HEX_DIGITS[v & 15];
    if (trimmed) return value == 0 ? "00" : p;
    while (p > out) *--p = value < 0 ? 'F' : '0';
    return out;
}

}  // namespace string
}  // namespace zel
