// The deflate decoder: stored, fixed-code and dynamic-code blocks.
//
// Hostile input is expected. Reading never passes the end of the input (bits
// beyond it read as zeros, and a symbol or field that needs them fails);
// writing never passes the end of the output (bytes past it are only
// counted); every symbol consumes at least one bit, so decoding ends.
// Huffman codes that are over-subscribed, or incomplete with more than one
// symbol, are refused, and so are bit patterns that match no code.
#include <cstring>

#include "io/deflate.h"
#include "io/deflate_tables.h"

namespace zel {
namespace inflate {

using namespace deflate_tables;

namespace {

constexpr uint32_t MAX_BITS = 15, LIT_SYMBOLS = 288, DIST_SYMBOLS = 32, CODE_SYMBOLS = 19;
constexpr uint32_t MAX_LIT_USED = 286, MAX_DIST_USED = 30, END_OF_BLOCK = 256;

// The order in which a dynamic block sends the lengths of the code-length code.
constexpr uint8_t CODE_LENGTH_ORDER[CODE_SYMBOLS] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct BitReader {
    const uint8_t* in;
    size_t length;  // bytes
    size_t bit;     // bits consumed
};

size_t bits_left(const BitReader& r) { return r.length * 8 - r.bit; }

// The next 16 bits, least significant first, zeros past the end.
uint32_t peek16(const BitReader& r) {
    size_t byte = r.bit >> 3;
    uint32_t v = 0;
    if (byte + 3 <= r.length) {
        v = uint32_t(r.in[byte]) | uint32_t(r.in[byte + 1]) << 8 | uint32_t(r.in[byte + 2]) << 16;
    } else {
        for (size_t i = 0; i < 3 && byte + i < r.length; i++) v |= uint32_t(r.in[byte + i]) << (8 * i);
    }
    return (v >> (r.bit & 7)) & 0xFFFF;
}

// n bits (at most 16) as a number; false when the input ends first.
bool take(BitReader& r, uint32_t n, uint32_t* value) {
    if (bits_left(r) < n) return false;
    *value = peek16(r) & ((1u << n) - 1);
    r.bit += n;
    return true;
}

// One entry per symbol that has a code, sorted by code: the code left-aligned
// in 16 bits in the high half, the symbol shifted left 4, the code length in
// the low 4 bits. Canonical codes make symbol order within a length, and
// length order across lengths, the order of the codes.
struct Huffman {
    uint32_t entries[LIT_SYMBOLS];
    uint32_t count;
};

int build(Huffman& h, const uint8_t* lengths, uint32_t n) {
    uint32_t per_length[MAX_BITS + 1] = {0};
    for (uint32_t s = 0; s < n; s++) per_length[lengths[s]]++;
    per_length[0] = 0;
    int32_t left = 1;
    for (uint32_t l = 1; l <= MAX_BITS; l++) {
        left = left * 2 - int32_t(per_length[l]);
        if (left < 0) return ZIP_BAD_CODE;
    }
    uint32_t next[MAX_BITS + 1], slot[MAX_BITS + 1];
    uint32_t code = 0, offset = 0;
    for (uint32_t l = 1; l <= MAX_BITS; l++) {
        code = (code + per_length[l - 1]) << 1;
        next[l] = code;
        slot[l] = offset;
        offset += per_length[l];
    }
    h.count = offset;
    // A lone symbol may have an incomplete code; patterns that match nothing
    // are caught when decoding.
    if (left > 0 && h.count > 1) return ZIP_BAD_CODE;
    for (uint32_t s = 0; s < n; s++) {
        uint32_t l = lengths[s];
        if (l) h.entries[slot[l]++] = (next[l]++ << (16 - l)) << 16 | s << 4 | l;
    }
    return ZIP_DONE;
}

int decode(BitReader& r, const Huffman& h, uint32_t* symbol) {
    uint32_t window = reverse16(peek16(r));
    uint32_t lo = 0, hi = h.count;
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        if ((h.entries[mid] >> 16) <= window) lo = mid + 1;
        else hi = mid;
    }
    if (lo == 0) return ZIP_BAD_CODE;  // an empty code
    uint32_t e = h.entries[lo - 1], length = e & 15;
    if (bits_left(r) < length) return ZIP_BAD_DATA;
    if ((e >> 16) >> (16 - length) != window >> (16 - length)) return ZIP_BAD_CODE;
    r.bit += length;
    *symbol = (e >> 4) & 0xFFF;
    return ZIP_DONE;
}

// Bytes past the capacity are counted, not stored.
struct Output {
    uint8_t* out;
    size_t capacity;
    size_t pos;
};

void copy_match(Output& o, size_t distance, size_t length) {
    if (o.pos < o.capacity) {
        size_t n = length < o.capacity - o.pos ? length : o.capacity - o.pos;
        uint8_t* d = o.out + o.pos;
        const uint8_t* s = d - distance;
        for (size_t i = 0; i < n; i++) d[i] = s[i];  // overlapping copies repeat bytes
    }
    o.pos += length;
}

int read_codes(BitReader& r, Output& o, const Huffman& lit, const Huffman& dist) {
    for (;;) {
        uint32_t sym, extra, dsym, dextra;
        if (int rc = decode(r, lit, &sym)) return rc;
        if (sym < 256) {
            if (o.pos < o.capacity) o.out[o.pos] = uint8_t(sym);
            o.pos++;
            continue;
        }
        if (sym == END_OF_BLOCK) return ZIP_DONE;
        sym -= 257;
        if (sym >= 29) return ZIP_BAD_CODE;
        if (!take(r, LENGTH_EXTRA[sym], &extra)) return ZIP_BAD_DATA;
        if (int rc = decode(r, dist, &dsym)) return rc;
        if (dsym >= MAX_DIST_USED) return ZIP_BAD_CODE;
        if (!take(r, DIST_EXTRA[dsym], &dextra)) return ZIP_BAD_DATA;
        size_t distance = size_t(DIST_BASE[dsym]) + dextra;
        if (distance > o.pos) return ZIP_BAD_DISTANCE;
        copy_match(o, distance, size_t(LENGTH_BASE[sym]) + extra);
    }
}

int read_stored(BitReader& r, Output& o) {
    r.bit = (r.bit + 7) & ~size_t(7);
    size_t byte = r.bit >> 3;
    if (r.length - byte < 4) return ZIP_BAD_DATA;
    const uint8_t* p = r.in + byte;
    uint32_t length = uint32_t(p[0]) | uint32_t(p[1]) << 8, check = uint32_t(p[2]) | uint32_t(p[3]) << 8;
    if ((length ^ 0xFFFF) != check || length > r.length - byte - 4) return ZIP_BAD_CODE;
    if (o.pos < o.capacity) {
        size_t n = length < o.capacity - o.pos ? length : o.capacity - o.pos;
        std::memcpy(o.out + o.pos, p + 4, n);
    }
    o.pos += length;
    r.bit += (4 + size_t(length)) * 8;
    return ZIP_DONE;
}

// The fixed codes never change: built once, when the first fixed block
// comes.
struct FixedCodes {
    Huffman lit, dist;
    FixedCodes() {
        uint8_t lengths[LIT_SYMBOLS + DIST_SYMBOLS];
        std::memset(lengths, 8, 144);
        std::memset(lengths + 144, 9, 112);
        std::memset(lengths + 256, 7, 24);
        std::memset(lengths + 280, 8, 8);
        std::memset(lengths + LIT_SYMBOLS, 5, DIST_SYMBOLS);
        build(lit, lengths, LIT_SYMBOLS);
        build(dist, lengths + LIT_SYMBOLS, DIST_SYMBOLS);
    }
};

int read_fixed(BitReader& r, Output& o) {
    static const FixedCodes codes;
    return read_codes(r, o, codes.lit, codes.dist);
}

// The code lengths of a dynamic block, run-length coded with the repeat
// symbols 16 (the previous length 3-6 times), 17 (zero 3-10 times) and 18
// (zero 11-138 times).
int read_lengths(BitReader& r, const Huffman& codes, uint8_t* lengths, uint32_t total) {
    static const uint8_t repeat_bits[3] = {2, 3, 7}, repeat_base[3] = {3, 3, 11};
    uint32_t i = 0;
    while (i < total) {
        uint32_t sym, extra;
        if (int rc = decode(r, codes, &sym)) return rc;
        if (sym < 16) {
            lengths[i++] = uint8_t(sym);
            continue;
        }
        if (sym == 16 && i == 0) return ZIP_BAD_CODE;
        uint8_t value = sym == 16 ? lengths[i - 1] : 0;
        if (!take(r, repeat_bits[sym - 16], &extra)) return ZIP_BAD_DATA;
        uint32_t count = repeat_base[sym - 16] + extra;
        if (count > total - i) return ZIP_BAD_CODE;
        std::memset(lengths + i, value, count);
        i += count;
    }
    return ZIP_DONE;
}

int read_dynamic(BitReader& r, Output& o) {
    uint32_t hlit, hdist, hclen;
    if (!take(r, 5, &hlit) || !take(r, 5, &hdist) || !take(r, 4, &hclen)) return ZIP_BAD_DATA;
    uint32_t nlit = hlit + 257, ndist = hdist + 1;
    if (nlit > MAX_LIT_USED || ndist > MAX_DIST_USED) return ZIP_BAD_CODE;
    uint8_t code_lengths[CODE_SYMBOLS] = {0};
    for (uint32_t i = 0; i < hclen + 4; i++) {
        uint32_t l;
        if (!take(r, 3, &l)) return ZIP_BAD_DATA;
        code_lengths[CODE_LENGTH_ORDER[i]] = uint8_t(l);
    }
    Huffman codes, lit, dist;
    if (int rc = build(codes, code_lengths, CODE_SYMBOLS)) return rc;
    uint8_t lengths[MAX_LIT_USED + MAX_DIST_USED];
    if (int rc = read_lengths(r, codes, lengths, nlit + ndist)) return rc;
    if (lengths[END_OF_BLOCK] == 0) return ZIP_BAD_CODE;  // the block could never end
    if (int rc = build(lit, lengths, nlit)) return rc;
    if (int rc = build(dist, lengths + nlit, ndist)) return rc;
    return read_codes(r, o, lit, dist);
}

using BlockReader = int (*)(BitReader&, Output&);
const BlockReader block_readers[3] = {read_stored, read_fixed, read_dynamic};

}  // namespace

int decompress_counted(uint8_t* out, size_t* length, const uint8_t* in, size_t in_length, size_t* used) {
    BitReader r = {in, in_length, 0};
    Output o = {out, out ? *length : 0, 0};
    uint32_t last = 0;
    while (!last) {
        uint32_t type;
        int rc = take(r, 1, &last) && take(r, 2, &type) ? ZIP_DONE : ZIP_BAD_DATA;
        if (rc == ZIP_DONE) rc = type < 3 ? block_readers[type](r, o) : ZIP_BAD_BLOCK;
        if (rc != ZIP_DONE) {
            *length = o.pos;
            return rc;
        }
    }
    *length = o.pos;
    if (used) *used = (r.bit + 7) / 8;
    return o.pos > o.capacity ? ZIP_NO_ROOM : ZIP_DONE;
}

int decompress(uint8_t* out, size_t* length, const uint8_t* in, size_t in_length) {
    return decompress_counted(out, length, in, in_length, nullptr);
}

}  // namespace inflate
}  // namespace zel
