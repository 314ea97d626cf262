// Pieces the compare implementations of several datatypes share: the
// three-way answer, and the ops under which values that have no natural order
// are compared at all.
#pragma once
#include <cstdint>

#include "core/dispatch.h"

namespace zel {
namespace compare_common {

// -1, 0 or 1 as a lies below, at or above b.
template <class T>
constexpr int32_t three_way(T a, T b) {
    return a < b ? -1 : a > b ? 1 : 0;
}

// The equalities, the sort orders, sameness and find. Values without a natural
// order (unset, none, logic, the callables) are compared under these only;
// under the orderings they are not comparable.
constexpr bool is_identity_op(int32_t op) {
    switch (op) {
    case actions::OP_EQUAL:
    case actions::OP_NOT_EQUAL:
    case actions::OP_STRICT_EQUAL:
    case actions::OP_SORT:
    case actions::OP_SORT_CASE:
    case actions::OP_SAME:
    case actions::OP_FIND: return true;
    default: return false;
    }
}

}  // namespace compare_common
}  // namespace zel
