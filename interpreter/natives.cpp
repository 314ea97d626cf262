// The native table: filled from the native modules' definition tables in
// index order, the native words bound from them, and the argument check of
// natives called with the check flag.
#include "interpreter/natives.h"

#include <cstring>

#include "core/context.h"
#include "core/roots.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/word.h"
#include "interpreter/eval.h"
#include "io/lexer.h"
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

// Root-block indexes: of the print scratch block, and of each bound native!
// value (0 until bound), so check_args finds the spec of an index.
static uint32_t scratch_root;
static uint32_t value_root[COUNT + 1];
static bool table_ready, words_bound;

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

static void bind_one(const NativeDef& d) {
    Cell spec = lexer::load_text(d.spec, std::strlen(d.spec));
    Cell value;
    native::write_cell(&value, T_NATIVE, d.index, &spec);
    value_root[d.index] = roots::keep(&value);
    native::keep_bound(value_root[d.index]);
    stack::pop(1);
    Cell w = word::intern(d.name);
    word::set_value(&w, roots::at(value_root[d.index]));
}

// In index order, each index bound from the first module that defines it.
void bind_words() {
    if (words_bound) return;
    init_table();
    words_bound = true;
    for (uint32_t index = 1; index <= COUNT; index++)
        if (const NativeDef* d = find(index)) bind_one(*d);
}

// The argument list holds one typeset per argument and one refinement per
// refinement, in spec order; arguments after a refinement sit where that
// refinement's frame position says.
void check_args(uint32_t index, const int32_t* refinements) {
    if (index > COUNT || !value_root[index]) return;
    Node list = interp::prepare_spec(roots::at(value_root[index]));
    SeriesBuffer* b = node::buffer(list);
    uint32_t n = series::length(b);
    int32_t position = 0;
    uint32_t arg_number = 0;
    for (uint32_t k = 0; k < n; k++) {
        Cell e = series::cells(node::buffer(list))[k];
        if (cell::type(&e) == T_REFINEMENT) {
            position = refinements[e.w3 - 1];
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
