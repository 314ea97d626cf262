// Typed buffers over series buffers. Entries are read and written with memcpy:
// a head moved by remove_at need not keep them aligned.
#include "kernel/buffer.h"

#include <algorithm>
#include <cstring>

#include "kernel/memory.h"

namespace zel {
namespace buffer {

static SeriesBuffer* buf(Node n) { return node::buffer(n); }
static uint32_t used(Node n) { return buf(n)->tail - buf(n)->head; }

Node alloc_units(uint32_t count, uint32_t unit) { return series::alloc(count, unit, 0); }

uint32_t length(Node n) { return series::length(buf(n)); }

void clear(Node n) { buf(n)->tail = buf(n)->head; }

void set_length(Node n, uint32_t index) {
    SeriesBuffer* b = buf(n);
    uint64_t bytes = index ? uint64_t(index - 1) << series::unit_shift(b) : 0;
    b->tail = b->head + uint32_t(std::min<uint64_t>(bytes, b->size - b->head));
}

Node copy(Node n) { return series::copy_buffer(buf(n)); }

uint32_t flags(Node n) { return buf(n)->flags; }

void append_bytes(Node n, const void* bytes, uint32_t length) {
    if (length) std::memcpy(series::reserve(buf(n), length), bytes, length);
}

void append_byte(Node n, uint8_t byte) { *series::reserve(buf(n), 1) = byte; }
void append_int(Node n, int32_t value) { append_bytes(n, &value, sizeof value); }
void append_pointer(Node n, const void* address) { append_bytes(n, &address, sizeof address); }

static int32_t find_entry(Node n, const void* entry, uint32_t size) {
    const uint8_t* head = series::head_ptr(buf(n));
    for (uint32_t off = 0; off + size <= used(n); off += size)
        if (std::memcmp(head + off, entry, size) == 0) return int32_t(off);
    return -1;
}

int32_t find_int(Node n, int32_t value) { return find_entry(n, &value, sizeof value); }
int32_t find_pointer(Node n, const void* address) { return find_entry(n, &address, sizeof address); }

// The entry at a 1-based index, or null when it lies outside the used part.
static uint8_t* entry_at(Node n, uint32_t index, uint32_t size) {
    if (index == 0 || uint64_t(index) * size > used(n)) return nullptr;
    return series::raw_bytes(buf(n)) + (index - 1) * size;
}

void* pick_pointer(Node n, uint32_t index) {
    void* p = nullptr;
    if (uint8_t* e = entry_at(n, index, sizeof p)) std::memcpy(&p, e, sizeof p);
    return p;
}

void poke_int(Node n, uint32_t index, int32_t value) {
    if (uint8_t* e = entry_at(n, index, sizeof value)) std::memcpy(e, &value, sizeof value);
}

void remove_at(Node n, uint32_t byte_offset, uint32_t byte_count) {
    SeriesBuffer* b = buf(n);
    uint32_t all = used(n);
    uint32_t at = std::min(byte_offset, all);
    uint32_t count = std::min(byte_count, all - at);
    uint8_t* p = series::raw_bytes(b) + at;
    std::memmove(p, p + count, all - at - count);
    b->tail -= count;
}

void remove_pointer(Node n, const void* address) {
    int32_t at = find_pointer(n, address);
    if (at >= 0) remove_at(n, uint32_t(at), sizeof address);
}

void insert_int(Node n, int32_t value, uint32_t index) {
    uint32_t all = used(n);
    if (index == 0 || uint64_t(index - 1) * sizeof value > all) return;
    uint32_t at = (index - 1) * sizeof value;
    series::reserve(buf(n), sizeof value);
    uint8_t* p = series::raw_bytes(buf(n)) + at;
    std::memmove(p + sizeof value, p, all - at);
    std::memcpy(p, &value, sizeof value);
}

}  // namespace buffer

namespace array {

int32_t pick_int(Node n, uint32_t index) {
    int32_t v = 0;
    if (uint8_t* e = buffer::entry_at(n, index, sizeof v)) std::memcpy(&v, e, sizeof v);
    return v;
}

uint8_t pick_byte(Node n, uint32_t index) {
    uint8_t* e = buffer::entry_at(n, index, 1);
    return e ? *e : 0;
}

}  // namespace array
}  // namespace zel
