// The path family and paren!: construction, conversion, form and mold; every
// other action is block!'s.
#include "core/path.h"

#include "core/actions.h"
#include "core/block.h"
#include "core/cycles.h"
#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/type_groups.h"

namespace zel {

namespace {

// The answer handed to the action entry, which copies it at once.
Cell answer;

// Every slot inherited from the parent; the caller then sets its own.
TypeTable inheriting(uint32_t id, uint32_t parent, const char* name) {
    TypeTable t{.id = id, .parent = parent, .name = name};
#define ZEL_INHERIT_SLOT(member, id_, shape) t.member = INHERIT;
    ZEL_ACTIONS(ZEL_INHERIT_SLOT)
#undef ZEL_INHERIT_SLOT
    return t;
}

Cell* push_as(Cell* c, uint32_t type) {
    cell::set_type(c, type);
    return stack::push(c);
}

// Keeps the series on the cycle stack while its elements are walked, on every
// path out.
struct Visit {
    explicit Visit(Node n) { cycles::push(n); }
    ~Visit() { cycles::pop(); }
    Visit(const Visit&) = delete;
    Visit& operator=(const Visit&) = delete;
};

int32_t append(const Cell* buffer, const char* text, int32_t limit) {
    return datatype::append_text(buffer, text, 1, limit);
}

// The elements from the index joined by "/", formed or molded.
int32_t join(Cell* value, Cell* buffer, bool mold, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    if (cycles::mold_marker(value, buffer, &limit, mold)) return limit;
    Visit visit(cell::series_node(value));
    uint32_t first = uint32_t(cell::series_index(value));
    for (uint32_t p = first; p < block::buffer_length(value); p++) {
        if (part && limit < 1) break;
        if (p > first) limit = append(buffer, "/", limit);
        Cell element = *block::cell_at(value, p);
        limit = mold ? actions::mold_dispatch(&element, buffer, false, all, flat, part, limit, indent)
                     : actions::form_dispatch(&element, buffer, part, limit);
    }
    return limit;
}

// path!'s mold between a prefix and a suffix (either may be empty).
int32_t mold_around(const char* prefix, const char* suffix, Cell* value, Cell* buffer, bool only, bool all,
                    bool flat, Cell* part, int32_t limit) {
    if (*prefix) limit = append(buffer, prefix, limit);
    limit = path::mold(value, buffer, only, all, flat, part, limit, 0);
    return *suffix ? append(buffer, suffix, limit) : limit;
}

// A type whose row is its parent's but for mold.
void register_molding(uint32_t id, uint32_t parent, const char* name, MoldFn mold) {
    TypeTable t = inheriting(id, parent, name);
    t.mold = mold;
    datatype::register_(t);
}

}  // namespace

namespace path {

Cell* push(Cell* c) { return push_as(c, T_PATH); }

Cell* write_cell(Cell* c, int32_t n) {
    block::write_cell(c, n);
    cell::set_type(c, T_PATH);
    return c;
}

const Cell* make(Cell*, Cell* spec, uint32_t type) {
    switch (cell::type(spec)) {
    case T_INTEGER: block::write_cell(&answer, cell::get_int(spec)); break;
    case T_FLOAT:
    case T_PERCENT: block::write_cell(&answer, check::float_range(spec)); break;
    default:
        if (!types::is_any_block(spec)) {
            Cell datatype;
            datatype::write_cell(&datatype, type);
            error::raise_bad_make(&datatype, spec);
        }
        block::clone(spec, &answer, false, false);
    }
    cell::set_type(&answer, type);
    return &answer;
}

const Cell* to(Cell* proto, Cell* value, uint32_t type) {
    switch (cell::type(value)) {
    case T_OBJECT:
    case T_TYPESET:
    case T_MAP:
        block::write_cell(&answer, 1);
        block::append_copy(&answer, value);
        break;
    default: answer = *block::to(proto, value, type);
    }
    cell::set_type(&answer, type);
    return &answer;
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    return join(value, buffer, false, false, false, part, limit, 0);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    return join(value, buffer, true, all, flat, part, limit, indent);
}

void init() {
    TypeTable t = inheriting(T_PATH, T_BLOCK, "path!");
    t.make = make;
    t.to = to;
    t.form = form;
    t.mold = mold;
    t.copy = block::copy;
    t.random = nullptr;
    t.sort = nullptr;
    t.trim = nullptr;
    datatype::register_(t);
}

}  // namespace path

namespace lit_path {
Cell* push(Cell* c) { return push_as(c, T_LIT_PATH); }
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit, int32_t) {
    return mold_around("'", "", value, buffer, only, all, flat, part, limit);
}
void init() { register_molding(T_LIT_PATH, T_PATH, "lit-path!", mold); }
}  // namespace lit_path

namespace set_path {
Cell* push(Cell* c) { return push_as(c, T_SET_PATH); }
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit, int32_t) {
    return mold_around("", ":", value, buffer, only, all, flat, part, limit);
}
void init() { register_molding(T_SET_PATH, T_PATH, "set-path!", mold); }
}  // namespace set_path

namespace get_path {
Cell* push(Cell* c) { return push_as(c, T_GET_PATH); }
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit, int32_t) {
    return mold_around(":", "", value, buffer, only, all, flat, part, limit);
}
void init() { register_molding(T_GET_PATH, T_PATH, "get-path!", mold); }
}  // namespace get_path

namespace paren {
Cell* push(Cell* c) { return push_as(c, T_PAREN); }
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    if (cycles::mold_marker(value, buffer, &limit, true)) return limit;
    if (!only) limit = append(buffer, "(", limit);
    limit = block::mold_values(value, buffer, only, all, flat, part, limit, indent);
    return only ? limit : append(buffer, ")", limit);
}
void init() { register_molding(T_PAREN, T_BLOCK, "paren!", mold); }
}  // namespace paren

}  // namespace zel
