// Page blocks from the operating system, for the memory manager's node frames,
// series frames and big series. Blocks are whole pages, zero-filled, readable and
// writable, and never move.
#pragma once
#include <cstddef>

namespace zel {
namespace pages {

constexpr size_t SIZE = 4096;

// A block of bytes rounded up to whole pages, or null when the system refuses.
// huge: a block of a huge page or more starts on a huge-page boundary and
// asks for huge pages (for the memory manager's series frames).
void* take(size_t bytes, bool huge = false);
// Returns a block taken with the same byte count; false when the system refuses.
bool give_back(void* block, size_t bytes);

}  // namespace pages
}  // namespace zel
