// pair!: construction, coordinate arithmetic (with the move to point2D!
// when a coordinate leaves the 32-bit range), comparison, rounding, text,
// coordinate access and the registration of its action row.
#include "datatypes/pair.h"

#include <cmath>
#include <cstdio>

#include "core/compare_common.h"
#include "core/datatype.h"
#include "core/integer.h"
#include "core/number_internal.h"
#include "core/ownership.h"
#include "core/raise.h"
#include "core/random.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/symbol.h"
#include "datatypes/point.h"
#include "kernel/memory.h"

namespace zel {
namespace pair {

using namespace number;

// An answer of make and of a coordinate read, which the caller copies at once.
static Cell answer;

// ---- cells --------------------------------------------------------------------

void init_slot(Cell* slot, int32_t x, int32_t y) {
    *slot = Cell{T_PAIR | (slot->header & HDR_NEW_LINE), 0, uint32_t(x), uint32_t(y)};
}

Cell* push_new(int32_t x, int32_t y) {
    Cell* c = stack::push_slot();
    init_cell(c, x, y);
    return c;
}

void to_point(Cell* c) { point2D::init_cell(c, float(x_of(c)), float(y_of(c))); }

// A float! or percent! as a coordinate: truncated toward zero; a value that
// is not finite or does not fit 32 bits is an invalid argument.
static int32_t coordinate_of(const Cell* f, double d) {
    d = std::trunc(d);
    if (!fits_int32(d)) error::raise(Err::script_invalid_arg, f);
    return int32_t(d);
}

// ---- make and to --------------------------------------------------------------

static int32_t number_of(const Cell* v) {
    return cell::type(v) == T_INTEGER ? cell::get_int(v) : coordinate_of(v, cell::get_float(v));
}

// [x y ...]: the first two values, integers or floats.
static void of_block(const Cell* spec) {
    SeriesBuffer* b = node::buffer(cell::series_node(spec));
    uint32_t index = uint32_t(cell::series_index(spec)), length = series::length(b);
    if (index > length || length - index < 2) error::raise(Err::syntax_malconstruct, spec);
    const Cell* v = series::cells(b) + index;
    if (!point::is_number(v) || !point::is_number(v + 1)) error::raise(Err::syntax_malconstruct, spec);
    init_cell(&answer, number_of(v), number_of(v + 1));
}

// Also the to action.
const Cell* make(Cell*, Cell* spec, uint32_t) {
    switch (cell::type(spec)) {
    case T_PAIR: answer = *spec; break;
    case T_INTEGER: init_cell(&answer, cell::get_int(spec), cell::get_int(spec)); break;
    case T_FLOAT: init_cell(&answer, number_of(spec), number_of(spec)); break;
    case T_POINT2D:
        init_cell(&answer, coordinate_of(spec, point::get(spec, 0)),
                  coordinate_of(spec, point::get(spec, 1)));
        break;
    case T_BLOCK: of_block(spec); break;
    case T_STRING: {
        const Cell* v = load::value_from_string(spec);
        if (cell::type(v) != T_PAIR) raise_bad_to(T_PAIR, spec);
        answer = *v;
        break;
    }
    default: raise_bad_to(T_PAIR, spec);
    }
    cell::clear_flag(&answer);
    return &answer;
}

// ---- arithmetic ---------------------------------------------------------------

// One coordinate by the integer rules; false when the result leaves the
// 32-bit range (the smallest integer divided by -1 included).
static bool coordinate_op(int32_t a, int32_t b, int32_t op, int32_t* r) {
    switch (op) {
    case OP_ADD: return !__builtin_add_overflow(a, b, r);
    case OP_SUBTRACT: return !__builtin_sub_overflow(a, b, r);
    case OP_MULTIPLY: return !__builtin_mul_overflow(a, b, r);
    case OP_DIVIDE:
    case OP_REMAINDER:
        if (b == 0) error::raise(Err::math_zero_divide);
        if (a == INT32_MIN && b == -1) {
            *r = 0;
            return op == OP_REMAINDER;
        }
        *r = op == OP_DIVIDE ? a / b : a % b;
        return true;
    default: *r = integer::arith_op(a, b, op, nullptr); return true;
    }
}

// The result slot (op) the integers bx and by; a result out of range is
// computed again on point2D! values, the next argument being the pair or
// integer the numbers came from.
static void with_integers(int32_t bx, int32_t by, int32_t op, bool pair_operand) {
    Cell* left = stack::arg(0);
    int32_t rx, ry;
    if (coordinate_op(x_of(left), bx, op, &rx) && coordinate_op(y_of(left), by, op, &ry)) {
        init_cell(left, rx, ry);
        return;
    }
    to_point(left);
    if (pair_operand) to_point(stack::arg(1));
    else cell::make_integer(stack::arg(1), bx);
    point2D::arithmetic(op);
}

// A float multiplies or divides into a point2D!; any other operation takes
// it as an integer.
static void with_float(const Cell* right, int32_t op) {
    double f = cell::get_float(right);
    if (op == OP_DIVIDE ? std::isnan(f) : !std::isfinite(f)) error::raise(Err::script_invalid_arg, right);
    if (op != OP_MULTIPLY && op != OP_DIVIDE) {
        int32_t n = coordinate_of(right, f);
        return with_integers(n, n, op, false);
    }
    Cell* left = stack::arg(0);
    double x = x_of(left), y = y_of(left);
    if (op == OP_MULTIPLY) point2D::init_cell(left, float(x * f), float(y * f));
    else point2D::init_cell(left, float(x / f), float(y / f));
}

void arithmetic(int32_t op) {
    Cell* right = stack::arg(1);
    switch (cell::type(right)) {
    case T_INTEGER: return with_integers(cell::get_int(right), cell::get_int(right), op, false);
    case T_PAIR: return with_integers(x_of(right), y_of(right), op, true);
    case T_FLOAT:
    case T_PERCENT: return with_float(right, op);
    case T_POINT2D:
        to_point(stack::arg(0));
        return point2D::arithmetic(op);
    default: raise_invalid_type(right);
    }
}

template <int32_t OP>
static void math() {
    arithmetic(OP);
}

// A float is taken by its whole part, as by every operation but multiply
// and divide; only the smallest integer by -1 leaves the range, and its
// remainder is 0.
static void scalar_remainder() {
    Cell* pair = stack::arg(0);
    int32_t n = number_of(stack::arg(1)), rx, ry;
    coordinate_op(n, x_of(pair), OP_REMAINDER, &rx);
    coordinate_op(n, y_of(pair), OP_REMAINDER, &ry);
    init_cell(pair, rx, ry);
}

static int32_t negated(int32_t v) {
    if (v == INT32_MIN) error::raise(Err::math_overflow);
    return -v;
}

const Cell* negate(Cell* value) {
    init_cell(value, negated(x_of(value)), negated(y_of(value)));
    return value;
}

void negate_result() { negate(stack::arg(0)); }

void absolute() {
    Cell* v = stack::arg(0);
    init_cell(v, integer::abs_checked(x_of(v)), integer::abs_checked(y_of(v)));
}

const Cell* reverse(Cell* value, Cell*, Cell*) {
    init_cell(value, y_of(value), x_of(value));
    return value;
}

// Each coordinate as random of that integer gives it (0 stays 0).
static const Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(x_of(value) ^ y_of(value));
        return &statics::unset_cell;
    }
    int32_t x = random::in_range(secure, x_of(value));
    init_cell(value, x, random::in_range(secure, y_of(value)));
    return value;
}

// ---- round --------------------------------------------------------------------

// One coordinate by the integer rounding; a float scale gives a float,
// which goes back toward zero to a whole coordinate.
static int32_t round_coordinate(int32_t v, Cell* scale, bool even, bool down, bool half_down, bool floor,
                                bool ceiling, bool half_ceiling) {
    Cell c;
    cell::make_integer(&c, v);
    integer::round(&c, scale, even, down, half_down, floor, ceiling, half_ceiling);
    if (cell::type(&c) == T_INTEGER) return cell::get_int(&c);
    return whole_to_int32(std::trunc(cell::get_float(&c)));
}

const Cell* round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                  bool ceiling, bool half_ceiling) {
    refuse_money_scale(scale);
    Cell sx, sy;
    Cell* scale_x = scale;
    Cell* scale_y = scale;
    if (scale && cell::type(scale) == T_PAIR) {
        cell::make_integer(&sx, x_of(scale));
        cell::make_integer(&sy, y_of(scale));
        scale_x = &sx;
        scale_y = &sy;
    }
    int32_t x = round_coordinate(x_of(value), scale_x, even, down, half_down, floor, ceiling, half_ceiling);
    int32_t y = round_coordinate(y_of(value), scale_y, even, down, half_down, floor, ceiling, half_ceiling);
    init_cell(value, x, y);
    return value;
}

// ---- text and compare ---------------------------------------------------------

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    char text[32];
    int n = std::snprintf(text, sizeof text, "%dx%d", x_of(value), y_of(value));
    return datatype::append_text(buffer, text, uint32_t(n), limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (cell::type(value2) == T_POINT2D) {
        Cell p = *value1;
        to_point(&p);
        return point2D::compare(&p, value2, op);
    }
    if (cell::type(value2) != T_PAIR) return -2;
    int32_t r = compare_common::three_way(x_of(value1), x_of(value2));
    return r ? r : compare_common::three_way(y_of(value1), y_of(value2));
}

// ---- coordinates --------------------------------------------------------------

enum Coordinate : int32_t { NONE = 0, X = 1, Y = 2 };

static Coordinate coordinate_of_word(const Cell* word) {
    uint32_t s = symbol::resolve(cell::word_symbol(word));
    if (s == symbol::resolve(words::symbol(words::S_x))) return X;
    if (s == symbol::resolve(words::symbol(words::S_y))) return Y;
    return NONE;
}

static const Cell* read(const Cell* value, Coordinate c) {
    cell::make_integer(&answer, c == X ? x_of(value) : y_of(value));
    return &answer;
}

const Cell* pick(Cell* value, int32_t index, Cell* index_cell) {
    Coordinate c = NONE;
    if (cell::type(index_cell) == T_WORD) {
        c = coordinate_of_word(index_cell);
        if (c == NONE) error::raise(Err::script_cannot_use, index_cell, value);
    } else if (cell::type(index_cell) == T_INTEGER && (index == X || index == Y)) {
        c = Coordinate(index);
    }
    if (c == NONE) error::raise(Err::script_out_of_range, index_cell);
    return read(value, c);
}

const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t, bool, bool, bool, bool notify) {
    Coordinate c = NONE;
    if (cell::type(element) == T_INTEGER) {
        int32_t k = cell::get_int(element);
        if (k != X && k != Y) error::raise(Err::script_out_of_range, element);
        c = Coordinate(k);
    } else if (cell::type(element) == T_WORD) {
        c = coordinate_of_word(element);
    }
    if (c == NONE) error::raise(Err::script_invalid_path, path, element);
    if (!value) return read(parent, c);
    if (cell::type(value) != T_INTEGER) raise_invalid_type(value);
    Cell old = *parent;
    if (c == X) set_x(parent, cell::get_int(value));
    else set_y(parent, cell::get_int(value));
    if (notify && prev_value) ownership::notify_holder(prev_value, prev_element, &old, parent);
    return value;
}

void register_type() {
    datatype::register_({.id = T_PAIR, .parent = 0, .name = "pair!", .make = make, .random = random,
                         .to = make,
                         .form = form, .mold = mold, .eval_path = eval_path, .compare = compare,
                         .absolute = absolute, .add = math<OP_ADD>, .divide = math<OP_DIVIDE>,
                         .multiply = math<OP_MULTIPLY>, .negate = negate,
                         .remainder = math<OP_REMAINDER>, .round = round,
                         .subtract = math<OP_SUBTRACT>, .and_ = math<OP_AND>, .or_ = math<OP_OR>,
                         .xor_ = math<OP_XOR>, .pick = pick, .reverse = reverse});
    seams.arithmetic[T_PAIR] = arithmetic;
    seams.negate[T_PAIR] = negate_result;
    seams.scalar_remainder[T_PAIR] = scalar_remainder;
}

}  // namespace pair
}  // namespace zel
