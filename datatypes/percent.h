// percent!: a float! holding a fraction (0.5 is 50%), written as the value
// times 100 followed by "%". Everything but the text is float! behaviour.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace percent {

void register_type();

// Writes the whole cell.
void init_cell(Cell* c, double fraction);
// Keeps the header flags of the slot (its new-line mark).
void init_slot(Cell* slot, double fraction);
// From the two 32-bit halves of the float's bit pattern.
void init_raw(Cell* c, uint32_t low, uint32_t high);
Cell* push(double fraction);

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);

}  // namespace percent
}  // namespace zel
