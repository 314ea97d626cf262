// The memory manager's frames, laid open for the collector: node frames with
// their free lists and usage history, series frames walked buffer by buffer,
// big series, and the release steps that end a collection.
//
// Every buffer header sits at an address 4 past a multiple of 8, so that its data
// area (header + 20) is 8-aligned; a buffer occupies header + size + spare word,
// and since size is a multiple of 16 the next buffer keeps the alignment.
#pragma once
#include <cstddef>
#include <cstdint>

#include "kernel/memory.h"

namespace zel {

// A page block of NODE_FRAME_NODES nodes. A node in use holds its buffer's
// address; a free node holds null and is either chained through next_free
// (once released) or at or past fresh (never taken): a new frame writes no
// chain, so the pages of next_free are touched only by releases.
struct NodeFrame {
    NodeFrame* prev;
    NodeFrame* next;
    size_t block_bytes;       // the page block, this header included
    uint32_t capacity;        // NODE_FRAME_NODES
    uint32_t first_free;      // slot number + 1 of the first released free node, 0 for none
    uint32_t fresh;           // slots from this one on were never taken
    uint32_t in_use;          // nodes in use
    uint32_t cycle;           // collector cycle when the frame was made
    uint32_t in_use_at_last;  // nodes in use at the last collection
    uint32_t history;         // one bit per collection, 1 when the count did not change
    uint32_t release;         // set by the collector when it evacuates the frame
    uint32_t index;           // its nodes are index * NODE_FRAME_NODES + 1 onwards
    SeriesBuffer* slots[NODE_FRAME_NODES];
    uint32_t next_free[NODE_FRAME_NODES];  // slot number + 1 of the next free node
};

// A page block of buffers laid back to back from first to free.
struct SeriesFrame {
    SeriesFrame* prev;
    SeriesFrame* next;
    size_t block_bytes;  // the page block, this header included
    uint8_t* first;      // header of the first buffer
    uint8_t* free;       // where the next buffer goes
    uint8_t* end;        // just past the last usable byte
};

// A page block holding a single buffer that never moves.
struct BigSeries {
    BigSeries* next;
    BigSeries* prev;
    size_t block_bytes;
};

namespace node {
inline Node of_slot(const NodeFrame* f, uint32_t i) { return f->index * NODE_FRAME_NODES + i + 1; }
// The frame that holds node n, or null when n names no live frame.
NodeFrame* frame_of(Node n);
}  // namespace node

namespace memory {

// Byte offset of the buffer header in a block whose own header is head_bytes.
constexpr size_t buffer_offset(size_t head_bytes) { return ((head_bytes + 20 + 7) & ~size_t(7)) - 20; }

inline SeriesBuffer* first_buffer(SeriesFrame* f) { return reinterpret_cast<SeriesBuffer*>(f->first); }
inline SeriesBuffer* next_buffer(SeriesBuffer* b) {
    return reinterpret_cast<SeriesBuffer*>(series::data(b) + b->size + 4);
}
// True while b lies before the frame's free pointer.
inline bool in_frame(SeriesFrame* f, SeriesBuffer* b) { return reinterpret_cast<uint8_t*>(b) < f->free; }
inline SeriesBuffer* big_buffer(BigSeries* s) {
    return reinterpret_cast<SeriesBuffer*>(reinterpret_cast<uint8_t*>(s) + buffer_offset(sizeof(BigSeries)));
}

// Page blocks: no-memory when the system refuses, wrong-mem when it will not
// take a block back.
void* take_pages(size_t bytes, bool huge = false);
void release_pages(void* block, size_t bytes);

// A new series frame of the next frame size, linked in address order.
SeriesFrame* new_series_frame();
// Links a frame into the list, which stays ordered by address.
void link_series_frame(SeriesFrame* f);
// Unlinks a series frame and gives its pages back; the pages of the last one
// are kept for the next frame of their size (not counted in the total).
void free_series_frame(SeriesFrame* f);
// Gives those kept pages back.
void drop_spare();

// The release steps after a collection (compaction has cleared the marks of
// the frame buffers):
// node frames with the release flag, and those with no node in use beyond a
// few kept for reuse, go back to the system; the others update their history,
// the first with a free node becomes current;
void release_node_frames();
// series frames that hold no buffer, beyond a few kept for reuse, go back to
// the system; answers the bytes of the empty frames kept;
uint64_t release_series_frames();
// marked big series lose their mark, the others their node and their pages.
void sweep_big_series();

}  // namespace memory
}  // namespace zel
