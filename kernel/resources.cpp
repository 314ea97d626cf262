// External-resource table: slots on two chains (in use and free) in one tracked
// array that doubles when its last free slot is taken, so slot indexes held by
// values stay valid.
#include "kernel/resources.h"

#include "kernel/runtime.h"

namespace zel {
namespace resources {

Table table;

// Chains slots [first, last) to each other, the last one ending the chain.
static void chain_free(uint32_t first, uint32_t last) {
    for (uint32_t i = first; i < last; i++) table.slots[i] = Slot{SLOT_FREE, nullptr, i + 1};
    table.slots[last - 1].next = END;
}

void init() {
    table.kinds = static_cast<Kind*>(heap::alloc_zeroed(FIRST_KINDS * sizeof(Kind)));
    table.kind_count = 0;
    table.kind_capacity = FIRST_KINDS;
    table.slots = static_cast<Slot*>(heap::alloc(FIRST_SLOTS * sizeof(Slot)));
    table.capacity = FIRST_SLOTS;
    chain_free(0, FIRST_SLOTS);
    table.free_head = 0;
    table.used_head = END;
}

// The kind table grows past its first 20 entries instead of running over.
uint32_t register_kind(const char* identifier, Release release) {
    if (table.kind_count == table.kind_capacity) {
        table.kind_capacity *= 2;
        table.kinds = static_cast<Kind*>(heap::resize(table.kinds, table.kind_capacity * sizeof(Kind)));
    }
    table.kinds[table.kind_count++] = Kind{identifier, release};
    return table.kind_count;
}

static void grow() {
    uint32_t old = table.capacity;
    table.capacity = old * 2;
    table.slots = static_cast<Slot*>(heap::resize(table.slots, table.capacity * sizeof(Slot)));
    chain_free(old, table.capacity);
}

uint32_t store(void* object, uint32_t kind) {
    uint32_t i = table.free_head;
    if (table.slots[i].next == END) {
        grow();
        table.slots[i].next = table.capacity / 2;
    }
    table.free_head = table.slots[i].next;
    table.slots[i] = Slot{kind & KIND_MASK, object, table.used_head};
    table.used_head = i;
    return i;
}

void release_object(uint32_t flags, void* object) {
    uint32_t kind = flags & KIND_MASK;
    if (kind >= 1 && kind <= table.kind_count && table.kinds[kind - 1].release)
        table.kinds[kind - 1].release(object);
}

static void unlink_used(uint32_t slot) {
    uint32_t* link = &table.used_head;
    while (*link != END && *link != slot) link = &table.slots[*link].next;
    if (*link == slot) *link = table.slots[slot].next;
}

static void free_slot(uint32_t slot) {
    table.slots[slot] = Slot{SLOT_FREE, nullptr, table.free_head};
    table.free_head = slot;
}

int32_t release_slot(uint32_t slot, bool release) {
    Slot& s = table.slots[slot];
    if (release) release_object(s.flags, s.object);
    unlink_used(slot);
    free_slot(slot);
    return -1;
}

bool mark(uint32_t slot, void* object) {
    if (slot >= table.capacity) return false;
    Slot& s = table.slots[slot];
    bool was = s.flags & SLOT_MARK;
    s.flags |= SLOT_MARK;
    if (object) s.object = object;
    return !was;
}

// The walk keeps indexes, not addresses: a release routine may store a new
// object, which can move the table.
void sweep() {
    uint32_t prev = END;
    uint32_t i = table.used_head;
    while (i != END) {
        Slot s = table.slots[i];
        if (s.flags & SLOT_MARK) {
            table.slots[i].flags &= ~SLOT_MARK;
            prev = i;
        } else {
            if (prev == END) table.used_head = s.next;
            else table.slots[prev].next = s.next;
            free_slot(i);
            release_object(s.flags, s.object);
        }
        i = s.next;
    }
}

}  // namespace resources
}  // namespace zel
