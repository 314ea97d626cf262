// native!, action! and op!: the native table, making the values, reflection,
// text and comparison.
#include "core/native.h"

#include <cstring>

#include "core/callable_internal.h"
#include "core/compare_common.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/evaluator.h"
#include "core/function.h"
#include "core/raise.h"
#include "core/roots.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "kernel/runtime.h"

namespace zel {

namespace natives {

Table table{{}, 1};

void register_(uint32_t count, const Routine* list) {
    for (uint32_t i = 0; i < count; i++) {
        if (table.fill > TABLE_SLOTS) runtime::error_report(101, reinterpret_cast<uintptr_t>(&register_));
        table.slots[table.fill++ - 1] = list[i];
    }
}

}  // namespace natives

// The cell the make and reflect actions answer; the dispatch layer copies it
// at once.
static Cell made;

static Cell datatype_cell(uint32_t type) {
    Cell c;
    cell::make_datatype(&c, type);
    return c;
}

// The spec block of a callable, at its head.
static Cell spec_block(const Cell* callable) {
    Cell b;
    cell::make_series(&b, T_BLOCK, cell::callable_spec(callable));
    return b;
}

namespace callable {

int32_t mold_spec(const Cell* callable, Cell* buffer, bool all, bool flat, Cell* part, int32_t limit,
                  int32_t indent) {
    Cell spec = spec_block(callable);
    return actions::mold_dispatch(&spec, buffer, false, all, flat, part, limit, indent);
}

}  // namespace callable

// "make native! [" or "make action! [", the spec, "]".
static int32_t mold_made(const char* opening, Cell* value, Cell* buffer, bool all, bool flat, Cell* part,
                         int32_t limit, int32_t indent) {
    limit = datatype::append_text(buffer, opening, uint32_t(std::strlen(opening)), limit);
    limit = callable::mold_spec(value, buffer, all, flat, part, limit, indent);
    return datatype::append_text(buffer, "]", 1, limit);
}

// Callables compare by their index under equality and the sort orders.
static int32_t compare_w1(Cell* value1, Cell* value2, int32_t op, uint32_t type) {
    if (cell::type(value2) != type || !compare_common::is_identity_op(op)) return -2;
    return compare_common::three_way(int32_t(cell::callable_index(value1)), int32_t(cell::callable_index(value2)));
}

namespace native {

void write_cell(Cell* c, uint32_t type, uint32_t index, const Cell* spec) {
    Node extra = series::new_cells(EXTRA_CELLS);
    SeriesBuffer* b = node::buffer(extra);
    Cell* cells = series::record_cells(b);
    cell::make_none(&cells[EXTRA_NONE]);
    cell::make_none(&cells[EXTRA_ARGS]);
    b->tail = b->head + EXTRA_CELLS * uint32_t(sizeof(Cell));
    c->header = type;
    cell::set_callable_index(c, index);
    cell::set_callable_spec(c, cell::series_node(spec));
    cell::set_callable_extra(c, extra);
}

Cell* extra(const Cell* callable) { return series::record_cells(node::buffer(cell::callable_extra(callable))); }

// The root index of the value start-up bound for each native index ([0]) and
// action id ([1]); 0 when none.
static uint32_t bound_roots[2][natives::TABLE_SLOTS + 1];

void keep_bound(uint32_t root_index) {
    const Cell* v = roots::at(root_index);
    if (cell::callable_index(v) <= natives::TABLE_SLOTS) bound_roots[cell::type(v) == T_ACTION][cell::callable_index(v)] = root_index;
}

const Cell* bound_value(uint32_t type, uint32_t index) {
    if (index > natives::TABLE_SLOTS) return nullptr;
    uint32_t root = bound_roots[type == T_ACTION][index];
    return root ? roots::at(root) : nullptr;
}

// The argument list of a native! or action! (or an op! of one) is fixed
// before its spec block escapes: changing the block later leaves the frame
// its routine reads as it is.
static void fix_frame(const Cell* value) {
    uint32_t t = cell::type(value) == T_OP ? op::wrapped_type(value) : cell::type(value);
    if (t == T_NATIVE || t == T_ACTION) evaluator::prepare_spec(value);
}

// make native! [spec index] and make action! [spec index].
static const Cell* make_indexed(Cell* spec, uint32_t type, uint32_t slots) {
    Cell dt = datatype_cell(type);
    if (cell::type(spec) != T_BLOCK) error::raise_bad_make(&dt, spec);
    SeriesBuffer* b = node::buffer(cell::series_node(spec));
    uint32_t from = uint32_t(cell::series_index(spec));
    if (series::length(b) < from || series::length(b) - from != 2) error::raise_bad_make(&dt, spec);
    const Cell* cells = series::cells(b) + from;
    if (cell::type(&cells[0]) != T_BLOCK || cell::type(&cells[1]) != T_INTEGER) error::raise_bad_make(&dt, spec);
    int32_t index = cell::get_int(&cells[1]);
    if (index < 1 || index > int32_t(slots)) error::raise_bad_make(&dt, spec);
    Cell inner = cells[0];
    write_cell(&made, type, uint32_t(index), &inner);
    if (const Cell* bound = bound_value(type, uint32_t(index)))
        cell::make_series(extra(&made) + EXTRA_ARGS, T_BLOCK, evaluator::prepare_spec(bound));
    return &made;
}

const Cell* make(Cell*, Cell* spec, uint32_t) { return make_indexed(spec, T_NATIVE, natives::TABLE_SLOTS); }

const Cell* reflect(Cell* value, uint32_t field_symbol) {
    if (callable::is_field(field_symbol, words::S_spec)) {
        fix_frame(value);
        made = spec_block(value);
        return &made;
    }
    if (!callable::is_field(field_symbol, words::S_body)) error::raise(Err::internal_not_done);
    uint32_t wrapped = cell::type(value) == T_OP ? op::wrapped_type(value) : cell::type(value);
    if (types::is_function_like(wrapped)) return extra(value) + function::EXTRA_BODY;
    cell::make_integer(&made, int32_t(cell::callable_index(value)));
    return &made;
}

int32_t form(Cell*, Cell* buffer, Cell*, int32_t limit) { return datatype::append_text(buffer, "?native?", 8, limit); }

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool flat, Cell* part, int32_t limit, int32_t indent) {
    return mold_made("make native! [", value, buffer, all, flat, part, limit, indent);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) { return compare_w1(value1, value2, op, T_NATIVE); }

void init() {
    datatype::register_({.id = T_NATIVE, .parent = 0, .name = "native!", .make = make, .reflect = reflect,
                         .form = form, .mold = mold, .compare = compare});
}

}  // namespace native

namespace action {

const Cell* make(Cell*, Cell* spec, uint32_t) { return native::make_indexed(spec, T_ACTION, ACTION_COUNT); }

int32_t form(Cell*, Cell* buffer, Cell*, int32_t limit) { return datatype::append_text(buffer, "?action?", 8, limit); }

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool flat, Cell* part, int32_t limit, int32_t indent) {
    return mold_made("make action! [", value, buffer, all, flat, part, limit, indent);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) { return compare_w1(value1, value2, op, T_ACTION); }

void init() {
    datatype::register_({.id = T_ACTION, .parent = T_NATIVE, .name = "action!", .make = make,
                         .reflect = INHERIT, .form = form, .mold = mold, .compare = compare});
}

}  // namespace action

namespace op {

// Counts the arguments up to /local, /extern or `return:`; a quoted first
// argument or any other refinement refuses the spec.
bool is_valid_spec(Node spec) {
    uint32_t count = 0;
    bool seen_word = false;
    SeriesBuffer* b = node::buffer(spec);
    for (const Cell *c = series::cells(b), *end = c + series::length(b); c < end; c++) {
        switch (cell::type(c)) {
        case T_WORD:
            seen_word = true;
            count++;
            break;
        case T_LIT_WORD:
        case T_GET_WORD:
            if (!seen_word) return false;
            count++;
            break;
        case T_REFINEMENT: {
            uint32_t s = symbol::resolve(cell::word_symbol(c));
            bool ends = s == symbol::resolve(cell::word_symbol(words::refinement(words::R_local))) ||
                        s == symbol::resolve(cell::word_symbol(words::refinement(words::R_extern_)));
            if (!ends) return false;
            return count == 2;
        }
        case T_SET_WORD: return count == 2;
        default: break;
        }
    }
    return count == 2;
}

const Cell* make(Cell*, Cell* spec, uint32_t) {
    uint32_t type = cell::type(spec);
    if (type != T_ACTION && type != T_NATIVE && type != T_FUNCTION && type != T_ROUTINE) {
        Cell dt = datatype_cell(type);
        error::raise(Err::script_invalid_type, &dt);
    }
    if (!is_valid_spec(cell::callable_spec(spec))) error::raise(Err::script_bad_op_spec);
    if (types::is_function_like(type)) function::extra(spec)[function::EXTRA_OP_SELF] = *spec;
    made = *spec;
    // Flags the call reads (a routine's argument count, trace switches) stay.
    made.header &= ~(HDR_TYPE_MASK | HDR_OP_TYPE_MASK | HDR_NEW_LINE);
    made.header |= T_OP | (type << HDR_OP_TYPE_SHIFT);
    return &made;
}

int32_t form(Cell*, Cell* buffer, Cell*, int32_t limit) { return datatype::append_text(buffer, "?op?", 4, limit); }

// An op of a native, action or routine shows its spec; the mold runs under a
// native frame of its own.
static int32_t mold_native_spec(Cell* value, Cell* buffer, bool all, bool flat, Cell* part, int32_t limit,
                                int32_t indent) {
    limit = datatype::append_text(buffer, "[", 1, limit);
    Cell* top = stack::reg.top;
    stack::enter_native(words::word(words::W_tag_anon));
    limit = callable::mold_spec(value, buffer, all, flat, part, limit, indent);
    stack::leave();
    stack::reg.top = top;  // the frame had no result to leave
    return datatype::append_text(buffer, "]", 1, limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool flat, Cell* part, int32_t limit, int32_t indent) {
    limit = datatype::append_text(buffer, "make op! ", 9, limit);
    if (wrapped_type(value) != T_FUNCTION) return mold_native_spec(value, buffer, all, flat, part, limit, indent);
    limit = datatype::append_text(buffer, "func ", 5, limit);
    limit = callable::mold_spec(value, buffer, all, flat, part, limit, indent);
    Cell body = function::extra(value)[function::EXTRA_BODY];
    if (cell::type(&body) != T_BLOCK) return limit;
    return actions::mold_dispatch(&body, buffer, false, all, flat, part, limit, indent);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) { return compare_w1(value1, value2, op, T_OP); }

void init() {
    datatype::register_({.id = T_OP, .parent = T_NATIVE, .name = "op!", .make = make, .reflect = INHERIT,
                         .form = form, .mold = mold, .compare = compare});
}

}  // namespace op
}  // namespace zel
