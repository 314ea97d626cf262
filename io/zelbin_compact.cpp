// Zelbin compact record layout: variable-length integers, small integers and
// logic values in the record's first byte, prefix bytes for the new-line mark
// and for records by reference.
#include <cmath>
#include <cstring>

#include "core/context.h"
#include "core/function.h"
#include "core/native.h"
#include "core/symbol.h"
#include "datatypes/date.h"
#include "datatypes/error.h"
#include "datatypes/money.h"
#include "datatypes/pair.h"
#include "datatypes/percent.h"
#include "datatypes/tuple.h"
#include "io/zelbin_internal.h"

namespace zel {
namespace zelbin {

namespace {

enum Prefix : uint8_t { NEW_LINE = 0xC0, BY_REFERENCE = 0xC1, TRUE_BYTE = 0xC2, FALSE_BYTE = 0xC3,
                        BINDING = 0xC4, REFERENCE = 0xFF };
constexpr uint8_t FLAG = 0x40;
constexpr uint32_t CTX_VALUES = 0x10;

// ---- writing --------------------------------------------------------------------

void put8(uint32_t b) { writer.out.push_back(uint8_t(b)); }
void put_bytes(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    writer.out.insert(writer.out.end(), b, b + n);
}
void varint(uint32_t v) {
    for (; v >= 0x80; v >>= 7) put8((v & 0x7F) | 0x80);
    put8(v);
}
void zigzag(int32_t n) { varint((uint32_t(n) << 1) ^ uint32_t(n >> 31)); }
void int32(uint32_t w) {
    for (int i = 0; i < 32; i += 8) put8(w >> i);
}
void type_byte(uint32_t t, bool flag) {
    if (t <= 62) return put8(t | (flag ? FLAG : 0));
    put8(flag ? 0x7F : 0x3F);
    varint(t);
}
void path(const uint32_t* p) {
    for (uint32_t i = 0; i <= p[0]; i++) varint(p[i]);
}

void write(const Cell* v);

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

void write_number(const Cell* v, uint32_t t) {
    double d = cell::get_float(v);
    int32_t n;
    bool is_short = t == T_PERCENT ? short_percent(d, &n) : short_float(d, &n);
    type_byte(t, is_short);
    if (is_short) return zigzag(n);
    int32(v->w2);
    int32(v->w3);
}

void write_values(Node n) {
    for (uint32_t i = 0; i < series::length(node::buffer(n)); i++) {
        Cell c = series::cells(node::buffer(n))[i];
        write(&c);
    }
}

void write_context(Node ctx) {
    const Cell* cc = context::cell_of(ctx);
    bool on_stack = context::is_on_stack(cc);
    uint32_t n = context::word_count(cc);
    bool values = false;
    for (uint32_t i = 0; !on_stack && i < n; i++) values |= cell::type(context::value_at(ctx, int32_t(i))) != T_UNSET;
    put8(T_CONTEXT);
    put8(context::kind_of(cc) | (on_stack ? 4 : 0) | ((cc->header & HDR_SELF) ? 8 : 0) | (values ? CTX_VALUES : 0));
    varint(n);
    for (uint32_t i = 0; i < n; i++) varint(symbol_position(context::word_at(context::cell_of(ctx), int32_t(i))->w2));
    for (uint32_t i = 0; values && i < n; i++) {
        Cell c = *context::value_at(ctx, int32_t(i));
        write(&c);
    }
}

void write_object_body(const Cell* o) {
    type_byte(T_OBJECT, o->w3 != 0);
    zigzag(int32_t(o->w2));
    if (o->w3) {
        for (uint32_t i = 0; i < 2; i++) zigzag(int32_t(series::cells(node::buffer(o->w3))[i].w2));
    }
    write_context(o->w1);
}

void write_function_body(const Cell* fn) {
    Cell body = function::extra(fn)[function::EXTRA_BODY];
    if (cell::type(&body) != T_BLOCK) refuse(fn);
    Cell spec{T_BLOCK, 0, fn->w2, 0};
    type_byte(T_FUNCTION, false);
    varint(series::length(node::buffer(spec.w2)));
    varint(series::length(node::buffer(body.w2)));
    write_context(fn->w1);
    writer.current = 0;
    write(&spec);
    write(&body);
}

// A value written once and referred to by path afterwards: answers its path
// when it was written before (the by-reference prefix is then out and the
// path is due after the record's small fields), else null.
const uint32_t* shared(Node n) {
    const uint32_t* ref = find_reference(n);
    if (ref) put8(BY_REFERENCE);
    return ref;
}

void write_word(const Cell* w, uint32_t t) {
    uint32_t sym = symbol_position(w->w2);
    if (is_global_word(w)) {
        type_byte(t, false);
        return varint(sym);
    }
    const uint32_t* ref = shared(w->w1);
    type_byte(t, true);
    varint(sym);
    zigzag(int32_t(w->w3));
    if (ref) return path(ref);
    enter(w->w1);
    Cell owner = *word_owner(w);
    if (cell::type(&owner) == T_OBJECT) write_object_body(&owner);
    else write_function_body(&owner);
    leave();
}

void write_series(const Cell* v, uint32_t t) {
    Node n = v->w2;
    const uint32_t* ref = shared(n);
    bool has_head = v->w1 != 0 && t != T_MAP && t != T_BITSET;
    type_byte(t, t == T_BITSET ? (node::buffer(n)->flags & SER_COMPLEMENT) != 0 : has_head);
    if (has_head) varint(v->w1);
    if (ref) return path(ref);
    enter(n);
    SeriesBuffer* b = node::buffer(n);
    uint32_t count = series::length(b), u = unit_log2(series::unit(b));
    switch (t) {
    case T_MAP: {
        uint32_t live = 0;
        for (uint32_t i = 1; i < count; i += 2) live += is_live_pair(series::cells(node::buffer(n)) + i);
        varint(2 * live);
        for (uint32_t i = 0; i + 1 < count; i += 2) {
            Cell key = series::cells(node::buffer(n))[i], value = series::cells(node::buffer(n))[i + 1];
            if (!is_live_pair(&value)) continue;
            write(&key);
            write(&value);
        }
        break;
    }
    case T_BINARY:
    case T_BITSET:
        varint(count);
        put_bytes(series::head_ptr(b), count);
        break;
    case T_VECTOR:
        put8((v->w3 << 2) | u);
        varint(count);
        put_bytes(series::head_ptr(b), size_t(count) << u);
        break;
    default:
        if (is_string_family(t)) {
            varint((count << 2) | u);
            put_bytes(series::head_ptr(b), size_t(count) << u);
        } else {
            varint(count);
            write_values(n);
        }
    }
    leave();
}

void write_error(const Cell* v) {
    // An error that holds itself is a plain reference to where it was written.
    if (const uint32_t* ref = find_reference(v->w1)) {
        put8(REFERENCE);
        return path(ref);
    }
    enter(v->w1);
    type_byte(T_ERROR, false);
    varint(uint32_t(cell::get_int(error::field(v, error::FIELD_CODE))));
    for (uint32_t i = 0; i < 6; i++) {
        Cell field = *error::field(v, error::FIELD_ARG1 + i);
        write(&field);
    }
    leave();
}

void write_callable(const Cell* v, uint32_t t) {
    if (t == T_OP) {
        uint32_t wrapped = op::wrapped_type(v);
        if (wrapped == T_ROUTINE) refuse(v);
        type_byte(T_OP, false);
        Cell inner = *v;
        inner.header = (v->header & ~(HDR_TYPE_MASK | HDR_OP_TYPE_MASK | HDR_NEW_LINE)) | wrapped;
        write(&inner);
    } else {
        type_byte(t, false);
        varint(v->w1);
        Cell spec{T_BLOCK, 0, v->w2, 0};
        write(&spec);
    }
    writer.current--;  // the inner record is no position of its own
}

void write_scalar(const Cell* v, uint32_t t) {
    switch (t) {
    case T_DATATYPE: type_byte(t, false); return varint(v->w1);
    case T_UNSET:
    case T_NONE: return type_byte(t, false);
    case T_LOGIC: return put8(v->w1 ? TRUE_BYTE : FALSE_BYTE);
    case T_CHAR: type_byte(t, false); return varint(v->w2);
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
        bool timed = date::has_time(v->w1);
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
    case T_ISSUE: type_byte(t, false); return varint(symbol_position(v->w2));
    default: refuse(v);
    }
}

void write(const Cell* v) {
    uint32_t t = cell::type(v);
    if (v->header & HDR_NEW_LINE) put8(NEW_LINE);
    if (t >= T_WORD && t <= T_REFINEMENT) {
        write_word(v, t);
    } else if (is_block_family(t) || is_string_family(t) || t == T_HASH || t == T_MAP || t == T_BINARY ||
               t == T_VECTOR || t == T_BITSET) {
        write_series(v, t);
    } else if (t == T_OBJECT || t == T_FUNCTION) {
        if (const uint32_t* ref = shared(v->w1)) {
            type_byte(t, false);
            path(ref);
        } else {
            enter(v->w1);
            if (t == T_OBJECT) write_object_body(v);
            else write_function_body(v);
            leave();
        }
    } else if (t == T_ERROR) {
        write_error(v);
    } else if (t == T_NATIVE || t == T_ACTION || t == T_OP) {
        write_callable(v, t);
    } else {
        write_scalar(v, t);
    }
    writer.current++;
}

// ---- reading --------------------------------------------------------------------

uint8_t get8(Reader& r) {
    need(r, 1);
    return *r.pos++;
}

uint32_t get_varint(Reader& r) {
    uint32_t v = 0;
    for (int i = 0; i < 5; i++) {
        uint8_t b = get8(r);
        if (i == 4 && (b & 0xF0)) corrupt(r);
        v |= uint32_t(b & 0x7F) << (7 * i);
        if (!(b & 0x80)) return v;
    }
    return v;
}

// A count or length: never negative as a signed word.
uint32_t get_count(Reader& r) {
    uint32_t v = get_varint(r);
    if (int32_t(v) < 0) corrupt(r);
    return v;
}

int32_t get_zigzag(Reader& r) {
    uint32_t v = get_varint(r);
    return int32_t((v >> 1) ^ (0u - (v & 1)));
}

uint32_t get32r(Reader& r) {
    need(r, 4);
    uint32_t w = get32(r.pos);
    r.pos += 4;
    return w;
}

const uint8_t* take(Reader& r, uint64_t n) {
    need(r, n);
    const uint8_t* p = r.pos;
    r.pos += n;
    return p;
}

Cell get_reference(Reader& r) {
    uint32_t length = get_varint(r);
    if (length < 1 || length > 65536 || length > left(r)) corrupt(r);
    std::vector<uint32_t> p(length);
    for (uint32_t& i : p) i = get_varint(r);
    return resolve(r, p.data(), length);
}

void read(Reader& r, const Place& dst);

struct ContextHead {
    uint32_t flags;
    std::vector<uint32_t> symbols;
};

// A context record: its flags and words; kind and storage must suit the owner.
ContextHead read_context_head(Reader& r, uint32_t kind, bool type_read) {
    if (!type_read && get8(r) != T_CONTEXT) corrupt(r);
    ContextHead h{get8(r), {}};
    uint32_t n = get_count(r);
    need(r, n);
    bool on_stack = (h.flags & 4) != 0;
    if ((h.flags & 3) != kind || on_stack != (kind == context::KIND_FUNCTION)) corrupt(r);
    h.symbols.reserve(n);
    for (uint32_t i = 0; i < n; i++) h.symbols.push_back(symbol_at(r, get_varint(r)));
    return h;
}

Node make_head_context(Reader& r, const ContextHead& h) {
    return make_context(r, h.flags & 3, (h.flags & 4) != 0, (h.flags & 8) != 0, h.symbols);
}

void read_context_values(Reader& r, Node ctx, const ContextHead& h) {
    if (!(h.flags & CTX_VALUES) || (h.flags & 4)) return;
    for (uint32_t i = 0; i < h.symbols.size(); i++) read(r, Place{context::cell_of(ctx)->w2, i, nullptr});
}

void bind_pending(const Place* word, Node ctx) {
    if (word) word->at()->w1 = ctx;
}

void read_object_body(Reader& r, const Place& dst, bool handlers, const Place* word, bool type_read = false) {
    int32_t class_id = type_read ? -1 : get_zigzag(r);
    if (handlers) get_zigzag(r), get_zigzag(r);
    ContextHead h = read_context_head(r, context::KIND_OBJECT, type_read);
    Node ctx = make_head_context(r, h);
    place_object(r, dst, ctx, class_id);
    bind_pending(word, ctx);
    read_context_values(r, ctx, h);
    finish_object(dst, handlers);
}

// The spec (part 0) or body (part 1) of a function: a block! record whose
// cells go into the block the function was made with.
void read_function_part(Reader& r, const Place& fn, uint32_t part, Node into) {
    Nest nest(r);
    bool by_ref = false;
    uint8_t b;
    while ((b = get8(r)) == NEW_LINE || b == BY_REFERENCE) by_ref |= b == BY_REFERENCE;
    if ((b & ~FLAG) != T_BLOCK) corrupt(r);
    uint32_t head = (b & FLAG) ? get_count(r) : 0;
    if (by_ref) return set_function_part(fn, part, share_series(r, get_reference(r), T_BLOCK, head));
    uint32_t n = get_count(r);
    need(r, n);
    check_head(r, head, n);
    for (uint32_t i = 0; i < n; i++) read(r, append_place(into));
    if (head) set_function_part(fn, part, Cell{T_BLOCK, head, into, 0});
}

void read_function_body(Reader& r, const Place& dst, const Place* word) {
    uint32_t spec_cells = get_count(r), body_cells = get_count(r);
    need(r, uint64_t(spec_cells) + body_cells);
    ContextHead h = read_context_head(r, context::KIND_FUNCTION, false);
    Node ctx = make_head_context(r, h);
    Node body = place_function(dst, ctx, spec_cells, body_cells);
    bind_pending(word, ctx);
    read_function_part(r, dst, 0, function_spec(dst));
    read_function_part(r, dst, 1, body);
    check_function(r, dst);
}

void read_word(Reader& r, const Place& dst, uint32_t t, bool bound, bool by_ref) {
    uint32_t sym = symbol_at(r, get_varint(r));
    if (!bound || t == T_ISSUE) return make_global_word(dst.at(), t, sym);
    if (!r.codec) {
        uint32_t root = get_varint(r);
        return bind_boot_word(r, dst, t, sym, root, get_zigzag(r));
    }
    *dst.at() = Cell{t, 0, sym, uint32_t(get_zigzag(r))};
    if (by_ref) {
        Cell reached = get_reference(r);
        dst.at()->w1 = context_of_reached(r, reached);
    } else {
        Cell owner;
        Place holder{0, 0, &owner};
        uint8_t b = get8(r);
        if ((b & ~FLAG) == T_OBJECT) read_object_body(r, holder, (b & FLAG) != 0, &dst);
        else if (b == T_FUNCTION || b == (T_FUNCTION | FLAG)) read_function_body(r, holder, &dst);
        else corrupt(r);
    }
    check_word_index(r, dst.at());
}

void read_series(Reader& r, const Place& dst, uint32_t t, bool flag, bool by_ref) {
    bool has_head = flag && t != T_MAP && t != T_BITSET;
    uint32_t head = has_head ? get_count(r) : 0;
    if (by_ref) {
        *dst.at() = share_series(r, get_reference(r), t, head);
        return;
    }
    if (t == T_VECTOR) {
        uint8_t form = get8(r);
        uint32_t count = get_count(r), width = 1u << (form & 3);
        check_head(r, head, count);
        const uint8_t* bytes = take(r, uint64_t(count) * width);
        return place_vector(r, dst, head, form >> 2, width, bytes, count);
    }
    if (is_string_family(t)) {
        uint32_t v = get_varint(r), u = v & 3, count = v >> 2;
        if (u == 3) corrupt(r);
        check_head(r, head, count);
        const uint8_t* bytes = take(r, uint64_t(count) << u);
        return place_string(r, dst, t, head, bytes, count, 1u << u);
    }
    uint32_t count = get_count(r);
    check_head(r, head, count);
    if (t == T_BINARY) return place_binary(dst, head, take(r, count), count);
    if (t == T_BITSET) return place_bitset(dst, take(r, count), count, flag);
    need(r, count);
    Node b = place_block(dst, t, count, head);
    for (uint32_t i = 0; i < count; i++) read(r, append_place(b));
    if (t == T_HASH) finish_hash(dst);
    if (t == T_MAP) finish_map(r, dst);
}

double get_double(Reader& r) {
    Cell c;
    c.w2 = get32r(r);
    c.w3 = get32r(r);
    return cell::get_float(&c);
}

void read_scalar(Reader& r, const Place& dst, uint32_t t, bool flag) {
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
        bool timed = date::has_time(c.w1);
        if (timed != flag) corrupt(r);
        double time = timed ? get_double(r) : 0.0;
        check_date(r, c.w1, timed, time);
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

void read_typed(Reader& r, const Place& dst, uint8_t first, bool by_ref) {
    uint32_t t = first & 0x3F;
    bool flag = (first & FLAG) != 0;
    if (t == 0x3F) t = get_varint(r);
    if (t >= T_WORD && t <= T_ISSUE) return read_word(r, dst, t, flag, by_ref);
    switch (t) {
    case T_BLOCK: case T_PAREN: case T_PATH: case T_LIT_PATH: case T_SET_PATH: case T_GET_PATH: case T_HASH:
    case T_MAP: case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF: case T_BINARY:
    case T_VECTOR: case T_BITSET:
        return read_series(r, dst, t, flag, by_ref);
    case T_CONTEXT: return read_object_body(r, dst, false, nullptr, true);
    case T_OBJECT:
        if (by_ref) return void(*dst.at() = share_owner(r, get_reference(r), T_OBJECT));
        return read_object_body(r, dst, flag, nullptr);
    case T_FUNCTION:
        if (by_ref) return void(*dst.at() = share_owner(r, get_reference(r), T_FUNCTION));
        return read_function_body(r, dst, nullptr);
    case T_NATIVE:
    case T_ACTION: {
        uint32_t index = get_varint(r);
        read(r, dst);
        return finish_native(r, dst, t, index);
    }
    case T_OP: read(r, dst); return finish_op(r, dst);
    case T_ERROR: {
        Node values = place_error(r, dst, get_varint(r));
        for (uint32_t i = 0; i < 6; i++) read(r, Place{values, error::FIELD_ARG1 + i, nullptr});
        return;
    }
    case T_ROUTINE: case T_TRIPLE: case T_HANDLE: case T_PORT: case T_EVENT: case T_IMAGE: refuse_type(t);
    default: return read_scalar(r, dst, t, flag);
    }
}

void read(Reader& r, const Place& dst) {
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
        read_typed(r, dst, b, by_ref);
        Cell value;
        read(r, Place{0, 0, &value});
        return store_binding(r, dst, value);
    }
    if (b < 0x80) {
        read_typed(r, dst, b, by_ref);
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

void write_compact(const Cell* value) { write(value); }

void read_compact(Reader& r) {
    get_varint(r);  // the record count: decoding is bounded by the payload alone
    uint32_t payload = get_count(r);
    if (r.has_symbols) {
        uint32_t count = get_count(r), names = get_count(r);
        r.symbol_count = count;
        r.names_size = names;
        r.offsets = take(r, uint64_t(count) * 4);
        r.names = take(r, names);
        if (count && (names == 0 || r.names[names - 1] != 0)) corrupt(r);
    }
    need(r, payload);
    r.end = r.pos + payload;
    read_records(r, read);
}

}  // namespace zelbin
}  // namespace zel
