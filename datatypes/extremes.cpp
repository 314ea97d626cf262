// max and min component by component, for the natives of the same names.
#include "datatypes/extremes.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/number_internal.h"
#include "core/raise.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/tuple.h"

namespace zel {
namespace extremes {

namespace {

using point::is_number;
using point::number_of;

// A NaN on either side wins, as it does for plain numbers.
double pick(bool max, double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) ? a : b;
    return max ? std::max(a, b) : std::min(a, b);
}

// The other value's component i: a number stands for every component.
double component(const Cell* v, uint32_t i) {
    if (is_number(v)) return number_of(v);
    if (cell::type(v) == T_PAIR) return i == 0 ? pair::x_of(v) : pair::y_of(v);
    return point::get(v, i);
}

bool points(bool max, Cell* a, const Cell* b) {
    uint32_t n = point::dimension(cell::type(a));
    bool fits = is_number(b) || point::dimension(cell::type(b)) == n || (n == 2 && cell::type(b) == T_PAIR);
    if (!fits) return false;
    float r[3];
    for (uint32_t i = 0; i < n; i++) r[i] = float(pick(max, point::get(a, i), component(b, i)));
    point::init(a, cell::type(a), r);
    return true;
}

// A number that wins a coordinate is truncated toward zero into it.
int32_t coordinate(double d) {
    d = std::trunc(d);
    if (!number::fits_int32(d)) error::raise(Err::math_overflow);
    return int32_t(d);
}

bool pairs(bool max, Cell* a, const Cell* b) {
    if (cell::type(b) == T_POINT2D) {
        pair::to_point(a);
        return points(max, a, b);
    }
    if (cell::type(b) != T_PAIR && !is_number(b)) return false;
    pair::init_cell(a, coordinate(pick(max, pair::x_of(a), component(b, 0))),
                    coordinate(pick(max, pair::y_of(a), component(b, 1))));
    return true;
}

// A number as a byte: truncated, type-limit beyond 32 bits, then clamped.
uint8_t byte_of_number(const Cell* v) {
    double d = std::trunc(number_of(v));
    if (!number::fits_int32(d)) number::raise_type_limit(T_INTEGER);
    return uint8_t(std::clamp(d, 0.0, 255.0));
}

bool tuples(bool max, Cell* a, const Cell* b) {
    uint32_t n = tuple::count(a);
    bool number = is_number(b);
    if (!number && !(cell::type(b) == T_TUPLE && tuple::count(b) == n)) return false;
    uint8_t k = number ? byte_of_number(b) : 0;
    uint8_t* out = tuple::bytes(a);
    for (uint32_t i = 0; i < n; i++) {
        uint8_t other = number ? k : tuple::bytes(b)[i];
        out[i] = max ? std::max(out[i], other) : std::min(out[i], other);
    }
    return true;
}

bool is_compound(uint32_t type) {
    return type == T_PAIR || type == T_POINT2D || type == T_POINT3D || type == T_TUPLE;
}

}  // namespace

bool combine(bool max, Cell* value1, Cell* value2) {
    if (is_number(value1) && is_compound(cell::type(value2))) std::swap(*value1, *value2);
    Cell result = *value1;
    bool done;
    switch (cell::type(&result)) {
    case T_PAIR: done = pairs(max, &result, value2); break;
    case T_POINT2D:
    case T_POINT3D: done = points(max, &result, value2); break;
    case T_TUPLE: done = tuples(max, &result, value2); break;
    default: done = false;
    }
    if (done) *value1 = result;
    return done;
}

}  // namespace extremes
}  // namespace zel
