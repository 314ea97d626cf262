// routine!: the routine table, building routine values, their text.
#include "core/routine.h"

#include <cstring>

#include "core/callable_internal.h"
#include "core/context.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/function.h"
#include "core/raise.h"
#include "core/stack.h"
#include "kernel/memory.h"
#include "kernel/runtime.h"

namespace zel {
namespace routine {

Table table{};

// The index slot of the name: where its entry is, or the empty slot it would take.
static uint16_t& index_slot(const char* name) {
    uint32_t h = 2166136261u;
    for (const char* p = name; *p; p++) h = (h ^ uint8_t(*p)) * 16777619u;
    for (uint32_t i = h & (INDEX_SLOTS - 1);; i = (i + 1) & (INDEX_SLOTS - 1)) {
        uint16_t& slot = table.by_name[i];
        if (!slot || std::strcmp(table.entries[slot - 1].name, name) == 0) return slot;
    }
}

uint32_t register_(const char* name, Fn fn) {
    if (table.count == TABLE_SLOTS || find(name)) {
        runtime::error_report(101, reinterpret_cast<uintptr_t>(&register_));
    }
    table.entries[table.count] = Entry{name, fn};
    index_slot(name) = uint16_t(++table.count);
    return table.count;
}

uint32_t find(const char* name) { return index_slot(name); }

// The arguments the call passes: every word! of the spec.
static uint32_t count_words(const Cell* spec) {
    SeriesBuffer* b = node::buffer(cell::series_node(spec));
    uint32_t n = 0;
    for (uint32_t i = uint32_t(cell::series_index(spec)); i < series::length(b); i++) {
        n += cell::type(series::cells(b) + i) == T_WORD;
    }
    return n;
}

Cell* make(const Cell* spec, const Cell* body, uint32_t index, int32_t builder, bool cells_flag) {
    uint32_t argc = count_words(spec);
    if (argc > MAX_ARGS) error::raise(Err::script_bad_func_def, spec);
    Node ctx = context::make(spec, true, false, context::KIND_FUNCTION);
    Node extra = series::new_cells_unset(function::EXTRA_CELLS);
    SeriesBuffer* eb = node::buffer(extra);
    eb->tail = eb->head + function::EXTRA_CELLS * uint32_t(sizeof(Cell));
    Cell* cells = series::record_cells(eb);
    cells[function::EXTRA_BODY] = body ? *body : statics::none_cell;
    cell::make_integer(&cells[function::EXTRA_ENTRY], int32_t(index));
    cell::make_integer(&cells[function::EXTRA_BUILDER], builder);
    Cell* r = stack::push_slot();
    r->header = T_ROUTINE | (cells_flag ? HDR_ROUTINE_CELLS : 0) | (argc << HDR_ROUTINE_ARGC_SHIFT);
    cell::set_callable_context(r, ctx);
    cell::set_callable_spec(r, cell::series_node(spec));
    cell::set_callable_extra(r, extra);
    *context::owner_of(ctx) = *r;
    return r;
}

int32_t form(Cell*, Cell* buffer, Cell*, int32_t limit) { return datatype::append_text(buffer, "?routine?", 9, limit); }

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool flat, Cell* part, int32_t limit, int32_t indent) {
    limit = datatype::append_text(buffer, "routine ", 8, limit);
    limit = callable::mold_spec(value, buffer, all, flat, part, limit, indent);
    Cell body = function::extra(value)[function::EXTRA_BODY];
    if (cell::type(&body) != T_BLOCK) limit = datatype::append_text(buffer, " ", 1, limit);
    return actions::mold_dispatch(&body, buffer, false, all, flat, part, limit, indent);
}

void init() {
    datatype::register_({.id = T_ROUTINE, .parent = T_FUNCTION, .name = "routine!", .reflect = INHERIT,
                         .form = form, .mold = mold, .compare = function::compare});
}

}  // namespace routine
}  // namespace zel
