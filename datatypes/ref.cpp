// ref!: "@" and the text; the rest of its row is string!'s.
#include "datatypes/ref.h"

#include "core/datatype.h"
#include "core/stack.h"
#include "core/string_actions.h"

namespace zel {
namespace ref {

Cell* push_copy(const Cell* value) { return stack::push(value); }

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    limit = datatype::append_text(buffer, "@", 1, limit);
    return string::form(value, buffer, part, limit);
}

void register_type() {
    datatype::register_({
        .id = T_REF, .parent = T_STRING, .name = "ref!",
        .make = INHERIT, .reflect = INHERIT, .to = INHERIT, .form = INHERIT, .mold = mold,
        .compare = INHERIT,
        .at = INHERIT, .back = INHERIT, .change = INHERIT, .clear = INHERIT, .copy = INHERIT,
        .find = INHERIT, .head = INHERIT, .is_head = INHERIT, .is_index = INHERIT, .insert = INHERIT,
        .is_length = INHERIT, .move = INHERIT, .next = INHERIT, .pick = INHERIT, .poke = INHERIT,
        .remove = INHERIT, .reverse = INHERIT, .select = INHERIT, .skip = INHERIT, .swap = INHERIT,
        .tail = INHERIT, .is_tail = INHERIT, .take = INHERIT, .modify = INHERIT,
    });
}

}  // namespace ref
}  // namespace zel
