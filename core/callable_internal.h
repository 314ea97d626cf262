// Helpers shared by the callable datatypes (native!, action!, op!, function!
// and routine!): naming a reflect field and molding a spec block.
#pragma once
#include <cstdint>

#include "core/runtime_words.h"
#include "core/symbol.h"
#include "kernel/cell.h"

namespace zel {
namespace callable {

// True when the reflect field is the runtime word's symbol, in any case.
inline bool is_field(uint32_t field_symbol, words::Symbol s) {
    return symbol::resolve(field_symbol) == symbol::resolve(words::symbol(s));
}

// Molds the callable's spec block (its w2) from the head.
int32_t mold_spec(const Cell* callable, Cell* buffer, bool all, bool flat, Cell* part, int32_t limit,
                  int32_t indent);

}  // namespace callable
}  // namespace zel
