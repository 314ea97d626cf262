// typeset!: a set of datatypes held inline in one cell, one bit per type id in
// the 96 bits of the three payload words. Type id t is bit 0x80 >> (t mod 8)
// of payload byte t / 8, byte 0 being the lowest-addressed byte of word 1.
// Function specs check argument types against typesets, and the set-operation
// natives and the bit actions work on them.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace typeset {

// The word and mask of a type id's bit.
inline uint32_t word_of(uint32_t type) { return type / 32; }
inline uint32_t mask_of(uint32_t type) { return (0x80u >> (type % 8)) << (8 * (type / 8 % 4)); }

inline uint32_t* words(Cell* c) { return &c->w1; }
inline const uint32_t* words(const Cell* c) { return &c->w1; }

inline bool has(const Cell* ts, uint32_t type) {
    return type < 96 && (words(ts)[word_of(type)] & mask_of(type)) != 0;
}
inline void set_bit(Cell* ts, uint32_t type) {
    if (type < 96) words(ts)[word_of(type)] |= mask_of(type);
}

// Writes a typeset cell from its three payload words.
void init_slot(Cell* c, uint32_t w1, uint32_t w2, uint32_t w3);
// An empty typeset.
inline void init_empty(Cell* c) { init_slot(c, 0, 0, 0); }
// Every datatype but unset!: the type of an argument without a type block.
void init_all_but_unset(Cell* c);
// The union of the datatypes, typesets and words naming them in a function
// spec's type block.
void from_type_block(Cell* c, const Cell* block);
// The typeset of a datatype!, or the typeset itself; invalid-arg otherwise.
void from_value(Cell* c, const Cell* value);
// Adds one member: a datatype!, a typeset! (ORed in), or a word of either.
void add_type(Cell* ts, const Cell* value);
// Combines the typeset first with the typeset or datatype second by the set
// operation code (5/9 or, 6/10 and, 7/12 xor, 11 and-not, 8 first unchanged).
void combine(Cell* first, const Cell* second, int32_t code);
// The frame form: the typeset in the result slot with the next argument.
void set_op(int32_t code);
// Turns the cell into a new block of the member datatypes in id order.
void list_types(const Cell* ts, Cell* block);
// The number of members.
uint32_t count(const Cell* ts);
// Pushes a copy of the typeset on the value stack.
Cell* push(const Cell* ts);

// Actions.
const Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
const Cell* complement(Cell* value);
void and_();
void or_();
void xor_();
const Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
                 Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);

void register_type();

}  // namespace typeset
}  // namespace zel
