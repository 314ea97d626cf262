// typeset!: making typesets from datatypes and type blocks, the set and bit
// operations, membership, comparison and the molded text.
#include "datatypes/typeset.h"

#include <bit>

#include "core/datatype.h"
#include "core/logic.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "kernel/memory.h"
#include "kernel/runtime.h"

namespace zel {
namespace typeset {

namespace {

// The bits that can stand for a datatype: ids 1 to the highest type id. Bit 0
// and the bits above stay clear in every typeset made here, so two typesets
// with the same members are equal word for word.
struct Members {
    uint32_t w[3];
};
constexpr Members member_mask() {
    Members m{};
    for (uint32_t t = 1; t < TYPE_COUNT; t++) m.w[t / 32] |= (0x80u >> (t % 8)) << (8 * (t / 8 % 4));
    return m;
}
constexpr Members MEMBERS = member_mask();

// The fatal report of a set operation code that no caller passes.
constexpr uint32_t FAULT_INTERNAL = 101;

// The result of make and complement, copied by the caller at once.
Cell answer;

const Cell* value_of_word(const Cell* value) {
    return cell::type(value) == T_WORD ? word::get_value(value) : value;
}

// The cells of a block from its index to its tail.
struct Span {
    const Cell* first;
    const Cell* end;
};
Span span_of(const Cell* block) {
    SeriesBuffer* b = node::buffer(cell::series_node(block));
    uint32_t length = series::length(b);
    uint32_t index = uint32_t(cell::series_index(block));
    if (index > length) index = length;
    const Cell* head = series::cells(b);
    return {head + index, head + length};
}

}  // namespace

void init_slot(Cell* c, uint32_t w1, uint32_t w2, uint32_t w3) {
    c->header = T_TYPESET;
    c->w1 = w1;
    c->w2 = w2;
    c->w3 = w3;
}

void init_all_but_unset(Cell* c) {
    init_slot(c, MEMBERS.w[0], MEMBERS.w[1], MEMBERS.w[2]);
    words(c)[word_of(T_UNSET)] &= ~mask_of(T_UNSET);
}

void add_type(Cell* ts, const Cell* value) {
    const Cell* v = value_of_word(value);
    switch (cell::type(v)) {
    case T_TYPESET:
        for (int i = 0; i < 3; i++) words(ts)[i] |= words(v)[i];
        return;
    case T_DATATYPE:
        set_bit(ts, cell::datatype_id(v));
        return;
    }
    error::raise(Err::script_invalid_arg, v);
}

void from_type_block(Cell* c, const Cell* block) {
    init_empty(c);
    Span s = span_of(block);
    for (const Cell* p = s.first; p < s.end; p++) {
        const Cell* v = p;
        if (cell::type(v) == T_WORD) {
            v = word::get_value(p);
            if (cell::type(v) == T_UNSET) error::raise(Err::script_no_value, p);
        }
        switch (cell::type(v)) {
        case T_DATATYPE: set_bit(c, cell::datatype_id(v)); break;
        case T_TYPESET:
            for (int i = 0; i < 3; i++) words(c)[i] |= words(v)[i];
            break;
        case T_BLOCK: break;
        // A word whose value is a word names an object type.
        case T_WORD: set_bit(c, T_OBJECT); break;
        default: error::raise(Err::script_invalid_type_spec, v);
        }
    }
}

void from_value(Cell* c, const Cell* value) {
    switch (cell::type(value)) {
    case T_TYPESET: *c = *value; return;
    case T_DATATYPE:
        init_empty(c);
        set_bit(c, cell::datatype_id(value));
        return;
    }
    error::raise(Err::script_invalid_arg, value);
}

static uint32_t apply(int32_t code, uint32_t a, uint32_t b) {
    switch (code) {
    case 5: case 9: return a | b;
    case 6: case 10: return a & b;
    case 7: case 12: return a ^ b;
    case 11: return a & ~b;
    }
    runtime::error_report(FAULT_INTERNAL, 0);
}

void combine(Cell* first, const Cell* second, int32_t code) {
    if (code == 8) return;
    Cell other;
    from_value(&other, second);
    for (int i = 0; i < 3; i++) words(first)[i] = apply(code, words(first)[i], words(&other)[i]);
}

void set_op(int32_t code) {
    combine(stack::arg(0), stack::arg(1), code);
}

void and_() { set_op(6); }
void or_() { set_op(5); }
void xor_() { set_op(7); }

uint32_t count(const Cell* ts) {
    uint32_t n = 0;
    for (int i = 0; i < 3; i++) n += uint32_t(std::popcount(words(ts)[i] & MEMBERS.w[i]));
    return n;
}

// A member bit of an id no type was registered for (event! until its module
// registers it) names no datatype: lists and text leave it out.
static bool is_registered(uint32_t type) { return types::name(type).name != nullptr; }

void list_types(const Cell* ts, Cell* block) {
    cell::make_series(block, T_BLOCK, series::new_cells(count(ts)));
    for (uint32_t t = 1; t < TYPE_COUNT; t++)
        if (has(ts, t) && is_registered(t)) datatype::append_new(block, t);
}

Cell* push(const Cell* ts) { return stack::push(ts); }

const Cell* make(Cell*, Cell* spec, uint32_t) {
    switch (cell::type(spec)) {
    case T_TYPESET: return spec;
    case T_BLOCK: {
        init_empty(&answer);
        // add_type looks words up but never evaluates, so the span stays good.
        Span s = span_of(spec);
        for (const Cell* p = s.first; p < s.end; p++) add_type(&answer, p);
        return &answer;
    }
    }
    Cell type;
    datatype::write_cell(&type, T_TYPESET);
    error::raise(Err::script_bad_to_arg, &type, spec);
}

// The one writer of mold and form: names in id order, each followed by a
// space, the last space turned into the closing bracket.
int32_t mold(Cell* value, Cell* buffer, bool only, bool, bool, Cell* part, int32_t limit, int32_t) {
    static const char HEAD[] = "make typeset! [";
    if (!only) limit = datatype::append_text(buffer, HEAD, sizeof HEAD - 1, limit);
    bool wrote = false;
    for (uint32_t t = 1; t < TYPE_COUNT; t++) {
        if (!has(value, t) || !is_registered(t)) continue;
        if (part && limit <= 0) return limit;
        const types::NameRecord& n = types::name(t);
        limit = datatype::append_text(buffer, n.name, n.length + 1, limit);
        limit = datatype::append_text(buffer, " ", 1, limit);
        wrote = true;
    }
    if (wrote) {
        string::truncate(string::buffer_of(buffer), string::get_abs_length(buffer) - 1);
        limit++;
    }
    if (!only) limit = datatype::append_text(buffer, "]", 1, limit);
    return limit;
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    return mold(value, buffer, false, false, false, part, limit, 0);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (cell::type(value2) != T_TYPESET) return -2;
    switch (op) {
    case 0: case 1: case 2: case 9: case 12: {
        const uint32_t *a = words(value1), *b = words(value2);
        return a[0] == b[0] && a[1] == b[1] && a[2] == b[2] ? 0 : 1;
    }
    case 7: case 8: {
        uint32_t a = count(value1), b = count(value2);
        return a < b ? -1 : a > b ? 1 : 0;
    }
    }
    return -2;
}

const Cell* complement(Cell* value) {
    const uint32_t* w = words(value);
    init_slot(&answer, ~w[0] & MEMBERS.w[0], ~w[1] & MEMBERS.w[1], ~w[2] & MEMBERS.w[2]);
    return &answer;
}

const Cell* find(Cell* series, Cell* value, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool, bool,
                 bool) {
    if (cell::type(value) != T_DATATYPE) error::raise(Err::script_invalid_arg, value);
    return has(series, cell::datatype_id(value)) ? &statics::true_cell : &statics::false_cell;
}

void register_type() {
    datatype::register_({.id = T_TYPESET, .parent = 0, .name = "typeset!", .make = make, .to = make,
                         .form = form, .mold = mold, .compare = compare, .and_ = and_,
                         .complement = complement, .or_ = or_, .xor_ = xor_, .find = find});
}

}  // namespace typeset
}  // namespace zel
