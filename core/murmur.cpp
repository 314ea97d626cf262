// MurmurHash3 x86 32-bit over byte buffers.
#include "core/murmur.h"

namespace zel {
namespace hash {

uint32_t seed = 0;

static inline uint32_t load_le(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A-Z lowered in the four bytes of a word at once: bit 7 of each byte of
// low + 0x3F is set from "A" on, of low + 0x25 past "Z", neither sum carries
// into the next byte, and bytes of 0x80 and above stay as they are.
static inline uint32_t lowered(uint32_t x) {
    uint32_t low = x & 0x7F7F7F7Fu;
    uint32_t letters = (low + 0x3F3F3F3Fu) & ~(low + 0x25252525u) & ~x & 0x80808080u;
    return x | letters >> 2;
}

// The count is signed in the interface; a negative one hashes no bytes but
// still enters the final mix, as the reference code does.
uint32_t murmur3_seeded(const void* data, int32_t length, uint32_t seed) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t n = length > 0 ? uint32_t(length) : 0;
    uint32_t h = seed;
    uint32_t blocks = n / 4;
    for (uint32_t i = 0; i < blocks; i++) h = step(h, load_le(p + 4 * i));
    uint32_t tail = 0, rest = n & 3;
    for (uint32_t i = rest; i > 0; i--) tail = tail << 8 | p[4 * blocks + i - 1];
    return finish(h, tail, rest, uint32_t(length));
}

uint32_t murmur3(const void* data, int32_t length) { return murmur3_seeded(data, length, seed); }

uint32_t murmur3_ascii_lower(const uint8_t* data, uint32_t length) {
    uint32_t h = seed;
    uint32_t blocks = length / 4;
    for (uint32_t i = 0; i < blocks; i++) h = step(h, lowered(load_le(data + 4 * i)));
    const uint8_t* t = data + 4 * blocks;
    uint32_t tail = 0, rest = length & 3;
    switch (rest) {
    case 3: tail |= uint32_t(t[2]) << 16; [[fallthrough]];
    case 2: tail |= uint32_t(t[1]) << 8; [[fallthrough]];
    case 1: tail |= t[0];
    }
    return finish(h, lowered(tail), rest, length);
}

}  // namespace hash
}  // namespace zel
