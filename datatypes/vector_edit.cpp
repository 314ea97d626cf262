// vector!: append, insert and change.
//
// Every new value is checked before anything moves: it must be an element
// type (else invalid-type) and the vector's own element type (else
// invalid-arg), so no bits land at the wrong width and a refused edit leaves
// the vector as it was. An owner's handler runs before the change and may
// alter the vector or the source, so the checks run again after it.
#include <algorithm>
#include <cstring>

#include "core/block.h"
#include "core/integer.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/series.h"
#include "core/support.h"
#include "core/type_groups.h"
#include "datatypes/vector.h"
#include "datatypes/vector_internal.h"

namespace zel {
namespace vector {

namespace {

// Where the new elements come from: the values of a block from its index,
// the elements of another vector, or one value.
struct Source {
    enum Kind { ONE, CELLS, ELEMENTS } kind;
    Cell value;
    uint32_t count;
};

bool splices(uint32_t t, bool paths) {
    return types::in(paths ? types::ANY_BLOCK : types::PLAIN_BLOCK, t);
}

// A positive limit caps the values a block gives.
Source source_of(const Cell* value, int32_t limit, bool changing) {
    uint32_t t = cell::type(value);
    if (splices(t, changing)) {
        uint32_t n = uint32_t(std::max(block::get_length(value), 0));
        if (limit > 0) n = std::min(n, uint32_t(limit));
        return {Source::CELLS, *value, n};
    }
    if (changing && t == T_VECTOR) return {Source::ELEMENTS, *value, length(value)};
    return {Source::ONE, *value, 1};
}

const Cell* value_at(const Source& s, uint32_t i, Cell* scratch) {
    switch (s.kind) {
    case Source::CELLS: return block::cell_at(&s.value, uint32_t(cell::series_index(&s.value)) + i);
    case Source::ELEMENTS:
        load_element(scratch, element_address(&s.value, i), cell::series_extra(&s.value), width(&s.value));
        return scratch;
    case Source::ONE: break;
    }
    return &s.value;
}

void check(const Cell* v, const Source& s) {
    Cell scratch;
    for (uint32_t i = 0; i < s.count; i++) {
        const Cell* value = value_at(s, i, &scratch);
        if (!is_element_type(cell::type(value))) number::raise_invalid_type(value);
        if (cell::type(value) != cell::series_extra(v)) error::raise(Err::script_invalid_arg, value);
    }
}

// Elements written: the source's count times dup.
uint32_t times(const Cell* v, uint32_t count, int32_t dup) {
    uint64_t n = uint64_t(count) * uint32_t(std::max(dup, 1));
    if (n * width(v) > MAX_BYTES) no_memory();
    return uint32_t(n);
}

// A source on the vector's own buffer is copied aside before the elements
// move under it.
void detach(const Cell* v, Source& s) {
    if (s.kind != Source::ELEMENTS || cell::series_node(&s.value) != cell::series_node(v)) return;
    SeriesBuffer* b = buffer_of(&s.value);
    Node copy = series::copy_part(cell::series_node(&s.value), index_of(&s.value) << series::unit_shift(b), s.count);
    cell::set_series_index(&s.value, 0);
    cell::set_series_node(&s.value, copy);
}

// Writes the source's elements at the position, dup times over.
void write_source(const Cell* v, uint32_t position, const Source& s, int32_t dup) {
    uint32_t w = width(v);
    uint8_t* at = address_at(v, position);
    Cell scratch;
    for (uint32_t i = 0; i < s.count; i++) write_element(at + size_t(i) * w, value_at(s, i, &scratch), w);
    if (dup > 1 && s.count > 0) memory::fill_pattern(at, s.count * w, uint32_t(dup));
}

// Opens room for added elements at the position, moving removed ones out.
void make_room(const Cell* v, uint32_t position, uint32_t removed, uint32_t added, bool doubling) {
    SeriesBuffer* b = buffer_of(v);
    uint32_t sh = series::unit_shift(b), used = series::length(b);
    uint64_t need = uint64_t(b->tail) + (uint64_t(added) << sh) - (uint64_t(removed) << sh);
    uint64_t doubled = uint64_t(b->size) * 2;
    b = ensure(b, need, doubling && doubled >= need ? doubled : need);
    uint8_t* at = series::raw_bytes(b) + (size_t(position) << sh);
    std::memmove(at + (size_t(added) << sh), at + (size_t(removed) << sh), size_t(used - position - removed) << sh);
    b->tail = uint32_t(b->head + ((uint64_t(used) - removed + added) << sh));
}

}  // namespace

const Cell* insert(Cell* s, Cell* value, int32_t part, bool, int32_t dup, bool append) {
    clip(s);
    Source src = source_of(value, part, false);
    check(s, src);
    if (src.count == 0) return s;
    uint32_t added = times(s, src.count, dup);
    const Cell* action = append ? words::word(words::W_append) : words::keyword(words::K_insert);
    uint32_t position = append ? series::length(buffer_of(s)) : cell::series_index(s);
    bool owned = series::announce(s, action, value, int32_t(position), int32_t(added));
    if (owned) {
        clip(s);
        src = source_of(value, part, false);
        check(s, src);
        added = times(s, src.count, dup);
        position = append ? series::length(buffer_of(s)) : cell::series_index(s);
    }
    make_room(s, position, 0, added, true);
    write_source(s, position, src, dup);
    if (owned) {
        series::announce(s, words::word(append ? words::W_appended : words::W_inserted), value,
                         int32_t(position), int32_t(added));
    }
    if (!append) cell::set_series_index(s, position + added);
    return s;
}

const Cell* change(Cell* s, Cell* value, int32_t part, bool, int32_t dup) {
    clip(s);
    Source src = source_of(value, -1, true);
    check(s, src);
    uint32_t written = times(s, src.count, dup);
    bool owned = series::announce(s, words::word(words::W_change), value, cell::series_index(s), part);
    if (owned) {
        clip(s);
        src = source_of(value, -1, true);
        check(s, src);
        written = times(s, src.count, dup);
    }
    uint32_t index = cell::series_index(s), rest = series::length(buffer_of(s)) - index;
    uint32_t replaced = std::min(part >= 0 ? uint32_t(part) : written, rest);
    detach(s, src);
    make_room(s, index, replaced, written, false);
    write_source(s, index, src, dup);
    if (owned) series::announce(s, words::word(words::W_changed), value, int32_t(index), part);
    cell::set_series_index(s, std::min(index + written, series::length(buffer_of(s))));
    return s;
}

}  // namespace vector
}  // namespace zel
