// Memory statistics: a walk over the memory manager's frame lists.
#include "datatypes/memory_stats.h"

#include <vector>

#include "core/block.h"
#include "core/stack.h"
#include "kernel/memory_internal.h"
#include "kernel/runtime.h"

namespace zel {
namespace memory {

namespace {

struct Usage {
    uint64_t free, used, total;
};

// The numbers are read before any block is built: appending may link a new
// series frame into the list being walked.
struct Walk {
    std::vector<Usage> nodes, series;
    std::vector<uint64_t> bigs;
    double in_use = 0;
    double taken = 0;  // page blocks and tracked heap, headers included
};

void walk_frames(Walk& w) {
    for (NodeFrame* f = record.first_node_frame; f; f = f->next) {
        w.nodes.push_back({f->capacity - f->in_use, f->in_use, f->capacity});
        w.in_use += 4.0 * f->in_use;
        w.taken += double(f->block_bytes);
    }
    for (SeriesFrame* f = record.first_series_frame; f; f = f->next) {
        uint64_t used = uint64_t(f->free - f->first), total = uint64_t(f->end - f->first);
        w.series.push_back({total - used, used, total});
        w.in_use += double(used);
        w.taken += double(f->block_bytes);
    }
    for (BigSeries* s = record.first_big; s; s = s->next) {
        w.bigs.push_back(s->block_bytes);
        w.in_use += double(s->block_bytes);
        w.taken += double(s->block_bytes);
    }
}

double heap_total() {
    double total = 0;
    for (heap::Block* b = heap::first(); b; b = b->next) total += double(b->size) + sizeof(heap::Block);
    return total;
}

// A new block of the numbers, pushed while it is filled, then moved into
// the parent with a new-line mark.
template <class Fill>
void append_listing(const Cell* parent, Fill fill) {
    Cell* inner = block::push_new(4);
    fill(inner);
    Cell* added = block::append_copy(parent, inner);
    added->header |= HDR_NEW_LINE;
    stack::pop(1);
}

void append_usage(const Cell* block, const Usage& u) {
    append_listing(block, [&](const Cell* b) {
        for (uint64_t n : {u.free, u.used, u.total}) append_total(b, double(n));
    });
}

void append_list(const Cell* block, const std::vector<Usage>& list) {
    append_listing(block, [&](const Cell* b) {
        for (const Usage& u : list) append_usage(b, u);
    });
}

}  // namespace

void append_total(const Cell* block, double bytes) {
    Cell c;
    if (bytes > 2147483647.0) cell::make_float(&c, bytes);
    else cell::make_integer(&c, int32_t(bytes));
    block::append_copy(block, &c);
}

double frame_usage(const Cell* block, int32_t mode) {
    if (mode == USAGE_WALK) return 0;
    Walk w;
    walk_frames(w);
    if (mode >= USAGE_LIST) {
        double heap = heap_total();
        append_list(block, w.nodes);
        append_list(block, w.series);
        append_listing(block, [&](const Cell* b) {
            for (uint64_t n : w.bigs) append_total(b, double(n));
        });
        append_total(block, w.taken + heap);
        append_total(block, heap);
    }
    return w.in_use;
}

}  // namespace memory
}  // namespace zel
