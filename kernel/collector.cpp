// The garbage collector: mark from the roots with an explicit mark stack (so
// that deeply nested values cannot exhaust the machine stack), then sweep the
// resources and the ownership table, compact each series frame by sliding
// runs of live buffers down with one memmove each, sweep big series and give
// the nodes of dead buffers back in address order.
#include "kernel/collector.h"

#include <algorithm>
#include <cstring>

#include "core/context.h"
#include "core/cycles.h"
#include "core/hashtable.h"
#include "core/ownership.h"
#include "core/roots.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "core/value_slots.h"
#include "kernel/fail.h"
#include "kernel/memory_internal.h"
#include "kernel/os.h"
#include "kernel/resources.h"
#include "kernel/runtime.h"
#include "kernel/temp_roots.h"

namespace zel {
namespace collector {

State state;
ImageMarkFn image_marker;

namespace {

// A growable array in tracked memory, kept from one collection to the next.
template <class T>
struct Pile {
    T* items;
    uint32_t count;
    uint32_t capacity;

    void push(T v) {
        if (count == capacity) {
            capacity = capacity ? capacity * 2 : 1024;
            items = static_cast<T*>(heap::resize(items, size_t(capacity) * sizeof(T)));
        }
        items[count++] = v;
    }
};

// Deferred marking work. A series of cells is kept when it is pushed and its
// cells are marked when it is popped; a hash table is pushed by its slot and
// marked whole when popped, since the table keeps its own series.
struct Work {
    Node* table;          // the slot of a hash table, or null
    SeriesBuffer* cells;  // a kept series of cells (nothing moves while marking)
};

constexpr uint32_t CALLBACK_SLOTS = 100;
MarkFn callbacks[CALLBACK_SLOTS];  // null where one was unregistered
uint32_t callback_end;

Pile<Work> work;
Pile<Node> fixed_marked;  // heap-block buffers marked in this collection
Pile<Node> released;      // nodes of dead frame buffers
Pile<uint64_t> dead_bits; // released, one bit per node, while they are put in order
intmap::Map* forwarding;

}  // namespace

// ---- callbacks ----------------------------------------------------------------

// A full table is a fault of the build (a module registering in a loop), not
// of the script: it stops with limit-hit rather than writing past the end.
void register_(MarkFn fn) {
    if (callback_end == CALLBACK_SLOTS) fail::internal("limit-hit");
    callbacks[callback_end++] = fn;
}

void unregister(MarkFn fn) {
    for (uint32_t i = 0; i < callback_end; i++) {
        if (callbacks[i] == fn) {
            callbacks[i] = nullptr;
            return;
        }
    }
}

// ---- marking --------------------------------------------------------------------

// The buffer of a node from a live frame, rewriting a forwarded node first.
[[gnu::noinline]] static SeriesBuffer* forwarded_buffer_of(Node* slot) {
    NodeFrame* f = node::frame_of(*slot);
    if (!f) return nullptr;
    uint32_t to;
    if (f->release && intmap::get(forwarding, *slot, &to)) {
        *slot = to;
        f = node::frame_of(to);
    }
    return f->slots[(*slot - 1) % NODE_FRAME_NODES];
}
// The same: while no node frame is evacuated, nodes stay as they are and the
// node table's flat mirror answers in one load (node 0's entry is null).
[[gnu::always_inline]] static inline SeriesBuffer* buffer_of(Node* slot) {
    if (forwarding) [[unlikely]] return forwarded_buffer_of(slot);
    return node::flat[*slot];
}

// The buffer of a node marked by this call, or null when it was marked
// already (or the node has none).
[[gnu::always_inline]] static inline SeriesBuffer* newly_kept(Node* slot) {
    SeriesBuffer* b = buffer_of(slot);
    if (!b || (b->flags & SER_MARK)) return nullptr;
    b->flags |= SER_MARK;
    if (b->flags & SER_FIXED) [[unlikely]] fixed_marked.push(*slot);
    return b;
}

bool keep(Node* slot) { return newly_kept(slot) != nullptr; }

[[gnu::always_inline]] static inline void mark_series_in_line(Node* slot) {
    SeriesBuffer* b = newly_kept(slot);
    if (b && series::unit(b) == sizeof(Cell)) work.push(Work{nullptr, b});
}

void mark_series(Node* slot) { mark_series_in_line(slot); }

void mark_context_node(Node* slot) { mark_series(slot); }

static void mark_table(Node* slot) {
    if (*slot) work.push(Work{slot, nullptr});
}

[[gnu::always_inline]] static inline void keep_if_set(Node* slot) {
    if (*slot) newly_kept(slot);
}

// How a type's payload refers to other memory.
enum Shape : uint8_t {
    NOTHING,
    BLOCK,     // w2 a series of cells
    STRING,    // w2 the text; w3 an extra series when set
    SYMBOL,    // w3 the name; w2 the cached string when set
    CONTEXT,   // w1 the words' table; w2 the values unless on the value stack
    WORD,      // w1 the bound context when set
    NATIVE,    // w2 spec, w3 extra; an op! of a function or routine also w1
    FUNCTION,  // w1 context, w2 spec, w3 extra
    BYTES,     // w2 a series of units
    OBJECT,    // w1 context; w3 the change-handler record when set
    INDEXED,   // w2 the block, w3 its hash table
    HANDLE,    // w3 a resource slot unless negative
    IMAGE,     // w2 the pixels when set, and the native bitmap
    EVENT,     // w2 a series of cells when header bit 12 says so
};

static constexpr auto SHAPES = [] {
    struct Row {
        uint32_t type;
        Shape shape;
    };
    constexpr Row rows[] = {
        {T_BLOCK, BLOCK},      {T_PAREN, BLOCK},      {T_PATH, BLOCK},         {T_LIT_PATH, BLOCK},
        {T_SET_PATH, BLOCK},   {T_GET_PATH, BLOCK},   {T_STRING, STRING},      {T_FILE, STRING},
        {T_URL, STRING},       {T_TAG, STRING},       {T_EMAIL, STRING},       {T_REF, STRING},
        {T_SYMBOL, SYMBOL},    {T_CONTEXT, CONTEXT},  {T_WORD, WORD},          {T_SET_WORD, WORD},
        {T_LIT_WORD, WORD},    {T_GET_WORD, WORD},    {T_REFINEMENT, WORD},    {T_NATIVE, NATIVE},
        {T_ACTION, NATIVE},    {T_OP, NATIVE},        {T_FUNCTION, FUNCTION},  {T_ROUTINE, FUNCTION},
        {T_BITSET, BYTES},     {T_VECTOR, BYTES},     {T_BINARY, BYTES},       {T_OBJECT, OBJECT},
        {T_ERROR, OBJECT},     {T_PORT, OBJECT},      {T_HASH, INDEXED},       {T_MAP, INDEXED},
        {T_HANDLE, HANDLE},    {T_IMAGE, IMAGE},      {T_EVENT, EVENT},
    };
    struct Table {
        Shape of[256];
    } t{};
    for (const Row& r : rows) t.of[r.type] = r.shape;
    return t;
}();

constexpr uint32_t EVENT_HOLDS_SERIES = 0x1000;

static bool wraps_context(const Cell* op) {
    uint32_t wrapped = (op->header & HDR_OP_TYPE_MASK) >> HDR_OP_TYPE_SHIFT;
    return types::is_function_like(wrapped);
}

// In line in mark_cells' loop, where nearly all cells are marked.
[[gnu::always_inline]] static inline void mark_cell(Cell* c) {
    switch (SHAPES.of[cell::type(c)]) {
    case NOTHING: break;
    case BLOCK: mark_series_in_line(&c->w2); break;
    case STRING: newly_kept(&c->w2); keep_if_set(&c->w3); break;
    case SYMBOL: newly_kept(&c->w3); keep_if_set(&c->w2); break;
    case CONTEXT:
        mark_table(&c->w1);
        if (!(c->header & HDR_ON_STACK)) mark_series_in_line(&c->w2);
        break;
    case WORD: mark_series_in_line(&c->w1); break;
    case NATIVE:
        mark_series_in_line(&c->w2);
        mark_series_in_line(&c->w3);
        if (cell::type(c) == T_OP && wraps_context(c)) mark_series_in_line(&c->w1);
        break;
    case FUNCTION:
        mark_series_in_line(&c->w1);
        mark_series_in_line(&c->w2);
        mark_series_in_line(&c->w3);
        break;
    case BYTES: newly_kept(&c->w2); break;
    case OBJECT: mark_series_in_line(&c->w1); keep_if_set(&c->w3); break;
    case INDEXED: mark_series_in_line(&c->w2); mark_table(&c->w3); break;
    case HANDLE:
        if (int32_t(c->w3) >= 0) resources::mark(c->w3, nullptr);
        break;
    case IMAGE:
        keep(&c->w2);
        if (image_marker) image_marker(c);
        break;
    case EVENT:
        if (c->header & EVENT_HOLDS_SERIES) mark_series(&c->w2);
        break;
    }
}

void mark_cells(Cell* first, Cell* end) {
    for (Cell* c = first; c < end; c++) mark_cell(c);
}

static const hashtable::Marker MARKER{keep, mark_cells};

// Marks until no deferred work is left.
static void drain() {
    while (work.count) {
        Work w = work.items[--work.count];
        if (w.table) {
            hashtable::mark(w.table, MARKER);
            continue;
        }
        SeriesBuffer* b = w.cells;
        mark_cells(series::record_cells(b), series::record_cells(b) + series::length(b));
    }
}

void fix_refs(Node* first, Node* end) {
    for (Node* n = first; n < end; n++) buffer_of(n);
}

static void mark_roots() {
    mark_series(&roots::block_node);
    mark_series(&symbol::block_node);
    hashtable::mark(&symbol::table_node, MARKER);
    ownership::mark();
    mark_cells(stack::reg.bottom, stack::reg.top);
    stack::mark_frames();
    context::mark_global();
    mark_series(&value_slots::block_node);
    words::mark();
    temp_roots::mark();
    for (uint32_t i = 0; i < callback_end; i++)
        if (callbacks[i]) callbacks[i]();
    drain();
}

static bool is_kept(Node n) {
    NodeFrame* f = node::frame_of(n);
    SeriesBuffer* b = f ? f->slots[(n - 1) % NODE_FRAME_NODES] : nullptr;
    return b && (b->flags & SER_MARK);
}

// The ownership table holds the owned values weakly, so marking did not visit
// them: a key whose node was evacuated, and the owned value with it, follow
// the series here (the table is rebuilt for the new keys after the collection).
static void forward_owned(Cell* value) {
    switch (SHAPES.of[cell::type(value)]) {
    case OBJECT: buffer_of(&value->w1); break;
    case BLOCK:
    case STRING:
    case BYTES:
    case INDEXED:
    case IMAGE: buffer_of(&value->w2); break;
    default: break;
    }
}

static void forward_owned_keys() {
    hashtable::Record* r = hashtable::record(ownership::table_node);
    SeriesBuffer* kb = node::buffer(r->keys);
    for (uint32_t at = 0; at + r->index <= kb->tail - kb->head; at += r->index) {
        Cell* entry = reinterpret_cast<Cell*>(series::raw_bytes(kb) + at);
        buffer_of(&entry->w1);
        forward_owned(entry + 1);
    }
}

// ---- node-frame evacuation ------------------------------------------------------

constexpr uint32_t STEADY_HISTORY = 63;       // unchanged for the last 6 collections
constexpr uint32_t SPARSE_IN_USE = 5000;

static uint64_t free_nodes() {
    uint64_t n = 0;
    for (NodeFrame* f = memory::record.first_node_frame; f; f = f->next) n += f->capacity - f->in_use;
    return n;
}

// Copies every node in use of the frame into a fresh node of another frame.
static void evacuate_frame(NodeFrame* f) {
    f->release = 1;
    if (!forwarding) forwarding = intmap::make(f->in_use);
    for (uint32_t i = 0; i < NODE_FRAME_NODES; i++) {
        SeriesBuffer* b = f->slots[i];
        if (!b) continue;
        Node to = node::take();
        node::set(to, b);
        b->node = to;
        intmap::put(forwarding, node::of_slot(f, i), to);
    }
}

static void evacuate() {
    uint64_t spare = free_nodes();
    bool any = false;
    for (NodeFrame* f = memory::record.last_node_frame; f; f = f->prev) {
        if (spare <= NODE_FRAME_NODES) break;
        if (f == memory::record.current_node_frame || (f->history & STEADY_HISTORY) != STEADY_HISTORY ||
            f->in_use >= SPARSE_IN_USE)
            continue;
        evacuate_frame(f);
        spare -= NODE_FRAME_NODES;
        any = true;
    }
    if (any) state.evacuations++;
}

// ---- sweeping and compaction ---------------------------------------------------------

// A dead buffer's node goes back unless the buffer was left behind by a move.
static void gather(SeriesBuffer* b) {
    if ((b->flags & SER_IN_USE) && b->node) released.push(b->node);
}

static bool marked(const uint8_t* at) { return reinterpret_cast<const SeriesBuffer*>(at)->flags & SER_MARK; }

// Slides each run of live buffers down to the hole before it; the nodes of a
// run that moves are pointed at the new places before it moves (a run that
// stays where it is leaves its nodes and the epoch as they are).
static void compact(SeriesFrame* f) {
    uint8_t* to = f->first;
    uint8_t* at = f->first;
    while (at < f->free) {
        if (!marked(at)) {
            SeriesBuffer* b = reinterpret_cast<SeriesBuffer*>(at);
            at = reinterpret_cast<uint8_t*>(memory::next_buffer(b));
            gather(b);
            continue;
        }
        uint8_t* run = at;
        size_t distance = size_t(run - to);
        while (at < f->free && marked(at)) {
            SeriesBuffer* b = reinterpret_cast<SeriesBuffer*>(at);
            at = reinterpret_cast<uint8_t*>(memory::next_buffer(b));
            b->flags &= ~SER_MARK;
            if (distance) node::set(b->node, reinterpret_cast<SeriesBuffer*>(reinterpret_cast<uint8_t*>(b) - distance));
        }
        if (distance) std::memmove(to, run, size_t(at - run));
        to += at - run;
    }
    f->free = to;
}

// Dead nodes go back in address order, the highest first, so that each
// frame's free list hands out its lowest nodes first. They are put in order
// by a bitmap of one bit per node up to the highest of them: a pass over its
// words instead of a sort, as a collection of short-lived blocks frees many.
static void release_nodes() {
    if (!released.count) return;
    Node highest = *std::max_element(released.items, released.items + released.count);
    uint32_t words = highest / 64 + 1;
    if (words > dead_bits.capacity) {
        dead_bits.capacity = words;
        dead_bits.items = static_cast<uint64_t*>(heap::resize(dead_bits.items, size_t(words) * sizeof(uint64_t)));
    }
    std::memset(dead_bits.items, 0, size_t(words) * sizeof(uint64_t));
    for (uint32_t i = 0; i < released.count; i++) {
        Node n = released.items[i];
        dead_bits.items[n / 64] |= 1ull << (n % 64);
    }
    released.count = 0;
    for (uint32_t w = words; w-- > 0;) {
        for (uint64_t bits = dead_bits.items[w]; bits;) {
            uint32_t bit = 63 - uint32_t(__builtin_clzll(bits));
            node::release(w * 64 + bit);
            bits &= ~(1ull << bit);
        }
    }
}

static void clear_fixed_marks() {
    while (fixed_marked.count) node::buffer(fixed_marked.items[--fixed_marked.count])->flags &= ~SER_MARK;
}

// ---- the collection ----------------------------------------------------------------

void collect() {
    if (state.running) return;
    state.running = true;
    if (state.evacuation) evacuate();
    mark_roots();
    if (forwarding) cycles::mark(fix_refs);
    if (resources::table.slots) resources::sweep();
    bool owned = is_kept(ownership::table_node);
    if (owned) ownership::purge();
    if (owned && forwarding) forward_owned_keys();
    for (SeriesFrame* f = memory::record.first_series_frame; f; f = f->next) compact(f);
    memory::sweep_big_series();
    release_nodes();
    memory::release_node_frames();
    uint64_t kept_empty = memory::release_series_frames();
    bool forwarded = forwarding != nullptr;
    if (forwarded) {
        intmap::destroy(forwarding);
        forwarding = nullptr;
    }
    clear_fixed_marks();
    memory::record.cycle++;
    memory::clear_collect_request();
    memory::record.total_collected = memory::record.total - kept_empty;
    memory::record.node_collected = memory::record.node_bytes;
    state.running = false;
    if (owned && forwarded) hashtable::make_room(ownership::table_node);
}

void do_cycle() {
    if (state.enabled) collect();
}

void init() {
    char value[4];
    state = State{};
    work = {};
    fixed_marked = {};
    released = {};
    dead_bits = {};
    temp_roots::stack = {};
    // Nodes stay put: C++ code keeps (node, index) across evaluation, so the
    // evacuation of sparse node frames, which renumbers nodes, is off unless
    // asked for.
    state.evacuation = false;
    set_stress(os::get_env("ZEL_GC_STRESS", value, sizeof value) == 1 && value[0] == '1');
}

}  // namespace collector
}  // namespace zel
