// object!: a context of words and values with an identity. Objects are made
// from a spec block (its set-words become the fields and the block is
// evaluated in the object), from a prototype object, or empty; they are
// copied, reached by path, select and put, reflected on, formed, molded and
// compared here. error! and port! are objects built on the same routines.
//
// An object cell: w1 the node of its context (kind object; the context's
// owner cell holds a copy of the object), w2 its class id, w3 the node of its
// change-handler record or 0 (core/object_notify.cpp). Objects made the same
// way from the same prototype share a class id; a new id is taken from a
// counter that starts at FIRST_CLASS and is incremented before use.
//
// The changed mark is HDR_ASSIGNED on a field's word cell in the context's
// symbol block: set by assignments through words, paths and set, listed by
// reflect 'changed, cleared by modify 'changed none and by make.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace object {

constexpr uint32_t FIRST_CLASS = 1000000;
// Takes the next class id.
uint32_t new_class_id();

// ---- cells and fields ----------------------------------------------------------
// Turns the cell into a new empty object with room for n words, class id 0.
Cell* write_cell(Cell* c, uint32_t n);

// The field index of the word in the object (any spelling), or -1.
int32_t lookup_word(const Cell* obj, const Cell* word);
// The field's value cell, or the shared none cell when there is no such word.
const Cell* get_word_cell(const Cell* obj, const Cell* word);
Cell* get_values_at(Node ctx, int32_t index);
uint32_t count_words(const Cell* obj);

// ---- construction ------------------------------------------------------------------
// The construct rule: each set-word takes the value after its run of
// set-words, unevaluated (logic and none words read as their values unless
// only); a prototype is copied deep first.
const Cell* make_new(const Cell* spec, const Cell* proto, bool only);
// The object branch of set.
void set_values(const Cell* obj, const Cell* value, bool any, bool only, bool some);

// Writes the fields into the buffer string; answers the part left.
int32_t mold_into(const Cell* obj, Cell* buffer, bool only, bool all, bool flat, Cell* argument, int32_t part,
                  bool indent, int32_t level, bool mold);

// ---- actions ---------------------------------------------------------------------
const Cell* make(Cell* proto, Cell* spec, uint32_t type);
const Cell* reflect(Cell* value, uint32_t field_symbol);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t index, bool case_, bool get, bool last, bool notify);
int32_t compare(Cell* value1, Cell* value2, int32_t op);
const Cell* copy(Cell* value, Cell* part, bool deep, Cell* types);
const Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
                   Cell* with, Cell* skip, bool last, bool reverse);
const Cell* put(Cell* series, Cell* key, Cell* value, bool case_);
// Fields are words, matched as words always are: /case is for ports to use.
const Cell* modify(Cell* target, Cell* field, Cell* value, bool case_ = false);

// Registers object! and installs the change notifiers.
void init();
// Makes word assignment and ownership call the object handlers.
void install_notifiers();

// ---- change handlers (object_notify.cpp) -----------------------------------------
// The record: a block of two cells, on-change* then on-deep-change*; each
// keeps the field index (shifted left 16, -1 for none) with the handler's
// local count in w2 and the node of the handler's spec in w3.
constexpr uint32_t handler_packed(const Cell* c) { return c->w2; }
constexpr Node handler_spec(const Cell* c) { return c->w3; }
Node build_handlers(Node ctx);
// Stores the record in the object (and the context's owner cell); an object
// with on-deep-change* becomes the owner of its series.
void set_handlers(Cell* obj, Node ctx);

// The on-change* protocol: word, old value and new value.
void notify_change(const Cell* obj, const Cell* word, const Cell* old_value, const Cell* new_value);
// The on-deep-change* protocol (new_value null: none).
void notify_deep_change(const Cell* obj, const Cell* word, const Cell* target, const Cell* action,
                        const Cell* new_value, int32_t index, int32_t part);

}  // namespace object
}  // namespace zel
