// The temporary-root stack: storage and marking.
#include "kernel/temp_roots.h"

#include "kernel/collector.h"
#include "kernel/runtime.h"

namespace zel {
namespace temp_roots {

Stack stack;

void grow() {
    stack.capacity = stack.capacity ? stack.capacity * 2 : 256;
    stack.entries = static_cast<Entry*>(heap::resize(stack.entries, size_t(stack.capacity) * sizeof(Entry)));
}

void mark() {
    for (uint32_t i = 0; i < stack.count; i++) {
        Entry& e = stack.entries[i];
        if (e.is_node) collector::mark_series(static_cast<Node*>(e.at));
        else collector::mark_cells(static_cast<Cell*>(e.at), static_cast<Cell*>(e.at) + e.cells);
    }
}

}  // namespace temp_roots
}  // namespace zel
