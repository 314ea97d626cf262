// Unicode conversion between UTF-8 / UTF-16 text and strings of 1-, 2- or
// 4-byte units.
#include "kernel/unicode.h"

#include <algorithm>
#include <cstring>

#include "kernel/fail.h"

namespace zel {
namespace utf8 {

namespace {

constexpr int32_t BAD = -2;    // a malformed sequence
constexpr int32_t SHORT = -1;  // the bytes end inside a sequence

// Smallest value of a sequence of n bytes: anything below is an overlong form.
constexpr uint32_t min_value[5] = {0, 0, 0x80, 0x800, 0x10000};
constexpr uint8_t lead_mask[5] = {0, 0, 0x1F, 0x0F, 0x07};

[[noreturn]] void too_large() { fail::raise("script", "invalid-char"); }

// One character at p with left bytes: the code point, BAD or SHORT. *size is
// the bytes taken (1 for a malformed lead, the bytes checked otherwise).
int32_t decode(const uint8_t* p, size_t left, uint32_t* size) {
    *size = 1;
    if (p[0] < 0x80) return p[0];
    int n = sequence_length(p[0]);
    if (n == 0) return BAD;
    uint32_t cp = p[0] & lead_mask[n];
    for (int i = 1; i < n; i++) {
        if (size_t(i) >= left) return SHORT;
        if ((p[i] & 0xC0) != 0x80) return BAD;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    *size = uint32_t(n);
    if (cp < min_value[n] || cp > MAX_CODE_POINT || (cp >= 0xD800 && cp <= 0xDFFF)) return BAD;
    return int32_t(cp);
}

}  // namespace

int sequence_length(uint8_t lead) {
    if (lead < 0xC0) return 0;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    return lead < 0xF8 ? 4 : 0;
}

const uint8_t* decode_char(const uint8_t* p, const uint8_t* end, int32_t* cp) {
    uint32_t size;
    int32_t c = decode(p, size_t(end - p), &size);
    *cp = c < 0 ? -1 : c;
    if (c == SHORT) return p;
    return c == BAD ? p + 1 : p + size;
}

const uint8_t* skip(const uint8_t* start, const uint8_t* end, uint32_t count) {
    const uint8_t* p = start;
    for (; count > 0 && p < end; count--) {
        int32_t cp;
        const uint8_t* next = decode_char(p, end, &cp);
        p = next == p ? end : next;  // a cut sequence is the last character
    }
    return p;
}

uint32_t length(const uint8_t* start, const uint8_t* end) {
    uint32_t n = 0;
    for (const uint8_t* p = start; p < end; n++) p = skip(p, end, 1);
    return n;
}

int32_t decode_checked(const uint8_t* p, size_t left, uint32_t* size) {
    int32_t cp = decode(p, left, size);
    if (cp == BAD) fail::raise("access", "invalid-utf8");
    return cp;
}

uint32_t encoded_size(uint32_t cp) {
    if (cp < 0x80) return 1;
    if (cp < 0x800) return 2;
    if (cp < 0x10000) return 3;
    if (cp > MAX_CODE_POINT) too_large();
    return 4;
}

uint32_t encode_char(uint32_t cp, uint8_t* out) {
    uint32_t n = encoded_size(cp);
    static const uint8_t lead_bits[5] = {0, 0, 0xC0, 0xE0, 0xF0};
    if (n == 1) {
        out[0] = uint8_t(cp);
        return 1;
    }
    for (uint32_t i = n - 1; i > 0; i--) {
        out[i] = uint8_t(0x80 | (cp & 0x3F));
        cp >>= 6;
    }
    out[0] = uint8_t(lead_bits[n] | cp);
    return n;
}

size_t size_of_units(const uint8_t* start, const uint8_t* end, uint32_t unit) {
    size_t bytes = 0;
    for (const uint8_t* p = start; p < end; p += unit) bytes += encoded_size(string::get_char(p, unit));
    return bytes;
}

}  // namespace utf8

// The characters of a string value from its index: at most max of them.
namespace {

struct Text {
    const uint8_t* start;
    uint32_t count;
    uint32_t unit;
    const uint8_t* end() const { return start + size_t(count) * unit; }
};

Text text_of(const Cell* str, uint32_t max) {
    SeriesBuffer* b = node::buffer(cell::series_node(str));
    uint32_t len = series::length(b);
    uint32_t index = std::min(uint32_t(cell::series_index(str)), len);
    uint32_t unit = series::unit(b);
    return {series::head_ptr(b) + size_t(index) * unit, std::min(max, len - index), unit};
}

size_t write_text(const Text& t, uint8_t* out, size_t limit) {
    size_t n = 0;
    uint8_t one[4];
    for (const uint8_t* p = t.start; p < t.end(); p += t.unit) {
        uint32_t size = utf8::encode_char(string::get_char(p, t.unit), one);
        if (n + size > limit) break;
        std::memcpy(out + n, one, size);
        n += size;
    }
    return n;
}

Node utf8_copy(const Text& t, uint32_t* bytes) {
    size_t size = utf8::size_of_units(t.start, t.end(), t.unit);
    if (size >= 0xFFFFFFF0u) fail::internal("no-memory");
    // Allocation never moves another buffer, so t stays good.
    Node n = series::new_bytes(uint32_t(size) + 1);
    SeriesBuffer* b = node::buffer(n);
    write_text(t, series::raw_bytes(b), size);
    series::raw_bytes(b)[size] = 0;
    b->tail = b->head + uint32_t(size);
    if (bytes) *bytes = uint32_t(size);
    return n;
}

Node utf16_copy(const Text& t, uint32_t* units) {
    size_t count = 0;
    for (const uint8_t* p = t.start; p < t.end(); p += t.unit)
        count += string::get_char(p, t.unit) > 0xFFFF ? 2 : 1;
    if (count >= 0x7FFFFFF0u) fail::internal("no-memory");
    Node n = series::new_units(uint32_t(count) + 1, 2);
    SeriesBuffer* b = node::buffer(n);
    uint8_t* out = series::raw_bytes(b);
    for (const uint8_t* p = t.start; p < t.end(); p += t.unit) {
        uint16_t pair[2];
        uint32_t k = utf16::encode_char(string::get_char(p, t.unit), pair);
        std::memcpy(out, pair, k * 2);
        out += k * 2;
    }
    std::memset(out, 0, 2);
    b->tail = b->head + uint32_t(count) * 2;
    if (units) *units = uint32_t(count);
    return n;
}

}  // namespace

namespace utf8 {

Node from_string(const Cell* str, uint32_t* bytes) { return utf8_copy(text_of(str, UINT32_MAX), bytes); }

Node from_string_part(const Cell* str, uint32_t count, uint32_t* bytes) {
    return utf8_copy(text_of(str, count), bytes);
}

std::string text(const Cell* str, uint32_t count) {
    Text t = text_of(str, count);
    std::string out(utf8::size_of_units(t.start, t.end(), t.unit), '\0');
    write_text(t, reinterpret_cast<uint8_t*>(out.data()), out.size());
    return out;
}

size_t write_string_part(const Cell* str, uint32_t count, uint8_t* out, size_t limit) {
    return write_text(text_of(str, count), out, limit);
}

}  // namespace utf8

namespace utf16 {

uint32_t encode_char(uint32_t cp, uint16_t* out) {
    if (cp < 0x10000) {
        out[0] = uint16_t(cp);
        return 1;
    }
    out[0] = uint16_t(0xD800 + ((cp - 0x10000) >> 10));
    out[1] = uint16_t(0xDC00 + (cp & 0x3FF));
    return 2;
}

Node from_string(const Cell* str, uint32_t* units) { return utf16_copy(text_of(str, UINT32_MAX), units); }

Node from_string_part(const Cell* str, uint32_t count, uint32_t* units) {
    return utf16_copy(text_of(str, count), units);
}

}  // namespace utf16

namespace string {

namespace {

// The unit that holds a code point.
uint32_t unit_for(uint32_t cp) { return cp > 0xFFFF ? 4 : cp > 0xFF ? 2 : 1; }

// Grows the buffer so that extra more units of its unit size fit after the tail.
SeriesBuffer* make_room(SeriesBuffer* b, uint64_t extra) {
    uint64_t need = uint64_t(b->tail) + extra * series::unit(b);
    if (need <= b->size) return b;
    uint64_t used = b->tail - b->head;
    uint64_t size = used + extra * series::unit(b);  // the new buffer starts at offset 0
    if (size > 0xFFFFFFF0u) fail::internal("no-memory");
    return series::expand(b, uint32_t(size));
}

// Rewrites every unit as a wider one. Working from the last unit down never
// overwrites a unit before it is read, since each lands at or after its old place.
SeriesBuffer* widen(SeriesBuffer* b, uint32_t to) {
    uint32_t from = series::unit(b);
    uint32_t len = series::length(b);
    uint64_t need = uint64_t(len) * to;
    if (b->head + need > b->size) {
        if (need > 0xFFFFFFF0u) fail::internal("no-memory");
        b = series::expand(b, uint32_t(need));
    }
    uint8_t* base = series::raw_bytes(b);
    for (uint32_t i = len; i-- > 0;) put_char(base + size_t(i) * to, to, get_char(base + size_t(i) * from, from));
    b->flags = (b->flags & ~SER_UNIT_MASK) | to;
    b->tail = b->head + uint32_t(need);
    return b;
}

// Walks the input with a decoder (which answers the next character and moves p,
// or -1 at the end) and hands each character to emit, after the line-end rule:
// CR LF gives one LF, a lone CR gives LF.
template <class Next, class Emit>
void walk(const uint8_t* p, const uint8_t* end, bool line_end, Next next, Emit emit) {
    bool after_cr = false;
    for (int32_t cp; (cp = next(p, end)) >= 0;) {
        if (after_cr && cp == '\n') {
            after_cr = false;
            continue;
        }
        after_cr = line_end && cp == '\r';
        emit(after_cr ? uint32_t('\n') : uint32_t(cp));
    }
}

// Decodes twice: the first pass checks the whole input, counts the characters
// and finds the widest, so a failure changes nothing and the target is widened
// and grown once; the second pass stores.
template <class Next>
Node store(const uint8_t* p, const uint8_t* end, Node target, uint32_t* produced, bool line_end, Next next) {
    uint32_t count = 0, max = 0;
    walk(p, end, line_end, next, [&](uint32_t cp) {
        count++;
        max = std::max(max, cp);
    });
    Node n = target ? target : series::new_units(count, unit_for(max));
    SeriesBuffer* b = node::buffer(n);
    if (unit_for(max) > series::unit(b)) b = widen(b, unit_for(max));
    b = make_room(b, count);
    uint32_t unit = series::unit(b);
    uint8_t* out = series::tail_ptr(b);
    walk(p, end, line_end, next, [&](uint32_t cp) {
        put_char(out, unit, cp);
        out += unit;
    });
    b->tail = uint32_t(out - series::data(b));
    if (produced) *produced = count;
    return n;
}

int32_t next_utf8(const uint8_t*& p, const uint8_t* end) {
    if (p >= end) return -1;
    uint32_t size;
    int32_t cp = utf8::decode_checked(p, size_t(end - p), &size);
    if (cp < 0) fail::raise("access", "invalid-utf8");  // cut short at the end
    p += size;
    return cp;
}

uint32_t unit16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }

// An unpaired surrogate or a lone last byte is a replacement character; a high
// surrogate leaves the unit after it to be read again when they do not pair.
int32_t next_utf16(const uint8_t*& p, const uint8_t* end) {
    size_t left = size_t(end - p);
    if (left == 0) return -1;
    if (left == 1) {
        p++;
        return utf8::REPLACEMENT;
    }
    uint32_t u = unit16(p);
    p += 2;
    if (u < 0xD800 || u > 0xDFFF) return int32_t(u);
    if (u >= 0xDC00 || end - p < 2) return utf8::REPLACEMENT;
    uint32_t low = unit16(p);
    if (low < 0xDC00 || low > 0xDFFF) return utf8::REPLACEMENT;
    p += 2;
    return int32_t(0x10000 + ((u & 0x3FF) << 10 | (low & 0x3FF)));
}

}  // namespace

SeriesBuffer* widen_to_ucs2(SeriesBuffer* b) { return widen(b, 2); }
SeriesBuffer* widen_to_ucs4(SeriesBuffer* b) { return widen(b, 4); }
SeriesBuffer* widen_ucs2_to_ucs4(SeriesBuffer* b) { return widen(b, 4); }

Node from_utf8(const uint8_t* src, uint32_t len, Node target, uint32_t* produced, bool line_end) {
    static const uint8_t bom[3] = {0xEF, 0xBB, 0xBF};
    const uint8_t* p = src;
    if (len >= 3 && std::memcmp(src, bom, 3) == 0) p += 3;
    return store(p, src + len, target, produced, line_end, next_utf8);
}

void from_utf8_into(const Cell* str, const uint8_t* src, uint32_t len, bool line_end) {
    from_utf8(src, len, cell::series_node(str), nullptr, line_end);
}

Node from_utf8_new(const uint8_t* src, uint32_t len, bool line_end) {
    return from_utf8(src, len, 0, nullptr, line_end);
}

Node from_utf8_exact(const uint8_t* src, uint32_t len) { return store(src, src + len, 0, nullptr, false, next_utf8); }

Node load_utf16(const uint8_t* src, uint32_t len, Node target, bool line_end) {
    return store(src, src + len, target, nullptr, line_end, next_utf16);
}

size_t write_utf8(const Cell* str, uint8_t* out, size_t limit) {
    return utf8::write_string_part(str, UINT32_MAX, out, limit);
}

}  // namespace string
}  // namespace zel
