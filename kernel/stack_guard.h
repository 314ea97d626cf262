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
extern constinit thread_local uintptr_t floor;

// Out of line: finds the thread's floor on its first call; afterwards raises
// internal error `id` (a catalog id word such as "too-deep").
void reached(const char* id);

#if defined(__SANITIZE_ADDRESS__)
#define ZEL_LOCALS_MAY_LEAVE_THE_STACK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZEL_LOCALS_MAY_LEAVE_THE_STACK 1
#endif
#endif

// Where the caller's frame is. The address of a local stands for the stack
// pointer, as asking for the frame address costs the caller a frame pointer;
// the address sanitizer may keep locals off the stack, so there it is asked.
[[gnu::always_inline]] inline uintptr_t stack_point() {
#ifdef ZEL_LOCALS_MAY_LEAVE_THE_STACK
    return reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
#else
    char here;
    return reinterpret_cast<uintptr_t>(&here);
#endif
}

// Raises internal `id` when the caller's frame lies below the floor.
[[gnu::always_inline]] inline void check(const char* id = "too-deep") {
    if (stack_point() < floor) [[unlikely]]
        reached(id);
}

}  // namespace stack_guard
}  // namespace zel
