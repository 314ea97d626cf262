// Memory manager: nodes, series frames and series buffers.
//
// Buffers are carved from series frames by bumping the frame's free pointer;
// when the current frame is full the frames are searched in address order, and
// when none has room a new frame is taken and a collection is asked for at the
// next safe point (an allocation never collects by itself). Requests of the
// big-series threshold or more get page blocks of their own.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "kernel/fail.h"
#include "kernel/memory.h"
#include "kernel/memory_internal.h"
#include "kernel/runtime.h"
#include "platform/pages.h"

namespace zel {

namespace node {
SeriesBuffer** frame_slots[MAX_NODE_FRAMES];
uint64_t epoch = 1;
SeriesBuffer** flat;
}

namespace memory {

Record record;

static size_t whole_pages(size_t bytes) { return (bytes + PAGE_SIZE - 1) & ~size_t(PAGE_SIZE - 1); }

void* take_pages(size_t bytes, bool huge) {
    void* block = pages::take(bytes, huge);
    if (!block) fail::internal("no-memory");
    record.total += whole_pages(bytes);
    return block;
}

void release_pages(void* block, size_t bytes) {
    record.total -= whole_pages(bytes);
    if (!pages::give_back(block, bytes)) fail::internal("wrong-mem");
}

void init() {
    if (record.ready) return;
    record = Record{};
    clear_collect_request();
    record.first_frame_size = FIRST_SERIES_FRAME;
    record.next_frame_size = FIRST_SERIES_FRAME;
    record.threshold = BIG_SERIES_THRESHOLD;
    record.ready = true;
}

}  // namespace memory

// ---- nodes ----------------------------------------------------------------

namespace node {

static NodeFrame* frame_of_slots(SeriesBuffer** slots) {
    return reinterpret_cast<NodeFrame*>(reinterpret_cast<uint8_t*>(slots) - offsetof(NodeFrame, slots));
}

NodeFrame* frame_of(Node n) {
    if (n == 0) return nullptr;
    uint32_t index = (n - 1) / NODE_FRAME_NODES;
    if (index >= MAX_NODE_FRAMES || !frame_slots[index]) return nullptr;
    return frame_of_slots(frame_slots[index]);
}

// The flat table covers the nodes of this many frames (and node 0).
static uint32_t flat_frames;

static size_t flat_bytes(uint32_t frames) { return (size_t(frames) * NODE_FRAME_NODES + 1) * sizeof(SeriesBuffer*); }

// Grows the flat table to cover frame index, doubling; the old table's
// entries are copied, so it keeps mirroring every frame.
static void cover(uint32_t index) {
    if (index < flat_frames) return;
    uint32_t frames = flat_frames ? flat_frames : 4;
    while (frames <= index) frames *= 2;
    frames = std::min(frames, MAX_NODE_FRAMES);
    SeriesBuffer** grown = static_cast<SeriesBuffer**>(pages::take(flat_bytes(frames)));
    if (!grown) fail::internal("no-memory");
    if (flat) {
        std::memcpy(grown, flat, flat_bytes(flat_frames));
        if (!pages::give_back(flat, flat_bytes(flat_frames))) fail::internal("wrong-mem");
    }
    flat = grown;
    flat_frames = frames;
}

// Frame indexes are taken lowest first, so those ever taken are those below
// this mark; the flat table's entries of the others were never written and
// are still the zeroes of fresh pages.
static uint32_t indexes_taken;

static uint32_t free_index() {
    for (uint32_t i = 0; i < MAX_NODE_FRAMES; i++)
        if (!frame_slots[i]) return i;
    fail::internal("no-memory");
}

static NodeFrame* new_frame() {
    memory::Record& r = memory::record;
    uint32_t index = free_index();
    cover(index);
    if (index < indexes_taken) {  // a frame once at this index may have left its nodes there
        std::memset(flat + size_t(index) * NODE_FRAME_NODES + 1, 0, NODE_FRAME_NODES * sizeof(SeriesBuffer*));
    } else {
        indexes_taken = index + 1;
    }
    NodeFrame* f = static_cast<NodeFrame*>(memory::take_pages(sizeof(NodeFrame)));
    r.node_bytes += memory::whole_pages(sizeof(NodeFrame));
    f->block_bytes = sizeof(NodeFrame);
    f->capacity = NODE_FRAME_NODES;
    f->cycle = r.cycle;
    f->index = index;
    f->first_free = 0;
    f->fresh = 0;
    f->prev = r.last_node_frame;
    if (r.last_node_frame) r.last_node_frame->next = f;
    else r.first_node_frame = f;
    r.last_node_frame = f;
    frame_slots[index] = f->slots;
    return f;
}

static bool has_room(const NodeFrame* f) { return f->first_free || f->fresh < f->capacity; }

static NodeFrame* frame_with_room() {
    for (NodeFrame* f = memory::record.first_node_frame; f; f = f->next)
        if (has_room(f) && !f->release) return f;
    return new_frame();
}

// A free node's entries are null already: a new frame's slots are fresh
// pages and its flat entries cleared (new_frame), and release clears both;
// every caller gives the node its buffer at once.
static NodeFrame* take_slot(uint32_t* slot) {
    NodeFrame* f = memory::record.current_node_frame;
    if (!f || !has_room(f)) f = memory::record.current_node_frame = frame_with_room();
    uint32_t i;
    if (f->first_free) {
        i = f->first_free - 1;
        f->first_free = f->next_free[i];
    } else {
        i = f->fresh++;
    }
    f->in_use++;
    *slot = i;
    return f;
}

Node take() {
    uint32_t i;
    NodeFrame* f = take_slot(&i);
    return of_slot(f, i);
}

// set_fresh through the frame at hand, without finding it from the number.
static Node take_for(SeriesBuffer* b) {
    uint32_t i;
    NodeFrame* f = take_slot(&i);
    Node n = of_slot(f, i);
    f->slots[i] = b;
    flat[n] = b;
    return n;
}

void release(Node n) {
    NodeFrame* f = frame_of(n);
    uint32_t i = (n - 1) % NODE_FRAME_NODES;
    set(n, nullptr);
    f->next_free[i] = f->first_free;
    f->first_free = i + 1;
    f->in_use--;
}

}  // namespace node

// ---- frames and big series -----------------------------------------------

namespace memory {

// The pages of the last series frame given back, kept for the next frame of
// their size: a program that makes and drops many short-lived series empties
// a frame at every collection and needs a new one soon after, and fresh pages
// would be faulted in one by one again. They are not counted as in use.
struct SparePages {
    void* block;
    size_t bytes;
};
static SparePages spare;

static void* take_frame_pages(size_t bytes) {
    if (!spare.block || spare.bytes != bytes) return take_pages(bytes, true);
    void* block = spare.block;
    spare = SparePages{};
    record.total += whole_pages(bytes);
    return block;
}

static void give_back_frame_pages(void* block, size_t bytes) {
    if (spare.block) {
        release_pages(block, bytes);
        return;
    }
    record.total -= whole_pages(bytes);
    spare = SparePages{block, bytes};
}

void drop_spare() {
    if (spare.block && !pages::give_back(spare.block, spare.bytes)) fail::internal("wrong-mem");
    spare = SparePages{};
}

SeriesFrame* new_series_frame() {
    uint32_t size = record.next_frame_size;
    if (size < record.threshold) record.next_frame_size = std::min(size * 2, record.threshold);
    size_t offset = buffer_offset(sizeof(SeriesFrame));
    size_t bytes = offset + size;
    SeriesFrame* f = static_cast<SeriesFrame*>(take_frame_pages(bytes));
    f->block_bytes = bytes;
    f->first = f->free = reinterpret_cast<uint8_t*>(f) + offset;
    f->end = f->first + size;
    link_series_frame(f);
    return f;
}

void link_series_frame(SeriesFrame* f) {
    SeriesFrame* after = record.first_series_frame;
    while (after && after < f) after = after->next;
    f->next = after;
    f->prev = after ? after->prev : record.last_series_frame;
    if (f->prev) f->prev->next = f;
    else record.first_series_frame = f;
    if (after) after->prev = f;
    else record.last_series_frame = f;
}

void free_series_frame(SeriesFrame* f) {
    if (f->prev) f->prev->next = f->next;
    else record.first_series_frame = f->next;
    if (f->next) f->next->prev = f->prev;
    else record.last_series_frame = f->prev;
    if (record.current_series_frame == f) record.current_series_frame = record.last_series_frame;
    give_back_frame_pages(f, f->block_bytes);
}

static void free_node_frame(NodeFrame* f) {
    if (f->prev) f->prev->next = f->next;
    else record.first_node_frame = f->next;
    if (f->next) f->next->prev = f->prev;
    else record.last_node_frame = f->prev;
    if (record.current_node_frame == f) record.current_node_frame = record.last_node_frame;
    node::frame_slots[f->index] = nullptr;
    record.node_bytes -= whole_pages(sizeof(NodeFrame));
    release_pages(f, f->block_bytes);
}

static void free_big(BigSeries* s) {
    if (s->prev) s->prev->next = s->next;
    else record.first_big = s->next;
    if (s->next) s->next->prev = s->prev;
    release_pages(s, s->block_bytes);
}

void make_first_frames() {
    init();
    if (!record.first_node_frame) record.current_node_frame = node::new_frame();
    if (!record.first_series_frame) record.current_series_frame = new_series_frame();
}

void free_all() {
    while (record.first_big) free_big(record.first_big);
    while (record.first_series_frame) free_series_frame(record.first_series_frame);
    while (record.first_node_frame) free_node_frame(record.first_node_frame);
    drop_spare();
    record = Record{};
    clear_collect_request();
}

// Empty frames a collection keeps for the allocations after it. A program
// that drops what it makes empties the same frames at every collection and
// fills them again right after; giving them back to the system and mapping
// them anew cost a pair of system calls, the pages' faults and, with the
// evaluator on a thread of its own, a flush of every processor's address
// cache per frame: a third of the run time of a loop building small blocks.
// A collection keeps as many empty frames as it leaves in use, and at least
// a few; the collector's pacing counts the kept series frames as growth
// already made (release_series_frames answers their bytes), so what a
// program may grow between collections is what it was without them.
constexpr uint32_t KEPT_EMPTY_NODE_FRAMES = 8;    // about 1 MB
constexpr uint32_t KEPT_EMPTY_SERIES_FRAMES = 2;  // up to 4 MB

void release_node_frames() {
    uint32_t used = 0;
    for (NodeFrame* f = record.first_node_frame; f; f = f->next) used += f->in_use != 0 && !f->release;
    uint32_t keep = std::max(KEPT_EMPTY_NODE_FRAMES, used), kept = 0;
    NodeFrame* f = record.first_node_frame;
    while (f) {
        NodeFrame* next = f->next;
        if (f->release || (f->in_use == 0 && ++kept > keep)) free_node_frame(f);
        f = next;
    }
    record.current_node_frame = nullptr;
    for (f = record.first_node_frame; f; f = f->next) {
        if (!record.current_node_frame && node::has_room(f)) record.current_node_frame = f;
        f->history = (f->history << 1) | (f->in_use == f->in_use_at_last ? 1u : 0u);
        f->in_use_at_last = f->in_use;
    }
    if (!record.current_node_frame) record.current_node_frame = record.last_node_frame;
}

uint64_t release_series_frames() {
    uint32_t used = 0;
    for (SeriesFrame* f = record.first_series_frame; f; f = f->next) used += f->free != f->first;
    uint32_t keep = std::max(KEPT_EMPTY_SERIES_FRAMES, used / 2), kept = 0;
    uint64_t kept_bytes = 0;
    SeriesFrame* f = record.first_series_frame;
    while (f) {
        SeriesFrame* next = f->next;
        if (f->free == f->first) {
            if (++kept > keep) free_series_frame(f);
            else kept_bytes += whole_pages(f->block_bytes);
        }
        f = next;
    }
    return kept_bytes;
}

void sweep_big_series() {
    BigSeries* s = record.first_big;
    while (s) {
        BigSeries* next = s->next;
        SeriesBuffer* b = big_buffer(s);
        if (b->flags & SER_MARK) {
            b->flags &= ~SER_MARK;
        } else {
            if ((b->flags & SER_IN_USE) && b->node) node::release(b->node);
            free_big(s);
        }
        s = next;
    }
}

// Growth is the series frames' and big series': a node frame (10,000 nodes)
// is small next to them, and counted it would tip the pacing by a step
// that follows the sizes of the blocks a program drops.
void note_growth() {
    uint64_t now = record.total - record.node_bytes, then = record.total_collected - record.node_collected;
    uint64_t grown = now > then ? now - then : 0;
    if (grown >= std::max<uint64_t>(record.threshold, record.total_collected / 2)) request_collection();
}

static bool fits(const SeriesFrame* f, uint32_t need) { return f->free + need < f->end; }

// A frame for a request of need bytes: the current one, the first in address
// order with room, or a new one when none has room or the one found is nearly
// full (a nearly full frame would send every later request back to the search).
// Every new frame counts as growth: were only an empty search to ask for a
// collection, a run of nearly full frames would keep adding frames and never
// collect.
// Out of line, so that the common case below saves no registers for it.
[[gnu::noinline]] static SeriesFrame* search_frames(uint32_t need) {
    SeriesFrame* f;
    for (f = record.first_series_frame; f && !fits(f, need); f = f->next) {}
    if (!f || uint32_t(f->end - f->free) < MIN_FRAME_FREE) {
        if (need >= record.next_frame_size) record.next_frame_size = record.threshold;
        f = new_series_frame();
        note_growth();
    }
    record.current_series_frame = f;
    return f;
}

static SeriesFrame* frame_for(uint32_t need) {
    SeriesFrame* f = record.current_series_frame;
    return f && fits(f, need) ? f : search_frames(need);
}

static SeriesBuffer* carve(uint32_t need) {
    SeriesFrame* f = frame_for(need);
    SeriesBuffer* b = reinterpret_cast<SeriesBuffer*>(f->free);
    f->free += need;
    return b;
}

// Big series count as growth too: their pages go back only when a collection
// finds them dead.
[[gnu::noinline]] static SeriesBuffer* carve_big(uint32_t need) {
    size_t bytes = buffer_offset(sizeof(BigSeries)) + need;
    BigSeries* s = static_cast<BigSeries*>(take_pages(bytes));
    s->block_bytes = bytes;
    s->next = record.first_big;
    if (s->next) s->next->prev = s;
    record.first_big = s;
    note_growth();
    return big_buffer(s);
}

}  // namespace memory

// ---- buffers ----------------------------------------------------------------

namespace series {

static uint32_t checked_size(uint64_t bytes) {
    if (bytes > memory::MAX_DATA) fail::internal("no-memory");
    return uint32_t((bytes + 15) & ~uint64_t(15));
}

// Head offset -1 places head and tail in the middle, on a unit boundary.
static void place_head(SeriesBuffer* b, uint32_t unit, int32_t head_offset) {
    uint32_t offset;
    if (head_offset < 0) {
        offset = b->size / 2 / unit * unit;
        b->flags |= SER_MID_HEAD;
    } else {
        offset = std::min(uint32_t(head_offset), b->size);
    }
    b->head = b->tail = offset;
}

SeriesBuffer* alloc_buffer(uint32_t units, uint32_t unit, int32_t head_offset) {
    uint32_t size = checked_size(uint64_t(units) * unit);
    uint32_t need = size + BUFFER_OVERHEAD;
    bool big = need >= memory::record.threshold;
    SeriesBuffer* b = big ? memory::carve_big(need) : memory::carve(need);
    b->flags = unit | SER_IN_USE | SER_ALLOCATED | (big ? uint32_t(SER_BIG) : 0u);
    b->node = 0;
    b->size = size;
    place_head(b, unit ? unit : 1, head_offset);
    return b;
}

static Node attach(SeriesBuffer* b) {
    Node n = node::take_for(b);
    b->node = n;
    return n;
}

Node alloc(uint32_t units, uint32_t unit, int32_t head_offset) {
    return attach(alloc_buffer(units, unit, head_offset));
}

// The heap block keeps 4 bytes in front of the header so that the data area is
// 8-aligned like that of every other buffer.
Node new_fixed(uint32_t bytes, uint32_t unit_flags, int32_t head_offset) {
    if (bytes > memory::MAX_DATA) fail::internal("no-memory");
    uint8_t* block = static_cast<uint8_t*>(heap::alloc_zeroed(size_t(bytes) + 24));
    SeriesBuffer* b = reinterpret_cast<SeriesBuffer*>(block + memory::buffer_offset(0));
    b->flags = unit_flags | SER_IN_USE | SER_ALLOCATED | SER_FIXED;
    b->size = bytes;
    uint32_t unit = unit_flags & SER_UNIT_MASK;
    place_head(b, unit ? unit : 1, head_offset);
    return attach(b);
}

Node new_cells(uint32_t cells) { return alloc(cells, 16, 0); }

Node new_cells_unset(uint32_t cells) {
    Node n = new_cells(cells);
    Cell* c = reinterpret_cast<Cell*>(data(node::buffer(n)));
    for (uint32_t i = 0; i < cells; i++) c[i].header = T_UNSET;
    return n;
}

Node new_bytes(uint32_t bytes) { return alloc(bytes ? bytes : 16, 1, 0); }

Node new_units(uint32_t units, uint32_t unit) { return alloc(units ? units : 16 / unit, unit, 0); }

Node new_filled(uint32_t bytes, uint8_t fill) {
    Node n = new_bytes(bytes);
    SeriesBuffer* b = node::buffer(n);
    std::memset(data(b), fill, b->size);
    return n;
}

void set_flags(Node n, uint32_t bits) { node::buffer(n)->flags |= bits; }

// Flags that describe where a buffer lives belong to each allocation, not to
// the series; a grown or copied block is no longer the one prepared as code.
constexpr uint32_t PLACE_FLAGS = SER_BIG | SER_FIXED | SER_MID_HEAD | SER_MARK | SER_CODE_MARKS;

// Doubling, with room for one unit of cells when the area is empty.
static uint64_t doubled(const SeriesBuffer* b) { return std::max<uint64_t>(uint64_t(b->size) * 2, 16); }

static SeriesBuffer* move_to(SeriesBuffer* b, uint64_t new_size) {
    uint32_t unit = series::unit(b) ? series::unit(b) : 1;
    uint32_t size = checked_size(new_size);
    SeriesBuffer* nb = alloc_buffer((size + unit - 1) / unit, unit, 0);
    nb->flags = (b->flags & ~PLACE_FLAGS) | (nb->flags & PLACE_FLAGS);
    nb->node = b->node;
    if (nb->node) node::set(nb->node, nb);
    nb->tail = nb->head + std::min(b->tail - b->head, nb->size - nb->head);
    b->node = 0;
    b->flags &= ~SER_IN_USE;
    return nb;
}

// Copies from the old head as far as the old data area reaches, so that bytes
// kept just past the tail (terminators) travel too; never beyond the new area.
static uint32_t carry_over(SeriesBuffer* old, SeriesBuffer* nb) {
    uint32_t bytes = std::min(old->size - old->head, nb->size - nb->head);
    std::memcpy(raw_bytes(nb), head_ptr(old), bytes);
    return bytes;
}

static SeriesBuffer* grow(SeriesBuffer* b, uint64_t new_size) {
    SeriesBuffer* nb = move_to(b, new_size);
    carry_over(b, nb);
    return nb;
}

SeriesBuffer* expand(SeriesBuffer* b, uint32_t new_size) { return grow(b, new_size ? new_size : doubled(b)); }

static Node copy_bytes(SeriesBuffer* b, uint32_t offset, uint32_t bytes, uint32_t drop) {
    uint32_t unit = series::unit(b) ? series::unit(b) : 1;
    Node n = alloc(bytes / unit, unit, 0);
    SeriesBuffer* nb = node::buffer(n);
    nb->flags = (b->flags & ~(PLACE_FLAGS | drop)) | (nb->flags & PLACE_FLAGS);
    std::memcpy(data(nb), head_ptr(b) + offset, bytes);
    nb->tail = bytes;
    return n;
}

Node copy_buffer(SeriesBuffer* b) { return copy_bytes(b, 0, b->tail - b->head, 0); }

// The stretch is cut to the used part, so a request past the tail copies less.
Node copy_part(Node n, uint32_t byte_offset, uint32_t units) {
    SeriesBuffer* b = node::buffer(n);
    uint32_t used = b->tail - b->head;
    uint32_t offset = std::min(byte_offset, used);
    uint64_t bytes = std::min<uint64_t>(uint64_t(units) << unit_shift(b), used - offset);
    return copy_bytes(b, offset, uint32_t(bytes), SER_OWNED);
}

uint8_t* reserve(SeriesBuffer* b, uint32_t bytes) {
    if (uint64_t(b->tail) + bytes > b->size) {
        b = grow(b, bytes > b->size ? uint64_t(bytes) * 2 : doubled(b));
    }
    uint8_t* old_tail = tail_ptr(b);
    b->tail += bytes;
    return old_tail;
}

}  // namespace series

namespace block {
Cell* append_slot(const Cell* block_value) {
    return series::append_slot(node::buffer(cell::series_node(block_value)));
}
}  // namespace block

}  // namespace zel
