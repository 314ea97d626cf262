// Sorting arrays of fixed-size records with a comparison routine.
//
// `stable` is a natural merge sort (existing runs are found, short runs are
// made by insertion, runs are merged in an order fixed by their boundaries) that
// keeps equal records in their order. `quick` is an unstable quick sort that
// measures how presorted the input is first and never goes quadratic.
//
// The comparator may raise a language error (a C++ throw) or change the records
// through other routes. `stable` sorts a private copy and writes the caller's
// records once, after the last comparison, so a throw leaves them as they were.
// `quick` only ever swaps records, so a throw leaves a permutation of them.
// Either way `base` must stay valid until the sort returns.
#pragma once
#include <cstdint>

namespace zel {
namespace sort {

// Above 0 when a sorts after b, 0 when equal, below 0 when a sorts before b;
// the two context words are the caller's.
using Compare = int32_t (*)(const void* a, const void* b, uintptr_t context1, uintptr_t context2);

// A record count times size above 32 bits raises the script error out-of-range.
void stable(void* base, uint32_t count, uint32_t size, uintptr_t context1, uintptr_t context2,
            Compare compare);
void quick(void* base, uint32_t count, uint32_t size, uintptr_t context1, uintptr_t context2,
           Compare compare);

}  // namespace sort
}  // namespace zel
