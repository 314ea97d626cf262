// External-resource table: operating-system objects that values refer to but
// that cannot live in series buffers. A value keeps the slot index; the
// collector marks the slots that live values reach and sweeps the rest, and
// each object that died goes to the release routine of its kind.
#pragma once
#include <cstdint>

namespace zel {
namespace resources {

using Release = void (*)(void* object);

constexpr uint32_t END = 0xFFFFFFFFu;        // ends a chain
constexpr uint32_t KIND_MASK = 0xFFu;        // kind index, 1-based; 0 is no kind
constexpr uint32_t SLOT_FREE = 0x40000000u;
constexpr uint32_t SLOT_MARK = 0x80000000u;
constexpr uint32_t FIRST_SLOTS = 1000;
constexpr uint32_t FIRST_KINDS = 20;

struct Kind {
    const char* identifier;
    Release release;
};

// One slot; next chains it on the in-use chain or on the free chain.
struct Slot {
    uint32_t flags;
    void* object;
    uint32_t next;
};

struct Table {
    Kind* kinds;         // tracked array, filled from the front
    uint32_t kind_count;
    uint32_t kind_capacity;
    Slot* slots;         // tracked array; indexes are 0-based
    uint32_t capacity;
    uint32_t free_head;
    uint32_t used_head;  // END when no slot is in use
};
extern Table table;

void init();
// Answers the new kind's 1-based index.
uint32_t register_kind(const char* identifier, Release release);
// Answers the index of the slot that now holds the object.
uint32_t store(void* object, uint32_t kind);
// Frees the slot, first releasing its object when release is set; answers -1.
int32_t release_slot(uint32_t slot, bool release);
// Marks the slot and, when object is not null, stores it there; answers true
// when the slot was not marked before.
bool mark(uint32_t slot, void* object);
// The collector's sweep: marked slots lose their mark, the others are freed and
// their objects released.
void sweep();
// Calls the release routine of the kind in the low byte of flags, if any.
void release_object(uint32_t flags, void* object);

}  // namespace resources
}  // namespace zel
