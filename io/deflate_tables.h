// The constant tables of the deflate format that the encoder and the decoder
// share: the bases and extra bits of the length and distance codes, and the
// bit reversal that turns Huffman codes (sent most significant bit first)
// into the least-significant-first order of the bit stream.
#pragma once
#include <array>
#include <cstdint>

namespace zel {
namespace deflate_tables {

// Length symbols 257-285: the shortest length of each and its extra bits.
constexpr uint16_t LENGTH_BASE[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t LENGTH_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Distance symbols 0-29.
constexpr uint16_t DIST_BASE[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t DIST_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

constexpr std::array<uint8_t, 256> make_byte_reversal() {
    std::array<uint8_t, 256> t{};
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t r = 0;
        for (uint32_t b = 0; b < 8; b++)
            if (i & (1u << b)) r |= 0x80u >> b;
        t[i] = uint8_t(r);
    }
    return t;
}
inline constexpr std::array<uint8_t, 256> BYTE_REVERSAL = make_byte_reversal();

constexpr uint32_t reverse16(uint32_t v) { return uint32_t(BYTE_REVERSAL[v & 0xFF]) << 8 | BYTE_REVERSAL[(v >> 8) & 0xFF]; }
// The low n bits of code (1 <= n <= 16) in reverse order.
constexpr uint32_t reverse_bits(uint32_t code, uint32_t n) { return reverse16(code) >> (16 - n); }

}  // namespace deflate_tables
}  // namespace zel
