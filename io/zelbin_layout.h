// Zelbin record grammar, written once for both record layouts: which records
// a value becomes, in what order their parts come, how shared values are
// entered and referred to, and how a reader rebuilds them. A layout is a
// struct of static functions that put and get the parts whose bytes differ
// (record heads, fields, series contents, scalars); see zelbin_compact.cpp
// and zelbin_fixed.cpp.
//
// Writer side of a layout L:
//   open(v, t) -> h     starts the record of v; h is what its heads build on
//   field(u), signed_field(n)
//   path(ref)           the path of a value written before, after its head
//   reference(ref)      a whole record that is only such a path
//   plain_head(h), shared_head(h), object_head(h, handlers), op_head(h, wrapped)
//   word_head(h, by_reference), global_word(h, symbol, index)
//   context_head(kind, on_stack, self, values)
//   series_head(v, t, h, by_reference), series_bytes(v, t), write_scalar(v, t, h)
// Reader side:
//   RECORD_MIN          the fewest bytes a record takes (bounds counts early)
//   get_field(r), get_reference(r), read(r, dst)
//   read_leaf(r, cell)  reads the next record into the cell when it is of a
//                       kind the layout reads without the general path's
//                       frame (and without allocating); false else
//   read_owner_head(r), read_part_head(r), read_head_index(r, h)
//   read_object_head(r, h), read_context(r, kind)
//   read_word(r, dst, h), read_series_bytes(r, dst, h, head), read_scalar(r, dst, h)
#pragma once
#include <cstdint>
#include <vector>

#include "core/context.h"
#include "core/function.h"
#include "core/native.h"
#include "core/object.h"
#include "core/type_groups.h"
#include "datatypes/error.h"
#include "io/zelbin_internal.h"
#include "kernel/stack_guard.h"

namespace zel {
namespace zelbin {
namespace layout {

// ---- writing --------------------------------------------------------------------

template <class L> void write(const Cell* v);

template <class L>
void write_context(Node ctx) {
    const Cell* cc = context::cell_of(ctx);
    bool on_stack = context::is_on_stack(cc);
    uint32_t n = context::word_count(cc);
    bool values = false;
    for (uint32_t i = 0; !on_stack && i < n; i++) values |= cell::type(context::value_at(ctx, int32_t(i))) != T_UNSET;
    L::context_head(context::kind_of(cc), on_stack, (cc->header & HDR_SELF) != 0, values);
    L::field(n);
    for (uint32_t i = 0; i < n; i++) L::field(symbol_position(cell::word_symbol(context::word_at(context::cell_of(ctx), int32_t(i)))));
    for (uint32_t i = 0; values && i < n; i++) {
        Cell c = *context::value_at(ctx, int32_t(i));
        write<L>(&c);
    }
}

template <class L>
void write_object_body(const Cell* o, uint32_t h) {
    L::object_head(h, cell::object_handlers(o) != 0);
    L::signed_field(int32_t(cell::object_class(o)));
    if (Node record = cell::object_handlers(o)) {
        for (uint32_t i = 0; i < 2; i++) L::signed_field(int32_t(object::handler_packed(series::cells(node::buffer(record)) + i)));
    }
    write_context<L>(cell::object_context(o));
}

template <class L>
void write_function_body(const Cell* fn, uint32_t h) {
    Cell body = function::extra(fn)[function::EXTRA_BODY];
    if (cell::type(&body) != T_BLOCK) refuse(fn);
    Cell spec{T_BLOCK, 0, cell::callable_spec(fn), 0};
    L::plain_head(h);
    L::field(series::length(node::buffer(cell::series_node(&spec))));
    L::field(series::length(node::buffer(cell::series_node(&body))));
    write_context<L>(cell::callable_context(fn));
    writer.current = 0;
    write<L>(&spec);
    write<L>(&body);
}

// The object or function that owns a context, written where it is first met.
template <class L>
void write_owner_body(const Cell* owner, uint32_t h) {
    if (cell::type(owner) == T_OBJECT) write_object_body<L>(owner, h);
    else write_function_body<L>(owner, h);
}

template <class L>
void write_owner(const Cell* v, uint32_t h) {
    if (const uint32_t* ref = find_reference(cell::context_of(v))) {
        L::shared_head(h);
        return L::path(ref);
    }
    enter(cell::context_of(v));
    write_owner_body<L>(v, h);
    leave();
}

// A bound word carries its context's owner, or the path to where it was.
template <class L>
void write_word(const Cell* w, uint32_t h) {
    uint32_t sym = symbol_position(cell::word_symbol(w));
    if (is_global_word(w)) return L::global_word(h, sym, cell::word_index(w));
    const uint32_t* ref = find_reference(cell::word_context(w));
    L::word_head(h, ref != nullptr);
    L::field(sym);
    L::signed_field(cell::word_index(w));
    if (ref) return L::path(ref);
    enter(cell::word_context(w));
    Cell owner = *word_owner(w);
    write_owner_body<L>(&owner, cell::type(&owner) == T_OBJECT ? T_OBJECT : T_FUNCTION);
    leave();
}

template <class L>
void write_series(const Cell* v, uint32_t t, uint32_t h) {
    Node n = cell::series_node(v);
    const uint32_t* ref = find_reference(n);
    L::series_head(v, t, h, ref != nullptr);
    if (ref) return L::path(ref);
    enter(n);
    uint32_t count = series::length(node::buffer(n));
    if (t == T_MAP) {
        uint32_t live = 0;
        for (uint32_t i = 1; i < count; i += 2) live += is_live_pair(series::cells(node::buffer(n)) + i);
        L::field(2 * live);
        for (uint32_t i = 0; i + 1 < count; i += 2) {
            Cell key = series::cells(node::buffer(n))[i], value = series::cells(node::buffer(n))[i + 1];
            if (!is_live_pair(&value)) continue;
            write<L>(&key);
            write<L>(&value);
        }
    } else if (is_block_family(t) || t == T_HASH) {
        L::field(count);
        for (uint32_t i = 0; i < count; i++) {
            Cell c = series::cells(node::buffer(n))[i];
            write<L>(&c);
        }
    } else {
        L::series_bytes(v, t);
    }
    leave();
}

template <class L>
void write_error(const Cell* v, uint32_t h) {
    // An error that holds itself is a plain reference to where it was written.
    if (const uint32_t* ref = find_reference(cell::context_of(v))) return L::reference(ref);
    enter(cell::context_of(v));
    L::plain_head(h);
    L::field(uint32_t(cell::get_int(error::field(v, error::FIELD_CODE))));
    for (uint32_t i = 0; i < 6; i++) {
        Cell field = *error::field(v, error::FIELD_ARG1 + i);
        write<L>(&field);
    }
    leave();
}

template <class L>
void write_callable(const Cell* v, uint32_t t, uint32_t h) {
    if (t == T_OP) {
        uint32_t wrapped = op::wrapped_type(v);
        if (wrapped == T_ROUTINE) refuse(v);
        L::op_head(h, wrapped);
        Cell inner = *v;
        inner.header = (v->header & ~(HDR_TYPE_MASK | HDR_OP_TYPE_MASK | HDR_NEW_LINE)) | wrapped;
        write<L>(&inner);
    } else {
        L::plain_head(h);
        L::field(cell::callable_index(v));
        Cell spec{T_BLOCK, 0, cell::callable_spec(v), 0};
        write<L>(&spec);
    }
    writer.current--;  // the inner record is no position of its own
}

template <class L>
void write(const Cell* v) {
    stack_guard::check();  // values met again are referred to, but nesting may go deep
    uint32_t t = cell::type(v);
    uint32_t h = L::open(v, t);
    if (types::is_any_word(t)) {
        write_word<L>(v, h);
    } else if (is_block_family(t) || types::is_any_string(t) || t == T_HASH || t == T_MAP || t == T_BINARY ||
               t == T_VECTOR || t == T_BITSET) {
        write_series<L>(v, t, h);
    } else if (t == T_OBJECT || t == T_FUNCTION) {
        write_owner<L>(v, h);
    } else if (t == T_ERROR) {
        write_error<L>(v, h);
    } else if (t == T_NATIVE || t == T_ACTION || t == T_OP) {
        write_callable<L>(v, t, h);
    } else {
        L::write_scalar(v, t, h);
    }
    writer.current++;
}

// ---- reading --------------------------------------------------------------------

// A record's head as read: its type, the by-reference mark, and the head as it
// stands in the stream (compact: its type byte; fixed: its header word).
struct Head {
    uint32_t type;
    bool by_reference;
    uint32_t flags;
};

// A context record's flags and words.
struct ContextHead {
    uint32_t kind;
    bool on_stack;
    bool self;
    bool values;
    std::vector<uint32_t> symbols;
};

struct ObjectHead {
    int32_t class_id;  // -1 when the record is a bare context
    bool handlers;
    ContextHead context;
};

// A count or length: never negative as a signed word.
template <class L>
uint32_t get_count(Reader& r) {
    uint32_t v = L::get_field(r);
    if (int32_t(v) < 0) corrupt(r);
    return v;
}

// The first records of a block, a function part or a context: the count must
// leave room for them before anything is allocated.
template <class L>
void need_records(Reader& r, uint64_t count) {
    need(r, count * L::RECORD_MIN);
}

// The count records of a block's cells, appended to it. A block made for
// its records has room for them all: appending then never moves its buffer,
// and reading a record makes other buffers but moves none (no collection
// runs while a stream is read), so the loop keeps the buffer at hand.
template <class L>
void read_cells(Reader& r, Node block, uint32_t count) {
    SeriesBuffer* b = node::buffer(block);
    bool stays = series::room(b) / sizeof(Cell) >= count;
    uint32_t index = series::length(b);
    for (uint32_t end = index + count; index < end; index++) {
        Cell* cell;
        if (stays) {
            cell = series::append_slot(b);
            cell::make_unset(cell);
        } else {
            append_place(block, &cell);
        }
        if (!L::read_leaf(r, cell)) L::read(r, Place{block, index, nullptr});
    }
}

inline Node make_head_context(Reader& r, const ContextHead& c) {
    return make_context(r, c.kind, c.on_stack, c.self, c.symbols);
}

inline void bind_pending(const Place* word, Node ctx) {
    if (word) cell::set_word_context(word->at(), ctx);
}

template <class L>
void read_context_values(Reader& r, Node ctx, const ContextHead& c) {
    if (!c.values || c.on_stack) return;
    for (uint32_t i = 0; i < c.symbols.size(); i++) L::read(r, Place{cell::context_values(context::cell_of(ctx)), i, nullptr});
}

// An object! record, or a bare context record read as an object.
template <class L>
void read_object(Reader& r, const Place& dst, const Head& h, const Place* word) {
    ObjectHead o = L::read_object_head(r, h);
    Node ctx = make_head_context(r, o.context);
    place_object(r, dst, ctx, o.class_id);
    bind_pending(word, ctx);
    read_context_values<L>(r, ctx, o.context);
    finish_object(dst, o.handlers);
}

// The spec (part 0) or body (part 1) of a function: a block! record whose
// cells go into the block the function was made with.
template <class L>
void read_function_part(Reader& r, const Place& fn, uint32_t part, Node into) {
    Nest nest(r);
    Head h = L::read_part_head(r);
    if (h.type != T_BLOCK) corrupt(r);
    uint32_t head = L::read_head_index(r, h);
    if (h.by_reference) return set_function_part(fn, part, share_series(r, L::get_reference(r), T_BLOCK, head));
    uint32_t n = get_count<L>(r);
    need_records<L>(r, n);
    check_head(r, head, n);
    read_cells<L>(r, into, n);
    if (head) set_function_part(fn, part, Cell{T_BLOCK, head, into, 0});
}

template <class L>
void read_function_body(Reader& r, const Place& dst, const Place* word) {
    uint32_t spec_cells = get_count<L>(r), body_cells = get_count<L>(r);
    need_records<L>(r, uint64_t(spec_cells) + body_cells);
    ContextHead c = L::read_context(r, context::KIND_FUNCTION);
    Node ctx = make_head_context(r, c);
    Node body = place_function(dst, ctx, spec_cells, body_cells);
    bind_pending(word, ctx);
    read_function_part<L>(r, dst, 0, function_spec(dst));
    read_function_part<L>(r, dst, 1, body);
    check_function(r, dst);
}

// The rest of a word bound in the stream: the context comes by path or with
// its owner, read here.
template <class L>
void read_bound_word(Reader& r, const Place& dst, const Head& h, uint32_t symbol, uint32_t index) {
    *dst.at() = Cell{h.type, 0, symbol, index};
    if (h.by_reference) {
        Cell reached = L::get_reference(r);
        cell::set_word_context(dst.at(), context_of_reached(r, reached));
    } else {
        Cell owner;
        Place holder{0, 0, &owner};
        Head oh = L::read_owner_head(r);
        if (oh.type == T_OBJECT) read_object<L>(r, holder, oh, &dst);
        else if (oh.type == T_FUNCTION) read_function_body<L>(r, holder, &dst);
        else corrupt(r);
    }
    check_word_index(r, dst.at());
}

template <class L>
void read_series(Reader& r, const Place& dst, const Head& h) {
    uint32_t t = h.type;
    uint32_t head = L::read_head_index(r, h);
    if (h.by_reference) {
        *dst.at() = share_series(r, L::get_reference(r), t, head);
        return;
    }
    if (!is_block_family(t) && t != T_HASH && t != T_MAP) return L::read_series_bytes(r, dst, h, head);
    uint32_t count = get_count<L>(r);
    check_head(r, head, count);
    need_records<L>(r, count);
    Node b = place_block(dst, t, count, head);
    read_cells<L>(r, b, count);
    if (t == T_HASH) finish_hash(dst);
    if (t == T_MAP) finish_map(r, dst);
}

// Every record after its layout's prefixes and head.
template <class L>
void read_typed(Reader& r, const Place& dst, const Head& h) {
    uint32_t t = h.type;
    if (types::is_symbolic(t)) return L::read_word(r, dst, h);
    switch (t) {
    case T_BLOCK: case T_PAREN: case T_PATH: case T_LIT_PATH: case T_SET_PATH: case T_GET_PATH: case T_HASH:
    case T_MAP: case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF: case T_BINARY:
    case T_VECTOR: case T_BITSET:
        return read_series<L>(r, dst, h);
    case T_CONTEXT: return read_object<L>(r, dst, h, nullptr);
    case T_OBJECT:
        if (h.by_reference) return void(*dst.at() = share_owner(r, L::get_reference(r), T_OBJECT));
        return read_object<L>(r, dst, h, nullptr);
    case T_FUNCTION:
        if (h.by_reference) return void(*dst.at() = share_owner(r, L::get_reference(r), T_FUNCTION));
        return read_function_body<L>(r, dst, nullptr);
    case T_NATIVE:
    case T_ACTION: {
        uint32_t index = L::get_field(r);
        L::read(r, dst);
        return finish_native(r, dst, t, index);
    }
    case T_OP: L::read(r, dst); return finish_op(r, dst);
    case T_ERROR: {
        Node values = place_error(r, dst, L::get_field(r));
        for (uint32_t i = 0; i < 6; i++) L::read(r, Place{values, error::FIELD_ARG1 + i, nullptr});
        return;
    }
    case T_ROUTINE: case T_TRIPLE: case T_HANDLE: case T_PORT: case T_EVENT: case T_IMAGE: refuse_type(t);
    default: return L::read_scalar(r, dst, h);
    }
}

inline const uint8_t* take(Reader& r, uint64_t n) {
    need(r, n);
    const uint8_t* p = r.pos;
    r.pos += n;
    return p;
}

// The layout's counts and symbol table, then the records of the payload.
template <class L>
void read_payload(Reader& r) {
    L::get_field(r);  // the record count: decoding is bounded by the payload alone
    uint32_t payload = get_count<L>(r);
    if (r.has_symbols) {
        uint32_t count = get_count<L>(r), names = get_count<L>(r);
        r.symbol_count = count;
        r.names_size = names;
        r.offsets = take(r, uint64_t(count) * 4);
        r.names = take(r, names);
        if (count && (names == 0 || r.names[names - 1] != 0)) corrupt(r);
    }
    need(r, payload);
    r.end = r.pos + payload;
    read_records(r, L::read);
}

}  // namespace layout
}  // namespace zelbin
}  // namespace zel
