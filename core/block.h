// block!: the array of value cells that holds code and data alike.
//
// The first half of this header is the toolkit that the whole runtime uses to
// make, read and grow cell series (start-up, the lexer, natives, the other
// any-block modules); the second half is block!'s own action row. Searching,
// sorting and the set operations live in core/block_search.h; navigation and
// the shared series actions are inherited from series! (core/series.h).
//
// A block value is a series cell: w1 the index in cells, w2 the node, w3 the
// hash table of a hash! (unused by block!). Cell pointers answered here are
// good until the block changes size or anything evaluates; keep the value and
// an index across such calls.
#pragma once
#include <cstdint>

#include "kernel/cell.h"
#include "kernel/memory.h"

namespace zel {
namespace block {

// ---- cell access (no checks: callers keep indexes valid unless stated) --------------
inline SeriesBuffer* buffer_of(const Cell* b) { return node::buffer(cell::series_node(b)); }
// The cells a buffer of cells holds (any block or path type): its length
// without the unit lookup.
inline uint32_t cell_count(const SeriesBuffer* b) { return (b->tail - b->head) / uint32_t(sizeof(Cell)); }
// Cells in the buffer, from its head.
inline uint32_t buffer_length(const Cell* b) { return series::length(buffer_of(b)); }
// Cells from the index to the tail (negative when the index lies past it).
inline int32_t get_length(const Cell* b) { return int32_t(buffer_length(b)) - cell::series_index(b); }
// Moves the index one cell on when a cell lies there; answers whether the
// index is now at the tail.
bool step(Cell* b);
// The cell at the index, first clamping an index past the tail to the length.
const Cell* head_cell(Cell* b);
const Cell* tail_cell(const Cell* b);
bool is_at_tail(const Cell* b);
// The cell at an absolute position from the buffer head, to read it, and
// to write it (see series::writable_cells).
inline const Cell* cell_at(const Cell* b, uint32_t position) { return series::cells(buffer_of(b)) + position; }
inline Cell* writable_cell_at(const Cell* b, uint32_t position) {
    return series::writable_cells(buffer_of(b)) + position;
}
// Sets the tail at the value's index (clamped), or at an absolute position.
void clear(const Cell* b);
void truncate_at(const Cell* b, uint32_t position);
// Drops the last cell, when there is one, and clamps the value's index.
void remove_last(Cell* b);

// ---- growing ----------------------------------------------------------------
// Appends a copy of the value at the tail and answers the new cell.
Cell* append_copy(const Cell* b, const Cell* value);
// Where count values can go after the tail of a block! (not a hash!) whose
// index is at its tail without the buffer growing, or null. Values written
// there join the block with take_tail(b, count), which moves the index past
// them; nothing that allocates may run in between.
inline Cell* tail_room(const Cell* b, uint32_t count) {
    SeriesBuffer* buf = buffer_of(b);
    uint32_t length = cell_count(buf);
    if (cell::type(b) == T_HASH || cell::series_index(b) < int32_t(length) ||
        buf->tail + uint64_t(count) * sizeof(Cell) > buf->size)
        return nullptr;
    return series::writable_cells(buf) + length;
}
inline void take_tail(Cell* b, uint32_t count) {
    SeriesBuffer* buf = buffer_of(b);
    buf->tail += count * uint32_t(sizeof(Cell));
    cell::set_series_index(b, int32_t((buf->tail - buf->head) / sizeof(Cell)));
}

// Inserts one value at the index (at the head with at_head), keeping a hash!
// table in step; with advance the index moves past it. Answers the new cell.
// The commonest case (reduce, compose, append at the tail of a block! with
// room left) is one store, inline; the others open a gap (insert_into_gap).
Cell* insert_into_gap(Cell* b, const Cell* value, bool at_head, bool advance);
[[gnu::always_inline]] inline Cell* insert_value(Cell* b, const Cell* value, bool at_head, bool advance) {
    Cell* c = at_head || !advance ? nullptr : tail_room(b, 1);
    if (!c) return insert_into_gap(b, value, at_head, advance);
    take_tail(b, 1);
    *c = *value;
    return c;
}
// A value reduce or compose gives, inserted at the index (which advances)
// without its new-line marker.
[[gnu::always_inline]] inline void insert_unmarked(Cell* b, const Cell* value) {
    cell::clear_flag(insert_value(b, value, false, true));
}
// count such values from cells (which lie in another series), inserted so:
// with room at the tail, stored there in one pass (else one by one, out of
// line).
void insert_each_unmarked(Cell* b, const Cell* cells, uint32_t count);
[[gnu::always_inline]] inline void insert_run_unmarked(Cell* b, const Cell* cells, uint32_t count) {
    Cell* to = tail_room(b, count);
    if (!to) {
        insert_each_unmarked(b, cells, count);
        return;
    }
    for (uint32_t k = 0; k < count; k++) {
        to[k] = cells[k];
        cell::clear_flag(to + k);
    }
    take_tail(b, count);
}

// Makes room for count cells at an absolute position (later cells move up;
// the new cells are left as they were) and answers the first; a hash! table is
// the caller's.
Cell* open_gap(const Cell* b, uint32_t position, uint32_t count);
// Removes count cells at an absolute position (clamped to the tail).
void close_gap(const Cell* b, uint32_t position, uint32_t count);

// ---- lookup -----------------------------------------------------------------
// The cell after the first any-word cell with the word's symbol (exact id with
// case_, else canonical ids), or none.
const Cell* select_word(const Cell* b, const Cell* word, bool case_);

// ---- copying ----------------------------------------------------------------
// Writes into out a copy of the cells of source from its (clamped) index, in a
// new buffer of at least one cell, with the source's type. deep clones nested
// block! values recursively; deep_all also paren! and the path types. A block
// that holds itself raises no-cycle instead of being cloned forever.
// A deep clone given a visit hands it every buffer it makes, its cells copied
// and before the blocks in it are cloned, and sets shared when it keeps a
// block of the source as it is (a hash!, or with deep_all off a paren! or
// path), so that a walk over the copy can be done as it is made.
struct CloneVisit {
    void (*fresh)(CloneVisit* self, Node made, Cell* cells, uint32_t count);
    bool shared = false;
};
void clone(const Cell* source, Cell* out, bool deep, bool deep_all, CloneVisit* visit = nullptr);
// Replaces every step-th cell of [first, first + count) of the block whose type
// is in types (a typeset! or a datatype!) and that is a series, bitset!,
// object!, error! or map! by its own copy (deep passed on).
void copy_by_types(const Cell* b, uint32_t first, uint32_t count, uint32_t step, const Cell* types,
                   bool deep);

// ---- constructors -------------------------------------------------------------
// Turns the cell into an empty block! with room for n cells (1 when n < 1).
Cell* write_cell(Cell* c, int32_t n);
// Appends a new empty block of n cells to a parent any-block or map! (the root
// block when parent is null) and answers it.
Cell* append_new(const Cell* parent, int32_t n);
// Pushes a copy of the block value, or a new empty block of n cells (1 when
// n < 1), on the value stack.
Cell* push(const Cell* b);
Cell* push_new(int32_t n);

// ---- actions of block! --------------------------------------------------------
// find, select, put, sort and eval-path are in core/block_search.h. A cell
// answered by make, to, insert, change, copy or take is good until the next
// call of one of them: copy it at once.
void init();

const Cell* make(Cell* proto, Cell* spec, uint32_t type);
const Cell* to(Cell* proto, Cell* value, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
// The cells from the index, molded with the new-line and indentation rules.
int32_t mold_values(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
                    int32_t limit, int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
int32_t compare_each(Cell* value1, Cell* value2, int32_t op);
// append and insert (the append flag tells them apart).
const Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
const Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
const Cell* copy(Cell* value, Cell* part, bool deep, Cell* types);
const Cell* take(Cell* series, Cell* part, bool deep, bool last);
const Cell* swap(Cell* series1, Cell* series2);
const Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with);

}  // namespace block
}  // namespace zel
