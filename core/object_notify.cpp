// Object change notification: the handler record an object keeps for its
// on-change* and on-deep-change* fields, and the two calling protocols.
// A handler runs like any function call; an exit it leaves travels on as the
// exception, since the assignment or series action that called it cannot
// test for one.
#include <initializer_list>

#include "core/block.h"
#include "core/context.h"
#include "core/evaluator.h"
#include "core/function.h"
#include "core/object.h"
#include "core/ownership.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "kernel/temp_roots.h"

namespace zel {
namespace object {

namespace {

enum Slot : uint32_t { ON_CHANGE = 0, ON_DEEP_CHANGE = 1 };

const Cell* handler_word(Slot s) {
    return words::word(s == ON_CHANGE ? words::W_on_change : words::W_on_deep_change);
}

inline Cell* record_cell(Node record, Slot s) { return series::record_cells(node::buffer(record)) + s; }
inline int32_t index_of(const Cell* c) { return int16_t(handler_packed(c) >> 16); }

void write_slot(Cell* c, int32_t index, uint32_t count, Node spec) {
    *c = Cell{T_PAIR, 0, (uint32_t(uint16_t(index)) << 16) | (count & 0xFFFF), spec};
}

uint32_t local_count(const Cell* fn) {
    int32_t n = function::count_refinement_args(cell::callable_spec(fn), 0, false);
    return n > 0 ? uint32_t(n) : 0;
}

Node new_record(int32_t change_index, uint32_t change_count, Node change_spec, int32_t deep_index,
                uint32_t deep_count, Node deep_spec) {
    Node record = series::new_cells(2);
    node::buffer(record)->tail = 2 * sizeof(Cell);
    write_slot(record_cell(record, ON_CHANGE), change_index, change_count, change_spec);
    write_slot(record_cell(record, ON_DEEP_CHANGE), deep_index, deep_count, deep_spec);
    return record;
}

// The handler of a slot, its cached local count refreshed when the field now
// holds another function; false when the slot has no field.
bool handler_of(const Cell* obj, Slot s, Cell* fn) {
    Cell* c = record_cell(cell::object_handlers(obj), s);
    int32_t index = index_of(c);
    if (index < 0) return false;
    *fn = *context::value_at(cell::object_context(obj), index);
    if (cell::type(fn) == T_FUNCTION && cell::callable_spec(fn) != handler_spec(c)) write_slot(c, index, local_count(fn), cell::callable_spec(fn));
    return true;
}

// The frame's name: the handler's word in the object's context.
Cell call_name(const Cell* obj, Slot s) {
    Cell name = *handler_word(s);
    cell::set_word_context(&name, cell::object_context(obj));
    cell::set_word_index(&name, uint32_t(index_of(record_cell(cell::object_handlers(obj), s))));
    return name;
}

void make_owner(Cell* obj) {
    Node ctx = cell::object_context(obj);
    for (uint32_t i = 0; i < context::word_count(context::cell_of(ctx)); i++) {
        Cell w = *context::word_at(context::cell_of(ctx), int32_t(i));
        ownership::assign_object(context::value_at(ctx, int32_t(i)), obj, &w);
    }
    context::cell_of(ctx)->header |= HDR_OWNED;
}

}  // namespace

Node build_handlers(Node ctx) {
    int32_t index[2];
    Cell fn[2];
    for (Slot s : {ON_CHANGE, ON_DEEP_CHANGE}) {
        index[s] = context::lookup_word(ctx, cell::word_symbol(handler_word(s)), true);
        if (index[s] < 0) continue;
        fn[s] = *context::value_at(ctx, index[s]);
        if (cell::type(&fn[s]) != T_FUNCTION && cell::type(&fn[s]) != T_ROUTINE) {
            Cell datatype;
            cell::make_datatype(&datatype, cell::type(&fn[s]));
            error::raise(Err::script_bad_field_set, handler_word(s), &datatype);
        }
    }
    if (index[ON_CHANGE] < 0 && index[ON_DEEP_CHANGE] < 0) return 0;
    auto count = [&](Slot s) { return index[s] < 0 ? 0u : local_count(&fn[s]); };
    auto spec = [&](Slot s) { return index[s] < 0 ? Node(0) : cell::callable_spec(&fn[s]); };
    return new_record(index[ON_CHANGE], count(ON_CHANGE), spec(ON_CHANGE), index[ON_DEEP_CHANGE],
                      count(ON_DEEP_CHANGE), spec(ON_DEEP_CHANGE));
}

void set_handlers(Cell* obj, Node ctx) {
    cell::set_object_handlers(obj, build_handlers(ctx));
    *context::owner_of(ctx) = *obj;
    if (cell::object_handlers(obj) && index_of(record_cell(cell::object_handlers(obj), ON_DEEP_CHANGE)) >= 0) make_owner(obj);
}

void notify_change(const Cell* obj, const Cell* word, const Cell* old_value, const Cell* new_value) {
    Cell o = *obj;
    Cell fn;
    if (!cell::object_handlers(&o) || !handler_of(&o, ON_CHANGE, &fn)) return;
    if (cell::type(&fn) != T_FUNCTION) error::raise(Err::script_invalid_obj_evt, &fn);
    Cell args[3] = {*word, *old_value, *new_value};
    if (cell::word_context(&args[0]) != cell::object_context(&o)) context::bind_word(cell::object_context(&o), &args[0]);
    Cell name = call_name(&o, ON_CHANGE);
    temp_roots::Hold hold(&o);
    Cell* top = stack::reg.top;
    evaluator::invoke_raising(&fn, &name, args, 3);
    stack::reg.top = top;
}

void notify_deep_change(const Cell* obj, const Cell* word, const Cell* target, const Cell* action,
                        const Cell* new_value, int32_t index, int32_t part) {
    Cell o = *obj;
    if (!cell::object_handlers(&o)) error::raise(Err::script_invalid_obj_evt, &o);
    Cell fn;
    if (!handler_of(&o, ON_DEEP_CHANGE, &fn) || cell::type(&fn) != T_FUNCTION) return;
    Cell args[7] = {o, *word, *target, *action, new_value ? *new_value : statics::none_cell};
    cell::make_integer(&args[5], index);
    cell::make_integer(&args[6], part);
    Cell name = call_name(&o, ON_DEEP_CHANGE);
    Cell* top = stack::reg.top;
    evaluator::invoke_raising(&fn, &name, args, 7);
    stack::reg.top = top;
}

}  // namespace object
}  // namespace zel
