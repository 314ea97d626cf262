// vector!: the element conversions, the cell and its construction, the text
// forms, comparison, and the registration of the action row.
#include "datatypes/vector.h"

#include <cstring>

#include "core/block.h"
#include "core/char.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/integer.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/symbol.h"
#include "datatypes/hash.h"
#include "datatypes/vector_internal.h"
#include "kernel/floattext.h"

namespace zel {
namespace vector {

namespace {
// The answer of make; the caller copies it at once.
Cell answer;
}  // namespace

// ---- elements -------------------------------------------------------------------

uint32_t default_width(uint32_t element_type) { return is_float_type(element_type) ? 8 : 4; }

bool is_element_type(uint32_t type) {
    return type == T_CHAR || type == T_INTEGER || type == T_FLOAT || type == T_PERCENT;
}

int32_t int_at(const uint8_t* p, uint32_t width) {
    uint32_t u = char_at(p, width);
    return width == 1 ? int8_t(u) : width == 2 ? int16_t(u) : int32_t(u);
}

double float_at(const uint8_t* p, uint32_t width) {
    if (width == 8) {
        double d;
        std::memcpy(&d, p, 8);
        return d;
    }
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

void put_float(uint8_t* p, uint32_t width, double value) {
    if (width == 8) {
        std::memcpy(p, &value, 8);
        return;
    }
    float f = float(value);
    std::memcpy(p, &f, 4);
}

double number_at(const uint8_t* p, uint32_t element_type, uint32_t width) {
    if (is_float_type(element_type)) return float_at(p, width);
    return element_type == T_CHAR ? double(char_at(p, width)) : double(int_at(p, width));
}

void load_element(Cell* out, const uint8_t* p, uint32_t element_type, uint32_t width) {
    if (is_float_type(element_type)) {
        cell::make_float(out, float_at(p, width));
        out->header = element_type;
    } else if (element_type == T_CHAR) {
        cell::make_char(out, char_at(p, width));
    } else {
        cell::make_integer(out, int_at(p, width));
    }
}

Cell* read_element(const uint8_t* p, uint32_t element_type, uint32_t width) {
    Cell* c = stack::push_slot();
    load_element(c, p, element_type, width);
    return c;
}

void write_element(uint8_t* p, const Cell* value, uint32_t width) {
    uint32_t t = cell::type(value);
    if (!is_element_type(t)) number::raise_invalid_type(value);
    if (is_float_type(t)) put_float(p, width, cell::get_float(value));
    else put_int(p, width, cell::get_int(value));
}

// ---- the vector -----------------------------------------------------------------

void no_memory() { error::raise(Err::internal_no_memory); }

SeriesBuffer* ensure(SeriesBuffer* b, uint64_t need, uint64_t grown) {
    if (need <= b->size) return b;
    if (need > MAX_BYTES) no_memory();
    if (grown > MAX_BYTES) grown = need;
    return series::expand(b, uint32_t(grown));
}

Cell* init_cell(Cell* c, uint32_t element_type, uint32_t width, uint32_t count) {
    if (uint64_t(count) * width > MAX_BYTES) no_memory();
    cell::make_series(c, T_VECTOR, series::new_units(count, width));
    cell::set_series_extra(c, element_type);
    return c;
}

uint32_t length(const Cell* v) { return series::length(buffer_of(v)) - index_of(v); }
uint32_t width(const Cell* v) { return series::unit(buffer_of(v)); }
uint8_t* element_address(const Cell* v, uint32_t i) { return address_at(v, index_of(v) + i); }

void append_value(const Cell* v, const Cell* value) {
    if (cell::type(value) != cell::series_extra(v)) error::raise(Err::script_invalid_arg, value);
    uint32_t w = width(v);
    write_element(series::reserve(buffer_of(v), w), value, w);
}

void elements_to_block(const Cell* v, Cell* out) {
    uint32_t n = length(v), w = width(v);
    block::write_cell(out, int32_t(std::max(n, 1u)));
    for (uint32_t i = 0; i < n; i++) load_element(block::append_slot(out), element_address(v, i), cell::series_extra(v), w);
}

// ---- make -----------------------------------------------------------------------

namespace {

[[noreturn]] void bad_make(const Cell* spec) {
    Cell type;
    cell::make_datatype(&type, T_VECTOR);
    error::raise_bad_make(&type, spec);
}

// Values from a block's index (none when the index lies past the tail).
uint32_t values_in(const Cell* block) { return uint32_t(std::max(block::get_length(block), 0)); }

// A count from a spec, as make map! takes one: a float beyond the integer
// range overflows; a negative count is out of range.
uint32_t count_of(const Cell* value) {
    int32_t n = hash::whole_number(value);
    if (n < 0) error::raise(Err::script_out_of_range, value);
    return uint32_t(n);
}

// The vector gets the values of the block from its index, then zeros up to
// count elements.
const Cell* build(uint32_t element_type, uint32_t width, uint32_t count, const Cell* values) {
    uint32_t given = values ? values_in(values) : 0;
    init_cell(&answer, element_type, width, std::max(count, given));
    for (uint32_t i = 0; i < given; i++) append_value(&answer, block::cell_at(values, uint32_t(cell::series_index(values)) + i));
    if (count > given) {
        uint32_t bytes = (count - given) * width;
        std::memset(series::reserve(buffer_of(&answer), bytes), 0, bytes);
    }
    return &answer;
}

struct ElementName {
    uint32_t type;
    uint32_t widths[3];  // in bits; 0 ends the list
};
const ElementName ELEMENT_NAMES[] = {
    {T_CHAR, {8, 16, 32}},
    {T_INTEGER, {8, 16, 32}},
    {T_FLOAT, {32, 64, 0}},
    {T_PERCENT, {32, 64, 0}},
};

const ElementName* element_named(const Cell* word) {
    uint32_t wanted = symbol::resolve(cell::word_symbol(word));
    for (const ElementName& e : ELEMENT_NAMES)
        if (symbol::resolve(cell::word_symbol(&types::name(e.type).word)) == wanted) return &e;
    return nullptr;
}

// [type bits count-or-values]: a percent! may leave the bits out.
const Cell* from_type_spec(const Cell* spec) {
    uint32_t n = values_in(spec), at = uint32_t(cell::series_index(spec));
    if (n < 2) bad_make(spec);
    const ElementName* e = element_named(block::cell_at(spec, at));
    if (!e) bad_make(spec);
    uint32_t width = default_width(e->type), next = 1;
    const Cell* field = block::cell_at(spec, at + next);
    if (cell::type(field) == T_INTEGER) {
        int32_t bits = cell::get_int(field);
        const uint32_t* end = e->widths + 3;
        if (bits <= 0 || std::find(e->widths, end, uint32_t(bits)) == end) bad_make(spec);
        width = uint32_t(bits) / 8;
        next++;
    } else if (e->type != T_PERCENT) {
        error::raise(Err::script_invalid_spec_field, field);
    }
    if (next == n) return build(e->type, width, 0, nullptr);
    field = block::cell_at(spec, at + next);
    if (cell::type(field) == T_INTEGER) return build(e->type, width, count_of(field), nullptr);
    if (cell::type(field) == T_BLOCK) return build(e->type, width, 0, field);
    error::raise(Err::script_invalid_spec_field, field);
}

}  // namespace

const Cell* make(Cell*, Cell* spec, uint32_t) {
    switch (cell::type(spec)) {
    case T_INTEGER:
    case T_FLOAT: return build(cell::type(spec), default_width(cell::type(spec)), count_of(spec), nullptr);
    case T_BLOCK: break;
    default: error::raise(Err::internal_not_done);
    }
    if (values_in(spec) == 0) number::raise_invalid_type(spec);
    const Cell* first = block::cell_at(spec, uint32_t(cell::series_index(spec)));
    if (cell::type(first) == T_WORD) return from_type_spec(spec);
    if (!is_element_type(cell::type(first))) number::raise_invalid_type(first);
    return build(cell::type(first), default_width(cell::type(first)), 0, spec);
}

// ---- form and mold --------------------------------------------------------------

namespace {

// The float text kinds by element type and width.
int32_t float_kind(uint32_t element_type, uint32_t width) {
    if (element_type == T_PERCENT) return width == 4 ? float_::KIND_PERCENT32 : float_::KIND_PERCENT;
    return width == 4 ? float_::KIND_FLOAT32 : float_::KIND_FLOAT;
}

int32_t write_element_text(Cell* buffer, const uint8_t* p, uint32_t element_type, uint32_t width, bool molding,
                           int32_t limit) {
    if (element_type == T_CHAR) {
        Cell c;
        cell::make_char(&c, char_at(p, width));
        return molding ? char_::mold(&c, buffer, false, false, false, nullptr, limit, 0)
                       : char_::form(&c, buffer, nullptr, limit);
    }
    if (element_type == T_INTEGER) return datatype::append_cstr(buffer, integer::form_signed(int_at(p, width)), limit);
    double d = float_at(p, width);
    if (element_type == T_PERCENT) d *= 100;
    char text[float_::TEXT_SIZE];
    size_t n = float_::form_into(d, float_kind(element_type, width), text);
    return datatype::append_text(buffer, text, uint32_t(n), limit);
}

// The elements from the index, one space apart; a part limit stops them.
int32_t write_elements(Cell* value, Cell* buffer, bool molding, bool part, int32_t limit) {
    uint32_t n = length(value), w = width(value);
    for (uint32_t i = 0; i < n; i++) {
        if (i > 0) limit = datatype::append_text(buffer, " ", 1, limit);
        limit = write_element_text(buffer, element_address(value, i), cell::series_extra(value), w, molding, limit);
        if (part && limit <= 0) break;
    }
    return limit;
}

}  // namespace

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    return write_elements(value, buffer, false, part != nullptr, limit);
}

// make vector! [1 2 3], or with the element type and width in bits when they
// are not the defaults (or there are no elements to tell the type):
// make vector! [integer! 16 [1 2 3]].
int32_t mold(Cell* value, Cell* buffer, bool only, bool, bool, Cell* part, int32_t limit, int32_t) {
    uint32_t w = width(value);
    bool plain = length(value) > 0 && w == default_width(cell::series_extra(value));
    if (!only) limit = datatype::append_cstr(buffer, "make vector! [", limit);
    if (!plain) {
        limit = datatype::append_cstr(buffer, types::name(cell::series_extra(value)).name, limit);
        limit = datatype::append_cstr(buffer, " ", limit);
        limit = datatype::append_cstr(buffer, integer::form_signed(int32_t(w * 8)), limit);
        limit = datatype::append_cstr(buffer, " [", limit);
    }
    limit = write_elements(value, buffer, true, part != nullptr, limit);
    if (!plain) limit = datatype::append_cstr(buffer, "]", limit);
    if (!only) limit = datatype::append_cstr(buffer, "]", limit);
    return limit;
}

// ---- compare --------------------------------------------------------------------

namespace {

bool is_equality(int32_t op) {
    return op == actions::OP_EQUAL || op == actions::OP_NOT_EQUAL || op == actions::OP_STRICT_EQUAL ||
           op == actions::OP_FIND;
}

int32_t order(double a, double b) { return a < b ? -1 : a != b ? 1 : 0; }

}  // namespace

// Vectors of different element types are unequal; ordering them is an error.
int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (cell::type(value2) != T_VECTOR) return actions::NOT_COMPARABLE;
    bool identity = op == actions::OP_SAME;
    if (cell::series_extra(value1) != cell::series_extra(value2)) {
        if (identity || is_equality(op)) return identity ? -1 : 1;
        error::raise(Err::script_not_same_type);
    }
    bool same = cell::series_node(value1) == cell::series_node(value2) && cell::series_index(value1) == cell::series_index(value2);
    if (identity) return same ? 0 : -1;
    uint32_t la = length(value1), lb = length(value2);
    if (is_equality(op)) {
        if (same) return 0;
        if (la != lb) return 1;
    }
    uint32_t wa = width(value1), wb = width(value2), type = cell::series_extra(value1);
    for (uint32_t i = 0, n = std::min(la, lb); i < n; i++) {
        int32_t c = order(number_at(element_address(value1, i), type, wa),
                          number_at(element_address(value2, i), type, wb));
        if (c != 0) return c;
    }
    return la < lb ? -1 : la > lb ? 1 : 0;
}

// ---- registration ---------------------------------------------------------------

void register_type() {
    datatype::register_({
        .id = T_VECTOR, .parent = T_STRING, .name = "vector!",
        .make = make, .random = INHERIT, .reflect = INHERIT, .form = form, .mold = mold,
        .eval_path = eval_path, .compare = compare,
        .add = add, .divide = divide, .multiply = multiply, .remainder = remainder, .subtract = subtract,
        .and_ = and_, .or_ = or_, .xor_ = xor_,
        .append = insert, .at = INHERIT, .back = INHERIT, .change = change, .clear = INHERIT,
        .copy = INHERIT, .find = find, .head = INHERIT, .is_head = INHERIT, .is_index = INHERIT,
        .insert = insert, .is_length = INHERIT, .move = INHERIT, .next = INHERIT, .pick = pick,
        .poke = INHERIT, .remove = INHERIT, .reverse = INHERIT, .select = select, .sort = sort,
        .skip = INHERIT, .tail = INHERIT, .is_tail = INHERIT, .take = take, .modify = INHERIT,
    });
    number::seams.vector_arithmetic = arithmetic;
}

}  // namespace vector
}  // namespace zel
