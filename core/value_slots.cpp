// The value-slot table. Every cell of the block is in use as far as the block
// is concerned (its tail is its capacity); which are free is the list's
// business, so growing only threads the new cells in front of the list.
#include "core/value_slots.h"

#include "kernel/memory.h"

namespace zel {
namespace value_slots {

Node block_node = 0;
static int32_t first_free = -1;

static Cell* cells() { return series::record_cells(node::buffer(block_node)); }

// Appends count cells and threads them, in order, in front of the list.
static void add_free_cells(uint32_t count) {
    SeriesBuffer* b = node::buffer(block_node);
    uint32_t first = series::length(b);
    series::reserve(b, count * uint32_t(sizeof(Cell)));
    Cell* c = cells();
    for (uint32_t i = 0; i < count; i++) {
        int32_t next = i + 1 < count ? int32_t(first + i + 1) : first_free;
        cell::make_integer(c + first + i, next);
    }
    first_free = int32_t(first);
}

void init() {
    block_node = series::new_cells(INITIAL_CAPACITY);
    first_free = -1;
    add_free_cells(INITIAL_CAPACITY);
}

uint32_t add(const Cell* value) {
    Cell copy = *value;  // the value may lie in the table, which may move
    if (first_free < 0) add_free_cells(series::length(node::buffer(block_node)));
    uint32_t index = uint32_t(first_free);
    Cell* slot = cells() + index;
    first_free = cell::get_int(slot);
    *slot = copy;
    return index + 1;
}

Cell* get(uint32_t handle) { return cells() + (handle - 1); }

void free(uint32_t handle) {
    if (handle == 0) return;
    cell::make_integer(get(handle), first_free);
    first_free = int32_t(handle - 1);
}

}  // namespace value_slots
}  // namespace zel
