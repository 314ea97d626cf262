// The ownership table: assigning and releasing owners recursively (guarded by
// the cycle stack), and the notification of owners on series changes.
#include "core/ownership.h"

#include "core/context.h"
#include "core/cycles.h"
#include "core/hashtable.h"
#include "core/integer.h"
#include "core/runtime_words.h"
#include "core/type_groups.h"
#include "kernel/collector.h"
#include "kernel/memory.h"

namespace zel {
namespace ownership {

Node table_node = 0;
static DeepChangeNotifier notifier = nullptr;

void init() { table_node = hashtable::make(TABLE_ENTRIES, nullptr, hashtable::KIND_OWNERSHIP, 3); }

void set_notifier(DeepChangeNotifier n) { notifier = n; }

// How a type is owned and walked.
enum Shape : uint8_t { NOT_OWNED, SERIES, CELLS, OBJECT, IMAGE };

static Shape shape_of(uint32_t type) {
    if (types::is_any_block(type)) return CELLS;
    if (types::is_any_string(type)) return SERIES;
    switch (type) {
    case T_VECTOR: case T_BINARY: case T_BITSET: return SERIES;
    case T_OBJECT: return OBJECT;
    case T_IMAGE: return IMAGE;
    }
    return NOT_OWNED;
}

static void set_mark(Cell* value, Shape shape, bool owned) {
    uint32_t* flags;
    uint32_t bit;
    if (shape == OBJECT) {
        flags = &context::cell_of(cell::object_context(value))->header;
        bit = HDR_OWNED;
    } else if (shape == IMAGE) {
        flags = &value->header;
        bit = HDR_OWNED;
    } else {
        flags = &node::buffer(cell::series_node(value))->flags;
        bit = SER_OWNED;
    }
    *flags = owned ? *flags | bit : *flags & ~bit;
}

static bool is_marked(const Cell* value, Shape shape) {
    switch (shape) {
    case NOT_OWNED: return false;
    case OBJECT: return (context::cell_of(cell::object_context(value))->header & HDR_OWNED) != 0;
    case IMAGE: return (value->header & HDR_OWNED) != 0;
    case SERIES:
    case CELLS: break;
    }
    return (node::buffer(cell::series_node(value))->flags & SER_OWNED) != 0;
}

// Calls visit on every value the value holds: a block's cells from its
// position, an object's fields. The cells are read afresh each time, since
// visiting may grow the table but never moves the walked series. A visit
// may mark a cell (an image's owned flag): a block's cells are written.
template <class Visit>
static void walk_inside(const Cell* value, Shape shape, Visit visit) {
    bool object = shape == OBJECT;
    Node n = object ? cell::context_values(context::cell_of(cell::object_context(value))) : cell::series_node(value);
    uint32_t from = object ? 0 : uint32_t(cell::series_index(value));
    for (uint32_t i = from; i < series::length(node::buffer(n)); i++) {
        SeriesBuffer* b = node::buffer(n);
        visit((object ? series::record_cells(b) : series::writable_cells(b)) + i);
    }
}

static void assign_walk(Cell* value, const Cell* owner, const Cell* word) {
    Shape shape = shape_of(cell::type(value));
    if (shape == NOT_OWNED) return;
    Node key = cycles::node_of(value);
    if (cycles::find(key)) return;
    Cell* entry = hashtable::put(table_node, key);
    entry[0] = *value;
    entry[1] = *owner;
    entry[2] = *word;
    set_mark(value, shape, true);
    if (shape != CELLS && shape != OBJECT) return;
    cycles::push(key);
    walk_inside(value, shape, [&](Cell* c) { assign_walk(c, owner, word); });
    cycles::pop();
}

void assign(Cell* value, const Cell* owner, const Cell* word) {
    Cell o = *owner, w = *word;
    assign_walk(value, &o, &w);
}

void assign_object(Cell* value, const Cell* owner, const Cell* word) {
    Cell o = *owner;
    assign(value, &o, word);
    context::cell_of(cell::object_context(&o))->header |= HDR_OWNED;
}

void release(Cell* value) {
    Shape shape = shape_of(cell::type(value));
    if (shape == NOT_OWNED) return;
    Node key = cycles::node_of(value);
    if (cycles::find(key)) return;
    set_mark(value, shape, false);
    if (Cell* entry = hashtable::get(table_node, key)) {
        for (int i = 0; i < 3; i++) cell::make_unset(entry + i);
        hashtable::delete_(table_node, entry);
    }
    if (shape != CELLS && shape != OBJECT) return;
    cycles::push(key);
    walk_inside(value, shape, [](Cell* c) { release(c); });
    cycles::pop();
}

Cell* owner_of(Node n) {
    Cell* entry = hashtable::get(table_node, n);
    return entry ? entry + 1 : nullptr;
}

bool notify(const Cell* value, const Cell* action, const Cell* new_value, int32_t index, int32_t part) {
    if (!is_marked(value, shape_of(cell::type(value)))) return false;
    Cell* entry = hashtable::get(table_node, cycles::node_of(value));
    if (!entry) return false;
    // The handler may change the table: it gets copies.
    Cell owner = entry[1], word = entry[2];
    if (cell::object_handlers(&owner) != 0 && notifier) notifier(&owner, &word, value, action, new_value, index, part);
    return true;
}

void notify_holder(Cell* holder, const Cell* key, const Cell* old_value, const Cell* new_value) {
    if (cell::type(holder) == T_OBJECT) {
        if (number::seams.object_notify_change)
            number::seams.object_notify_change(holder, key, old_value, new_value);
        return;
    }
    int32_t index = cell::type(key) == T_INTEGER ? cell::get_int(key) - 1 : -1;
    notify(holder, words::word(words::W_set_path), new_value, index, 1);
}

void mark() { hashtable::mark(&table_node, hashtable::Marker{collector::keep, collector::mark_cells}); }

void purge() { hashtable::purge_unmarked(table_node); }

}  // namespace ownership
}  // namespace zel
