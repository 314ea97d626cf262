// triple!: three signed 32-bit integers held in the payload of one cell, in
// w1, w2 and w3. The type can only be formed and molded; every other action
// is unsupported.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace triple {

inline void write_cell(Cell* c, int32_t a, int32_t b, int32_t d) {
    c->header = T_TRIPLE;
    c->w1 = uint32_t(a);
    c->w2 = uint32_t(b);
    c->w3 = uint32_t(d);
}

void init();

// Both write "make triple! [a b c]".
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);

}  // namespace triple
}  // namespace zel
