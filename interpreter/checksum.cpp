#include "interpreter/checksum.h"

#include <cstring>

#include "core/murmur.h"
#include "core/raise.h"
#include "core/symbol.h"
#include "kernel/output.h"
#include "platform/digest.h"
#include "platform/random_bytes.h"

namespace zel {
namespace checksum {

namespace {

const char* const method_names[METHODS] = {"tcp", "md5", "sha1", "crc32", "adler32",
                                           "sha256", "sha384", "sha512", "hash"};
const Code method_codes[METHODS] = {C_TCP, C_MD5, C_SHA1, C_CRC32, C_NONE, C_SHA256, C_SHA384, C_SHA512, C_NONE};
uint32_t method_symbols[METHODS];  // canonical ids

bool is_digest(int32_t code) { return code >= C_MD5 && code <= C_SHA512; }
// The digest kinds follow the codes in order.
platform::DigestKind kind_of(int32_t code) { return platform::DigestKind(code - C_MD5); }

void say(const char* text) { output::print_latin1_line(text, uint32_t(std::strlen(text))); }

// The digest service failed (out of memory, or the algorithm refused by the
// library's configuration): no digest is better than a wrong one.
void check(bool done) {
    if (!done) error::raise(Err::internal_feature_na);
}

// The table of the reflected polynomial, built on first use.
struct CrcTable {
    uint32_t entries[256];
    CrcTable() {
        for (uint32_t n = 0; n < 256; n++) {
            uint32_t c = n;
            for (int k = 0; k < 8; k++) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[n] = c;
        }
    }
};

}  // namespace

void init() {
    for (uint32_t m = 0; m < METHODS; m++) method_symbols[m] = symbol::resolve(symbol::intern(method_names[m]));
}

Method method_of(uint32_t symbol) {
    uint32_t s = symbol::resolve(symbol);
    uint32_t m = 0;
    while (m < METHODS && method_symbols[m] != s) m++;
    return Method(m);
}

Code method_code(Method m) { return method_codes[m]; }

uint32_t digest_size(int32_t code) { return is_digest(code) ? platform::digest_size(kind_of(code)) : 0; }

uint32_t crc32(const uint8_t* bytes, uint32_t length) {
    static const CrcTable table;
    uint32_t c = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < length; i++) c = table.entries[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// The sums are reduced after chunks of at most 3,854 bytes, the longest run
// after which s2 still stays below 2^31 from a reduced start.
uint32_t adler32(const uint8_t* bytes, uint32_t length) {
    constexpr uint32_t MOD = 65521, CHUNK = 3854;
    uint32_t s1 = 1, s2 = 0;
    while (length > 0) {
        uint32_t n = length < CHUNK ? length : CHUNK;
        length -= n;
        for (uint32_t i = 0; i < n; i++) {
            s1 += bytes[i];
            s2 += s1;
        }
        bytes += n;
        s1 %= MOD;
        s2 %= MOD;
    }
    return s2 << 16 | s1;
}

// A 64-bit sum cannot lose a carry however long the data, so the folds give
// the ones' complement sum of any input.
uint32_t tcp(const uint8_t* bytes, uint32_t length) {
    uint64_t sum = 0;
    uint32_t i = 0;
    for (; i + 1 < length; i += 2) sum += uint32_t(bytes[i]) << 8 | bytes[i + 1];
    if (i < length) sum += bytes[i];
    while (sum >> 16) sum = (sum >> 16) + (sum & 0xFFFF);
    return ~uint32_t(sum) & 0xFFFF;
}

Digest digest(const uint8_t* bytes, uint32_t length, int32_t code) {
    if (!is_digest(code)) {
        Cell c;
        cell::make_integer(&c, code);
        error::raise(Err::script_invalid_arg, &c);
    }
    Digest d;
    d.size = digest_size(code);
    check(platform::digest(kind_of(code), bytes, length, d.bytes));
    return d;
}

// The pads go through the digest ahead of the data and the inner digest, so
// nothing is joined in a buffer of its own.
Digest hmac(const uint8_t* data, uint32_t length, const uint8_t* key, uint32_t key_length, Method m) {
    Digest out{};
    int32_t code = method_code(m);
    if (!is_digest(code)) {
        say("The selected algorithm doesn't support HMAC calculation");
        return out;
    }
    platform::DigestKind kind = kind_of(code);
    uint32_t block = platform::digest_block_size(kind);
    uint8_t k[platform::DIGEST_MAX_BLOCK] = {};
    if (key_length > block) check(platform::digest(kind, key, key_length, k));
    else if (key_length > 0) std::memcpy(k, key, key_length);
    uint8_t pad[platform::DIGEST_MAX_BLOCK], inner[platform::DIGEST_MAX_SIZE];
    platform::DigestState s;
    for (uint32_t i = 0; i < block; i++) pad[i] = k[i] ^ 0x36;
    platform::digest_begin(&s, kind);
    platform::digest_feed(&s, pad, block);
    platform::digest_feed(&s, data, length);
    check(platform::digest_end(&s, inner));
    for (uint32_t i = 0; i < block; i++) pad[i] = k[i] ^ 0x5C;
    out.size = platform::digest_size(kind);
    platform::digest_begin(&s, kind);
    platform::digest_feed(&s, pad, block);
    platform::digest_feed(&s, inner, out.size);
    check(platform::digest_end(&s, out.bytes));
    return out;
}

uint32_t table_hash(const uint8_t* bytes, uint32_t length, uint32_t size) {
    uint32_t h = hash::murmur3(bytes, int32_t(length));
    return size > 0 ? h % size : h;
}

}  // namespace checksum

namespace crypto {

bool gen_random(uint8_t* buffer, uint32_t length) { return platform::secure_random(buffer, length); }

}  // namespace crypto
}  // namespace zel
