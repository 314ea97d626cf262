// char!: arithmetic kept inside the code-point range, conversions, text and
// comparison, and the registration of its action row.
#include "core/char.h"

#include <cmath>

#include "core/compare_common.h"
#include "core/datatype.h"
#include "core/integer.h"
#include "core/number_internal.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/string_actions.h"
#include "core/type_groups.h"
#include "datatypes/binary.h"

namespace zel {
namespace char_ {

using namespace number;

constexpr int32_t MAX_CODE_POINT = 0x10FFFF;

// An answer of make, which the caller copies at once.
static Cell answer;

Cell* append_new(const Cell* block, uint32_t code_point) {
    Cell* c = block::append_slot(block);
    cell::make_char(c, code_point);
    return c;
}

Cell* push(uint32_t code_point) {
    Cell* c = stack::push_slot();
    cell::make_char(c, code_point);
    return c;
}

// ---- arithmetic ---------------------------------------------------------------

// A divide gets no scratch cell, so that it truncates instead of making a
// float; every other overflow shows as the scratch cell turned float!.
void do_math(int32_t op) {
    Cell* left = stack::arg(0);
    Cell* right = stack::arg(1);
    int32_t y;
    switch (cell::type(right)) {
    case T_CHAR:
    case T_INTEGER: y = cell::get_int(right); break;
    // A float operand counts by its whole part.
    case T_FLOAT: y = whole_to_int32(std::trunc(cell::get_float(right))); break;
    case T_VECTOR: vector_math(op, left, right); return;
    default: raise_invalid_type(right);
    }
    Cell scratch;
    cell::make_integer(&scratch, 0);
    int32_t r = integer::arith_op(cell::get_int(left), y, op, op == OP_DIVIDE ? nullptr : &scratch);
    if (cell::type(&scratch) != T_INTEGER || r < 0 || r > MAX_CODE_POINT) error::raise(Err::math_overflow);
    cell::set_char(left, uint32_t(r));
}

void add() { do_math(OP_ADD); }
void subtract() { do_math(OP_SUBTRACT); }
void multiply() { do_math(OP_MULTIPLY); }
void divide() { do_math(OP_DIVIDE); }
void remainder() { do_math(OP_REMAINDER); }
void or_() { do_math(OP_OR); }
void and_() { do_math(OP_AND); }
void xor_() { do_math(OP_XOR); }

// ---- make and to --------------------------------------------------------------

static uint32_t in_range(double d, const Cell* spec) {
    if (!(d >= 0 && d <= MAX_CODE_POINT)) error::raise(Err::script_out_of_range, spec);
    return uint32_t(d);
}

// The first UTF-8 sequence at the head; an empty or cut sequence is no
// character.
static uint32_t of_binary(const Cell* spec) {
    uint32_t n = binary::length(spec), size;
    if (n == 0) raise_bad_to(T_CHAR, spec);
    int32_t cp = utf8::decode_checked(binary::head_address(spec), n, &size);
    if (cp < 0) raise_bad_to(T_CHAR, spec);
    return uint32_t(cp);
}

static uint32_t of_text(const Cell* spec) {
    if (string::is_at_tail(spec)) raise_bad_to(T_CHAR, spec);
    return string::char_at(spec, uint32_t(cell::series_index(spec)));
}

static uint32_t convert(const Cell* spec) {
    if (types::is_any_string(spec)) return of_text(spec);
    switch (cell::type(spec)) {
    case T_CHAR:
    case T_INTEGER: return in_range(cell::get_int(spec), spec);
    case T_FLOAT:
    case T_PERCENT: return in_range(std::trunc(cell::get_float(spec)), spec);
    case T_BINARY: return of_binary(spec);
    default: raise_bad_to(T_CHAR, spec);
    }
}

const Cell* make(Cell*, Cell* spec, uint32_t) {
    cell::make_char(&answer, convert(spec));
    return &answer;
}

// ---- text and compare -----------------------------------------------------------

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    string::append_char(string::buffer_of(buffer), cell::get_char(value));
    return limit - 1;
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int32_t limit, int32_t) {
    string::append_cstr(buffer, "#\"");
    string::mold_char(buffer, cell::get_char(value), string::ESCAPE_IN_STRING, all);
    string::append_cstr(buffer, "\"");
    return limit - 4;
}

// By code point, without folding case; a char! is never strictly equal to
// an integer!.
int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t t = cell::type(value2);
    if ((op == 2 || op == 12) && t != T_CHAR) return 1;
    if (t != T_CHAR && t != T_INTEGER) return -2;
    return compare_common::three_way(cell::get_int(value1), cell::get_int(value2));
}

void init() {
    datatype::register_({.id = T_CHAR, .parent = T_INTEGER, .name = "char!", .make = make,
                         .random = INHERIT, .to = make, .form = form, .mold = mold,
                         .compare = compare, .absolute = INHERIT, .add = add, .divide = divide,
                         .multiply = multiply, .remainder = remainder, .subtract = subtract,
                         .is_even = INHERIT, .is_odd = INHERIT, .and_ = and_, .or_ = or_,
                         .xor_ = xor_});
}

}  // namespace char_
}  // namespace zel
