// Memory manager: nodes, series frames and series buffers.
//
// Every series (block, string, binary, hash table, stack) lives in a series buffer
// reached only through a node, so a buffer can move (reallocation, compaction)
// while every value that shares it stays valid. A node is a 32-bit handle into the
// node table, which is kept in node frames of 10,000 slots that never move.
//
// A buffer is a 20-byte header, the data area (a multiple of 16 bytes) and one
// spare word; buffers of a series frame lie back to back. Head and tail are kept
// as byte offsets from the start of the data area, so moving a buffer moves them
// with it.
//
// A raw pointer into a buffer is valid until the series is reallocated or the
// collector compacts (only at a safe point); keep (node, index) across anything
// that may do either and fetch the pointer again.
#pragma once
#include <cstddef>
#include <cstdint>

#include "kernel/attention.h"
#include "kernel/cell.h"

namespace zel {

struct SeriesBuffer {
    uint32_t flags;  // SeriesFlags; unit size in bits 0-4
    uint32_t node;   // back pointer to the owning node (0 when left behind)
    uint32_t size;   // bytes of the data area, a multiple of 16
    uint32_t head;   // byte offset of the first unit in use
    uint32_t tail;   // byte offset just past the last unit in use
};
static_assert(sizeof(SeriesBuffer) == 20, "buffer header is five 32-bit words");

enum SeriesFlags : uint32_t {
    SER_UNIT_MASK = 0x1Fu,           // unit size in bytes: 1, 2, 4 or 16 (8: pointer buffers)
    SER_OWNED = 0x00020000u,         // has an owner object; cleared on copies
    SER_LIBRARY = 0x00040000u,       // a block of a library function's body
    SER_COMPLEMENT = 0x00080000u,    // bitset!: complemented
    SER_FIXED = 0x00100000u,         // tracked heap block outside the frames
    SER_PREPARED = 0x00200000u,      // block: unchanged since the evaluator prepared it as code
    SER_RAN = 0x00400000u,           // block: run as code once since its last change
    SER_PLAIN = 0x00800000u,         // block: its prepared form would gain nothing
    SER_BIG = 0x01000000u,           // own page block, never moves
    SER_RULES = 0x02000000u,         // block: unchanged since PARSE prepared it as rules
    SER_MARK = 0x08000000u,          // collector mark
    SER_MID_HEAD = 0x10000000u,      // head placed mid-buffer at allocation
    SER_ALLOCATED = 0x20000000u,     // set on every buffer at allocation
    SER_IN_USE = 0x80000000u,        // cleared on a buffer left behind by a move
};

// Sizes and thresholds of the manager.
constexpr uint32_t NODE_FRAME_NODES = 10000;
constexpr uint32_t PAGE_SIZE = 4096;
constexpr uint32_t FIRST_SERIES_FRAME = 0x100000;  // 1 MiB
constexpr uint32_t BIG_SERIES_THRESHOLD = 0x200000;  // also the largest frame size
constexpr uint32_t MIN_FRAME_FREE = 52428;         // 0xCCCC
constexpr uint32_t BUFFER_OVERHEAD = 24;           // header and spare word

namespace node {
// The node table: frames of NODE_FRAME_NODES slots, each slot the address of a
// buffer header. Node n (n >= 1) lives in frame (n - 1) / NODE_FRAME_NODES.
constexpr uint32_t MAX_NODE_FRAMES = 1u << 16;
extern SeriesBuffer** frame_slots[MAX_NODE_FRAMES];

// Every slot is mirrored in one flat table indexed by the node itself, so
// that finding a buffer, the commonest thing the evaluator does, is one load.
// The table grows (and may move) when a node frame is made; set() writes both.
extern SeriesBuffer** flat;

inline SeriesBuffer* slot(Node n) {
    uint32_t i = n - 1;
    return frame_slots[i / NODE_FRAME_NODES][i % NODE_FRAME_NODES];
}
inline SeriesBuffer* buffer(Node n) { return flat[n]; }
// The same, always in line: for the lookups of a function call's path
// (a context's cell, the code's buffer, a form's check after code ran),
// which the compiler otherwise calls out of line from its largest functions.
[[gnu::always_inline]] inline SeriesBuffer* buffer_in_line(Node n) { return flat[n]; }
// Counts the changes of a node's buffer that a pointer into it may outlive
// (a growth that moves one, the collector's moves, a node freed): a pointer
// into a buffer found while the count stays the same still points into that
// buffer.
extern uint64_t epoch;
// Writes a slot without counting: for a node taken from the free list or
// given its first buffer, which no pointer can point into yet (a node is
// freed, and counted, only by a collection).
inline void set_fresh(Node n, SeriesBuffer* b) {
    uint32_t i = n - 1;
    frame_slots[i / NODE_FRAME_NODES][i % NODE_FRAME_NODES] = b;
    flat[n] = b;
}
inline void set(Node n, SeriesBuffer* b) {
    epoch++;
    set_fresh(n, b);
}

Node take();
void release(Node n);
}  // namespace node

namespace series {

inline uint8_t* data(SeriesBuffer* b) { return reinterpret_cast<uint8_t*>(b) + sizeof(SeriesBuffer); }
inline const uint8_t* head_ptr(const SeriesBuffer* b) {
    return reinterpret_cast<const uint8_t*>(b) + sizeof(SeriesBuffer) + b->head;
}
// The bytes from the head, to write them: as writable_cells (below), for the
// code that works on units of any size.
inline uint8_t* writable_bytes(SeriesBuffer* b);
inline uint8_t* tail_ptr(SeriesBuffer* b) { return data(b) + b->tail; }
inline uint32_t unit(const SeriesBuffer* b) { return b->flags & SER_UNIT_MASK; }
// The shift of each unit size (1, 2, 4, 8, 16; anything else counts as 1).
constexpr uint8_t UNIT_SHIFTS[32] = {0, 0, 1, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0,
                                     4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
inline uint32_t unit_shift(const SeriesBuffer* b) { return UNIT_SHIFTS[unit(b)]; }
// Length in units from the buffer head to its tail.
inline uint32_t length(const SeriesBuffer* b) { return (b->tail - b->head) >> unit_shift(b); }
// Bytes free after the tail.
inline uint32_t room(const SeriesBuffer* b) { return b->size - b->tail; }
// Cells are read through cells() and written through writable_cells(),
// the one way to write the cells of a buffer that a block value may name:
// it drops the marks that say the evaluator's prepared form of the block
// (interpreter/prepared.h) and PARSE's form of it as rules still hold. A
// writer that reaches cells any other way is a compile error, so none is
// missed. record_cells() is for the runtime's own records, which no block
// value ever names (a context's frame, words and values, the symbol table,
// a callable's extra block), and for the collector, which rewrites node
// handles without changing what a block says.
constexpr uint32_t SER_CODE_MARKS = SER_PREPARED | SER_RAN | SER_PLAIN | SER_RULES;
inline void unprepare(SeriesBuffer* b) { b->flags &= ~SER_CODE_MARKS; }
inline const Cell* cells(const SeriesBuffer* b) {
    return reinterpret_cast<const Cell*>(reinterpret_cast<const uint8_t*>(b) + sizeof(SeriesBuffer) + b->head);
}
inline uint8_t* writable_bytes(SeriesBuffer* b) {
    unprepare(b);
    return data(b) + b->head;
}
inline Cell* writable_cells(SeriesBuffer* b) { return reinterpret_cast<Cell*>(writable_bytes(b)); }
inline Cell* record_cells(SeriesBuffer* b) { return reinterpret_cast<Cell*>(data(b) + b->head); }
// The bytes from the head of a series that holds no cells (a string, a
// binary, a vector, a bitset) or of one of the runtime's records.
inline uint8_t* raw_bytes(SeriesBuffer* b) { return data(b) + b->head; }

// Allocation. head_offset is a byte offset for head and tail inside the data
// area, or -1 for the middle of it.
SeriesBuffer* alloc_buffer(uint32_t units, uint32_t unit, int32_t head_offset);
Node alloc(uint32_t units, uint32_t unit, int32_t head_offset);
Node new_fixed(uint32_t bytes, uint32_t unit_flags, int32_t head_offset);
Node new_cells(uint32_t cells);
Node new_cells_unset(uint32_t cells);
Node new_bytes(uint32_t bytes);
Node new_units(uint32_t units, uint32_t unit);
Node new_filled(uint32_t bytes, uint8_t fill);
void set_flags(Node n, uint32_t bits);

// Growth. A size of 0 means twice the old size. The old buffer is left behind not
// in use; the node now names the new buffer. A used part larger than the new
// size is cut to it.
SeriesBuffer* expand(SeriesBuffer* b, uint32_t new_size);
Node copy_buffer(SeriesBuffer* b);
Node copy_part(Node n, uint32_t byte_offset, uint32_t units);

// A new cell at the tail (header unset, payload left as it was), doubling the
// buffer when it is full. The buffer may move: fetch it again through its node.
inline Cell* append_slot(SeriesBuffer* b) {
    if (room(b) < sizeof(Cell)) b = expand(b, 0);
    Cell* c = reinterpret_cast<Cell*>(tail_ptr(b));
    c->header = T_UNSET;
    b->tail += sizeof(Cell);
    return c;
}
// Moves the tail forward by bytes and answers the old tail (in the buffer that
// holds the series afterwards), growing the buffer when needed.
uint8_t* reserve(SeriesBuffer* b, uint32_t bytes);

}  // namespace series

namespace block {
// Appends a cell to the buffer of a block value.
Cell* append_slot(const Cell* block_value);
}

struct NodeFrame;
struct SeriesFrame;
struct BigSeries;

namespace memory {

// The largest data area of one buffer; head and tail offsets stay well inside
// 32 bits and sizes never wrap when doubled.
constexpr uint64_t MAX_DATA = 0x7FFFFFF0u;

// The manager's record; exposed for the collector and the statistics.
struct Record {
    uint64_t total;                // bytes taken from the OS (frames and big series)
    uint32_t first_frame_size;     // 0x100000
    uint32_t next_frame_size;      // size for the next series frame
    uint32_t threshold;            // big-series threshold and largest frame size
    uint64_t total_collected;      // total as the last collection left it
    uint64_t node_bytes;           // of total, the node frames'
    uint64_t node_collected;       // node_bytes as the last collection left it
    bool ready;                    // init has run
    uint32_t cycle;                // collections so far, counted by the collector
    NodeFrame* first_node_frame;   // node frames in creation order
    NodeFrame* last_node_frame;
    NodeFrame* current_node_frame;
    SeriesFrame* first_series_frame;  // series frames in address order
    SeriesFrame* last_series_frame;
    SeriesFrame* current_series_frame;
    BigSeries* first_big;          // big series, newest first
};
extern Record record;

// A collection asked for: set when an allocation finds no room (see
// note_growth), cleared by the collection. Kept in the attention word, which
// the evaluator's safe points test.
inline bool is_collect_requested() { return attention::has(attention::COLLECT_REQUESTED); }
inline void request_collection() { attention::set(attention::COLLECT_REQUESTED); }
inline void clear_collect_request() { attention::clear(attention::COLLECT_REQUESTED); }

// Sets the record; a second call while the manager is in use changes nothing.
void init();
// Called when the heap grows (a new series frame, a big series): asks for a
// collection once it has grown by half of what the last collection left, and
// by at least the largest frame. A collection costs as much as the live heap,
// so asking at every fixed amount of growth would make building large data
// quadratic.
void note_growth();
// Makes the first node frame and the first series frame (called by boot after
// the datatypes are registered); frames already made are kept.
void make_first_frames();
// Gives every node frame, series frame and big series back; init may run again.
void free_all();

}  // namespace memory

}  // namespace zel
