// handle!: form as eight hexadecimal digits and "h", mold by name (with /all
// as construction syntax with the kind), and comparison by native value.
#include "datatypes/handle.h"

#include "core/datatype.h"
#include "core/stack.h"
#include "core/string.h"

namespace zel {
namespace handle {

namespace {

const char* const KIND_NAMES[KIND_COUNT] = {nullptr, "fd", "monitor", "window", "font", "rich-text"};

}  // namespace

void init_cell(Cell* c, uint32_t value, uint32_t kind) {
    c->header = T_HANDLE;
    c->w1 = kind;
    c->w2 = value;
    c->w3 = 0xFFFFFFFFu;
}

const Cell* to_result(uint32_t value, uint32_t kind) {
    init_cell(stack::reg.base, value, kind);
    return stack::reg.base;
}

Cell* push_null() {
    Cell* c = stack::push_slot();
    init_cell(c, 0, NONE);
    return c;
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    limit = datatype::append_cstr(buffer, string::int_to_hex(int32_t(handle::value_of(value)), false), limit);
    return datatype::append_cstr(buffer, "h", limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell* part, int32_t limit, int32_t) {
    if (!all) return datatype::append_cstr(buffer, "handle!", limit);
    limit = datatype::append_cstr(buffer, "#[handle! ", limit);
    limit = form(value, buffer, part, limit);
    if (handle::kind_of(value) > NONE && handle::kind_of(value) < KIND_COUNT) {
        limit = datatype::append_cstr(buffer, " ", limit);
        limit = datatype::append_cstr(buffer, KIND_NAMES[handle::kind_of(value)], limit);
    }
    return datatype::append_cstr(buffer, "]", limit);
}

// A handle equals only a handle; any other value is different under every op.
int32_t compare(Cell* value1, Cell* value2, int32_t) {
    if (cell::type(value2) != T_HANDLE) return 1;
    int32_t a = int32_t(handle::value_of(value1)), b = int32_t(handle::value_of(value2));
    return a < b ? -1 : a > b ? 1 : 0;
}

void register_type() {
    datatype::register_({.id = T_HANDLE, .parent = T_INTEGER, .name = "handle!", .form = form, .mold = mold,
                         .compare = compare});
}

}  // namespace handle
}  // namespace zel
