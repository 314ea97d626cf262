// Symbol interning: the symbol block and its kind-2 table, whose hash is that of
// the name with ASCII letters lowered, so that every spelling of a name walks
// the same probe sequence and one walk serves the exact and the case-blind
// search.
#include "core/symbol.h"

#include <cstring>

#include "core/datatype.h"
#include "core/hashtable.h"
#include "core/murmur.h"
#include "core/string_actions.h"
#include "kernel/unicode.h"

namespace zel {
namespace symbol {

Node block_node = 0;
Node table_node = 0;

void make_tables(uint32_t n) {
    block_node = series::new_cells(n);
    Cell block;
    cell::make_series(&block, T_BLOCK, block_node);
    table_node = hashtable::make(n, &block, hashtable::KIND_WORDS, 0);
}

const uint8_t* name_of(const Cell* record, uint32_t* length) {
    SeriesBuffer* b = node::buffer(cell::symbol_name(record));
    *length = series::length(b);
    return series::head_ptr(b);
}

static uint8_t lower_ascii(uint8_t c) { return c >= 'A' && c <= 'Z' ? uint8_t(c + 32) : c; }

int compare_names(const uint8_t* a, const uint8_t* b, uint32_t length, bool exact) {
    if (exact) return std::memcmp(a, b, length);
    for (uint32_t i = 0; i < length; i++) {
        int d = int(lower_ascii(a[i])) - int(lower_ascii(b[i]));
        if (d) return d;
    }
    return 0;
}

static const Cell* key_at(Node table, int32_t position) {
    return series::cells(node::buffer(hashtable::record(table)->keys)) + position;
}

// The canonical id of the symbol at a position, so that an alias always names
// the first spelling and never another alias, whichever spelling the probe
// sequence meets first.
static uint32_t canonical_at(Node table, int32_t position) {
    int32_t alias = int32_t(cell::symbol_alias(key_at(table, position)));
    return alias > 0 ? uint32_t(alias) : uint32_t(position) + 1;
}

// Appends a record for the name and gives it the free bucket of the walk.
static uint32_t add(Node table, const hashtable::Probe& free, const uint8_t* bytes, uint32_t length,
                    uint32_t alias) {
    Node name = series::new_bytes(length + 1);
    SeriesBuffer* nb = node::buffer(name);
    std::memcpy(series::raw_bytes(nb), bytes, length);
    series::raw_bytes(nb)[length] = 0;
    nb->tail = nb->head + length;
    SeriesBuffer* kb = node::buffer(hashtable::record(table)->keys);
    uint32_t position = series::length(kb);
    Cell* c = series::append_slot(kb);
    c->header = T_SYMBOL;
    cell::set_symbol_alias(c, alias);
    cell::set_symbol_string(c, 0);
    cell::set_symbol_name(c, name);
    hashtable::take_bucket(table, free, int32_t(position));
    return position + 1;
}

// One walk: an exact match ends it, and the first spelling that matches
// without regard to case is remembered on the way as the alias of a new
// spelling (any spelling's canonical id is the same). Comparing names
// allocates nothing, so the walk keeps the arrays it fetched. Room is made
// only for a new name, and the free bucket found again if that rebuilt the
// table.
uint32_t intern_core(Node table, const uint8_t* bytes, uint32_t length) {
    uint32_t hash = hash::murmur3_ascii_lower(bytes, length);
    hashtable::Walk w = hashtable::walk_start(table, hash);
    const Cell* keys = key_at(table, 0);
    int32_t e, blind = -1;
    while (hashtable::walk_next(&w, &e)) {
        uint32_t n;
        const uint8_t* name = name_of(keys + e, &n);
        if (n != length) continue;
        bool exact = std::memcmp(name, bytes, length) == 0;
        if (!exact && (blind >= 0 || compare_names(name, bytes, length, false) != 0)) continue;
        if (exact) return uint32_t(e) + 1;
        blind = e;
    }
    if (hashtable::make_room(table)) {
        w = hashtable::walk_start(table, hash);
        while (hashtable::walk_next(&w, &e)) {}
    }
    return add(table, w.probe, bytes, length, blind < 0 ? uint32_t(-1) : canonical_at(table, blind));
}

uint32_t make_from_buffer(const uint8_t* bytes, uint32_t length) {
    return intern_core(table_node, bytes, length);
}

uint32_t intern(const char* name) {
    return make_from_buffer(reinterpret_cast<const uint8_t*>(name), uint32_t(std::strlen(name)));
}

uint32_t make_from_string(const Cell* str) {
    uint32_t length;
    Node text = utf8::from_string(str, &length);
    return make_from_buffer(series::head_ptr(node::buffer(text)), length);
}

void get_cached_string(Cell* record) {
    if (cell::symbol_string(record)) return;
    uint32_t length;
    const uint8_t* name = name_of(record, &length);
    cell::set_symbol_string(record, string::from_utf8_exact(name, length));
}

Cell* get(uint32_t id) {
    get_cached_string(record_at(id));
    return record_at(id);
}

const char* get_cstr(uint32_t id) {
    SeriesBuffer* b = node::buffer(cell::symbol_name(record_at(id)));
    if (series::room(b) < 1) b = series::expand(b, 0);
    *series::tail_ptr(b) = 0;
    return reinterpret_cast<const char*>(series::head_ptr(b));
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (cell::type(value2) != T_SYMBOL) return -2;
    get_cached_string(value1);
    get_cached_string(value2);
    Cell a, b;
    cell::make_series(&a, T_STRING, cell::symbol_string(value1));
    cell::make_series(&b, T_STRING, cell::symbol_string(value2));
    return string::compare(&a, &b, op);
}

void init() { datatype::register_({.id = T_SYMBOL, .parent = 0, .name = "symbol!", .compare = compare}); }

}  // namespace symbol
}  // namespace zel
