// point2D! and point3D!: two or three 32-bit float components in one cell
// (x, y and z in payload words 1, 2 and 3), written "(x, y)" and "(x, y, z)"
// and used for coordinates in graphics code.
//
// Components are kept as 32-bit floats; every computation widens them to
// doubles and narrows the result back. Both types share one implementation
// parametrised by the number of components.
#pragma once
#include <cstdint>
#include <cstring>

#include "core/type_groups.h"
#include "kernel/cell.h"

namespace zel {
namespace point {

// The number of components of a point type (0 for any other type).
inline uint32_t dimension(uint32_t type) { return type == T_POINT2D ? 2 : type == T_POINT3D ? 3 : 0; }
// Component i (0-based) of a point cell.
inline float get(const Cell* c, uint32_t i) {
    float f;
    std::memcpy(&f, reinterpret_cast<const char*>(c) + 4 * (i + 1), sizeof f);
    return f;
}
inline void put(Cell* c, uint32_t i, float f) { std::memcpy(reinterpret_cast<char*>(c) + 4 * (i + 1), &f, sizeof f); }
// Writes the whole cell: the type, the components given, 0 for the rest.
void init(Cell* c, uint32_t type, const float* components);

// The plain numbers that stand for a component, and their value.
inline bool is_number(const Cell* v) { return types::in(types::INTEGER_OR_FLOAT, cell::type(v)); }
inline double number_of(const Cell* v) {
    return cell::type(v) == T_INTEGER ? double(cell::get_int(v)) : cell::get_float(v);
}

}  // namespace point

namespace point2D {

void register_type();
void init_cell(Cell* c, float x, float y);
Cell* push_new(float x, float y);
// The point in the frame's result slot (op, 0-4) the next argument.
void arithmetic(int32_t op);
void negate_result();
int32_t compare(Cell* value1, Cell* value2, int32_t op);

}  // namespace point2D

namespace point3D {

void register_type();
void init_cell(Cell* c, float x, float y, float z);
Cell* push_new(float x, float y, float z);
void arithmetic(int32_t op);
void negate_result();
int32_t compare(Cell* value1, Cell* value2, int32_t op);

}  // namespace point3D
}  // namespace zel
