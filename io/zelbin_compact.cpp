// Zelbin compact record layout: variable-length integers, small integers and
// logic values in the record's first byte, prefix bytes for the new-line mark
// and for records by reference. The record grammar itself is in
// zelbin_layout.h; this file puts and gets its parts.
#include <cmath>
#include <cstring>

#include "core/type_groups.h"
#include "datatypes/date.h"
#include "datatypes/money.h"
#include "datatypes/pair.h"
#include "datatypes/percent.h"
#include "datatypes/tuple.h"
#include "io/zelbin_layout.h"

namespace zel {
namespace zelbin {
namespace layout {
namespace {

enum Prefix : uint8_t { NEW_LINE = 0xC0, BY_REFERENCE = 0xC1, TRUE_BYTE = 0xC2, FALSE_BYTE = 0xC3,
                        BINDING = 0xC4, REFERENCE = 0xFF };
constexpr uint8_t FLAG = 0x40;
constexpr uint32_t CTX_VALUES = 0x10;

void put8(uint32_t b) { writer.out.push_back(uint8_t(b)); }
void put_bytes(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    writer.out.insert(writer.out.end(), b, b + n);
}
void varint(uint32_t v) { zelbin::varint(writer.out, v); }
void zigzag(int32_t n) { varint((uint32_t(n) << 1) ^ uint32_t(n >> 31)); }
void int32(uint32_t w) { put32(writer.out, w); }
void type_byte(uint32_t t, bool flag) {
    if (t <= 62) return put8(t | (flag ? FLAG : 0));
    put8(flag ? 0x7F : 0x3F);
    varint(t);
}

// The short form of a float or time: a 32-bit integer that is exactly the value.
bool short_float(double v, int32_t* n) {
    if (!(v >= -2147483000.0 && v <= 2147483000.0)) return false;
    int32_t i = int32_t(v);
    if (double(i) != v || (i == 0 && std::signbit(v))) return false;
    *n = i;
    return true;
}

// The short form of a percent: hundredths that are exactly the value.
bool short_percent(double v, int32_t* n) {
    if (!(v >= -21474836.0 && v <= 21474836.0)) return false;
    int32_t i = int32_t(v < 0 ? v * 100 - 0.5 : v * 100 + 0.5);
    if (i / 100.0 != v || (i == 0 && std::signbit(v))) return false;
    *n = i;
    return true;
}

uint8_t get8(Reader& r) {
    need(r, 1);
    return *r.pos++;
}

uint32_t get_varint(Reader& r) {
    if (r.pos < r.end && *r.pos < 0x80) return *r.pos++;  // most fields take one byte
    uint32_t v = 0;
    for (int i = 0; i < 5; i++) {
        uint8_t b = get8(r);
        if (i == 4 && (b & 0xF0)) corrupt(r);
        v |= uint32_t(b & 0x7F) << (7 * i);
        if (!(b & 0x80)) return v;
    }
    return v;
}

int32_t get_zigzag(Reader& r) {
    uint32_t v = get_varint(r);
    return int32_t((v >> 1) ^ (0u - (v & 1)));
}

double get_double(Reader& r) {
    Cell c;
    c.w2 = get32r(r);
    c.w3 = get32r(r);
    return cell::get_float(&c);
}

// A head written in one byte, without the long type form.
Head byte_head(uint8_t b, bool by_ref) { return Head{uint32_t(b & ~FLAG), by_ref, b}; }

struct Compact {
    // ---- writing: h is the record's type; its new-line prefix is out already

    static uint32_t open(const Cell* v, uint32_t t) {
        if (v->header & HDR_NEW_LINE) put8(NEW_LINE);
        return t;
    }
    static void field(uint32_t u) { varint(u); }
    static void signed_field(int32_t n) { zigzag(n); }
    static void path(const uint32_t* p) {
        for (uint32_t i = 0; i <= p[0]; i++) varint(p[i]);
    }
    static void reference(const uint32_t* p) {
        put8(REFERENCE);
        path(p);
    }
    static void plain_head(uint32_t h) { type_byte(h, false); }
    static void shared_head(uint32_t h) {
        put8(BY_REFERENCE);
        type_byte(h, false);
    }
    static void object_head(uint32_t h, bool handlers) { type_byte(h, handlers); }
    static void op_head(uint32_t h, uint32_t) { type_byte(h, false); }
    // The flag marks a bound word.
    static void word_head(uint32_t h, bool by_ref) {
        if (by_ref) put8(BY_REFERENCE);
        type_byte(h, true);
    }
    static void global_word(uint32_t h, uint32_t symbol, uint32_t) {
        type_byte(h, false);
        varint(symbol);
    }
    static void context_head(uint32_t kind, bool on_stack, bool self, bool values) {
        put8(T_CONTEXT);
        put8(kind | (on_stack ? 4 : 0) | (self ? 8 : 0) | (values ? CTX_VALUES : 0));
    }
    // The flag marks a head index (and is the complement of a bitset).
    static void series_head(const Cell* v, uint32_t t, uint32_t, bool by_ref) {
        if (by_ref) put8(BY_REFERENCE);
        bool has_head = cell::series_index(v) != 0 && t != T_MAP && t != T_BITSET;
        type_byte(t, t == T_BITSET ? (node::buffer(cell::series_node(v))->flags & SER_COMPLEMENT) != 0 : has_head);
        if (has_head) varint(cell::series_index(v));
    }
    static void series_bytes(const Cell* v, uint32_t t);
    static void write_scalar(const Cell* v, uint32_t t, uint32_t h);

    // ---- reading

    static constexpr uint64_t RECORD_MIN = 1;
    static uint32_t get_field(Reader& r) { return get_varint(r); }
    static Cell get_reference(Reader& r);
    static void read(Reader& r, const Place& dst);
    static bool read_leaf(Reader& r, Cell* cell);
    static Head read_owner_head(Reader& r) { return byte_head(get8(r), false); }
    static Head read_part_head(Reader& r);
    static uint32_t read_head_index(Reader& r, const Head& h) {
        bool has_head = (h.flags & FLAG) && h.type != T_MAP && h.type != T_BITSET;
        return has_head ? get_count<Compact>(r) : 0;
    }
    static ObjectHead read_object_head(Reader& r, const Head& h);
    static ContextHead read_context(Reader& r, uint32_t kind);
    static void read_word(Reader& r, const Place& dst, const Head& h);
    static void read_series_bytes(Reader& r, const Place& dst, const Head& h, uint32_t head);
    static void read_scalar(Reader& r, const Place& dst, const Head& h);
};

// ---- writing --------------------------------------------------------------------

void Compact::series_bytes(const Cell* v, uint32_t t) {
    SeriesBuffer* b = node::buffer(cell::series_node(v));
    uint32_t count = series::length(b), u = unit_log2(series::unit(b));
    if (t == T_VECTOR) {
        put8((cell::series_extra(v) << 2) | u);
        varint(count);
        return put_bytes(series::head_ptr(b), size_t(count) << u);
    }
    if (types::is_any_string(t)) {
        varint((count << 2) | u);
        return put_bytes(series::head_ptr(b), size_t(count) << u);
    }
    varint(count);
    put_bytes(series::head_ptr(b), count);
}

void write_number(const Cell* v, uint32_t t) {
    double d = cell::get_float(v);
    int32_t n;
    bool is_short = t == T_PERCENT ? short_percent(d, &n) : short_float(d, &n);
    type_byte(t, is_short);
    if (is_short) return zigzag(n);
    int32(v->w2);
    int32(v->w3);
}

void Compact::write_scalar(const Cell* v, uint32_t t, uint32_t) {
    switch (t) {
    case T_DATATYPE: type_byte(t, false); return varint(cell::datatype_id(v));
    case T_UNSET:
    case T_NONE: return type_byte(t, false);
    case T_LOGIC: return put8(cell::get_logic(v) ? TRUE_BYTE : FALSE_BYTE);
    case T_CHAR: type_byte(t, false); return varint(cell::get_char(v));
    case T_INTEGER: {
        int32_t n = cell::get_int(v);
        if (n >= 0 && n <= 63) return put8(0x80 + n);
        type_byte(t, false);
        return zigzag(n);
    }
    case T_FLOAT:
    case T_TIME:
    case T_PERCENT: return write_number(v, t);
    case T_PAIR: type_byte(t, false); zigzag(pair::x_of(v)); return zigzag(pair::y_of(v));
    case T_POINT3D: type_byte(t, false); int32(v->w1); int32(v->w2); return int32(v->w3);
    case T_POINT2D: type_byte(t, false); int32(v->w1); return int32(v->w2);
    case T_DATE: {
        bool timed = date::has_time(date::packed(v));
        type_byte(t, timed);
        int32(v->w1);
        if (timed) int32(v->w2), int32(v->w3);
        return;
    }
    case T_TYPESET: {
        uint8_t bytes[12];
        std::memcpy(bytes, &v->w1, 12);
        uint32_t n = 12;
        while (n && !bytes[n - 1]) n--;
        type_byte(t, false);
        put8(n);
        return put_bytes(bytes, n);
    }
    case T_TUPLE: {
        uint32_t n = tuple::count(v);
        type_byte(t, n != 3);
        if (n != 3) put8(n);
        return put_bytes(tuple::bytes(v), n);
    }
    case T_MONEY: type_byte(t, money::sign_flag(v)); return put_bytes(&v->w1, 12);
    case T_ISSUE: type_byte(t, false); return varint(symbol_position(cell::word_symbol(v)));
    default: refuse(v);
    }
}

// ---- reading --------------------------------------------------------------------

Cell Compact::get_reference(Reader& r) {
    uint32_t length = get_varint(r);
    if (length < 1 || length > 65536 || length > left(r)) corrupt(r);
    std::vector<uint32_t> p(length);
    for (uint32_t& i : p) i = get_varint(r);
    return resolve(r, p.data(), length);
}

// A context record: its flags and words; kind and storage must suit the owner.
ContextHead read_context_head(Reader& r, uint32_t kind, bool type_read) {
    if (!type_read && get8(r) != T_CONTEXT) corrupt(r);
    uint32_t flags = get8(r);
    uint32_t n = get_count<Compact>(r);
    need(r, n);
    ContextHead h{flags & 3, (flags & 4) != 0, (flags & 8) != 0, (flags & CTX_VALUES) != 0, {}};
    if (h.kind != kind || h.on_stack != (kind == context::KIND_FUNCTION)) corrupt(r);
    h.symbols.reserve(n);
    for (uint32_t i = 0; i < n; i++) h.symbols.push_back(symbol_at(r, get_varint(r)));
    return h;
}

ContextHead Compact::read_context(Reader& r, uint32_t kind) { return read_context_head(r, kind, false); }

// A bare context record has neither class id nor handlers.
ObjectHead Compact::read_object_head(Reader& r, const Head& h) {
    bool type_read = h.type == T_CONTEXT;
    bool handlers = !type_read && (h.flags & FLAG);
    int32_t class_id = type_read ? -1 : get_zigzag(r);
    if (handlers) get_zigzag(r), get_zigzag(r);
    return ObjectHead{class_id, handlers, read_context_head(r, context::KIND_OBJECT, type_read)};
}

Head Compact::read_part_head(Reader& r) {
    bool by_ref = false;
    uint8_t b;
    while ((b = get8(r)) == NEW_LINE || b == BY_REFERENCE) by_ref |= b == BY_REFERENCE;
    return byte_head(b, by_ref);
}

// The flag marks a bound word; the boot form gives its root and index.
void Compact::read_word(Reader& r, const Place& dst, const Head& h) {
    uint32_t sym = symbol_at(r, get_varint(r));
    if (!(h.flags & FLAG) || h.type == T_ISSUE) return make_global_word(r, dst.at(), h.type, sym);
    if (!r.codec) {
        uint32_t root = get_varint(r);
        return bind_boot_word(r, dst, h.type, sym, root, get_zigzag(r));
    }
    read_bound_word<Compact>(r, dst, h, sym, uint32_t(get_zigzag(r)));
}

void Compact::read_series_bytes(Reader& r, const Place& dst, const Head& h, uint32_t head) {
    uint32_t t = h.type;
    if (t == T_VECTOR) {
        uint8_t form = get8(r);
        uint32_t count = get_count<Compact>(r), width = 1u << (form & 3);
        check_head(r, head, count);
        const uint8_t* bytes = take(r, uint64_t(count) * width);
        return place_vector(r, dst, head, form >> 2, width, bytes, count);
    }
    if (types::is_any_string(t)) {
        uint32_t v = get_varint(r), u = v & 3, count = v >> 2;
        if (u == 3) corrupt(r);
        check_head(r, head, count);
        const uint8_t* bytes = take(r, uint64_t(count) << u);
        return place_string(r, dst, t, head, bytes, count, 1u << u);
    }
    uint32_t count = get_count<Compact>(r);
    check_head(r, head, count);
    if (t == T_BINARY) return place_binary(dst, head, take(r, count), count);
    place_bitset(dst, take(r, count), count, (h.flags & FLAG) != 0);
}

void Compact::read_scalar(Reader& r, const Place& dst, const Head& h) {
    uint32_t t = h.type;
    bool flag = (h.flags & FLAG) != 0;
    Cell c{t, 0, 0, 0};
    switch (t) {
    case T_DATATYPE:
        c.w1 = get_varint(r);
        if (c.w1 == 0 || c.w1 >= TYPE_COUNT) corrupt(r);
        break;
    case T_UNSET:
    case T_NONE: break;
    case T_CHAR:
        c.w2 = get_varint(r);
        check_char(r, c.w2);
        break;
    case T_INTEGER: c.w2 = uint32_t(get_zigzag(r)); break;
    case T_FLOAT:
    case T_TIME: cell::put_float(&c, flag ? double(get_zigzag(r)) : get_double(r)); break;
    case T_PERCENT: cell::put_float(&c, flag ? get_zigzag(r) / 100.0 : get_double(r)); break;
    case T_PAIR: c.w2 = uint32_t(get_zigzag(r)), c.w3 = uint32_t(get_zigzag(r)); break;
    case T_POINT3D: c.w1 = get32r(r), c.w2 = get32r(r), c.w3 = get32r(r); break;
    case T_POINT2D: c.w1 = get32r(r), c.w2 = get32r(r); break;
    case T_DATE: {
        c.w1 = get32r(r);
        bool timed = date::has_time(date::packed(&c));
        if (timed != flag) corrupt(r);
        double time = timed ? get_double(r) : 0.0;
        check_date(r, date::packed(&c), timed, time);
        cell::put_float(&c, time);
        break;
    }
    case T_TYPESET: {
        uint32_t n = get8(r);
        if (n > 12) corrupt(r);
        std::memcpy(&c.w1, take(r, n), n);
        check_typeset(r, &c);
        break;
    }
    case T_TUPLE: {
        uint32_t n = flag ? get8(r) : 3;
        if (n < 1 || n > tuple::MAX_BYTES) corrupt(r);
        tuple::init_cell(&c, take(r, n), n);
        break;
    }
    case T_MONEY: {
        const uint8_t* bytes = take(r, 12);
        check_money(r, bytes);
        money::init_cell(&c, flag, bytes[0], bytes + 1);
        break;
    }
    default: corrupt(r);
    }
    *dst.at() = c;
}

// The type of a first byte below 0x80; 0x3F (with or without the flag) is
// followed by the type as a varint.
Head typed_head(Reader& r, uint8_t first, bool by_ref) {
    uint32_t t = first & 0x3F;
    if (t == 0x3F) t = get_varint(r);
    return Head{t, by_ref, first};
}

// A word of the global context, most of the records of code (a type byte
// without flag, then the symbol's position), or a small integer (one byte),
// after no prefix or the new-line one alone (the first value of each line of
// code). Read as the general path reads it, with its checks, in the loop of
// the block that holds it.
inline bool Compact::read_leaf(Reader& r, Cell* cell) {
    if (r.depth >= MAX_DEPTH) return false;
    const uint8_t* p = r.pos;
    bool line = p < r.end && *p == NEW_LINE;
    p += line;
    if (p == r.end) return false;
    uint8_t b = *p;
    if (b < FLAG && types::is_symbolic(b)) {
        r.pos = p + 1;
        uint32_t sym = symbol_at(r, get_varint(r));
        make_global_word(r, cell, b, sym);
    } else if (b >= 0x80 && b < NEW_LINE) {
        r.pos = p + 1;
        cell::make_integer(cell, b - 0x80);
    } else {
        return false;
    }
    if (line) cell->header |= HDR_NEW_LINE;
    return true;
}

void Compact::read(Reader& r, const Place& dst) {
    Nest nest(r);
    bool line = false, by_ref = false, binding = false;
    uint8_t b;
    for (;;) {
        b = get8(r);
        if (b == NEW_LINE) line = true;
        else if (b == BY_REFERENCE) by_ref = true;
        else if (b == BINDING && !r.codec) binding = true;
        else break;
    }
    if (binding) {
        if (b >= 0x80 || (b & 0x3F) < T_WORD || (b & 0x3F) > T_ISSUE) corrupt(r);
        read_typed<Compact>(r, dst, typed_head(r, b, by_ref));
        Cell value;
        read(r, Place{0, 0, &value});
        return store_binding(r, dst, value);
    }
    if (b < 0x80) {
        read_typed<Compact>(r, dst, typed_head(r, b, by_ref));
    } else if (by_ref) {
        corrupt(r);
    } else if (b < NEW_LINE) {
        cell::make_integer(dst.at(), b - 0x80);
    } else if (b == TRUE_BYTE || b == FALSE_BYTE) {
        cell::make_logic(dst.at(), b == TRUE_BYTE);
    } else if (b == REFERENCE) {
        Cell reached = get_reference(r);
        reached.header &= ~HDR_NEW_LINE;
        *dst.at() = reached;
    } else {
        corrupt(r);
    }
    if (line) dst.at()->header |= HDR_NEW_LINE;
}

}  // namespace
}  // namespace layout

void write_compact(const Cell* value) { layout::write<layout::Compact>(value); }

// The binding's value leaves the target block as it is read, so nothing can
// refer into it: the paths recorded while writing it are dropped again (the
// boot writer writes every binding before the first value, so no other path
// is lost).
void write_compact_binding(const Cell* word, const Cell* value) {
    uint32_t position = writer.current;
    writer.out.push_back(layout::BINDING);
    layout::write<layout::Compact>(word);
    layout::write<layout::Compact>(value);
    writer.current = position;
    writer.refs.clear();
    writer.store.clear();
}

void read_compact(Reader& r) { layout::read_payload<layout::Compact>(r); }

}  // namespace zelbin
}  // namespace zel
