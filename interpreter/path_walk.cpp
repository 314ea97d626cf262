// The path walk: the steps through the eval-path actions, and putting a
// changed scalar back where it was selected from.
#include "interpreter/path_walk.h"

#include <cstring>

#include "core/block.h"
#include "core/context.h"
#include "core/dispatch.h"
#include "core/exits.h"
#include "core/hashtable.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "interpreter/eval.h"
#include "kernel/memory.h"

namespace zel {
namespace path_walk {

static uint32_t live_tail(const Cell* path) { return series::length(node::buffer(cell::series_node(path))); }

static bool same_bits(const Cell* a, const Cell* b) { return std::memcmp(a, b, sizeof(Cell)) == 0; }

Cell head_word(const Cell* path) {
    uint32_t start = uint32_t(cell::series_index(path));
    if (start >= live_tail(path)) error::raise(Err::script_empty_path);
    Cell head = *block::cell_at(path, start);
    if (cell::type(&head) != T_WORD) error::raise(Err::script_word_first, path);
    return head;
}

bool element_at(const Cell* path, uint32_t i, Cell* element) {
    *element = *block::cell_at(path, i);
    if (cell::type(element) == T_PAREN) {
        interp::eval(words::word(words::W_tag_anon), element, false);
        if (exits::pending()) return false;
        *element = *stack::top();
        stack::pop(1);
    } else if (cell::type(element) == T_GET_WORD) {
        *element = *word::get_value(element);
    }
    return true;
}

Walk::Walk(const Cell* path, const Cell* head, const Cell* store, bool get, bool case_)
    : cells_{*word::get_value(head), statics::none_cell, *head, store ? *store : statics::none_cell, *head,
             statics::none_cell, *path, statics::none_cell, statics::none_cell},
      hold_(cells_, HELD), place_(WORD), index_(0), has_previous_(false), get_(get), case_(case_),
      setting_(store != nullptr) {
    if (cell::type(current()) == T_UNSET) error::raise(Err::script_unset_path, &cells_[PATH], &cells_[HEAD]);
}

// Whether the last step of a set tells an owner of the change: the step
// before selected an object's field (the object has handlers) or a series'
// cell.
bool Walk::notifies() const {
    const Cell* prev = &cells_[PREVIOUS];
    if (cell::type(prev) == T_OBJECT) return cell::object_handlers(prev) != 0 && cell::type(&cells_[PREV_ELEMENT]) == T_WORD;
    return types::is_any_block(cell::type(prev));
}

// The element is held while the action runs, and comes back as the action
// left it (an object's eval-path binds a word element to the object).
void Walk::step(Cell* element, uint32_t index, uint32_t remaining) {
    bool last = remaining == 0, set_here = setting_ && last;
    bool notify = set_here && has_previous_ && notifies();
    cells_[ELEMENT] = *element;
    cells_[BEFORE] = cells_[CURRENT];
    const Cell* answer = actions::eval_path_dispatch(current(), &cells_[ELEMENT],
                                                     set_here ? &cells_[STORE] : nullptr, &cells_[PATH],
                                                     previous(), &cells_[PREV_ELEMENT], int32_t(index), case_,
                                                     get_, last, notify);
    if (locating(remaining)) locate(&cells_[ELEMENT], answer);
    Cell selected = *answer;
    *element = cells_[ELEMENT];
    if (set_here && !same_bits(&cells_[BEFORE], current())) write_back(&cells_[BEFORE]);
    advance(element, &selected);
}

void Walk::advance(const Cell* element, const Cell* selected) {
    cells_[PREVIOUS] = cells_[CURRENT];
    has_previous_ = true;
    cells_[PREV_ELEMENT] = *element;
    cells_[CURRENT] = *selected;
}

// Where the answer of the step before a set's last lives, from where the
// step found it (read before anything evaluates).
void Walk::locate(const Cell* element, const Cell* answer) {
    const Cell* parent = current();
    place_ = NOWHERE;
    if (cell::type(parent) == T_OBJECT) {
        // The object's eval-path binds the element to the object's context.
        if (cell::type(element) != T_WORD || cell::word_context(element) != cell::object_context(parent) || cell::word_index(element) < 0) return;
        if (context::slot(cell::object_context(parent), cell::word_index(element)) != answer) return;
        place_ = FIELD;
        index_ = cell::word_index(element);
    } else {
        // A map answers the value cell of its pair block.
        if (!types::is_any_block(parent) && cell::type(parent) != T_MAP) return;
        SeriesBuffer* b = node::buffer(cell::series_node(parent));
        const Cell* first = series::cells(b);
        if (answer < first || answer >= first + series::length(b)) return;
        place_ = CELL;
        index_ = uint32_t(answer - first);
    }
    cells_[HOLDER] = *parent;
}

// A hash! indexes its cells by value: the changed cell is taken out of the
// table and put in again.
static void write_cell(const Cell* series, uint32_t index, const Cell* old_value, const Cell* value) {
    SeriesBuffer* b = node::buffer(cell::series_node(series));
    if (index >= series::length(b)) return;
    Cell* at = series::writable_cells(b) + index;
    if (!same_bits(at, old_value)) return;
    Node table = cell::type(series) == T_HASH ? cell::series_extra(series) : 0;
    if (table) hashtable::delete_(table, at);
    *at = *value;
    if (table) hashtable::put_value(table, at);
}

// The changed value goes back only while its place still exists and still
// holds the old value: a paren element may have shortened the block
// meanwhile, and an on-change* handler that heard of the change may have
// stored a value of its own, which stays.
void Walk::write_back(const Cell* old_value) {
    const Cell* value = current();
    switch (place_) {
    case WORD:
        if (same_bits(word::get_value(&cells_[HEAD]), old_value)) word::set_value(&cells_[HEAD], value);
        break;
    case FIELD: {
        Cell* at = context::slot(cell::object_context(&cells_[HOLDER]), int32_t(index_));
        if (at && same_bits(at, old_value)) *at = *value;
        break;
    }
    case CELL: write_cell(&cells_[HOLDER], index_, old_value, value); break;
    case NOWHERE: break;
    }
}

uint32_t remaining_after(const Cell* path, uint32_t i) {
    uint32_t tail = live_tail(path);
    return tail > i + 1 ? tail - i - 1 : 0;
}

bool walk(const Cell* path_value, const Cell* store, bool case_, Cell* result) {
    Cell head = head_word(path_value);
    Walk w(path_value, &head, store, store == nullptr, case_);
    const Cell* path = w.path();
    uint32_t start = uint32_t(cell::series_index(path));
    for (uint32_t i = start + 1; i < live_tail(path); i++) {
        Cell element;
        if (!element_at(path, i, &element)) return false;
        w.step(&element, i - start - 1, remaining_after(path, i));
    }
    *result = *w.current();
    return true;
}

}  // namespace path_walk
}  // namespace zel
