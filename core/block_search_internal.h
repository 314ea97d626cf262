// Helpers shared by the search, sort and set-operation files of block!.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace block {

// Equality under a comparison op; a type without a compare action falls back
// to the hash tables' payload equality.
bool equal(const Cell* a, const Cell* b, int32_t op);

}  // namespace block
}  // namespace zel
