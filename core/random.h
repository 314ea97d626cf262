// Random numbers: the one process-wide generator behind the `random` action
// of every datatype, and the operating system's secure source behind
// `random/secure`.
//
// The generator follows the Mersenne Twister recurrences on signed 32-bit
// words with arithmetic right shifts, so every output is a 31-bit
// non-negative number and a given seed gives this system's own sequence,
// not the published one. It is seeded with 19650218 at start-up, so a
// process that never seeds repeats the same sequence on every run.
#pragma once
#include <cstdint>

namespace zel {
namespace random {

// Allocates the state and seeds it with 19650218.
void init();
void seed(int32_t seed);
// 0 to 2147483647.
int32_t next();
// Four secure bytes, little-endian, bit 31 cleared: 0 to 2147483647. Raises
// internal error feature-na when the source fails.
int32_t secure_next();
// One draw from the plain or the secure source.
inline int32_t draw(bool secure) { return secure ? secure_next() : next(); }
// Uniform in 1 to n for n > 0, -1 to n for n < 0 (the smallest integer:
// -1 less one raw draw), 0 for n = 0.
int32_t in_range(bool secure, int32_t n);
// A float between 0 and the value: one plain draw, or two secure draws.
double scale(bool secure, double value);

}  // namespace random
}  // namespace zel
