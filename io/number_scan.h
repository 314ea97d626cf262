// Number scanners: an integer, a float, a tuple or money read from a range of
// characters of a text of 1-, 2- or 4-byte units, for the `to` and `make`
// conversions and the lexer's own number loaders. Each reports failure
// through an error flag that the caller turns into its own error: 0 when the
// text was read, -1 for a character that does not belong, -2 for an integer
// that leaves the 32-bit range.
#pragma once
#include <cstdint>

#include "datatypes/money.h"
#include "kernel/cell.h"

namespace zel {
namespace lexer {

// The longest float text accepted.
constexpr uint32_t FLOAT_TEXT_MAX = 312;

// Optional sign, decimal digits, apostrophes between them skipped. On -1 or
// -2 the value read so far is answered.
int32_t scan_integer(const uint8_t* text, uint32_t start, uint32_t length, uint32_t unit, int32_t* error);
// Digits with apostrophes, an optional point or comma, an optional signed
// exponent; NaN with the flag -1 when the text is not a float. The value is
// the text times ten to the exponent shift, correctly rounded; beyond the
// float range it saturates to an infinity or zero.
double scan_float(const uint8_t* text, uint32_t start, uint32_t length, uint32_t unit, int32_t* error,
                  int32_t exponent_shift = 0);
// Up to 12 fields of 0-255 separated by points, written into the cell as a
// tuple!.
void scan_tuple(const uint8_t* text, uint32_t start, uint32_t length, uint32_t unit, Cell* out, int32_t* error);
// The parts of a money text, as money::from_text takes them.
using money::MoneyText;
// Splits a money text: an optional sign, an optional three-letter code that
// "$" must follow, "$" (optional without a code unless lexer_form), then
// digits with single apostrophes between them and an optional point with
// digits on both sides (lexer_form also takes a comma for the point).
bool split_money(const uint8_t* text, uint32_t start, uint32_t length, uint32_t unit, bool lexer_form,
                 MoneyText* out);
// A money text written into the cell as a money!.
void scan_money(const uint8_t* text, uint32_t start, uint32_t length, uint32_t unit, Cell* out, int32_t* error);
// True when the bytes form a float as the lexer accepts it (at most
// FLOAT_TEXT_MAX bytes; a comma point must already be a ".").
bool is_float_syntax(const uint8_t* start, const uint8_t* end);

}  // namespace lexer
}  // namespace zel
