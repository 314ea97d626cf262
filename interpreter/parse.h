// The PARSE engine: matches a series against a block of rules of the parse
// dialect, capturing, collecting and editing the input on the way.
//
// The engine is reentrant (a paren in the rules may call parse again) and its
// nesting is bounded: every sub-rule and pending command takes an entry on a
// work stack that all active parses share, and a stack that would pass its
// limit raises parse-stack long before the machine stack is at risk.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace parse {

// Registers the work stacks with the collector. Boot calls it once.
void init();

// Parses the input (an any-block!, any-string! or binary! series) with the
// rules block. op is the comparison op (0 equal, 2 strict-equal with /case);
// limit the absolute index where the input ends early, or -1 for its tail;
// callback a function! given the trace events, or null. The answer is a
// logic!, or the block of an outermost collect, written into *out.
void run(const Cell* input, const Cell* rules, int32_t op, int32_t limit, const Cell* callback, Cell* out);

}  // namespace parse
}  // namespace zel
