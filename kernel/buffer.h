// Typed buffers: series of bytes used as growable arrays of bytes, 32-bit
// integers or pointers, for the hash tables and the terminal backend. A typed
// buffer is named by its node, which stays the same while the buffer grows.
// Entries are addressed by 1-based index or by byte offset from the head;
// integer entries are 4 bytes and pointer entries sizeof(void*) bytes, whatever
// the unit in the flags. Reads out of range answer 0 and writes out of range
// change nothing.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace buffer {

// A new empty buffer with room for count units of unit bytes.
Node alloc_units(uint32_t count, uint32_t unit);
uint32_t length(Node n);
void clear(Node n);
// Tail = head + (index - 1) units, kept inside the data area.
void set_length(Node n, uint32_t index);
Node copy(Node n);
uint32_t flags(Node n);

void append_byte(Node n, uint8_t byte);
void append_bytes(Node n, const void* bytes, uint32_t length);
void append_int(Node n, int32_t value);
void append_pointer(Node n, const void* address);

// Byte offset from the head of the first equal entry, or -1.
int32_t find_int(Node n, int32_t value);
int32_t find_pointer(Node n, const void* address);

void* pick_pointer(Node n, uint32_t index);
void poke_int(Node n, uint32_t index, int32_t value);
// Moves the rest down over the bytes and shortens the buffer.
void remove_at(Node n, uint32_t byte_offset, uint32_t byte_count);
void remove_pointer(Node n, const void* address);
// Makes room for one entry at the index (1 to length + 1) and stores the value.
void insert_int(Node n, int32_t value, uint32_t index);

}  // namespace buffer

namespace array {
int32_t pick_int(Node n, uint32_t index);
uint8_t pick_byte(Node n, uint32_t index);
}  // namespace array

}  // namespace zel
