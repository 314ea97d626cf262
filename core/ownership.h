// The ownership table: an object can own series and other objects, so that a
// change to an owned series reaches the owner's deep-change handler (what the
// reactive layers build on).
//
// A record table keyed by the node of the owned thing (the series node of a
// series, the context node of an object) with three cells per entry: the
// owned value, the owner object, and the owner's field word through which it
// is owned. Owned things carry a mark so that the test on every series change
// costs one flag read when nothing is owned: SER_OWNED on a series buffer,
// HDR_OWNED on an object's context cell or on an image! cell. The table holds
// the owned values weakly: the collector purges entries whose key died.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace ownership {

constexpr uint32_t TABLE_ENTRIES = 1000;

// The table; 0 until init.
extern Node table_node;

void init();

// Records the owner for the value and, through nested blocks and object
// fields, for everything ownable it holds; a walk does not re-enter a series
// or object it is already inside.
void assign(Cell* value, const Cell* owner, const Cell* word);
// assign, then marks the owner's own context owned.
void assign_object(Cell* value, const Cell* owner, const Cell* word);
// The reverse of assign: clears the marks and drops the entries.
void release(Cell* value);
// The owner cell of the node's entry, or null; good until the table changes.
Cell* owner_of(Node n);

// Tells the owner of the changed value about the change (action word, new
// value, index and part) when the owner has a change handler. Answers
// whether the value has an owner at all.
bool notify(const Cell* value, const Cell* action, const Cell* new_value, int32_t index, int32_t part);

// A scalar changed in place through a path (a time's hour, a date's month, a
// point's x): tells whoever holds it, the object whose field (key) it is
// through on-change*, or the owner of the series it sits in (key its
// 1-based index) as a set-path change.
void notify_holder(Cell* holder, const Cell* key, const Cell* old_value, const Cell* new_value);

// The object layer's on-deep-change* protocol: owner, owner's word, changed
// value, action word, new value, index and part.
using DeepChangeNotifier = void (*)(Cell* owner, Cell* word, const Cell* target, const Cell* action,
                                    const Cell* new_value, int32_t index, int32_t part);
void set_notifier(DeepChangeNotifier notifier);

// The collector's part: marks the table (owners and words; the owned values
// are held weakly), and after marking drops the entries of dead keys.
void mark();
void purge();

}  // namespace ownership
}  // namespace zel
