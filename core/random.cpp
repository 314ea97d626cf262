// Random numbers: the generator, the secure source, range reduction and
// float scaling.
#include "core/random.h"

#include "core/raise.h"
#include "kernel/runtime.h"
#include "platform/random_bytes.h"

namespace zel {
namespace random {

namespace {

constexpr uint32_t N = 624, M = 397;
constexpr int32_t START_SEED = 19650218;
constexpr int32_t LARGEST = 2147483647;

uint32_t* state;  // N words in a tracked block
uint32_t index = N;

// Every right shift of this generator copies the sign bit in; the last
// tempering step therefore always clears bit 31.
inline uint32_t sar(uint32_t x, int k) { return uint32_t(int32_t(x) >> k); }

void regenerate() {
    for (uint32_t k = 0; k < N; k++) {
        uint32_t y = (state[k] & 0x80000000u) | (state[(k + 1) % N] & 0x7FFFFFFFu);
        state[k] = state[(k + M) % N] ^ sar(y, 1) ^ (y & 1 ? 0x9908B0DFu : 0);
    }
    index = 0;
}

}  // namespace

void init() {
    state = static_cast<uint32_t*>(heap::alloc(N * sizeof(uint32_t)));
    seed(START_SEED);
}

void seed(int32_t value) {
    state[0] = uint32_t(value);
    for (uint32_t i = 1; i < N; i++) state[i] = 1812433253u * (state[i - 1] ^ sar(state[i - 1], 30)) + i;
    index = 0;
}

int32_t next() {
    if (index == N) regenerate();
    uint32_t y = state[index++];
    y ^= sar(y, 11);
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= sar(y, 18);
    return int32_t(y);
}

int32_t secure_next() {
    uint8_t b[4];
    if (!platform::secure_random(b, 4)) error::raise(Err::internal_feature_na);
    return int32_t((b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24) & 0x7FFFFFFFu);
}

int32_t in_range(bool secure, int32_t n) {
    if (n == 0) return 0;
    if (n == INT32_MIN) return -1 - draw(secure);
    if (n < 0) return -in_range(secure, -n);
    int32_t limit = LARGEST / n * n, d;
    do d = draw(secure);
    while (d >= limit);
    return d % n + 1;
}

double scale(bool secure, double value) {
    if (!secure) return value * next() / double(LARGEST);
    double d1 = secure_next(), d2 = secure_next();
    return value * (d2 + d1 / double(LARGEST)) / 2147483648.0;
}

}  // namespace random
}  // namespace zel
