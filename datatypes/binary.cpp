// binary!: the byte-buffer interface, the conversion of values to bytes, and
// the actions that binary! does not take from string!.
#include "datatypes/binary.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/cycles.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/series.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/string_actions.h"
#include "core/support.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "datatypes/base_codecs.h"
#include "datatypes/tuple.h"
#include "kernel/memory.h"
#include "kernel/unicode.h"

namespace zel {
namespace binary {

namespace {

// The answer of the routines that make a new value; copied by the caller at once.
Cell answer;

SeriesBuffer* buffer_of(const Cell* v) { return node::buffer(cell::series_node(v)); }
uint32_t used_of(const SeriesBuffer* b) { return b->tail - b->head; }
// The index, clamped to the tail.
uint32_t index_of(const Cell* v) { return std::min(uint32_t(cell::series_index(v)), used_of(buffer_of(v))); }
void clip(Cell* v) { cell::set_series_index(v, index_of(v)); }

constexpr uint32_t MAX_BYTES = 0x7FFFFFFFu;

[[noreturn]] void no_memory() { error::raise(Err::internal_no_memory); }

// Grows the buffer so that its data area holds need bytes; grown is the size
// asked for (at least need).
SeriesBuffer* ensure(SeriesBuffer* b, uint64_t need, uint64_t grown) {
    if (need <= b->size) return b;
    if (grown > MAX_BYTES) grown = need;
    if (need > MAX_BYTES) no_memory();
    return series::expand(b, uint32_t(grown));
}

[[noreturn]] void bad_to(const Cell* value) {
    Cell type;
    cell::make_datatype(&type, T_BINARY);
    error::raise(Err::script_bad_to_arg, &type, value);
}


// Keeps a block on the cycle stack while its values are converted, so a block
// that holds itself ends in too-deep instead of running off the machine stack.
struct CycleGuard {
    explicit CycleGuard(Node n) { cycles::push(n); }
    ~CycleGuard() { cycles::pop(); }
    CycleGuard(const CycleGuard&) = delete;
    CycleGuard& operator=(const CycleGuard&) = delete;
};

// ---- bytes of values ----------------------------------------------------------

uint32_t capped(uint32_t n, int32_t limit) { return limit >= 1 ? std::min(n, uint32_t(limit)) : n; }

void put(uint8_t* target, const void* source, uint32_t n) {
    if (target && n) std::memmove(target, source, n);
}

// The UTF-8 bytes of the characters from the text's index, at most limit.
uint32_t text_bytes(uint8_t* target, const Cell* text, int32_t limit) {
    SeriesBuffer* b = buffer_of(text);
    uint32_t unit = series::unit(b);
    const uint8_t* p = series::head_ptr(b) + (size_t(index_of(text)) << series::unit_shift(b));
    const uint8_t* end = series::tail_ptr(b);
    uint32_t total = limit >= 1 ? uint32_t(limit) : MAX_BYTES;
    uint32_t n = 0;
    for (; p < end && n < total; p += unit) {
        uint8_t code[4];
        uint32_t size = utf8::encode_char(string::get_char(p, unit), code);
        size = std::min(size, total - n);
        put(target ? target + n : nullptr, code, size);
        n += size;
    }
    return n;
}

uint32_t block_bytes(uint8_t* target, const Cell* block, int32_t limit, bool only, int32_t mode) {
    Node n = cell::series_node(block);
    CycleGuard guard(n);
    uint32_t total = 0, values = 0;
    for (uint32_t i = uint32_t(cell::series_index(block));; i++, values++) {
        SeriesBuffer* b = node::buffer(n);
        if (i >= series::length(b)) break;
        if (limit >= 1 && !only && values >= uint32_t(limit)) break;
        if (limit >= 1 && only && total >= uint32_t(limit)) break;
        int32_t inner = only && limit >= 1 ? limit - int32_t(total) : -1;
        total += value_to_bytes(target ? target + total : nullptr, series::cells(b) + i, inner, only, mode);
    }
    return total;
}

uint32_t formed_bytes(uint8_t* target, const Cell* value, int32_t limit) {
    Cell text;
    string::write_cell(&text, 16);
    actions::form_dispatch(const_cast<Cell*>(value), &text, nullptr, 0x7FFFFFFF);
    return text_bytes(target, &text, limit);
}

}  // namespace

uint32_t value_to_bytes(uint8_t* target, const Cell* value, int32_t limit, bool only, int32_t mode) {
    if (mode == BYTES_COUNT) target = nullptr;
    uint32_t t = cell::type(value);
    switch (t) {
    case T_CHAR: {
        uint8_t code[4];
        uint32_t n = capped(utf8::encode_char(cell::get_char(value), code), limit);
        put(target, code, n);
        return n;
    }
    case T_INTEGER: {
        uint8_t byte = byte_of(value);
        put(target, &byte, 1);
        return 1;
    }
    case T_BINARY: {
        uint32_t n = capped(length(value), limit);
        put(target, head_address(value), n);
        return n;
    }
    case T_TUPLE: {
        uint32_t n = capped(tuple::count(value), limit);
        put(target, tuple::bytes(value), n);
        return n;
    }
    }
    if (types::in(types::PLAIN_BLOCK, t)) return block_bytes(target, value, limit, only, mode);
    if (types::is_any_string(t)) return text_bytes(target, value, limit);
    if (mode != BYTES_FORMED) bad_to(value);
    return formed_bytes(target, value, limit);
}

// ---- making -------------------------------------------------------------------

Cell* init_empty(Cell* c, uint32_t capacity) {
    cell::make_series(c, T_BINARY, series::new_bytes(capacity));
    return c;
}

Cell* append_new(const Cell* block, uint32_t capacity) {
    return init_empty(block::append_slot(block), capacity);
}

Cell* from_memory_in(const uint8_t* source, uint32_t count, const Cell* block) {
    Cell* c = block ? block::append_slot(block) : stack::push_slot();
    Node n = series::new_bytes(count);
    SeriesBuffer* b = node::buffer(n);
    if (count) std::memcpy(series::data(b), source, count);
    b->tail = count;
    cell::make_series(c, T_BINARY, n);
    return c;
}

Cell* from_memory(const uint8_t* source, uint32_t count) { return from_memory_in(source, count, nullptr); }

Cell* push(const Cell* value) { return stack::push(value); }

// ---- reading ------------------------------------------------------------------

uint32_t length(const Cell* value) {
    SeriesBuffer* b = buffer_of(value);
    return used_of(b) - index_of(value);
}

uint8_t* head_address(const Cell* value) { return series::raw_bytes(buffer_of(value)) + index_of(value); }
uint8_t* tail_address(const Cell* value) { return series::tail_ptr(buffer_of(value)); }
bool is_at_tail(const Cell* value) {
    return uint32_t(cell::series_index(value)) >= used_of(buffer_of(value));
}
uint8_t get_byte(const Cell* value, uint32_t offset) { return series::head_ptr(buffer_of(value))[offset]; }

bool step(Cell* value, uint32_t count) {
    uint32_t used = used_of(buffer_of(value));
    uint64_t next = uint64_t(uint32_t(cell::series_index(value))) + count;
    if (next <= used) cell::set_series_index(value, uint32_t(next));
    return uint32_t(cell::series_index(value)) >= used;
}

// ---- writing ------------------------------------------------------------------

void cut_at_index(const Cell* value) {
    SeriesBuffer* b = buffer_of(value);
    b->tail = b->head + index_of(value);
}

// The source of a copy may lie in the buffer that grows: it is found again by
// its offset from the head after the move (a move may also place the head).
static bool inside(const SeriesBuffer* b, const uint8_t* p) {
    const uint8_t* start = series::data(const_cast<SeriesBuffer*>(b));
    return p >= start && p < start + b->size;
}

static ptrdiff_t offset_in(SeriesBuffer* b, const uint8_t* p) { return p - series::head_ptr(b); }

uint8_t* append_bytes(const Cell* value, const uint8_t* source, uint32_t count) {
    SeriesBuffer* b = buffer_of(value);
    bool own = inside(b, source);
    ptrdiff_t from = own ? offset_in(b, source) : 0;
    uint8_t* at = series::reserve(b, count);
    if (own) source = series::head_ptr(buffer_of(value)) + from;
    if (count) std::memmove(at, source, count);
    return at;
}

void insert_bytes(const Cell* value, uint32_t offset, const uint8_t* source, uint32_t count) {
    SeriesBuffer* b = buffer_of(value);
    bool own = inside(b, source);
    ptrdiff_t from = own ? offset_in(b, source) : 0;
    uint32_t position = index_of(value) + offset;
    b = ensure(b, uint64_t(b->tail) + count, uint64_t(b->size) * 2 + count);
    uint8_t* at = series::raw_bytes(b) + position;
    std::memmove(at + count, at, size_t(series::tail_ptr(b) - at));
    b->tail += count;
    if (own) {
        source = series::head_ptr(b) + from;
        if (source >= at) source += count;  // it moved up with the rest
    }
    std::memmove(at, source, count);
}

void overwrite_bytes(const Cell* value, uint32_t offset, const uint8_t* source, uint32_t count) {
    SeriesBuffer* b = buffer_of(value);
    bool own = inside(b, source);
    ptrdiff_t from = own ? offset_in(b, source) : 0;
    uint64_t position = uint64_t(index_of(value)) + offset;
    uint64_t end = b->head + position + count;
    b = ensure(b, end, uint64_t(b->size) * 2 + (end > b->size ? end - b->size : 0));
    if (own) source = series::head_ptr(b) + from;
    std::memmove(series::raw_bytes(b) + position, source, count);
    if (b->head + position + count > b->tail) b->tail = uint32_t(b->head + position + count);
}

void append_int32_be(int32_t n, const Cell* value) {
    uint32_t u = uint32_t(n);
    uint8_t bytes[4] = {uint8_t(u >> 24), uint8_t(u >> 16), uint8_t(u >> 8), uint8_t(u)};
    append_bytes(value, bytes, 4);
}

uint8_t byte_of(const Cell* integer) {
    int32_t v = cell::get_int(integer);
    if (v < -128 || v > 255) error::raise(Err::script_invalid_arg, integer);
    return uint8_t(v);
}

void set_byte(uint8_t* target, const Cell* value) {
    switch (cell::type(value)) {
    case T_INTEGER: *target = byte_of(value); return;
    case T_CHAR: *target = uint8_t(cell::get_char(value)); return;
    default: error::raise(Err::script_invalid_arg, value);
    }
}

// ---- matching -----------------------------------------------------------------

Bytes bytes_of(const Cell* v) {
    if (cell::type(v) == T_BINARY) return {head_address(v), length(v)};
    SeriesBuffer* b = buffer_of(v);
    uint32_t index = index_of(v);
    if (series::unit(b) == 1) {
        const uint8_t* p = series::head_ptr(b) + index;
        uint32_t n = used_of(b) - index;
        if (std::all_of(p, p + n, [](uint8_t c) { return c < 0x80; })) return {p, n};
    }
    uint32_t size = 0;
    Node n = utf8::from_string(v, &size);
    return {series::head_ptr(node::buffer(n)), size};
}

namespace {

bool is_equality(int32_t op) { return op == 0 || op == 1 || op == 2 || op == 12; }

int32_t order(const uint8_t* a, const uint8_t* b, uint32_t n) {
    int c = n ? std::memcmp(a, b, n) : 0;
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace

int32_t compare_bytes(const Cell* a, const Cell* b, int32_t op, bool match) {
    if (cell::type(b) != T_BINARY && !types::is_any_string(cell::type(b))) return actions::NOT_COMPARABLE;
    bool same = cell::series_node(a) == cell::series_node(b) && cell::series_index(a) == cell::series_index(b);
    if (op == 9) return same ? 0 : -1;
    if (same && is_equality(op)) return 0;
    uint32_t la = length(a);
    Bytes y = bytes_of(b);
    const uint8_t* x = head_address(a);
    if (match) {
        if (y.n == 0) return op == 0 || op == 2 || op == 12 ? 0 : 1;
        if (la < y.n) return 1;
        return order(x, y.p, y.n);
    }
    if (la != y.n && is_equality(op)) return 1;
    int32_t c = order(x, y.p, std::min(la, y.n));
    if (c != 0) return c;
    return la == y.n ? 0 : la < y.n ? -1 : 1;
}

bool is_match_value(const Cell* value_at, const Cell* value, int32_t op) {
    uint32_t t = cell::type(value);
    if (t == T_CHAR) return !is_at_tail(value_at) && *head_address(value_at) == cell::get_char(value);
    if (t == T_BINARY || types::is_any_string(t)) return compare_bytes(value_at, value, op, true) == 0;
    return false;
}

bool is_match_bitset(const Cell* value_at, const Cell* bitset) {
    return !is_at_tail(value_at) && string::bitset_has(bitset, *head_address(value_at));
}

// ---- to -----------------------------------------------------------------------

namespace {

// A new binary holding the value's bytes.
const Cell* new_from_value(const Cell* value, uint32_t capacity) {
    uint32_t n = value_to_bytes(nullptr, value, -1, false, BYTES_COUNT);
    init_empty(&answer, std::max(n, capacity));
    value_to_bytes(series::reserve(buffer_of(&answer), n), value, -1, false, BYTES_WRITE);
    return &answer;
}

const Cell* new_from_raw(const uint8_t* bytes, uint32_t n) {
    init_empty(&answer, n);
    std::memcpy(series::reserve(buffer_of(&answer), n), bytes, n);
    return &answer;
}

const Cell* from_issue(const Cell* issue) {
    Cell name;
    cell::make_series(&name, T_STRING, cell::symbol_string(word::symbol_record(issue)));
    SeriesBuffer* b = buffer_of(&name);
    Node n = decode_base16(series::head_ptr(b), series::length(b), series::unit(b));
    if (!n) error::raise(Err::script_invalid_data, issue);
    cell::make_series(&answer, T_BINARY, n);
    return &answer;
}

const Cell* from_number(uint64_t bits, uint32_t size) {
    uint8_t bytes[8];
    for (uint32_t i = 0; i < size; i++) bytes[i] = uint8_t(bits >> (8 * (size - 1 - i)));
    return new_from_raw(bytes, size);
}

}  // namespace

const Cell* to(Cell*, Cell* spec, uint32_t) {
    uint32_t t = cell::type(spec);
    if (types::in(types::PLAIN_BLOCK, t)) return new_from_value(spec, 16);
    if (types::is_any_string(t)) return new_from_value(spec, 0);
    switch (t) {
    case T_CHAR:
    case T_TUPLE: return new_from_value(spec, 0);
    case T_INTEGER: return from_number(uint32_t(cell::get_int(spec)), 4);
    case T_FLOAT:
    case T_PERCENT: return from_number(std::bit_cast<uint64_t>(cell::get_float(spec)), 8);
    case T_ISSUE: return from_issue(spec);
    case T_BITSET: {
        Node n = series::copy_buffer(buffer_of(spec));
        node::buffer(n)->flags &= ~SER_COMPLEMENT;
        cell::make_series(&answer, T_BINARY, n);
        return &answer;
    }
    case T_BINARY:
        cell::make_series(&answer, T_BINARY,
                          series::copy_part(cell::series_node(spec), index_of(spec), length(spec)));
        return &answer;
    }
    bad_to(spec);
}

// ---- form and mold ------------------------------------------------------------

namespace {

int32_t line_break(const Cell* buffer, int32_t level, int32_t limit) {
    limit = datatype::append_text(buffer, "\n", 1, limit);
    return mold::indent(buffer, level, limit);
}

// Two digits a byte; 31 bytes or more go on lines of 32 bytes, indented one
// level deeper than the braces.
int32_t write_hex(Cell* value, Cell* buffer, bool only, bool flat, bool part, int32_t limit,
                  int32_t indent) {
    if (!only) limit = datatype::append_text(buffer, "#{", 2, limit);
    uint32_t n = length(value);
    bool lines = n >= 31 && !flat;
    if (lines) limit = line_break(buffer, indent + 1, limit);
    for (uint32_t i = 0; i < n; i++) {
        limit = datatype::append_text(buffer, string::byte_to_hex(head_address(value)[i]), 2, limit);
        if (!flat && (i + 1) % 32 == 0) limit = line_break(buffer, indent + 1, limit);
        if (part && limit <= 0) return limit;
    }
    if (lines && n % 32 != 0) limit = line_break(buffer, indent, limit);
    if (!only) limit = datatype::append_text(buffer, "}", 1, limit);
    return limit;
}

}  // namespace

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    return write_hex(value, buffer, false, false, part != nullptr, limit, 0);
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    return write_hex(value, buffer, only, flat, part != nullptr, limit, indent);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (cell::type(value2) != T_BINARY) return actions::NOT_COMPARABLE;
    return compare_bytes(value1, value2, op, false);
}

// ---- bitwise ------------------------------------------------------------------

namespace {

enum class Bitwise { AND, OR, XOR };

// Over the common length the bytes combine; the longer operand's rest is kept
// for or~ and xor~ and zeroed for and~.
void bitwise(Bitwise op) {
    Cell* a = stack::arg(0);
    Cell* b = stack::arg(1);
    if (cell::type(b) != T_BINARY) error::raise(Err::script_invalid_arg, b);
    uint32_t la = length(a), lb = length(b);
    uint32_t n = std::max(la, lb), common = std::min(la, lb);
    Node out = series::new_bytes(n);
    SeriesBuffer* ob = node::buffer(out);
    uint8_t* o = series::data(ob);
    const uint8_t* x = head_address(a);
    const uint8_t* y = head_address(b);
    for (uint32_t i = 0; i < common; i++) {
        o[i] = op == Bitwise::AND ? x[i] & y[i] : op == Bitwise::OR ? x[i] | y[i] : x[i] ^ y[i];
    }
    const uint8_t* rest = la > lb ? x : y;
    if (op == Bitwise::AND) std::memset(o + common, 0, n - common);
    else if (n > common) std::memcpy(o + common, rest + common, n - common);
    ob->tail = n;
    cell::make_series(stack::reg.base, T_BINARY, out);
}

}  // namespace

void and_() { bitwise(Bitwise::AND); }
void or_() { bitwise(Bitwise::OR); }
void xor_() { bitwise(Bitwise::XOR); }

const Cell* complement(Cell* value) {
    uint8_t* p = head_address(value);
    for (uint32_t i = 0, n = length(value); i < n; i++) p[i] = uint8_t(~p[i]);
    return value;
}

// ---- append, insert and change ------------------------------------------------

namespace {

uint32_t times(uint32_t count, int32_t dup) {
    uint64_t n = uint64_t(count) * uint32_t(std::max(dup, 1));
    if (n > MAX_BYTES) no_memory();
    return uint32_t(n);
}

// A value whose bytes may come from the buffer they are written into after
// its bytes have moved: a binary on the same node, or a block that may hold it.
bool may_alias(const Cell* series, const Cell* value) {
    uint32_t t = cell::type(value);
    return types::in(types::PLAIN_BLOCK, t) || (t == T_BINARY && cell::series_node(value) == cell::series_node(series));
}

// The value's bytes copied out before the target's bytes move.
Node snapshot(const Cell* value, uint32_t count, int32_t limit, bool only, int32_t mode) {
    Node n = series::new_bytes(count);
    value_to_bytes(series::data(node::buffer(n)), value, limit, only, mode);
    return n;
}

// Writes the count bytes of the value (from the snapshot when one was taken)
// at position bytes from the buffer's head, dup times over.
void write_value(Cell* series, uint32_t position, const Cell* value, Node copied, uint32_t count,
                 int32_t limit, bool only, int32_t mode, int32_t dup) {
    uint8_t* at = series::raw_bytes(buffer_of(series)) + position;
    if (copied) std::memcpy(at, series::data(node::buffer(copied)), count);
    else value_to_bytes(at, value, limit, only, mode);
    if (dup > 1) memory::fill_pattern(at, count, uint32_t(dup));
}

}  // namespace

const Cell* append(Cell* s, Cell* value, int32_t part, bool only, int32_t dup, bool is_append) {
    clip(s);
    uint32_t count = value_to_bytes(nullptr, value, part, only, BYTES_COUNT);
    if (count == 0) return s;
    uint32_t added = times(count, dup);
    const Cell* action = is_append ? words::word(words::W_append) : words::keyword(words::K_insert);
    bool owned = series::announce(s, action, value, cell::series_index(s), int32_t(added));
    if (owned) {  // the handler may have changed either value
        clip(s);
        count = value_to_bytes(nullptr, value, part, only, BYTES_COUNT);
        added = times(count, dup);
    }
    SeriesBuffer* b = buffer_of(s);
    uint32_t used = used_of(b);
    bool at_tail = is_append || uint32_t(cell::series_index(s)) == used;
    uint32_t position = at_tail ? used : cell::series_index(s);
    uint64_t need = uint64_t(b->tail) + added;
    if (need > MAX_BYTES) no_memory();
    b = ensure(b, need, uint64_t(b->size) * 2 >= need ? uint64_t(b->size) * 2 : need);
    Node copied = !at_tail && may_alias(s, value) ? snapshot(value, count, part, only, BYTES_WRITE) : 0;
    b = buffer_of(s);
    uint8_t* at = series::raw_bytes(b) + position;
    std::memmove(at + added, at, used - position);
    write_value(s, position, value, copied, count, part, only, BYTES_WRITE, dup);
    buffer_of(s)->tail += added;
    if (owned) {
        series::announce(s, words::word(is_append ? words::W_appended : words::W_inserted), value,
                         cell::series_index(s), int32_t(added));
    }
    cell::set_series_index(s, is_append ? 0 : (at_tail ? used : cell::series_index(s)) + added);
    return s;
}

const Cell* change(Cell* s, Cell* value, int32_t part, bool only, int32_t dup) {
    clip(s);
    uint32_t count = value_to_bytes(nullptr, value, -1, only, BYTES_FORMED);
    uint32_t added = times(count, dup);
    bool owned = series::announce(s, words::word(words::W_change), value, cell::series_index(s), part);
    if (owned) {
        clip(s);
        count = value_to_bytes(nullptr, value, -1, only, BYTES_FORMED);
        added = times(count, dup);
    }
    SeriesBuffer* b = buffer_of(s);
    uint32_t index = cell::series_index(s);
    uint32_t rest = used_of(b) - index;
    uint32_t replaced = std::min(part >= 0 ? uint32_t(part) : added, rest);
    uint64_t need = uint64_t(b->tail) - replaced + added;
    if (need > MAX_BYTES) no_memory();
    b = ensure(b, need, need);
    Node copied = may_alias(s, value) ? snapshot(value, count, -1, only, BYTES_FORMED) : 0;
    b = buffer_of(s);
    uint8_t* at = series::raw_bytes(b) + index;
    std::memmove(at + added, at + replaced, rest - replaced);
    write_value(s, index, value, copied, count, -1, only, BYTES_FORMED, dup);
    b = buffer_of(s);
    b->tail = b->head + (index + rest - replaced + added);
    if (owned) series::announce(s, words::word(words::W_changed), value, int32_t(index), part);
    cell::set_series_index(s, std::min(index + added, used_of(b)));
    return s;
}

// ---- trim ---------------------------------------------------------------------

namespace {

// Drops every zero byte from the index on.
void remove_zeros(Cell* s) {
    SeriesBuffer* b = buffer_of(s);
    uint8_t* p = series::raw_bytes(b) + cell::series_index(s);
    uint8_t* end = series::tail_ptr(b);
    uint8_t* out = std::remove(p, end, uint8_t(0));
    b->tail -= uint32_t(end - out);
}

void trim_ends(Cell* s, bool head, bool tail) {
    SeriesBuffer* b = buffer_of(s);
    uint8_t* p = series::raw_bytes(b) + cell::series_index(s);
    uint8_t* end = series::tail_ptr(b);
    uint8_t* first = p;
    uint8_t* last = end;
    if (head) while (first < last && *first == 0) first++;
    if (tail) while (last > first && last[-1] == 0) last--;
    std::memmove(p, first, size_t(last - first));
    b->tail -= uint32_t((end - p) - (last - first));
}

}  // namespace

// with removes the bytes of the value through the character trimming of
// string!, which tells the owner itself.
const Cell* trim(Cell* s, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    clip(s);
    if (with) {
        string::trim_chars(s, with);
        return s;
    }
    if (!all && (auto_ || lines)) error::raise(Err::internal_not_done);
    bool owned = series::announce(s, words::word(words::W_trim), nullptr, cell::series_index(s), -1);
    if (owned) clip(s);
    if (all) remove_zeros(s);
    else trim_ends(s, !(tail && !head), !(head && !tail));
    if (owned) series::announce(s, words::word(words::W_trimmed), nullptr, cell::series_index(s), -1);
    return s;
}

// ---- registration -------------------------------------------------------------

void register_type() {
    datatype::register_({
        .id = T_BINARY, .parent = T_STRING, .name = "binary!",
        .make = INHERIT, .random = INHERIT, .reflect = INHERIT, .to = to, .form = form, .mold = mold,
        .eval_path = INHERIT, .compare = compare,
        .and_ = and_, .complement = complement, .or_ = or_, .xor_ = xor_,
        .append = append, .at = INHERIT, .back = INHERIT, .change = change, .clear = INHERIT,
        .copy = INHERIT, .find = INHERIT, .head = INHERIT, .is_head = INHERIT, .is_index = INHERIT,
        .insert = append, .is_length = INHERIT, .move = INHERIT, .next = INHERIT, .pick = INHERIT,
        .poke = INHERIT, .remove = INHERIT, .reverse = INHERIT, .select = INHERIT, .sort = INHERIT,
        .skip = INHERIT, .swap = INHERIT, .tail = INHERIT, .is_tail = INHERIT, .take = INHERIT,
        .trim = trim, .modify = INHERIT,
    });
}

}  // namespace binary
}  // namespace zel
