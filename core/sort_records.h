// The /skip argument of sort, which block! and string! read alike.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace sort_records {

// The record size for sorting count values: 1 without /skip (and /all then is
// script error bad-refines); else the /skip integer, which must lie between 1
// and count and divide count (script error invalid-refine-arg otherwise).
uint32_t record_size(const Cell* skip, uint32_t count, bool all);

}  // namespace sort_records
}  // namespace zel
