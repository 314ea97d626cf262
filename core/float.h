// float!: the 64-bit IEEE double, its actions, and the float arithmetic core
// that integer!, percent! and time! share.
//
// Infinities and NaN are values like any other: arithmetic makes them without
// an error and they form as "1.#INF", "-1.#INF" and "1.#NaN". `=` compares
// within a few units in the last place, `==` exactly. The texts come from
// kernel/floattext.h, which shares this module's C++ namespace.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace float_ {

void init();

// ---- cells --------------------------------------------------------------------
// Sets the type (keeping the header flags) and the value.
Cell* write_cell(Cell* c, double value);

// ---- numbers ------------------------------------------------------------------
bool is_equal32(float a, float b);
// Equal within 10 units in the last place (or closer than the epsilon); NaN
// is equal to nothing.
bool is_almost_equal(double a, double b);

// x (op) y for add, subtract, multiply, divide and remainder; any other
// operator raises cannot-use.
double arith_op(double x, double y, int32_t op);
// The arithmetic actions: result slot (op) next argument.
void do_math(int32_t op);

// ---- actions ------------------------------------------------------------------
const Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value, Cell* other, int32_t op);
void absolute();
void add();
void subtract();
void multiply();
void divide();
void remainder();
const Cell* negate(Cell* value);
void power();
const Cell* round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                  bool ceiling, bool half_ceiling);
int32_t is_even(Cell* value);
int32_t is_odd(Cell* value);

}  // namespace float_
}  // namespace zel
