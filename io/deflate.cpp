// The deflate encoder. It trades ratio for speed and simplicity: the whole
// input becomes one final block with the fixed Huffman codes, and matches are
// found in a small table of recent positions (1024 buckets of 4 slots, keyed
// by a hash of 3 bytes) with no chains and no search for the longest match.
#include <cstring>

#include "io/deflate.h"
#include "io/deflate_tables.h"

namespace zel {
namespace deflate {

using namespace deflate_tables;

namespace {

constexpr uint32_t BUCKETS = 1024, SLOTS = 4, MIN_MATCH = 3, MAX_MATCH = 258, WINDOW = 32768;

struct FixedCode {
    uint16_t bits;  // the code, already reversed for the bit stream
    uint8_t length;
};

// The fixed literal/length code: 0-143 in 8 bits from 0x30, 144-255 in 9 bits
// from 0x190, 256-279 in 7 bits from 0, 280-287 in 8 bits from 0xC0.
constexpr std::array<FixedCode, 288> make_fixed_codes() {
    std::array<FixedCode, 288> t{};
    for (uint32_t s = 0; s < 288; s++) {
        uint32_t code = s < 144 ? 0x30 + s : s < 256 ? 0x190 + (s - 144) : s < 280 ? s - 256 : 0xC0 + (s - 280);
        uint32_t length = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        t[s] = {uint16_t(reverse_bits(code, length)), uint8_t(length)};
    }
    return t;
}
constexpr std::array<FixedCode, 288> FIXED = make_fixed_codes();

// Length 3-258 to its length symbol less 257.
constexpr std::array<uint8_t, 256> make_length_codes() {
    std::array<uint8_t, 256> t{};
    for (uint32_t c = 0; c < 29; c++)
        for (uint32_t l = LENGTH_BASE[c]; l < LENGTH_BASE[c] + (1u << LENGTH_EXTRA[c]) && l <= MAX_MATCH; l++)
            t[l - MIN_MATCH] = uint8_t(c);
    return t;
}
constexpr std::array<uint8_t, 256> LENGTH_CODE = make_length_codes();

// Distance less 1 to its symbol: directly below 256, else by the distance
// shifted right 7 (every symbol from 16 on spans a multiple of 128).
constexpr std::array<uint8_t, 512> make_dist_codes() {
    std::array<uint8_t, 512> t{};
    for (uint32_t c = 0; c < 30; c++)
        for (uint32_t d = DIST_BASE[c] - 1; d < DIST_BASE[c] - 1u + (1u << DIST_EXTRA[c]); d++)
            t[d < 256 ? d : 256 + (d >> 7)] = uint8_t(c);
    return t;
}
constexpr std::array<uint8_t, 512> DIST_CODE = make_dist_codes();

uint32_t dist_code(uint32_t distance) {
    uint32_t d = distance - 1;
    return DIST_CODE[d < 256 ? d : 256 + (d >> 7)];
}

// Bits go in least significant first; a byte is stored only while inside the
// buffer, but the position always advances.
struct BitWriter {
    uint8_t* out;
    size_t capacity;
    size_t pos;
    uint32_t acc;
    uint32_t count;
};

void put(BitWriter& w, uint32_t bits, uint32_t n) {
    w.acc |= bits << w.count;
    w.count += n;
    while (w.count > 7) {
        if (w.pos < w.capacity) w.out[w.pos] = uint8_t(w.acc);
        w.pos++;
        w.acc >>= 8;
        w.count -= 8;
    }
}

void put_symbol(BitWriter& w, uint32_t symbol) { put(w, FIXED[symbol].bits, FIXED[symbol].length); }

void put_match(BitWriter& w, uint32_t length, uint32_t distance) {
    uint32_t lc = LENGTH_CODE[length - MIN_MATCH];
    put_symbol(w, 257 + lc);
    put(w, length - LENGTH_BASE[lc], LENGTH_EXTRA[lc]);
    uint32_t dc = dist_code(distance);
    put(w, reverse_bits(dc, 5), 5);
    put(w, distance - DIST_BASE[dc], DIST_EXTRA[dc]);
}

uint32_t bucket_of(const uint8_t* p) {
    uint32_t v = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    v ^= v >> 16;
    v *= 0x7FEB352Du;
    v ^= v >> 15;
    v *= 0x846CA68Bu;
    v ^= v >> 16;
    return v & (BUCKETS - 1);
}

// Slots hold a position plus 1, so 0 marks an empty one.
using MatchTable = uint32_t[BUCKETS][SLOTS];

// The length of the first usable match for position p, 0 for none; *distance
// receives its distance.
uint32_t find_match(const MatchTable table, uint32_t bucket, const uint8_t* in, size_t n, size_t p,
                    uint32_t* distance) {
    for (uint32_t s = 0; s < SLOTS; s++) {
        uint32_t slot = table[bucket][s];
        if (slot == 0) continue;
        size_t q = slot - 1;
        if (p - q >= WINDOW || std::memcmp(in + q, in + p, MIN_MATCH) != 0) continue;
        uint32_t length = MIN_MATCH;
        while (length < MAX_MATCH && p + length < n && in[q + length] == in[p + length]) length++;
        *distance = uint32_t(p - q);
        return length;
    }
    return 0;
}

}  // namespace

int compress(uint8_t* out, size_t* length, const uint8_t* in, size_t in_length) {
    MatchTable table;
    std::memset(table, 0, sizeof table);
    BitWriter w = {out, out ? *length : 0, 0, 0, 0};
    put(w, 1, 1);  // final block
    put(w, 1, 2);  // fixed Huffman codes
    size_t p = 0;
    while (p < in_length) {
        size_t start = p;
        bool hashed = in_length - p >= MIN_MATCH;
        uint32_t bucket = hashed ? bucket_of(in + p) : 0;
        uint32_t distance = 0;
        uint32_t match = hashed && p >= MIN_MATCH ? find_match(table, bucket, in, in_length, p, &distance) : 0;
        if (match) {
            put_match(w, match, distance);
            p += match;
        } else {
            put_symbol(w, in[p]);
            p++;
        }
        if (!hashed) continue;
        // The slot is picked by the bytes that follow; near the end no match
        // can be tried any more, so any slot will do.
        uint32_t next = in_length - p >= MIN_MATCH ? uint32_t(in[p]) << 16 | uint32_t(in[p + 1]) << 8 | in[p + 2] : 0;
        table[bucket][((next >> 14) - next) & (SLOTS - 1)] = uint32_t(start + 1);
    }
    put_symbol(w, 256);
    if (w.count) put(w, 0, 8 - w.count);
    bool fits = w.pos <= w.capacity;
    *length = w.pos;
    return fits ? ZIP_DONE : ZIP_NO_ROOM;
}

}  // namespace deflate
}  // namespace zel
