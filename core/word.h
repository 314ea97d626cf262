// The word family: word!, set-word!, lit-word!, get-word!, refinement! and
// issue!. All six share the word payload (w1 the bound context, w2 the symbol
// as written, w3 the slot index or -1 while not looked up) and differ only in
// their type id. These are the routines that make, push, read and assign
// words, and the word actions.
#pragma once
#include <cstdint>

#include "core/context.h"
#include "kernel/cell.h"

namespace zel {
namespace word {

// Interns the name and answers its word in the global context (with every
// spelling kept); while booting the word is also kept in the root block.
Cell intern(const char* name);
// Reading and assigning a word in its own context (assignment notifies an
// object's change handler); both answer the slot.
inline Cell* get_value(const Cell* word) { return context::word_value(word); }
Cell* set_value(Cell* word, const Cell* value);

// Turns the cell into a word! of the symbol bound to the global context.
void write_cell(uint32_t symbol, Cell* c);
// The word of the symbol in the context under its exact spelling; when the
// context lacks it, the word added to the global context.
Cell get_or_add(Node ctx, uint32_t symbol);
// The symbol record of the word, its cached string made.
Cell* symbol_record(const Cell* word);
// The type of the value that the word's name reads back as.
uint32_t scan_name(const Cell* word);
// The set-word of the interpreter: the frame's first cell is the word, the
// second the value (need-value when unset), which becomes the result.
void set_from_frame();

// The routines shared by the typed members of the family (the type byte is
// replaced, the flags kept).
Cell* append_new(const Cell* block, const char* name, uint32_t type);
Cell intern_as(const char* name, uint32_t type);

// Actions.
const Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
void is_index();

// Registers word!.
void init();

}  // namespace word

// The typed families: the same routines writing their own type id.
#define ZEL_WORD_FAMILY(ns, type_id)                                                                  \
    namespace ns {                                                                                   \
    inline Cell* append_new(const Cell* block, const char* name) {                                   \
        return word::append_new(block, name, type_id);                                               \
    }                                                                                                \
    inline Cell intern(const char* name) { return word::intern_as(name, type_id); }                  \
    void init();                                                                                     \
    }
ZEL_WORD_FAMILY(lit_word, T_LIT_WORD)
ZEL_WORD_FAMILY(set_word, T_SET_WORD)
ZEL_WORD_FAMILY(get_word, T_GET_WORD)
#undef ZEL_WORD_FAMILY

namespace refinement {
// Appends a refinement! of the name, bound to no context, to the block.
Cell* intern(const char* name, const Cell* block);
// A refinement! of the name bound to no context.
void write_cell(Cell* c, const char* name);
void init();
}  // namespace refinement

namespace issue {
// Turns the cell into an issue! of the name: global context, index -1.
void write_cell(Cell* c, const char* name);
Cell* append_new(const char* name, const Cell* block);
// While booting keeps the issue in the root block, else pushes it; answers it.
Cell intern(const char* name);
const Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
void init();
}  // namespace issue

}  // namespace zel
