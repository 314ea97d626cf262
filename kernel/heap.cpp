// The tracked heap: every block the system takes from malloc outside the
// collector carries a header and sits on one list in allocation order, so the
// process can free all of them at its end and report them when asked.
#include <cstdlib>
#include <cstring>

#include "kernel/runtime.h"

namespace zel {
namespace heap {

static Block* list_first = nullptr;
static Block* list_last = nullptr;
static size_t list_count = 0;

static Block* header_of(void* data) { return static_cast<Block*>(data) - 1; }

// Reported at the address of the allocating call.
[[noreturn]] static void out_of_memory(void* caller) {
    runtime::error_report(94, reinterpret_cast<uintptr_t>(caller));
}

static void link_last(Block* b) {
    b->prev = list_last;
    b->next = nullptr;
    if (list_last) list_last->next = b;
    else list_first = b;
    list_last = b;
    list_count++;
}

static void unlink(Block* b) {
    if (b->prev) b->prev->next = b->next;
    else list_first = b->next;
    if (b->next) b->next->prev = b->prev;
    else list_last = b->prev;
    list_count--;
}

static bool is_tracked(Block* h) {
    for (Block* b = list_first; b; b = b->next)
        if (b == h) return true;
    return false;
}

void* alloc(size_t size) {
    Block* b = static_cast<Block*>(std::malloc(size + sizeof(Block)));
    if (!b) out_of_memory(__builtin_return_address(0));
    b->size = uint32_t(size);
    b->spare = 0;
    link_last(b);
    return b + 1;
}

void* alloc_zeroed(size_t size) {
    void* p = alloc(size);
    std::memset(p, 0, size);
    return p;
}

void free(void* data) {
    if (!data) return;
    Block* h = header_of(data);
    if (!is_tracked(h)) return;  // not one of ours: ignored
    unlink(h);
    std::free(h);
}

void* resize(void* data, size_t size) {
    if (!data) return alloc(size);
    if (size == 0) {
        free(data);
        return nullptr;
    }
    Block* old = header_of(data);
    if (!is_tracked(old)) return nullptr;
    Block* prev = old->prev;
    Block* next = old->next;
    Block* b = static_cast<Block*>(std::realloc(old, size + sizeof(Block)));
    if (!b) out_of_memory(__builtin_return_address(0));
    b->size = uint32_t(size);
    if (prev) prev->next = b;
    else list_first = b;
    if (next) next->prev = b;
    else list_last = b;
    return b + 1;
}

void free_all() {
    Block* b = list_first;
    while (b) {
        Block* next = b->next;
        std::free(b);
        b = next;
    }
    list_first = list_last = nullptr;
    list_count = 0;
}

size_t count() { return list_count; }
Block* first() { return list_first; }
Block* last() { return list_last; }

}  // namespace heap
}  // namespace zel
