// The lexer's loader of money literals.
#pragma once
#include <cstdint>

#include "io/lexer_internal.h"

namespace zel {
namespace lexer {

void load_money(State* s, uint32_t start, uint32_t end, uint32_t flags, bool load);

}  // namespace lexer
}  // namespace zel
