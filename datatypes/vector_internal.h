// vector!: what the vector files share among themselves.
#pragma once
#include <algorithm>
#include <cstdint>

#include "kernel/cell.h"
#include "kernel/memory.h"
#include "kernel/unicode.h"

namespace zel {
namespace vector {

// The largest byte size of a vector's elements; a larger one is no-memory.
constexpr uint64_t MAX_BYTES = 0x7FFFFFF0u;

inline SeriesBuffer* buffer_of(const Cell* v) { return node::buffer(cell::series_node(v)); }
inline bool is_float_type(uint32_t element_type) {
    return element_type == T_FLOAT || element_type == T_PERCENT;
}
// The index in elements, clamped to the tail.
inline uint32_t index_of(const Cell* v) {
    return std::min(uint32_t(cell::series_index(v)), series::length(buffer_of(v)));
}
inline void clip(Cell* v) { cell::set_series_index(v, index_of(v)); }
// The address of an absolute element position.
inline uint8_t* address_at(const Cell* v, uint32_t position) {
    SeriesBuffer* b = buffer_of(v);
    return series::raw_bytes(b) + (size_t(position) << series::unit_shift(b));
}

// The element as a number: a float's value, or an integer's or char's.
double number_at(const uint8_t* p, uint32_t element_type, uint32_t width);
// The element read as a signed integer, or as a char's code point (zero-
// extended, so that every char stored reads back as itself), and written as
// its low bits.
int32_t int_at(const uint8_t* p, uint32_t width);
inline uint32_t char_at(const uint8_t* p, uint32_t width) { return string::get_char(p, width); }
// The element as the integer arithmetic takes it.
inline int32_t whole_at(const uint8_t* p, uint32_t element_type, uint32_t width) {
    return element_type == T_CHAR ? int32_t(char_at(p, width)) : int_at(p, width);
}
inline void put_int(uint8_t* p, uint32_t width, int32_t value) { string::put_char(p, width, uint32_t(value)); }
// The element read as a float (a 4-byte one widened) and written back
// (narrowed to 4 bytes when that is the width).
double float_at(const uint8_t* p, uint32_t width);
void put_float(uint8_t* p, uint32_t width, double value);

// Grows the buffer so that its data area holds need bytes, to grown bytes
// when that fits; no-memory beyond MAX_BYTES. Answers the buffer.
SeriesBuffer* ensure(SeriesBuffer* b, uint64_t need, uint64_t grown);
[[noreturn]] void no_memory();

}  // namespace vector
}  // namespace zel
