// The native table: filled from the native modules' definition tables in
// index order, and the argument check of natives called with the check flag.
#include "interpreter/natives.h"

#include "core/roots.h"
#include "core/stack.h"
#include "core/support.h"
#include "interpreter/eval.h"
#include "kernel/memory.h"

namespace zel {
namespace natives {

// The modules built so far; a new module adds its line.
static const Module* const MODULES[] = {
    &module_control,
    &module_eval,
    &module_output,
    &module_math,
    &module_convert,
    &module_system,
};

// The root-block index of the print scratch block.
static uint32_t scratch_root;
static bool table_ready;

constexpr uint32_t PRINT_SCRATCH_CELLS = 32;

const NativeDef* find(uint32_t index) {
    for (const Module* m : MODULES)
        for (uint32_t i = 0; i < m->count; i++)
            if (m->defs[i].index == index) return &m->defs[i];
    return nullptr;
}

void init_table() {
    if (table_ready) return;
    table_ready = true;
    Cell scratch;
    cell::make_series(&scratch, T_BLOCK, series::new_cells(PRINT_SCRATCH_CELLS));
    scratch_root = roots::keep(&scratch);
    Routine list[COUNT];
    for (uint32_t index = 1; index <= COUNT; index++) {
        const NativeDef* d = find(index);
        list[index - 1] = d ? d->routine : nullptr;
    }
    register_(COUNT, list);
}

Cell* print_scratch() { return roots::at(scratch_root); }

// The argument list holds one typeset per argument and one refinement per
// refinement, in spec order; arguments after a refinement sit where that
// refinement's frame position says.
void check_args(uint32_t index, const int32_t* refinements) {
    const Cell* bound = native::bound_value(T_NATIVE, index);
    if (!bound) return;
    Node list = interp::prepare_spec(bound);
    SeriesBuffer* b = node::buffer(list);
    uint32_t n = series::length(b);
    int32_t position = 0;
    uint32_t arg_number = 0;
    for (uint32_t k = 0; k < n; k++) {
        Cell e = series::cells(node::buffer(list))[k];
        if (cell::type(&e) == T_REFINEMENT) {
            position = refinements[interp::entry_ordinal(&e) - 1];
            arg_number++;
            continue;
        }
        if (cell::type(&e) != T_TYPESET) break;
        if (interp::fetch_mode(&e) == interp::FETCH_RETURN) continue;
        check::argument_at(&e, arg_number++, position);
        if (position >= 0) position++;
    }
}

}  // namespace natives
}  // namespace zel
