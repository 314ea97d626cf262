// hash!: a block whose values are also entered in a hash table (kind 0), so
// that find and select on it do not scan. It is a block in every other way:
// the block routines keep its table in step when they insert, change or
// remove values. Each hash owns its table; copies share nothing.
//
// A hash value is a series cell: w1 the index, w2 the node of the cells, w3
// the node of the table.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace hash {

// Turns a block value (made by the caller, its cells its own) into a hash
// over those cells.
void index_block(Cell* c);
// A whole number from an integer! or float! (make's size of a hash! or a
// map!); a float outside the integer range overflows.
int32_t whole_number(const Cell* n);

const Cell* make(Cell* proto, Cell* spec, uint32_t type);
const Cell* to(Cell* proto, Cell* spec, uint32_t type);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
const Cell* copy(Cell* value, Cell* part, bool deep, Cell* types);

void register_type();

}  // namespace hash
}  // namespace zel
