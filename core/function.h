// function!: functions written in Zel. A function is its spec block, its body
// and a function context holding its arguments, refinements and locals.
//
// A function cell: header type function! with HDR_TRACE_OFF / HDR_TRACE_ON
// from its attribute block; w1 the node of its function context (whose values
// live on the value stack while it runs, and whose owner cell holds a copy of
// the function); w2 the node of its spec block; w3 the node of its extra
// block of EXTRA_CELLS cells (positions below). Two function values are the
// same function when they share the extra block.
//
// The body is deep-copied and bound to the context once, when the function is
// made; every call runs that one copy, so a literal block in a body is the
// same block in every call.
//
// A spec is: an optional attribute block; argument words (word!, lit-word!,
// get-word!) each with an optional type block and doc string; refinements
// each with an optional doc string and arguments; an optional `return:` with
// its type block; `/local` and the local words. Doc strings may stand between
// any of them.
#pragma once
#include <cstdint>

#include "kernel/cell.h"
#include "kernel/memory.h"

namespace zel {
namespace function {

// Positions in the extra block of a function! or routine!:
//   EXTRA_BODY      the body block (the deep copy), or none
//   EXTRA_ARGS      the argument list the evaluator prepares from the spec on
//                   the first call, unset until then
//   EXTRA_ENTRY     the compiled body (routine!: its routine-table index) as
//                   an integer!, else unset
//   EXTRA_OP_SELF   a copy of the function once an op! is made from it
//   EXTRA_BUILDER   an integer! the builder gives, else unset
enum Extra : uint32_t {
    EXTRA_BODY = 0, EXTRA_ARGS = 1, EXTRA_ENTRY = 2, EXTRA_OP_SELF = 3, EXTRA_BUILDER = 4,
    EXTRA_CELLS = 5,
};

inline Node context_of(const Cell* fn) { return cell::callable_context(fn); }
// The first cell of the extra block; good until the block changes.
inline Cell* extra(const Cell* fn) { return series::record_cells(node::buffer(cell::callable_extra(fn))); }

// Checks a spec block (from its index); answers the attribute flags
// (HDR_TRACE_OFF, HDR_TRACE_ON). Script errors bad-func-def (with the spec),
// invalid-type-spec, no-value and dup-vars.
uint32_t validate_spec(const Cell* spec);

// The local words of the `function` native: the set-words of the body, the
// words that foreach, remove-each and repeat set, each once, in the order
// first met, leaving out the words of the spec and those after /extern. The
// spec is cut at /extern and the collected words are appended after /local.
// Answers the block of the collected words.
Cell collect_words(Cell* spec, const Cell* body);

// From the index of the spec, the number of cells from /local on that are
// /local itself or a word! after it; 0 without /local, or -1 with required.
int32_t count_refinement_args(Node spec, uint32_t index, bool required);
// Pushes false, then n - 1 none: an unused /local and its locals.
void init_refinement(uint32_t n);

// Builds a function on the value-stack top: spec (copied from its index when
// that is not 0), body (null for none: deep-copied), context (0: made from
// the spec, and the body copy bound to it, every block it reaches given the
// body's series flags), the entry and builder integers (0 for unset) and the
// header flags. Answers the context.
Node build_value(const Cell* spec, const Cell* body, Node ctx, int32_t entry, int32_t builder,
                 uint32_t flags, uint32_t body_flags = 0);

// ---- actions ----------------------------------------------------------------
void init();

const Cell* make(Cell* proto, Cell* spec, uint32_t type);
// spec, body and words; routine! inherits it.
const Cell* reflect(Cell* value, uint32_t field_symbol);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
int32_t compare(Cell* value1, Cell* value2, int32_t op);

}  // namespace function
}  // namespace zel
