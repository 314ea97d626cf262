// point2D! and point3D!: construction, arithmetic, comparison, rounding,
// text, component access and the registration of both action rows. Every
// routine reads the number of components from the value's type.
#include "datatypes/point.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "core/datatype.h"
#include "core/float.h"
#include "core/integer.h"
#include "core/murmur.h"
#include "core/number_internal.h"
#include "core/ownership.h"
#include "core/raise.h"
#include "core/random.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/support.h"
#include "core/symbol.h"
#include "datatypes/pair.h"
#include "kernel/floattext.h"
#include "kernel/memory.h"

namespace zel {
namespace point {

void init(Cell* c, uint32_t type, const float* components) {
    *c = Cell{type, 0, 0, 0};
    for (uint32_t i = 0; i < dimension(type); i++) put(c, i, components[i]);
}

namespace {

using namespace number;

// An answer of make and of a component read, which the caller copies at once.
Cell answer;

uint32_t dim(const Cell* c) { return dimension(cell::type(c)); }

// ---- make and to --------------------------------------------------------------

// [x y] or [x y z]: the first values of the block, each an integer! or a
// float!; anything else is a malformed construction.
void of_block(const Cell* spec, uint32_t n, float* out) {
    SeriesBuffer* b = node::buffer(cell::series_node(spec));
    uint32_t index = uint32_t(cell::series_index(spec)), length = series::length(b);
    if (index > length || length - index < n) error::raise(Err::syntax_malconstruct, spec);
    const Cell* values = series::cells(b) + index;
    for (uint32_t i = 0; i < n; i++) {
        if (!is_number(values + i)) error::raise(Err::syntax_malconstruct, spec);
        out[i] = float(number_of(values + i));
    }
}

void of_text(Cell* spec, uint32_t type, float* out) {
    const Cell* v = load::value_from_string(spec);
    if (cell::type(v) != type) raise_bad_to(type, spec);
    for (uint32_t i = 0; i < dimension(type); i++) out[i] = get(v, i);
}

// Also the to action. A pair! or a point2D! made into a point3D! has z 0.
const Cell* make(Cell*, Cell* spec, uint32_t type) {
    uint32_t n = dimension(type);
    float c[3] = {0, 0, 0};
    Cell point;
    if (cell::type(spec) == T_PAIR) {
        point = *spec;
        pair::to_point(&point);
        spec = &point;
    }
    switch (cell::type(spec)) {
    case T_INTEGER:
    case T_FLOAT: c[0] = c[1] = c[2] = float(number_of(spec)); break;
    case T_POINT2D:
    case T_POINT3D:
        if (dim(spec) > n) raise_bad_to(type, spec);
        for (uint32_t i = 0; i < dim(spec); i++) c[i] = get(spec, i);
        break;
    case T_BLOCK: of_block(spec, n, c); break;
    case T_STRING: of_text(spec, type, c); break;
    default: raise_bad_to(type, spec);
    }
    init(&answer, type, c);
    return &answer;
}

// ---- arithmetic ---------------------------------------------------------------

// One component: the float operation, with the errors of the float
// arithmetic: a zero divisor, and a finite result too large for 32 bits.
float combine(double a, double b, int32_t op) {
    if ((op == OP_DIVIDE || op == OP_REMAINDER) && b == 0) error::raise(Err::math_zero_divide);
    float r = float(float_::arith_op(a, b, op));
    if (std::isinf(r) && std::isfinite(a) && std::isfinite(b)) error::raise(Err::math_overflow);
    return r;
}

// The second operand as one number per component; a float multiplies or
// divides every component as it is (a zero divisor gives infinities, as
// floats do), so it reports itself through *scale instead.
void operand_of(const Cell* right, uint32_t n, int32_t op, double* b, const Cell** scale) {
    *scale = nullptr;
    switch (cell::type(right)) {
    case T_INTEGER: b[0] = b[1] = b[2] = cell::get_int(right); return;
    case T_FLOAT:
    case T_PERCENT:
        if (op == OP_MULTIPLY || op == OP_DIVIDE) *scale = right;
        b[0] = b[1] = b[2] = cell::get_float(right);
        return;
    case T_PAIR:
        if (n != 2) break;
        b[0] = int32_t(pair::x_of(right));
        b[1] = int32_t(pair::y_of(right));
        return;
    case T_POINT2D:
    case T_POINT3D:
        if (dim(right) != n) break;
        for (uint32_t i = 0; i < n; i++) b[i] = get(right, i);
        return;
    }
    raise_invalid_type(right);
}

// The result is computed aside, so an error leaves the operands as they were.
// With scalar_first the number in the next argument is the left operand of
// each component.
void compute(int32_t op, bool scalar_first) {
    Cell* left = stack::arg(0);
    uint32_t n = dim(left);
    double b[3];
    const Cell* scale;
    operand_of(stack::arg(1), n, op, b, &scale);
    float r[3];
    for (uint32_t i = 0; i < n; i++) {
        double a = get(left, i);
        if (scalar_first) std::swap(a, b[i]);
        r[i] = scale ? float(float_::arith_op(a, b[i], op)) : combine(a, b[i], op);
    }
    init(left, cell::type(left), r);
}

void arithmetic(int32_t op) { compute(op, false); }

// A zero component is a zero divisor, as in every remainder of points.
void scalar_remainder() { compute(OP_REMAINDER, true); }

template <int32_t OP>
void math() {
    arithmetic(OP);
}

const Cell* negate(Cell* value) {
    for (uint32_t i = 0; i < dim(value); i++) put(value, i, 0.0f - get(value, i));
    return value;
}

void negate_result() { negate(stack::arg(0)); }

void absolute() {
    Cell* v = stack::arg(0);
    for (uint32_t i = 0; i < dim(v); i++) put(v, i, std::fabs(get(v, i)));
}

// x and the last component swapped (y stays in the middle of a point3D!).
const Cell* reverse(Cell* value, Cell*, Cell*) {
    uint32_t last = dim(value) - 1;
    float x = get(value, 0);
    put(value, 0, get(value, last));
    put(value, last, x);
    return value;
}

// Seeds from a hash of the component words; else each non-zero component
// becomes a float between 0 and it.
const Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(int32_t(hash::murmur3(&value->w1, int32_t(dim(value) * 4))));
        return &statics::unset_cell;
    }
    for (uint32_t i = 0; i < dim(value); i++)
        if (get(value, i) != 0.0f) put(value, i, float(random::scale(secure, get(value, i))));
    return value;
}

// ---- compare ------------------------------------------------------------------

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t n = dim(value1);
    Cell other = *value2;
    if (cell::type(&other) == T_PAIR && n == 2) pair::to_point(&other);
    if (cell::type(&other) != cell::type(value1)) return -2;
    for (uint32_t i = 0; i < n; i++) {
        float a = get(value1, i), b = get(&other, i);
        bool equal;
        switch (op) {
        case 0:
        case 1: equal = float_::is_equal32(a, b); break;
        case 2: equal = double(a) == double(b); break;
        case 9: equal = std::memcmp(&a, &b, sizeof a) == 0; break;
        default: {
            if (a == b) continue;
            double h = double(a) - double(b);
            return h < 0 ? -1 : h > 0 ? 1 : 0;
        }
        }
        if (!equal) return 1;
    }
    return 0;
}

// ---- round --------------------------------------------------------------------

// The scale of each component: a pair! or a point gives one per component
// (a point2D! leaves z of a point3D! at 0.0, which rounds nothing); an
// integer! is taken as its float, so that the components stay floats; any
// other scale serves every component as it is.
void scales_of(Cell* scale, uint32_t n, Cell* each, Cell** out) {
    for (uint32_t i = 0; i < n; i++) out[i] = scale;
    if (!scale) return;
    uint32_t t = cell::type(scale);
    if (t == T_INTEGER) {
        cell::make_float(each, cell::get_int(scale));
        for (uint32_t i = 0; i < n; i++) out[i] = each;
        return;
    }
    uint32_t m = t == T_PAIR && n == 2 ? 2 : dimension(t);
    if (m == 0) return;
    for (uint32_t i = 0; i < n; i++) {
        double s = i >= m ? 0.0 : t != T_PAIR ? get(scale, i) : int32_t(i == 0 ? pair::x_of(scale) : pair::y_of(scale));
        cell::make_float(each + i, s);
        out[i] = each + i;
    }
}

const Cell* round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                  bool ceiling, bool half_ceiling) {
    refuse_money_scale(scale);
    uint32_t n = dim(value);
    Cell each[3];
    Cell* scales[3];
    scales_of(scale, n, each, scales);
    float r[3];
    for (uint32_t i = 0; i < n; i++) {
        Cell c;
        cell::make_float(&c, get(value, i));
        float_::round(&c, scales[i], even, down, half_down, floor, ceiling, half_ceiling);
        r[i] = float(cell::type(&c) == T_INTEGER ? cell::get_int(&c) : cell::get_float(&c));
    }
    init(value, cell::type(value), r);
    return value;
}

// ---- text ---------------------------------------------------------------------

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    char text[3 * float_::TEXT_SIZE + 8];
    char* p = text;
    *p++ = '(';
    for (uint32_t i = 0; i < dim(value); i++) {
        if (i) *p++ = ',', *p++ = ' ';
        p += float_::form_into(get(value, i), float_::KIND_POINT, p);
    }
    *p++ = ')';
    return datatype::append_text(buffer, text, uint32_t(p - text), limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

// ---- components ---------------------------------------------------------------

constexpr uint32_t NO_COMPONENT = 3;

// The component a word names, without regard to case; NO_COMPONENT for any
// other word.
uint32_t component_of_word(const Cell* word, uint32_t n) {
    static const words::Symbol names[] = {words::S_x, words::S_y, words::S_z};
    uint32_t s = symbol::resolve(cell::word_symbol(word));
    for (uint32_t i = 0; i < n; i++)
        if (s == symbol::resolve(words::symbol(names[i]))) return i;
    return NO_COMPONENT;
}

uint32_t component_of_number(int32_t k, uint32_t n) {
    return k >= 1 && uint32_t(k) <= n ? uint32_t(k - 1) : NO_COMPONENT;
}

const Cell* read(const Cell* value, uint32_t i) {
    cell::make_float(&answer, get(value, i));
    return &answer;
}

const Cell* pick(Cell* value, int32_t index, Cell* index_cell) {
    uint32_t n = dim(value);
    uint32_t i = cell::type(index_cell) == T_WORD      ? component_of_word(index_cell, n)
                 : cell::type(index_cell) == T_INTEGER ? component_of_number(index, n)
                                                       : NO_COMPONENT;
    if (i == NO_COMPONENT) error::raise(Err::script_out_of_range, index_cell);
    return read(value, i);
}

const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t, bool, bool, bool, bool notify) {
    uint32_t n = dim(parent), i = NO_COMPONENT;
    if (cell::type(element) == T_INTEGER) {
        i = component_of_number(cell::get_int(element), n);
    } else if (cell::type(element) == T_WORD) {
        i = component_of_word(element, n);
        if (i == NO_COMPONENT) error::raise(Err::script_cannot_use, element, parent);
    }
    if (i == NO_COMPONENT) error::raise(Err::script_invalid_path, path, element);
    if (!value) return read(parent, i);
    if (!is_number(value)) raise_invalid_type(value);
    Cell old = *parent;
    put(parent, i, float(number_of(value)));
    if (notify && prev_value) ownership::notify_holder(prev_value, prev_element, &old, parent);
    return value;
}

void register_one(uint32_t id, const char* name) {
    datatype::register_({.id = id, .parent = 0, .name = name, .make = make, .random = random,
                         .to = make, .form = form,
                         .mold = mold, .eval_path = eval_path, .compare = compare,
                         .absolute = absolute, .add = math<OP_ADD>, .divide = math<OP_DIVIDE>,
                         .multiply = math<OP_MULTIPLY>, .negate = negate,
                         .remainder = math<OP_REMAINDER>, .round = round,
                         .subtract = math<OP_SUBTRACT>, .pick = pick, .reverse = reverse});
    seams.arithmetic[id] = arithmetic;
    seams.negate[id] = negate_result;
    seams.scalar_remainder[id] = scalar_remainder;
}

}  // namespace
}  // namespace point

namespace point2D {

void register_type() { point::register_one(T_POINT2D, "point2D!"); }

void init_cell(Cell* c, float x, float y) {
    const float components[] = {x, y};
    point::init(c, T_POINT2D, components);
}

Cell* push_new(float x, float y) {
    Cell* c = stack::push_slot();
    init_cell(c, x, y);
    return c;
}

void arithmetic(int32_t op) { point::arithmetic(op); }
void negate_result() { point::negate_result(); }
int32_t compare(Cell* value1, Cell* value2, int32_t op) { return point::compare(value1, value2, op); }

}  // namespace point2D

namespace point3D {

void register_type() { point::register_one(T_POINT3D, "point3D!"); }

void init_cell(Cell* c, float x, float y, float z) {
    const float components[] = {x, y, z};
    point::init(c, T_POINT3D, components);
}

Cell* push_new(float x, float y, float z) {
    Cell* c = stack::push_slot();
    init_cell(c, x, y, z);
    return c;
}

void arithmetic(int32_t op) { point::arithmetic(op); }
void negate_result() { point::negate_result(); }
int32_t compare(Cell* value1, Cell* value2, int32_t op) { return point::compare(value1, value2, op); }

}  // namespace point3D
}  // namespace zel
