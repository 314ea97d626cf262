// string!: the modifying actions (append, insert, change, sort, swap, take,
// trim), the set operations of the natives on text, and case changes in
// place.
//
// Each action tells the owner of its string before the change and, when the
// string has an owner, after it. The owner's handler runs user code, which
// may change the string or move its buffer: so positions are kept as
// character indexes and everything is read again after the first call.
#include <algorithm>
#include <cstring>
#include <utility>

#include "core/block.h"
#include "core/block_search.h"
#include "core/exits.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/series.h"
#include "core/sort_records.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/string_actions.h"
#include "core/support.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "kernel/casefold.h"
#include "kernel/fail.h"
#include "kernel/runtime.h"
#include "kernel/sort.h"

namespace zel {
namespace string {

namespace {

Cell answer;

constexpr int32_t NO_LIMIT = 0x7FFFFFFF;
// The largest text a buffer may hold, in bytes.
constexpr uint64_t MAX_BYTES = 0x7FFFFFF0;

const Cell* word_of(words::Word w) { return words::word(w); }

bool announce(const Cell* s, const Cell* action, const Cell* value, uint32_t index, uint64_t part) {
    return series::announce(s, action, value, int32_t(index), int32_t(std::min<uint64_t>(part, NO_LIMIT)));
}

uint32_t unit_of(const Cell* s) { return series::unit(buffer_of(s)); }
uint8_t* address(SeriesBuffer* b, uint32_t i) { return series::raw_bytes(b) + size_t(i) * series::unit(b); }

// The characters from the value's index to the tail, and that index (moved
// back to the tail when it lies past it), measured once.
uint32_t measure(Cell* s, uint32_t* index) {
    uint32_t length = get_length(s);
    *index = uint32_t(std::max(cell::series_index(s), 0));
    return length;
}

// The value's index, moved back to the tail when it lies past it.
uint32_t clamped_index(Cell* s) {
    uint32_t index;
    measure(s, &index);
    return index;
}

// ---- the text an insertion places -------------------------------------------------

// count characters of a buffer from a position, or one character (no node).
struct Source {
    Node node;
    uint32_t from, count, single;
};

// A new empty string on the value stack, where the collector sees it.
Cell* push_text(uint32_t room) {
    Cell* c = stack::push_slot();
    write_cell(c, room);
    return c;
}

// The text a value contributes when it is not a char! or a text: its form,
// cut to the /part length; a tag! with its angle brackets.
Cell* push_formed(Cell* value, int32_t part) {
    Cell* text = push_text(16);
    int32_t limit = part < 0 ? NO_LIMIT : part;
    if (cell::type(value) == T_TAG) {
        append_char(buffer_of(text), '<');
        copy_part_into(text, value, part, 0, true, COPY_APPEND);
        append_char(buffer_of(text), '>');
        return text;
    }
    Cell limit_cell;
    cell::make_integer(&limit_cell, limit);
    limit = append_formed(text, value, true, part < 0 ? nullptr : &limit_cell, limit);
    if (limit < 0) truncate(buffer_of(text), get_abs_length(text) - uint32_t(-int64_t(limit)));
    return text;
}

bool is_placed_as_is(const Cell* value) {
    return cell::type(value) == T_CHAR || (types::is_any_string(value) && cell::type(value) != T_TAG);
}

// The source for a char! or a text as it stands now; a text that shares the
// target's buffer is copied first, so that moving the target's characters
// cannot move it.
[[gnu::noinline]] Source copied_source(Cell* value, uint32_t count) {
    Cell* copy = stack::push_slot();
    make_buffer_at(copy, count, unit_of(value));
    copy_part_into(copy, value, int32_t(count), 0, false, COPY_APPEND);
    return Source{cell::series_node(copy), 0, count, 0};
}

[[gnu::always_inline]] inline Source source_of(const Cell* target, Cell* value, int32_t part) {
    if (cell::type(value) == T_CHAR) return Source{0, 0, 1, cell::get_char(value)};
    uint32_t index, length = measure(value, &index);
    uint32_t count = part < 0 ? length : std::min(length, uint32_t(part));
    if (cell::series_node(value) != cell::series_node(target))
        return Source{cell::series_node(value), index, count, 0};
    return copied_source(value, count);
}

// Characters that source_of will find.
uint32_t text_count(Cell* text, int32_t part) {
    if (cell::type(text) == T_CHAR) return 1;
    uint32_t length = get_length(text);
    return part < 0 ? length : std::min(length, uint32_t(part));
}

// The unit a character needs: append keeps only ASCII in 1-byte units,
// insert and change keep Latin-1.
uint32_t unit_needed(const Source& s, bool append) {
    if (s.node) return series::unit(node::buffer(s.node));
    uint32_t c = s.single;
    return c > 0xFFFF ? 4 : c > (append ? 0x7Fu : 0xFFu) ? 2 : 1;
}

// Internal error no-memory when the text would outgrow a buffer.
void check_size(const Cell* target, uint64_t added, uint32_t unit) {
    SeriesBuffer* b = buffer_of(target);
    if ((uint64_t(series::length(b)) + added) * std::max(unit, series::unit(b)) > MAX_BYTES)
        fail::internal("no-memory");
}

// The target's buffer, widened to the unit the source needs.
[[gnu::always_inline]] inline SeriesBuffer* fitted(const Cell* target, const Source& src, bool append) {
    SeriesBuffer* b = buffer_of(target);
    uint32_t unit = unit_needed(src, append);
    return unit > series::unit(b) ? widen_to(b, unit) : b;
}

// The buffer grown, to twice its size at least, when its data area must
// reach need bytes; internal error no-memory past the largest text.
SeriesBuffer* room_for(SeriesBuffer* b, uint64_t need) {
    if (need > MAX_BYTES) fail::internal("no-memory");
    if (need <= b->size) return b;
    return series::expand(b, uint32_t(std::min(std::max(need, uint64_t(b->size) * 2), MAX_BYTES)));
}

// n bytes, at least one word and at most two, as the first and the last
// word (which overlap when n is below two words).
template <class W>
inline void copy_ends(uint8_t* to, const uint8_t* from, size_t n) {
    W head, tail;
    std::memcpy(&head, from, sizeof(W));
    std::memcpy(&tail, from + n - sizeof(W), sizeof(W));
    std::memcpy(to, &head, sizeof(W));
    std::memcpy(to + n - sizeof(W), &tail, sizeof(W));
}

// The few bytes of a short text copied without a library call (most
// appended texts are a few characters); the ranges do not overlap.
inline void copy_bytes(uint8_t* to, const uint8_t* from, size_t n) {
    if (n > 16) {
        std::memcpy(to, from, n);
    } else if (n >= 8) {
        copy_ends<uint64_t>(to, from, n);
    } else if (n >= 4) {
        copy_ends<uint32_t>(to, from, n);
    } else if (n > 0) {
        to[0] = from[0];
        to[n / 2] = from[n / 2];
        to[n - 1] = from[n - 1];
    }
}

// The source's characters written at `at`, in units of unit.
[[gnu::always_inline]] inline void place(uint8_t* at, uint32_t unit, const Source& src) {
    if (!src.node) {
        put_char(at, unit, src.single);
        return;
    }
    SeriesBuffer* sb = node::buffer(src.node);
    uint32_t su = series::unit(sb);
    const uint8_t* from = address(sb, src.from);
    if (su == unit)
        copy_bytes(at, from, size_t(src.count) * unit);
    else
        for (uint32_t i = 0; i < src.count; i++)
            put_char(at + size_t(i) * unit, unit, get_char(from + size_t(i) * su, su));
}

// Replaces removed characters at position with dup copies of the source and
// answers the position after them. The source never shares the target's
// buffer.
uint32_t splice(const Cell* target, uint32_t position, uint32_t removed, const Source& src, uint32_t dup,
                bool append) {
    SeriesBuffer* b = fitted(target, src, append);
    uint32_t unit = series::unit(b), len = series::length(b);
    uint64_t added = uint64_t(src.count) * dup, new_len = len - removed + added;
    b = room_for(b, b->head + new_len * unit);
    uint8_t* at = address(b, position);
    if (position + removed < len)
        std::memmove(at + added * unit, at + size_t(removed) * unit, size_t(len - position - removed) * unit);
    b->tail = b->head + uint32_t(new_len * unit);
    place(at, unit, src);
    if (dup > 1) memory::fill_pattern(at, src.count * unit, dup);
    return uint32_t(position + added);
}

// A whole text once (no /part, no /dup; a tag! is formed): what append
// copies straight to the tail of a string nothing watches.
[[gnu::always_inline]] inline bool is_whole_text(const Cell* value, int32_t part, int32_t dup) {
    return part < 0 && dup == 1 && types::is_any_string(value) && cell::type(value) != T_TAG;
}

// A whole text once onto a string nothing watches: no handler can run, so
// the text is measured once and its characters go straight to the tail.
[[gnu::noinline]] void append_whole_text(const Cell* target, Cell* value) {
    Cell* base = stack::reg.top;
    Source src = source_of(target, value, -1);
    SeriesBuffer* b = fitted(target, src, true);
    uint32_t unit = series::unit(b);
    b = room_for(b, b->tail + uint64_t(src.count) * unit);
    uint8_t* at = series::tail_ptr(b);
    b->tail += src.count * unit;
    place(at, unit, src);
    stack::reg.top = base;
}

// The answer of an append to a string nothing watches: the string at its
// head, whatever its index.
const Cell* at_head(const Cell* series) {
    answer = *series;
    cell::set_series_index(&answer, 0);
    return &answer;
}

[[gnu::noinline]] const Cell* append_whole_text_at_head(const Cell* target, Cell* value) {
    append_whole_text(target, value);
    return at_head(target);
}

// The common case inline: a text in a buffer of its own and of the target's
// unit, into room the buffer has. It is measured without writing its index
// back, and the rest (widening, growth, a source sharing the target's
// buffer) is left to append_whole_text, so that this path makes no call but
// the copy of a long text.
[[gnu::always_inline]] inline const Cell* append_own_text(const Cell* target, Cell* value) {
    SeriesBuffer* b = buffer_of(target);
    SeriesBuffer* sb = buffer_of(value);
    uint32_t unit = series::unit(b), length = series::length(sb);
    int32_t i = cell::series_index(value);
    uint32_t from = i < 0 ? 0 : std::min(uint32_t(i), length);
    uint32_t count = length - from;
    if (cell::series_node(value) == cell::series_node(target) || series::unit(sb) != unit ||
        b->tail + uint64_t(count) * unit > b->size)
        return append_whole_text_at_head(target, value);
    const Cell* result = at_head(target);
    uint8_t* at = series::tail_ptr(b);
    b->tail += count * unit;
    copy_bytes(at, address(sb, from), size_t(count) * unit);
    return result;
}

// append of a value that is formed, to a string without an owner: the form
// goes straight to the tail. A failing form leaves the string as it was.
struct TailGuard {
    const Cell* s;
    uint32_t length;
    bool done = false;
    ~TailGuard() {
        if (!done) truncate(buffer_of(s), length);
    }
};

void append_formed_directly(Cell* series, Cell* value, int32_t part, uint32_t dup) {
    uint32_t start = get_abs_length(series);
    TailGuard guard{series, start};
    Cell limit_cell;
    cell::make_integer(&limit_cell, part);
    int32_t limit =
        append_formed(series, value, true, part < 0 ? nullptr : &limit_cell, part < 0 ? NO_LIMIT : part);
    uint32_t end = get_abs_length(series);
    if (limit < 0) end -= uint32_t(-int64_t(limit));
    truncate(buffer_of(series), end);
    if (dup > 1) {
        uint32_t run = end - start;
        check_size(series, uint64_t(run) * (dup - 1), 1);
        Cell* copy = stack::push_slot();
        make_buffer_at(copy, run, unit_of(series));
        Cell from = *series;
        cell::set_series_index(&from, start);
        copy_part_into(copy, &from, int32_t(run), 0, false, COPY_APPEND);
        splice(series, end, 0, Source{cell::series_node(copy), 0, run, 0}, dup - 1, true);
        stack::pop(1);
    }
    guard.done = true;
}

// insert, append and change: the text goes in at the index (the tail for
// append) in place of removed characters (change: the /part count, else as
// many as the new text holds).
[[gnu::noinline]] const Cell* put_text(Cell* series, Cell* value, int32_t part, int32_t dup, bool append, bool change) {
    // An append to a string nothing watches answers the string at its head
    // whatever its index.
    if (append && !(buffer_of(series)->flags & SER_OWNED)) {
        bool text = is_placed_as_is(value);
        if (text ? is_whole_text(value, part, dup) : cell::type(value) != T_TAG) {
            if (text) append_whole_text(series, value);
            else append_formed_directly(series, value, part, uint32_t(dup));
            return at_head(series);
        }
    }
    Cell* base = stack::reg.top;
    clamped_index(series);
    // A formed text first: forming may fail, and a change must not be announced then.
    Cell* formed = is_placed_as_is(value) ? nullptr : push_formed(value, change ? -1 : part);
    Cell* text = formed ? formed : value;
    int32_t text_part = formed || change ? -1 : part;
    const Cell* before = append ? word_of(words::W_append)
                         : change ? word_of(words::W_change)
                                  : words::keyword(words::K_insert);
    const Cell* after = word_of(append ? words::W_appended : change ? words::W_changed : words::W_inserted);
    uint32_t index = append ? get_abs_length(series) : clamped_index(series);
    bool owned = announce(series, before, value, index, uint64_t(text_count(text, text_part)) * uint32_t(dup));
    // The handler may have changed both texts: everything is measured now.
    uint32_t length = get_abs_length(series);
    uint32_t position = append ? length : std::min(clamped_index(series), length);
    Source src = source_of(series, text, text_part);
    uint64_t added = uint64_t(src.count) * uint32_t(dup);
    check_size(series, added, unit_needed(src, append));
    uint32_t removed = 0;
    if (change) removed = uint32_t(std::min<uint64_t>(length - position, part < 0 ? added : uint32_t(part)));
    uint32_t end = splice(series, position, removed, src, uint32_t(dup), append);
    if (owned) announce(series, after, value, position, added);
    stack::reg.top = base;
    answer = *series;
    cell::set_series_index(&answer, append ? 0 : end);
    return &answer;
}

}  // namespace

const Cell* insert(Cell* series, Cell* value, int32_t part, bool, int32_t dup, bool append) {
    if (append && is_whole_text(value, part, dup) && !(buffer_of(series)->flags & SER_OWNED))
        return append_own_text(series, value);
    return put_text(series, value, part, dup, append, false);
}

const Cell* change(Cell* series, Cell* value, int32_t part, bool, int32_t dup) {
    return put_text(series, value, part, dup, false, true);
}

// ---- sort -------------------------------------------------------------------------

namespace {

// How two records compare: the characters [first, last) of each, in the unit
// of the buffer, folded unless case-sensitive.
struct Order {
    uint32_t unit, first, last;
    bool fold, reverse;
};

// 1-byte text folds A to Z to lower case; wider text folds through the case
// tables to upper case.
inline uint32_t fold_char(uint32_t c, uint32_t unit) {
    if (unit == 1) return c >= 'A' && c <= 'Z' ? c + 32 : c;
    return case_::convert(c, true);
}

int32_t compare_records(const void* a, const void* b, uintptr_t order, uintptr_t) {
    const Order& o = *reinterpret_cast<const Order*>(order);
    const uint8_t* x = static_cast<const uint8_t*>(a);
    const uint8_t* y = static_cast<const uint8_t*>(b);
    if (o.reverse) std::swap(x, y);
    for (uint32_t i = o.first; i < o.last; i++) {
        uint32_t c1 = get_char(x + size_t(i) * o.unit, o.unit), c2 = get_char(y + size_t(i) * o.unit, o.unit);
        if (o.fold) c1 = fold_char(c1, o.unit), c2 = fold_char(c2, o.unit);
        if (c1 != c2) return c1 < c2 ? -1 : 1;
    }
    return 0;
}

// What sort was asked: the characters to sort, the record size, the field
// compared, and a comparator function.
struct SortPlan {
    uint32_t start, count, size, field;
    bool all, calls;
};

void choose_comparator(SortPlan& p, const Cell* compare, bool has_skip) {
    if (!compare) return;
    switch (cell::type(compare)) {
    case T_FUNCTION: p.calls = true; return;
    case T_INTEGER: {
        if (!has_skip || p.all) error::raise(Err::script_bad_refines);
        int32_t k = cell::get_int(compare);
        if (k < 1 || uint32_t(k) > p.size) error::raise(Err::script_out_of_range, compare);
        p.field = uint32_t(k - 1);
        return;
    }
    default: error::raise_bad_refine("compare", compare);
    }
}

void run_sort(void* base, uint32_t records, uint32_t bytes, uintptr_t context, sort::Compare compare,
              bool stable) {
    (stable ? zel::sort::stable : zel::sort::quick)(base, records, bytes, context, 0, compare);
}

// The answer is set last: a comparator may run other string actions.
const Cell* sorted(const Cell& result) {
    answer = result;
    return &answer;
}

// Code points in tracked memory, freed on every path out.
struct HeapChars {
    uint32_t* chars;
    explicit HeapChars(size_t n) : chars(static_cast<uint32_t*>(heap::alloc(std::max<size_t>(n, 1) * 4))) {}
    ~HeapChars() { heap::free(chars); }
    HeapChars(const HeapChars&) = delete;
    HeapChars& operator=(const HeapChars&) = delete;
};

// A comparator function runs through the sort of blocks, which calls it
// under the exit rules and sorts a rooted copy: over a block of [key number]
// pairs, the key being the record's first character as a char!, or with /all
// the whole record as a string!. The string gets the records in their new
// order once the sort has finished; one that the comparator shortened keeps
// what it holds then.
void sort_by_function(Cell* series, const SortPlan& p, Cell* function, bool reverse, bool stable) {
    uint32_t records = p.count / p.size;
    HeapChars copy(p.count);
    for (uint32_t i = 0; i < p.count; i++) copy.chars[i] = char_at(series, p.start + i);
    Cell* pairs = stack::push_slot();
    block::write_cell(pairs, int32_t(records * 2));
    for (uint32_t r = 0; r < records; r++) {
        const uint32_t* record = copy.chars + size_t(r) * p.size;
        Cell key, number;
        if (p.all) {
            write_cell(&key, p.size);
            for (uint32_t i = 0; i < p.size; i++) append_char(buffer_of(&key), record[i]);
        } else {
            cell::make_char(&key, record[0]);
        }
        cell::make_integer(&number, int32_t(r));
        block::append_copy(pairs, &key);
        block::append_copy(pairs, &number);
    }
    Cell pair_size;
    cell::make_integer(&pair_size, 2);
    block::sort(pairs, false, &pair_size, function, nullptr, false, reverse, stable);
    if (exits::pending() || p.start + p.count > get_abs_length(series)) return;
    SeriesBuffer* b = buffer_of(series);
    for (uint32_t r = 0; r < records; r++) {
        const uint32_t* record = copy.chars + size_t(cell::get_int(block::cell_at(pairs, 2 * r + 1))) * p.size;
        for (uint32_t i = 0; i < p.size; i++) b = poke_char(b, p.start + r * p.size + i, record[i]);
    }
}

}  // namespace

const Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all, bool reverse,
                 bool stable) {
    uint32_t length = get_length(series);
    SortPlan p{clamped_index(series), length, 1, 0, all, false};
    if (part) {
        int32_t n = series::part_count(series, part);
        if (n < 0) {
            uint32_t back = std::min(p.start, uint32_t(-int64_t(n)));
            p.start -= back;
            p.count = back;
        } else {
            p.count = std::min(length, uint32_t(n));
        }
    }
    Cell result = *series;
    cell::set_series_index(&result, p.start);
    if (p.count == 0) return sorted(result);
    p.size = sort_records::record_size(skip, p.count, all);
    choose_comparator(p, compare, skip != nullptr);
    bool owned = announce(series, word_of(words::W_sort), nullptr, p.start, p.count);
    if (p.calls) {
        Cell* base = stack::reg.top;
        sort_by_function(series, p, compare, reverse, stable);
        stack::reg.top = base;
        if (exits::pending()) return sorted(result);
    } else if (p.start + p.count <= get_abs_length(series)) {
        SeriesBuffer* b = buffer_of(series);
        uint32_t unit = series::unit(b);
        Order o{unit, p.field, all ? p.size : p.field + 1, !case_, reverse};
        run_sort(address(b, p.start), p.count / p.size, p.size * unit, reinterpret_cast<uintptr_t>(&o),
                 compare_records, stable);
    }
    if (owned) announce(series, word_of(words::W_sorted), nullptr, p.start, p.count);
    return sorted(result);
}

// ---- swap and take ----------------------------------------------------------------

namespace {

// A binary! holds bytes only.
void fits_in(const Cell* target, uint32_t c) {
    if (cell::type(target) != T_BINARY || c <= 0xFF) return;
    Cell wide;
    cell::make_char(&wide, c);
    error::raise(Err::script_out_of_range, &wide);
}

}  // namespace

const Cell* swap(Cell* series1, Cell* series2) {
    if (!types::is_any_string(series2) && cell::type(series2) != T_BINARY) error::raise(Err::script_invalid_arg, series2);
    if (get_length(series1) == 0 || get_length(series2) == 0) return series1;
    uint32_t i1 = clamped_index(series1), i2 = clamped_index(series2);
    uint32_t c1 = char_at(series1, i1), c2 = char_at(series2, i2);
    fits_in(series1, c2);
    fits_in(series2, c1);
    bool owned1 = announce(series1, word_of(words::W_swap), series2, i1, 1);
    bool owned2 = announce(series2, word_of(words::W_swap), series1, i2, 1);
    if (get_length(series1) > 0 && get_length(series2) > 0) {
        i1 = clamped_index(series1), i2 = clamped_index(series2);
        c1 = char_at(series1, i1), c2 = char_at(series2, i2);
        poke_char(buffer_of(series1), i1, c2);
        poke_char(buffer_of(series2), i2, c1);
    }
    if (owned1) announce(series1, word_of(words::W_swaped), series2, i1, 1);
    if (owned2) announce(series2, word_of(words::W_swaped), series1, i2, 1);
    return series1;
}

const Cell* take(Cell* series, Cell* part, bool, bool last) {
    const Cell* taken = series::take_units(series, part, last, !part);
    if (part || cell::type(taken) == T_NONE || get_abs_length(taken) == 0) return taken;
    uint32_t c = char_at(taken, 0);
    if (cell::type(series) == T_BINARY)
        cell::make_integer(&answer, int32_t(c));
    else
        cell::make_char(&answer, c);
    return &answer;
}

// ---- sets of characters -------------------------------------------------------------

namespace {

// Membership of code points: bits for the first 256 in place, for the rest of
// the basic plane in an 8 KB map made on first need, and an open-addressing
// table above it.
class CharSet {
public:
    CharSet() = default;
    ~CharSet() {
        heap::free(plane_);
        heap::free(wide_);
    }
    CharSet(const CharSet&) = delete;
    CharSet& operator=(const CharSet&) = delete;

    bool has(uint32_t c) const {
        if (c < 256) return low_[c >> 3] & (1u << (c & 7));
        if (c < 0x10000) return plane_ && (plane_[c >> 3] & (1u << (c & 7)));
        return wide_ && wide_[slot(c)] == c;
    }
    void add(uint32_t c) {
        if (c < 256) {
            low_[c >> 3] |= uint8_t(1u << (c & 7));
        } else if (c < 0x10000) {
            if (!plane_) plane_ = static_cast<uint8_t*>(heap::alloc_zeroed(0x10000 / 8));
            plane_[c >> 3] |= uint8_t(1u << (c & 7));
        } else if (!has(c)) {
            if (2 * (count_ + 1) > capacity_) grow();
            wide_[slot(c)] = c;
            count_++;
        }
    }

private:
    // The slot that holds c or the empty one where it would go; 0 is empty,
    // which no code point of this table has.
    uint32_t slot(uint32_t c) const {
        uint32_t mask = capacity_ - 1, i = (c * 2654435761u) & mask;
        while (wide_[i] && wide_[i] != c) i = (i + 1) & mask;
        return i;
    }
    void grow() {
        uint32_t* old = wide_;
        uint32_t old_capacity = capacity_;
        capacity_ = capacity_ ? capacity_ * 2 : 16;
        wide_ = static_cast<uint32_t*>(heap::alloc_zeroed(size_t(capacity_) * 4));
        for (uint32_t i = 0; i < old_capacity; i++)
            if (old[i]) wide_[slot(old[i])] = old[i];
        heap::free(old);
    }

    uint8_t low_[32] = {};
    uint8_t* plane_ = nullptr;
    uint32_t* wide_ = nullptr;
    uint32_t capacity_ = 0, count_ = 0;
};

// The characters of a text or binary from its index, or one char! or
// integer!; null is the default set of trim/all.
void fill_set(CharSet& set, const Cell* chars) {
    if (!chars) {
        for (uint32_t c : {'\t', '\n', '\r', ' '}) set.add(c);
        return;
    }
    uint32_t t = cell::type(chars);
    if (t == T_CHAR || t == T_INTEGER) {
        set.add(cell::get_char(chars));
        return;
    }
    Text text = text_of(chars);
    for (uint32_t i = 0; i < text.len; i++) set.add(char_of(text, i));
}

}  // namespace

// ---- trim ---------------------------------------------------------------------------

namespace {

// The spaces beyond ASCII that trim removes (the line rule too).
constexpr CodePair WIDE_SPACES[] = {
    {0x85, 0x85}, {0xA0, 0xA0}, {0x1680, 0x1680}, {0x180E, 0x180E}, {0x2000, 0x200A},
    {0x2028, 0x2029}, {0x202F, 0x202F}, {0x205F, 0x205F}, {0x3000, 0x3000},
};
bool is_wide_space(uint32_t c) {
    return c > 0x7F && char_::is_in_ranges(c, WIDE_SPACES, sizeof WIDE_SPACES / sizeof WIDE_SPACES[0]);
}
bool is_space(uint32_t c) { return (c >= 1 && c <= ' ') || is_wide_space(c); }
bool is_line_space(uint32_t c) { return c == ' ' || c == '\t' || is_wide_space(c); }

// The characters from the index to the tail, rewritten in place: each pass
// reads at r and writes at w <= r, then cuts the tail at w.
struct Rewrite {
    SeriesBuffer* b;
    uint32_t unit, from, len, w;
    explicit Rewrite(Cell* s)
        : b(buffer_of(s)), unit(series::unit(b)), from(clamped_index(s)), len(series::length(b)), w(from) {}
    uint32_t get(uint32_t i) const { return get_char(address(b, i), unit); }
    void put(uint32_t c) { put_char(address(b, w++), unit, c); }
    void copy(uint32_t begin, uint32_t end) {
        for (uint32_t i = begin; i < end; i++) put(get(i));
    }
    void finish() { truncate(b, w); }
};

void trim_lines(Cell* series) {
    Rewrite t(series);
    bool gap = false;
    for (uint32_t r = t.from; r < t.len; r++) {
        uint32_t c = t.get(r);
        if (is_space(c)) {
            gap = t.w > t.from;
            continue;
        }
        if (gap) t.put(' ');
        gap = false;
        t.put(c);
    }
    t.finish();
}

// Whitespace off the ends (only one end with only /head or /tail); with
// neither, off both ends of every line too, keeping a final line feed.
void trim_ends(Cell* series, bool head, bool tail) {
    Rewrite t(series);
    uint32_t start = t.from, end = t.len;
    if (!(tail && !head))
        while (start < end && is_space(t.get(start))) start++;
    if (!(head && !tail))
        while (end > start && is_space(t.get(end - 1))) end--;
    if (head || tail) {
        t.copy(start, end);
        t.finish();
        return;
    }
    bool final_line_feed = t.len > t.from && t.get(t.len - 1) == '\n';
    for (uint32_t line = start; line < end;) {
        uint32_t stop = line;
        while (stop < end && t.get(stop) != '\n') stop++;
        uint32_t a = line, z = stop;
        while (a < z && is_line_space(t.get(a))) a++;
        while (z > a && is_line_space(t.get(z - 1))) z--;
        t.copy(a, z);
        if (stop < end) t.put('\n');
        line = stop + 1;
    }
    if (final_line_feed && start < end) t.put('\n');
    t.finish();
}

}  // namespace

void trim_chars(Cell* series, const Cell* chars) {
    CharSet set;
    fill_set(set, chars);
    Rewrite t(series);
    for (uint32_t r = t.from; r < t.len; r++) {
        uint32_t c = t.get(r);
        if (!set.has(c)) t.put(c);
    }
    t.finish();
}

const Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    if (auto_) error::raise(Err::internal_not_done);
    if (with) {
        uint32_t t = cell::type(with);
        if (t != T_CHAR && t != T_INTEGER && t != T_STRING && t != T_BINARY)
            error::raise(Err::script_invalid_arg, with);
    }
    uint32_t index = clamped_index(series);
    bool owned = announce(series, word_of(words::W_trim), nullptr, index, get_length(series));
    if (all || with)
        trim_chars(series, with);
    else if (lines)
        trim_lines(series);
    else
        trim_ends(series, head, tail);
    if (owned) announce(series, word_of(words::W_trimmed), nullptr, clamped_index(series), get_length(series));
    return series;
}

// ---- set operations -----------------------------------------------------------------

namespace {

// Collects the kept records of the set operations into a new string wide
// enough for both inputs.
struct SetPass {
    CharSet seen;
    SeriesBuffer* out;
    uint32_t size, written = 0;
    bool fold;

    uint32_t key(uint32_t c) const { return fold ? case_::convert(c, true) : c; }
    // Keeps each record of the text whose first character is new to the
    // result and, with a filter, is (or is not) in it.
    void run(Cell* text, const CharSet* filter, bool keep_members) {
        Text t = text_of(text);
        uint32_t unit = series::unit(out);
        uint8_t* dst = series::raw_bytes(out);
        for (uint32_t r = 0; r < t.len; r += size) {
            uint32_t k = key(char_of(t, r));
            if (filter && filter->has(k) != keep_members) continue;
            if (seen.has(k)) continue;
            seen.add(k);
            for (uint32_t i = r; i < std::min(t.len, r + size); i++)
                put_char(dst + size_t(written++) * unit, unit, char_of(t, i));
        }
        out->tail = out->head + written * unit;
    }
};

void fill_keys(CharSet& set, Cell* text, uint32_t size, bool fold) {
    Text t = text_of(text);
    for (uint32_t r = 0; r < t.len; r += size) set.add(fold ? case_::convert(char_of(t, r), true) : char_of(t, r));
}

}  // namespace

const Cell* do_set_op(bool case_, Cell* skip, int32_t op) {
    uint32_t size = 1;
    if (skip) {
        if (cell::type(skip) != T_INTEGER || cell::get_int(skip) < 1) error::raise_bad_refine("skip", skip);
        size = uint32_t(cell::get_int(skip));
    }
    Cell* first = stack::arg(0);
    Cell* second = op == block::SET_UNIQUE ? first : stack::arg(1);
    uint32_t len1 = get_length(first), len2 = get_length(second);
    bool both = op == block::SET_UNION || op == block::SET_DIFFERENCE;
    Cell result;
    make_buffer_at(&result, len1 + (both ? len2 : 0), std::max(unit_of(first), unit_of(second)));
    SetPass pass{{}, buffer_of(&result), size, 0, !case_};
    if (op == block::SET_UNIQUE || op == block::SET_UNION) {
        pass.run(first, nullptr, false);
        if (op == block::SET_UNION) pass.run(second, nullptr, false);
    } else {
        CharSet in_second;
        fill_keys(in_second, second, size, !case_);
        pass.run(first, &in_second, op == block::SET_INTERSECT);
        if (op == block::SET_DIFFERENCE) {
            CharSet in_first;
            fill_keys(in_first, first, size, !case_);
            pass.run(second, &in_first, false);
        }
    }
    cell::set_type(&result, cell::type(first));
    *first = result;
    return first;
}

}  // namespace string

// ---- case changes ---------------------------------------------------------------------

namespace case_ {

void change_string(Cell* value, bool upper, const Cell* limit) {
    if (cell::type(value) == T_CHAR) {
        cell::set_char(value, convert(cell::get_char(value), upper));
        return;
    }
    uint32_t length = string::get_length(value);
    uint32_t index = uint32_t(std::max(cell::series_index(value), 0));
    int64_t count = length;
    if (limit) {
        if (cell::type(limit) == T_INTEGER)
            count = cell::get_int(limit);
        else if (cell::type(limit) == cell::type(value) && cell::series_node(limit) == cell::series_node(value))
            count = int64_t(cell::series_index(limit)) - index;
        else
            error::raise_bad_refine("part", limit);
        count = std::clamp<int64_t>(count, 0, length);
    }
    for (uint32_t i = index; i < index + count; i++) {
        uint32_t c = string::char_at(value, i), changed = convert(c, upper);
        if (changed != c) string::poke_char(string::buffer_of(value), i, changed);
    }
    series::announce(value, words::word(upper ? words::W_uppercase : words::W_lowercase), nullptr, int32_t(index),
                     int32_t(count));
}

}  // namespace case_
}  // namespace zel
