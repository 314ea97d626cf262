// The error report: the text that form gives an error! and that the console
// prints for an error nothing caught. The catalog title and the message filled
// from the error's arguments, then the Where and Near lines, the Stack line
// while stack tracing is on, and the Files line.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace error {

// The form action of error!: appends the report to the buffer string and
// answers the limit less what it appended. A type or id that names nothing in
// the catalog turns the error into internal invalid-error first.
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit);

}  // namespace error
}  // namespace zel
