// String storage: the characters of every text value (string!, file!, url!,
// tag!, email!, ref!) in one series buffer of 1-, 2- or 4-byte units.
//
// A buffer holds the narrowest unit that its characters have needed so far and
// is widened in place, behind the same node, when a wider character is stored;
// values that share the node see the wider text and their indexes (counted in
// characters) stay good. So code that may store a character keeps (node,
// index), never a pointer, across the store, and takes the buffer the store
// routine answers.
//
// The single-character readers and writers of the units themselves, and the
// UTF-8 and UTF-16 loaders, are in kernel/unicode.h.
#pragma once
#include <cstdint>

#include "kernel/cell.h"
#include "kernel/memory.h"
#include "kernel/unicode.h"

namespace zel {
namespace string {

inline SeriesBuffer* buffer_of(const Cell* value) { return node::buffer(cell::series_node(value)); }

// ---- reading ----------------------------------------------------------------

// The character offset characters from the buffer's head.
uint32_t char_at(const Cell* value, uint32_t offset);
// Characters from the value's index to the tail; an index past the tail is
// first moved back to the tail, and counts 0.
uint32_t get_length(Cell* value);
// Characters from the buffer's head to the tail.
uint32_t get_abs_length(const Cell* value);
// Address of the character at the value's index (moved back to the tail first
// when it lies past it). Good until the next store.
uint8_t* head_ptr(Cell* value);
bool is_at_tail(const Cell* value);
// Offset from the value's index of the first character equal to cp, or -1.
int32_t find_char(const Cell* value, uint32_t cp);
// True when the text at the index begins with the bytes of s (as code points).
bool starts_with_cstr(const Cell* value, const char* s);

// ---- storing ----------------------------------------------------------------
// Each answers the buffer, which may have moved; positions count characters
// from the buffer's head.

SeriesBuffer* append_char_slow(SeriesBuffer* b, uint32_t cp);
// Adds a character at the tail. A 1-byte buffer keeps ASCII only: 0x80 and
// above widen it (to 2 bytes up to 0xFFFF, else 4).
inline SeriesBuffer* append_char(SeriesBuffer* b, uint32_t cp) {
    if (cp < 0x80 && series::unit(b) == 1 && b->tail < b->size) {
        series::data(b)[b->tail++] = uint8_t(cp);
        return b;
    }
    return append_char_slow(b, cp);
}
// Appends UTF-8 text from the operating system, each malformed byte as
// U+FFFD, so that text read from outside never fails after the fact.
SeriesBuffer* append_utf8_lenient(SeriesBuffer* b, const uint8_t* p, const uint8_t* end);
// Inserting, overwriting and storing keep Latin-1 in 1-byte units.
SeriesBuffer* insert_char(SeriesBuffer* b, uint32_t position, uint32_t cp);
// Overwrites the character at position (below the length).
SeriesBuffer* poke_char(SeriesBuffer* b, uint32_t position, uint32_t cp);
// Removes count characters at offset from the head; nothing at or past the
// tail.
void remove_at(const Cell* value, uint32_t offset, uint32_t count);
// Keeps at most n characters.
void truncate(SeriesBuffer* b, uint32_t n);
// Moves the characters of source from its index (bytes long, in the source's
// units) into target at its index, one by one; for buffers of different units.
void move_chars(const Cell* source, const Cell* target, uint32_t bytes);

// ---- units ------------------------------------------------------------------

// Widens to unit 2 (from 1) or 4 (from 1 or 2); anything else is an internal
// fault.
SeriesBuffer* widen_to(SeriesBuffer* b, uint32_t unit);

// How copy_part_into places the characters.
enum CopyMode : int { COPY_APPEND = 0, COPY_INSERT = 1, COPY_OVERWRITE = 2 };
// Copies count characters (below 0: all) of source from its index into target,
// at its tail or at position. A wider source widens the target; a narrower one
// is widened in place unless convert, which converts character by character
// and leaves the source as it is.
SeriesBuffer* copy_part_into(const Cell* target, const Cell* source, int32_t count, uint32_t position,
                             bool convert, CopyMode mode);
inline SeriesBuffer* concatenate(const Cell* target, const Cell* source, int32_t count, uint32_t position,
                                 bool convert, CopyMode mode) {
    return copy_part_into(target, source, count, position, convert, mode);
}

// ---- making -----------------------------------------------------------------

// The cell becomes an empty string! over a new 1-byte buffer of size bytes.
void write_cell(Cell* c, uint32_t size);
// The cell becomes an empty string! over a new buffer of size units of unit.
void make_buffer_at(Cell* c, uint32_t size, uint32_t unit);
// Text encodings of load_at.
enum Encoding : int32_t { ENC_UTF8 = 0, ENC_UTF16LE = -1 };
// Decodes external text into a new buffer of the narrowest unit and makes the
// cell a string! over it. Invalid input raises access error invalid-utf8 (the
// cell is left unset); an unknown encoding raises internal error not-done.
Cell* load_at(const uint8_t* text, uint32_t size, Cell* c, int32_t encoding);
// The same into a new cell at the tail of the block.
Cell* load_in(const Cell* block, const uint8_t* text, uint32_t size, int32_t encoding);
// The same into a new cell pushed on the value stack.
Cell* load(const uint8_t* text, uint32_t size, int32_t encoding);
// Append each byte as the character of that code point.
void append_cstr(const Cell* value, const char* s);
void append_bytes(const Cell* value, const uint8_t* p, uint32_t count);

// ---- text -------------------------------------------------------------------

// Two upper-case hexadecimal digits, in a static buffer the next call reuses.
const char* byte_to_hex(uint8_t byte);
// Eight upper-case hexadecimal digits (sign-filled with F or 0), or, trimmed,
// the digits without leading sign fill ("00" for 0); a static buffer.
const char* int_to_hex(int32_t value, bool trimmed);

}  // namespace string
}  // namespace zel
