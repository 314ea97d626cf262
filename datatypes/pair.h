// pair!: two signed 32-bit integers in one cell (x in payload word 2, y in
// word 3), written "XxY" and used for sizes and positions.
//
// Arithmetic is the checked integer arithmetic, coordinate by coordinate. A
// coordinate that leaves the 32-bit range, and any multiply or divide by a
// float, turns the result into a point2D!, which has the range.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace pair {

void register_type();

// ---- cells --------------------------------------------------------------------
// Writes the whole cell.
inline void init_cell(Cell* c, int32_t x, int32_t y) { *c = Cell{T_PAIR, 0, uint32_t(x), uint32_t(y)}; }
// Keeps the header flags of the slot (its new-line mark).
void init_slot(Cell* slot, int32_t x, int32_t y);
Cell* push_new(int32_t x, int32_t y);
inline int32_t x_of(const Cell* c) { return int32_t(c->w2); }
inline int32_t y_of(const Cell* c) { return int32_t(c->w3); }
inline void set_x(Cell* c, int32_t x) { c->w2 = uint32_t(x); }
inline void set_y(Cell* c, int32_t y) { c->w3 = uint32_t(y); }
// Rewrites the pair as the point2D! of the same coordinates.
void to_point(Cell* c);

// ---- hand-over routines -----------------------------------------------------------
// The pair in the frame's result slot (op) the next argument (number::Op).
void arithmetic(int32_t op);
// Negates both coordinates of the result slot.
void negate_result();

// ---- actions ------------------------------------------------------------------
const Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t index, bool case_, bool get, bool last, bool notify);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
void absolute();
const Cell* negate(Cell* value);
const Cell* round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                  bool ceiling, bool half_ceiling);
const Cell* pick(Cell* value, int32_t index, Cell* index_cell);
const Cell* reverse(Cell* value, Cell* part, Cell* skip);

}  // namespace pair
}  // namespace zel
