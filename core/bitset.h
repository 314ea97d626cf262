// bitset!: a growable array of bits, the character classes of PARSE and of
// text search and trim, and a set of small non-negative integers.
//
// A bitset value is a cell whose w2 is the node of a byte series. Bit n lives
// in byte n >> 3 under the mask 0x80 >> (n & 7), so the bytes read left to
// right list bits 0, 1, 2, ... in order; the tail marks the bytes in use.
// SER_COMPLEMENT on the buffer says that every bit beyond the stored bytes is
// a member (growth then fills with 255). The stored bits are always the
// membership bits; the text of a complemented bitset shows them inverted.
//
// make and to read a small dialect: a char! or integer! (a float! is
// truncated) names one bit, a string! the bits of its code points, a block!
// any of these, with `c1 - c2` naming an inclusive range; [not ...] makes the
// complement. A bitset holds at most MAX_BITS bits, so its length in bits
// always fits an integer!.
#pragma once
#include <cstdint>

#include "kernel/cell.h"
#include "kernel/memory.h"

namespace zel {
namespace bitset {

constexpr int64_t MAX_BITS = 0x7FFFFFF8;  // the largest multiple of 8 below 2^31

// What the three processing routines do with each bit they are given.
enum Op : int32_t { OP_MEASURE = 0, OP_SET = 1, OP_TEST = 2, OP_CLEAR = 3 };

inline SeriesBuffer* buffer_of(const Cell* b) { return node::buffer(cell::series_node(b)); }
inline bool is_complemented(const Cell* b) { return (buffer_of(b)->flags & SER_COMPLEMENT) != 0; }
inline uint32_t byte_length(const Cell* b) { return series::length(buffer_of(b)); }

// The first byte and the address just past the last byte in use; good until
// the bitset grows.
inline uint8_t* first_byte(const Cell* b) { return series::raw_bytes(buffer_of(b)); }
inline uint8_t* tail_address(const Cell* b) { return series::tail_ptr(buffer_of(b)); }

// The cell becomes a bitset! over a new buffer of bytes bytes, every byte
// fill, in use up to the tail.
Cell* write_cell(Cell* c, uint32_t bytes, uint8_t fill);
Cell* push(const Cell* b);

// Makes bit n addressable: raises the tail to cover byte n >> 3, growing the
// buffer and filling the new bytes with 0 (255 when complemented). A bit at
// or beyond MAX_BITS raises out-of-range.
void ensure_bit(const Cell* b, int64_t n);
// The byte of bit n, or null when n is negative or its byte lies at or past
// the tail.
uint8_t* locate_byte(const Cell* b, int64_t n);
// Replaces every stored byte by its complement.
void invert_bytes(const Cell* b);
// Appends the stored bytes as upper-case hexadecimal pairs (inverted when
// asked). With a /part budget, stops once the budget runs out and reports it
// through *exhausted. Answers the budget less what it appended.
int32_t form_hex(const Cell* b, const Cell* buffer, bool invert, bool has_part, int32_t limit,
                 bool* exhausted);

// The processing routines. For OP_TEST they answer 1 when every bit named is
// set, else 0; otherwise the highest bit named (-1 when none). to_ says which
// action's error a value outside the dialect raises.
int32_t process_range(const Cell* b, Op op, int64_t low, int64_t high);
int32_t process_string(const Cell* b, Op op, const Cell* text);
int32_t process_spec(const Cell* b, Op op, const Cell* spec, bool to_);
// Writes into out a new bitset built from the spec (make, or to with to_).
void make_from_spec(Cell* out, Cell* spec, bool to_);

// The bitwise core on the frame's first two arguments; the result replaces
// the first. Ops: 5 or 9 or, 6 and~, 10 intersect, 7 or 12 xor, 11 exclude,
// 8 unique (the first argument unchanged).
void do_bitwise(int32_t op);

// ---- actions ----------------------------------------------------------------
void init();

const Cell* make(Cell* proto, Cell* spec, uint32_t type);
const Cell* to(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t index, bool case_, bool get, bool last, bool notify);
const Cell* complement(Cell* value);
void and_();
void or_();
void xor_();
const Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
const Cell* clear(Cell* value);
const Cell* copy(Cell* value, Cell* part, bool deep, Cell* types);
const Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
                 Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
int32_t length(Cell* value);
const Cell* pick(Cell* series, int32_t index, Cell* index_cell);
const Cell* poke(Cell* series, int32_t index, Cell* index_cell, Cell* value);
const Cell* remove(Cell* series, Cell* part, Cell* key);

}  // namespace bitset
}  // namespace zel
