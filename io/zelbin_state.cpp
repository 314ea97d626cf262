// Zelbin codec state: the writer's positions, recorded paths and symbol list;
// the reader's error reporting, symbol table view and reference paths.
#include <cstring>

#include "core/block.h"
#include "core/context.h"
#include "core/function.h"
#include "core/native.h"
#include "core/raise.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "datatypes/error.h"
#include "kernel/unicode.h"
#include "io/zelbin_internal.h"

namespace zel {
namespace zelbin {

Writer writer;

// ---- writer -------------------------------------------------------------------

void reset() {
    Writer fresh;
    fresh.fixed = writer.fixed;
    std::swap(writer, fresh);
}

void enter(Node node) {
    writer.path.push_back(writer.current);
    writer.refs[node] = uint32_t(writer.store.size());
    writer.store.push_back(uint32_t(writer.path.size()));
    writer.store.insert(writer.store.end(), writer.path.begin(), writer.path.end());
    writer.current = 0;
}

void leave() {
    writer.current = writer.path.back();
    writer.path.pop_back();
}

const uint32_t* find_reference(Node node) {
    auto found = writer.refs.find(node);
    return found == writer.refs.end() ? nullptr : writer.store.data() + found->second;
}

uint32_t symbol_position(uint32_t symbol) {
    auto [at, added] = writer.positions.try_emplace(symbol, uint32_t(writer.symbols.size()));
    if (!added) return at->second;
    writer.symbols.push_back(symbol);
    writer.offsets.push_back(uint32_t(writer.names.size()));
    writer.names += symbol::get_cstr(symbol);
    writer.names += '\0';
    if (writer.fixed) writer.names.append((8 - writer.names.size() % 8) % 8, '\0');
    return at->second;
}

const Cell* word_owner(const Cell* word) { return context::owner_of(cell::word_context(word)); }

bool is_global_word(const Cell* word) {
    Node ctx = cell::word_context(word);
    if (ctx == 0 || ctx == context::global_node) return true;
    uint32_t owner = cell::type(word_owner(word));
    return owner != T_OBJECT && owner != T_FUNCTION;
}

Node sharing_node(const Cell* v) {
    uint32_t t = cell::type(v);
    if (types::is_any_word(t)) return is_global_word(v) ? 0 : cell::word_context(v);
    if (t == T_OBJECT || t == T_FUNCTION) return cell::context_of(v) == context::global_node ? 0 : cell::context_of(v);
    return cell::series_node(v);
}

void refuse(const Cell* v) {
    Cell copy = *v;
    reset();
    error::raise(Err::access_no_codec, &copy);
}

uint32_t unit_log2(uint32_t unit) { return unit >= 8 ? 3 : unit >= 4 ? 2 : unit >= 2 ? 1 : 0; }

bool is_live_pair(const Cell* value) { return value->header != 0; }

// ---- reader -------------------------------------------------------------------

void corrupt(const Reader& r) {
    Cell position;
    cell::make_integer(&position, int32_t(r.pos - r.start) + 1);
    error::raise(Err::script_zb_invalid_record, &position);
}

void refuse_type(uint32_t type) {
    Cell datatype;
    cell::make_datatype(&datatype, type);
    error::raise(Err::access_no_codec, &datatype);
}

void read_records(Reader& r, void (*read)(Reader&, const Place&)) {
    while (r.pos < r.end) {
        r.bound_value = false;
        read(r, append_place(r.target));
        if (r.bound_value) {
            Cell target{T_BLOCK, 0, r.target, 0};
            block::remove_last(&target);
        }
    }
}

// Nearly every name is ASCII, which needs no decoding to be valid.
static bool is_ascii(const uint8_t* bytes, uint32_t length) {
    uint8_t any = 0;
    for (uint32_t i = 0; i < length; i++) any |= bytes[i];
    return any < 0x80;
}

uint32_t symbol_first_met(Reader& r, uint32_t position) {
    if (position >= r.symbol_count) corrupt(r);
    if (r.symbol_ids.empty()) r.symbol_ids.assign(r.symbol_count, 0);
    uint32_t offset = get32(r.offsets + 4 * uint64_t(position));
    if (offset >= r.names_size) corrupt(r);
    const uint8_t* name = r.names + offset;
    // The header checked that the names area ends in a NUL.
    uint32_t length = uint32_t(std::strlen(reinterpret_cast<const char*>(name)));
    if (length == 0) corrupt(r);
    if (!is_ascii(name, length)) {
        for (const uint8_t* p = name; p < name + length;) {
            int32_t cp;
            p = utf8::decode_char(p, name + length, &cp);
            if (cp < 0) corrupt(r);
        }
    }
    return r.symbol_ids[position] = symbol::make_from_buffer(name, length);
}

// ---- reference paths -------------------------------------------------------------

namespace {


bool cells_of_node(Node n, uint32_t index, uint32_t from, Cell* out) {
    if (n == 0) return false;
    SeriesBuffer* b = node::buffer(n);
    if (series::unit(b) != sizeof(Cell) || uint64_t(index) + from >= series::length(b)) return false;
    *out = series::cells(b)[from + index];
    return true;
}

// A function's (or an op's of one) parts: 0 the spec, 1 the body.
bool function_part(const Cell& fn, uint32_t index, Cell* out) {
    if (index == 0) {
        cell::make_series(out, T_BLOCK, cell::callable_spec(&fn));
        return true;
    }
    if (index != 1) return false;
    *out = function::extra(&fn)[function::EXTRA_BODY];
    return true;
}

bool context_part(Node ctx, uint32_t index, uint32_t from, Cell* out) {
    if (ctx == 0) return false;
    const Cell* cc = context::cell_of(ctx);
    if (context::is_on_stack(cc) || context::kind_of(cc) == context::KIND_FUNCTION) {
        Cell owner = *context::owner_of(ctx);
        return cell::type(&owner) == T_FUNCTION && function_part(owner, index, out);
    }
    return cells_of_node(cell::context_values(cc), index, from, out);
}

bool step_into(const Cell& v, uint32_t index, Cell* out) {
    uint32_t t = cell::type(&v);
    if (is_block_family(t) || t == T_HASH || t == T_MAP) return cells_of_node(cell::series_node(&v), index, 0, out);
    if (types::is_any_word(t)) return context_part(cell::word_context(&v), index, 0, out);
    switch (t) {
    case T_NATIVE:
    case T_ACTION: return cells_of_node(cell::callable_spec(&v), index, 0, out);
    case T_OBJECT: return context_part(cell::object_context(&v), index, 0, out);
    case T_ERROR: return context_part(cell::object_context(&v), index, error::FIELD_ARG1, out);
    case T_FUNCTION: return function_part(v, index, out);
    case T_OP: {
        uint32_t wrapped = op::wrapped_type(&v);
        if (wrapped == T_NATIVE || wrapped == T_ACTION) return cells_of_node(cell::callable_spec(&v), index, 0, out);
        return wrapped == T_FUNCTION && function_part(v, index, out);
    }
    default: return false;
    }
}

// Whether a series record of the type may share the buffer of the value.
bool is_shareable(uint32_t type, uint32_t reached) {
    if (is_block_family(type)) return is_block_family(reached) || reached == T_HASH || types::is_callable(reached);
    if (types::is_any_string(type)) return types::is_any_string(reached);
    return type == reached;
}

uint32_t units_of(const Cell& v) { return series::length(node::buffer(cell::series_node(&v))); }

}  // namespace

Cell resolve(Reader& r, const uint32_t* path, uint32_t length) {
    Cell v;
    if (!cells_of_node(r.target, path[0], r.base, &v)) corrupt(r);
    for (uint32_t i = 1; i < length; i++) {
        if (!step_into(v, path[i], &v)) corrupt(r);
    }
    return v;
}

Cell share_series(Reader& r, const Cell& reached, uint32_t type, uint32_t head) {
    uint32_t rt = cell::type(&reached);
    if (!is_shareable(type, rt) || cell::series_node(&reached) == 0) corrupt(r);
    Cell c = reached;
    c.header = type;
    if (is_block_family(type) || types::is_any_string(type)) cell::set_series_extra(&c, 0);
    if (type != T_MAP && type != T_BITSET) {
        check_head(r, head, units_of(reached));
        cell::set_series_index(&c, head);
    }
    return c;
}

Cell share_owner(Reader& r, const Cell& reached, uint32_t wanted) {
    uint32_t t = cell::type(&reached);
    if (t == wanted) return Cell{wanted, reached.w1, reached.w2, reached.w3};
    if (types::is_any_word(t) && cell::word_context(&reached) != 0 && cell::type(context::owner_of(cell::word_context(&reached))) == wanted) {
        Cell owner = *context::owner_of(cell::word_context(&reached));
        owner.header &= ~HDR_NEW_LINE;
        return owner;
    }
    if (t == T_OP && wanted == T_FUNCTION && op::wrapped_type(&reached) == T_FUNCTION) {
        return Cell{T_FUNCTION | (reached.header & (HDR_TRACE_OFF | HDR_TRACE_ON)), reached.w1, reached.w2,
                    reached.w3};
    }
    corrupt(r);
}

Node context_of_reached(Reader& r, const Cell& reached) {
    uint32_t t = cell::type(&reached);
    bool owns = types::is_any_word(t) || t == T_OBJECT || t == T_FUNCTION ||
                (t == T_OP && op::wrapped_type(&reached) == T_FUNCTION);
    if (!owns || cell::context_of(&reached) == 0) corrupt(r);
    return cell::context_of(&reached);
}

}  // namespace zelbin
}  // namespace zel
