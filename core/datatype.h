// The datatype registry and datatype! itself.
//
// The registry keeps, per type id, the name record (the name with its "!", its
// length without the "!", the word of the name) and the action row through
// which every action is dispatched. Types register once, at start-up, in a
// fixed order that puts every parent before its children; inheritance is
// resolved then, so dispatch reads the value's own row and never a parent's.
#pragma once
#include <cstdint>

#include "core/actions.h"
#include "kernel/cell.h"

namespace zel {
namespace types {

struct NameRecord {
    const char* name;  // NUL-terminated, ending in "!"
    uint32_t length;   // without the "!"
    Cell word;         // the name's word (header 0 until it is made)
};

// Makes the word of a type name (the word layer's intern).
using WordMaker = Cell (*)(const char* name);

struct Registry {
    NameRecord names[TYPE_TABLE_SIZE];
    ActionRow rows[TYPE_TABLE_SIZE];
    uint32_t top;          // the highest type id registered
    WordMaker word_maker;  // set once the name words are made
};
extern Registry registry;

// The implementations of a type: dispatch is registry.rows[type].action.
inline const ActionRow& row(uint32_t type) { return registry.rows[type]; }
inline const NameRecord& name(uint32_t type) { return registry.names[type]; }
inline uint32_t top() { return registry.top; }

// Registers every type but event! in the fixed order (ids never change: a type
// whose module is not there yet gets a row that supports nothing).
void register_all();
// Registers event! (id 54), after the root block exists.
void register_event();

// Makes the word of every name, ids 1 to the top id, through the word layer's
// maker; types registered afterwards get theirs at registration.
void make_name_words(WordMaker maker);

}  // namespace types

namespace datatype {

// Enters one table into the registry.
void register_(const TypeTable& table);
// Registers datatype! (id 1).
void init();

// Turns the cell into a datatype! naming the type.
inline void write_cell(Cell* c, uint32_t type) { cell::make_datatype(c, type); }
// Appends a datatype! to the block and answers it.
Cell* append_new(const Cell* block, uint32_t type);
// Pushes a datatype! naming the type on the value stack and answers it.
Cell* push(uint32_t type);

// Helpers of form and mold: append ASCII text to the buffer string and answer
// the limit less the characters appended; with all, append_mold writes the
// construction syntax "#(" text ")".
int32_t append_text(const Cell* buffer, const char* text, uint32_t length, int32_t limit);
// append_text of a NUL-terminated text.
int32_t append_cstr(const Cell* buffer, const char* text, int32_t limit);
int32_t append_mold(const Cell* buffer, const char* text, uint32_t length, bool all, int32_t limit);

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);

}  // namespace datatype
}  // namespace zel
