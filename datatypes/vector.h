// vector!: a series of packed numbers or characters of one element type and
// one width, for compact numeric data and element-wise arithmetic.
//
// A vector! is a series cell whose w1 is the head index counted in elements,
// w2 the node of the buffer and w3 the element type: T_CHAR, T_INTEGER,
// T_FLOAT or T_PERCENT. The buffer's unit is the element width in bytes
// (1, 2 or 4 for chars and integers, 4 or 8 for floats and percents), and
// the elements are packed little-endian from its head. Navigation and most
// editing come from string! and series!; this module adds construction, the
// element conversions, arithmetic, comparison, the text forms, and the
// actions whose string! versions read characters.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace vector {

// ---- elements -------------------------------------------------------------------

// The default width of an element type: 4 for chars and integers, 8 for
// floats and percents.
uint32_t default_width(uint32_t element_type);
// Whether a value of the type can be an element (char!, integer!, float!,
// percent!).
bool is_element_type(uint32_t type);
// Writes the element at p into out as a value of the element type: integers
// of 1, 2 and 4 bytes are read signed, chars as their code point (so a char
// reads back as the one stored), 4-byte floats are widened.
void load_element(Cell* out, const uint8_t* p, uint32_t element_type, uint32_t width);
// load_element into a new value on the value stack; answers it.
Cell* read_element(const uint8_t* p, uint32_t element_type, uint32_t width);
// Stores a char! or integer! as its low bits, a float! or percent! as a
// 64-bit float or (width 4) narrowed to a 32-bit float. Any other type raises
// invalid-type naming its datatype. The element type is not looked at.
void write_element(uint8_t* p, const Cell* value, uint32_t width);

// ---- the vector -----------------------------------------------------------------

// The cell becomes an empty vector (index 0) with room for count elements
// of the width; no-memory when the byte size leaves 32 bits.
Cell* init_cell(Cell* c, uint32_t element_type, uint32_t width, uint32_t count);
// Elements from the index to the tail (0 when the index lies past it).
uint32_t length(const Cell* v);
uint32_t width(const Cell* v);
// The address of element i counted from the index; good until the buffer
// changes.
uint8_t* element_address(const Cell* v, uint32_t i);
// Appends one value whose type must be the element type (else invalid-arg
// naming the value).
void append_value(const Cell* v, const Cell* value);
// Writes into out a new block of the elements from the index (room for at
// least one value).
void elements_to_block(const Cell* v, Cell* out);
// The element-wise operation (number::Op) for the arithmetic of integer!,
// float! and char!: the scalar is the first operand, the vector the second.
// The vector's elements change in place; answers the vector.
const Cell* arithmetic(int32_t op, Cell* v, Cell* scalar);

// ---- actions --------------------------------------------------------------------

const Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
void add();
void subtract();
void multiply();
void divide();
void remainder();
void and_();
void or_();
void xor_();
const Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
const Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
const Cell* pick(Cell* series, int32_t index, Cell* index_cell);
const Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
                 Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
const Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
                   Cell* with, Cell* skip, bool last, bool reverse);
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t index, bool case_, bool get, bool last, bool notify);
const Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
                 bool reverse, bool stable);
const Cell* take(Cell* series, Cell* part, bool deep, bool last);

// Registers vector! (parent string!) and fills the number seam.
void register_type();

}  // namespace vector
}  // namespace zel
