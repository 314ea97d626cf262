// percent!: cells, text, and the registration of its action row, which
// takes all but the text from float!.
#include "datatypes/percent.h"

#include "core/datatype.h"
#include "core/stack.h"
#include "kernel/floattext.h"

namespace zel {
namespace percent {

void init_cell(Cell* c, double fraction) {
    *c = Cell{T_PERCENT, 0, 0, 0};
    cell::put_float(c, fraction);
}

// The float text's percent kind adds the "%".
int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    char text[float_::TEXT_SIZE];
    size_t n = float_::form_into(cell::get_float(value) * 100, float_::KIND_PERCENT, text);
    return datatype::append_text(buffer, text, uint32_t(n), limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

void register_type() {
    datatype::register_({.id = T_PERCENT, .parent = T_FLOAT, .name = "percent!", .make = INHERIT,
                         .random = INHERIT, .to = INHERIT, .form = form, .mold = mold,
                         .compare = INHERIT, .absolute = INHERIT, .add = INHERIT,
                         .divide = INHERIT, .multiply = INHERIT, .negate = INHERIT,
                         .power = INHERIT, .remainder = INHERIT, .round = INHERIT,
                         .subtract = INHERIT, .is_even = INHERIT, .is_odd = INHERIT});
}

}  // namespace percent
}  // namespace zel
