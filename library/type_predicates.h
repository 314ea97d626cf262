// The type predicates: one routine per datatype and one per type set, each
// answering a logic! for any value (unset included).
#pragma once

namespace zel {
namespace type_predicates {

// Makes every predicate and binds it to its global word (routines::bind
// calls it). A type-set predicate reads its set's global word at each call,
// so the word need not hold a typeset yet.
void bind();

}  // namespace type_predicates
}  // namespace zel
