#include "platform/digest.h"

#include <bit>
#include <cstring>

namespace zel {
namespace platform {

namespace {

using std::rotl;
using std::rotr;

uint32_t load_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint32_t load_be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
uint64_t load_be64(const uint8_t* p) { return uint64_t(load_be32(p)) << 32 | load_be32(p + 4); }

void store_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}
void store_be32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (24 - 8 * i));
}
void store_be64(uint8_t* p, uint64_t v) {
    store_be32(p, uint32_t(v >> 32));
    store_be32(p + 4, uint32_t(v));
}
void store_le64(uint8_t* p, uint64_t v) {
    store_le32(p, uint32_t(v));
    store_le32(p + 4, uint32_t(v >> 32));
}

// ---- MD5 ----------------------------------------------------------------------

// floor(|sin(i + 1)| * 2^32)
const uint32_t md5_sines[64] = {
    0xd76aa478u, 0xe8c7b756u, 0x242070dbu, 0xc1bdceeeu, 0xf57c0fafu, 0x4787c62au, 0xa8304613u, 0xfd469501u,
    0x698098d8u, 0x8b44f7afu, 0xffff5bb1u, 0x895cd7beu, 0x6b901122u, 0xfd987193u, 0xa679438eu, 0x49b40821u,
    0xf61e2562u, 0xc040b340u, 0x265e5a51u, 0xe9b6c7aau, 0xd62f105du, 0x02441453u, 0xd8a1e681u, 0xe7d3fbc8u,
    0x21e1cde6u, 0xc33707d6u, 0xf4d50d87u, 0x455a14edu, 0xa9e3e905u, 0xfcefa3f8u, 0x676f02d9u, 0x8d2a4c8au,
    0xfffa3942u, 0x8771f681u, 0x6d9d6122u, 0xfde5380cu, 0xa4beea44u, 0x4bdecfa9u, 0xf6bb4b60u, 0xbebfbc70u,
    0x289b7ec6u, 0xeaa127fau, 0xd4ef3085u, 0x04881d05u, 0xd9d4d039u, 0xe6db99e5u, 0x1fa27cf8u, 0xc4ac5665u,
    0xf4292244u, 0x432aff97u, 0xab9423a7u, 0xfc93a039u, 0x655b59c3u, 0x8f0ccc92u, 0xffeff47du, 0x85845dd1u,
    0x6fa87e4fu, 0xfe2ce6e0u, 0xa3014314u, 0x4e0811a1u, 0xf7537e82u, 0xbd3af235u, 0x2ad7d2bbu, 0xeb86d391u,
};

// Per round, the rotations of its four steps and how the message word of
// step i is chosen: word (start + stride * i) mod 16.
struct Md5Round {
    uint8_t rotations[4];
    uint8_t start, stride;
};
const Md5Round md5_rounds[4] = {
    {{7, 12, 17, 22}, 0, 1},
    {{5, 9, 14, 20}, 1, 5},
    {{4, 11, 16, 23}, 5, 3},
    {{6, 10, 15, 21}, 0, 7},
};

uint32_t md5_mix(int round, uint32_t b, uint32_t c, uint32_t d) {
    switch (round) {
    case 0: return (b & c) | (~b & d);
    case 1: return (d & b) | (~d & c);
    case 2: return b ^ c ^ d;
    default: return c ^ (b | ~d);
    }
}

void md5_compress(DigestState* s, const uint8_t* p) {
    uint32_t x[16];
    for (int i = 0; i < 16; i++) x[i] = load_le32(p + 4 * i);
    uint32_t a = s->h32[0], b = s->h32[1], c = s->h32[2], d = s->h32[3];
    for (int i = 0; i < 64; i++) {
        int round = i >> 4;
        const Md5Round& r = md5_rounds[round];
        uint32_t f = a + md5_mix(round, b, c, d) + md5_sines[i] + x[(r.start + r.stride * i) & 15];
        a = d;
        d = c;
        c = b;
        b += rotl(f, r.rotations[i & 3]);
    }
    s->h32[0] += a;
    s->h32[1] += b;
    s->h32[2] += c;
    s->h32[3] += d;
}

// ---- SHA-1 --------------------------------------------------------------------

void sha1_compress(DigestState* s, const uint8_t* p) {
    static const uint32_t constants[4] = {0x5a827999u, 0x6ed9eba1u, 0x8f1bbcdcu, 0xca62c1d6u};
    uint32_t w[80];
    for (int t = 0; t < 16; t++) w[t] = load_be32(p + 4 * t);
    for (int t = 16; t < 80; t++) w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    uint32_t a = s->h32[0], b = s->h32[1], c = s->h32[2], d = s->h32[3], e = s->h32[4];
    for (int t = 0; t < 80; t++) {
        int stage = t / 20;
        uint32_t f = stage == 0 ? (b & c) | (~b & d) : stage == 2 ? (b & c) | (b & d) | (c & d) : b ^ c ^ d;
        uint32_t next = rotl(a, 5) + f + e + constants[stage] + w[t];
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = next;
    }
    s->h32[0] += a;
    s->h32[1] += b;
    s->h32[2] += c;
    s->h32[3] += d;
    s->h32[4] += e;
}

// ---- SHA-256 ------------------------------------------------------------------

// The first 32 bits of the fractional parts of the cube roots of the first
// 64 primes.
const uint32_t sha256_k[64] = {
    0x428a2f98u, 0x71374491u, 0xb5c0fbcfu, 0xe9b5dba5u, 0x3956c25bu, 0x59f111f1u, 0x923f82a4u, 0xab1c5ed5u,
    0xd807aa98u, 0x12835b01u, 0x243185beu, 0x550c7dc3u, 0x72be5d74u, 0x80deb1feu, 0x9bdc06a7u, 0xc19bf174u,
    0xe49b69c1u, 0xefbe4786u, 0x0fc19dc6u, 0x240ca1ccu, 0x2de92c6fu, 0x4a7484aau, 0x5cb0a9dcu, 0x76f988dau,
    0x983e5152u, 0xa831c66du, 0xb00327c8u, 0xbf597fc7u, 0xc6e00bf3u, 0xd5a79147u, 0x06ca6351u, 0x14292967u,
    0x27b70a85u, 0x2e1b2138u, 0x4d2c6dfcu, 0x53380d13u, 0x650a7354u, 0x766a0abbu, 0x81c2c92eu, 0x92722c85u,
    0xa2bfe8a1u, 0xa81a664bu, 0xc24b8b70u, 0xc76c51a3u, 0xd192e819u, 0xd6990624u, 0xf40e3585u, 0x106aa070u,
    0x19a4c116u, 0x1e376c08u, 0x2748774cu, 0x34b0bcb5u, 0x391c0cb3u, 0x4ed8aa4au, 0x5b9cca4fu, 0x682e6ff3u,
    0x748f82eeu, 0x78a5636fu, 0x84c87814u, 0x8cc70208u, 0x90befffau, 0xa4506cebu, 0xbef9a3f7u, 0xc67178f2u,
};

void sha256_compress(DigestState* s, const uint8_t* p) {
    uint32_t w[64];
    for (int t = 0; t < 16; t++) w[t] = load_be32(p + 4 * t);
    for (int t = 16; t < 64; t++) {
        uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
        uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint32_t v[8];
    std::memcpy(v, s->h32, sizeof v);
    for (int t = 0; t < 64; t++) {
        uint32_t a = v[0], e = v[4];
        uint32_t choose = (e & v[5]) ^ (~e & v[6]);
        uint32_t t1 = v[7] + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + choose + sha256_k[t] + w[t];
        uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & v[1]) ^ (a & v[2]) ^ (v[1] & v[2]));
        std::memmove(v + 1, v, 7 * sizeof v[0]);
        v[4] += t1;
        v[0] = t1 + t2;
    }
    for (int i = 0; i < 8; i++) s->h32[i] += v[i];
}

// ---- SHA-384 and SHA-512 ------------------------------------------------------

// The first 64 bits of the fractional parts of the cube roots of the first
// 80 primes.
const uint64_t sha512_k[80] = {
    0x428a2f98d728ae22ull, 0x7137449123ef65cdull, 0xb5c0fbcfec4d3b2full, 0xe9b5dba58189dbbcull,
    0x3956c25bf348b538ull, 0x59f111f1b605d019ull, 0x923f82a4af194f9bull, 0xab1c5ed5da6d8118ull,
    0xd807aa98a3030242ull, 0x12835b0145706fbeull, 0x243185be4ee4b28cull, 0x550c7dc3d5ffb4e2ull,
    0x72be5d74f27b896full, 0x80deb1fe3b1696b1ull, 0x9bdc06a725c71235ull, 0xc19bf174cf692694ull,
    0xe49b69c19ef14ad2ull, 0xefbe4786384f25e3ull, 0x0fc19dc68b8cd5b5ull, 0x240ca1cc77ac9c65ull,
    0x2de92c6f592b0275ull, 0x4a7484aa6ea6e483ull, 0x5cb0a9dcbd41fbd4ull, 0x76f988da831153b5ull,
    0x983e5152ee66dfabull, 0xa831c66d2db43210ull, 0xb00327c898fb213full, 0xbf597fc7beef0ee4ull,
    0xc6e00bf33da88fc2ull, 0xd5a79147930aa725ull, 0x06ca6351e003826full, 0x142929670a0e6e70ull,
    0x27b70a8546d22ffcull, 0x2e1b21385c26c926ull, 0x4d2c6dfc5ac42aedull, 0x53380d139d95b3dfull,
    0x650a73548baf63deull, 0x766a0abb3c77b2a8ull, 0x81c2c92e47edaee6ull, 0x92722c851482353bull,
    0xa2bfe8a14cf10364ull, 0xa81a664bbc423001ull, 0xc24b8b70d0f89791ull, 0xc76c51a30654be30ull,
    0xd192e819d6ef5218ull, 0xd69906245565a910ull, 0xf40e35855771202aull, 0x106aa07032bbd1b8ull,
    0x19a4c116b8d2d0c8ull, 0x1e376c085141ab53ull, 0x2748774cdf8eeb99ull, 0x34b0bcb5e19b48a8ull,
    0x391c0cb3c5c95a63ull, 0x4ed8aa4ae3418acbull, 0x5b9cca4f7763e373ull, 0x682e6ff3d6b2b8a3ull,
    0x748f82ee5defb2fcull, 0x78a5636f43172f60ull, 0x84c87814a1f0ab72ull, 0x8cc702081a6439ecull,
    0x90befffa23631e28ull, 0xa4506cebde82bde9ull, 0xbef9a3f7b2c67915ull, 0xc67178f2e372532bull,
    0xca273eceea26619cull, 0xd186b8c721c0c207ull, 0xeada7dd6cde0eb1eull, 0xf57d4f7fee6ed178ull,
    0x06f067aa72176fbaull, 0x0a637dc5a2c898a6ull, 0x113f9804bef90daeull, 0x1b710b35131c471bull,
    0x28db77f523047d84ull, 0x32caab7b40c72493ull, 0x3c9ebe0a15c9bebcull, 0x431d67c49c100d4cull,
    0x4cc5d4becb3e42b6ull, 0x597f299cfc657e2aull, 0x5fcb6fab3ad6faecull, 0x6c44198c4a475817ull,
};

void sha512_compress(DigestState* s, const uint8_t* p) {
    uint64_t w[80];
    for (int t = 0; t < 16; t++) w[t] = load_be64(p + 8 * t);
    for (int t = 16; t < 80; t++) {
        uint64_t s0 = rotr(w[t - 15], 1) ^ rotr(w[t - 15], 8) ^ (w[t - 15] >> 7);
        uint64_t s1 = rotr(w[t - 2], 19) ^ rotr(w[t - 2], 61) ^ (w[t - 2] >> 6);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint64_t v[8];
    std::memcpy(v, s->h64, sizeof v);
    for (int t = 0; t < 80; t++) {
        uint64_t a = v[0], e = v[4];
        uint64_t choose = (e & v[5]) ^ (~e & v[6]);
        uint64_t t1 = v[7] + (rotr(e, 14) ^ rotr(e, 18) ^ rotr(e, 41)) + choose + sha512_k[t] + w[t];
        uint64_t t2 = (rotr(a, 28) ^ rotr(a, 34) ^ rotr(a, 39)) + ((a & v[1]) ^ (a & v[2]) ^ (v[1] & v[2]));
        std::memmove(v + 1, v, 7 * sizeof v[0]);
        v[4] += t1;
        v[0] = t1 + t2;
    }
    for (int i = 0; i < 8; i++) s->h64[i] += v[i];
}

// ---- the algorithms -----------------------------------------------------------

// Initial chaining values. SHA-256 and SHA-512 take the fractional parts of
// the square roots of the first 8 primes, SHA-384 those of the next 8.
const uint32_t md5_start[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
const uint32_t sha1_start[5] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u, 0xc3d2e1f0u};
const uint32_t sha256_start[8] = {0x6a09e667u, 0xbb67ae85u, 0x3c6ef372u, 0xa54ff53au,
                                  0x510e527fu, 0x9b05688cu, 0x1f83d9abu, 0x5be0cd19u};
const uint64_t sha384_start[8] = {0xcbbb9d5dc1059ed8ull, 0x629a292a367cd507ull, 0x9159015a3070dd17ull,
                                  0x152fecd8f70e5939ull, 0x67332667ffc00b31ull, 0x8eb44a8768581511ull,
                                  0xdb0c2e0d64f98fa7ull, 0x47b5481dbefa4fa4ull};
const uint64_t sha512_start[8] = {0x6a09e667f3bcc908ull, 0xbb67ae8584caa73bull, 0x3c6ef372fe94f82bull,
                                  0xa54ff53a5f1d36f1ull, 0x510e527fade682d1ull, 0x9b05688c2b3e6c1full,
                                  0x1f83d9abfb41bd6bull, 0x5be0cd19137e2179ull};

// The 128-byte blocks go with 64-bit words and a 16-byte length field, the
// 64-byte blocks with 32-bit words and an 8-byte one. Only MD5 is little-endian.
struct Algorithm {
    uint32_t digest_size, block_size;
    bool little_endian;
    const uint32_t* start32;
    const uint64_t* start64;
    uint32_t start_words;
    void (*compress)(DigestState*, const uint8_t*);
};

const Algorithm algorithms[DIGEST_KINDS] = {
    {16, 64, true, md5_start, nullptr, 4, md5_compress},
    {20, 64, false, sha1_start, nullptr, 5, sha1_compress},
    {32, 64, false, sha256_start, nullptr, 8, sha256_compress},
    {48, 128, false, nullptr, sha384_start, 8, sha512_compress},
    {64, 128, false, nullptr, sha512_start, 8, sha512_compress},
};

// The message length in bits closes the last block.
void put_length(const Algorithm& a, DigestState* s) {
    uint8_t* end = s->block + a.block_size;
    uint64_t bits = s->total << 3;
    if (a.little_endian) {
        store_le64(end - 8, bits);
        return;
    }
    if (a.block_size == 128) store_be64(end - 16, s->total >> 61);
    store_be64(end - 8, bits);
}

void put_result(const Algorithm& a, const DigestState* s, uint8_t* out) {
    if (a.block_size == 128) {
        for (uint32_t i = 0; i < a.digest_size / 8; i++) store_be64(out + 8 * i, s->h64[i]);
        return;
    }
    for (uint32_t i = 0; i < a.digest_size / 4; i++) {
        if (a.little_endian) store_le32(out + 4 * i, s->h32[i]);
        else store_be32(out + 4 * i, s->h32[i]);
    }
}

}  // namespace

uint32_t digest_size(DigestKind kind) { return algorithms[kind].digest_size; }
uint32_t digest_block_size(DigestKind kind) { return algorithms[kind].block_size; }

void digest_begin(DigestState* s, DigestKind kind) {
    const Algorithm& a = algorithms[kind];
    s->kind = kind;
    s->filled = 0;
    s->total = 0;
    if (a.start32) std::memcpy(s->h32, a.start32, a.start_words * sizeof(uint32_t));
    else std::memcpy(s->h64, a.start64, a.start_words * sizeof(uint64_t));
}

void digest_feed(DigestState* s, const uint8_t* bytes, size_t length) {
    if (length == 0) return;
    const Algorithm& a = algorithms[s->kind];
    s->total += length;
    if (s->filled > 0) {
        size_t take = a.block_size - s->filled < length ? a.block_size - s->filled : length;
        std::memcpy(s->block + s->filled, bytes, take);
        s->filled += uint32_t(take);
        bytes += take;
        length -= take;
        if (s->filled < a.block_size) return;
        a.compress(s, s->block);
        s->filled = 0;
    }
    for (; length >= a.block_size; bytes += a.block_size, length -= a.block_size) a.compress(s, bytes);
    if (length > 0) std::memcpy(s->block, bytes, length);
    s->filled = uint32_t(length);
}

// A one bit, zeros, and the length; a second block when the length no
// longer fits after the one bit.
void digest_end(DigestState* s, uint8_t* out) {
    const Algorithm& a = algorithms[s->kind];
    uint32_t length_at = a.block_size - a.block_size / 8;
    s->block[s->filled++] = 0x80;
    if (s->filled > length_at) {
        std::memset(s->block + s->filled, 0, a.block_size - s->filled);
        a.compress(s, s->block);
        s->filled = 0;
    }
    std::memset(s->block + s->filled, 0, length_at - s->filled);
    put_length(a, s);
    a.compress(s, s->block);
    put_result(a, s, out);
}

void digest(DigestKind kind, const uint8_t* bytes, size_t length, uint8_t* out) {
    DigestState s;
    digest_begin(&s, kind);
    digest_feed(&s, bytes, length);
    digest_end(&s, out);
}

}  // namespace platform
}  // namespace zel
