// block!: cell-series storage, construction, copying and the modifying
// actions (form, mold and compare are in block_mold.cpp).
#include "core/block.h"

#include "core/block_search.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/cycles.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/hashtable.h"
#include "core/object.h"
#include "core/raise.h"
#include "core/roots.h"
#include "core/runtime_words.h"
#include "core/series.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "datatypes/map.h"
#include "datatypes/typeset.h"
#include "datatypes/vector.h"
#include "io/lexer.h"

namespace zel {
namespace block {

namespace {

// The answer of the actions; callers copy it at once.
Cell answer;

constexpr types::Mask BY_TYPES =
    types::SERIES | types::bit(T_BITSET) | types::bit(T_OBJECT) | types::bit(T_ERROR) | types::bit(T_MAP);
// The largest cell count whose byte size stays below the allocator's limit.
constexpr uint64_t MAX_CELLS = 0x7FFFFFF0u / sizeof(Cell);

Node hash_of(const Cell* b) { return cell::type(b) == T_HASH ? cell::series_extra(b) : 0; }

uint32_t clamped_index(const Cell* b) {
    return uint32_t(std::clamp<int64_t>(cell::series_index(b), 0, buffer_length(b)));
}

// Makes room for bytes more at the tail: exactly, or twice what is needed.
SeriesBuffer* ensure_room(const Cell* b, uint64_t cells, bool twice) {
    SeriesBuffer* buf = buffer_of(b);
    uint64_t need = uint64_t(buf->tail - buf->head) + cells * sizeof(Cell);
    if (need > 0x7FFFFFF0u) error::raise(Err::internal_no_memory);
    if (buf->head + need <= buf->size) return buf;
    return series::expand(buf, uint32_t(twice ? std::min<uint64_t>(need * 2, 0x7FFFFFF0u) : need));
}

// The cells an insertion takes from value: those of an any-block from its
// index (unless only), else the value alone. When they lie in the target's
// own buffer they are copied aside, since opening the gap moves them.
struct Source {
    std::vector<Cell> snapshot;
    Cell single;
    Node node = 0;
    uint32_t index = 0;
    uint32_t count = 0;

    Source(const Cell* target, const Cell* value, bool only, int32_t part) {
        if (only || !types::is_any_block(value)) {
            single = *value;
            count = 1;
            return;
        }
        node = cell::series_node(value);
        index = clamped_index(value);
        count = buffer_length(value) - index;
        if (part >= 0 && uint32_t(part) < count) count = uint32_t(part);
        if (node == cell::series_node(target)) {
            const Cell* first = series::cells(node::buffer(node)) + index;
            snapshot.assign(first, first + count);
        }
    }
    // Good until the next allocation.
    const Cell* cells() const {
        if (!node) return &single;
        if (!snapshot.empty()) return snapshot.data();
        return series::cells(node::buffer(node)) + index;
    }
};

uint64_t checked_total(uint32_t count, int32_t dup) {
    uint64_t total = uint64_t(count) * uint64_t(dup);
    if (total > MAX_CELLS) error::raise(Err::internal_no_memory);
    return total;
}

// Copies the source into place and repeats it dup times.
void fill(Cell* at, const Source& source, int32_t dup) {
    std::memcpy(at, source.cells(), source.count * sizeof(Cell));
    if (dup > 1) memory::fill_pattern(reinterpret_cast<uint8_t*>(at), source.count * sizeof(Cell), uint32_t(dup));
}

void rehash(const Cell* b) {
    if (Node t = hash_of(b)) {
        hashtable::clear(t);
        hashtable::put_block(t, 0, 1);
    }
}

}  // namespace

// ---- cell access ----------------------------------------------------------------

bool step(Cell* b) { return series::step(b, 1); }

const Cell* head_cell(Cell* b) {
    uint32_t len = buffer_length(b);
    if (cell::series_index(b) > int32_t(len)) cell::set_series_index(b, len);
    return cell_at(b, cell::series_index(b));
}

const Cell* tail_cell(const Cell* b) { return series::cells(buffer_of(b)) + buffer_length(b); }

bool is_at_tail(const Cell* b) { return series::is_at_tail(b); }

void clear(const Cell* b) { truncate_at(b, clamped_index(b)); }

void truncate_at(const Cell* b, uint32_t position) {
    SeriesBuffer* buf = buffer_of(b);
    if (position < series::length(buf)) buf->tail = buf->head + position * sizeof(Cell);
}

void remove_last(Cell* b) {
    SeriesBuffer* buf = buffer_of(b);
    uint32_t len = series::length(buf);
    if (len == 0) return;
    buf->tail -= sizeof(Cell);
    if (cell::series_index(b) > int32_t(len - 1)) cell::set_series_index(b, len - 1);
}

// ---- growing ----------------------------------------------------------------------

Cell* append_copy(const Cell* b, const Cell* value) {
    Cell v = *value;  // the value may lie in the buffer that grows
    return cell::copy(&v, append_slot(b));
}

Cell* open_gap(const Cell* b, uint32_t position, uint32_t count) {
    SeriesBuffer* buf = ensure_room(b, count, true);
    Cell* first = series::writable_cells(buf);
    uint32_t len = series::length(buf);
    position = std::min(position, len);
    std::memmove(first + position + count, first + position, (len - position) * sizeof(Cell));
    buf->tail += count * sizeof(Cell);
    return first + position;
}

void close_gap(const Cell* b, uint32_t position, uint32_t count) {
    SeriesBuffer* buf = buffer_of(b);
    uint32_t len = series::length(buf);
    if (position >= len) return;
    count = std::min(count, len - position);
    Cell* first = series::writable_cells(buf);
    std::memmove(first + position, first + position + count, (len - position - count) * sizeof(Cell));
    buf->tail -= count * sizeof(Cell);
}

Cell* insert_into_gap(Cell* b, const Cell* value, bool at_head, bool advance) {
    Cell v = *value;  // the value may lie in the buffer the gap moves
    uint32_t position = at_head ? 0 : clamped_index(b);
    Cell* c = open_gap(b, position, 1);
    *c = v;
    if (Node t = hash_of(b)) {
        hashtable::shift_positions(t, position, 1);
        hashtable::put_value(t, c);
    }
    if (advance) cell::set_series_index(b, position + 1);
    return c;
}

void insert_each_unmarked(Cell* b, const Cell* cells, uint32_t count) {
    for (uint32_t k = 0; k < count; k++) insert_unmarked(b, cells + k);
}

// ---- lookup -----------------------------------------------------------------------

const Cell* select_word(const Cell* b, const Cell* word, bool case_) {
    uint32_t want = case_ ? cell::word_symbol(word) : symbol::resolve(cell::word_symbol(word));
    uint32_t len = buffer_length(b);
    for (uint32_t i = clamped_index(b); i < len; i++) {
        const Cell* c = cell_at(b, i);
        if (!types::is_variable_word(cell::type(c))) continue;
        if ((case_ ? cell::word_symbol(c) : symbol::resolve(cell::word_symbol(c))) != want) continue;
        return i + 1 < len ? cell_at(b, i + 1) : &statics::none_cell;
    }
    return &statics::none_cell;
}

// ---- copying ----------------------------------------------------------------------

namespace {

void clone_into(const Cell* source, Cell* out, bool deep, bool deep_all, CloneVisit* visit) {
    uint32_t index = clamped_index(source), count = buffer_length(source) - index;
    Node n = series::new_cells(std::max(count, 1u));
    std::memcpy(series::writable_cells(node::buffer(n)), cell_at(source, index), count * sizeof(Cell));
    node::buffer(n)->tail = count * sizeof(Cell);
    cell::make_series(out, cell::type(source), n);
    if (deep) {
        // A block that holds itself would be cloned forever.
        if (cycles::find(cell::series_node(source))) {
            cycles::reset();
            error::raise(Err::internal_no_cycle);
        }
        cycles::Scope scope;
        cycles::push(cell::series_node(source));
        Cell* cells = series::writable_cells(node::buffer(n));  // allocations move no buffer: no collection runs here
        if (visit) visit->fresh(visit, n, cells, count);
        for (uint32_t i = 0; i < count; i++) {
            uint32_t t = cell::type(cells + i);
            if (t == T_BLOCK || (deep_all && types::is_any_block(t) && t != T_HASH)) {
                Cell c = cells[i], copy;
                clone_into(&c, &copy, true, deep_all, visit);
                copy.header |= c.header & ~HDR_TYPE_MASK;
                cells[i] = copy;
            } else if (visit && types::is_any_block(t)) {
                visit->shared = true;
            }
        }
    }
}

bool type_matches(const Cell* types, uint32_t t) {
    return cell::type(types) == T_DATATYPE ? cell::datatype_id(types) == t : typeset::has(types, t);
}

}  // namespace

void clone(const Cell* source, Cell* out, bool deep, bool deep_all, CloneVisit* visit) {
    Cell copy;
    clone_into(source, &copy, deep, deep_all, visit);
    if (cell::type(&copy) == T_HASH) cell::set_series_extra(&copy, hashtable::make(buffer_length(&copy), &copy, 0, 0));
    *out = copy;
}

void copy_by_types(const Cell* b, uint32_t first, uint32_t count, uint32_t step, const Cell* types,
                   bool deep) {
    Cell kind = *types;
    for (uint64_t i = first; i < uint64_t(first) + count && i < buffer_length(b); i += step) {
        Cell c = *cell_at(b, uint32_t(i));
        uint32_t t = cell::type(&c);
        if (!types::in(BY_TYPES, t) || !type_matches(&kind, t)) continue;
        Cell copy = *actions::copy_dispatch(&c, nullptr, deep, deep ? &kind : nullptr);
        copy.header |= c.header & HDR_NEW_LINE;
        *writable_cell_at(b, uint32_t(i)) = copy;
    }
}

// ---- constructors -----------------------------------------------------------------

Cell* write_cell(Cell* c, int32_t n) {
    cell::make_series(c, T_BLOCK, series::new_cells(uint32_t(std::max(n, 1))));
    return c;
}

namespace {
Cell root_value() {
    Cell root;
    cell::make_series(&root, T_BLOCK, roots::block_node);
    return root;
}
}  // namespace

Cell* append_new(const Cell* parent, int32_t n) {
    Cell made, root = root_value();
    write_cell(&made, n);
    return cell::copy(&made, append_slot(parent ? parent : &root));
}

Cell* push(const Cell* b) { return stack::push(b); }

Cell* push_new(int32_t n) {
    Cell made;
    write_cell(&made, n);
    return stack::push(&made);
}

// ---- make and to ------------------------------------------------------------------

namespace {
[[noreturn]] void bad_make(uint32_t type, const Cell* spec) {
    Cell datatype;
    cell::make_datatype(&datatype, type);
    error::raise_bad_make(&datatype, spec);
}

// The values of an object, map or vector as a new block; false for other
// types.
bool body_of(Cell* value, Cell* out) {
    switch (cell::type(value)) {
    case T_OBJECT: *out = *object::reflect(value, words::symbol(words::S_body)); return true;
    case T_MAP: map::body_of(value, out); return true;
    case T_VECTOR: vector::elements_to_block(value, out); return true;
    default: return false;
    }
}
}  // namespace

const Cell* make(Cell*, Cell* spec, uint32_t type) {
    if (body_of(spec, &answer)) {
        cell::set_type(&answer, type);
        cell::set_series_extra(&answer, 0);
        return &answer;
    }
    switch (cell::type(spec)) {
    case T_INTEGER: write_cell(&answer, cell::get_int(spec)); break;
    case T_FLOAT: write_cell(&answer, check::float_range(spec)); break;
    default:
        if (!types::is_any_block(spec)) bad_make(type, spec);
        clone_into(spec, &answer, false, false, nullptr);
    }
    cell::set_type(&answer, type);
    cell::set_series_extra(&answer, 0);
    return &answer;
}

const Cell* to(Cell*, Cell* value, uint32_t type) {
    if (cell::type(value) == T_STRING) {
        Cell text = *value;
        lexer::scan_string(&answer, &text, -1, lexer::Request{});
    } else if (cell::type(value) == T_TYPESET) {
        typeset::list_types(value, &answer);
    } else if (types::is_any_block(value)) {
        clone_into(value, &answer, false, false, nullptr);
    } else if (!body_of(value, &answer)) {
        Cell v = *value;
        write_cell(&answer, 1);
        *append_slot(&answer) = v;
    }
    cell::set_type(&answer, type);
    cell::set_series_extra(&answer, 0);
    return &answer;
}

// ---- append, insert and change ----------------------------------------------------

// One value into an unowned block without a hash table, the common case of
// append and insert: no notifications, no source bookkeeping, one store.
namespace {
const Cell* insert_one(Cell* series, const Cell* value, bool append) {
    Cell v = *value;  // the value may lie in the buffer that grows
    SeriesBuffer* buf = buffer_of(series);
    uint32_t position = append ? series::length(buf) : clamped_index(series);
    if (append && buf->tail + sizeof(Cell) <= buf->size) {
        series::writable_cells(buf)[position] = v;
        buf->tail += sizeof(Cell);
    } else {
        *open_gap(series, position, 1) = v;
    }
    answer = *series;
    cell::set_series_index(&answer, append ? 0 : position + 1);
    return &answer;
}

// Everything else, out of line so that the one-value path needs no stack
// frame of its own.
[[gnu::noinline]] const Cell* insert_general(Cell* series, Cell* value, int32_t part, bool only, int32_t dup,
                                             bool append) {
    answer = *series;
    Source source(series, value, only, part);
    if (source.count == 0) {
        if (append) cell::set_series_index(&answer, 0);
        return &answer;
    }
    uint64_t total = checked_total(source.count, dup);
    uint32_t len = buffer_length(series);
    uint32_t position = append ? len : clamped_index(series);
    bool owned = series::announce(series, append ? words::word(words::W_append) : words::keyword(words::K_insert),
                                  value, int32_t(position), int32_t(total));
    if (owned) {
        // The owner's handler may have changed the series and the value:
        // what goes in is what the value holds now.
        source = Source(series, value, only, part);
        total = checked_total(source.count, dup);
        position = append ? buffer_length(series) : std::min(position, buffer_length(series));
    }
    ensure_room(series, total, dup < 5);
    Cell* at = open_gap(series, position, uint32_t(total));
    fill(at, source, dup);
    if (Node t = hash_of(series)) {
        hashtable::shift_positions(t, position, int32_t(total));
        for (uint32_t i = 0; i < total; i++) hashtable::put_value(t, cell_at(series, position + i));
    }
    if (owned)
        series::announce(series, append ? words::word(words::W_appended) : words::word(words::W_inserted), value,
                         int32_t(position), int32_t(total));
    answer = *series;
    cell::set_series_index(&answer, append ? 0 : std::min<uint32_t>(position + uint32_t(total), buffer_length(series)));
    return &answer;
}
}  // namespace

const Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append) {
    if (dup == 1 && (only || !types::is_any_block(value)) && !hash_of(series) && !(buffer_of(series)->flags & SER_OWNED))
        return insert_one(series, value, append);
    return insert_general(series, value, part, only, dup, append);
}

const Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
    uint32_t index = clamped_index(series);
    cell::set_series_index(series, index);
    Source source(series, value, only, -1);
    uint64_t inserted = checked_total(source.count, dup);
    bool owned = series::announce(series, words::word(words::W_change), value, int32_t(index), int32_t(inserted));
    if (owned) {  // the handler may have changed the series and the value
        source = Source(series, value, only, -1);
        inserted = checked_total(source.count, dup);
        index = std::min(index, buffer_length(series));
    }
    uint64_t removed = std::min<uint64_t>(buffer_length(series) - index, part >= 0 ? uint64_t(part) : inserted);
    if (inserted > removed) {
        ensure_room(series, inserted - removed, false);
        open_gap(series, index + uint32_t(removed), uint32_t(inserted - removed));
    } else if (removed > inserted) {
        close_gap(series, index + uint32_t(inserted), uint32_t(removed - inserted));
    }
    if (inserted) fill(writable_cell_at(series, index), source, dup);
    rehash(series);
    if (owned)
        series::announce(series, words::word(words::W_changed), value, int32_t(index), int32_t(inserted));
    answer = *series;
    cell::set_series_index(&answer, std::min<uint32_t>(index + uint32_t(inserted), buffer_length(series)));
    return &answer;
}

// ---- copy and take ----------------------------------------------------------------

namespace {

// Replaces every series cell of the block by its deep copy.
void copy_nested(const Cell* b, const Cell* types) {
    uint32_t len = buffer_length(b);
    if (types) return copy_by_types(b, 0, len, 1, types, true);
    for (uint32_t i = 0; i < len; i++) {
        Cell c = *cell_at(b, i);
        if (!types::is_series(cell::type(&c))) continue;
        Cell copy = *actions::copy_dispatch(&c, nullptr, true, nullptr);
        copy.header |= c.header & HDR_NEW_LINE;
        *writable_cell_at(b, i) = copy;
    }
}

}  // namespace

const Cell* copy(Cell* value, Cell* part, bool deep, Cell* types) {
    Cell result = *series::copy(value, part, false, nullptr);
    if ((deep || types) && cell::type(&result) == T_HASH) cell::set_type(&result, T_BLOCK);
    if (deep || types) {
        Node n = cell::series_node(value);
        if (cycles::find(n)) {
            cycles::reset();
            error::raise(Err::internal_no_cycle);
        }
        cycles::Scope scope;
        cycles::push(n);
        if (types) copy_by_types(&result, 0, buffer_length(&result), 1, types, deep);
        else copy_nested(&result, nullptr);
    }
    if (cell::type(&result) == T_HASH) cell::set_series_extra(&result, hashtable::make(buffer_length(&result), &result, 0, 0));
    answer = result;
    return &answer;
}

const Cell* take(Cell* series, Cell* part, bool deep, bool last) {
    Cell taken = *series::take_units(series, part, last, !part);
    if (cell::type(&taken) == T_NONE) return &statics::none_cell;
    if (!part && buffer_length(&taken) == 0) return &statics::none_cell;
    if (deep) copy_nested(&taken, nullptr);
    answer = part ? taken : *cell_at(&taken, 0);
    return &answer;
}

// ---- swap and trim ----------------------------------------------------------------

const Cell* swap(Cell* a, Cell* b) {
    if (!types::is_any_block(b)) error::raise(Err::script_invalid_arg, b);
    if (is_at_tail(a) || is_at_tail(b)) return a;
    uint32_t ia = uint32_t(cell::series_index(a)), ib = uint32_t(cell::series_index(b));
    bool owned_a = series::announce(a, words::word(words::W_swap), b, int32_t(ia), 1);
    bool owned_b = series::announce(b, words::word(words::W_swap), a, int32_t(ib), 1);
    if (!is_at_tail(a) && !is_at_tail(b)) {
        Node ta = hash_of(a), tb = hash_of(b);
        if (ta) hashtable::delete_(ta, cell_at(a, ia));
        if (tb) hashtable::delete_(tb, cell_at(b, ib));
        std::swap(*writable_cell_at(a, ia), *writable_cell_at(b, ib));
        if (ta) hashtable::put_value(ta, cell_at(a, ia));
        if (tb) hashtable::put_value(tb, cell_at(b, ib));
    }
    if (owned_a) series::announce(a, words::word(words::W_swaped), b, int32_t(ia), 1);
    if (owned_b) series::announce(b, words::word(words::W_swaped), a, int32_t(ib), 1);
    return a;
}

const Cell* trim(Cell* series, bool, bool, bool, bool, bool, Cell*) {
    uint32_t start = clamped_index(series);
    int32_t count = int32_t(buffer_length(series) - start);
    bool owned = series::announce(series, words::word(words::W_trim), nullptr, int32_t(start), count);
    SeriesBuffer* buf = buffer_of(series);
    Cell* first = series::writable_cells(buf);
    Cell* end = std::remove_if(first + std::min(start, series::length(buf)), first + series::length(buf),
                               [](const Cell& c) { return cell::type(&c) == T_NONE; });
    buf->tail = buf->head + uint32_t(end - first) * sizeof(Cell);
    rehash(series);
    if (owned) series::announce(series, words::word(words::W_trimmed), nullptr, int32_t(start), count);
    return series;
}

// ---- registration -----------------------------------------------------------------

void init() {
    datatype::register_({.id = T_BLOCK, .parent = T_SERIES, .name = "block!", .make = make,
                         .random = INHERIT, .reflect = INHERIT, .to = to, .form = form, .mold = mold,
                         .eval_path = eval_path, .compare = compare, .append = insert, .at = INHERIT,
                         .back = INHERIT, .change = change, .clear = INHERIT, .copy = copy,
                         .find = find, .head = INHERIT, .is_head = INHERIT, .is_index = INHERIT,
                         .insert = insert, .is_length = INHERIT, .move = INHERIT, .next = INHERIT,
                         .pick = INHERIT, .poke = INHERIT, .put = put, .remove = INHERIT,
                         .reverse = INHERIT, .select = select, .sort = sort, .skip = INHERIT,
                         .swap = swap, .tail = INHERIT, .is_tail = INHERIT, .take = take, .trim = trim,
                         .modify = INHERIT});
}

}  // namespace block
}  // namespace zel
