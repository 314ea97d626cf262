// series!: the abstract datatype whose action row every series type copies
// (block!, paren!, the paths, hash!, the strings, binary!, vector!, image!).
//
// Every routine here works on any unit size (1, 2 or 4 bytes of text, bytes,
// vector elements, 16-byte cells) by shifting unit indexes by log2 of the
// buffer's unit. A series value's index may lie past the tail when another
// value sharing the buffer shortened it; each routine says how it clamps.
//
// The routines that answer a new series (copy, take) answer a cell that is
// good until the next call of either: copy it at once.
#pragma once
#include <cstdint>

#include "kernel/cell.h"
#include "kernel/memory.h"

namespace zel {
namespace series {

// ---- support ------------------------------------------------------------------
inline SeriesBuffer* buffer_of(const Cell* s) { return node::buffer(cell::series_node(s)); }
// Units from the buffer head to the tail (the index is ignored).
inline uint32_t buffer_length(const Cell* s) { return length(buffer_of(s)); }
// Records of step values start at index: the start of the record that holds
// position p (before index too), for backward scans with /skip.
inline int64_t record_start(int64_t p, int64_t index, int64_t step) {
    int64_t offset = p - index;
    return index + (offset >= 0 ? offset / step : -((-offset + step - 1) / step)) * step;
}
// True when the value's position is at or past the tail.
bool is_at_tail(const Cell* s);
// Adds n to the index when the new position is still at or before the tail;
// answers whether the position is now at or past the tail.
bool step(Cell* s, int32_t n);
// The index at and skip compute from the frame's series and offset (at with
// at set, else skip), clamped to the buffer; invalid-arg for a non-integer.
int32_t at_offset(bool at);
// Units from the index (from the head when absolute) to the tail; a negative
// start counts as 0; a start past the tail moves the index to the tail and
// answers 0.
uint32_t get_length(Cell* s, bool absolute);

// The count a /part argument gives: an integer!, or a series of the same type
// on the same buffer (its index less the series index); any other value raises
// invalid-refine-arg naming part.
int32_t part_count(const Cell* s, const Cell* part);

// Announces a change to the owner of the series; answers whether the series
// has one (and so is due the past-tense call after the change).
bool announce(const Cell* s, const Cell* action, const Cell* new_value, int32_t index, int32_t part);

// take's work: units taken from the series into a new series (index 0). With
// carrier and without /part the single unit travels in the module's reusable
// buffer, for callers that unwrap it at once (block! and string! take);
// otherwise in a fresh buffer. none when nothing is left at the position.
const Cell* take_units(Cell* s, Cell* part, bool last, bool carrier);

// ---- actions ------------------------------------------------------------------
void init();

// Seeds the generator from the bytes at the position (/seed), picks one
// element (/only, none when empty), or shuffles the series in place.
const Cell* random(Cell* s, bool seed, bool secure, bool only);
const Cell* reflect(Cell* s, uint32_t field_symbol);
void at();
void back();
const Cell* clear(Cell* s);
const Cell* copy(Cell* s, Cell* part, bool deep, Cell* types);
void head();
void is_head();
void is_index();
int32_t is_length(Cell* s);
const Cell* move(Cell* source, Cell* target, Cell* part);
void next();
const Cell* pick(Cell* s, int32_t n, Cell* index_cell);
const Cell* poke(Cell* s, int32_t n, Cell* index_cell, Cell* value);
const Cell* remove(Cell* s, Cell* part, Cell* key);
const Cell* reverse(Cell* s, Cell* part, Cell* skip);
void skip();
void tail();
void is_tail();
const Cell* take(Cell* s, Cell* part, bool deep, bool last);
// Fields are words, matched as words always are: /case is for ports to use.
const Cell* modify(Cell* s, Cell* field, Cell* value, bool case_ = false);

}  // namespace series
}  // namespace zel
