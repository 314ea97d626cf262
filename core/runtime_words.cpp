// The runtime words, interned at boot in the order of their lists.
#include "core/runtime_words.h"

#include "core/context.h"
#include "core/roots.h"
#include "core/symbol.h"
#include "core/word.h"
#include "kernel/boot.h"
#include "kernel/collector.h"

namespace zel {
namespace words {

Table table{};

#define ZEL_SPELLING(member, text) text,
static const char* const SYMBOL_NAMES[] = {ZEL_RUNTIME_SYMBOLS(ZEL_SPELLING)};
static const char* const KEYWORD_NAMES[] = {ZEL_RUNTIME_KEYWORDS(ZEL_SPELLING)};
static const char* const WORD_NAMES[] = {ZEL_RUNTIME_WORDS(ZEL_SPELLING)};
static const char* const REFINEMENT_NAMES[] = {ZEL_RUNTIME_REFINEMENTS(ZEL_SPELLING)};
#undef ZEL_SPELLING

void init() {
    for (uint32_t i = 0; i < SYMBOL_COUNT; i++) table.symbols[i] = symbol::intern(SYMBOL_NAMES[i]);
    for (uint32_t i = 0; i < KEYWORD_COUNT; i++) {
        table.cells[i] = context::add_global(symbol::intern(KEYWORD_NAMES[i]));
    }
    for (uint32_t i = 0; i < WORD_COUNT; i++) table.cells[FIRST_WORD + i] = word::intern(WORD_NAMES[i]);
    table.changed_symbol = cell::word_symbol(word(W_changed));
}

void init_refinements() {
    for (uint32_t i = 0; i < REFINEMENT_COUNT; i++) {
        Cell* r = &table.cells[FIRST_REFINEMENT + i];
        refinement::write_cell(r, REFINEMENT_NAMES[i]);
        if (runtime::booting) roots::keep(r);
    }
}

void init_issue() {
    issue::write_cell(&table.cells[ISSUE_OOO], "ooo");
    if (runtime::booting) roots::keep(&table.cells[ISSUE_OOO]);
}

void mark() { collector::mark_cells(table.cells, table.cells + CELL_COUNT); }

}  // namespace words
}  // namespace zel
