// time!: the hour, minute and second view, text, conversion, path access, the
// arithmetic rules that differ from float!'s, and the registration of its
// action row.
#include "core/time.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "core/datatype.h"
#include "core/float.h"
#include "core/integer.h"
#include "core/number_internal.h"
#include "core/ownership.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string_actions.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "kernel/floattext.h"

namespace zel {
namespace time {

using namespace number;

// An answer of make and of a field read, which the caller copies at once.
static Cell answer;

// ---- cells --------------------------------------------------------------------

Cell* write_cell(Cell* c, double seconds) {
    cell::set_type(c, T_TIME);
    cell::put_float(c, seconds);
    return c;
}

static void make_time(Cell* c, double seconds) {
    c->header = T_TIME;
    cell::put_float(c, seconds);
}

Cell* append_new(const Cell* block, double seconds) {
    Cell* c = block::append_slot(block);
    make_time(c, seconds);
    return c;
}

Cell* push(double seconds) {
    Cell* c = stack::push_slot();
    make_time(c, seconds);
    return c;
}

// ---- the view -----------------------------------------------------------------

int32_t get_hours(double seconds) { return whole_to_int32(std::trunc(seconds / 3600.0)); }

int32_t get_minutes(double seconds) {
    if (!std::isfinite(seconds)) return 0;
    return int32_t(std::floor(std::fmod(std::fabs(seconds), 3600.0) / 60.0));
}

// The seconds field of the text (s not negative).
static size_t seconds_text(double s, char* out) {
    double part = std::fmod(s, 60.0);
    if (part < 0.000001) return std::strlen(std::strcpy(out, "00"));
    char text[float_::TEXT_SIZE];
    size_t n = float_::form_into(part, float_::KIND_TIME, text);
    bool pad = n == 1 || text[1] == '.';
    if (pad) *out = '0';
    std::memcpy(out + pad, text, n + 1);
    return n + pad;
}

int32_t form_into(double seconds, const Cell* buffer, int32_t limit) {
    char text[2 * float_::TEXT_SIZE + 8];
    size_t n;
    if (!std::isfinite(seconds)) {
        n = float_::form_into(seconds, float_::KIND_FLOAT, text);
        return datatype::append_text(buffer, text, uint32_t(n), limit);
    }
    char* p = text;
    if (seconds < 0) {
        *p++ = '-';
        seconds = -seconds;
    }
    // Six digits may round a part just below a minute up to "60", which no
    // time text holds: the time is then written as the next whole minute.
    char part[float_::TEXT_SIZE + 2];
    size_t n_part = seconds_text(seconds, part);
    if (std::strcmp(part, "60") == 0) {
        seconds = (std::floor(seconds / 60.0) + 1.0) * 60.0;
        n_part = seconds_text(seconds, part);
    }
    p += float_::format_double(std::floor(seconds / 3600.0), 0, false, p);
    int32_t minutes = get_minutes(seconds);
    *p++ = ':';
    *p++ = char('0' + minutes / 10);
    *p++ = char('0' + minutes % 10);
    *p++ = ':';
    std::memcpy(p, part, n_part);
    p += n_part;
    return datatype::append_text(buffer, text, uint32_t(p - text), limit);
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    return form_into(cell::get_float(value), buffer, limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t limit, int32_t) {
    return form_into(cell::get_float(value), buffer, limit);
}

// ---- make and to --------------------------------------------------------------

// [hours minutes seconds], each optional from the end; the seconds may be a
// float. A negative hour makes the whole time negative; a negative later
// field is an error.
static double of_block(const Cell* spec) {
    SeriesBuffer* b = node::buffer(cell::series_node(spec));
    uint32_t index = uint32_t(cell::series_index(spec)), length = series::length(b);
    uint32_t n = index < length ? length - index : 0;
    if (n > 3) raise_bad_to(T_TIME, spec);
    static const double UNIT[] = {3600.0, 60.0, 1.0};
    const Cell* fields = series::cells(b) + index;
    double magnitude = 0;
    bool negative = false;
    for (uint32_t i = 0; i < n; i++) {
        const Cell* f = fields + i;
        uint32_t t = cell::type(f);
        if (t != T_INTEGER && !(t == T_FLOAT && i == 2)) raise_bad_to(T_TIME, spec);
        double v = t == T_INTEGER ? cell::get_int(f) : cell::get_float(f);
        if (v < 0) {
            if (i > 0) raise_bad_to(T_TIME, spec);
            negative = true;
            v = -v;
        }
        magnitude += v * UNIT[i];
    }
    return negative ? -magnitude : magnitude;
}

static double of_text(Cell* spec) {
    const Cell* v = load::value_from_string(spec);
    if (cell::type(v) != T_TIME) raise_bad_to(T_TIME, spec);
    return cell::get_float(v);
}

static double convert(Cell* spec) {
    if (types::is_any_string(spec)) return of_text(spec);
    switch (cell::type(spec)) {
    case T_TIME:
    case T_FLOAT:
    case T_PERCENT: return cell::get_float(spec);
    case T_INTEGER: return cell::get_int(spec);
    case T_BLOCK:
    case T_PAREN:
    case T_HASH: return of_block(spec);
    default: raise_bad_to(T_TIME, spec);
    }
}

const Cell* make(Cell*, Cell* spec, uint32_t) {
    make_time(&answer, convert(spec));
    return &answer;
}

// ---- fields -------------------------------------------------------------------

enum Field : int32_t { NO_FIELD = 0, HOUR = 1, MINUTE = 2, SECOND = 3 };

// The field a word names, compared without regard to case; cannot-use for
// any other word.
static Field field_of_word(const Cell* word, const Cell* time) {
    uint32_t s = symbol::resolve(cell::word_symbol(word));
    if (s == symbol::resolve(words::symbol(words::S_hour))) return HOUR;
    if (s == symbol::resolve(words::symbol(words::S_minute))) return MINUTE;
    if (s == symbol::resolve(words::symbol(words::S_second))) return SECOND;
    error::raise(Err::script_cannot_use, word, time);
}

static Field field_of_number(int32_t n) { return n >= HOUR && n <= SECOND ? Field(n) : NO_FIELD; }

static const Cell* read_field(double s, Field f) {
    switch (f) {
    case HOUR: cell::make_integer(&answer, get_hours(s)); break;
    case MINUTE: cell::make_integer(&answer, get_minutes(s)); break;
    default: cell::make_float(&answer, std::fmod(s, 60.0)); break;
    }
    return &answer;
}

// The seconds with one field replaced. A negative time is changed through its
// magnitude as a positive one would be, then the sign goes back; the hour
// given is taken as the signed hour that reading answers.
static double with_field(double s, Field f, const Cell* value) {
    uint32_t t = cell::type(value);
    if (t != T_INTEGER && !(t == T_FLOAT && f == SECOND)) error::raise(Err::script_invalid_arg, value);
    double x = t == T_INTEGER ? cell::get_int(value) : cell::get_float(value);
    if (f == SECOND) return s - (std::fmod(s, 60.0) - x);
    bool negative = s < 0;
    double m = std::fabs(s);
    if (f == HOUR) m -= (std::floor(m / 3600.0) - (negative ? -x : x)) * 3600.0;
    else m -= (std::floor(std::fmod(m, 3600.0) / 60.0) - x) * 60.0;
    return negative ? -m : m;
}

const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value,
                      Cell* prev_element, int32_t, bool, bool, bool, bool notify) {
    Field f = NO_FIELD;
    if (cell::type(element) == T_WORD) f = field_of_word(element, parent);
    else if (cell::type(element) == T_INTEGER) f = field_of_number(cell::get_int(element));
    if (f == NO_FIELD) error::raise(Err::script_invalid_path, path, element);
    double s = cell::get_float(parent);
    if (!value) return read_field(s, f);
    Cell old = *parent;
    cell::put_float(parent, with_field(s, f, value));
    if (notify && prev_value) ownership::notify_holder(prev_value, prev_element, &old, parent);
    return value;
}

const Cell* pick(Cell* value, int32_t index, Cell* index_cell) {
    Field f = cell::type(index_cell) == T_WORD ? field_of_word(index_cell, value) : field_of_number(index);
    if (f == NO_FIELD) error::raise(Err::script_out_of_range, index_cell);
    return read_field(cell::get_float(value), f);
}

// ---- arithmetic ---------------------------------------------------------------

void add() {
    Cell* right = stack::arg(1);
    if (cell::type(right) != T_DATE) return float_::do_math(OP_ADD);
    if (!seams.date_from_spec) raise_invalid_type(right);
    std::swap(*stack::arg(0), *right);
    seams.date_from_spec(OP_ADD);
}

void subtract() {
    if (cell::type(stack::arg(1)) == T_DATE) raise_not_related(OP_SUBTRACT, T_TIME);
    float_::do_math(OP_SUBTRACT);
}

void multiply() {
    if (cell::type(stack::arg(1)) == T_TIME) raise_not_related(OP_MULTIPLY, T_TIME);
    float_::do_math(OP_MULTIPLY);
}

// A time divided by a time is a plain number.
void divide() {
    bool ratio = cell::type(stack::arg(1)) == T_TIME;
    float_::do_math(OP_DIVIDE);
    if (ratio) cell::set_type(stack::arg(0), T_FLOAT);
}

// The float! rounding, always answering a time: an integer! scale rounds as
// the float of it, so a large time never has to fit an integer.
const Cell* round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                  bool ceiling, bool half_ceiling) {
    refuse_money_scale(scale);
    Cell float_scale;
    if (scale && cell::type(scale) == T_INTEGER) {
        cell::make_float(&float_scale, cell::get_int(scale));
        scale = &float_scale;
    }
    float_::round(value, scale, even, down, half_down, floor, ceiling, half_ceiling);
    cell::set_type(value, T_TIME);
    return value;
}

// The whole seconds of the minute, nudged a microsecond away from zero so
// that a value just below a whole second counts as that second.
static int32_t second_parity(double s) {
    if (!std::isfinite(s)) return -1;
    s += s < 0 ? -0.000001 : 0.000001;
    return int32_t(std::trunc(std::fmod(s, 60.0))) & 1;
}

int32_t is_even(Cell* value) { return second_parity(cell::get_float(value)) == 0; }
int32_t is_odd(Cell* value) { return second_parity(cell::get_float(value)) == 1; }

void init() {
    datatype::register_({.id = T_TIME, .parent = T_FLOAT, .name = "time!", .make = make,
                         .random = INHERIT, .to = make, .form = form, .mold = mold,
                         .eval_path = eval_path, .compare = INHERIT, .absolute = INHERIT,
                         .add = add, .divide = divide, .multiply = multiply, .negate = INHERIT,
                         .remainder = INHERIT, .round = round, .subtract = subtract,
                         .is_even = is_even, .is_odd = is_odd, .pick = pick});
}

}  // namespace time
}  // namespace zel
