// MurmurHash3 x86 32-bit over byte buffers.
#include "core/murmur.h"

namespace zel {
namespace hash {

uint32_t seed = 0;

static inline uint32_t load_le(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

static inline uint8_t lower_ascii(uint8_t c) { return c >= 'A' && c <= 'Z' ? uint8_t(c + 32) : c; }

static inline uint32_t load_lowered(const uint8_t* p) {
    return uint32_t(lower_ascii(p[0])) | uint32_t(lower_ascii(p[1])) << 8 |
           uint32_t(lower_ascii(p[2])) << 16 | uint32_t(lower_ascii(p[3])) << 24;
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
    for (uint32_t i = 0; i < blocks; i++) h = step(h, load_lowered(data + 4 * i));
    uint32_t tail = 0, rest = length & 3;
    for (uint32_t i = rest; i > 0; i--) tail = tail << 8 | lower_ascii(data[4 * blocks + i - 1]);
    return finish(h, tail, rest, length);
}

}  // namespace hash
}  // namespace zel
