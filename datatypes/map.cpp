// map!: pair storage, key lookup, and the map's own actions.
//
// Every routine that may allocate (storing a key copies a series, appending
// grows the pair block) fetches the block's cells again afterwards: only
// nodes and positions are kept across it.
#include "datatypes/map.h"

#include <algorithm>

#include "core/block.h"
#include "core/cycles.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/hashtable.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "datatypes/hash.h"

namespace zel {
namespace map {

namespace {

Cell answer;

constexpr uint64_t bit(uint32_t t) { return uint64_t(1) << t; }
constexpr uint64_t SERIES_KEYS =
    bit(T_STRING) | bit(T_FILE) | bit(T_URL) | bit(T_BINARY) | bit(T_TAG) | bit(T_EMAIL) | bit(T_REF);
constexpr uint64_t WORD_KEYS = bit(T_WORD) | bit(T_SET_WORD) | bit(T_LIT_WORD) | bit(T_GET_WORD);
constexpr uint64_t SCALAR_KEYS = bit(T_CHAR) | bit(T_INTEGER) | bit(T_FLOAT) | bit(T_REFINEMENT) |
                                 bit(T_ISSUE) | bit(T_PAIR) | bit(T_PERCENT) | bit(T_TUPLE) | bit(T_TIME) |
                                 bit(T_DATE) | bit(T_MONEY) | bit(T_POINT2D) | bit(T_POINT3D);
constexpr uint64_t KEY_TYPES = SERIES_KEYS | WORD_KEYS | SCALAR_KEYS;
// The largest cell count whose byte size the allocator takes.
constexpr uint64_t MAX_CELLS = 0x7FFFFFF0u / sizeof(Cell);

bool has(uint64_t set, uint32_t t) { return t < 64 && (set & bit(t)); }

const Cell* pairs_of(const Cell* m) { return series::cells(node::buffer(cell::series_node(m))); }
uint32_t cells_of(const Cell* m) { return series::length(node::buffer(cell::series_node(m))); }
Cell block_of(const Cell* m) {
    Cell b;
    cell::make_series(&b, T_BLOCK, cell::series_node(m));
    return b;
}
hashtable::Record* table_of(const Cell* m) { return hashtable::record(cell::series_extra(m)); }

// A removed pair's value cell is all zero.
bool is_live(const Cell* value_cell) { return value_cell->header != 0; }

[[noreturn]] void bad_key(const Cell* key, const Cell* path) {
    Cell datatype;
    cell::make_datatype(&datatype, cell::type(key));
    error::raise(Err::script_invalid_path, path, &datatype);
}

// The key as the table holds it, for a lookup: words of every kind as set-words.
Cell search_key(const Cell* key) {
    Cell k = *key;
    if (has(WORD_KEYS, cell::type(&k))) cell::set_type(&k, T_SET_WORD);
    return k;
}

// The pair block, key position and number of the last integer or char key
// found. A map holds such a key once (a store finds it first), and its
// position holds it for as long as it is there: pairs are only appended, a
// removed pair keeps its key and clear empties the block. So when a
// position of a key (an even one) in a map's pair block holds the key asked
// for, it is where the table would find it, whatever ran since.
struct LastKey {
    Node pairs;
    uint32_t pos;
    int32_t key;
};
LastKey last_key;

inline bool is_number_key(uint32_t t) { return t == T_INTEGER || t == T_CHAR; }

// The key's value cell without the table when the last key found tells its
// position: that key's own position, or the one as many pairs on as the keys differ,
// where a map whose integer keys were stored in order one apart (1, 2, 3
// ...) holds every other key (`put m k (select m k) + 1` walks once; a map
// used as an array walks never). Checked by the content found there; null
// when it is not the key (the pair block's buffer is looked up once).
[[gnu::always_inline]] inline const Cell* remembered_value(const Cell* m, const Cell* key) {
    if (last_key.pairs != cell::series_node(m)) return nullptr;
    SeriesBuffer* b = node::buffer(last_key.pairs);
    int64_t pos = int64_t(last_key.pos) + 2 * (int64_t(cell::get_int(key)) - last_key.key);
    if (pos < 0 || uint64_t(pos) + 1 >= uint64_t(b->tail - b->head) / sizeof(Cell)) return nullptr;
    const Cell* held = series::cells(b) + pos;
    return cell::type(held) == cell::type(key) && cell::get_int(held) == cell::get_int(key) ? held + 1 : nullptr;
}

// The same as the key's position, or -1.
inline int32_t remembered_key(const Cell* m, const Cell* key) {
    const Cell* v = remembered_value(m, key);
    return v ? int32_t(v - 1 - pairs_of(m)) : -1;
}

// The position of the key's cell in the pair block, or -1; a key of a type
// no map holds is never there. A miss of a key the table compares in place
// leaves in *probe where it would go (free stays -1 otherwise).
[[gnu::always_inline]] inline int32_t find_key(const Cell* m, const Cell* key, bool case_, hashtable::Probe* probe) {
    uint32_t t = cell::type(key);
    if (!is_key_type_allowed(t)) return -1;
    if (is_number_key(t)) {
        int32_t pos = remembered_key(m, key);
        if (pos >= 0) return pos;
        pos = hashtable::find_map_key(cell::series_extra(m), key, case_, probe);
        if (pos >= 0) last_key = LastKey{cell::series_node(m), uint32_t(pos), cell::get_int(key)};
        return pos;
    }
    Cell k = search_key(key);
    int32_t pos = hashtable::find_map_key(cell::series_extra(m), &k, case_, probe);
    if (pos != -2) return pos;
    return hashtable::find(cell::series_extra(m), &k, hashtable::FindOptions{case_, false}, nullptr);
}

[[gnu::always_inline]] inline int32_t find_key(const Cell* m, const Cell* key, bool case_) {
    hashtable::Probe unused;
    return find_key(m, key, case_, &unused);
}

// The live value cell of the key, or null.
[[gnu::always_inline]] inline const Cell* live_value(const Cell* m, const Cell* key, bool case_) {
    int32_t pos = find_key(m, key, case_);
    if (pos < 0) return nullptr;
    const Cell* v = pairs_of(m) + pos + 1;
    return is_live(v) ? v : nullptr;
}

// A key found takes the value in its value cell (a removed pair's comes
// back to life).
[[gnu::always_inline]] inline void write_value(const Cell* m, const Cell* slot, const Cell* value) {
    SeriesBuffer* b = node::buffer(cell::series_node(m));
    Cell* held = series::writable_cells(b) + (slot - series::cells(b));
    if (!is_live(held)) table_of(m)->count++;
    *held = *value;
    cell::clear_flag(held);
}

// A new key takes the bucket where its lookup ended: storing the key copies
// a series and appends to the pair block, which leave the table as it was.
// A key found has its value cell written in place: nothing between the
// lookup and the store allocates or moves the pair block.
[[gnu::always_inline]] inline void store(const Cell* m, const Cell* key, const Cell* value, bool case_, const Cell* path) {
    if (!is_key_type_allowed(cell::type(key))) bad_key(key, path);
    hashtable::Probe probe{0, 0, -1};
    int32_t pos = find_key(m, key, case_, &probe);
    if (pos >= 0) {
        write_value(m, pairs_of(m) + pos + 1, value);
        return;
    }
    Cell k = *key, v = *value;  // either may lie in the pair block, which may move
    cell::clear_flag(&v);
    normalize_key(&k, path);
    cell::clear_flag(&k);
    uint32_t live = table_of(m)->count, at = cells_of(m);
    Cell b = block_of(m);
    *block::append_slot(&b) = k;
    *block::append_slot(&b) = v;
    if (probe.free >= 0) hashtable::put_missed(cell::series_extra(m), probe, at);
    else hashtable::put_absent(cell::series_extra(m), at);  // find_key has just missed it
    // A rebuild on the way counts every pair the table holds, removed ones
    // too: the live count is the map's own.
    table_of(m)->count = live + 1;
}

// Room for more cells at the tail of the pair block, taken at once.
void reserve_cells(const Cell* m, uint64_t more) {
    SeriesBuffer* b = node::buffer(cell::series_node(m));
    uint64_t need = uint64_t(b->tail - b->head) + more * sizeof(Cell);
    if (need > MAX_CELLS * sizeof(Cell)) error::raise(Err::internal_no_memory);
    if (b->head + need > b->size) series::expand(b, uint32_t(need));
}

void insert_map_pairs(const Cell* m, const Cell* source, bool case_) {
    for (uint32_t pos = 0; pos + 1 < cells_of(source); pos += 2) {
        Cell k = pairs_of(source)[pos], v = pairs_of(source)[pos + 1];
        if (is_live(&v)) store(m, &k, &v, case_, nullptr);
    }
}

[[noreturn]] void bad_to(const Cell* spec) {
    Cell datatype;
    cell::make_datatype(&datatype, T_MAP);
    error::raise(Err::script_bad_to_arg, &datatype, spec);
}

// make and to: a map from pairs, a copy of a map, or (make only) an empty map
// with room for a number of pairs.
const Cell* construct(Cell* spec, bool numbers) {
    switch (cell::type(spec)) {
    case T_BLOCK:
    case T_PAREN:
    case T_HASH: {
        uint32_t n = uint32_t(std::max(block::get_length(spec), 0));
        if (n % 2) error::raise(Err::script_invalid_arg, spec);
        Cell pairs = *spec;
        make_empty(&answer, n);
        insert_pairs(&answer, &pairs, false);
        return &answer;
    }
    case T_INTEGER:
    case T_FLOAT: {
        if (!numbers) bad_to(spec);
        int32_t n = hash::whole_number(spec);
        if (n < 0) error::raise(Err::script_out_of_range, spec);
        make_empty(&answer, uint32_t(n) * 2);
        return &answer;
    }
    case T_MAP: return copy(spec, nullptr, false, nullptr);
    default: bad_to(spec);
    }
}

bool is_field(uint32_t field, words::Symbol s) { return symbol::resolve(field) == symbol::resolve(words::symbol(s)); }

// The key as reflect, find and foreach give it back: a set-word as a word!.
Cell given_key(const Cell* key) {
    Cell k = *key;
    cell::clear_flag(&k);
    if (cell::type(&k) == T_SET_WORD) cell::set_type(&k, T_WORD);
    return k;
}

// select_number of a key the table must find (out of line: the common
// answer needs none of the registers the lookup takes).
[[gnu::noinline]] bool select_looked_up(const Cell* map, const Cell* key, Cell* out) {
    const Cell* v = live_value(map, key, false);
    *out = v ? *v : statics::none_cell;
    return true;
}

}  // namespace

// ---- cells and keys --------------------------------------------------------------

void init_cell(Cell* c, const Cell* block, Node table) {
    Node pairs = block ? cell::series_node(block) : series::new_cells(2);
    hashtable::record(table)->keys = pairs;
    *c = Cell{T_MAP, 0, pairs, table};
}

void make_empty(Cell* c, uint32_t capacity) {
    if (capacity > MAX_CELLS) error::raise(Err::internal_no_memory);
    if (capacity == 0) capacity = 2;
    Cell b;
    cell::make_series(&b, T_BLOCK, series::new_cells(capacity));
    init_cell(c, &b, hashtable::make(capacity / 2, &b, hashtable::KIND_MAP, 0));
}

bool is_key_type_allowed(uint32_t type) { return has(KEY_TYPES, type); }

void normalize_key(Cell* key, const Cell* path) {
    uint32_t t = cell::type(key);
    if (has(SERIES_KEYS, t)) {
        Cell original = *key;
        *key = *actions::copy_dispatch(&original, nullptr, false, nullptr);
    } else if (has(WORD_KEYS, t)) {
        cell::set_type(key, T_SET_WORD);
    } else if (!has(SCALAR_KEYS, t)) {
        bad_key(key, path);
    }
}

// ---- storing and reading -----------------------------------------------------------

void put_pair(const Cell* map, const Cell* key, const Cell* value, bool case_) {
    store(map, key, value, case_, nullptr);
}

void insert_pairs(const Cell* map, const Cell* pairs, bool case_) {
    Cell m = *map, source = *pairs;
    if (cell::type(&source) == T_MAP) return insert_map_pairs(&m, &source, case_);
    uint32_t first = uint32_t(std::max(cell::series_index(&source), 0));
    uint32_t n = uint32_t(std::max(block::get_length(&source), 0));
    if (n % 2) error::raise(Err::script_invalid_arg, &source);
    reserve_cells(&m, n);
    for (uint32_t i = 0; i < n; i += 2) {
        Cell k = *block::cell_at(&source, first + i), v = *block::cell_at(&source, first + i + 1);
        store(&m, &k, &v, case_, nullptr);
    }
}

const Cell* get(const Cell* map, const Cell* key, bool case_) { return live_value(map, key, case_); }

bool select_number(const Cell* map, const Cell* key, Cell* out) {
    if (cell::type(map) != T_MAP || !is_number_key(cell::type(key))) return false;
    const Cell* v = remembered_value(map, key);
    if (!v) return select_looked_up(map, key, out);
    *out = is_live(v) ? *v : statics::none_cell;
    return true;
}

bool put_remembered(const Cell* map, const Cell* key, const Cell* value) {
    if (cell::type(map) != T_MAP || !is_number_key(cell::type(key))) return false;
    const Cell* slot = remembered_value(map, key);
    if (!slot) return false;
    write_value(map, slot, value);
    return true;
}

bool put_number(const Cell* map, const Cell* key, const Cell* value) {
    if (cell::type(map) != T_MAP || !is_number_key(cell::type(key))) return false;
    if (const Cell* slot = remembered_value(map, key)) write_value(map, slot, value);
    else store(map, key, value, false, nullptr);
    return true;
}

uint32_t count(const Cell* map) { return table_of(map)->count; }

Cell* push_copy(const Cell* map) {
    Cell m = *map;
    return stack::push(copy(&m, nullptr, false, nullptr));
}

bool set_loop_words(const Cell* words, Cell* map) {
    uint32_t first = uint32_t(cell::series_index(words));
    // A body that shortened the words block leaves no words past its tail.
    if (first + 2 > block::buffer_length(words)) error::raise(Err::script_invalid_arg, &statics::none_cell);
    Cell w[2] = {*block::cell_at(words, first), *block::cell_at(words, first + 1)};
    for (const Cell& word : w) {
        if (!has(WORD_KEYS, cell::type(&word))) error::raise(Err::script_invalid_arg, &word);
    }
    uint32_t pos = cell::series_index(map);
    while (pos + 1 < cells_of(map) && !is_live(pairs_of(map) + pos + 1)) pos += 2;
    cell::set_series_index(map, pos);
    if (pos + 1 >= cells_of(map)) return false;
    Cell key = given_key(pairs_of(map) + pos), value = pairs_of(map)[pos + 1];
    word::set_value(&w[0], &key);
    word::set_value(&w[1], &value);
    return true;
}

// ---- the literal ---------------------------------------------------------------------

bool is_pair_list(const Cell* cells, uint32_t n) {
    if (n % 2) return false;
    for (uint32_t i = 0; i < n; i += 2) {
        if (!is_key_type_allowed(cell::type(cells + i))) return false;
    }
    return true;
}

void from_literal(Cell* c) {
    Cell pairs, m;
    cell::make_series(&pairs, T_BLOCK, cell::series_node(c));
    make_empty(&m, block::buffer_length(&pairs));
    insert_pairs(&m, &pairs, false);
    cell::set_series_index(c, 0);
    cell::set_series_node(c, cell::series_node(&m));
    cell::set_series_extra(c, cell::series_extra(&m));
}

// ---- make, to, copy, clear -------------------------------------------------------------

const Cell* make(Cell*, Cell* spec, uint32_t) { return construct(spec, true); }

const Cell* to(Cell*, Cell* spec, uint32_t) { return construct(spec, false); }

namespace {

// Copies the nested series of every live cell (deep alone), or of the values
// whose type is in types.
void copy_nested(const Cell* m, bool deep, Cell* types) {
    Cell b = block_of(m);
    if (types) return block::copy_by_types(&b, 1, cells_of(m), 2, types, deep);
    for (uint32_t i = 0; i < cells_of(m); i++) {
        Cell c = pairs_of(m)[i];
        if (!is_live(&c) || !types::is_series(cell::type(&c))) continue;
        Cell copy = *actions::copy_dispatch(&c, nullptr, true, nullptr);
        series::writable_cells(node::buffer(cell::series_node(m)))[i] = copy;
    }
}

}  // namespace

// The pair block is copied whole, removed pairs included, so the copied table
// holds the same positions.
const Cell* copy(Cell* map, Cell*, bool deep, Cell* types) {
    Cell source = *map;
    Node pairs = series::copy_buffer(node::buffer(cell::series_node(&source)));
    Node table = hashtable::copy(cell::series_extra(&source));
    Cell result{T_MAP, 0, pairs, table};
    hashtable::record(table)->keys = pairs;
    if (deep || types) {
        if (cycles::find(cell::series_node(&source))) {
            cycles::reset();
            error::raise(Err::internal_no_cycle);
        }
        cycles::Scope scope;
        cycles::push(cell::series_node(&source));
        copy_nested(&result, deep, types);
    }
    answer = result;
    return &answer;
}

const Cell* clear(Cell* map) {
    hashtable::clear(cell::series_extra(map));
    SeriesBuffer* b = node::buffer(cell::series_node(map));
    b->tail = b->head;
    return map;
}

// ---- lookup actions ----------------------------------------------------------------------

const Cell* find(Cell* map, Cell* key, Cell*, bool, bool case_, bool, bool, Cell*, Cell*, bool, bool, bool,
                 bool) {
    int32_t pos = find_key(map, key, case_);
    if (pos < 0 || !is_live(pairs_of(map) + pos + 1)) return &statics::none_cell;
    answer = given_key(pairs_of(map) + pos);
    return &answer;
}

const Cell* select(Cell* map, Cell* key, Cell*, bool, bool case_, bool, bool, Cell*, Cell*, bool, bool) {
    const Cell* v = live_value(map, key, case_);
    return v ? v : &statics::none_cell;
}

int32_t length(Cell* map) { return int32_t(count(map)); }

const Cell* put(Cell* map, Cell* key, Cell* value, bool case_) {
    store(map, key, value, case_, nullptr);
    return value;
}

// A removed pair stays in the table, so that storing its key again finds it.
const Cell* remove(Cell* map, Cell*, Cell* key) {
    if (!key) error::raise(Err::script_missing_arg);
    int32_t pos = find_key(map, key, true);
    if (pos >= 0 && is_live(pairs_of(map) + pos + 1)) {
        series::writable_cells(node::buffer(cell::series_node(map)))[pos + 1] = Cell{0, 0, 0, 0};
        table_of(map)->count--;
    }
    return map;
}

// A get answers the value cell itself, so that a set path changing a part of
// it (a time's hour) can put the changed value back.
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool case_,
                      bool, bool, bool) {
    if (!value) {
        const Cell* v = live_value(parent, element, case_);
        return v ? v : &statics::none_cell;
    }
    store(parent, element, value, case_, path);
    return value;
}

// ---- reflect -----------------------------------------------------------------------------

namespace {

enum Fields : uint32_t { KEYS = 1, VALUES = 2 };

// A new block of the live keys (set-words given back as words), values, or
// both in pairs (keys as stored, each starting a new line).
Cell* live_cells(const Cell* m, uint32_t fields, Cell* b) {
    bool both = fields == (KEYS | VALUES);
    block::write_cell(b, int32_t(count(m) * (both ? 2 : 1)));
    for (uint32_t pos = 0; pos + 1 < cells_of(m); pos += 2) {
        Cell k = both ? pairs_of(m)[pos] : given_key(pairs_of(m) + pos), v = pairs_of(m)[pos + 1];
        if (!is_live(&v)) continue;
        if (both) k.header |= HDR_NEW_LINE;
        if (fields & KEYS) *block::append_slot(b) = k;
        if (fields & VALUES) *block::append_slot(b) = v;
    }
    return b;
}

}  // namespace

void body_of(const Cell* map, Cell* out) { live_cells(map, KEYS | VALUES, out); }

// The block is made on the value stack, which keeps it while the caller
// copies it.
const Cell* reflect(Cell* map, uint32_t field) {
    if (is_field(field, words::S_words)) return live_cells(map, KEYS, stack::push_slot());
    if (is_field(field, words::S_values)) return live_cells(map, VALUES, stack::push_slot());
    if (is_field(field, words::S_body)) return live_cells(map, KEYS | VALUES, stack::push_slot());
    error::raise(Err::internal_not_done);
}

// ---- form and mold ---------------------------------------------------------------------

namespace {


// The position of the last live pair, or -1.
int32_t last_live(const Cell* m) {
    for (int32_t pos = int32_t(cells_of(m)) - 2; pos >= 0; pos -= 2) {
        if (is_live(pairs_of(m) + pos + 1)) return pos;
    }
    return -1;
}

struct PairStyle {
    bool only, all, flat, leading;
    int32_t level;
};

// Each live pair as its key, a space and its value: on lines of their own,
// indented to the level, or (flat) separated by spaces.
int32_t write_pairs(Cell* m, Cell* buffer, PairStyle s, Cell* part, int32_t limit) {
    int32_t last = last_live(m);
    if (last < 0) return limit;
    bool indenting = !s.flat && !s.only;
    const char* separator = s.flat ? " " : "\n";
    if (indenting && s.leading) limit = datatype::append_cstr(buffer, "\n", limit);
    cycles::Scope scope;
    cycles::push(cell::series_node(m));
    for (int32_t pos = 0; pos <= last; pos += 2) {
        if (part && limit < 1) break;
        Cell k = pairs_of(m)[pos], v = pairs_of(m)[pos + 1];
        if (!is_live(&v)) continue;
        if (indenting) limit = mold::indent(buffer, s.level, limit);
        limit = actions::mold_dispatch(&k, buffer, false, s.all, s.flat, part, limit, s.level);
        limit = datatype::append_cstr(buffer, " ", limit);
        limit = actions::mold_dispatch(&v, buffer, false, s.all, s.flat, part, limit, s.level);
        if (indenting || pos < last) limit = datatype::append_cstr(buffer, separator, limit);
    }
    return limit;
}

}  // namespace

int32_t form(Cell* map, Cell* buffer, Cell* part, int32_t limit) {
    return write_pairs(map, buffer, PairStyle{true, false, false, false, 0}, part, limit);
}

int32_t mold(Cell* map, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    if (cycles::mold_marker(map, buffer, &limit, true)) return limit;
    if (!only) limit = datatype::append_cstr(buffer, "#[", limit);
    limit = write_pairs(map, buffer, PairStyle{only, all, flat, true, indent + 1}, part, limit);
    if (only) return limit;
    if (count(map) > 0 && indent >= 1 && !flat) limit = mold::indent(buffer, indent, limit);
    return datatype::append_cstr(buffer, "]", limit);
}

// ---- compare -----------------------------------------------------------------------------

namespace {

// Some pair of m keyed like the key (every match without regard to case is
// tried) has a value equal to v under the op.
bool has_equal_pair(const Cell* m, const Cell* key, Cell* v, int32_t op) {
    bool strict = op == actions::OP_STRICT_EQUAL;
    Cell k = search_key(key);
    hashtable::FindOptions o{strict, false};
    hashtable::Cursor cursor;
    for (int32_t pos = hashtable::find(cell::series_extra(m), &k, o, &cursor); pos >= 0;
         pos = hashtable::find_next(cell::series_extra(m), &k, o, &cursor)) {
        Cell other = pairs_of(m)[pos + 1];
        if (is_live(&other) && actions::compare(v, &other, strict ? op : actions::OP_EQUAL)) return true;
        if (strict) return false;
    }
    return false;
}

int32_t compare_pairs(const Cell* a, const Cell* b, int32_t op) {
    if (cycles::find(cell::series_node(a))) return cycles::find(cell::series_node(b)) ? 0 : 1;
    cycles::Scope scope;
    cycles::push(cell::series_node(a));
    cycles::push(cell::series_node(b));
    for (uint32_t pos = 0; pos + 1 < cells_of(a); pos += 2) {
        Cell k = pairs_of(a)[pos], v = pairs_of(a)[pos + 1];
        if (is_live(&v) && !has_equal_pair(b, &k, &v, op)) return 1;
    }
    return 0;
}

}  // namespace

int32_t compare(Cell* map1, Cell* map2, int32_t op) {
    if (cell::type(map2) != T_MAP) return actions::NOT_COMPARABLE;
    switch (op) {
    case actions::OP_SORT:
    case actions::OP_SORT_CASE: return cell::series_node(map1) < cell::series_node(map2) ? -1 : cell::series_node(map1) > cell::series_node(map2) ? 1 : 0;
    case actions::OP_EQUAL:
    case actions::OP_NOT_EQUAL:
    case actions::OP_STRICT_EQUAL:
    case actions::OP_SAME:
    case actions::OP_FIND: break;
    default: return actions::NOT_COMPARABLE;
    }
    if (cell::series_node(map1) == cell::series_node(map2) && cell::series_index(map1) == cell::series_index(map2)) return 0;
    if (op == actions::OP_SAME) return -1;
    if (count(map1) != count(map2)) return 1;
    return compare_pairs(map1, map2, op);
}

// ---- registration ------------------------------------------------------------------------

void register_type() {
    datatype::register_({.id = T_MAP, .name = "map!", .make = make, .reflect = reflect, .to = to, .form = form,
                         .mold = mold, .eval_path = eval_path, .compare = compare, .clear = clear, .copy = copy,
                         .find = find, .is_length = length, .put = put, .remove = remove, .select = select});
}

}  // namespace map
}  // namespace zel
