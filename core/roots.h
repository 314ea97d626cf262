// The root block: the permanent values of the runtime (the words the runtime
// keeps, the blocks made at start-up, and later the boot image's values). The
// collector marks it first, so whatever is kept here lives for the process.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace roots {

// The node of the root block; 0 until init.
extern Node block_node;

// The room boot gives the root block: the count of boot values of the build.
constexpr uint32_t BOOT_VALUES = 8697;

// Makes the root block with room for n cells.
void init(uint32_t n);
// Appends a copy of the value and answers its index in the root block.
uint32_t keep(const Cell* value);
// The cell at an index; good until the root block grows.
Cell* at(uint32_t index);

}  // namespace roots
}  // namespace zel
