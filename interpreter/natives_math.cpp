// The numeric and set natives: sign tests, zero? and NaN?, shift, to-hex,
// trigonometry, logarithms, and the set operations over blocks, strings,
// bitsets and typesets.
//
// Floats follow the platform's libm without domain checks: an argument
// outside a function's domain answers what the platform answers (NaN or an
// infinity), never an error.
#include <cmath>

#include "core/bitset.h"
#include "core/block_search.h"
#include "core/integer.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/string_actions.h"
#include "core/support.h"
#include "core/word.h"
#include "datatypes/date.h"
#include "datatypes/money.h"
#include "datatypes/point.h"
#include "datatypes/pair.h"
#include "datatypes/tuple.h"
#include "datatypes/typeset.h"
#include "interpreter/natives.h"
#include "kernel/runtime.h"

namespace zel {
namespace natives {
namespace {

Cell* arg(uint32_t k) { return stack::reg.base + k; }

// ---- set operations ---------------------------------------------------------------

// Both sets of a two-set operation: any two block-like sets, a typeset and
// a datatype (a set of one type), else one type.
bool is_block_set(uint32_t type) { return type == T_BLOCK || type == T_HASH; }

void check_set_types(const Cell* set1, const Cell* set2) {
    uint32_t t1 = cell::type(set1), t2 = cell::type(set2);
    if (t1 == t2 || (is_block_set(t1) && is_block_set(t2)) || (t1 == T_TYPESET && t2 == T_DATATYPE)) return;
    Cell expected, found;
    cell::make_datatype(&expected, t1);
    cell::make_datatype(&found, t2);
    error::raise(Err::script_expect_val, &expected, &found);
}

// set1 [set2] /case /skip size: refinement 0 is /case, 1 is /skip.
void set_operation(int32_t op, const int32_t* r) {
    bool case_ = r[0] >= 0;
    Cell* skip = r[1] >= 0 ? arg(uint32_t(r[1])) : nullptr;
    if (op != block::SET_UNIQUE) check_set_types(arg(0), arg(1));
    switch (cell::type(arg(0))) {
    case T_BLOCK:
    case T_HASH: block::do_set_op(op, case_, skip); return;
    case T_STRING: string::do_set_op(case_, skip, op); return;
    case T_BITSET: bitset::do_bitwise(op); return;
    case T_TYPESET: typeset::set_op(op); return;
    case T_DATE:
        if (op != block::SET_DIFFERENCE) break;
        date::difference(arg(0), arg(1));
        return;
    }
    check::expect_arg(0, cell::type(arg(0)));
}

template <uint32_t INDEX, int32_t OP>
void set_native(bool check, const int32_t* r) {
    if (check) check_args(INDEX, r);
    set_operation(OP, r);
}

void complement_q_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_is_complement, r);
    cell::make_logic(arg(0), bitset::is_complemented(arg(0)));
}

// ---- sign tests -------------------------------------------------------------------

// -1, 0 or 1 for a number or a time (NaN counts as 0: it is neither below
// nor above zero); expect-arg for any other value.
int32_t sign_of(const Cell* v) {
    switch (cell::type(v)) {
    case T_INTEGER: {
        int32_t n = cell::get_int(v);
        return (n > 0) - (n < 0);
    }
    case T_FLOAT:
    case T_PERCENT:
    case T_TIME: {
        double d = cell::get_float(v);
        return (d > 0.0) - (d < 0.0);
    }
    case T_MONEY: return money::sign_of(v);
    }
    check::expect_arg(0, cell::type(v));
}

void negative_q_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_is_negative, r);
    cell::make_logic(arg(0), sign_of(arg(0)) < 0);
}

void positive_q_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_is_positive, r);
    cell::make_logic(arg(0), sign_of(arg(0)) > 0);
}

void sign_q_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_is_sign, r);
    cell::make_integer(arg(0), sign_of(arg(0)));
}

bool is_zero_tuple(const Cell* v) {
    uint32_t length = tuple::count(v);
    const uint8_t* bytes = tuple::bytes(v);
    for (uint32_t i = 0; i < length && i < 12; i++)
        if (bytes[i]) return false;
    return true;
}

bool is_zero_point(const Cell* v) {
    for (uint32_t i = 0; i < point::dimension(cell::type(v)); i++)
        if (point::get(v, i) != 0.0f) return false;
    return true;
}

bool is_zero(const Cell* v) {
    switch (cell::type(v)) {
    case T_CHAR:
    case T_INTEGER: return cell::get_int(v) == 0;
    case T_FLOAT:
    case T_PERCENT:
    case T_TIME: return cell::get_float(v) == 0.0;
    case T_PAIR: return pair::x_of(v) == 0 && pair::y_of(v) == 0;
    case T_TUPLE: return is_zero_tuple(v);
    case T_POINT2D:
    case T_POINT3D: return is_zero_point(v);
    case T_MONEY: return money::is_zero(v);
    }
    return false;
}

void zero_q_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_is_zero, r);
    cell::make_logic(arg(0), is_zero(arg(0)));
}

void nan_q_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_is_NaN, r);
    uint32_t type = cell::type(arg(0));
    bool nan = (type == T_FLOAT || type == T_PERCENT) && std::isnan(cell::get_float(arg(0)));
    cell::make_logic(arg(0), nan);
}

// ---- shift and to-hex ---------------------------------------------------------------

void shift_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_shift, r);
    int32_t result = integer::shift(cell::get_int(arg(0)), cell::get_int(arg(1)), r[0] >= 0, r[1] >= 0);
    cell::make_integer(arg(0), result);
}

void to_hex_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_to_hex, r);
    const char* digits = string::int_to_hex(cell::get_int(arg(0)), false);
    if (r[0] >= 0) {
        const Cell* length = arg(uint32_t(r[0]));
        int32_t n = cell::get_int(length);
        if (n <= 0) error::raise(Err::script_invalid_arg, length);
        if (n < 8) digits += 8 - n;
    }
    issue::write_cell(arg(0), digits);
}

// ---- trigonometry --------------------------------------------------------------------

constexpr double PI = 3.141592653589793;
constexpr double EPSILON = 2.220446049250313e-16;

// integer! converted, float! and percent! as they are.
double float_of(const Cell* v) {
    return cell::type(v) == T_INTEGER ? double(cell::get_int(v)) : cell::get_float(v);
}

// The angle in radians; degrees are first reduced by the period and symmetry
// the function has (mode 0 tangent, 1 cosine, 2 sine).
double radians_of(const Cell* angle, bool radians, int mode) {
    double x = float_of(angle);
    return radians ? x : math::normalise_angle(x, mode);
}

// A result within an epsilon of zero is zero: sine 180 is 0.0, not 1.2e-16.
double snap_zero(double x) { return std::fabs(x) < EPSILON ? 0.0 : x; }

void sine_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_sine, r);
    cell::make_float(arg(0), snap_zero(std::sin(radians_of(arg(0), r[0] >= 0, 2))));
}

void cosine_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_cosine, r);
    cell::make_float(arg(0), snap_zero(std::cos(radians_of(arg(0), r[0] >= 0, 1))));
}

// The poles are exact infinities rather than the huge finite value the
// platform gives for the nearest double to pi/2.
void tangent_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_tangent, r);
    double x = radians_of(arg(0), r[0] >= 0, 0);
    double result = x == PI / 2 ? HUGE_VAL : x == -PI / 2 ? -HUGE_VAL : std::tan(x);
    cell::make_float(arg(0), result);
}

double degrees_of(double radians, bool keep) { return keep ? radians : radians * 180.0 / PI; }

template <uint32_t INDEX, double (*F)(double)>
void arc_native(bool check, const int32_t* r) {
    if (check) check_args(INDEX, r);
    cell::make_float(arg(0), degrees_of(F(float_of(arg(0))), r[0] >= 0));
}

double arcsine(double x) { return std::asin(x); }
double arccosine(double x) { return std::acos(x); }
double arctangent(double x) { return std::atan(x); }

void arctangent2_native(bool check, const int32_t* r) {
    if (check) check_args(NAT_arctangent2, r);
    double angle = std::atan2(float_of(arg(0)), float_of(arg(1)));
    cell::make_float(arg(0), degrees_of(angle, r[0] >= 0));
}

// ---- logarithms, exp and square root ---------------------------------------------------

double log_2(double x) { return std::log(x) / 0.6931471805599453; }
double log_10(double x) { return std::log10(x); }
double log_e(double x) { return std::log(x); }
double exp_e(double x) { return std::pow(2.718281828459045, x); }
double square_root(double x) { return std::sqrt(x); }

template <uint32_t INDEX, double (*F)(double)>
void float_native(bool check, const int32_t* r) {
    if (check) check_args(INDEX, r);
    cell::make_float(arg(0), F(float_of(arg(0))));
}

// ---- the table ---------------------------------------------------------------------------

#define ZEL_SET2_SPEC(doc, types)                                                      \
    "\"" doc "\" set1 [" types "] set2 [" types " datatype!]"                          \
    " /case \"Use case-sensitive comparison\""                                         \
    " /skip \"Treat the series as fixed size records\" size [integer!]"
#define ZEL_SET_TYPES "block! hash! string! bitset! typeset!"
#define ZEL_SIGN_SPEC(doc, result) "\"" doc "\" number [number! money! time!] return: [" result "]"
#define ZEL_TRIG_SPEC(doc, name)                                                       \
    "\"" doc "\" angle [float! integer!] /radians \"DEPRECATED: use `" name "` native instead\"" \
    " return: [float!]"
#define ZEL_ARC_SPEC(doc, arg, range, name)                                            \
    "\"" doc "\" " arg " [float! integer!] \"in range " range "\""                     \
    " /radians \"DEPRECATED: use `" name "` native instead\""
#define ZEL_FLOAT_SPEC(doc) "\"" doc "\" value [float! integer! percent!] return: [float!]"

constexpr NativeDef DEFS[] = {
    {NAT_union, "union", ZEL_SET2_SPEC("Returns the union of two data sets", ZEL_SET_TYPES),
     set_native<NAT_union, block::SET_UNION>},
    {NAT_intersect, "intersect", ZEL_SET2_SPEC("Returns the intersection of two data sets", ZEL_SET_TYPES),
     set_native<NAT_intersect, block::SET_INTERSECT>},
    {NAT_unique, "unique",
     R"~("Returns the data set with duplicates removed" set [block! hash! string!]
        /case "Use case-sensitive comparison"
        /skip "Treat the series as fixed size records" size [integer!])~",
     set_native<NAT_unique, block::SET_UNIQUE>},
    {NAT_difference, "difference",
     ZEL_SET2_SPEC("Returns the special difference of two data sets", ZEL_SET_TYPES " date!"),
     set_native<NAT_difference, block::SET_DIFFERENCE>},
    {NAT_exclude, "exclude", ZEL_SET2_SPEC("Returns the first data set less the second data set", ZEL_SET_TYPES),
     set_native<NAT_exclude, block::SET_EXCLUDE>},
    {NAT_is_complement, "complement?", R"~("Returns TRUE if the bitset is complemented" bits [bitset!])~",
     complement_q_native},
    {NAT_is_negative, "negative?", ZEL_SIGN_SPEC("Returns TRUE if the number is negative", "logic!"), negative_q_native},
    {NAT_is_positive, "positive?", ZEL_SIGN_SPEC("Returns TRUE if the number is positive", "logic!"), positive_q_native},
    {NAT_shift, "shift",
     R"~("Perform a bit shift operation. Right shift (decreasing) by default"
        data [integer!] bits [integer!]
        /left "Shift bits to the left (increasing)"
        /logical "Use logical shift (unsigned, fill with zero)"
        return: [integer!])~",
     shift_native},
    {NAT_to_hex, "to-hex",
     R"~("Converts numeric value to a hex issue! datatype (with leading # and 0's)"
        value [integer!]
        /size "Specify number of hex digits in result" length [integer!]
        return: [issue!])~",
     to_hex_native},
    {NAT_sine, "sine", ZEL_TRIG_SPEC("Returns the trigonometric sine", "sin"), sine_native},
    {NAT_cosine, "cosine", ZEL_TRIG_SPEC("Returns the trigonometric cosine", "cos"), cosine_native},
    {NAT_tangent, "tangent", ZEL_TRIG_SPEC("Returns the trigonometric tangent", "tan"), tangent_native},
    {NAT_arcsine, "arcsine", ZEL_ARC_SPEC("Returns the trigonometric arcsine in degrees in range [-90,90]", "sine", "[-1,1]", "asin"),
     arc_native<58, arcsine>},
    {NAT_arccosine, "arccosine",
     ZEL_ARC_SPEC("Returns the trigonometric arccosine in degrees in range [0,180]", "cosine", "[-1,1]", "acos"),
     arc_native<59, arccosine>},
    {NAT_arctangent, "arctangent",
     ZEL_ARC_SPEC("Returns the trigonometric arctangent in degrees in range [-90,90]", "tangent", "[-inf,+inf]", "atan"),
     arc_native<60, arctangent>},
    {NAT_arctangent2, "arctangent2",
     R"~("Returns the smallest angle between the vectors (1,0) and (x,y) in degrees (-180,180]"
        y [float! integer!] x [float! integer!]
        /radians "DEPRECATED: use `atan2` native instead")~",
     arctangent2_native},
    {NAT_is_NaN, "NaN?", R"~("Returns TRUE if the number is Not-a-Number" value [number!] return: [logic!])~",
     nan_q_native},
    {NAT_log_2, "log-2", ZEL_FLOAT_SPEC("Return the base-2 logarithm"), float_native<63, log_2>},
    {NAT_log_10, "log-10", ZEL_FLOAT_SPEC("Returns the base-10 logarithm"), float_native<64, log_10>},
    {NAT_log_e, "log-e", ZEL_FLOAT_SPEC("Returns the natural (base-E) logarithm of the given value"),
     float_native<65, log_e>},
    {NAT_exp, "exp", ZEL_FLOAT_SPEC("Raises E (the base of natural logarithm) to the power specified"),
     float_native<66, exp_e>},
    {NAT_square_root, "square-root", ZEL_FLOAT_SPEC("Returns the square root of a number"), float_native<67, square_root>},
    {NAT_is_sign, "sign?", ZEL_SIGN_SPEC("Returns sign of N as 1, 0, or -1 (to use as a multiplier)", "integer!"),
     sign_q_native},
    {NAT_is_zero, "zero?",
     R"~("Returns TRUE if the value is zero"
        value [number! money! pair! time! char! tuple! any-point!] return: [logic!])~",
     zero_q_native},
};
static_assert(matches_ids(DEFS), "a native row out of order or misnamed");

#undef ZEL_SET2_SPEC
#undef ZEL_SET_TYPES
#undef ZEL_SIGN_SPEC
#undef ZEL_TRIG_SPEC
#undef ZEL_ARC_SPEC
#undef ZEL_FLOAT_SPEC

}  // namespace

const Module module_math = {DEFS, sizeof DEFS / sizeof DEFS[0]};

}  // namespace natives
}  // namespace zel
