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

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);

}  // namespace percent
}  // namespace zel
