// Case conversion and display width of Unicode code points.
//
// Case pairs come from the simple mappings of the Unicode character database
// (kernel/case_tables.inc, written by tools/gen_case_tables.py). Code points up
// to 0xFFFF go through one direct table per direction (those below 0x100
// filled by `case_::init`, the rest when first needed); the few pairs above
// 0xFFFF are searched in their sorted lists. The display
// width is the number of terminal columns a code point takes: 0, 1 or 2.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {

// An inclusive range {low, high}, or a case pair {from, to}.
struct CodePair {
    uint32_t a, b;
};

namespace case_ {

// Fills the direct tables of the code points below 0x100. Called once at
// boot; calling it again is harmless.
void init();
// The code point in upper case (upper true) or lower case, or the code point
// itself when it has no other case.
uint32_t convert(uint32_t cp, bool upper);

}  // namespace case_

namespace char_ {

// Terminal columns taken by the code point: 0 for NUL and marks, 1 for control
// characters and most others, 2 for wide and fullwidth ones.
int display_width(uint32_t cp);
// True when cp lies in one of the count sorted inclusive ranges.
bool is_in_ranges(uint32_t cp, const CodePair* ranges, uint32_t count);

}  // namespace char_
}  // namespace zel
