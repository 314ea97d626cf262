// money!: a signed fixed-point decimal amount, 17 digits before the point and
// 5 after, with an optional currency code.
//
// The cell: header bit 14 is the sign (1 negative); payload byte 0 is the
// currency (0 none, else its 1-based position in the currency list) and
// payload bytes 1-11 the 22 digits, two a byte, the high nibble first, the
// most significant digit first. A value whose digits are all 0 is zero,
// whatever its sign bit.
#pragma once
#include <cstdint>

#include "datatypes/money_digits.h"
#include "kernel/cell.h"

namespace zel {
namespace money {

constexpr uint32_t HDR_SIGN = 0x4000u;
constexpr uint32_t CURRENCY_COUNT = 170;
// A currency byte indexes at most this many codes: the built-in ones and
// those added at run time.
constexpr uint32_t MAX_CURRENCIES = 255;
// The digits shown by form and mold without /all.
constexpr int32_t SHOWN_DECIMALS = 2;

void register_type();

// ---- cells --------------------------------------------------------------------
inline bool sign_flag(const Cell* c) { return (c->header & HDR_SIGN) != 0; }
inline void store_sign(Cell* c, bool negative) {
    c->header = negative ? c->header | HDR_SIGN : c->header & ~HDR_SIGN;
}
uint32_t currency_of(const Cell* c);
void store_currency(Cell* c, uint32_t index);
Digits digits_of(const Cell* c);
void store_digits(Cell* c, const Digits& digits);
// The whole cell from its parts (the readers of stored values use it).
void init_cell(Cell* c, bool negative, uint32_t currency, const uint8_t packed[11]);
// The whole cell from a magnitude; a zero amount is never negative.
void make(Cell* c, bool negative, uint32_t currency, const Digits& digits);

// ---- sign tests ---------------------------------------------------------------
bool is_zero(const Cell* c);
int32_t sign_of(const Cell* c);
inline bool below_zero(const Cell* c) { return sign_of(c) < 0; }
inline bool above_zero(const Cell* c) { return sign_of(c) > 0; }

// ---- currencies ---------------------------------------------------------------
// The 1-based index of a three-letter code, compared without regard to case;
// -1 when it is not in the list.
int32_t currency_index(const char* code, uint32_t length);
// The same for the spelling of a word.
int32_t currency_index(const Cell* word);
// The three letters of a currency index (1 to currency_count()).
const char* currency_code(uint32_t index);
// The codes known now: the built-in ones, then those added.
uint32_t currency_count();
// Adds a code of three ASCII letters (stored upper-case) after the known
// ones and answers its index; a known code answers its index unchanged.
// -1 for anything else, or when MAX_CURRENCIES are known.
int32_t add_currency(const char* code, uint32_t length);

// ---- conversions --------------------------------------------------------------
// The parts of a money text as ASCII: the integer digits without leading
// zeros (counted on past the room, so that too many can be told) and the
// decimals (the first five kept, all counted).
struct MoneyText {
    bool negative;
    bool has_code;
    char code[3];
    char integer[18];
    uint32_t integer_count;
    char fraction[5];
    uint32_t fraction_count;
};
// Fills the cell from a scanned text. Decimals past the fifth are ignored.
// False, the cell untouched, for a code not in the list or more than 17
// integer digits.
bool from_text(Cell* c, const MoneyText& m);
void of_integer(Cell* c, int32_t value);
// Script error type-limit naming integer! when the integer part does not fit.
int32_t as_integer(const Cell* c);
bool is_float_too_large(double d);
bool is_float_too_small(double d);
// The float's shortest decimal text read as money. Script error bad-make-arg
// for a float out of range and, when strict, for more than 5 decimals; not
// strict, further decimals are dropped.
void of_float(Cell* c, double d, bool strict);
double as_float(const Cell* c);
// Script error bad-make-arg naming the datatype and the spec.
[[noreturn]] void raise_make(uint32_t type, const Cell* spec);

// ---- text ---------------------------------------------------------------------
// The text of the value with the decimals given (none below 1, at most 5),
// with form's "'" grouping or without; answers the length. out holds
// TEXT_SIZE chars.
constexpr uint32_t TEXT_SIZE = 48;
uint32_t write_text(const Cell* c, bool grouped, int32_t decimals, char* out);

// ---- arithmetic and compare ---------------------------------------------------
// number::Op on the frame's result slot and next argument; the result
// replaces the result slot.
void arithmetic(int32_t op);
// value1 a money!; the comparison op of the compare action.
int32_t compare(Cell* value1, Cell* value2, int32_t op);
// The round action: ties away from zero unless a mode says otherwise; the
// result keeps the value's sign and currency.
const Cell* round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
                  bool half_ceiling);

}  // namespace money
}  // namespace zel
