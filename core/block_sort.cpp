// block! sort: records of /skip cells ordered by their type's compare action
// (ops 7 and 8), by one field, by all fields, or by a comparator function.
//
// A comparator function runs user code, which can reach a safe point or
// change the block. So that sort runs on a rooted copy in tracked memory (it
// never moves, and the temporary-root stack marks it) and writes the sorted
// records back only when the sort completes.
#include <algorithm>
#include <cstring>
#include <utility>

#include "core/block.h"
#include "core/block_search.h"
#include "core/block_search_internal.h"
#include "core/compare_common.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/exits.h"
#include "core/hashtable.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/series.h"
#include "core/sort_records.h"
#include "core/support.h"
#include "kernel/runtime.h"
#include "kernel/sort.h"
#include "kernel/temp_roots.h"

namespace zel {
namespace block {

static CompareCaller compare_caller = nullptr;

void set_compare_caller(CompareCaller caller) { compare_caller = caller; }

// ---- comparators ------------------------------------------------------------------------

// Values of types that cannot be ordered against each other order by type id.
static int32_t compare_cells(const Cell* x, const Cell* y, int32_t op) {
    CompareFn fn = types::row(cell::type(x)).compare;
    int32_t r = fn ? fn(const_cast<Cell*>(x), const_cast<Cell*>(y), op) : actions::NOT_COMPARABLE;
    return r == actions::NOT_COMPARABLE ? int32_t(cell::type(x)) - int32_t(cell::type(y)) : r;
}

int32_t sort_compare_records(const void* a, const void* b, uintptr_t op, uintptr_t flags) {
    const Cell* x = static_cast<const Cell*>(a);
    const Cell* y = static_cast<const Cell*>(b);
    if (flags & SORT_REVERSE) std::swap(x, y);
    uint32_t field = uint32_t(flags >> SORT_FIELD_SHIFT);
    if (!(flags & SORT_ALL)) return compare_cells(x + field, y + field, int32_t(op));
    for (uint32_t k = 0; k < field; k++) {
        int32_t r = compare_cells(x + k, y + k, int32_t(op));
        if (r) return r;
    }
    return 0;
}

// Records of one integer! each, the commonest sort: the integer compare
// action's answer without its dispatch.
static int32_t sort_compare_integers(const void* a, const void* b, uintptr_t, uintptr_t flags) {
    const Cell* x = static_cast<const Cell*>(a);
    const Cell* y = static_cast<const Cell*>(b);
    if (flags & SORT_REVERSE) std::swap(x, y);
    return compare_common::three_way(cell::get_int(x), cell::get_int(y));
}

// The comparator's answer as an order.
static int32_t order_of(const Cell* r) {
    switch (cell::type(r)) {
    case T_LOGIC: return cell::get_logic(r) ? 1 : -1;
    case T_INTEGER: return cell::get_int(r);
    case T_FLOAT: {
        double d = cell::get_float(r);
        return d > 0.0 ? 1 : d < 0.0 ? -1 : 0;
    }
    case T_NONE: return -1;
    }
    return 1;
}

// The function context is three cells: the function, then two work blocks
// that carry whole records under /all (unused otherwise).
static const Cell* as_record(const Cell* work, const Cell* record, uint32_t size) {
    truncate_at(work, 0);
    for (uint32_t k = 0; k < size; k++) append_copy(work, record + k);
    return work;
}

int32_t sort_call_compare(const void* a, const void* b, uintptr_t function, uintptr_t flags) {
    const Cell* fn = reinterpret_cast<const Cell*>(function);
    // The second record first, so that a "lesser?" comparator sorts ascending.
    const Cell* first = static_cast<const Cell*>(b);
    const Cell* second = static_cast<const Cell*>(a);
    if (flags & SORT_REVERSE) std::swap(first, second);
    if (flags & SORT_ALL) {
        uint32_t size = uint32_t(flags >> SORT_FIELD_SHIFT);
        first = as_record(fn + 1, first, size);
        second = as_record(fn + 2, second, size);
    }
    return order_of(compare_caller(fn, first, second));
}

// ---- arguments --------------------------------------------------------------------------

namespace {

// What the arguments ask for: the cells to sort, the record size and the
// comparator with its flags.
struct Plan {
    uint32_t start, count, size, flags;
    bool calls;  // a comparator function
};

static void choose_comparator(Plan& p, const Cell* compare, bool has_skip, bool all) {
    if (!compare) {
        if (all) p.flags |= SORT_ALL | p.size << SORT_FIELD_SHIFT;
        return;
    }
    switch (cell::type(compare)) {
    case T_FUNCTION:
        p.calls = true;
        if (all) p.flags |= SORT_ALL | p.size << SORT_FIELD_SHIFT;
        return;
    case T_INTEGER: {
        if (!has_skip || all) error::raise(Err::script_bad_refines);
        int32_t k = cell::get_int(compare);
        if (k < 1 || uint32_t(k) > p.size) error::raise(Err::script_out_of_range, compare);
        p.flags |= uint32_t(k - 1) << SORT_FIELD_SHIFT;
        return;
    }
    }
    error::raise_bad_refine("compare", compare);
}

// ---- sorting ----------------------------------------------------------------------------

// Cells in tracked memory, freed on every path out.
struct HeapCells {
    Cell* cells;
    explicit HeapCells(uint32_t n) : cells(static_cast<Cell*>(heap::alloc(size_t(n) * sizeof(Cell)))) {}
    ~HeapCells() { heap::free(cells); }
    HeapCells(const HeapCells&) = delete;
    HeapCells& operator=(const HeapCells&) = delete;
};

static void run(void* base, const Plan& p, uintptr_t context, sort::Compare compare, bool stable) {
    (stable ? sort::stable : sort::quick)(base, p.count / p.size, p.size * uint32_t(sizeof(Cell)), context,
                                          p.flags, compare);
}

static bool fits(const Cell* series, const Plan& p) { return p.start + p.count <= buffer_length(series); }

// Records of one integer! each, compared as the records' compare would.
static bool all_integers(const Cell* cells, const Plan& p) {
    if (p.size != 1 || (p.flags & SORT_ALL)) return false;
    for (uint32_t i = 0; i < p.count; i++)
        if (cell::type(cells + i) != T_INTEGER) return false;
    return true;
}

static void sort_by_function(Cell* series, const Plan& p, const Cell* function, bool stable) {
    if (!compare_caller) error::raise(Err::internal_not_done);
    HeapCells copy(p.count);
    std::memcpy(copy.cells, cell_at(series, p.start), size_t(p.count) * sizeof(Cell));
    temp_roots::Hold hold_copy(copy.cells, p.count);
    Cell context[3] = {*function, statics::unset_cell, statics::unset_cell};
    temp_roots::Hold hold_context(context, 3);
    if (p.flags & SORT_ALL) {
        write_cell(&context[1], int32_t(p.size));
        write_cell(&context[2], int32_t(p.size));
    }
    uint32_t code = exits::catch_pending(
        [&] { run(copy.cells, p, reinterpret_cast<uintptr_t>(context), sort_call_compare, stable); });
    // The comparator may have shortened the block; then its cells stay as
    // they are. It may also have run the block as code, preparing it again.
    if (code == 0 && fits(series, p)) {
        std::memcpy(writable_cell_at(series, p.start), copy.cells, size_t(p.count) * sizeof(Cell));
    }
}

// A hash! enters its moved cells again before anyone hears that the sort is
// done; the comparator may have shortened the block meanwhile.
void reindex_sorted(const Cell* series, const Plan& p) {
    Node t = cell::type(series) == T_HASH ? cell::series_extra(series) : 0;
    uint32_t end = std::min(p.start + p.count, buffer_length(series));
    for (uint32_t i = p.start; t && i < end; i++) hashtable::put_value(t, cell_at(series, i));
}

}  // namespace

const Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all, bool reverse,
                 bool stable) {
    int32_t length = get_length(series);
    if (length <= 0) return series;
    Plan p{uint32_t(cell::series_index(series)), uint32_t(length), 1, reverse ? SORT_REVERSE : 0u, false};
    if (part) {
        int32_t n = series::part_count(series, part);
        if (n < 0 && -int64_t(n) > int64_t(p.start)) return series;
        if (n < 0) {
            p.start -= uint32_t(-n);
            p.count = uint32_t(-n);
        } else if (n < length) {
            p.count = uint32_t(n);
        }
    }
    p.size = sort_records::record_size(skip, p.count, all);
    choose_comparator(p, compare, skip != nullptr, all);
    cell::set_series_index(series, p.start);
    if (p.count == 0) return series;
    int32_t index = int32_t(p.start), count = int32_t(p.count);
    bool owned = series::announce(series, words::word(words::W_sort), nullptr, index, count);
    if (!fits(series, p)) {
        // The owner's handler shortened the block: its cells stay as they are.
    } else if (p.calls) {
        sort_by_function(series, p, compare, stable);
        if (exits::pending()) return series;
    } else {
        uintptr_t op = case_ ? actions::OP_SORT_CASE : actions::OP_SORT;
        Cell* cells = writable_cell_at(series, p.start);
        run(cells, p, op, all_integers(cells, p) ? sort_compare_integers : sort_compare_records, stable);
    }
    reindex_sorted(series, p);
    if (owned) series::announce(series, words::word(words::W_sorted), nullptr, index, count);
    return series;
}

}  // namespace block

namespace sort_records {

uint32_t record_size(const Cell* skip, uint32_t count, bool all) {
    if (!skip) {
        if (all) error::raise(Err::script_bad_refines);
        return 1;
    }
    if (cell::type(skip) != T_INTEGER) error::raise_bad_refine("skip", skip);
    int32_t size = cell::get_int(skip);
    if (size < 1 || count % uint32_t(size) != 0 || count < uint32_t(size)) error::raise_bad_refine("skip", skip);
    return uint32_t(size);
}

}  // namespace sort_records
}  // namespace zel
