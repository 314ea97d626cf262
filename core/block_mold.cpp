// block!: form, mold (new-line marks and indentation) and comparison. A block
// that holds itself is walked once: the cycle stack turns the inner visit
// into a short mark, and comparison stops there.
#include <algorithm>

#include "core/block.h"
#include "core/cycles.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/string.h"
#include "core/support.h"
#include "core/type_groups.h"

namespace zel {
namespace block {

namespace {

// True when the text so far ends with a tab, line feed or carriage return.
bool ends_with_break(const Cell* buffer) {
    uint32_t len = string::get_abs_length(buffer);
    if (len == 0) return false;
    uint32_t c = string::char_at(buffer, len - 1);
    return c == '\t' || c == '\n' || c == '\r';
}

bool is_equality(int32_t op) { return op <= actions::OP_STRICT_EQUAL || op >= actions::OP_WORD_MATCH; }

}  // namespace

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    if (cycles::mold_marker(value, buffer, &limit, false)) return limit;
    cycles::Scope scope;
    cycles::push(cell::series_node(value));
    uint32_t first = uint32_t(std::max(cell::series_index(value), 0));
    for (uint32_t i = first; i < buffer_length(value); i++) {
        if (part && limit < 1) break;
        if (i > first && !ends_with_break(buffer)) limit = datatype::append_cstr(buffer, " ", limit);
        Cell c = *cell_at(value, i);
        limit = actions::form_dispatch(&c, buffer, part, limit);
    }
    return limit;
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    if (cycles::mold_marker(value, buffer, &limit, true)) return limit;
    if (!only) limit = datatype::append_cstr(buffer, "[", limit);
    limit = mold_values(value, buffer, only, all, flat, part, limit, indent);
    if (!only) limit = datatype::append_cstr(buffer, "]", limit);
    return limit;
}

int32_t mold_values(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
                    int32_t indent) {
    cycles::Scope scope;
    cycles::push(cell::series_node(value));
    uint32_t first = uint32_t(std::max(cell::series_index(value), 0));
    int32_t level = indent;
    bool closes_on_own_line = false;
    for (uint32_t i = first; i < buffer_length(value); i++) {
        if (part && limit < 1) break;
        Cell c = *cell_at(value, i);
        if ((c.header & HDR_NEW_LINE) && !flat) {
            if (i == first && !only) {
                level++;
                closes_on_own_line = true;
            }
            if (!(only && i == first)) limit = datatype::append_cstr(buffer, "\n", limit);
            limit = mold::indent(buffer, level, limit);
        } else if (i > first) {
            limit = datatype::append_cstr(buffer, " ", limit);
        }
        limit = actions::mold_dispatch(&c, buffer, false, all, flat, part, limit, level);
    }
    if (closes_on_own_line) {
        limit = datatype::append_cstr(buffer, "\n", limit);
        limit = mold::indent(buffer, indent, limit);
    }
    return limit;
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t t1 = cell::type(value1), t2 = cell::type(value2);
    if (t1 != t2) {
        bool paths = (t1 == T_PATH && t2 == T_LIT_PATH) || (t1 == T_LIT_PATH && t2 == T_PATH);
        if (!paths || (op != actions::OP_WORD_MATCH && op != actions::OP_WORD_MATCH_ALT))
            return actions::NOT_COMPARABLE;
    }
    return compare_each(value1, value2, op);
}

int32_t compare_each(Cell* value1, Cell* value2, int32_t op) {
    Node n1 = cell::series_node(value1), n2 = cell::series_node(value2);
    bool same = n1 == n2 && cell::series_index(value1) == cell::series_index(value2);
    if (same) return 0;
    if (op == actions::OP_SAME) return -1;
    if (cycles::find(n1)) return cycles::find(n2) ? 0 : -1;
    int64_t len1 = std::max(get_length(value1), 0), len2 = std::max(get_length(value2), 0);
    if (is_equality(op) && len1 != len2) return 1;
    cycles::Scope scope;
    cycles::push(n1);
    cycles::push(n2);
    uint32_t i1 = uint32_t(cell::series_index(value1)), i2 = uint32_t(cell::series_index(value2));
    for (int64_t k = 0; k < std::min(len1, len2); k++) {
        Cell a = *cell_at(value1, i1 + uint32_t(k)), b = *cell_at(value2, i2 + uint32_t(k));
        uint32_t ta = cell::type(&a), tb = cell::type(&b);
        if (ta == tb || (types::is_symbolic(ta) && types::is_symbolic(tb)) || (types::is_number(ta) && types::is_number(tb))) {
            int32_t r = actions::compare_values(&a, &b, op);
            if (r != 0) return r;
        } else {
            return ta < tb ? -1 : 1;
        }
    }
    return len1 < len2 ? -1 : len1 > len2 ? 1 : 0;
}

}  // namespace block
}  // namespace zel
