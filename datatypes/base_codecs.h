// Text forms of bytes: base 2, 16, 58 and 64 (RFC 4648 alphabet with "="
// padding). The encoders write one-byte characters into room the caller has
// sized; the decoders read text of any unit size into a new binary and never
// raise: text that is not valid answers no binary.
//
// Every decoder skips blanks and ";" comments up to the next line feed.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace binary {

// Room the encoders need for count bytes.
inline uint64_t base2_size(uint32_t count) { return uint64_t(count) * 8; }
inline uint64_t base16_size(uint32_t count) { return uint64_t(count) * 2; }
inline uint64_t base58_size(uint32_t count) { return uint64_t(count) * 2; }
inline uint64_t base64_size(uint32_t count) { return (uint64_t(count) + 2) / 3 * 4; }

// Each writes the digits of count bytes at dest and answers the address after
// the last one.
uint8_t* encode_base2(uint8_t* dest, const uint8_t* source, uint32_t count);
uint8_t* encode_base16(uint8_t* dest, const uint8_t* source, uint32_t count);
uint8_t* encode_base58(uint8_t* dest, const uint8_t* source, uint32_t count);
uint8_t* encode_base64(uint8_t* dest, const uint8_t* source, uint32_t count);

// Each reads length characters of the given unit (1, 2 or 4 bytes) at text and
// answers the node of a new binary, or 0 when the text is not valid.
Node decode_base2(const uint8_t* text, uint32_t length, uint32_t unit);
Node decode_base16(const uint8_t* text, uint32_t length, uint32_t unit);
Node decode_base58(const uint8_t* text, uint32_t length, uint32_t unit);
Node decode_base64(const uint8_t* text, uint32_t length, uint32_t unit);

// The base-64 digit table that the lexer's #{...} literals share: the digit
// value, BLANK for characters skipped, INVALID for the rest (codes 0-127).
constexpr uint8_t BASE64_BLANK = 0x40;
constexpr uint8_t BASE64_INVALID = 0x80;
extern const uint8_t (&base64_digits)[128];

}  // namespace binary
}  // namespace zel
