// tag! and email!: text types laid out as string! that differ in their face.
// A tag! is markup shown between angle brackets; an email! is an address
// whose user and host parts are reachable by path (email/user, email/host).
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace tag {

Cell* push_copy(const Cell* value);

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);

void register_type();

}  // namespace tag

namespace email {

Cell* push_copy(const Cell* value);

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t index, bool case_, bool get, bool last, bool notify);

void register_type();

}  // namespace email
}  // namespace zel
