// The error report, byte for byte:
//   *** <title>: <message>
//   *** Where: <called word>
//   *** Near : <code near the failure, at most 40 characters>
//   *** Stack: <call names>          (while stack tracing is on)
//   *** Files: <source files>        (when recorded)
// with no line end after the last line. Every piece appended is taken from
// the running limit. The report never fails: a type or id that the catalog
// lacks becomes internal invalid-error, and values of types that cannot be
// formed or molded are left out.
#include "datatypes/error_report.h"

#include "core/context.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/type_groups.h"
#include "datatypes/error.h"

namespace zel {
namespace error {

namespace {

// Characters of the near and files lines, and of each template argument.
constexpr int32_t NEAR_PART = 40;
constexpr int32_t ARG_PART = 80;

int32_t text(Cell* buffer, const char* s, uint32_t length, int32_t limit) {
    return datatype::append_text(buffer, s, length, limit);
}

int32_t append_string(Cell* buffer, const Cell* s, int32_t limit) {
    Cell copy = *s;
    int32_t n = int32_t(string::get_length(&copy));
    string::copy_part_into(buffer, &copy, -1, 0, true, string::COPY_APPEND);
    return limit - n;
}


// Forms or molds a copy of the value (mold: only and flat as given), cut to
// part characters when part is above 0; answers the limit less what stayed.
int32_t render(const Cell* value, Cell* buffer, bool mold, bool only, bool flat, int32_t part,
               int32_t limit) {
    Cell v = *value;
    const ActionRow& row = types::row(cell::type(&v));
    if (mold ? !row.mold : !row.form) return limit;
    uint32_t start = string::get_abs_length(buffer);
    int32_t budget = part > 0 ? part : limit;
    Cell part_cell;
    cell::make_integer(&part_cell, part);
    Cell* p = part > 0 ? &part_cell : nullptr;
    if (mold)
        actions::mold_dispatch(&v, buffer, only, false, flat, p, budget, 0);
    else
        actions::form_dispatch(&v, buffer, p, budget);
    if (part > 0) string::truncate(string::buffer_of(buffer), start + uint32_t(part));
    return limit - int32_t(string::get_abs_length(buffer) - start);
}

// The fallback of an unknown type or id: the offending value becomes arg1.
void make_invalid(const Cell* err, const Cell* offending) {
    Cell v = *offending;
    *field(err, FIELD_ARG1) = v;
    set_identity(err, Err::internal_invalid_error);
}

// The category and the template of the error, after any fallback.
struct Entry {
    uint32_t category;
    Cell message;
};

Entry lookup(const Cell* err) {
    const Cell* type = field(err, FIELD_TYPE);
    int32_t c = types::is_any_word(cell::type(type)) ? find_category(type) : -1;
    if (c < 0) {
        make_invalid(err, type);
        c = CAT_INTERNAL;
    }
    const Cell* id = field(err, FIELD_ID);
    int32_t i = types::is_any_word(cell::type(id)) ? find_id(uint32_t(c), id) : -1;
    if (i < 0) {
        make_invalid(err, id);
        c = CAT_INTERNAL;
        i = int32_t(position_of(Err::internal_invalid_error));
    }
    Entry e{uint32_t(c), *context::value_at(cell::object_context(category(uint32_t(c))), i)};
    // A word template stands for the error's field of that name.
    if (cell::type(&e.message) == T_WORD) {
        int32_t f = context::lookup_word(cell::object_context(err), cell::word_symbol(&e.message), true);
        e.message = f >= 0 ? *field(err, uint32_t(f)) : statics::none_cell;
    }
    return e;
}

// A template block: strings as they are, words and get-words as the error's
// fields (formed for syntax errors, else molded flat), one space between.
int32_t fill_template(const Cell* err, const Cell* block, bool syntax, Cell* buffer, int32_t limit) {
    Node n = cell::series_node(block);
    uint32_t first = uint32_t(cell::series_index(block));
    for (uint32_t k = first; k < series::length(node::buffer(n)); k++) {
        Cell v = series::cells(node::buffer(n))[k];
        if (cell::type(&v) == T_STRING) {
            limit = append_string(buffer, &v, limit);
        } else if (cell::type(&v) == T_WORD || cell::type(&v) == T_GET_WORD) {
            int32_t f = context::lookup_word(cell::object_context(err), cell::word_symbol(&v), true);
            const Cell* arg = f >= 0 ? field(err, uint32_t(f)) : &statics::none_cell;
            limit = render(arg, buffer, !syntax, false, true, ARG_PART, limit);
        }
        if (k + 1 < series::length(node::buffer(n))) limit = text(buffer, " ", 1, limit);
    }
    return limit;
}

int32_t append_where(const Cell* err, Cell* buffer, int32_t limit) {
    const Cell* where = field(err, FIELD_WHERE);
    if (cell::type(where) == T_STRING) return append_string(buffer, where, limit);
    if (types::is_any_word(cell::type(where))) return render(where, buffer, false, false, false, 0, limit);
    return text(buffer, "???", 3, limit);
}

int32_t append_stack(const Cell* err, Cell* buffer, int32_t limit) {
    int32_t level = stack_trace_level();
    const Cell* names = field(err, FIELD_STACK);
    if (level <= 0 || (cell::type(names) != T_INTEGER && cell::type(names) != T_BLOCK)) return limit;
    limit = text(buffer, "\n*** Stack: ", 12, limit);
    if (cell::type(names) == T_BLOCK) return render(names, buffer, false, false, false, 0, limit);
    return stack::collect_names_part(uint32_t(level), uint32_t(cell::get_int(names)), buffer, limit);
}

}  // namespace

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    limit = text(buffer, "*** ", 4, limit);
    Entry e = lookup(value);
    const Cell* title = context::value_at(cell::object_context(category(e.category)), 1);
    limit = cell::type(title) == T_STRING ? append_string(buffer, title, limit)
                                          : render(title, buffer, false, false, false, 0, limit);
    limit = text(buffer, ": ", 2, limit);
    switch (cell::type(&e.message)) {
    case T_STRING: limit = append_string(buffer, &e.message, limit); break;
    case T_BLOCK: limit = fill_template(value, &e.message, e.category == CAT_SYNTAX, buffer, limit); break;
    default: make_invalid(value, field(value, FIELD_TYPE));
    }
    limit = text(buffer, "\n*** Where: ", 12, limit);
    limit = append_where(value, buffer, limit);
    limit = text(buffer, "\n*** Near : ", 12, limit);
    limit = render(field(value, FIELD_NEAR), buffer, true, true, true, NEAR_PART, limit);
    limit = append_stack(value, buffer, limit);
    const Cell* files = field(value, FIELD_FILES);
    if (cell::type(files) != T_BLOCK) return limit;
    limit = text(buffer, "\n*** Files: ", 12, limit);
    return render(files, buffer, true, true, true, NEAR_PART, limit);
}

}  // namespace error
}  // namespace zel
