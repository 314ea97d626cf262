// Set operations on cell series: unique, union, intersect, exclude and
// difference, over the keys of /skip records.
//
// The result keeps the first occurrence of each key in the order met. Whether
// a key is already in the result, or in the other set, is asked of a hash
// table (the other set's own when it is a hash!, else a temporary one), so the
// operations take linear time; block keys, which tables hash by identity, are
// looked for by a linear find.
#include <algorithm>

#include "core/block.h"
#include "core/block_search.h"
#include "core/block_search_internal.h"
#include "core/dispatch.h"
#include "core/hashtable.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/type_groups.h"

namespace zel {
namespace block {

namespace {

// One set: its value, its key range and the table that answers for it.
struct Set {
    Cell* value;
    uint32_t first;  // the clamped index
    Node table;      // 0 until a lookup needs it
};

struct Operation {
    uint32_t size;  // record size
    bool case_;
    Set* result;
};

static Set set_of(Cell* value) {
    cell::set_series_index(value, uint32_t(std::clamp(cell::series_index(value), 0, int32_t(buffer_length(value)))));
    Node own = cell::type(value) == T_HASH ? cell::series_extra(value) : 0;
    return Set{value, uint32_t(cell::series_index(value)), own};
}

static bool holds_linear(const Set& s, Cell* key, const Operation& o) {
    int32_t op = o.case_ ? actions::OP_STRICT_EQUAL : actions::OP_FIND;
    for (uint32_t p = s.first; p < buffer_length(s.value); p += o.size) {
        if (equal(cell_at(s.value, p), key, op)) return true;
    }
    return false;
}

// Tables index every cell of a buffer: only the key positions of the range count.
static bool holds(Set& s, Cell* key, const Operation& o) {
    if (types::is_any_block(key)) return holds_linear(s, key, o);
    if (!s.table) s.table = hashtable::make(buffer_length(s.value), s.value, hashtable::KIND_HASH, 0);
    hashtable::FindOptions options{o.case_, !o.case_};
    hashtable::Cursor cursor;
    uint32_t end = buffer_length(s.value);
    for (int32_t p = hashtable::find(s.table, key, options, &cursor); p >= 0;
         p = hashtable::find_next(s.table, key, options, &cursor)) {
        uint32_t q = uint32_t(p);
        if (q >= s.first && q < end && (q - s.first) % o.size == 0) return true;
    }
    return false;
}

// Appends the record at p of the source (as much of it as there is) to the
// result, entering each cell in the result's table.
static void keep(const Set& source, uint32_t p, const Operation& o) {
    uint32_t end = std::min(p + o.size, buffer_length(source.value));
    for (; p < end; p++) {
        Cell* added = append_copy(o.result->value, cell_at(source.value, p));
        hashtable::put_value(o.result->table, added);
    }
}

enum Test : uint8_t { KEEP_ALL, KEEP_IN, KEEP_OUT };

// One pass over a source set, testing each key against the other set.
static void pass(const Set& source, Set* other, Test test, const Operation& o) {
    for (uint32_t p = source.first; p < buffer_length(source.value); p += o.size) {
        Cell key = *cell_at(source.value, p);
        if (test != KEEP_ALL && holds(*other, &key, o) != (test == KEEP_IN)) continue;
        if (!holds(*o.result, &key, o)) keep(source, p, o);
    }
}

// The passes of each operation: over the first set (0) or the second (1).
struct Plan {
    uint8_t passes;
    struct {
        uint8_t source;
        Test test;
    } pass[2];
};
static const Plan PLANS[] = {
    {1, {{0, KEEP_ALL}, {0, KEEP_ALL}}},  // unique
    {2, {{0, KEEP_ALL}, {1, KEEP_ALL}}},  // union
    {1, {{0, KEEP_IN}, {0, KEEP_ALL}}},   // intersect
    {1, {{0, KEEP_OUT}, {0, KEEP_ALL}}},  // exclude
    {2, {{0, KEEP_OUT}, {1, KEEP_OUT}}},  // difference
};

static uint32_t set_size(const Cell* skip) {
    if (!skip) return 1;
    if (cell::type(skip) != T_INTEGER || cell::get_int(skip) < 1) error::raise_bad_refine("skip", skip);
    return uint32_t(cell::get_int(skip));
}

}  // namespace

const Cell* set_operation(int32_t op, Cell* first, Cell* second, bool case_, Cell* skip) {
    uint32_t size = set_size(skip);
    const Plan& plan = PLANS[op - SET_UNIQUE];
    Set sets[2] = {set_of(first), {}};
    if (op != SET_UNIQUE) sets[1] = set_of(second);
    uint32_t room = get_length(sets[0].value);
    if (op == SET_UNION) room += uint32_t(get_length(sets[1].value));
    Cell result;
    write_cell(&result, int32_t(room));
    Set out{&result, 0, hashtable::make(room, &result, hashtable::KIND_HASH, 0)};
    Operation o{size, case_, &out};
    for (uint8_t i = 0; i < plan.passes; i++) {
        uint8_t source = plan.pass[i].source;
        pass(sets[source], &sets[1 - source], plan.pass[i].test, o);
    }
    bool hashed = cell::type(sets[0].value) == T_HASH;
    if (op != SET_UNIQUE) hashed = hashed || cell::type(sets[1].value) == T_HASH;
    cell::set_type(&result, hashed ? T_HASH : cell::type(sets[0].value));
    cell::set_series_extra(&result, hashed ? out.table : 0);
    *first = result;
    return first;
}

const Cell* do_set_op(int32_t op, bool case_, Cell* skip) {
    return set_operation(op, stack::arg(0), op == SET_UNIQUE ? nullptr : stack::arg(1), case_, skip);
}

}  // namespace block
}  // namespace zel
