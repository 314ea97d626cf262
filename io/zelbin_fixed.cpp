// Zelbin fixed record layout: every field a 32-bit little-endian word, the
// flags of a record in its header word, byte contents padded to words and
// 8-byte numbers aligned, so records can be read without decoding.
#include <cstring>

#include "core/context.h"
#include "core/function.h"
#include "core/native.h"
#include "core/raise.h"
#include "datatypes/date.h"
#include "datatypes/error.h"
#include "datatypes/money.h"
#include "datatypes/tuple.h"
#include "io/zelbin_internal.h"

namespace zel {
namespace zelbin {

namespace {

constexpr uint32_t T_PAD = 0, T_REFERENCE = 255;
// Header word bits.
constexpr uint32_t H_UNIT_SHIFT = 8, H_OP_SHIFT = 16, H_KIND_SHIFT = 26;
constexpr uint32_t H_BY_REFERENCE = 1u << 19, H_NEGATIVE = 1u << 22, H_COMPLEMENT = 1u << 23,
                   H_HANDLERS = 1u << 24, H_GLOBAL = 1u << 25, H_SELF = 1u << 28, H_ON_STACK = 1u << 29,
                   H_VALUES = 1u << 30, H_NEW_LINE = 1u << 31;

// ---- writing --------------------------------------------------------------------

void put32(uint32_t w) {
    for (int i = 0; i < 32; i += 8) writer.out.push_back(uint8_t(w >> i));
}
// Bytes, then zeros to a whole word.
void put_padded(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    writer.out.insert(writer.out.end(), b, b + n);
    writer.out.insert(writer.out.end(), (4 - n % 4) % 4, 0);
}
void put_reference(const uint32_t* path) {
    put32(T_REFERENCE);
    for (uint32_t i = 0; i <= path[0]; i++) put32(path[i]);
}

void write(const Cell* v);

void write_context(Node ctx) {
    const Cell* cc = context::cell_of(ctx);
    bool on_stack = context::is_on_stack(cc);
    uint32_t n = context::word_count(cc);
    bool values = false;
    for (uint32_t i = 0; !on_stack && i < n; i++) values |= cell::type(context::value_at(ctx, int32_t(i))) != T_UNSET;
    put32(T_CONTEXT | context::kind_of(cc) << H_KIND_SHIFT | ((cc->header & HDR_SELF) ? H_SELF : 0) |
          (on_stack ? H_ON_STACK : 0) | (values ? H_VALUES : 0));
    put32(n);
    for (uint32_t i = 0; i < n; i++) put32(symbol_position(context::word_at(context::cell_of(ctx), int32_t(i))->w2));
    for (uint32_t i = 0; values && i < n; i++) {
        Cell c = *context::value_at(ctx, int32_t(i));
        write(&c);
    }
}

void write_object_body(const Cell* o, uint32_t h) {
    put32(T_OBJECT | h | (o->w3 ? H_HANDLERS : 0));
    put32(o->w2);
    if (o->w3) {
        for (uint32_t i = 0; i < 2; i++) put32(series::cells(node::buffer(o->w3))[i].w2);
    }
    write_context(o->w1);
}

void write_function_body(const Cell* fn, uint32_t h) {
    Cell body = function::extra(fn)[function::EXTRA_BODY];
    if (cell::type(&body) != T_BLOCK) refuse(fn);
    Cell spec{T_BLOCK, 0, fn->w2, 0};
    put32(T_FUNCTION | h);
    put32(series::length(node::buffer(spec.w2)));
    put32(series::length(node::buffer(body.w2)));
    write_context(fn->w1);
    writer.current = 0;
    write(&spec);
    write(&body);
}

void write_word(const Cell* w, uint32_t h) {
    uint32_t sym = symbol_position(w->w2);
    if (is_global_word(w)) {
        put32(h | H_GLOBAL);
        put32(sym);
        return put32(w->w3);
    }
    const uint32_t* ref = find_reference(w->w1);
    put32(h | (ref ? H_BY_REFERENCE : 0));
    put32(sym);
    put32(w->w3);
    if (ref) return put_reference(ref);
    enter(w->w1);
    Cell owner = *word_owner(w);
    if (cell::type(&owner) == T_OBJECT) write_object_body(&owner, 0);
    else write_function_body(&owner, 0);
    leave();
}

void write_series(const Cell* v, uint32_t t, uint32_t h) {
    Node n = v->w2;
    SeriesBuffer* b = node::buffer(n);
    uint32_t count = series::length(b), unit = series::unit(b);
    const uint32_t* ref = find_reference(n);
    if (ref) h |= H_BY_REFERENCE;
    if (t == T_BITSET && (b->flags & SER_COMPLEMENT)) h |= H_COMPLEMENT;
    if (is_string_family(t) || t == T_BINARY || t == T_VECTOR) h |= unit << H_UNIT_SHIFT;
    put32(h);
    if (t != T_MAP && t != T_BITSET) put32(v->w1);
    if (ref) return put_reference(ref);
    enter(n);
    if (t == T_MAP) {
        uint32_t live = 0;
        for (uint32_t i = 1; i < count; i += 2) live += is_live_pair(series::cells(node::buffer(n)) + i);
        put32(2 * live);
        for (uint32_t i = 0; i + 1 < count; i += 2) {
            Cell key = series::cells(node::buffer(n))[i], value = series::cells(node::buffer(n))[i + 1];
            if (!is_live_pair(&value)) continue;
            write(&key);
            write(&value);
        }
    } else if (is_block_family(t) || t == T_HASH) {
        put32(count);
        for (uint32_t i = 0; i < count; i++) {
            Cell c = series::cells(node::buffer(n))[i];
            write(&c);
        }
    } else {
        put32(count);
        if (t == T_VECTOR) put32(v->w3);
        put_padded(series::head_ptr(node::buffer(n)), size_t(count) * unit);
    }
    leave();
}

void write_error(const Cell* v, uint32_t h) {
    // An error that holds itself is a plain reference to where it was written.
    if (const uint32_t* ref = find_reference(v->w1)) return put_reference(ref);
    enter(v->w1);
    put32(h);
    put32(uint32_t(cell::get_int(error::field(v, error::FIELD_CODE))));
    for (uint32_t i = 0; i < 6; i++) {
        Cell field = *error::field(v, error::FIELD_ARG1 + i);
        write(&field);
    }
    leave();
}

void write_callable(const Cell* v, uint32_t t, uint32_t h) {
    if (t == T_OP) {
        uint32_t wrapped = op::wrapped_type(v);
        if (wrapped == T_ROUTINE) refuse(v);
        put32(h | wrapped << H_OP_SHIFT);
        Cell inner = *v;
        inner.header = (v->header & ~(HDR_TYPE_MASK | HDR_OP_TYPE_MASK | HDR_NEW_LINE)) | wrapped;
        write(&inner);
    } else {
        put32(h);
        put32(v->w1);
        Cell spec{T_BLOCK, 0, v->w2, 0};
        write(&spec);
    }
    writer.current--;  // the inner record is no position of its own
}

void write_scalar(const Cell* v, uint32_t t, uint32_t h) {
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

void write(const Cell* v) {
    uint32_t t = cell::type(v);
    uint32_t h = t | ((v->header & HDR_NEW_LINE) ? H_NEW_LINE : 0);
    if (t >= T_WORD && t <= T_REFINEMENT) {
        write_word(v, h);
    } else if (is_block_family(t) || is_string_family(t) || t == T_HASH || t == T_MAP || t == T_BINARY ||
               t == T_VECTOR || t == T_BITSET) {
        write_series(v, t, h);
    } else if (t == T_OBJECT || t == T_FUNCTION) {
        if (const uint32_t* ref = find_reference(v->w1)) {
            put32(h | H_BY_REFERENCE);
            put_reference(ref);
        } else {
            enter(v->w1);
            if (t == T_OBJECT) write_object_body(v, h);
            else write_function_body(v, h);
            leave();
        }
    } else if (t == T_ERROR) {
        write_error(v, h);
    } else if (t == T_NATIVE || t == T_ACTION || t == T_OP) {
        write_callable(v, t, h);
    } else {
        write_scalar(v, t, h);
    }
    writer.current++;
}

// ---- reading --------------------------------------------------------------------

uint32_t get(Reader& r) {
    need(r, 4);
    uint32_t w = get32(r.pos);
    r.pos += 4;
    return w;
}

uint32_t get_count(Reader& r) {
    uint32_t v = get(r);
    if (int32_t(v) < 0) corrupt(r);
    return v;
}

// Bytes followed by zeros to a whole word.
const uint8_t* take_padded(Reader& r, uint64_t n) {
    uint64_t padded = (n + 3) & ~uint64_t(3);
    need(r, padded);
    const uint8_t* p = r.pos;
    r.pos += padded;
    return p;
}

Cell get_reference(Reader& r) {
    if (get(r) != T_REFERENCE) corrupt(r);
    uint32_t length = get(r);
    if (length < 1 || length > 65536) corrupt(r);
    need(r, uint64_t(length) * 4);
    std::vector<uint32_t> p(length);
    for (uint32_t& i : p) i = get(r);
    return resolve(r, p.data(), length);
}

void read(Reader& r, const Place& dst);

struct ContextHead {
    uint32_t h;
    std::vector<uint32_t> symbols;
};

ContextHead read_context_head(Reader& r, uint32_t kind, uint32_t h) {
    if ((h & 0xFF) != T_CONTEXT) corrupt(r);
    bool on_stack = (h & H_ON_STACK) != 0;
    if (((h >> H_KIND_SHIFT) & 3) != kind || on_stack != (kind == context::KIND_FUNCTION)) corrupt(r);
    uint32_t n = get_count(r);
    need(r, uint64_t(n) * 4);
    ContextHead c{h, {}};
    c.symbols.reserve(n);
    for (uint32_t i = 0; i < n; i++) c.symbols.push_back(symbol_at(r, get(r)));
    return c;
}

Node make_head_context(Reader& r, const ContextHead& c) {
    return make_context(r, (c.h >> H_KIND_SHIFT) & 3, (c.h & H_ON_STACK) != 0, (c.h & H_SELF) != 0, c.symbols);
}

void read_context_values(Reader& r, Node ctx, const ContextHead& c) {
    if (!(c.h & H_VALUES) || (c.h & H_ON_STACK)) return;
    for (uint32_t i = 0; i < c.symbols.size(); i++) read(r, Place{context::cell_of(ctx)->w2, i, nullptr});
}

void bind_pending(const Place* word, Node ctx) {
    if (word) word->at()->w1 = ctx;
}

void read_object_body(Reader& r, const Place& dst, uint32_t h, const Place* word) {
    int32_t class_id = -1;
    uint32_t ctx_header = h;
    if ((h & 0xFF) == T_OBJECT) {
        class_id = int32_t(get(r));
        if (h & H_HANDLERS) get(r), get(r);
        ctx_header = get(r);
    }
    ContextHead c = read_context_head(r, context::KIND_OBJECT, ctx_header);
    Node ctx = make_head_context(r, c);
    place_object(r, dst, ctx, class_id);
    bind_pending(word, ctx);
    read_context_values(r, ctx, c);
    finish_object(dst, (h & 0xFF) == T_OBJECT && (h & H_HANDLERS));
}

// The spec (part 0) or body (part 1) of a function: a block! record whose
// cells go into the block the function was made with.
void read_function_part(Reader& r, const Place& fn, uint32_t part, Node into) {
    Nest nest(r);
    uint32_t h = get(r);
    if ((h & 0xFF) != T_BLOCK) corrupt(r);
    uint32_t head = get_count(r);
    if (h & H_BY_REFERENCE) return set_function_part(fn, part, share_series(r, get_reference(r), T_BLOCK, head));
    uint32_t n = get_count(r);
    need(r, uint64_t(n) * 4);
    check_head(r, head, n);
    for (uint32_t i = 0; i < n; i++) read(r, append_place(into));
    if (head) set_function_part(fn, part, Cell{T_BLOCK, head, into, 0});
}

void read_function_body(Reader& r, const Place& dst, const Place* word) {
    uint32_t spec_cells = get_count(r), body_cells = get_count(r);
    need(r, (uint64_t(spec_cells) + body_cells) * 4);
    ContextHead c = read_context_head(r, context::KIND_FUNCTION, get(r));
    Node ctx = make_head_context(r, c);
    Node body = place_function(dst, ctx, spec_cells, body_cells);
    bind_pending(word, ctx);
    read_function_part(r, dst, 0, function_spec(dst));
    read_function_part(r, dst, 1, body);
    check_function(r, dst);
}

void read_word(Reader& r, const Place& dst, uint32_t t, uint32_t h) {
    uint32_t sym = symbol_at(r, get(r));
    if (t == T_ISSUE) return make_global_word(dst.at(), t, sym);
    uint32_t index = get(r);
    if (!r.codec) {
        bind_boot_word(r, dst, t, sym, index, int32_t(get(r)));
        if (!(h & H_GLOBAL)) return;
        Cell value;
        read(r, Place{0, 0, &value});
        return store_binding(r, dst, value);
    }
    if (h & H_GLOBAL) return make_global_word(dst.at(), t, sym);
    *dst.at() = Cell{t, 0, sym, index};
    if (h & H_BY_REFERENCE) {
        Cell reached = get_reference(r);
        dst.at()->w1 = context_of_reached(r, reached);
    } else {
        Cell owner;
        Place holder{0, 0, &owner};
        uint32_t oh = get(r);
        if ((oh & 0xFF) == T_OBJECT) read_object_body(r, holder, oh, &dst);
        else if ((oh & 0xFF) == T_FUNCTION) read_function_body(r, holder, &dst);
        else corrupt(r);
    }
    check_word_index(r, dst.at());
}

void read_series(Reader& r, const Place& dst, uint32_t t, uint32_t h) {
    uint32_t head = (t != T_MAP && t != T_BITSET) ? get_count(r) : 0;
    if (h & H_BY_REFERENCE) {
        *dst.at() = share_series(r, get_reference(r), t, head);
        return;
    }
    uint32_t unit = (h >> H_UNIT_SHIFT) & 0xFF;
    uint32_t count = get_count(r);
    check_head(r, head, count);
    if (is_string_family(t)) {
        if (unit != 1 && unit != 2 && unit != 4) corrupt(r);
        return place_string(r, dst, t, head, take_padded(r, uint64_t(count) * unit), count, unit);
    }
    if (t == T_VECTOR) {
        uint32_t element_type = get(r);
        return place_vector(r, dst, head, element_type, unit, take_padded(r, uint64_t(count) * unit), count);
    }
    if (t == T_BINARY) return place_binary(dst, head, take_padded(r, count), count);
    if (t == T_BITSET) return place_bitset(dst, take_padded(r, count), count, (h & H_COMPLEMENT) != 0);
    need(r, uint64_t(count) * 4);
    Node b = place_block(dst, t, count, head);
    for (uint32_t i = 0; i < count; i++) read(r, append_place(b));
    if (t == T_HASH) finish_hash(dst);
    if (t == T_MAP) finish_map(r, dst);
}

double get_double(Reader& r) {
    Cell c{};
    c.w3 = get(r);
    c.w2 = get(r);
    return cell::get_float(&c);
}

void read_scalar(Reader& r, const Place& dst, uint32_t t, uint32_t h) {
    Cell c{t, 0, 0, 0};
    switch (t) {
    case T_UNSET:
    case T_NONE: break;
    case T_DATATYPE:
        c.w1 = get(r);
        if (c.w1 == 0 || c.w1 >= TYPE_COUNT) corrupt(r);
        break;
    case T_LOGIC:
        c.w1 = get(r);
        if (c.w1 > 1) corrupt(r);
        break;
    case T_CHAR:
        c.w2 = get(r);
        check_char(r, c.w2);
        break;
    case T_INTEGER: c.w2 = get(r); break;
    case T_FLOAT:
    case T_PERCENT:
    case T_TIME: cell::put_float(&c, get_double(r)); break;
    case T_PAIR: c.w2 = get(r), c.w3 = get(r); break;
    case T_POINT2D: c.w1 = get(r), c.w2 = get(r); break;
    case T_POINT3D:
    case T_TYPESET:
        c.w1 = get(r), c.w2 = get(r), c.w3 = get(r);
        if (t == T_TYPESET) check_typeset(r, &c);
        break;
    case T_DATE: {
        c.w1 = get(r);
        double time = get_double(r);
        bool timed = date::has_time(c.w1);
        check_date(r, c.w1, timed, time);
        cell::put_float(&c, timed ? time : 0.0);
        break;
    }
    case T_TUPLE: {
        uint32_t n = (h >> H_UNIT_SHIFT) & 0xFF;
        if (n < 1 || n > tuple::MAX_BYTES) corrupt(r);
        uint8_t bytes[12];
        need(r, 12);
        std::memcpy(bytes, r.pos, 12);
        r.pos += 12;
        tuple::init_cell(&c, bytes, n);
        break;
    }
    case T_MONEY: {
        uint8_t bytes[12];
        need(r, 12);
        std::memcpy(bytes, r.pos, 12);
        r.pos += 12;
        check_money(r, bytes);
        money::init_cell(&c, (h & H_NEGATIVE) != 0, bytes[0], bytes + 1);
        break;
    }
    default: corrupt(r);
    }
    *dst.at() = c;
}

void read_typed(Reader& r, const Place& dst, uint32_t h) {
    uint32_t t = h & 0xFF;
    if (t >= T_WORD && t <= T_ISSUE) return read_word(r, dst, t, h);
    switch (t) {
    case T_BLOCK: case T_PAREN: case T_PATH: case T_LIT_PATH: case T_SET_PATH: case T_GET_PATH: case T_HASH:
    case T_MAP: case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF: case T_BINARY:
    case T_VECTOR: case T_BITSET:
        return read_series(r, dst, t, h);
    case T_REFERENCE: {
        r.pos -= 4;
        Cell reached = get_reference(r);
        reached.header &= ~HDR_NEW_LINE;
        *dst.at() = reached;
        return;
    }
    case T_CONTEXT: return read_object_body(r, dst, h, nullptr);
    case T_OBJECT:
        if (h & H_BY_REFERENCE) return void(*dst.at() = share_owner(r, get_reference(r), T_OBJECT));
        return read_object_body(r, dst, h, nullptr);
    case T_FUNCTION:
        if (h & H_BY_REFERENCE) return void(*dst.at() = share_owner(r, get_reference(r), T_FUNCTION));
        return read_function_body(r, dst, nullptr);
    case T_NATIVE:
    case T_ACTION: {
        uint32_t index = get(r);
        read(r, dst);
        return finish_native(r, dst, t, index);
    }
    case T_OP: read(r, dst); return finish_op(r, dst);
    case T_ERROR: {
        Node values = place_error(r, dst, get(r));
        for (uint32_t i = 0; i < 6; i++) read(r, Place{values, error::FIELD_ARG1 + i, nullptr});
        return;
    }
    case T_ROUTINE: case T_TRIPLE: case T_HANDLE: case T_PORT: case T_EVENT: case T_IMAGE: refuse_type(t);
    default: return read_scalar(r, dst, t, h);
    }
}

void read(Reader& r, const Place& dst) {
    Nest nest(r);
    uint32_t h;
    while (((h = get(r)) & 0xFF) == T_PAD) {}
    read_typed(r, dst, h);
    if (h & H_NEW_LINE) dst.at()->header |= HDR_NEW_LINE;
}

}  // namespace

void write_fixed(const Cell* value) { write(value); }

void read_fixed(Reader& r) {
    if (left(r) < 8) error::raise(Err::script_invalid_data);
    get(r);  // the record count: decoding is bounded by the payload alone
    uint32_t payload = get_count(r);
    if (r.has_symbols) {
        uint32_t count = get_count(r), names = get_count(r);
        r.symbol_count = count;
        r.names_size = names;
        need(r, uint64_t(count) * 4);
        r.offsets = r.pos;
        r.pos += uint64_t(count) * 4;
        need(r, names);
        r.names = r.pos;
        r.pos += names;
        if (count && (names == 0 || r.names[names - 1] != 0)) corrupt(r);
    }
    need(r, payload);
    r.end = r.pos + payload;
    read_records(r, read);
}

}  // namespace zelbin
}  // namespace zel
