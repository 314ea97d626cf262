// vector!: the series actions whose string! versions read characters: pick,
// find, select, paths, sort and take work on elements here.
#include <algorithm>

#include "core/block.h"
#include "core/block_search.h"
#include "core/exits.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/series.h"
#include "core/support.h"
#include "datatypes/vector.h"
#include "datatypes/vector_internal.h"
#include "kernel/temp_roots.h"

namespace zel {
namespace vector {

namespace {

// The answer of find, select, sort and take; the caller copies it at once.
Cell answer;

// ---- searching --------------------------------------------------------------------

// A search for one number among the elements: candidates start at the
// index and every step from it and lie within [low, high).
struct Search {
    const Cell* v;
    double number;
    uint32_t index, low, high, step;
};

bool matches_at(const Search& s, uint32_t position) {
    return number_at(address_at(s.v, position), cell::series_extra(s.v), width(s.v)) == s.number;
}

// The number to look for: a char!, integer!, float! or percent! compares by
// its value with each element.
double pattern_of(const Cell* value) {
    switch (cell::type(value)) {
    case T_CHAR:
    case T_INTEGER: return cell::get_int(value);
    case T_FLOAT:
    case T_PERCENT: return cell::get_float(value);
    default: error::raise(Err::script_invalid_arg, value);
    }
}

// Sets up the search; false when nothing can be found.
bool prepare(Search& s, Cell* v, Cell* value, Cell* part, bool any, Cell* with, Cell* skip, bool reverse,
             bool match) {
    uint32_t len = series::length(buffer_of(v));
    s.v = v;
    s.index = uint32_t(std::clamp<int64_t>(cell::series_index(v), 0, len));
    if (len == 0 || (!reverse && s.index >= len)) return false;
    if (any || with) error::raise(Err::internal_not_done);
    s.step = 1;
    if (skip) {
        if (cell::type(skip) != T_INTEGER) error::raise_bad_refine("skip", skip);
        if (cell::get_int(skip) < 1) error::raise(Err::script_out_of_range, skip);
        s.step = uint32_t(cell::get_int(skip));
    }
    uint32_t room = reverse ? s.index : len - s.index, span = room;
    if (part) {
        int32_t n = series::part_count(v, part);
        if (n < 1) return false;
        span = std::min(uint32_t(n), room);
    }
    if (reverse && (match || span == 0)) return false;
    s.low = reverse ? s.index - span : s.index;
    s.high = reverse ? s.index : s.index + span;
    s.number = pattern_of(value);
    return true;
}

// The position of the first match, or -1: forward from low, or backward
// from the last candidate below high.
int64_t scan(const Search& s, bool backward, bool match) {
    if (!backward) {
        for (int64_t pos = s.low; pos < s.high; pos += s.step) {
            if (matches_at(s, uint32_t(pos))) return pos;
            if (match) break;
        }
        return -1;
    }
    int64_t last = int64_t(s.high) - 1, index = s.index, step = s.step;
    if (last < s.low) return -1;
    int64_t start = series::record_start(last, index, step);
    for (; start >= s.low; start -= step) {
        if (matches_at(s, uint32_t(start))) return start;
        if (match) break;
    }
    return -1;
}

int64_t search(Cell* v, Cell* value, Cell* part, bool any, Cell* with, Cell* skip, bool last, bool reverse,
               bool match) {
    Search s;
    if (!prepare(s, v, value, part, any, with, skip, reverse, match)) return -1;
    return scan(s, last || reverse, match);
}

// ---- sorting ----------------------------------------------------------------------

// The elements [start, start + count) into a new block.
void elements_into(Cell* block, const Cell* v, uint32_t start, uint32_t count) {
    block::write_cell(block, int32_t(std::max(count, 1u)));
    for (uint32_t i = 0; i < count; i++)
        load_element(block::append_slot(block), address_at(v, start + i), cell::series_extra(v), width(v));
}

}  // namespace

const Cell* find(Cell* v, Cell* value, Cell* part, bool, bool, bool, bool any, Cell* with, Cell* skip,
                 bool last, bool reverse, bool tail, bool match) {
    int64_t at = search(v, value, part, any, with, skip, last, reverse, match);
    if (at < 0) return &statics::none_cell;
    answer = *v;
    cell::set_series_index(&answer, uint32_t(tail ? at + 1 : at));
    return &answer;
}

const Cell* select(Cell* v, Cell* value, Cell* part, bool, bool, bool, bool any, Cell* with, Cell* skip,
                   bool last, bool reverse) {
    int64_t at = search(v, value, part, any, with, skip, last, reverse, false);
    if (at < 0 || at + 1 >= series::length(buffer_of(v))) return &statics::none_cell;
    load_element(&answer, address_at(v, uint32_t(at + 1)), cell::series_extra(v), width(v));
    return &answer;
}

// n > 0 counts from 1 at the index, n < 0 backwards from it.
const Cell* pick(Cell* v, int32_t n, Cell*) {
    int64_t position = int64_t(cell::series_index(v)) + n - (n > 0 ? 1 : 0);
    if (n == 0 || position < 0 || position >= series::length(buffer_of(v))) return &statics::none_cell;
    load_element(&answer, address_at(v, uint32_t(position)), cell::series_extra(v), width(v));
    return &answer;
}

// An integer picks or pokes; another number selects the element after its
// match, or sets it.
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool, bool,
                      bool, bool) {
    switch (cell::type(element)) {
    case T_INTEGER:
        return value ? series::poke(parent, cell::get_int(element), element, value)
                     : pick(parent, cell::get_int(element), element);
    case T_CHAR:
    case T_FLOAT:
    case T_PERCENT: break;
    default: error::raise(Err::script_invalid_path, path, element);
    }
    if (!value) return select(parent, element, nullptr, false, false, false, false, nullptr, nullptr, false, false);
    const Cell* found =
        find(parent, element, nullptr, false, false, false, false, nullptr, nullptr, false, false, true, false);
    if (cell::type(found) == T_NONE) error::raise(Err::script_bad_path_set, path, element);
    Cell at = *found, first;
    cell::make_integer(&first, 1);
    return series::poke(&at, 1, &first, value);
}

// The elements are sorted as a block of their values (so /skip, /all,
// /compare and the rest behave as for blocks) and written back.
const Cell* sort(Cell* v, bool case_, Cell* skip, Cell* compare, Cell* part, bool all, bool reverse,
                 bool stable) {
    uint32_t start = index_of(v), count = series::length(buffer_of(v)) - start;
    if (part) {
        int32_t n = series::part_count(v, part);
        uint32_t back = n < 0 ? std::min(start, uint32_t(-int64_t(n))) : 0;
        start -= back;
        count = n < 0 ? back : std::min(count, uint32_t(n));
    }
    answer = *v;
    cell::set_series_index(&answer, start);
    if (count == 0) return &answer;
    Cell result = answer;
    Cell values;
    elements_into(&values, v, start, count);
    temp_roots::Hold hold(&values);
    bool owned = series::announce(v, words::word(words::W_sort), nullptr, int32_t(start), int32_t(count));
    block::sort(&values, case_, skip, compare, nullptr, all, reverse, stable);
    if (exits::pending()) return &(answer = result);
    uint32_t len = series::length(buffer_of(v));
    uint32_t n = std::min<uint32_t>(std::max(block::get_length(&values), 0), start < len ? len - start : 0);
    for (uint32_t i = 0; i < n; i++) write_element(address_at(v, start + i), block::cell_at(&values, i), width(v));
    if (owned) series::announce(v, words::word(words::W_sorted), nullptr, int32_t(start), int32_t(count));
    answer = result;
    return &answer;
}

// Without /part the one element taken is answered as its value.
const Cell* take(Cell* v, Cell* part, bool, bool last) {
    uint32_t type = cell::series_extra(v), w = width(v);
    const Cell* taken = series::take_units(v, part, last, !part);
    if (part || cell::type(taken) == T_NONE || length(taken) == 0) return taken;
    load_element(&answer, series::head_ptr(buffer_of(taken)), type, w);
    return &answer;
}

}  // namespace vector
}  // namespace zel
