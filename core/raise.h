// Raising language errors: builds the error value for an id of the catalog with
// up to three argument values, and throws it to the nearest frame that catches
// errors (or ends the process with the error report when none does).
#pragma once
#include "datatypes/error_ids.h"
#include "kernel/cell.h"

namespace zel {
namespace error {

[[noreturn]] void raise(Err id, const Cell* arg1 = nullptr, const Cell* arg2 = nullptr,
                        const Cell* arg3 = nullptr);

}  // namespace error
}  // namespace zel
