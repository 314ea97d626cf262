// The value-slot table: a growable block of cells handed out by 1-based
// handles, for components that keep values outside the value stack. Free
// cells are threaded into a list: each is an integer! whose value is the index
// of the next free cell, -1 ending the list.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace value_slots {

constexpr uint32_t INITIAL_CAPACITY = 100;

// The block of slots, marked by the collector; 0 until init.
extern Node block_node;

void init();
// Copies the value into a free slot and answers its handle.
uint32_t add(const Cell* value);
// The slot of a handle; good until the next add.
Cell* get(uint32_t handle);
// Gives the slot back; handle 0 is ignored.
void free(uint32_t handle);

}  // namespace value_slots
}  // namespace zel
