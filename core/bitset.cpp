// bitset!: bit storage, the spec dialect, the bitwise core and the actions.
#include "core/bitset.h"

#include <algorithm>
#include <cstring>

#include "core/datatype.h"
#include "core/ownership.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/series.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/support.h"
#include "core/symbol.h"
#include "kernel/stack_guard.h"

namespace zel {
namespace bitset {

// The cell the actions answer when they make a new bitset; the dispatch
// layer copies it at once.
static Cell made;

static Cell datatype_cell(uint32_t type) {
    Cell c;
    cell::make_datatype(&c, type);
    return c;
}

static Cell integer_cell(int64_t v) {
    Cell c;
    cell::make_integer(&c, int32_t(v));
    return c;
}

[[noreturn]] static void out_of_range(int64_t bit) {
    Cell v = integer_cell(bit);
    error::raise(Err::script_out_of_range, &v);
}

// ---- storage ----------------------------------------------------------------

Cell* write_cell(Cell* c, uint32_t bytes, uint8_t fill) {
    Node n = series::new_filled(bytes, fill);
    SeriesBuffer* b = node::buffer(n);
    b->tail = b->head + bytes;
    cell::make_series(c, T_BITSET, n);
    return c;
}

Cell* push(const Cell* b) { return stack::push(b); }

void ensure_bit(const Cell* b, int64_t n) {
    if (n >= MAX_BITS) out_of_range(n);
    SeriesBuffer* buf = buffer_of(b);
    uint32_t end = buf->head + uint32_t(n >> 3) + 1;
    if (end <= buf->tail) return;
    if (end > buf->size) buf = series::expand(buf, end);
    // Bytes between the old tail and the new one may hold anything.
    uint8_t fill = (buf->flags & SER_COMPLEMENT) ? 0xFF : 0x00;
    std::memset(series::data(buf) + buf->tail, fill, end - buf->tail);
    buf->tail = end;
}

uint8_t* locate_byte(const Cell* b, int64_t n) {
    if (n < 0 || (n >> 3) >= int64_t(byte_length(b))) return nullptr;
    return first_byte(b) + (n >> 3);
}

void invert_bytes(const Cell* b) {
    for (uint8_t *p = first_byte(b), *end = tail_address(b); p < end; p++) *p = uint8_t(~*p);
}

static uint8_t mask_of(int64_t n) { return uint8_t(0x80u >> (n & 7)); }

int32_t form_hex(const Cell* b, const Cell* buffer, bool invert, bool has_part, int32_t limit,
                 bool* exhausted) {
    *exhausted = false;
    for (uint32_t i = 0, n = byte_length(b); i < n; i++) {
        if (has_part && limit <= 0) {
            *exhausted = true;
            return limit;
        }
        uint8_t byte = first_byte(b)[i];
        limit = datatype::append_text(buffer, string::byte_to_hex(invert ? uint8_t(~byte) : byte), 2, limit);
    }
    return limit;
}

// ---- the processing routines ----------------------------------------------------

// Applies a setting op to one bit; answers whether a tested bit is a member.
// Bits beyond the stored bytes are members exactly when complemented, so a
// set of a complemented bitset or a clear of a plain one needs no room there.
static bool apply_bit(const Cell* b, Op op, int64_t n) {
    bool complemented = is_complemented(b);
    if (op == OP_TEST) {
        uint8_t* p = locate_byte(b, n);
        return p ? (*p & mask_of(n)) != 0 : complemented;
    }
    if ((op == OP_SET) != complemented) ensure_bit(b, n);
    if (uint8_t* p = locate_byte(b, n)) {
        if (op == OP_SET) *p |= mask_of(n);
        else *p &= uint8_t(~mask_of(n));
    }
    return true;
}

int32_t process_range(const Cell* b, Op op, int64_t low, int64_t high) {
    if (op == OP_MEASURE) return int32_t(high);
    bool complemented = is_complemented(b);
    if (op != OP_TEST && (op == OP_SET) != complemented) ensure_bit(b, high);
    int64_t stored = int64_t(byte_length(b)) * 8;
    if (op == OP_TEST && (low < 0 || high >= stored) && !complemented) return 0;
    for (int64_t n = std::max<int64_t>(low, 0), end = std::min(high, stored - 1); n <= end; n++) {
        if (!apply_bit(b, op, n)) return 0;
    }
    return op == OP_TEST ? 1 : int32_t(high);
}

int32_t process_string(const Cell* b, Op op, const Cell* text) {
    uint32_t length = series::length(node::buffer(cell::series_node(text)));
    int32_t answer = op == OP_TEST ? 1 : -1;
    for (uint32_t i = uint32_t(cell::series_index(text)); i < length; i++) {
        int64_t cp = string::char_at(text, i);
        if (op == OP_TEST) {
            if (!apply_bit(b, op, cp)) return 0;
            continue;
        }
        if (op != OP_MEASURE) apply_bit(b, op, cp);
        answer = std::max(answer, int32_t(cp));
    }
    return answer;
}

// One bit named by a value; a negative bit is refused unless tested.
static int32_t process_bit(const Cell* b, Op op, int64_t n, const Cell* value) {
    if (n < 0 && op != OP_TEST) error::raise(Err::script_out_of_range, value);
    if (op == OP_TEST) return apply_bit(b, op, n) ? 1 : 0;
    if (op != OP_MEASURE) apply_bit(b, op, n);
    return int32_t(n);
}

static bool is_dash(const Cell* c) {
    return cell::type(c) == T_WORD && symbol::resolve(cell::word_symbol(c)) == symbol::resolve(words::symbol(words::S_dash));
}

static bool is_bit_value(const Cell* c) { return cell::type(c) == T_CHAR || cell::type(c) == T_INTEGER; }
static int64_t bit_of(const Cell* c) {
    return cell::type(c) == T_CHAR ? int64_t(cell::get_char(c)) : int64_t(cell::get_int(c));
}

// The range `start - end` at cell i of the block.
static int32_t process_block_range(const Cell* b, Op op, const Cell* block, uint32_t i, uint32_t length) {
    const Cell* cells = series::cells(node::buffer(cell::series_node(block)));
    if (i + 2 >= length) error::raise(Err::script_past_end);
    Cell start = cells[i], end = cells[i + 2];
    if (cell::type(&end) != cell::type(&start)) error::raise(Err::script_invalid_arg, &end);
    int64_t low = bit_of(&start), high = bit_of(&end);
    if (high < low) error::raise(Err::script_past_end);
    if (low < 0 && op != OP_TEST) error::raise(Err::script_out_of_range, &start);
    return process_range(b, op, low, high);
}

static int32_t process_block(const Cell* b, Op op, const Cell* block, bool to_) {
    int32_t answer = op == OP_TEST ? 1 : -1;
    uint32_t length = series::length(node::buffer(cell::series_node(block)));
    for (uint32_t i = uint32_t(cell::series_index(block)); i < length;) {
        // The block cannot move while bits change, but fetch it per cell anyway.
        const Cell* cells = series::cells(node::buffer(cell::series_node(block)));
        int32_t r;
        if (is_bit_value(&cells[i]) && i + 1 < length && is_dash(&cells[i + 1])) {
            r = process_block_range(b, op, block, i, length);
            i += 3;
        } else {
            Cell c = cells[i];
            r = process_spec(b, op, &c, to_);
            i += 1;
        }
        if (op == OP_TEST) {
            if (!r) return 0;
        } else {
            answer = std::max(answer, r);
        }
    }
    return answer;
}

int32_t process_spec(const Cell* b, Op op, const Cell* spec, bool to_) {
    stack_guard::check();  // a spec block may hold itself
    switch (cell::type(spec)) {
    case T_CHAR:
    case T_INTEGER: return process_bit(b, op, bit_of(spec), spec);
    case T_FLOAT: return process_bit(b, op, check::float_range(spec), spec);
    case T_STRING: return process_string(b, op, spec);
    case T_BLOCK: return process_block(b, op, spec, to_);
    case T_BINARY: error::raise(Err::internal_not_done);
    default: {
        Cell type = datatype_cell(T_BITSET);
        error::raise(to_ ? Err::script_bad_to_arg : Err::script_bad_make_arg, &type, spec);
    }
    }
}

// ---- making ---------------------------------------------------------------------

// Cells of a block from its index, and the cell there.
static uint32_t block_length(const Cell* b) {
    uint32_t length = series::length(node::buffer(cell::series_node(b)));
    return uint32_t(cell::series_index(b)) < length ? length - uint32_t(cell::series_index(b)) : 0;
}
static const Cell* block_first(const Cell* b) {
    return series::cells(node::buffer(cell::series_node(b))) + cell::series_index(b);
}

static bool is_not_word(const Cell* c) {
    return cell::type(c) == T_WORD && symbol::resolve(cell::word_symbol(c)) == symbol::resolve(words::symbol(words::S_not_));
}

// The bytes of a binary! from its index become the bit bytes.
static void from_binary(Cell* out, const Cell* bin, bool complemented) {
    SeriesBuffer* src = node::buffer(cell::series_node(bin));
    uint32_t from = std::min<uint32_t>(uint32_t(cell::series_index(bin)), series::length(src));
    uint32_t count = series::length(src) - from;
    if (count > MAX_BITS / 8) out_of_range(int64_t(count) * 8);
    write_cell(out, count, 0);
    std::memcpy(first_byte(out), series::head_ptr(node::buffer(cell::series_node(bin))) + from, count);
    if (!complemented) return;
    invert_bytes(out);
    series::set_flags(cell::series_node(out), SER_COMPLEMENT);
}

// A size in bits, rounded up to whole bytes, all clear.
static void from_size(Cell* out, const Cell* spec) {
    int64_t bits = check::float_range(spec);
    if (bits < 0) error::raise(Err::script_out_of_range, spec);
    int64_t rounded = (bits + 7) & ~int64_t(7);
    if (rounded > MAX_BITS) error::raise(Err::script_out_of_range, spec);
    write_cell(out, uint32_t(rounded / 8), 0);
}

// Two passes: measure the highest bit, then set (or, complemented, clear)
// the bits named in a buffer just large enough.
static void from_dialect(Cell* out, const Cell* spec, bool complemented, bool to_) {
    int64_t highest = process_spec(nullptr, OP_MEASURE, spec, to_);
    int64_t bits = (highest + 8) & ~int64_t(7);
    if (bits > MAX_BITS) out_of_range(highest);
    write_cell(out, uint32_t(bits / 8), complemented ? 0xFF : 0x00);
    if (complemented) series::set_flags(cell::series_node(out), SER_COMPLEMENT);
    process_spec(out, complemented ? OP_CLEAR : OP_SET, spec, to_);
}

void make_from_spec(Cell* out, Cell* spec, bool to_) {
    Cell rest = *spec;
    bool complemented = false;
    if (cell::type(spec) == T_BLOCK && block_length(spec) > 0 && is_not_word(block_first(spec))) {
        complemented = true;
        cell::set_series_index(&rest, cell::series_index(&rest) + 1);
        if (block_length(&rest) > 0 && cell::type(block_first(&rest)) == T_BINARY) rest = *block_first(&rest);
    }
    switch (cell::type(&rest)) {
    case T_INTEGER:
    case T_FLOAT:
        if (to_) {
            Cell type = datatype_cell(T_BITSET);
            error::raise(Err::script_bad_to_arg, &type, spec);
        }
        return from_size(out, &rest);
    case T_BITSET:
        cell::make_series(out, T_BITSET, series::copy_part(cell::series_node(&rest), 0, byte_length(&rest)));
        return;
    case T_BINARY: return from_binary(out, &rest, complemented);
    default: return from_dialect(out, &rest, complemented, to_);
    }
}

const Cell* make(Cell*, Cell* spec, uint32_t) {
    make_from_spec(&made, spec, false);
    return &made;
}

const Cell* to(Cell*, Cell* spec, uint32_t) {
    make_from_spec(&made, spec, true);
    return &made;
}


// ---- text -------------------------------------------------------------------------

// form and mold write the same text; under /part the digits stop once the
// budget is spent and nothing follows them.
static int32_t text(const Cell* value, const Cell* buffer, bool has_part, int32_t limit) {
    bool complemented = is_complemented(value);
    limit = datatype::append_text(buffer, "make bitset! ", 13, limit);
    if (complemented) limit = datatype::append_text(buffer, "[not ", 5, limit);
    limit = datatype::append_text(buffer, "#{", 2, limit);
    bool exhausted;
    limit = form_hex(value, buffer, complemented, has_part, limit, &exhausted);
    if (exhausted) return limit;
    limit = datatype::append_text(buffer, "}", 1, limit);
    return complemented ? datatype::append_text(buffer, "]", 1, limit) : limit;
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t limit) {
    return text(value, buffer, part != nullptr, limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return text(value, buffer, part != nullptr, limit);
}

// ---- comparison -------------------------------------------------------------------

// Length first, then the complement flag, then the bytes from the last one.
int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (cell::type(value2) != T_BITSET) return -2;
    if (op == 9) return cell::series_node(value1) == cell::series_node(value2) ? 0 : 1;
    uint32_t n1 = byte_length(value1), n2 = byte_length(value2);
    if (n1 != n2) return n1 < n2 ? -1 : 1;
    if (n1 == 0) return 0;
    bool c1 = is_complemented(value1), c2 = is_complemented(value2);
    if (c1 != c2) return c1 ? 1 : -1;
    const uint8_t *p1 = first_byte(value1), *p2 = first_byte(value2);
    for (uint32_t i = n1; i-- > 0;) {
        if (p1[i] != p2[i]) return p1[i] < p2[i] ? -1 : 1;
    }
    return 0;
}

// ---- the bitwise core -------------------------------------------------------------

static uint8_t combine(int32_t op, uint8_t a, uint8_t b) {
    switch (op) {
    case 5: case 9: return a | b;
    case 6: case 10: return a & b;
    case 7: case 12: return a ^ b;
    default: return uint8_t(a & ~b);  // 11, exclude
    }
}

// The operands combine as the sets they stand for: a byte beyond an operand's
// stored bytes is 255 when it is complemented (every such bit is a member),
// else 0, and the result is complemented when the op gives a member there.
// So the union of two complemented sets stays complemented, and the and~ of
// a complemented set with a shorter plain one keeps the longer one's bytes.
void do_bitwise(int32_t op) {
    Cell* a = stack::arg(0);
    Cell* b = stack::arg(1);
    if (cell::type(b) != T_BITSET) {
        Cell type = datatype_cell(cell::type(b));
        error::raise(Err::script_invalid_type, &type);
    }
    if (op == 8) return;
    uint32_t na = byte_length(a), nb = byte_length(b);
    uint8_t ea = is_complemented(a) ? 0xFF : 0x00, eb = is_complemented(b) ? 0xFF : 0x00;
    bool shorter_plain = na < nb ? ea == 0 : eb == 0;
    uint32_t length = op == 6 && shorter_plain ? std::min(na, nb) : std::max(na, nb);
    Cell r;
    write_cell(&r, length, 0);
    uint8_t* pr = first_byte(&r);
    const uint8_t *pa = first_byte(a), *pb = first_byte(b);
    for (uint32_t i = 0; i < length; i++) pr[i] = combine(op, i < na ? pa[i] : ea, i < nb ? pb[i] : eb);
    if (combine(op, ea, eb)) series::set_flags(cell::series_node(&r), SER_COMPLEMENT);
    *a = r;
}

void and_() { do_bitwise(6); }
void or_() { do_bitwise(5); }
void xor_() { do_bitwise(7); }

const Cell* complement(Cell* value) {
    cell::make_series(&made, T_BITSET, series::copy_part(cell::series_node(value), 0, byte_length(value)));
    invert_bytes(&made);
    buffer_of(&made)->flags ^= SER_COMPLEMENT;
    return &made;
}

// ---- changing bits ----------------------------------------------------------------

// The owner hears of a change to the whole bitset: index 0 and its bytes.
static bool announce(const Cell* b, const Cell* action, const Cell* value) {
    return ownership::notify(b, action, value, 0, int32_t(byte_length(b)));
}

// Sets or clears the bits a spec names, announced to the owner with the
// action's two words. The spec is measured first, so that a spec the dialect
// refuses changes nothing and is not announced.
static void change_bits(const Cell* b, Op op, const Cell* spec, const Cell* action, const Cell* done) {
    int32_t highest = process_spec(nullptr, OP_MEASURE, spec, false);
    if (highest >= MAX_BITS && (op == OP_SET) != is_complemented(b)) out_of_range(highest);
    bool owned = announce(b, action, spec);
    process_spec(b, op, spec, false);
    if (owned) announce(b, done, spec);
}

const Cell* insert(Cell* series, Cell* value, int32_t, bool, int32_t, bool) {
    change_bits(series, OP_SET, value, words::keyword(words::K_insert), words::word(words::W_inserted));
    return series;
}

// A cleared bitset is empty: no member, stored or beyond.
const Cell* clear(Cell* value) {
    bool owned = announce(value, words::word(words::W_clear), &statics::none_cell);
    SeriesBuffer* b = buffer_of(value);
    std::memset(series::raw_bytes(b), 0, series::length(b));
    b->flags &= ~SER_COMPLEMENT;
    if (owned) announce(value, words::word(words::W_cleared), &statics::none_cell);
    return value;
}

const Cell* remove(Cell* series, Cell* part, Cell*) {
    if (!part) error::raise(Err::script_missing_arg);
    change_bits(series, OP_CLEAR, part, words::keyword(words::K_remove), words::word(words::W_removed));
    return series;
}

static bool clears(const Cell* value) {
    switch (cell::type(value)) {
    case T_NONE: return true;
    case T_LOGIC: return cell::get_logic(value) == 0;
    case T_INTEGER: return cell::get_int(value) == 0;
    case T_FLOAT: return cell::get_float(value) == 0.0;
    default: return false;
    }
}

const Cell* poke(Cell* series, int32_t, Cell* index_cell, Cell* value) {
    Op op = clears(value) ? OP_CLEAR : OP_SET;
    change_bits(series, op, index_cell, words::word(words::W_poke), words::word(words::W_poked));
    return value;
}

// ---- reading ----------------------------------------------------------------------

const Cell* pick(Cell* series, int32_t, Cell* index_cell) {
    return process_spec(series, OP_TEST, index_cell, false) ? &statics::true_cell : &statics::false_cell;
}

const Cell* find(Cell* series, Cell* value, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool, bool,
                 bool) {
    return process_spec(series, OP_TEST, value, false) ? &statics::true_cell : &statics::none_cell;
}

int32_t length(Cell* value) { return int32_t(byte_length(value) * 8); }

const Cell* copy(Cell* value, Cell*, bool, Cell*) {
    cell::make_series(&made, T_BITSET, series::copy_part(cell::series_node(value), 0, byte_length(value)));
    return &made;
}

const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell*, Cell*, Cell*, int32_t, bool, bool,
                      bool, bool) {
    if (!is_bit_value(element)) {
        Cell type = datatype_cell(cell::type(element));
        error::raise(Err::script_invalid_type, &type);
    }
    if (!value) return pick(parent, 0, element);
    return poke(parent, 0, element, value);
}

void init() {
    datatype::register_({.id = T_BITSET, .parent = 0, .name = "bitset!", .make = make,
                         .reflect = series::reflect, .to = to, .form = form, .mold = mold,
                         .eval_path = eval_path, .compare = compare, .negate = complement, .and_ = and_,
                         .complement = complement, .or_ = or_, .xor_ = xor_, .append = insert,
                         .clear = clear, .copy = copy, .find = find, .insert = insert, .is_length = length,
                         .pick = pick, .poke = poke, .remove = remove, .modify = series::modify});
}

}  // namespace bitset
}  // namespace zel
