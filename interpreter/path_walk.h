// The walk of a path: from the value of its head word, each element selects
// from the value before through that value's eval-path action; a set path
// stores at its last element.
//
// Each step works on a copy of the value it selects. A set whose last step
// changes a scalar in place (the hour of a time!, a pair!'s x ...) changes
// the walk's copy; the walk puts the changed copy back where the step before
// found it: the head word, a field of an object, or a cell of an any-block.
// It keeps that place as node handles and indexes, never pointers into
// buffers, since a paren element evaluates code between the steps; and it
// roots every value it holds, since an owner's change handler evaluates code.
//
// The evaluator drives a Walk step by step (its fast paths and calls come in
// between); get and set walk a whole path with walk().
#pragma once
#include <cstdint>

#include "kernel/cell.h"
#include "kernel/temp_roots.h"

namespace zel {
namespace path_walk {

// The head word of the path from its index: empty-path when there is none,
// word-first when it is not a word!.
Cell head_word(const Cell* path);

// Element i of the path made ready as a key: a paren's value, a get-word's
// value, else the element. False on a pending exit.
bool element_at(const Cell* path, uint32_t i, Cell* element);

class Walk {
public:
    // A walk from the head word's value (unset-path when it is unset). With
    // store, the walk sets that value at its last element; get tells the
    // actions the path is read, case_ that keys compare case-sensitively.
    Walk(const Cell* path, const Cell* head, const Cell* store, bool get, bool case_);
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    // Step index (from 0) through the value's eval-path action; remaining is
    // how many elements follow this one.
    void step(Cell* element, uint32_t index, uint32_t remaining);
    // Takes a value the caller selected itself for the element.
    void advance(const Cell* element, const Cell* selected);
    // Whether the step must go through step(): the step before a set's last
    // records where its answer lives.
    bool locating(uint32_t remaining) const { return setting() && remaining == 1; }
    bool setting() const { return setting_; }

    Cell* current() { return &cells_[CURRENT]; }
    // The path walked (held by the walk).
    const Cell* path() const { return &cells_[PATH]; }
    // The value the step before selected from; null before the first step.
    Cell* previous() { return has_previous_ ? &cells_[PREVIOUS] : nullptr; }

private:
    enum Held : uint32_t { CURRENT, PREVIOUS, PREV_ELEMENT, STORE, HEAD, HOLDER, PATH, ELEMENT, BEFORE, HELD };
    enum Place : uint8_t { NOWHERE, WORD, FIELD, CELL };

    void locate(const Cell* element, const Cell* answer);
    void write_back(const Cell* old_value);
    bool notifies() const;

    Cell cells_[HELD];
    temp_roots::Hold hold_;
    Place place_;     // where current lives, for a set's last step
    uint32_t index_;  // FIELD: the field of the object in HOLDER; CELL: its cell in the any-block there
    bool has_previous_, get_, case_, setting_;
};

// How many elements follow element i of the path now (a paren element may
// have shortened it).
uint32_t remaining_after(const Cell* path, uint32_t i);

// A whole path read (store null) or set: its value, or the value stored, in
// result. False on a pending exit.
bool walk(const Cell* path, const Cell* store, bool case_, Cell* result);

}  // namespace path_walk
}  // namespace zel
