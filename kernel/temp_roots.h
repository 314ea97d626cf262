// The temporary-root stack: values that C++ code holds across an evaluation.
//
// A safe point may collect, and a collection frees every series that no root
// reaches and may move nodes to other node frames. C++ code that keeps a value
// in a local across a call that evaluates code roots it for that time:
//
//     Cell result = ...;
//     temp_roots::Hold hold(&result);
//     evaluate(...);   // result's series survives; its node may be rewritten
//
// An entry names the caller's own storage (a cell, a run of cells or a node
// variable), not a copy, so the collector rewrites a forwarded node in place.
// Entries leave in the order they came, at the end of the holding scope, on
// every path out of it (exceptions included).
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace temp_roots {

struct Entry {
    void* at;        // the first cell, or the node variable
    uint32_t cells;  // cells from `at` on; unused for a node
    bool is_node;
};

struct Stack {
    Entry* entries;  // tracked array, grown by doubling
    uint32_t count;
    uint32_t capacity;
};
extern Stack stack;

void grow();

inline uint32_t push(void* at, uint32_t cells, bool is_node) {
    if (stack.count == stack.capacity) grow();
    stack.entries[stack.count] = Entry{at, cells, is_node};
    return stack.count++;
}

// Marks every entry; called by the collector while it marks its roots.
void mark();

// Roots a cell, a run of cells or a node variable for the life of the scope.
class Hold {
public:
    explicit Hold(Cell* value) : index_(push(value, 1, false)) {}
    Hold(Cell* first, uint32_t count) : index_(push(first, count, false)) {}
    explicit Hold(Node* series) : index_(push(series, 0, true)) {}
    ~Hold() { stack.count = index_; }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    uint32_t index_;
};

}  // namespace temp_roots
}  // namespace zel
