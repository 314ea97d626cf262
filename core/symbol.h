// The symbol table: every distinct spelling of a word, interned once in UTF-8,
// with a 1-based id. A spelling that differs from an earlier one only in ASCII
// case is a symbol of its own whose alias is the earlier symbol's canonical id,
// so words compare and bind without regard to case through canonical ids while
// mold and form keep the spelling that was written.
//
// A symbol record is a cell of type symbol!: w1 the alias (-1 when none), w2
// the node of the cached string! (0 until first needed), w3 the node of the
// UTF-8 name, a byte series whose tail stops before a NUL.
#pragma once
#include <cstdint>

#include "kernel/cell.h"
#include "kernel/memory.h"

namespace zel {
namespace symbol {

// The symbol block and its kind-2 table. Boot makes them; the collector marks
// them as roots.
extern Node block_node;
extern Node table_node;

// The room boot gives the symbol block and its table.
constexpr uint32_t BOOT_SYMBOLS = 4000;

// Makes the symbol block and its table for n symbols; symbols interned before
// are forgotten.
void make_tables(uint32_t n);

uint32_t intern(const char* name);
uint32_t make_from_buffer(const uint8_t* bytes, uint32_t length);
// The symbol of a string!'s text from its index.
uint32_t make_from_string(const Cell* str);
// The common routine: the id of the exact spelling, added when new.
uint32_t intern_core(Node table, const uint8_t* bytes, uint32_t length);

// The record of an id, its cached string made.
Cell* get(uint32_t id);
// Makes the record's cached string! from its name when it has none.
void get_cached_string(Cell* record);
// The NUL-terminated UTF-8 name; good until the next allocation.
const char* get_cstr(uint32_t id);
// The name bytes and their count; good until the next allocation.
const uint8_t* name_of(const Cell* record, uint32_t* length);

// The canonical id: the alias when there is one, else the id itself.
inline Cell* record_at(uint32_t id) { return series::record_cells(node::buffer(block_node)) + (id - 1); }
inline uint32_t alias_of(uint32_t id) { return cell::symbol_alias(record_at(id)); }
// The same among the records as record_at(1) gives them, for a caller that
// resolves many ids while the table cannot move (it allocates nothing).
inline uint32_t resolve_among(const Cell* records, uint32_t id) {
    int32_t alias = cell::symbol_alias(records + (id - 1));
    return alias > 0 ? uint32_t(alias) : id;
}
inline uint32_t resolve(uint32_t id) { return resolve_among(record_at(1), id); }

// 0 when the names are equal: byte for byte when exact, else without regard to
// ASCII case.
int compare_names(const uint8_t* a, const uint8_t* b, uint32_t length, bool exact);

// symbol! has one action: two symbol records compare as the texts of their names.
int32_t compare(Cell* value1, Cell* value2, int32_t op);
// Registers symbol!.
void init();

}  // namespace symbol
}  // namespace zel
