// map!: a dictionary from keys to values, written #[key value ...].
//
// A map keeps its pairs in one block, key cell then value cell, in the order
// they were first stored, with a hash table of the keys (kind 1) beside it.
// Removing a pair leaves it in place, its key still in the table and its value
// cell zeroed (header 0), so that storing the key again revives the pair where
// it was; the table's live count is the map's length.
//
// A map value is a cell of type map!: w1 the head index, w2 the node of the
// pair block, w3 the node of the table.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace map {

// Writes a map cell over the pair block (a new empty block when block is
// null) and the table.
void init_cell(Cell* c, const Cell* block, Node table);
// A new empty map with room for the given number of cells (pairs times two).
void make_empty(Cell* c, uint32_t capacity);

// The key types: the strings, binary!, the word kinds, and the scalars.
bool is_key_type_allowed(uint32_t type);
// Turns a key into its stored form: series keys become copies, word!,
// set-word!, lit-word! and get-word! become set-word!. A key of another type
// raises invalid-path naming the path (absent when null) and its datatype.
void normalize_key(Cell* key, const Cell* path);

// Stores the value under the key (matching keys case-sensitively with case_),
// reviving a removed pair or appending a new one.
void put_pair(const Cell* map, const Cell* key, const Cell* value, bool case_);
// Adds every pair of a block (an odd count raises invalid-arg) or every live
// pair of a map, in order; a later pair replaces the value of an equal key.
void insert_pairs(const Cell* map, const Cell* pairs, bool case_);
// The live value stored under the key, or null.
const Cell* get(const Cell* map, const Cell* key, bool case_);
// select of an integer or char key in a map (no refinement) into out, none
// when absent: what the action answers, without its call (nothing here can
// raise or run code). False for any other value or key.
bool select_number(const Cell* map, const Cell* key, Cell* out);
// put of a value under an integer or char key in a map (no refinement):
// what the action does, without its call (nothing here raises or runs code;
// a new key appends a pair, which allocates). False with nothing done for
// any other value or key.
bool put_number(const Cell* map, const Cell* key, const Cell* value);
// put_number of a key the map holds where the last key found tells (see
// map.cpp): nothing allocates, raises or runs code. False with nothing done
// otherwise (then put_number stores it).
bool put_remembered(const Cell* map, const Cell* key, const Cell* value);
// A new block! of the live pairs (keys as stored), as reflect's body.
void body_of(const Cell* map, Cell* out);
// The number of live pairs.
uint32_t count(const Cell* map);
Cell* push_copy(const Cell* map);

// One step of foreach [key value] over the map from its index: skips removed
// pairs, leaves the index on the next live pair and assigns its key (a
// set-word key as a word!) and value to the first two words of the block.
// Answers false at the tail. The loop moves the index on by two.
bool set_loop_words(const Cell* words, Cell* map);

// The lexer's map literal: a folded block of n cells is a literal when it
// holds pairs whose keys are of allowed types.
bool is_pair_list(const Cell* cells, uint32_t n);
// Turns the cell (type map!, w2 the node of the literal's folded pairs) into
// a map holding those pairs.
void from_literal(Cell* c);

// ---- actions of map! -----------------------------------------------------------
const Cell* make(Cell* proto, Cell* spec, uint32_t type);
const Cell* to(Cell* proto, Cell* spec, uint32_t type);
const Cell* reflect(Cell* map, uint32_t field_symbol);
int32_t form(Cell* map, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* map, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t index, bool case_, bool get, bool last, bool notify);
int32_t compare(Cell* map1, Cell* map2, int32_t op);
const Cell* clear(Cell* map);
const Cell* copy(Cell* map, Cell* part, bool deep, Cell* types);
const Cell* find(Cell* map, Cell* key, Cell* part, bool only, bool case_, bool same, bool any, Cell* with,
                 Cell* skip, bool last, bool reverse, bool tail, bool match);
int32_t length(Cell* map);
const Cell* put(Cell* map, Cell* key, Cell* value, bool case_);
const Cell* remove(Cell* map, Cell* part, Cell* key);
const Cell* select(Cell* map, Cell* key, Cell* part, bool only, bool case_, bool same, bool any, Cell* with,
                   Cell* skip, bool last, bool reverse);

void register_type();

}  // namespace map
}  // namespace zel
