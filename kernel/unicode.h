// Unicode conversion: UTF-8 and UTF-16 text to and from strings stored in
// series buffers of 1-, 2- or 4-byte units (Latin-1, UCS-2, UCS-4).
//
// A string's buffer always has the narrowest unit that holds every character
// stored so far, and holds no surrogate pairs. When a wider character arrives,
// the buffer is widened in place: its node stays, so every value that shares it
// sees the new unit.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "kernel/memory.h"

namespace zel {
namespace ascii {
// The value of a hexadecimal digit of either case; -1 for any other character.
constexpr int32_t hex_digit(uint32_t c) {
    return c >= '0' && c <= '9'   ? int32_t(c - '0')
           : c >= 'A' && c <= 'F' ? int32_t(c - 'A' + 10)
           : c >= 'a' && c <= 'f' ? int32_t(c - 'a' + 10)
                                  : -1;
}
}  // namespace ascii

namespace utf8 {

constexpr uint32_t MAX_CODE_POINT = 0x10FFFF;
constexpr uint32_t REPLACEMENT = 0xFFFD;

// 2, 3 or 4 for the lead byte of a multi-byte sequence, 0 for any other byte.
int sequence_length(uint8_t lead);

// Decodes one character of [p, end) and answers the position after it. A
// malformed sequence gives cp = -1 and the position after its first byte; a
// sequence cut short by end gives cp = -1 and p itself.
const uint8_t* decode_char(const uint8_t* p, const uint8_t* end, int32_t* cp);
// Characters in a byte range; a malformed or cut byte counts as one.
uint32_t length(const uint8_t* start, const uint8_t* end);
// The position after count characters, never past end.
const uint8_t* skip(const uint8_t* start, const uint8_t* end, uint32_t count);

// One validated character from the left bytes at p, its byte count in *size;
// -1 when left cannot hold the sequence. Raises access error invalid-utf8 on a
// malformed one (a bad lead or follower byte, an overlong form, a surrogate, a
// value above 0x10FFFF).
int32_t decode_checked(const uint8_t* p, size_t left, uint32_t* size);

// Bytes that the code point takes; a code point above 0x10FFFF raises an error.
uint32_t encoded_size(uint32_t cp);
// Writes 1 to 4 bytes and answers their count; above 0x10FFFF raises an error.
uint32_t encode_char(uint32_t cp, uint8_t* out);
// Bytes needed for the units in [start, end) of the given unit size.
size_t size_of_units(const uint8_t* start, const uint8_t* end, uint32_t unit);

// A new byte series holding the UTF-8 text of the string value from its index
// (whole) or of count characters from it (part), followed by a NUL byte that
// the tail does not count; *bytes (when given) receives the byte length.
Node from_string(const Cell* str, uint32_t* bytes);
Node from_string_part(const Cell* str, uint32_t count, uint32_t* bytes);
// The UTF-8 text of the string value from its index, whole or count
// characters of it, for the system and the transports.
std::string text(const Cell* str, uint32_t count = UINT32_MAX);
// Writes the UTF-8 text of count characters from the value's index into out,
// at most limit bytes and never half a character; answers the bytes written.
size_t write_string_part(const Cell* str, uint32_t count, uint8_t* out, size_t limit);

}  // namespace utf8

namespace utf16 {

// Writes one unit, or a surrogate pair above 0xFFFF; answers the unit count.
uint32_t encode_char(uint32_t cp, uint16_t* out);
// A new series of 2-byte units holding the UTF-16 text of the string value from
// its index (whole) or of count characters, followed by a NUL unit that the
// tail does not count; *units (when given) receives the length in units.
Node from_string(const Cell* str, uint32_t* units);
Node from_string_part(const Cell* str, uint32_t count, uint32_t* units);

}  // namespace utf16

namespace string {

// The code point stored at a unit address of a buffer with the unit size.
inline uint32_t get_char(const uint8_t* p, uint32_t unit) {
    if (unit == 1) return *p;
    if (unit == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
// Stores a code point at a unit address; the unit must be wide enough.
inline void put_char(uint8_t* p, uint32_t unit, uint32_t cp) {
    if (unit == 1) {
        *p = uint8_t(cp);
    } else if (unit == 2) {
        uint16_t v = uint16_t(cp);
        std::memcpy(p, &v, 2);
    } else {
        std::memcpy(p, &cp, 4);
    }
}

// Widen the units of a string buffer in place, growing it when needed; the node
// stays and names the buffer answered.
SeriesBuffer* widen_to_ucs2(SeriesBuffer* b);
SeriesBuffer* widen_to_ucs4(SeriesBuffer* b);
SeriesBuffer* widen_ucs2_to_ucs4(SeriesBuffer* b);

// Decodes UTF-8 input and appends it at the tail of the target series (a new
// 1-byte series when target is 0), widening it as characters need. A leading
// byte-order mark is skipped; with line_end, CR LF and a lone CR become LF.
// Invalid input raises access error invalid-utf8 and leaves the target's tail
// as it was. *produced (when given) receives the characters appended.
Node from_utf8(const uint8_t* src, uint32_t len, Node target, uint32_t* produced, bool line_end);
// The same into the series of an existing string value, or into a new string.
void from_utf8_into(const Cell* str, const uint8_t* src, uint32_t len, bool line_end);
Node from_utf8_new(const uint8_t* src, uint32_t len, bool line_end);
// A new string of every code point of valid UTF-8, a leading U+FEFF
// included: the spelling of a word, which is no text read from outside.
Node from_utf8_exact(const uint8_t* src, uint32_t len);
// Decodes len bytes of UTF-16LE input and appends it to the target (a new series
// when 0) with the narrowest unit that holds it. An unpaired surrogate or an odd
// last byte becomes U+FFFD; line ends as for UTF-8.
Node load_utf16(const uint8_t* src, uint32_t len, Node target, bool line_end);
// Writes the UTF-8 text of the string value from its index, at most limit bytes.
size_t write_utf8(const Cell* str, uint8_t* out, size_t limit);

}  // namespace string
}  // namespace zel
