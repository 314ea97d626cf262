// Float text: the decimal texts of 64-bit doubles, written and read back.
//
// `format_double` writes the shortest digits that read back to the same double
// (or a given number of significant digits) in the system's layout: "1.0e20",
// "0.0000001", "1.#INF". `form_into` writes the shorter texts of `form` and of
// vector elements, percents, point coordinates and time seconds. `from_text`
// reads a validated number text, correctly rounded; a huge exponent saturates to
// infinity or zero.
//
// The writers fill a caller buffer of TEXT_SIZE chars, NUL-terminated, and
// answer the length, so nothing here is shared between calls.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zel {
namespace float_ {

// Room for any text the writers produce, NUL included.
constexpr size_t TEXT_SIZE = 48;
// The most significant digits `format_double` gives.
constexpr int32_t MAX_DIGITS = 30;

// What a formed float is for; it picks the conversion, the "%" suffix and
// whether a ".0" is added. Any other value is taken as KIND_FLOAT.
enum TextKind : int32_t {
    KIND_FLOAT32 = 0,    // 32-bit vector element
    KIND_FLOAT = 1,      // float! form, 64-bit vector element
    KIND_PERCENT32 = 2,  // 32-bit percent vector element, value times 100
    KIND_PERCENT = 3,    // percent! form, 64-bit percent element, value times 100
    KIND_TIME = 4,       // seconds of a time!
    KIND_POINT = 5,      // a coordinate of point2D! and point3D!
};

// Forms tiny magnitudes as zero and retries texts that end in a rounding
// artefact ("...99", "...01"); set by system/options/float/pretty?.
extern bool pretty;
// The full-support flag, set by system/options/float/full?; no form reads it
// yet.
extern bool full;

// Precision 0 or below: the shortest digits that read back to the value;
// n > 0: at most n significant digits (capped at MAX_DIGITS), correctly
// rounded. Keep-zero-fraction writes "100.0" and "1.0e20" for "100" and "1e20".
size_t format_double(double value, int32_t precision, bool keep_zero_fraction, char* out);

// The form text of the value for the kind.
size_t form_into(double value, int32_t kind, char* out);

// Reads [start, end): sign, digits with an optional point, an optional exponent,
// or the spellings "1.#INF", "-1.#INF", "1.#NaN". The value is the text times ten
// to the exponent shift, correctly rounded. *unconsumed receives the number of
// characters after the last one read; a text without any digit reads nothing.
double from_text(const char* start, const char* end, int32_t exponent_shift, int32_t* unconsumed);

}  // namespace float_
}  // namespace zel
