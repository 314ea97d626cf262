// hash!: making, converting, copying and molding a hash; the rest is
// block!'s, through inheritance.
#include "datatypes/hash.h"

#include <algorithm>

#include "core/block.h"
#include "core/block_search.h"
#include "core/datatype.h"
#include "core/hashtable.h"
#include "core/raise.h"
#include "core/series.h"

namespace zel {
namespace hash {

namespace {

Cell answer;

}  // namespace

// A whole number from an integer! or float!; a float outside the integer
// range overflows.
int32_t whole_number(const Cell* n) {
    if (cell::type(n) == T_INTEGER) return cell::get_int(n);
    double d = cell::get_float(n);
    if (!(d >= -2147483648.0 && d < 2147483648.0)) error::raise(Err::math_overflow);
    return int32_t(d);
}

void index_block(Cell* c) {
    cell::set_type(c, T_HASH);
    cell::set_series_extra(c, hashtable::make(block::buffer_length(c), c, hashtable::KIND_HASH, 0));
}

// ---- make and to ------------------------------------------------------------------

const Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    switch (cell::type(spec)) {
    case T_INTEGER:
    case T_FLOAT: block::write_cell(&answer, std::max(whole_number(spec), 1)); break;
    case T_BLOCK: block::clone(spec, &answer, false, false); break;
    case T_HASH: return copy(spec, nullptr, false, nullptr);
    default: return to(proto, spec, type);
    }
    index_block(&answer);
    return &answer;
}

const Cell* to(Cell* proto, Cell* spec, uint32_t) {
    if (cell::type(spec) == T_HASH) return copy(spec, nullptr, false, nullptr);
    answer = *block::to(proto, spec, T_BLOCK);
    index_block(&answer);
    return &answer;
}

// ---- copy -------------------------------------------------------------------------

// A whole copy takes a copy of the table, pointed at the new cells; any other
// copy is indexed anew (block! answers a deep copy as a plain block).
const Cell* copy(Cell* value, Cell* part, bool deep, Cell* types) {
    Cell source = *value;
    bool whole = !part && !deep && !types && cell::series_index(&source) == 0 && cell::series_extra(&source);
    if (!whole) {
        Cell result = *block::copy(&source, part, deep, types);
        if (cell::type(&result) != T_HASH) index_block(&result);
        answer = result;
        return &answer;
    }
    Node cells = series::copy_buffer(node::buffer(cell::series_node(&source)));
    Node table = hashtable::copy(cell::series_extra(&source));
    hashtable::record(table)->keys = cells;
    answer = Cell{T_HASH | (source.header & HDR_NEW_LINE), 0, cells, table};
    return &answer;
}

// ---- mold -------------------------------------------------------------------------

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    if (!only) limit = datatype::append_text(buffer, "make hash! ", 11, limit);
    return block::mold(value, buffer, only, all, flat, part, limit, indent);
}

// ---- registration -------------------------------------------------------------------

// trim is block!'s own: it enters the values that remain again itself.
void register_type() {
    datatype::register_({.id = T_HASH, .parent = T_BLOCK, .name = "hash!", .make = make,
                         .reflect = INHERIT, .to = to, .form = INHERIT, .mold = mold,
                         .eval_path = INHERIT, .compare = INHERIT, .append = INHERIT, .at = INHERIT,
                         .back = INHERIT, .change = INHERIT, .clear = INHERIT, .copy = copy,
                         .find = INHERIT, .head = INHERIT, .is_head = INHERIT, .is_index = INHERIT,
                         .insert = INHERIT, .is_length = INHERIT, .move = INHERIT, .next = INHERIT,
                         .pick = INHERIT, .poke = INHERIT, .put = INHERIT, .remove = INHERIT,
                         .reverse = INHERIT, .select = INHERIT, .sort = INHERIT, .skip = INHERIT,
                         .swap = INHERIT, .tail = INHERIT, .is_tail = INHERIT, .take = INHERIT,
                         .trim = block::trim, .modify = INHERIT});
}

}  // namespace hash
}  // namespace zel
