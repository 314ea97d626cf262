// Zelbin fixed record layout: every field a 32-bit little-endian word, the
// flags of a record in its header word, byte contents padded to words and
// 8-byte numbers aligned, so records can be read without decoding. The record
// grammar itself is in zelbin_layout.h; this file puts and gets its parts.
#include <cstring>

#include "core/raise.h"
#include "core/type_groups.h"
#include "datatypes/date.h"
#include "datatypes/money.h"
#include "datatypes/tuple.h"
#include "io/zelbin_layout.h"

namespace zel {
namespace zelbin {
namespace layout {
namespace {

constexpr uint32_t T_PAD = 0, T_REFERENCE = 255;
// Header word bits.
constexpr uint32_t H_UNIT_SHIFT = 8, H_OP_SHIFT = 16, H_KIND_SHIFT = 26;
constexpr uint32_t H_BY_REFERENCE = 1u << 19, H_NEGATIVE = 1u << 22, H_COMPLEMENT = 1u << 23,
                   H_HANDLERS = 1u << 24, H_GLOBAL = 1u << 25, H_SELF = 1u << 28, H_ON_STACK = 1u << 29,
                   H_VALUES = 1u << 30, H_NEW_LINE = 1u << 31;

void put32(uint32_t w) { zelbin::put32(writer.out, w); }
// Bytes, then zeros to a whole word.
void put_padded(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    writer.out.insert(writer.out.end(), b, b + n);
    writer.out.insert(writer.out.end(), (4 - n % 4) % 4, 0);
}

// Bytes followed by zeros to a whole word.
const uint8_t* take_padded(Reader& r, uint64_t n) { return take(r, (n + 3) & ~uint64_t(3)); }

double get_double(Reader& r) {
    Cell c{};
    c.w3 = get32r(r);
    c.w2 = get32r(r);
    return cell::get_float(&c);
}

Head head_of(uint32_t h) { return Head{h & 0xFF, (h & H_BY_REFERENCE) != 0, h}; }

struct Fixed {
    // ---- writing: h is the header word of the type and its new-line bit

    static uint32_t open(const Cell* v, uint32_t t) { return t | ((v->header & HDR_NEW_LINE) ? H_NEW_LINE : 0); }
    static void field(uint32_t u) { put32(u); }
    static void signed_field(int32_t n) { put32(uint32_t(n)); }
    static void path(const uint32_t* p) {
        put32(T_REFERENCE);
        for (uint32_t i = 0; i <= p[0]; i++) put32(p[i]);
    }
    static void reference(const uint32_t* p) { path(p); }
    static void plain_head(uint32_t h) { put32(h); }
    static void shared_head(uint32_t h) { put32(h | H_BY_REFERENCE); }
    static void object_head(uint32_t h, bool handlers) { put32(h | (handlers ? H_HANDLERS : 0)); }
    static void op_head(uint32_t h, uint32_t wrapped) { put32(h | wrapped << H_OP_SHIFT); }
    static void word_head(uint32_t h, bool by_ref) { put32(h | (by_ref ? H_BY_REFERENCE : 0)); }
    static void global_word(uint32_t h, uint32_t symbol, uint32_t index) {
        put32(h | H_GLOBAL);
        put32(symbol);
        put32(index);
    }
    static void context_head(uint32_t kind, bool on_stack, bool self, bool values) {
        put32(T_CONTEXT | kind << H_KIND_SHIFT | (self ? H_SELF : 0) | (on_stack ? H_ON_STACK : 0) |
              (values ? H_VALUES : 0));
    }
    // Every series but a map or bitset carries its head index.
    static void series_head(const Cell* v, uint32_t t, uint32_t h, bool by_ref) {
        SeriesBuffer* b = node::buffer(cell::series_node(v));
        if (by_ref) h |= H_BY_REFERENCE;
        if (t == T_BITSET && (b->flags & SER_COMPLEMENT)) h |= H_COMPLEMENT;
        if (types::is_any_string(t) || t == T_BINARY || t == T_VECTOR) h |= series::unit(b) << H_UNIT_SHIFT;
        put32(h);
        if (t != T_MAP && t != T_BITSET) put32(cell::series_index(v));
    }
    static void series_bytes(const Cell* v, uint32_t t) {
        SeriesBuffer* b = node::buffer(cell::series_node(v));
        uint32_t count = series::length(b);
        put32(count);
        if (t == T_VECTOR) put32(cell::series_extra(v));
        put_padded(series::head_ptr(b), size_t(count) * series::unit(b));
    }
    static void write_scalar(const Cell* v, uint32_t t, uint32_t h);

    // ---- reading

    static constexpr uint64_t RECORD_MIN = 4;
    static uint32_t get_field(Reader& r) { return get32r(r); }
    static Cell get_reference(Reader& r);
    static void read(Reader& r, const Place& dst);
    static bool read_leaf(Reader&, Cell*) { return false; }
    static Head read_owner_head(Reader& r) { return head_of(get32r(r)); }
    static Head read_part_head(Reader& r) { return head_of(get32r(r)); }
    static uint32_t read_head_index(Reader& r, const Head& h) {
        return (h.type != T_MAP && h.type != T_BITSET) ? get_count<Fixed>(r) : 0;
    }
    static ObjectHead read_object_head(Reader& r, const Head& h);
    static ContextHead read_context(Reader& r, uint32_t kind);
    static void read_word(Reader& r, const Place& dst, const Head& h);
    static void read_series_bytes(Reader& r, const Place& dst, const Head& h, uint32_t head);
    static void read_scalar(Reader& r, const Place& dst, const Head& h);
};

// ---- writing --------------------------------------------------------------------

void Fixed::write_scalar(const Cell* v, uint32_t t, uint32_t h) {
    switch (t) {
    case T_UNSET:
    case T_NONE: return put32(h);
    case T_DATATYPE:
    case T_LOGIC: put32(h); return put32(v->w1);
    case T_CHAR:
    case T_INTEGER:
    case T_ISSUE:
        put32(h);
        return put32(t == T_ISSUE ? symbol_position(v->w2) : v->w2);
    case T_FLOAT:
    case T_PERCENT:
    case T_TIME:
        if (writer.out.size() % 8) put32(T_PAD);
        put32(h);
        put32(v->w3);
        return put32(v->w2);
    case T_PAIR: put32(h); put32(v->w2); return put32(v->w3);
    case T_POINT2D: put32(h); put32(v->w1); return put32(v->w2);
    case T_POINT3D:
    case T_TYPESET: put32(h); put32(v->w1); put32(v->w2); return put32(v->w3);
    case T_DATE: put32(h); put32(v->w1); put32(v->w3); return put32(v->w2);
    case T_TUPLE: put32(h | tuple::count(v) << H_UNIT_SHIFT); put32(v->w1); put32(v->w2); return put32(v->w3);
    case T_MONEY:
        put32(h | (money::sign_flag(v) ? H_NEGATIVE : 0));
        put32(v->w1);
        put32(v->w2);
        return put32(v->w3);
    default: refuse(v);
    }
}

// ---- reading --------------------------------------------------------------------

Cell Fixed::get_reference(Reader& r) {
    if (get32r(r) != T_REFERENCE) corrupt(r);
    uint32_t length = get32r(r);
    if (length < 1 || length > 65536) corrupt(r);
    need(r, uint64_t(length) * 4);
    std::vector<uint32_t> p(length);
    for (uint32_t& i : p) i = get32r(r);
    return resolve(r, p.data(), length);
}

// A context record whose header word h is read already.
ContextHead read_context_head(Reader& r, uint32_t kind, uint32_t h) {
    if ((h & 0xFF) != T_CONTEXT) corrupt(r);
    ContextHead c{(h >> H_KIND_SHIFT) & 3, (h & H_ON_STACK) != 0, (h & H_SELF) != 0, (h & H_VALUES) != 0, {}};
    if (c.kind != kind || c.on_stack != (kind == context::KIND_FUNCTION)) corrupt(r);
    uint32_t n = get_count<Fixed>(r);
    need(r, uint64_t(n) * 4);
    c.symbols.reserve(n);
    for (uint32_t i = 0; i < n; i++) c.symbols.push_back(symbol_at(r, get32r(r)));
    return c;
}

ContextHead Fixed::read_context(Reader& r, uint32_t kind) { return read_context_head(r, kind, get32r(r)); }

// A bare context record is its own context head.
ObjectHead Fixed::read_object_head(Reader& r, const Head& h) {
    if (h.type != T_OBJECT) return ObjectHead{-1, false, read_context_head(r, context::KIND_OBJECT, h.flags)};
    int32_t class_id = int32_t(get32r(r));
    bool handlers = (h.flags & H_HANDLERS) != 0;
    if (handlers) get32r(r), get32r(r);
    return ObjectHead{class_id, handlers, read_context(r, context::KIND_OBJECT)};
}

// Words carry their index even when global; in the boot form the index is the
// root and a global word is a binding record.
void Fixed::read_word(Reader& r, const Place& dst, const Head& h) {
    uint32_t t = h.type;
    uint32_t sym = symbol_at(r, get32r(r));
    if (t == T_ISSUE) return make_global_word(r, dst.at(), t, sym);
    uint32_t index = get32r(r);
    if (!r.codec) {
        bind_boot_word(r, dst, t, sym, index, int32_t(get32r(r)));
        if (!(h.flags & H_GLOBAL)) return;
        Cell value;
        read(r, Place{0, 0, &value});
        return store_binding(r, dst, value);
    }
    if (h.flags & H_GLOBAL) return make_global_word(r, dst.at(), t, sym);
    read_bound_word<Fixed>(r, dst, h, sym, index);
}

void Fixed::read_series_bytes(Reader& r, const Place& dst, const Head& h, uint32_t head) {
    uint32_t t = h.type;
    uint32_t unit = (h.flags >> H_UNIT_SHIFT) & 0xFF;
    uint32_t count = get_count<Fixed>(r);
    check_head(r, head, count);
    if (types::is_any_string(t)) {
        if (unit != 1 && unit != 2 && unit != 4) corrupt(r);
        return place_string(r, dst, t, head, take_padded(r, uint64_t(count) * unit), count, unit);
    }
    if (t == T_VECTOR) {
        uint32_t element_type = get32r(r);
        return place_vector(r, dst, head, element_type, unit, take_padded(r, uint64_t(count) * unit), count);
    }
    if (t == T_BINARY) return place_binary(dst, head, take_padded(r, count), count);
    place_bitset(dst, take_padded(r, count), count, (h.flags & H_COMPLEMENT) != 0);
}

void Fixed::read_scalar(Reader& r, const Place& dst, const Head& h) {
    uint32_t t = h.type;
    Cell c{t, 0, 0, 0};
    switch (t) {
    case T_UNSET:
    case T_NONE: break;
    case T_DATATYPE:
        c.w1 = get32r(r);
        if (c.w1 == 0 || c.w1 >= TYPE_COUNT) corrupt(r);
        break;
    case T_LOGIC:
        c.w1 = get32r(r);
        if (c.w1 > 1) corrupt(r);
        break;
    case T_CHAR:
        c.w2 = get32r(r);
        check_char(r, c.w2);
        break;
    case T_INTEGER: c.w2 = get32r(r); break;
    case T_FLOAT:
    case T_PERCENT:
    case T_TIME: cell::put_float(&c, get_double(r)); break;
    case T_PAIR: c.w2 = get32r(r), c.w3 = get32r(r); break;
    case T_POINT2D: c.w1 = get32r(r), c.w2 = get32r(r); break;
    case T_POINT3D:
    case T_TYPESET:
        c.w1 = get32r(r), c.w2 = get32r(r), c.w3 = get32r(r);
        if (t == T_TYPESET) check_typeset(r, &c);
        break;
    case T_DATE: {
        c.w1 = get32r(r);
        double time = get_double(r);
        bool timed = date::has_time(date::packed(&c));
        check_date(r, date::packed(&c), timed, time);
        cell::put_float(&c, timed ? time : 0.0);
        break;
    }
    case T_TUPLE: {
        uint32_t n = (h.flags >> H_UNIT_SHIFT) & 0xFF;
        if (n < 1 || n > tuple::MAX_BYTES) corrupt(r);
        uint8_t bytes[12];
        std::memcpy(bytes, take(r, 12), 12);
        tuple::init_cell(&c, bytes, n);
        break;
    }
    case T_MONEY: {
        uint8_t bytes[12];
        std::memcpy(bytes, take(r, 12), 12);
        check_money(r, bytes);
        money::init_cell(&c, (h.flags & H_NEGATIVE) != 0, bytes[0], bytes + 1);
        break;
    }
    default: corrupt(r);
    }
    *dst.at() = c;
}

// Padding words go before records; a reference record is only its path.
void Fixed::read(Reader& r, const Place& dst) {
    Nest nest(r);
    uint32_t h;
    while (((h = get32r(r)) & 0xFF) == T_PAD) {}
    if ((h & 0xFF) == T_REFERENCE) {
        r.pos -= 4;
        Cell reached = get_reference(r);
        reached.header &= ~HDR_NEW_LINE;
        *dst.at() = reached;
    } else {
        read_typed<Fixed>(r, dst, head_of(h));
    }
    if (h & H_NEW_LINE) dst.at()->header |= HDR_NEW_LINE;
}

}  // namespace
}  // namespace layout

void write_fixed(const Cell* value) { layout::write<layout::Fixed>(value); }

void read_fixed(Reader& r) {
    if (left(r) < 8) error::raise(Err::script_invalid_data);
    layout::read_payload<layout::Fixed>(r);
}

}  // namespace zelbin
}  // namespace zel
