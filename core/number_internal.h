// Helpers shared by the number datatypes (integer!, float!, char!, time!):
// the errors their conversions and rounding raise, and the 32-bit range test
// of a whole float.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace number {

// Script error bad-to-arg naming the datatype made and the spec.
[[noreturn]] void raise_bad_to(uint32_t type, const Cell* spec);
// round /to takes no money! scale: script error not-related naming the call
// and money!. Does nothing for any other scale (or none).
void refuse_money_scale(const Cell* scale);
// power's exponent of a type other than integer! or float!: script error
// expect-arg naming the call, the exponent's datatype and the argument.
[[noreturn]] void raise_bad_exponent(const Cell* exponent);

// Script error type-limit naming the datatype.
[[noreturn]] void raise_type_limit(uint32_t type);

// True when d lies in the 32-bit integer range (false for NaN).
inline bool fits_int32(double d) { return d >= -2147483648.0 && d <= 2147483647.0; }
// The whole number d as an integer; math overflow when it does not fit.
int32_t whole_to_int32(double d);

}  // namespace number
}  // namespace zel
