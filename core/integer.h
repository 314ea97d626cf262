// integer!: the 32-bit signed integer, its actions, the checked arithmetic
// that char!, pair!, tuple! and vector! share, the decimal text that many
// form and mold routines use, and the hand-over seams through which the
// number actions reach the datatypes built on top of them.
//
// Add, subtract, multiply and power never fail on overflow: the result
// becomes the float! of the exact operation. Division and remainder test
// their operands first (zero, and the smallest integer by -1), so no
// processor fault can happen.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {

namespace number {

// Operator codes of the integer and float arithmetic and of every hand-over.
enum Op : int32_t {
    OP_ADD = 0, OP_SUBTRACT = 1, OP_MULTIPLY = 2, OP_DIVIDE = 3, OP_REMAINDER = 4,
    OP_OR = 5, OP_AND = 6, OP_XOR = 7,
};

// What the number actions need of datatypes that come later: each module
// fills its entries when it registers. An action that meets a value whose
// entry is empty raises the error it raises for a type it does not know.
struct Seams {
    // pair!, point2D!, point3D!, tuple! and money!, by type id: the operator
    // applied to the frame's result slot and next argument; the result
    // replaces the result slot. A scalar with a pair, point or tuple arrives
    // swapped (the compound value in the result slot); with money! the
    // operands stay in the order given.
    void (*arithmetic[TYPE_TABLE_SIZE])(int32_t op);
    // pair!, point2D!, point3D!: negates every element of the result slot.
    void (*negate[TYPE_TABLE_SIZE])();
    // pair!, point2D!, point3D!, tuple!: the number in the next argument
    // divided by each element of the result slot; the remainders replace it.
    void (*scalar_remainder[TYPE_TABLE_SIZE])();
    // The operator on a vector! and a scalar; answers the call's result.
    const Cell* (*vector_arithmetic)(int32_t op, Cell* vector, Cell* scalar);
    // The date! in the result slot moved by the next argument (days as an
    // integer!, or a time!).
    void (*date_from_spec)(int32_t op);
    // Seconds since 1970-01-01 00:00 UTC.
    int32_t (*date_unix_seconds)(const Cell* date);
    // money!: the integer part (math overflow when it does not fit), the
    // float, a money value of an integer, and compare (first a money!; -2
    // when the two cannot be compared).
    int32_t (*money_as_integer)(const Cell* money);
    double (*money_as_float)(const Cell* money);
    void (*money_of_integer)(Cell* out, int32_t value);
    int32_t (*money_compare)(Cell* money, Cell* other, int32_t op);
    // object!: the on-change* call for a field (word) changed from old to new.
    void (*object_notify_change)(Cell* object, const Cell* word, const Cell* old_value,
                                 const Cell* new_value);
};
extern Seams seams;

// Raises script error not-related naming the action of the operator and the
// datatype.
[[noreturn]] void raise_not_related(int32_t op, uint32_t type);
// Raises script error invalid-type naming the value's datatype.
[[noreturn]] void raise_invalid_type(const Cell* value);
// The operator on a scalar and a vector!: the scalar's cell takes the
// answer; invalid type naming the vector while vector! is not there.
void vector_math(int32_t op, Cell* scalar, Cell* vector);
// The remainder of a number written before a pair, point or tuple: the
// number divided by each element (10 % 2x3 is 0x1), never the reversed
// operation. The number's cell takes the answer.
void remainder_by_elements(Cell* scalar, Cell* compound);

}  // namespace number

namespace integer {

void init();

// ---- numbers ------------------------------------------------------------------
// A bit shift, right and arithmetic unless left or logical; counts of 32 or
// more shift every bit out, negative counts shift nothing.
int32_t shift(int32_t data, int32_t bits, bool left, bool logical);
inline int32_t sign(int32_t value) { return value < 0 ? -1 : value > 0 ? 1 : 0; }
// math overflow for the smallest integer.
int32_t abs_checked(int32_t value);
// Decimal text in a static buffer that the next call overwrites.
const char* form_signed(int32_t value);

// The checked operation (number::Op). With a cell, an add, subtract or
// multiply that overflows, or a divide that leaves a remainder, turns the
// cell into the float! of the exact operation and answers 0; otherwise the
// cell's payload takes the result and its type stays. Without a cell an
// overflow raises math overflow and a divide truncates toward zero.
int32_t arith_op(int32_t left, int32_t right, int32_t op, Cell* cell);
// The arithmetic actions: result slot (op) next argument.
void do_math(int32_t op);

// ---- actions ------------------------------------------------------------------
const Cell* make(Cell* proto, Cell* spec, uint32_t type);
const Cell* to(Cell* proto, Cell* spec, uint32_t type);
// The issue's name read as up to eight hexadecimal digits.
int32_t from_issue(const Cell* issue);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
void absolute();
void add();
void subtract();
void multiply();
void divide();
void remainder();
void and_();
void or_();
void xor_();
const Cell* negate(Cell* value);
const Cell* complement(Cell* value);
void power();
const Cell* round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                  bool ceiling, bool half_ceiling);
int32_t is_even(Cell* value);
int32_t is_odd(Cell* value);

}  // namespace integer
}  // namespace zel
