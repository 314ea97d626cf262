// block! find, select, put and the path step of cell series.
//
// A search is a linear scan of cells compared through their type's compare
// action, except that a hash! answers single values from its table. Positions
// here are absolute cell positions from the buffer head.
#include "core/block_search.h"

#include <algorithm>

#include "core/block.h"
#include "core/block_search_internal.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/hashtable.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/series.h"
#include "core/support.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "datatypes/typeset.h"

namespace zel {
namespace block {

// The answer handed to the action entry, which copies it at once.
static Cell answer;

// The compare entry only reads its values (its Cell* is the action table's
// signature).
bool equal(const Cell* a, const Cell* b, int32_t op) {
    if (!types::row(cell::type(a)).compare)
        return hashtable::same_value(a, b, op == actions::OP_STRICT_EQUAL ? hashtable::OP_STRICT_EQUAL
                                                                         : hashtable::OP_EQUAL);
    return actions::compare(const_cast<Cell*>(a), const_cast<Cell*>(b), op);
}

static int32_t search_op(bool case_, bool same) {
    return same ? actions::OP_SAME : case_ ? actions::OP_STRICT_EQUAL : actions::OP_FIND;
}

// ---- the search -----------------------------------------------------------------------

namespace {

enum MatchMode { MATCH_VALUE, MATCH_TYPE, MATCH_TYPESET, MATCH_SEQUENCE };

struct Search {
    Cell* series;
    Cell* value;
    MatchMode mode;
    int32_t op;
    int32_t from, length;  // where a sequence starts in its buffer, and its cells (else 0)
    int32_t step;
    int32_t limit;   // the last cell searched forward, or -1 without /part
    int64_t count;   // the /part length
    bool has_limit, last, reverse, match;
};

// Where a scan starts, where it stops (exclusive) and how it steps.
struct Course {
    int32_t start, end, step;
};

static MatchMode mode_of(const Cell* value, bool only) {
    if (only) return MATCH_VALUE;
    uint32_t t = cell::type(value);
    if (t == T_DATATYPE) return MATCH_TYPE;
    if (t == T_TYPESET) return MATCH_TYPESET;
    return types::is_any_block(t) ? MATCH_SEQUENCE : MATCH_VALUE;
}

// Fills the search from the refinements; false when the answer is none
// without any comparison.
static bool prepare(Search& s, Cell* part, Cell* skip) {
    int32_t len = int32_t(buffer_length(s.series));
    int32_t index = cell::series_index(s.series);
    if (len == 0 || (index >= len && !s.reverse && !s.last)) return false;
    s.step = 1;
    if (skip) {
        if (cell::type(skip) != T_INTEGER) error::raise_bad_refine("skip", skip);
        if (cell::get_int(skip) < 1) error::raise(Err::script_out_of_range, skip);
        s.step = cell::get_int(skip);
    }
    s.limit = -1;
    s.has_limit = part != nullptr;
    if (part) {
        if (cell::type(part) == T_INTEGER) {
            if (cell::get_int(part) < 1) return false;
            s.count = cell::get_int(part);
        } else if (cell::type(part) == cell::type(s.series) && cell::series_node(part) == cell::series_node(s.series)) {
            s.count = int64_t(cell::series_index(part)) - index;
        } else {
            error::raise_bad_refine("part", part);
        }
        s.limit = int32_t(std::min<int64_t>(index + s.count - 1, len - 1));
    }
    s.length = 0;
    if (s.mode == MATCH_SEQUENCE) {
        int32_t end = int32_t(buffer_length(s.value));
        s.from = std::clamp(cell::series_index(s.value), 0, end);
        s.length = end - s.from;
    }
    return true;
}

// Each direction keeps to its side of the position: forward and /last look
// at the cells from the position on (up to the /part limit), /reverse at the
// cells before it (the /part count of them, else all). No match lies outside.
static Course course_of(const Search& s) {
    int32_t len = int32_t(buffer_length(s.series));
    int32_t index = std::min(cell::series_index(s.series), len);
    int32_t back = s.length ? s.length : 1;
    if (s.last) {
        int32_t start = (s.has_limit ? s.limit + 1 : len) - back;
        return {int32_t(series::record_start(start, index, s.step)), index - 1, -s.step};
    }
    if (s.reverse) {
        int32_t low = s.has_limit ? int32_t(std::max<int64_t>(index - s.count, 0)) : 0;
        return {int32_t(series::record_start(index - back, index, s.step)), low - 1, -s.step};
    }
    return {index, s.has_limit ? s.limit + 1 : len, s.step};
}

// Positions are walked in 64 bits: a /skip near the integer limit steps past
// the end instead of wrapping back into the block.
static bool in_course(const Course& c, int64_t p) { return c.step > 0 ? p < c.end : p > c.end; }

static bool matches(const Search& s, int32_t p) {
    const Cell* at = cell_at(s.series, uint32_t(p));
    switch (s.mode) {
    case MATCH_TYPE: return cell::type(at) == cell::datatype_id(s.value);
    case MATCH_TYPESET: return typeset::has(s.value, cell::type(at));
    case MATCH_VALUE: return equal(at, s.value, s.op);
    case MATCH_SEQUENCE: break;
    }
    if (p + s.length > int32_t(buffer_length(s.series))) return false;
    for (int32_t k = 0; k < s.length; k++) {
        const Cell* at = cell_at(s.series, uint32_t(p + k));
        if (!equal(at, cell_at(s.value, uint32_t(s.from + k)), s.op)) return false;
    }
    return true;
}

// A hash! answers single values from its table: every position the table holds
// for the value is a candidate; the one the scan would meet first wins.
static bool uses_table(const Search& s) {
    return cell::type(s.series) == T_HASH && cell::series_extra(s.series) != 0 && s.mode == MATCH_VALUE && !s.match &&
           (cell::type(s.value) != T_OBJECT || s.op == actions::OP_SAME);
}

static int32_t scan_table(const Search& s, const Course& c) {
    Node t = cell::series_extra(s.series);
    hashtable::FindOptions o{s.op == actions::OP_STRICT_EQUAL, s.op == actions::OP_FIND};
    hashtable::Cursor cursor;
    int32_t best = -1;
    for (int32_t p = hashtable::find(t, s.value, o, &cursor); p >= 0;
         p = hashtable::find_next(t, s.value, o, &cursor)) {
        int32_t distance = c.step > 0 ? p - c.start : c.start - p;
        if (distance < 0 || distance % std::abs(c.step) != 0 || !in_course(c, p)) continue;
        if (s.op == actions::OP_SAME && !equal(cell_at(s.series, uint32_t(p)), s.value, s.op)) continue;
        if (best < 0 || (c.step > 0 ? p < best : p > best)) best = p;
    }
    return best;
}

// The position of the match, or -1.
static int32_t scan(const Search& s) {
    Course c = course_of(s);
    if (c.start < 0 || c.start >= int32_t(buffer_length(s.series))) return -1;
    if (uses_table(s)) return scan_table(s, c);
    if (s.match) return in_course(c, c.start) && matches(s, c.start) ? c.start : -1;
    for (int64_t p = c.start; in_course(c, p); p += c.step) {
        if (matches(s, int32_t(p))) return int32_t(p);
    }
    return -1;
}

static Search search_of(Cell* series, Cell* value, bool only, bool case_, bool same, bool last,
                        bool reverse, bool match) {
    return Search{series, value, mode_of(value, only), search_op(case_, same), 0, 0, 1, -1, 0, false, last,
                  reverse, match};
}

}  // namespace

const Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool, Cell*,
                 Cell* skip, bool last, bool reverse, bool tail, bool match) {
    Search s = search_of(series, value, only, case_, same, last, reverse, match);
    if (!prepare(s, part, skip)) return &statics::none_cell;
    int64_t p = scan(s);
    if (p < 0) return &statics::none_cell;
    if (tail) p += s.length ? s.length : (s.last || s.reverse) ? 1 : s.step;
    answer = *series;
    cell::set_series_index(&answer, uint32_t(std::min<int64_t>(p, buffer_length(series))));
    return &answer;
}

const Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool, Cell*,
                   Cell* skip, bool last, bool reverse) {
    Search s = search_of(series, value, only, case_, same, last, reverse, false);
    if (!prepare(s, part, skip)) return &statics::none_cell;
    int32_t p = scan(s);
    if (p < 0) return &statics::none_cell;
    p += s.length ? s.length : 1;
    return p < int32_t(buffer_length(series)) ? cell_at(series, uint32_t(p)) : &statics::none_cell;
}

// ---- put --------------------------------------------------------------------------------

// Copies the value into the cell at the position, or appends it at the tail,
// keeping a hash! table in step.
static void store(Cell* series, uint32_t position, const Cell* value) {
    Cell* at;
    if (position < buffer_length(series)) {
        at = writable_cell_at(series, position);
        *at = *value;
    } else {
        at = append_copy(series, value);
    }
    if (cell::type(series) == T_HASH && cell::series_extra(series)) hashtable::put_value(cell::series_extra(series), at);
}

// The key is found as one value, so that a block key put once is found again.
const Cell* put(Cell* series, Cell* key, Cell* value, bool case_) {
    Search s = search_of(series, key, true, case_, false, false, false, false);
    int32_t found = -1;
    if (prepare(s, nullptr, nullptr)) found = scan(s);
    const Cell* action = words::word(words::W_put);
    if (found < 0) {
        uint32_t len = buffer_length(series);
        bool owned = series::announce(series, action, value, int32_t(len), 2);
        store(series, buffer_length(series), key);
        store(series, buffer_length(series), value);
        if (owned) series::announce(series, words::word(words::W_put_ed), value, int32_t(len), 2);
        return value;
    }
    uint32_t at = uint32_t(found) + 1;
    bool owned = series::announce(series, action, value, int32_t(at), 1);
    // A change handler may have shortened the block: at the tail, append.
    if (at >= buffer_length(series) || !equal(cell_at(series, at), value, actions::OP_STRICT_EQUAL))
        store(series, at, value);
    if (owned) series::announce(series, words::word(words::W_put_ed), value, int32_t(at), 1);
    return value;
}

// ---- the path step ----------------------------------------------------------------------

static const Cell* pick(Cell* series, Cell* element) {
    PickFn fn = actions::lookup<ACT_pick>(series);
    return fn(series, cell::get_int(element), element);
}

static const Cell* set_by_key(Cell* parent, Cell* element, Cell* value, Cell* path, bool case_) {
    Search s = search_of(parent, element, false, case_, false, false, false, false);
    int32_t found = prepare(s, nullptr, nullptr) ? scan(s) : -1;
    if (found < 0) error::raise(Err::script_bad_path_set, path ? path : element, element);
    Cell at = *parent;
    cell::set_series_index(&at, uint32_t(found));
    Cell second;
    cell::make_integer(&second, 2);
    actions::poke_dispatch(&at, &second, value);
    return value;
}

const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool case_,
                      bool, bool, bool) {
    uint32_t t = cell::type(element);
    if (t == T_INTEGER) return value ? actions::poke_dispatch(parent, element, value) : pick(parent, element);
    if (value) return set_by_key(parent, element, value, path, case_);
    if (t == T_WORD && cell::type(parent) != T_HASH) return select_word(parent, element, case_);
    return select(parent, element, nullptr, true, case_, false, false, nullptr, nullptr, false, false);
}

}  // namespace block
}  // namespace zel
