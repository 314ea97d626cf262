// tuple!: cells, construction (blocks, colour issues, binaries, text), the
// clamped byte arithmetic, comparison, text, byte access and the
// registration of its action row.
#include "datatypes/tuple.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/compare_common.h"
#include "core/datatype.h"
#include "core/float.h"
#include "core/integer.h"
#include "core/number_internal.h"
#include "core/ownership.h"
#include "core/raise.h"
#include "core/random.h"
#include "core/stack.h"
#include "core/string_actions.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "datatypes/binary.h"
#include "kernel/memory.h"
#include "kernel/unicode.h"

namespace zel {
namespace tuple {

using namespace number;

// An answer of make and of a byte read, which the caller copies at once.
static Cell answer;

// ---- cells --------------------------------------------------------------------

void init_cell(Cell* c, const uint8_t* source, uint32_t n) {
    *c = Cell{T_TUPLE | n << COUNT_SHIFT, 0, 0, 0};
    std::memcpy(bytes(c), source, n);
}

Cell* push_words(uint32_t n, uint32_t word1, uint32_t word2, uint32_t word3) {
    Cell* c = stack::push_slot();
    *c = Cell{T_TUPLE | n << COUNT_SHIFT, word1, word2, word3};
    return c;
}

void write_colour(Cell* c, uint8_t red, uint8_t green, uint8_t blue, int32_t alpha) {
    const uint8_t channels[] = {red, green, blue, uint8_t(alpha)};
    init_cell(c, channels, alpha < 0 ? 3 : 4);
}

bool is_all_zero(const Cell* c) {
    const uint8_t* b = bytes(c);
    return std::all_of(b, b + count(c), [](uint8_t x) { return x == 0; });
}

// Cuts the tuple before byte `at` (0-based): the bytes from there on become
// 0 and the count is `at`, but never below 3.
static void cut(Cell* c, uint32_t at) {
    std::memset(bytes(c) + at, 0, MAX_BYTES - at);
    uint32_t n = std::max(at, 3u);
    c->header = (c->header & ~(0xFu << COUNT_SHIFT)) | n << COUNT_SHIFT;
}

// ---- make and to --------------------------------------------------------------

// A value of a block spec as a byte: an integer, a char's code or a float
// truncated toward zero, in 0..255.
static bool byte_of(const Cell* v, uint8_t* out) {
    double d;
    switch (cell::type(v)) {
    case T_INTEGER:
    case T_CHAR: d = cell::get_int(v); break;
    case T_FLOAT: d = std::trunc(cell::get_float(v)); break;
    default: return false;
    }
    if (!(d >= 0 && d <= 255)) return false;
    *out = uint8_t(d);
    return true;
}

static void of_block(const Cell* spec) {
    SeriesBuffer* b = node::buffer(cell::series_node(spec));
    uint32_t index = uint32_t(cell::series_index(spec)), length = series::length(b);
    uint32_t n = index < length ? length - index : 0;
    if (n > MAX_BYTES) raise_bad_to(T_TUPLE, spec);
    uint8_t out[MAX_BYTES] = {};
    for (uint32_t i = 0; i < n; i++)
        if (!byte_of(series::cells(b) + index + i, out + i)) raise_bad_to(T_TUPLE, spec);
    init_cell(&answer, out, std::max(n, 3u));
}

// A colour: 3 digits (each doubled into both nibbles), 6 digits, or 8 digits
// with alpha.
static void of_issue(const Cell* issue) {
    uint32_t length;
    const uint8_t* name = symbol::name_of(symbol::get(cell::word_symbol(issue)), &length);
    if (length != 3 && length != 6 && length != 8) error::raise(Err::script_invalid_data, issue);
    uint8_t out[4] = {};
    uint32_t step = length == 3 ? 1 : 2;
    for (uint32_t i = 0; i < length; i += step) {
        int32_t high = ascii::hex_digit(name[i]), low = ascii::hex_digit(name[i + step - 1]);
        if (high < 0 || low < 0) error::raise(Err::script_invalid_data, issue);
        out[i / step] = uint8_t(high << 4 | low);
    }
    init_cell(&answer, out, length == 8 ? 4 : 3);
}

static void of_binary(const Cell* spec) {
    uint8_t out[MAX_BYTES] = {};
    uint32_t n = std::min(binary::length(spec), MAX_BYTES);
    if (n) std::memcpy(out, binary::head_address(spec), n);
    init_cell(&answer, out, std::max(n, 3u));
}

// Also the to action.
const Cell* make(Cell*, Cell* spec, uint32_t) {
    if (types::is_any_string(spec)) {
        const Cell* v = load::value_from_string(spec);
        if (cell::type(v) != T_TUPLE) raise_bad_to(T_TUPLE, spec);
        answer = *v;
        cell::clear_flag(&answer);
        return &answer;
    }
    switch (cell::type(spec)) {
    case T_BLOCK:
    case T_PAREN:
    case T_HASH: of_block(spec); break;
    case T_ISSUE: of_issue(spec); break;
    case T_BINARY: of_binary(spec); break;
    case T_TUPLE:
        answer = *spec;
        cell::clear_flag(&answer);
        break;
    default: raise_bad_to(T_TUPLE, spec);
    }
    return &answer;
}

// ---- arithmetic ---------------------------------------------------------------

static uint8_t clamp(int64_t v) { return uint8_t(std::clamp<int64_t>(v, 0, 255)); }

// NaN counts as 0.
static uint8_t clamp_float(double v) {
    if (!(v > 0)) return 0;
    return v >= 255 ? 255 : uint8_t(v);
}

// One byte with an integer by the integer rules, in 64 bits, where a byte
// and a 32-bit integer cannot overflow: an out-of-range result clamps as
// the overflow rule says.
static int64_t byte_op(int64_t a, int64_t b, int32_t op) {
    switch (op) {
    case OP_ADD: return a + b;
    case OP_SUBTRACT: return a - b;
    case OP_MULTIPLY: return a * b;
    case OP_DIVIDE:
    case OP_REMAINDER:
        if (b == 0) error::raise(Err::math_zero_divide);
        return op == OP_DIVIDE ? a / b : a % b;
    default: return integer::arith_op(int32_t(a), int32_t(b), op, nullptr);
    }
}

// The result is computed aside, so an error leaves the operands as they were.
// With scalar_first the number in the next argument is the left operand of
// each byte.
static void compute(int32_t op, bool scalar_first) {
    Cell* left = stack::arg(0);
    const Cell* right = stack::arg(1);
    uint8_t out[MAX_BYTES] = {};
    const uint8_t* a = bytes(left);
    uint32_t n = count(left);
    switch (cell::type(right)) {
    case T_INTEGER: {
        int64_t v = cell::get_int(right);
        for (uint32_t i = 0; i < n; i++) out[i] = clamp(scalar_first ? byte_op(v, a[i], op) : byte_op(a[i], v, op));
        break;
    }
    case T_TUPLE:
        n = std::max(n, count(right));
        for (uint32_t i = 0; i < n; i++) out[i] = clamp(byte_op(a[i], bytes(right)[i], op));
        break;
    case T_FLOAT:
    case T_PERCENT: {
        double f = cell::get_float(right);
        for (uint32_t i = 0; i < n; i++) {
            double r = scalar_first ? float_::arith_op(f, a[i], op) : float_::arith_op(a[i], f, op);
            out[i] = clamp_float(std::trunc(r));
        }
        break;
    }
    default: raise_invalid_type(right);
    }
    init_cell(left, out, n);
}

void arithmetic(int32_t op) { compute(op, false); }

static void scalar_remainder() { compute(OP_REMAINDER, true); }

template <int32_t OP>
static void math() {
    arithmetic(OP);
}

const Cell* complement(Cell* value) {
    uint8_t* b = bytes(value);
    for (uint32_t i = 0; i < count(value); i++) b[i] = uint8_t(~b[i]);
    return value;
}

// Each byte b becomes a uniform draw in 0..b.
static const Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(int32_t(value->w1 ^ value->w2 ^ value->w3));
        return &statics::unset_cell;
    }
    uint8_t* b = bytes(value);
    for (uint32_t i = 0; i < count(value); i++) b[i] = uint8_t(random::in_range(secure, b[i] + 1) - 1);
    return value;
}

// ---- text and compare ---------------------------------------------------------

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    char text[MAX_BYTES * 4];
    char* p = text;
    for (uint32_t i = 0; i < count(value); i++) {
        if (i) *p++ = '.';
        const char* digits = integer::form_signed(bytes(value)[i]);
        size_t n = std::strlen(digits);
        std::memcpy(p, digits, n);
        p += n;
    }
    return datatype::append_text(buffer, text, uint32_t(p - text), limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

// Up to the longer count, a missing byte being 0: 1.2.3 equals 1.2.3.0.
int32_t compare(Cell* value1, Cell* value2, int32_t) {
    if (cell::type(value2) != T_TUPLE) return -2;
    uint32_t n = std::max(count(value1), count(value2));
    for (uint32_t i = 0; i < n; i++)
        if (int32_t r = compare_common::three_way(bytes(value1)[i], bytes(value2)[i])) return r;
    return 0;
}

// ---- bytes --------------------------------------------------------------------

int32_t length(Cell* value) { return int32_t(count(value)); }

static const Cell* read(const Cell* value, int32_t index, const Cell* index_cell) {
    if (index < 1 || uint32_t(index) > count(value)) error::raise(Err::script_out_of_range, index_cell);
    cell::make_integer(&answer, bytes(value)[index - 1]);
    return &answer;
}

const Cell* pick(Cell* value, int32_t index, Cell* index_cell) { return read(value, index, index_cell); }

// Setting none cuts the tuple before the index (at least 3 bytes stay).
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell*, Cell* prev_value, Cell* prev_element,
                      int32_t, bool, bool, bool, bool notify) {
    if (cell::type(element) != T_INTEGER) raise_invalid_type(element);
    int32_t k = cell::get_int(element);
    if (!value) return read(parent, k, element);
    if (k < 1 || uint32_t(k) > count(parent)) error::raise(Err::script_out_of_range, element);
    Cell old = *parent;
    switch (cell::type(value)) {
    case T_INTEGER: bytes(parent)[k - 1] = clamp(cell::get_int(value)); break;
    case T_NONE: cut(parent, uint32_t(k - 1)); break;
    default: raise_invalid_type(value);
    }
    if (notify && prev_value) ownership::notify_holder(prev_value, prev_element, &old, parent);
    return value;
}

// With /part, the first n bytes only.
const Cell* reverse(Cell* value, Cell* part, Cell*) {
    uint32_t n = count(value);
    if (part) {
        int32_t k = cell::type(part) == T_INTEGER ? cell::get_int(part) : -1;
        if (k < 0) error::raise(Err::script_out_of_range, part);
        n = std::min(n, uint32_t(k));
    }
    std::reverse(bytes(value), bytes(value) + n);
    return value;
}

void register_type() {
    datatype::register_({.id = T_TUPLE, .parent = 0, .name = "tuple!", .make = make, .random = random,
                         .to = make,
                         .form = form, .mold = mold, .eval_path = eval_path, .compare = compare,
                         .add = math<OP_ADD>, .divide = math<OP_DIVIDE>,
                         .multiply = math<OP_MULTIPLY>, .remainder = math<OP_REMAINDER>,
                         .subtract = math<OP_SUBTRACT>, .and_ = math<OP_AND>,
                         .complement = complement, .or_ = math<OP_OR>, .xor_ = math<OP_XOR>,
                         .is_length = length, .pick = pick, .reverse = reverse});
    seams.arithmetic[T_TUPLE] = arithmetic;
    seams.scalar_remainder[T_TUPLE] = scalar_remainder;
}

}  // namespace tuple
}  // namespace zel
