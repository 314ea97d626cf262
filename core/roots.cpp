// The root block: one block of permanent values, grown as values are kept.
#include "core/roots.h"

#include "kernel/memory.h"

namespace zel {
namespace roots {

Node block_node = 0;

void init(uint32_t n) { block_node = series::new_cells(n); }

uint32_t keep(const Cell* value) {
    Cell copy = *value;  // the value may lie in the root block, which may move
    SeriesBuffer* b = node::buffer(block_node);
    uint32_t index = series::length(b);
    *series::append_slot(b) = copy;
    return index;
}

Cell* at(uint32_t index) { return series::record_cells(node::buffer(block_node)) + index; }

}  // namespace roots
}  // namespace zel
