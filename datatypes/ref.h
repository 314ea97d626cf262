// ref!: a string that names something, written with a leading "@". It shares
// string!'s storage and nearly all of its actions; only its mold differs.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace ref {

Cell* push_copy(const Cell* value);

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);

void register_type();

}  // namespace ref
}  // namespace zel
