// Base-2, base-16, base-58 and base-64 text of bytes: the encoders behind
// enbase and the decoders behind debase and `to binary!` of an issue!.
#include "datatypes/base_codecs.h"

#include <cstring>

#include "kernel/memory.h"
#include "kernel/runtime.h"
#include "kernel/unicode.h"

namespace zel {
namespace binary {

namespace {

constexpr char BASE64_ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char BASE58_ALPHABET[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr char HEX_DIGITS[] = "0123456789ABCDEF";

// Backspace, tab, line feed, form feed, carriage return, space, apostrophe.
constexpr bool is_blank(uint32_t c) {
    return c == 8 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32 || c == 39;
}

// A digit table over codes 0-127: the digit's value, BLANK, or INVALID.
struct DigitTable {
    uint8_t v[128];
};

constexpr DigitTable digit_table(const char* alphabet, uint32_t size) {
    DigitTable t{};
    for (uint32_t c = 0; c < 128; c++) t.v[c] = is_blank(c) ? BASE64_BLANK : BASE64_INVALID;
    for (uint32_t i = 0; i < size; i++) t.v[uint8_t(alphabet[i])] = uint8_t(i);
    return t;
}

constexpr DigitTable BASE64_TABLE = [] {
    DigitTable t = digit_table(BASE64_ALPHABET, 64);
    t.v[uint8_t('=')] = 0;
    return t;
}();
constexpr DigitTable BASE58_TABLE = digit_table(BASE58_ALPHABET, 58);

constexpr uint8_t hex_value(uint32_t c) { return uint8_t(ascii::hex_digit(c)); }  // 0xFF: no digit

// The characters of a text with the ";" comments taken out: next() answers
// the next character outside a comment, or -1 at the end (a comment that runs
// to the end of the text ends it).
struct Reader {
    const uint8_t* p;
    const uint8_t* end;
    uint32_t unit;

    int64_t next() {
        while (p < end) {
            uint32_t c = string::get_char(p, unit);
            p += unit;
            if (c != ';') return c;
            while (p < end && string::get_char(p, unit) != '\n') p += unit;
        }
        return -1;
    }
};

// A new binary of room bytes; the decoders write its data and set its tail.
struct Out {
    Node node;
    uint8_t* data;
    uint32_t size = 0;
    explicit Out(uint32_t room) : node(series::new_bytes(room)), data(series::data(node::buffer(node))) {}
    void put(uint8_t b) { data[size++] = b; }
    Node done() {
        node::buffer(node)->tail = size;
        return node;
    }
};

// A work area in the tracked heap, freed on every path.
struct Work {
    uint8_t* p;
    explicit Work(size_t n) : p(static_cast<uint8_t*>(heap::alloc(n ? n : 1))) {}
    ~Work() { heap::free(p); }
    Work(const Work&) = delete;
    Work& operator=(const Work&) = delete;
};

}  // namespace

const uint8_t (&base64_digits)[128] = BASE64_TABLE.v;

// ---- base 2 -------------------------------------------------------------------

uint8_t* encode_base2(uint8_t* dest, const uint8_t* source, uint32_t count) {
    for (uint32_t i = 0; i < count; i++) {
        for (int bit = 7; bit >= 0; bit--) *dest++ = (source[i] >> bit) & 1 ? '1' : '0';
    }
    return dest;
}

Node decode_base2(const uint8_t* text, uint32_t length, uint32_t unit) {
    Reader r{text, text + size_t(length) * unit, unit};
    Out out(length / 8);
    uint32_t acc = 0, bits = 0;
    for (int64_t c; (c = r.next()) >= 0;) {
        if (c <= ' ') continue;
        if (c != '0' && c != '1') return 0;
        acc = (acc << 1) | uint32_t(c - '0');
        if (++bits == 8) {
            out.put(uint8_t(acc));
            acc = bits = 0;
        }
    }
    return bits ? 0 : out.done();
}

// ---- base 16 ------------------------------------------------------------------

uint8_t* encode_base16(uint8_t* dest, const uint8_t* source, uint32_t count) {
    for (uint32_t i = 0; i < count; i++) {
        *dest++ = uint8_t(HEX_DIGITS[source[i] >> 4]);
        *dest++ = uint8_t(HEX_DIGITS[source[i] & 15]);
    }
    return dest;
}

// A character above 127 is no digit (not its low seven bits).
Node decode_base16(const uint8_t* text, uint32_t length, uint32_t unit) {
    Reader r{text, text + size_t(length) * unit, unit};
    Out out(length / 2);
    int high = -1;
    for (int64_t c; (c = r.next()) >= 0;) {
        if (c <= ' ') continue;
        uint8_t v = hex_value(uint32_t(c));
        if (v > 15) return 0;
        if (high < 0) {
            high = v;
        } else {
            out.put(uint8_t(high << 4 | v));
            high = -1;
        }
    }
    return out.done();
}

// ---- base 64 ------------------------------------------------------------------

uint8_t* encode_base64(uint8_t* dest, const uint8_t* source, uint32_t count) {
    uint32_t i = 0;
    for (; i + 3 <= count; i += 3) {
        uint32_t g = uint32_t(source[i]) << 16 | uint32_t(source[i + 1]) << 8 | source[i + 2];
        for (int k = 18; k >= 0; k -= 6) *dest++ = uint8_t(BASE64_ALPHABET[(g >> k) & 63]);
    }
    if (i < count) {
        uint32_t rest = count - i;
        uint32_t g = uint32_t(source[i]) << 16 | (rest == 2 ? uint32_t(source[i + 1]) << 8 : 0);
        *dest++ = uint8_t(BASE64_ALPHABET[g >> 18]);
        *dest++ = uint8_t(BASE64_ALPHABET[(g >> 12) & 63]);
        *dest++ = rest == 2 ? uint8_t(BASE64_ALPHABET[(g >> 6) & 63]) : '=';
        *dest++ = '=';
    }
    return dest;
}

// Characters above 127 are not valid base-64 text.
Node decode_base64(const uint8_t* text, uint32_t length, uint32_t unit) {
    Reader r{text, text + size_t(length) * unit, unit};
    Out out(uint32_t((uint64_t(length) + 3) * 3 / 4));
    uint32_t acc = 0, digits = 0;
    for (int64_t c; (c = r.next()) >= 0;) {
        uint8_t v = c < 128 ? BASE64_TABLE.v[c] : BASE64_INVALID;
        if (v == BASE64_INVALID) return 0;
        if (v == BASE64_BLANK) continue;
        if (c == '=') {
            if (digits < 2) return 0;
            if (digits == 3) {
                out.put(uint8_t(acc >> 10));
                out.put(uint8_t(acc >> 2));
            } else {
                out.put(uint8_t(acc >> 4));
            }
            return out.done();
        }
        acc = acc << 6 | v;
        if (++digits == 4) {
            out.put(uint8_t(acc >> 16));
            out.put(uint8_t(acc >> 8));
            out.put(uint8_t(acc));
            acc = digits = 0;
        }
    }
    return out.done();
}

// ---- base 58 ------------------------------------------------------------------
// The text is a big-endian number in base 58, with one "1" per leading zero
// byte; both directions divide the number held in a work area by the other
// base, digit by digit (time proportional to the square of the length).

namespace {

// The big-endian number in digits[first, count) of base from, rewritten in
// base to: each pass divides it in place by to and writes the remainder
// before out. Answers where the new digits start, the most significant first.
uint8_t* rebase(uint8_t* digits, uint32_t first, uint32_t count, uint32_t from, uint32_t to, uint8_t* out) {
    while (first < count) {
        uint32_t carry = 0;
        for (uint32_t i = first; i < count; i++) {
            carry = carry * from + digits[i];
            digits[i] = uint8_t(carry / to);
            carry %= to;
        }
        *--out = uint8_t(carry);
        while (first < count && digits[first] == 0) first++;
    }
    return out;
}

}  // namespace

uint8_t* encode_base58(uint8_t* dest, const uint8_t* source, uint32_t count) {
    Work number(count);
    if (count) std::memcpy(number.p, source, count);
    uint32_t zeros = 0;
    while (zeros < count && number.p[zeros] == 0) zeros++;
    uint8_t* room_end = dest + base58_size(count);
    uint8_t* digits = rebase(number.p, zeros, count, 256, 58, room_end);
    while (digits < room_end && *digits == 0) digits++;
    for (uint8_t* d = digits; d < room_end; d++) *d = uint8_t(BASE58_ALPHABET[*d]);
    std::memset(dest, '1', zeros);
    size_t n = size_t(room_end - digits);
    std::memmove(dest + zeros, digits, n);
    return dest + zeros + n;
}

// A character above 127 ends the text.
Node decode_base58(const uint8_t* text, uint32_t length, uint32_t unit) {
    Reader r{text, text + size_t(length) * unit, unit};
    Work digits(length);
    uint32_t n = 0;
    for (int64_t c; (c = r.next()) >= 0 && c < 128;) {
        uint8_t v = BASE58_TABLE.v[c];
        if (v == BASE64_INVALID) return 0;
        if (v != BASE64_BLANK) digits.p[n++] = v;
    }
    uint32_t zeros = 0;
    while (zeros < n && digits.p[zeros] == 0) zeros++;
    Work bytes(n);
    uint8_t* bytes_end = bytes.p + n;
    uint8_t* produced = rebase(digits.p, zeros, n, 58, 256, bytes_end);
    while (produced < bytes_end && *produced == 0) produced++;
    uint32_t size = uint32_t(bytes_end - produced);
    Out out(zeros + size);
    for (uint32_t i = 0; i < zeros; i++) out.put(0);
    std::memcpy(out.data + out.size, produced, size);
    out.size += size;
    return out.done();
}

}  // namespace binary
}  // namespace zel
