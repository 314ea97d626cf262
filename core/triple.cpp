// triple!: the text of a triple, its only action.
#include "core/triple.h"

#include <charconv>

#include "core/datatype.h"

namespace zel {
namespace triple {

static int32_t append_int(const Cell* buffer, uint32_t word, int32_t limit) {
    char digits[12];
    char* end = std::to_chars(digits, digits + sizeof digits, int32_t(word)).ptr;
    return datatype::append_text(buffer, digits, uint32_t(end - digits), limit);
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    limit = datatype::append_text(buffer, "make triple! [", 14, limit);
    limit = append_int(buffer, value->w1, limit);
    limit = datatype::append_text(buffer, " ", 1, limit);
    limit = append_int(buffer, value->w2, limit);
    limit = datatype::append_text(buffer, " ", 1, limit);
    limit = append_int(buffer, value->w3, limit);
    return datatype::append_text(buffer, "]", 1, limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

void init() { datatype::register_({.id = T_TRIPLE, .parent = 0, .name = "triple!", .form = form, .mold = mold}); }

}  // namespace triple
}  // namespace zel
