// string!: the action row, and the actions that read text without changing
// it: comparison, find and select, path access, make, to and form, plus the
// small matching tests that PARSE makes on strings.
//
// Searching compares characters in the units of their own buffers and never
// evaluates anything, so the raw addresses of a search stay good throughout.
#include <algorithm>

#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/raise.h"
#include "core/series.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/string_actions.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "kernel/casefold.h"
#include "kernel/memory.h"

namespace zel {
namespace string {

namespace {

// Results handed back to the dispatch layer, which copies them at once.
Cell answer;


// A bounded pattern that callers build: its w3, when not negative, is the
// length to compare.
constexpr uint32_t T_BOUNDED = 56;

const Cell* none() { return &statics::none_cell; }

inline uint32_t upper(uint32_t c) { return case_::convert(c, true); }

Text buffer_text(SeriesBuffer* b, int32_t index) {
    uint32_t unit = series::unit(b), len = series::length(b);
    uint32_t i = index < 0 ? 0 : std::min(uint32_t(index), len);
    return Text{series::head_ptr(b) + size_t(i) * unit, unit, len - i};
}

// An empty value of the type over a new buffer of room characters, in answer.
Cell* new_text(uint32_t type, uint32_t room) {
    write_cell(&answer, room);
    cell::set_type(&answer, type);
    return &answer;
}

}  // namespace


Text text_of(const Cell* value) {
    switch (cell::type(value)) {
    case T_SYMBOL: {
        Cell* record = const_cast<Cell*>(value);
        symbol::get_cached_string(record);
        return buffer_text(node::buffer(cell::symbol_string(record)), 0);
    }
    case T_WORD: return buffer_text(node::buffer(cell::symbol_string(word::symbol_record(value))), 0);
    default: return buffer_text(buffer_of(value), cell::series_index(value));
    }
}

// ---- comparison -----------------------------------------------------------------

int32_t is_equal_part(Cell* value1, Cell* value2, int32_t op, bool match) {
    bool same = cell::series_node(value1) == cell::series_node(value2) && cell::series_index(value1) == cell::series_index(value2);
    if (op == actions::OP_SAME) return same ? 0 : -1;
    bool equality = op <= actions::OP_STRICT_EQUAL || op == actions::OP_FIND;
    if (same && equality) return 0;
    Text a = text_of(value1), b = text_of(value2);
    if (cell::type(value2) == T_BOUNDED && int32_t(cell::series_extra(value2)) >= 0) b.len = cell::series_extra(value2);
    uint32_t n;
    if (match) {
        if (b.len == 0) return op == actions::OP_FIND ? 1 : 0;
        if (a.len < b.len) return 1;
        n = b.len;
    } else {
        if (a.len != b.len && (equality || b.len == 0)) return 1;
        n = std::min(a.len, b.len);
    }
    bool fold = op != actions::OP_STRICT_EQUAL && op != actions::OP_SORT_CASE;
    for (uint32_t i = 0; i < n; i++) {
        uint32_t c1 = char_of(a, i), c2 = char_of(b, i);
        if (fold) c1 = upper(c1), c2 = upper(c2);
        if (c1 != c2) return c1 < c2 ? -1 : 1;
    }
    if (match) return 0;
    return a.len < b.len ? -1 : a.len > b.len ? 1 : 0;
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    bool related = types::is_any_string(value2) && (op == actions::OP_EQUAL || op == actions::OP_NOT_EQUAL);
    if (cell::type(value1) != cell::type(value2) && !related) return actions::NOT_COMPARABLE;
    return is_equal_part(value1, value2, op, false);
}

// ---- searching ------------------------------------------------------------------

namespace {

// What a search looks for: a run of characters, a set of characters, or a
// number that each byte of a binary! is compared with.
struct Pattern {
    enum Kind { CHARS, SET, NUMBER } kind = CHARS;
    Text text{};
    uint32_t single = 0;  // the text of a char! pattern
    const Cell* bitset = nullptr;
    double number = 0;
    uint32_t length() const { return kind == CHARS ? text.len : 1; }
};

struct Search {
    Text hay;        // the whole buffer, from its head
    uint32_t index;  // the series' position, clamped to the tail
    Pattern pattern;
    bool fold;
    uint32_t step;
    uint32_t low, high;  // candidates lie within [low, high)
};

// Forms a value that is not text into a new string, the pattern's text.
void form_pattern(Pattern& p, Cell* value) {
    Cell* text = stack::push_slot();
    write_cell(text, 16);
    actions::form_dispatch(value, text, nullptr, 0x7FFFFFFF);
    p.text = text_of(text);
    stack::pop(1);  // nothing runs before the search ends: the buffer stays
}

void make_pattern(Pattern& p, Cell* series, Cell* value) {
    uint32_t t = cell::type(value);
    bool binary_series = cell::type(series) == T_BINARY;
    if (t == T_CHAR) {
        p.single = cell::get_char(value);
        p.text = Text{reinterpret_cast<const uint8_t*>(&p.single), 4, 1};
    } else if (t == T_BITSET) {
        p.kind = Pattern::SET;
        p.bitset = value;
    } else if (types::is_any_string(t) || t == T_WORD) {
        p.text = text_of(value);
    } else if (t == T_BINARY) {
        if (!binary_series) error::raise(Err::script_invalid_arg, value);
        p.text = text_of(value);
    } else if (binary_series && (t == T_INTEGER || t == T_FLOAT)) {
        p.kind = Pattern::NUMBER;
        p.number = t == T_INTEGER ? double(cell::get_int(value)) : cell::get_float(value);
    } else {
        form_pattern(p, value);
    }
}

bool same_char(const Search& s, uint32_t c, uint32_t want) {
    return s.fold ? upper(c) == upper(want) : c == want;
}

// The pattern stands at start (which lies in range).
bool matches_at(const Search& s, uint32_t start) {
    const Pattern& p = s.pattern;
    uint32_t c = char_of(s.hay, start);
    switch (p.kind) {
    case Pattern::SET: return bitset_has(p.bitset, c);
    case Pattern::NUMBER: return double(c) == p.number;
    case Pattern::CHARS: break;
    }
    if (p.text.len > s.high - start) return false;
    for (uint32_t i = 0; i < p.text.len; i++)
        if (!same_char(s, char_of(s.hay, start + i), char_of(p.text, i))) return false;
    return true;
}

// The start of the first match, or -1. Candidates start at the series'
// position and every step from it (so with /skip only the first character of
// each record is a candidate, whichever way the search runs): forward from
// low, backward from the last start whose match fits below high. An empty
// text matches at the first candidate.
int64_t scan(const Search& s, bool backward, bool match) {
    int64_t n = s.pattern.length();
    if (n == 0) return backward ? s.high : s.low;
    if (!backward) {
        for (int64_t pos = s.low; pos < s.high; pos += s.step) {
            if (pos + n <= s.high && matches_at(s, uint32_t(pos))) return pos;
            if (match) break;
        }
        return -1;
    }
    int64_t last = int64_t(s.high) - n, index = s.index, step = s.step;
    if (last < s.low) return -1;
    int64_t start = series::record_start(last, index, step);
    for (; start >= s.low; start -= step) {
        if (matches_at(s, uint32_t(start))) return start;
        if (match) break;
    }
    return -1;
}

// The /part length: a count, or a position of the same series.
int64_t part_length(const Cell* series, const Cell* part) {
    if (cell::type(part) == T_INTEGER) return cell::get_int(part);
    if (cell::type(part) != cell::type(series) || cell::series_node(part) != cell::series_node(series))
        error::raise_bad_refine("part", part);
    return int64_t(cell::series_index(part)) - cell::series_index(series);
}

// Sets up the search; false when nothing can be found.
bool prepare(Search& s, Cell* series, Cell* value, Cell* part, bool case_, bool same, bool any, Cell* with,
             Cell* skip, bool reverse, bool match) {
    SeriesBuffer* b = buffer_of(series);
    s.hay = buffer_text(b, 0);
    s.index = uint32_t(std::clamp<int64_t>(cell::series_index(series), 0, s.hay.len));
    if (s.hay.len == 0 || (!reverse && s.index >= s.hay.len)) return false;
    if (any || with) error::raise(Err::internal_not_done);
    s.step = 1;
    if (skip) {
        if (cell::type(skip) != T_INTEGER) error::raise_bad_refine("skip", skip);
        if (cell::get_int(skip) < 1) error::raise(Err::script_out_of_range, skip);
        s.step = uint32_t(cell::get_int(skip));
    }
    uint32_t room = reverse ? s.index : s.hay.len - s.index;
    uint32_t length = room;
    if (part) {
        int64_t n = part_length(series, part);
        if (n < 1) return false;
        length = uint32_t(std::min<int64_t>(n, room));
    }
    if (reverse && (match || length == 0)) return false;
    s.low = reverse ? s.index - length : s.index;
    s.high = reverse ? s.index : s.index + length;
    s.fold = types::is_any_string(series) && !case_ && !same;
    make_pattern(s.pattern, series, value);
    return true;
}

// The start of the match, or -1; *length receives the pattern's length.
int64_t search(Cell* series, Cell* value, Cell* part, bool case_, bool same, bool any, Cell* with, Cell* skip,
               bool last, bool reverse, bool match, uint32_t* length) {
    Search s;
    if (!prepare(s, series, value, part, case_, same, any, with, skip, reverse, match)) return -1;
    *length = s.pattern.length();
    return scan(s, last || reverse, match);
}

}  // namespace

const Cell* find(Cell* series, Cell* value, Cell* part, bool, bool case_, bool same, bool any, Cell* with,
                 Cell* skip, bool last, bool reverse, bool tail, bool match) {
    uint32_t length = 0;
    int64_t at = search(series, value, part, case_, same, any, with, skip, last, reverse, match, &length);
    if (at < 0) return none();
    answer = *series;
    cell::set_series_index(&answer, uint32_t(tail ? at + length : at));
    return &answer;
}

const Cell* select(Cell* series, Cell* value, Cell* part, bool, bool case_, bool same, bool any, Cell* with,
                   Cell* skip, bool last, bool reverse) {
    uint32_t length = 0;
    int64_t at = search(series, value, part, case_, same, any, with, skip, last, reverse, false, &length);
    if (at < 0) return none();
    uint64_t next = uint64_t(at) + length;
    if (next >= get_abs_length(series)) return none();
    uint32_t c = char_at(series, uint32_t(next));
    if (cell::type(series) == T_BINARY)
        cell::make_integer(&answer, int32_t(c));
    else
        cell::make_char(&answer, c);
    return &answer;
}

// ---- path access ----------------------------------------------------------------

const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool case_,
                      bool, bool, bool) {
    switch (cell::type(element)) {
    case T_INTEGER:
        return value ? series::poke(parent, cell::get_int(element), element, value)
                     : series::pick(parent, cell::get_int(element), element);
    case T_WORD: error::raise(Err::script_invalid_path, path, element);
    default: break;
    }
    if (!value)
        return select(parent, element, nullptr, false, case_, false, false, nullptr, nullptr, false, false);
    const Cell* found =
        find(parent, element, nullptr, false, case_, false, false, nullptr, nullptr, false, false, true, false);
    if (cell::type(found) == T_NONE) error::raise(Err::script_bad_path_set, path, element);
    Cell at = *found, first;
    cell::make_integer(&first, 1);
    return series::poke(&at, 1, &first, value);
}

// ---- conversion ------------------------------------------------------------------

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    uint32_t n = std::min<int64_t>(get_length(value), std::max(limit, 0));
    copy_part_into(buffer, value, int32_t(n), 0, true, COPY_APPEND);
    return limit - int32_t(n);
}

int32_t append_formed(Cell* buffer, Cell* value, bool splice, Cell* part, int32_t limit) {
    uint32_t t = cell::type(value);
    if (t == T_CHAR) {
        append_char(buffer_of(buffer), cell::get_char(value));
        return limit - 1;
    }
    if (types::is_any_string(t)) return form(value, buffer, part, limit);
    if (!(splice && types::in(types::PLAIN_BLOCK, t))) return actions::form_dispatch(value, buffer, part, limit);
    uint32_t count = series::length(buffer_of(value));
    for (uint32_t i = uint32_t(std::max(cell::series_index(value), 0)); i < count; i++) {
        if (part && limit < 1) break;
        Cell element = series::cells(buffer_of(value))[i];
        limit = append_formed(buffer, &element, false, part, limit);
    }
    return limit;
}

const Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    uint32_t t = cell::type(spec);
    if (type == T_BINARY && t == T_MONEY) {
        Cell datatype;
        cell::make_datatype(&datatype, type);
        error::raise_bad_make(&datatype, spec);
    }
    // binary! inherits make; its bytes come from its own constructor.
    MakeFn convert = type == T_BINARY ? types::row(T_BINARY).to : to;
    if (t != T_INTEGER && t != T_FLOAT) return convert(proto, spec, type);
    int32_t room = check::float_range(spec);
    if (room < 0) error::raise(Err::script_out_of_range, spec);
    return new_text(type, uint32_t(room));
}

namespace {

// A binary!'s bytes decoded as UTF-8; invalid-utf8 names the bytes from the
// first bad sequence to the end.
void decode_binary(Cell* out, const Cell* bytes) {
    Text t = text_of(bytes);
    const uint8_t* end = t.p + t.len;
    for (const uint8_t* p = t.p; p < end;) {
        int32_t cp;
        const uint8_t* next = utf8::decode_char(p, end, &cp);
        if (cp >= 0 && cp <= int32_t(utf8::MAX_CODE_POINT)) {
            p = next;
            continue;
        }
        Cell rest;
        cell::make_series(
            &rest, T_BINARY,
            series::copy_part(cell::series_node(bytes), uint32_t(p - series::head_ptr(buffer_of(bytes))),
                              uint32_t(end - p)));
        error::raise(Err::access_invalid_utf8, &rest);
    }
    cell::make_series(out, T_STRING, from_utf8_new(t.p, t.len, false));
}

}  // namespace

const Cell* to(Cell*, Cell* spec, uint32_t type) {
    uint32_t t = cell::type(spec);
    if (t == T_NONE) {
        Cell datatype;
        cell::make_datatype(&datatype, type);
        error::raise(Err::script_bad_to_arg, &datatype, spec);
    }
    if (t == T_BINARY) {
        decode_binary(&answer, spec);
    } else if (types::is_any_string(t)) {
        Text text = text_of(spec);
        make_buffer_at(&answer, text.len, text.unit);
        copy_part_into(&answer, spec, -1, 0, false, COPY_APPEND);
    } else {
        Cell* text = stack::push_slot();
        write_cell(text, 16);
        if (t == T_REFINEMENT && type != T_STRING)
            actions::mold_dispatch(spec, text, false, false, false, nullptr, 0x7FFFFFFF, 0);
        else
            append_formed(text, spec, true, nullptr, 0x7FFFFFFF);
        answer = *text;
        stack::pop(1);
    }
    cell::set_type(&answer, type);
    return &answer;
}

// ---- registration ---------------------------------------------------------------

void init() {
    datatype::register_({.id = T_STRING, .parent = T_SERIES, .name = "string!",
                         .make = make, .random = INHERIT, .reflect = INHERIT, .to = to, .form = form,
                         .mold = mold, .eval_path = eval_path, .compare = compare,
                         .append = insert, .at = INHERIT, .back = INHERIT, .change = change,
                         .clear = INHERIT, .copy = INHERIT, .find = find, .head = INHERIT,
                         .is_head = INHERIT, .is_index = INHERIT, .insert = insert,
                         .is_length = INHERIT, .move = INHERIT, .next = INHERIT, .pick = INHERIT,
                         .poke = INHERIT, .remove = INHERIT, .reverse = INHERIT, .select = select,
                         .sort = sort, .skip = INHERIT, .swap = swap, .tail = INHERIT,
                         .is_tail = INHERIT, .take = take, .trim = trim, .modify = INHERIT});
}

}  // namespace string
}  // namespace zel
