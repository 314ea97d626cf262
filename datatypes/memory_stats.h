// Memory statistics: how the memory manager's node frames, series frames and
// big series are used, as one total or as a listing per frame.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace memory {

enum UsageMode : int32_t { USAGE_WALK = 0, USAGE_TOTAL = 1, USAGE_LIST = 2 };

// The bytes in use: 4 per node in use, every series frame up to its
// allocation point, every big series whole. USAGE_WALK answers 0. With
// USAGE_LIST the block (a block! value) also receives, in order: a block of
// [free used total] node counts per node frame, a block of [free used total]
// bytes per series frame, a block of the size of every big series (each of
// the three marked to start a new line), the whole memory taken from the
// system (every page block plus the tracked heap) and the tracked heap alone.
double frame_usage(const Cell* block, int32_t mode);

// Appends the count as an integer!, or as a float! above 2147483647.
void append_total(const Cell* block, double bytes);

}  // namespace memory
}  // namespace zel
