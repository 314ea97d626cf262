// tuple!: 3 to 12 bytes in one cell, written joined by dots and used for
// versions and colours. The byte count sits in header bits 19-22; the bytes
// fill payload words 1-3 in memory order, bytes past the count being 0.
//
// Arithmetic works byte by byte and clamps every result to 0..255.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace tuple {

constexpr uint32_t MAX_BYTES = 12;
constexpr uint32_t COUNT_SHIFT = 19;

void register_type();

// ---- cells --------------------------------------------------------------------
inline uint32_t count(const Cell* c) { return (c->header >> COUNT_SHIFT) & 0xF; }
inline uint8_t* bytes(Cell* c) { return reinterpret_cast<uint8_t*>(c) + 4; }
inline const uint8_t* bytes(const Cell* c) { return reinterpret_cast<const uint8_t*>(c) + 4; }
// Writes the whole cell from count bytes (at most MAX_BYTES).
void init_cell(Cell* c, const uint8_t* source, uint32_t count);
// Pushes a tuple of count bytes given as its three payload words.
Cell* push_words(uint32_t count, uint32_t word1, uint32_t word2, uint32_t word3);
// A colour: 3 bytes, or 4 when alpha is not negative.
void write_colour(Cell* c, uint8_t red, uint8_t green, uint8_t blue, int32_t alpha);
// True when every byte up to the count is 0.
bool is_all_zero(const Cell* c);

// ---- hand-over routines -----------------------------------------------------------
// The tuple in the frame's result slot (op) the next argument (number::Op).
void arithmetic(int32_t op);

// ---- actions ------------------------------------------------------------------
const Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t index, bool case_, bool get, bool last, bool notify);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
const Cell* complement(Cell* value);
int32_t length(Cell* value);
const Cell* pick(Cell* value, int32_t index, Cell* index_cell);
const Cell* reverse(Cell* value, Cell* part, Cell* skip);

}  // namespace tuple
}  // namespace zel
