// series!: navigation, element access and the shared modifying actions of
// every series type, on units of any size.
#include "core/series.h"

#include <algorithm>
#include <cstring>

#include "core/block.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/hashtable.h"
#include "core/murmur.h"
#include "core/ownership.h"
#include "core/raise.h"
#include "core/random.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "datatypes/binary.h"
#include "datatypes/error.h"
#include "datatypes/pair.h"
#include "datatypes/vector.h"
#include "kernel/collector.h"
#include "kernel/temp_roots.h"

namespace zel {
namespace series {

namespace {

// The answer of copy and take; callers copy it at once.
Cell answer;
// take's reusable buffer for one unit (at most a cell), outside the frames.
Node carrier;

void mark_carrier() {
    if (carrier) collector::keep(&carrier);
}

uint32_t shift_of(const Cell* s) { return unit_shift(buffer_of(s)); }
bool is_cells(const Cell* s) { return unit(buffer_of(s)) == 16; }
Node hash_of(const Cell* s) { return cell::type(s) == T_HASH ? cell::series_extra(s) : 0; }

int32_t clamp(int64_t i, uint32_t length) {
    return int32_t(std::clamp<int64_t>(i, 0, length));
}

// A new value of the series' type over a node, index 0 (a vector! keeps its
// element type).
const Cell* answer_for(const Cell* s, Node n) {
    cell::make_series(&answer, cell::type(s), n);
    if (cell::type(s) == T_VECTOR) cell::set_series_extra(&answer, cell::series_extra(s));
    return &answer;
}

// Moves the units after [start, start + count) down over them.
void close_units(const Cell* s, uint32_t start, uint32_t count) {
    SeriesBuffer* b = buffer_of(s);
    uint32_t sh = unit_shift(b), len = length(b);
    if (start >= len) return;
    count = std::min(count, len - start);
    uint8_t* h = writable_bytes(b);
    std::memmove(h + (start << sh), h + ((start + count) << sh), (len - start - count) << sh);
    b->tail -= count << sh;
    if (Node t = hash_of(s)) hashtable::remove_range(t, start, count);
}

// ---- element access -------------------------------------------------------------

// The unit at an absolute position as a value: the cell itself for cell
// series, the vector's element, the byte of a binary!, else the character.
const Cell* element_at(const Cell* s, uint32_t position) {
    static Cell scalar;
    SeriesBuffer* b = buffer_of(s);
    if (unit(b) == 16) return series::cells(b) + position;
    switch (cell::type(s)) {
    case T_VECTOR: {
        static Cell element;
        vector::load_element(&element, head_ptr(b) + (position << unit_shift(b)), cell::series_extra(s), unit(b));
        return &element;
    }
    case T_BINARY: cell::make_integer(&scalar, binary::get_byte(s, position)); return &scalar;
    default: cell::make_char(&scalar, string::char_at(s, position)); return &scalar;
    }
}

// Checks that the value can be stored in the series; raises invalid-arg.
void check_storable(const Cell* s, const Cell* value) {
    uint32_t t = cell::type(value);
    bool ok;
    switch (cell::type(s)) {
    case T_VECTOR: ok = t == cell::series_extra(s); break;
    case T_BINARY:
        if (t == T_INTEGER) binary::byte_of(value);  // a number no byte holds raises here
        ok = t == T_INTEGER || t == T_CHAR;
        break;
    default: ok = is_cells(s) || t == T_CHAR;
    }
    if (!ok) error::raise(Err::script_invalid_arg, value);
}

void store_at(const Cell* s, uint32_t position, const Cell* value) {
    SeriesBuffer* b = buffer_of(s);
    if (unit(b) == 16) {
        Cell* c = series::writable_cells(b) + position;
        Node t = hash_of(s);
        if (t) hashtable::delete_(t, c);
        *c = *value;
        if (t) hashtable::put_value(t, c);
        return;
    }
    uint8_t* p = writable_bytes(b) + (position << unit_shift(b));
    switch (cell::type(s)) {
    case T_VECTOR: vector::write_element(p, value, unit(b)); break;
    case T_BINARY: binary::set_byte(p, value); break;
    default: string::poke_char(b, position, cell::get_char(value));
    }
}

// pick and poke: the absolute position of n from the index (n > 0 counts
// from 1, n < 0 backwards), or -1 when there is none.
int64_t pick_position(const Cell* s, int32_t n) {
    int64_t p = int64_t(cell::series_index(s)) + n - (n > 0 ? 1 : 0);
    if (n == 0 || p < 0 || p >= int64_t(buffer_length(s))) return -1;
    return p;
}

// Swaps two records of bytes, keeping a hash! table in step.
void swap_records(const Cell* s, uint32_t a, uint32_t b, uint32_t size) {
    SeriesBuffer* buf = buffer_of(s);
    uint32_t sh = unit_shift(buf);
    uint8_t* h = writable_bytes(buf);
    Node t = hash_of(s);
    const Cell* cells = series::cells(buf);
    if (t) {
        for (uint32_t i = 0; i < size; i++) {
            hashtable::delete_(t, cells + a + i);
            hashtable::delete_(t, cells + b + i);
        }
    }
    std::swap_ranges(h + (a << sh), h + ((a + size) << sh), h + (b << sh));
    if (t) {
        for (uint32_t i = 0; i < size; i++) {
            hashtable::put_value(t, cells + a + i);
            hashtable::put_value(t, cells + b + i);
        }
    }
}

}  // namespace

// ---- support ------------------------------------------------------------------

bool is_at_tail(const Cell* s) {
    return int64_t(cell::series_index(s)) >= int64_t(buffer_length(s));
}

bool step(Cell* s, int32_t n) {
    int64_t len = buffer_length(s), i = int64_t(cell::series_index(s)) + n;
    if (i <= len) cell::set_series_index(s, uint32_t(i));
    return int64_t(cell::series_index(s)) >= len;
}

int32_t at_offset(bool at) {
    Cell* s = stack::arg(0);
    const Cell* offset = stack::arg(1);
    if (cell::type(offset) != T_INTEGER) error::raise(Err::script_invalid_arg, offset);
    int64_t n = cell::get_int(offset);
    if (at && n > 0) n--;
    return clamp(int64_t(cell::series_index(s)) + n, buffer_length(s));
}

uint32_t get_length(Cell* s, bool absolute) {
    uint32_t len = buffer_length(s);
    int64_t start = absolute ? 0 : std::max(cell::series_index(s), 0);
    if (start > len) {
        cell::set_series_index(s, len);
        return 0;
    }
    return len - uint32_t(start);
}

int32_t part_count(const Cell* s, const Cell* part) {
    if (cell::type(part) == T_INTEGER) return cell::get_int(part);
    if (cell::type(part) != cell::type(s) || cell::series_node(part) != cell::series_node(s))
        error::raise_bad_refine("part", part);
    return int32_t(int64_t(cell::series_index(part)) - cell::series_index(s));
}

bool announce(const Cell* s, const Cell* action, const Cell* new_value, int32_t index, int32_t part) {
    if (!(buffer_of(s)->flags & SER_OWNED)) return false;
    bool owned = ownership::notify(s, action, new_value ? new_value : &statics::none_cell, index, part);
    // The owner's handler may have run the block as code, preparing it again
    // before the write that follows.
    unprepare(buffer_of(s));
    return owned;
}

// ---- navigation -----------------------------------------------------------------

void head() { cell::set_series_index(stack::arg(0), 0); }
void tail() { cell::set_series_index(stack::arg(0), buffer_length(stack::arg(0))); }
void next() { step(stack::arg(0), 1); }
void back() {
    Cell* s = stack::arg(0);
    if (cell::series_index(s) > 0) cell::set_series_index(s, cell::series_index(s) - 1);
}
void at() { cell::set_series_index(stack::arg(0), uint32_t(at_offset(true))); }
void skip() { cell::set_series_index(stack::arg(0), uint32_t(at_offset(false))); }
void is_head() { cell::make_logic(stack::arg(0), cell::series_index(stack::arg(0)) == 0); }
void is_tail() { cell::make_logic(stack::arg(0), is_at_tail(stack::arg(0))); }
void is_index() { cell::make_integer(stack::arg(0), cell::series_index(stack::arg(0)) + 1); }
int32_t is_length(Cell* s) { return int32_t(get_length(s, false)); }

// ---- elements -------------------------------------------------------------------

const Cell* pick(Cell* s, int32_t n, Cell*) {
    int64_t p = pick_position(s, n);
    return p < 0 ? &statics::none_cell : element_at(s, uint32_t(p));
}

const Cell* poke(Cell* s, int32_t n, Cell*, Cell* value) {
    int64_t p = pick_position(s, n);
    if (p < 0) {
        Cell index;
        cell::make_integer(&index, n);
        error::raise(Err::script_out_of_range, &index);
    }
    check_storable(s, value);
    bool owned = announce(s, words::word(words::W_poke), value, int32_t(p), 1);
    // The owner's handler may have shortened the series.
    if (p < int64_t(buffer_length(s))) store_at(s, uint32_t(p), value);
    if (owned) announce(s, words::word(words::W_poked), value, int32_t(p), 1);
    return value;
}

// ---- removing -------------------------------------------------------------------

const Cell* clear(Cell* s) {
    uint32_t len = buffer_length(s);
    int32_t start = std::max(cell::series_index(s), 0);
    if (int64_t(start) >= len) return s;
    uint32_t count = len - uint32_t(start);
    bool owned = announce(s, words::word(words::W_clear), nullptr, start, int32_t(count));
    SeriesBuffer* b = buffer_of(s);
    if (uint32_t(start) < length(b)) {
        if (Node t = hash_of(s)) hashtable::remove_range(t, uint32_t(start), length(b) - uint32_t(start));
        b->tail = b->head + (uint32_t(start) << unit_shift(b));
    }
    if (owned) announce(s, words::word(words::W_cleared), nullptr, start, int32_t(count));
    return s;
}

const Cell* remove(Cell* s, Cell* part, Cell* key) {
    int32_t count = part ? part_count(s, part) : 1;
    if (count < 1) return s;
    Cell at = *s;
    if (key) {
        const Cell* found = actions::find_dispatch(s, key, nullptr, false, true, false, false, nullptr,
                                                   nullptr, false, false, false, false);
        if (cell::type(found) == T_NONE) return &statics::none_cell;
        at = *found;
        count++;
    }
    uint32_t len = buffer_length(&at);
    int32_t start = std::max(cell::series_index(&at), 0);
    if (int64_t(start) < len) {
        count = int32_t(std::min<int64_t>(count, len - uint32_t(start)));
        bool owned = announce(&at, words::keyword(words::K_remove), nullptr, start, count);
        close_units(&at, uint32_t(start), uint32_t(count));
        if (owned) announce(&at, words::word(words::W_removed), nullptr, start, count);
    }
    *s = at;
    return s;
}

const Cell* reverse(Cell* s, Cell* part, Cell* skip) {
    if (is_at_tail(s)) return s;
    int64_t count = part ? part_count(s, part) : int64_t(get_length(s, false));
    if (count < 1) return s;
    uint32_t start = uint32_t(std::max(cell::series_index(s), 0));
    count = std::min<int64_t>(count, buffer_length(s) - start);
    int64_t size = 1;
    if (skip) {
        if (cell::type(skip) != T_INTEGER) error::raise_bad_refine("skip", skip);
        size = cell::get_int(skip);
        if (size == count) return s;
        if (size < 1) error::raise(Err::script_out_of_range, skip);
        if (count < size || count % size) error::raise_bad_refine("skip", skip);
    }
    bool owned = announce(s, words::word(words::W_reverse), nullptr, int32_t(start), int32_t(count));
    count = std::min<int64_t>(count, int64_t(buffer_length(s)) - start);
    count -= count % size;
    for (int64_t lo = start, hi = start + count - size; lo < hi; lo += size, hi -= size)
        swap_records(s, uint32_t(lo), uint32_t(hi), uint32_t(size));
    if (owned) announce(s, words::word(words::W_reversed), nullptr, int32_t(start), int32_t(count));
    return s;
}

// ---- copy and take --------------------------------------------------------------

const Cell* copy(Cell* s, Cell* part, bool, Cell*) {
    uint32_t len = buffer_length(s);
    int64_t index = cell::series_index(s);
    int64_t start = index, count = std::max<int64_t>(int64_t(len) - index, 0);
    if (part) {
        if (cell::type(part) == T_PAIR) {
            int64_t x = int32_t(pair::x_of(part)), y = int32_t(pair::y_of(part));
            start = std::max<int64_t>(index + x - (x < 0 ? 0 : 1), 0);
            count = y < x ? 0 : y - x;
        } else {
            count = part_count(s, part);
        }
    }
    if (count < 0) {
        start += count;
        count = -count;
        if (start < 0) {
            start = 0;
            count = index;
        }
    }
    if (start > len) start = len, count = 0;
    if (start + count > len) count = len - start;
    Node n = copy_part(cell::series_node(s), uint32_t(start) << shift_of(s), uint32_t(count));
    const Cell* result = answer_for(s, n);
    answer.header |= s->header & HDR_NEW_LINE;
    return result;
}

const Cell* take_units(Cell* s, Cell* part, bool last, bool use_carrier) {
    int64_t avail = get_length(s, false);
    if (avail < 1) return &statics::none_cell;
    int64_t index = cell::series_index(s), count = 1;
    bool before = false;
    if (part) {
        int64_t d;
        if (cell::type(part) == T_INTEGER) {
            d = cell::get_int(part);
        } else {
            int64_t p = part_count(s, part) + index;
            d = p < index ? 0 : last ? index + avail - p : p - index;
        }
        before = d < 0;
        if (before) avail = index;
        count = before ? (last ? 0 : -d) : d;
        count = std::min(count, avail);
    }
    uint32_t len = buffer_length(s);
    int64_t start = last ? len - count : before ? index - count : index;
    uint32_t sh = shift_of(s);
    bool carried = use_carrier && !part;
    if (carried && !carrier) carrier = new_fixed(16, 16, 0);
    bool owned = count > 0 && announce(s, words::word(words::W_take), nullptr, int32_t(start), int32_t(count));
    // The owner's handler may have shortened the series.
    count = std::clamp<int64_t>(count, 0, std::max<int64_t>(int64_t(buffer_length(s)) - start, 0));
    Node n;
    if (carried) {
        n = carrier;
        SeriesBuffer* c = node::buffer(n);
        c->flags = (c->flags & ~SER_UNIT_MASK) | unit(buffer_of(s));
        if (count) std::memcpy(data(c), head_ptr(buffer_of(s)) + (start << sh), size_t(count) << sh);
        c->head = 0;
        c->tail = uint32_t(count) << sh;
    } else {
        n = copy_part(cell::series_node(s), uint32_t(start) << sh, uint32_t(count));
    }
    answer_for(s, n);
    Cell taken = answer;
    if (count > 0) close_units(s, uint32_t(start), uint32_t(count));
    // The taken values are indexed before the owner's handler runs, and held
    // while it does: a collection in it would free them.
    if (cell::type(s) == T_HASH && part) cell::set_series_extra(&taken, hashtable::make(uint32_t(count), &taken, 0, 0));
    temp_roots::Hold hold(&taken);
    if (owned) announce(s, words::word(words::W_taken), nullptr, int32_t(start), int32_t(count));
    answer = taken;
    return &answer;
}

const Cell* take(Cell* s, Cell* part, bool, bool last) { return take_units(s, part, last, false); }

// ---- random ---------------------------------------------------------------------

// Seeds from the bytes at the position, picks one element, or shuffles the
// series from its position in place.
const Cell* random(Cell* s, bool seed, bool secure, bool only) {
    uint32_t len = get_length(s, false);
    uint32_t start = buffer_length(s) - len;
    if (seed) {
        uint32_t sh = shift_of(s);
        random::seed(int32_t(hash::murmur3(head_ptr(buffer_of(s)) + (start << sh), int32_t(len << sh))));
        return &statics::unset_cell;
    }
    if (only) {
        if (len < 1) return &statics::none_cell;
        return element_at(s, start + uint32_t(random::in_range(secure, int32_t(len))) - 1);
    }
    bool owned = announce(s, words::word(words::W_random), nullptr, int32_t(start), int32_t(len));
    // The owner's handler may have shortened the series.
    uint32_t end = buffer_length(s);
    for (uint32_t i = start; i < end; i++) {
        int32_t k = random::in_range(secure, int32_t(end - i));
        if (k > 1) swap_records(s, i, i + uint32_t(k) - 1, 1);
    }
    if (owned) announce(s, words::word(words::W_randomized), nullptr, int32_t(start), int32_t(len));
    return s;
}

// ---- move -----------------------------------------------------------------------

namespace {

[[noreturn]] void move_bad(const Cell* a, const Cell* b) {
    Cell ta, tb;
    cell::make_datatype(&ta, cell::type(a));
    cell::make_datatype(&tb, cell::type(b));
    error::raise(Err::script_move_bad, &ta, &tb);
}

void check_movable(const Cell* v, uint32_t argument) {
    if (types::is_series(cell::type(v))) return;
    Cell word = word::intern("move"), type, name = error::argument_word(argument);
    cell::make_datatype(&type, cell::type(v));
    error::raise(Err::script_expect_arg, &word, &type, &name);
}

bool is_packed(const Cell* v) {
    uint32_t t = cell::type(v);
    return t == T_BINARY || t == T_VECTOR || t == T_IMAGE;
}

// Opens count units at position of the series, growing its buffer to twice
// the needed size when full; answers the gap.
uint8_t* open_units(const Cell* s, uint32_t position, uint32_t count) {
    SeriesBuffer* b = buffer_of(s);
    uint32_t sh = unit_shift(b), used = b->tail - b->head;
    uint64_t need = uint64_t(used) + (uint64_t(count) << sh);
    if (b->head + need > b->size) b = expand(b, uint32_t(std::min<uint64_t>(need * 2, 0x7FFFFFF0)));
    uint8_t* p = writable_bytes(b) + (position << sh);
    std::memmove(p + (count << sh), p, used - (position << sh));
    b->tail += count << sh;
    return p;
}

void move_between(const Cell* source, const Cell* target, uint32_t count) {
    uint32_t from = uint32_t(cell::series_index(source));
    uint32_t to = std::min<uint32_t>(uint32_t(std::max(cell::series_index(target), 0)), buffer_length(target));
    uint32_t sh = shift_of(source);
    uint8_t* gap = open_units(target, to, count);
    std::memcpy(gap, head_ptr(buffer_of(source)) + (from << sh), count << sh);
    if (Node t = hash_of(target)) {
        hashtable::shift_positions(t, to, int32_t(count));
        for (uint32_t i = 0; i < count; i++) hashtable::put_value(t, block::cell_at(target, to + i));
    }
    close_units(source, from, count);
}

void move_within(const Cell* s, uint32_t from, uint32_t count, uint32_t to) {
    if (to >= from && to <= from + count) return;
    uint8_t* h = writable_bytes(buffer_of(s));
    uint32_t sh = shift_of(s), lo = std::min(from, to), hi = std::max(from + count, to);
    if (to > from) std::rotate(h + (from << sh), h + ((from + count) << sh), h + (to << sh));
    else std::rotate(h + (to << sh), h + (from << sh), h + ((from + count) << sh));
    if (Node t = hash_of(s)) {
        hashtable::remove_range(t, lo, hi - lo);
        hashtable::shift_positions(t, lo, int32_t(hi - lo));
        for (uint32_t i = lo; i < hi; i++) hashtable::put_value(t, block::cell_at(s, i));
    }
}

}  // namespace

const Cell* move(Cell* source, Cell* target, Cell* part) {
    check_movable(source, 0);
    check_movable(target, 1);
    if (is_at_tail(source)) return target;
    int64_t count = 1;
    if (part) {
        if (cell::type(part) != T_INTEGER) error::raise_bad_refine("part", part);
        count = cell::get_int(part);
        if (count < 1) return target;
    }
    count = std::min<int64_t>(count, get_length(source, false));
    bool same = cell::series_node(source) == cell::series_node(target);
    if (!same) {
        if (is_cells(source) != is_cells(target)) move_bad(source, target);
        if (unit(buffer_of(source)) != unit(buffer_of(target)) && (is_packed(source) || is_packed(target)))
            move_bad(source, target);
    }
    int32_t from = cell::series_index(source);
    bool owned = announce(source, words::word(words::W_move), nullptr, from, int32_t(count));
    count = std::min<int64_t>(count, get_length(source, false));
    if (same) {
        uint32_t to = std::min<uint32_t>(uint32_t(std::max(cell::series_index(target), 0)), buffer_length(target));
        move_within(source, uint32_t(from), uint32_t(count), to);
    } else if (unit(buffer_of(source)) == unit(buffer_of(target))) {
        move_between(source, target, uint32_t(count));
    } else {
        string::move_chars(source, target, uint32_t(count) << shift_of(source));
    }
    if (owned) announce(source, words::word(words::W_moved), nullptr, from, int32_t(count));
    return target;
}

// ---- ownership ----------------------------------------------------------------

const Cell* reflect(Cell* s, uint32_t field_symbol) {
    if (symbol::resolve(field_symbol) != symbol::resolve(words::symbol(words::S_owned)))
        error::raise(Err::internal_not_done);
    const Cell* owner = ownership::owner_of(cell::series_node(s));
    return owner ? owner : &statics::none_cell;
}

const Cell* modify(Cell* s, Cell* field, Cell* value, bool) {
    if (symbol::resolve(cell::word_symbol(field)) != symbol::resolve(words::symbol(words::S_owned)))
        error::raise(Err::internal_not_done);
    if (cell::type(value) == T_NONE) {
        ownership::release(s);
    } else if (cell::type(value) == T_BLOCK && block::get_length(value) >= 2) {
        Cell owner = *block::head_cell(value), word = block::head_cell(value)[1];
        ownership::assign(s, &owner, &word);
    }
    return value;
}

// ---- registration ---------------------------------------------------------------

void init() {
    static bool registered;
    if (!registered) collector::register_(mark_carrier);
    registered = true;
    datatype::register_({.id = T_SERIES, .parent = 0, .name = "series!", .random = random,
                         .reflect = reflect, .at = at,
                         .back = back, .clear = clear, .copy = copy, .head = head, .is_head = is_head,
                         .is_index = is_index, .is_length = is_length, .move = move, .next = next,
                         .pick = pick, .poke = poke, .remove = remove, .reverse = reverse, .skip = skip,
                         .tail = tail, .is_tail = is_tail, .take = take, .modify = modify});
}

}  // namespace series
}  // namespace zel
