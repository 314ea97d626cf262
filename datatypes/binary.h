// binary!: the byte string, and the byte-buffer interface through which the
// rest of the runtime (Zelbin, HTTP, processes, compression, the lexer, the
// codecs) makes, grows and reads raw bytes.
//
// A binary! is a series cell over a buffer of 1-byte units: w1 the head index
// in bytes, w2 the node. Its content runs from the buffer's head plus the
// index to the tail; an index past the tail (another value shortened the
// buffer) counts as the tail. Every routine that may grow the buffer may move
// it: an address taken before such a call is stale after it.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace binary {

// ---- making -------------------------------------------------------------------

// The cell becomes a new empty binary (index 0) with room for capacity bytes
// (16 when 0); answers the cell.
Cell* init_empty(Cell* c, uint32_t capacity);
// A new empty binary in a new slot at the tail of the block.
Cell* append_new(const Cell* block, uint32_t capacity);
// A new binary holding a copy of count bytes, in a new slot of the block when
// one is given, else pushed on the value stack.
Cell* from_memory_in(const uint8_t* source, uint32_t count, const Cell* block);
Cell* from_memory(const uint8_t* source, uint32_t count);
Cell* push(const Cell* value);

// ---- reading ------------------------------------------------------------------

// Bytes from the head to the tail (0 when the index lies past the tail).
uint32_t length(const Cell* value);
uint8_t* head_address(const Cell* value);
uint8_t* tail_address(const Cell* value);
bool is_at_tail(const Cell* value);
// The byte offset bytes from the buffer's head (not the value's index).
uint8_t get_byte(const Cell* value, uint32_t offset);
// Advances the index by count when it stays inside the content; answers
// whether the end has been reached.
bool step(Cell* value, uint32_t count);
inline bool step_one(Cell* value) { return step(value, 1); }

// ---- writing ------------------------------------------------------------------

// Drops the bytes after the index.
void cut_at_index(const Cell* value);
// Copies count bytes at the tail, growing the buffer; answers where they went.
uint8_t* append_bytes(const Cell* value, const uint8_t* source, uint32_t count);
// Opens a gap of count bytes offset bytes after the head and copies into it.
void insert_bytes(const Cell* value, uint32_t offset, const uint8_t* source, uint32_t count);
// Writes count bytes offset bytes after the head, over what is there; the
// tail moves when the write runs past it.
void overwrite_bytes(const Cell* value, uint32_t offset, const uint8_t* source, uint32_t count);
// Four bytes, most significant first, at the tail; the room is reserved by
// the caller (init_empty).
void append_int32_be(int32_t n, const Cell* value);
// An integer! as one byte: -128 to 255, a negative one as its low 8 bits;
// invalid-arg for any other number, which no byte can hold.
uint8_t byte_of(const Cell* integer);
// Stores an integer! by byte_of or the low 8 bits of a char!; invalid-arg
// for anything else.
void set_byte(uint8_t* target, const Cell* value);

// The bytes of a binary, or of text as UTF-8 from its index: one-byte ASCII
// text is read in place, anything else is encoded into a fresh series that
// nothing roots, so the bytes are good only until the next safe point.
struct Bytes {
    const uint8_t* p;
    uint32_t n;
};
Bytes bytes_of(const Cell* v);

// ---- matching -----------------------------------------------------------------

// Compares the bytes of a (a binary) with those of b (a binary, or text by its
// UTF-8 bytes): -1, 0 or 1, -2 when b holds no bytes. With match, tells
// whether b occurs at a's head (0 when it does).
int32_t compare_bytes(const Cell* a, const Cell* b, int32_t op, bool match);
// Whether the value (a char! as one byte, text or binary as its bytes)
// matches at the binary's head; false for any other type.
bool is_match_value(const Cell* value_at, const Cell* value, int32_t op);
// Whether the byte at the head is a member of the bitset.
bool is_match_bitset(const Cell* value_at, const Cell* bitset);

// ---- conversion ---------------------------------------------------------------

// How value_to_bytes works: count only; write; or, forgiving, write when a
// target is given else count, forming types that have no bytes of their own.
enum BytesMode : int32_t { BYTES_COUNT = 0, BYTES_WRITE = 1, BYTES_FORMED = 2 };
// The bytes of a value for to, append, insert and change, written at target
// (null when counting); answers their count. A limit below 1 means none; in a
// block it counts values, or bytes with only. Integers outside -128..255
// raise invalid-arg in every mode, so the counting pass that comes before a
// change already refuses them.
uint32_t value_to_bytes(uint8_t* target, const Cell* value, int32_t limit, bool only, int32_t mode);

// ---- actions ------------------------------------------------------------------

const Cell* to(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
void and_();
void or_();
void xor_();
const Cell* complement(Cell* value);
const Cell* append(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
const Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
const Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with);

void register_type();

}  // namespace binary
}  // namespace zel
