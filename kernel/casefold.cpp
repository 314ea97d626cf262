// Case conversion and display width of Unicode code points.
#include "kernel/casefold.h"

#include <algorithm>
#include <iterator>

namespace zel {

#include "kernel/case_tables.inc"

namespace case_ {

// Entry 0 means the code point has no other case. The code points below
// 0x100 have tables of their own, filled at boot; the two direct tables of the
// rest of the plane (512 KB) are filled when the first such code point is
// converted, so that a process that never meets one never touches their pages.
constexpr uint32_t LOW = 0x100;
static uint32_t low_upper[LOW];
static uint32_t low_lower[LOW];
static uint32_t to_upper[0x10000];
static uint32_t to_lower[0x10000];

static void fill(uint32_t* table, const CodePair* pairs, size_t count, uint32_t below) {
    for (size_t i = 0; i < count; i++)
        if (pairs[i].a < below) table[pairs[i].a] = pairs[i].b;
}

void init() {
    fill(low_upper, bmp_lower_upper, std::size(bmp_lower_upper), LOW);
    fill(low_lower, bmp_upper_lower, std::size(bmp_upper_lower), LOW);
}

static bool fill_plane() {
    fill(to_upper, bmp_lower_upper, std::size(bmp_lower_upper), 0x10000);
    fill(to_lower, bmp_upper_lower, std::size(bmp_upper_lower), 0x10000);
    return true;
}

// Pairs above 0xFFFF are few and sorted by their first code: a linear scan that
// stops at the first code not below cp is enough.
static uint32_t search(const CodePair* pairs, size_t count, uint32_t cp) {
    if (cp < pairs[0].a || cp > pairs[count - 1].a) return cp;
    size_t i = 0;
    while (pairs[i].a < cp) i++;
    return pairs[i].a == cp ? pairs[i].b : cp;
}

uint32_t convert(uint32_t cp, bool upper) {
    if (cp < LOW) {
        uint32_t other = upper ? low_upper[cp] : low_lower[cp];
        return other ? other : cp;
    }
    if (cp <= 0xFFFF) {
        [[maybe_unused]] static const bool filled = fill_plane();
        uint32_t other = upper ? to_upper[cp] : to_lower[cp];
        return other ? other : cp;
    }
    return upper ? search(astral_lower_upper, std::size(astral_lower_upper), cp)
                 : search(astral_upper_lower, std::size(astral_upper_lower), cp);
}

}  // namespace case_

namespace char_ {

// The ranges are sorted and disjoint: the one that may hold cp is the last whose
// low bound is not above it.
bool is_in_ranges(uint32_t cp, const CodePair* ranges, uint32_t count) {
    if (count == 0 || cp < ranges[0].a || cp > ranges[count - 1].b) return false;
    const CodePair* after = std::upper_bound(ranges, ranges + count, cp,
                                             [](uint32_t c, const CodePair& r) { return c < r.a; });
    return cp <= after[-1].b;
}

int display_width(uint32_t cp) {
    if (cp == 0) return 0;
    if (cp < 32 || (cp >= 127 && cp < 160)) return 1;
    if (is_in_ranges(cp, zero_width_ranges, std::size(zero_width_ranges))) return 0;
    if (is_in_ranges(cp, wide_ranges, std::size(wide_ranges))) return 2;
    return 1;
}

}  // namespace char_
}  // namespace zel
