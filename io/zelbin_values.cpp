// Zelbin value builders: the two record readers make every value through
// these, so the checks that keep a hostile stream from building a value the
// rest of the system could trip over (a date of month 15, a word index past
// its context, a function whose context does not match its spec) live in one
// place.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/actions.h"
#include "core/block.h"
#include "core/context.h"
#include "core/function.h"
#include "core/hashtable.h"
#include "core/native.h"
#include "core/object.h"
#include "core/string.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "datatypes/binary.h"
#include "core/bitset.h"
#include "datatypes/date.h"
#include "datatypes/error.h"
#include "datatypes/map.h"
#include "datatypes/money.h"
#include "datatypes/typeset.h"
#include "datatypes/vector.h"
#include "io/zelbin_internal.h"

namespace zel {
namespace zelbin {

bool is_block_family(uint32_t t) { return types::in(types::UNHASHED_BLOCK, t); }

// A stream names the same global words again and again (the boot image some
// ten thousand times): each symbol's index there is looked up once.
uint32_t global_index_first_met(Reader& r, uint32_t symbol) {
    if (symbol >= r.global_indexes.size()) r.global_indexes.resize(std::max<size_t>(symbol + 1, 2 * r.global_indexes.size()), 0);
    Cell w;
    word::write_cell(symbol, &w);
    return r.global_indexes[symbol] = cell::word_index(&w) + 1;
}

void bind_boot_word(Reader& r, const Place& dst, uint32_t type, uint32_t symbol, uint32_t root, int32_t index) {
    if (root == uint32_t(-1)) return make_global_word(r, dst.at(), type, symbol);
    Node ctx = context_of_reached(r, resolve(r, &root, 1));
    if (index == -1) index = context::lookup_word(ctx, symbol, true);
    if (index < 0) corrupt(r);
    *dst.at() = Cell{type, ctx, symbol, uint32_t(index)};
    check_word_index(r, dst.at());
}

std::vector<Binding> boot_bindings;

void store_binding(Reader& r, const Place& word, const Cell& value) {
    Cell w = *word.at();
    if (r.depth != 1 || cell::type(&w) < T_WORD || cell::type(&w) > T_REFINEMENT) corrupt(r);
    if (!context::slot(cell::word_context(&w), cell::word_index(&w))) corrupt(r);
    Binding b{cell::word_context(&w), cell::word_index(&w), value};
    b.value.header &= ~HDR_NEW_LINE;
    boot_bindings.push_back(b);
    r.bound_value = true;
}

void check_word_index(Reader& r, const Cell* word) {
    int32_t index = cell::word_index(word);
    if (index == -1) return;
    if (index < 0 || uint32_t(index) >= context::word_count(context::cell_of(cell::word_context(word)))) corrupt(r);
}

Node make_context(Reader& r, uint32_t kind, bool on_stack, bool self, const std::vector<uint32_t>& symbols) {
    uint32_t n = uint32_t(symbols.size());
    Node ctx = context::create(n, on_stack, self, 0, kind);
    for (uint32_t i = 0; i < n; i++) {
        int32_t added = -1;
        if (context::lookup_word_in(ctx, symbols[i], false, &added) >= 0 || added != int32_t(i)) corrupt(r);
    }
    Cell* cc = context::cell_of(ctx);
    if (on_stack) {
        cell::set_context_stack_count(cc, n);
    } else {
        SeriesBuffer* values = node::buffer(cell::context_values(cc));
        values->tail = values->head + n * uint32_t(sizeof(Cell));
    }
    return ctx;
}

void place_object(Reader& r, const Place& dst, Node ctx, int32_t class_id) {
    Cell obj{T_OBJECT, ctx, r.codec ? uint32_t(-1) : uint32_t(class_id), 0};
    *context::owner_of(ctx) = obj;
    *dst.at() = obj;
}

void finish_object(const Place& dst, bool handlers) {
    if (!handlers) return;
    Cell obj = *dst.at();
    object::set_handlers(&obj, cell::object_context(&obj));
    *dst.at() = obj;
}

static Node new_block_node(uint32_t n) { return series::new_cells(std::max(n, 1u)); }

Node place_function(const Place& dst, Node ctx, uint32_t spec_cells, uint32_t body_cells) {
    Node spec = new_block_node(spec_cells);
    Node body = new_block_node(body_cells);
    Node extra = series::new_cells_unset(function::EXTRA_CELLS);
    SeriesBuffer* eb = node::buffer(extra);
    eb->tail = eb->head + function::EXTRA_CELLS * uint32_t(sizeof(Cell));
    cell::make_series(series::record_cells(eb) + function::EXTRA_BODY, T_BLOCK, body);
    Cell fn{T_FUNCTION, ctx, spec, extra};
    *context::owner_of(ctx) = fn;
    *dst.at() = fn;
    return body;
}

void set_function_part(const Place& dst, uint32_t part, const Cell& block) {
    Cell fn = *dst.at();
    if (part == 1) {
        Cell body;
        cell::make_series(&body, T_BLOCK, cell::series_node(&block), cell::series_index(&block));
        function::extra(&fn)[function::EXTRA_BODY] = body;
        return;
    }
    cell::set_callable_spec(&fn, cell::series_node(&block));
    *context::owner_of(cell::callable_context(&fn)) = fn;
    *dst.at() = fn;
}

// The argument words of a spec, in order, must be the words of the context:
// the evaluator lays a call's frame out from the spec and reads it through
// the context.
static bool is_spec_word(uint32_t t) { return t == T_WORD || t == T_GET_WORD || t == T_LIT_WORD || t == T_REFINEMENT; }

void check_function(Reader& r, const Place& dst) {
    Cell fn = *dst.at();
    const Cell* cc = context::cell_of(cell::callable_context(&fn));
    uint32_t words = context::word_count(cc), k = 0;
    SeriesBuffer* spec = node::buffer(cell::callable_spec(&fn));
    for (uint32_t i = 0; i < series::length(spec); i++) {
        const Cell* c = series::cells(node::buffer(cell::callable_spec(&fn))) + i;
        if (!is_spec_word(cell::type(c))) continue;
        if (k >= words || cell::word_symbol(context::word_at(cc, int32_t(k))) != cell::word_symbol(c)) corrupt(r);
        k++;
    }
    if (k != words) corrupt(r);
}

void finish_native(Reader& r, const Place& dst, uint32_t type, uint32_t index) {
    Cell spec = *dst.at();
    if (cell::type(&spec) != T_BLOCK || index < 1) corrupt(r);
    if (type == T_ACTION ? index > ACTION_COUNT : (index >= natives::table.fill || !natives::routine(index))) {
        corrupt(r);
    }
    cell::set_series_index(&spec, 0);
    native::write_cell(dst.at(), type, index, &spec);
}

void finish_op(Reader& r, const Place& dst) {
    Cell c = *dst.at();
    uint32_t t = cell::type(&c);
    if (t != T_NATIVE && t != T_ACTION && t != T_FUNCTION) corrupt(r);
    if (t == T_FUNCTION) function::extra(&c)[function::EXTRA_OP_SELF] = c;
    c.header = (c.header & ~(HDR_TYPE_MASK | HDR_OP_TYPE_MASK)) | T_OP | (t << HDR_OP_TYPE_SHIFT);
    *dst.at() = c;
}

Node place_error(Reader& r, const Place& dst, uint32_t code) {
    uint32_t category = code / 100, position = code % 100 + 2;
    if (code > 0xFFFF || category >= error::category_count()) corrupt(r);
    const Cell* members = error::category(category);
    if (cell::type(members) != T_OBJECT || position >= object::count_words(members)) corrupt(r);
    Cell e = *error::build(Err(code));
    *dst.at() = e;
    return cell::context_values(context::cell_of(cell::object_context(&e)));
}

Node place_block(const Place& dst, uint32_t type, uint32_t n, uint32_t head) {
    Node b = new_block_node(n);
    Cell c{type, head, b, 0};
    // A hash or map gets its (empty) table at once, so that a copy of it met
    // inside its own contents shares the table that finish fills.
    Cell keys{T_BLOCK, 0, b, 0};
    if (type == T_HASH) cell::set_series_extra(&c, hashtable::make(n, &keys, hashtable::KIND_HASH, 0));
    if (type == T_MAP) cell::set_series_extra(&c, hashtable::make(n / 2, &keys, hashtable::KIND_MAP, 0));
    *dst.at() = c;
    return b;
}

void finish_hash(const Place& dst) { hashtable::put_block(cell::series_extra(dst.at()), 0, 1); }

void finish_map(Reader& r, const Place& dst) {
    Cell m = *dst.at();
    Cell pairs{T_BLOCK, 0, cell::series_node(&m), 0};
    uint32_t n = block::buffer_length(&pairs);
    if (n % 2) corrupt(r);
    for (uint32_t i = 0; i < n; i += 2) {
        Cell* key = block::writable_cell_at(&pairs, i);
        uint32_t t = cell::type(key);
        if (!map::is_key_type_allowed(t)) corrupt(r);
        if (t == T_WORD || t == T_LIT_WORD || t == T_GET_WORD) cell::set_type(key, T_SET_WORD);
        key->header &= ~HDR_NEW_LINE;
        block::writable_cell_at(&pairs, i + 1)->header &= ~HDR_NEW_LINE;
    }
    hashtable::put_block(cell::series_extra(&m), 0, 2);
    if (hashtable::record(cell::series_extra(&m))->count != n / 2) corrupt(r);
}

static void fill_units(Node n, const uint8_t* bytes, uint32_t size) {
    SeriesBuffer* b = node::buffer(n);
    if (size) std::memcpy(series::raw_bytes(b), bytes, size);
    b->tail = b->head + size;
}

void place_string(Reader& r, const Place& dst, uint32_t type, uint32_t head, const uint8_t* bytes,
                  uint32_t count, uint32_t unit) {
    if (unit == 4) {
        for (uint32_t i = 0; i < count; i++) {
            if (get32(bytes + 4 * i) > 0x10FFFF) corrupt(r);
        }
    }
    Cell c;
    string::make_buffer_at(&c, std::max(count, 1u), unit);
    fill_units(cell::series_node(&c), bytes, count * unit);
    c.header = type;
    cell::set_series_index(&c, head);
    *dst.at() = c;
}

void place_binary(const Place& dst, uint32_t head, const uint8_t* bytes, uint32_t count) {
    Cell c;
    binary::init_empty(&c, count);
    fill_units(cell::series_node(&c), bytes, count);
    cell::set_series_index(&c, head);
    *dst.at() = c;
}

void place_vector(Reader& r, const Place& dst, uint32_t head, uint32_t element_type, uint32_t width,
                  const uint8_t* bytes, uint32_t count) {
    if (!vector::is_element_type(element_type)) corrupt(r);
    bool is_real = element_type == T_FLOAT || element_type == T_PERCENT;
    if (is_real ? (width != 4 && width != 8) : (width != 1 && width != 2 && width != 4)) corrupt(r);
    Cell c;
    vector::init_cell(&c, element_type, width, std::max(count, 1u));
    fill_units(cell::series_node(&c), bytes, count * width);
    cell::set_series_index(&c, head);
    *dst.at() = c;
}

void place_bitset(const Place& dst, const uint8_t* bytes, uint32_t count, bool complemented) {
    Cell c;
    bitset::write_cell(&c, count, 0);
    fill_units(cell::series_node(&c), bytes, count);
    if (complemented) series::set_flags(cell::series_node(&c), SER_COMPLEMENT);
    *dst.at() = c;
}

void check_date(Reader& r, uint32_t packed, bool timed, double time) {
    int32_t month = date::month_of(packed), day = date::day_of(packed);
    if (month < 1 || month > 12 || day < 1 || day > date::month_length(date::year_of(packed), month)) corrupt(r);
    if (timed && !std::isfinite(time)) corrupt(r);
}

void check_money(Reader& r, const uint8_t bytes[12]) {
    if (bytes[0] > money::currency_count()) corrupt(r);
    for (int i = 1; i < 12; i++) {
        if ((bytes[i] >> 4) > 9 || (bytes[i] & 15) > 9) corrupt(r);
    }
}

void check_typeset(Reader& r, const Cell* ts) {
    for (uint32_t t = TYPE_COUNT; t < 96; t++) {
        if (typeset::has(ts, t)) corrupt(r);
    }
}

void check_char(Reader& r, uint32_t code_point) {
    if (code_point > 0x10FFFF) corrupt(r);
}

void check_head(Reader& r, uint32_t head, uint32_t length) {
    if (head > length) corrupt(r);
}

}  // namespace zelbin
}  // namespace zel
