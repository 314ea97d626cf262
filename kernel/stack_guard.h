// The guard of recursive walks that neither push call frames nor keep a
// cycle stack (the evaluator through parens and blocks, compose/deep, bitset
// specs, the zelbin writer): each checks here how much machine stack is used,
// so that a value that contains itself or a nesting millions deep ends in a
// language error which `try` catches instead of a fault at the end of the
// stack. Walks that keep the cycle stack (mold, copy/deep, bind, compare)
// stop at its depth instead.
//
// One measure of the machine stack serves every walk, whatever its frame size
// and however walks nest within one another. A thread may use at most BUDGET
// bytes below the point of its first check, and never the last MARGIN bytes of
// its stack: raising and reporting the error run in that margin.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zel {
namespace stack_guard {

constexpr size_t BUDGET = size_t(16) << 20;
constexpr size_t MARGIN = size_t(1) << 20;

// The lowest frame address allowed; the highest address until the thread's
// first check has found its stack.
extern thread_local uintptr_t floor;

// Out of line: finds the thread's floor on its first call; afterwards raises
// internal error `id` (a catalog id word such as "too-deep").
void reached(const char* id);

// Raises internal `id` when the caller's frame lies below the floor.
[[gnu::always_inline]] inline void check(const char* id = "too-deep") {
    if (reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) < floor) [[unlikely]]
        reached(id);
}

}  // namespace stack_guard
}  // namespace zel
