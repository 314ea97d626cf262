// Slots of values selected by a path walk, and writing a changed value back.
#include "interpreter/path_slot.h"

#include <cstring>

#include "core/block.h"
#include "core/context.h"
#include "core/hashtable.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "kernel/memory.h"

namespace zel {
namespace path_slot {

Slot located(const Cell* parent, const Cell* element, const Cell* answer) {
    Slot s = nowhere();
    if (cell::type(parent) == T_OBJECT) {
        // The object's eval-path binds the element to the object's context.
        if (cell::type(element) != T_WORD || element->w1 != parent->w1 || int32_t(element->w3) < 0) return s;
        if (context::slot(parent->w1, int32_t(element->w3)) != answer) return s;
        return Slot{FIELD, nullptr, *parent, element->w3};
    }
    // A map answers the value cell of its pair block.
    if (!types::is_any_block(parent) && cell::type(parent) != T_MAP) return s;
    SeriesBuffer* b = node::buffer(cell::series_node(parent));
    const Cell* first = series::cells(b);
    if (answer < first || answer >= first + series::length(b)) return s;
    return Slot{CELL, nullptr, *parent, uint32_t(answer - first)};
}

static bool same_bits(const Cell* a, const Cell* b) { return std::memcmp(a, b, sizeof(Cell)) == 0; }

// A hash! indexes its cells by value: the changed cell is taken out of the
// table and put in again.
static void write_cell(const Cell* series, uint32_t index, const Cell* old_value, const Cell* value) {
    SeriesBuffer* b = node::buffer(cell::series_node(series));
    if (index >= series::length(b)) return;
    Cell* at = series::cells(b) + index;
    if (!same_bits(at, old_value)) return;
    Node table = cell::type(series) == T_HASH ? series->w3 : 0;
    if (table) hashtable::delete_(table, at);
    *at = *value;
    if (table) hashtable::put_value(table, at);
}

void write_back(const Slot& slot, const Cell* old_value, const Cell* value) {
    switch (slot.kind) {
    case WORD:
        if (same_bits(word::get_value(slot.word), old_value)) word::set_value(slot.word, value);
        break;
    case FIELD: {
        Cell* at = context::slot(slot.holder.w1, int32_t(slot.index));
        if (at && same_bits(at, old_value)) *at = *value;
        break;
    }
    case CELL: write_cell(&slot.holder, slot.index, old_value, value); break;
    case NOWHERE: break;
    }
}

}  // namespace path_slot
}  // namespace zel
