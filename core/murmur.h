// MurmurHash3, x86 32-bit variant: the content hash of the hash tables, of
// symbol names and of `random/seed` on series.
//
// The body step and the final step are exposed so that callers can hash a
// stream of 32-bit blocks they build on the fly (code points of a string,
// lowered name bytes) without copying it first.
#pragma once
#include <cstdint>

namespace zel {
namespace hash {

// The runtime seed of `murmur3`; set once at start-up before any table is
// built, since every stored hash depends on it.
extern uint32_t seed;

// The final avalanche of MurmurHash3, alone it is the hash of a 32-bit key.
inline uint32_t mix(uint32_t k) {
    k = (k ^ (k >> 16)) * 0x85EBCA6Bu;
    k ^= k >> 13;
    k *= 0xC2B2AE35u;
    return k ^ (k >> 16);
}

inline uint32_t rotl(uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

inline uint32_t scramble(uint32_t k) { return rotl(k * 0xCC9E2D51u, 15) * 0x1B873593u; }

// One full 4-byte block into the running hash h.
inline uint32_t step(uint32_t h, uint32_t block) {
    h = rotl(h ^ scramble(block), 13);
    return h * 5 + 0xE6546B64u;
}

// The 0 to 3 trailing bytes (little-endian in tail) and the length in bytes.
inline uint32_t finish(uint32_t h, uint32_t tail, uint32_t tail_bytes, uint32_t length) {
    if (tail_bytes) h ^= scramble(tail);
    return mix(h ^ length);
}

uint32_t murmur3_seeded(const void* data, int32_t length, uint32_t seed);
// The bytes hashed with the runtime seed.
uint32_t murmur3(const void* data, int32_t length);
// As murmur3 of a copy of the bytes with ASCII A-Z lowered: the hash of a symbol
// name, alike for every spelling that differs only in ASCII case.
uint32_t murmur3_ascii_lower(const uint8_t* data, uint32_t length);

}  // namespace hash
}  // namespace zel
