// error!: the value of every language error, and the error catalog.
//
// An error is an object cell of type error! (w1 its context, w2 the class id
// 1, w3 0) whose context holds ten fields in a fixed order: code, type, id,
// arg1, arg2, arg3, near, where, stack, files. `type` and `id` name an entry
// of the catalog, an object of ten category objects (throw, note, syntax,
// script, math, access, reserved1, reserved2, user, internal); each category
// holds `code` (its number x 100), `type` (its title) and one member per error
// id whose value is the message template. The code of an error is category x
// 100 + the id's position among the category's ids.
//
// The catalog, the prototype error that every new error copies and the state
// the report reads (stack-trace, source-files) are objects made here at boot
// and marked by this module for the collector; the system object takes them
// over as system/catalog/errors and its state object (use_state).
#pragma once
#include <cstdint>

#include "datatypes/error_ids.h"
#include "kernel/cell.h"

namespace zel {
namespace error {

// The fields of an error, by position.
enum Field : uint32_t {
    FIELD_CODE, FIELD_TYPE, FIELD_ID, FIELD_ARG1, FIELD_ARG2, FIELD_ARG3,
    FIELD_NEAR, FIELD_WHERE, FIELD_STACK, FIELD_FILES, FIELD_COUNT,
};
// The position of the stack field, where a throw records the call stack.
inline uint32_t stack_field() { return FIELD_STACK; }

// Builds the catalog, the prototype error and the state object; needs the
// symbol table, the root block and the global context.
void init();
// Registers error! (after object!).
void register_type();

// The object values of the catalog, the prototype error and the state.
const Cell* catalog();
const Cell* prototype();
const Cell* state();
// Makes the report and fill_stack read stack-trace and source-files from
// this object (the system's state object once it exists).
void use_state(const Cell* state_object);

// The value cell of a field of an error.
Cell* field(const Cell* error, uint32_t position);
// The category object of a catalog position, the catalog's member count.
const Cell* category(uint32_t position);
uint32_t category_count();
// The catalog position of a category word, and the position of an id word in
// the category at a catalog position (from 2); -1 when the catalog has none.
int32_t find_category(const Cell* word);
int32_t find_id(uint32_t category, const Cell* word);
// Sets type and id to the words of the catalog entry (the code is kept).
void set_identity(const Cell* error, Err id);

// A new error of the id with up to three arguments (null: none). The answer
// is good until the next error is built; copy it.
const Cell* build(Err id, const Cell* arg1 = nullptr, const Cell* arg2 = nullptr,
                  const Cell* arg3 = nullptr);
// The same from a category word and an id word (raises as make error! of the
// block [category id] does when either names nothing in the catalog).
const Cell* build(const Cell* category, const Cell* id, const Cell* arg1, const Cell* arg2,
                  const Cell* arg3);

// Sets where to the word unless where already holds something.
void fill_where(const Cell* error, const Cell* word);
// Turns a call-stack position in the stack field into the block of call
// names, and records the source files, the first time an error is caught.
void fill_stack(const Cell* error);
// The symbols of the type and id words (0 when the field holds no word).
uint32_t category_symbol(const Cell* error);
uint32_t id_symbol(const Cell* error);
// The word naming argument n (from 0) of the callable being called, or none
// when the call is of no function-like value or has fewer arguments.
Cell argument_word(uint32_t n);

// The trace level of system/state/stack-trace: its integer, 0 when it holds
// anything else.
int32_t stack_trace_level();

// Evaluates a block: make error! runs a spec block of set-words with it. The
// interpreter installs it.
using Evaluator = void (*)(const Cell* block);
void set_evaluator(Evaluator eval);

// Actions (form is the report, datatypes/error_report.h).
const Cell* make(Cell* proto, Cell* spec, uint32_t type);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t index, bool case_, bool get, bool last, bool notify);
int32_t compare(Cell* value1, Cell* value2, int32_t op);

}  // namespace error
}  // namespace zel
