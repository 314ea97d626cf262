// date!: the action row (make, random, to, form, mold, path access, compare,
// add, subtract, pick) and its registration.
//
// The month names of the text form come from system/locale/months when the
// system object is there, read at every call; before it exists the English
// names stand in.
#include <cmath>
#include <cstdio>

#include "core/block.h"
#include "core/context.h"
#include "core/datatype.h"
#include "core/float.h"
#include "core/integer.h"
#include "core/number_internal.h"
#include "core/ownership.h"
#include "core/raise.h"
#include "core/random.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/symbol.h"
#include "core/time.h"
#include "core/type_groups.h"
#include "datatypes/date.h"

namespace zel {
namespace date {

namespace {

using number::OP_ADD;
using number::OP_SUBTRACT;

// The answer of make, to and a field read, which the caller copies at once.
Cell answer;

// ---- make and to ------------------------------------------------------------------

const Cell* make(Cell*, Cell* spec, uint32_t) { return from_spec(spec, MODE_MAKE); }

// An integer! counts seconds since 1970-01-01 00:00 UTC.
const Cell* to(Cell*, Cell* spec, uint32_t) {
    if (cell::type(spec) != T_INTEGER) return from_spec(spec, MODE_TO);
    int32_t s = cell::get_int(spec);
    init_slot(&answer, from_day_number(UNIX_EPOCH_DAY + s / 86400, 0, true), 0);
    normalise(&answer, double(s % 86400), false);
    return &answer;
}

// ---- text -------------------------------------------------------------------------

[[noreturn]] void bad_months() { error::raise(Err::script_invalid_months); }

// The symbols of locale and months, interned at the first look: the type
// registers before the symbol table exists.
uint32_t locale_symbol, months_symbol;

// system/locale/months, or null while there is no system object.
const Cell* locale_months() {
    const Cell* system = context::get_word_cell(words::symbol(words::S_system), context::global_node);
    if (!system || cell::type(system) != T_OBJECT) return nullptr;
    if (!locale_symbol) {
        locale_symbol = symbol::intern("locale");
        months_symbol = symbol::intern("months");
    }
    const Cell* locale = context::get_word_cell(locale_symbol, cell::object_context(system));
    if (!locale || cell::type(locale) != T_OBJECT) bad_months();
    const Cell* months = context::get_word_cell(months_symbol, cell::object_context(locale));
    if (!months || !types::is_any_block(months)) bad_months();
    return months;
}

// Appends the first three characters of the month's name.
int32_t append_month(const Cell* buffer, int32_t month, int32_t limit) {
    const Cell* months = locale_months();
    if (!months) return datatype::append_text(buffer, MONTH_NAMES[month - 1], 3, limit);
    SeriesBuffer* b = node::buffer(cell::series_node(months));
    uint32_t at = uint32_t(cell::series_index(months)) + uint32_t(month - 1);
    if (month < 1 || at >= series::length(b)) bad_months();
    const Cell* name = series::cells(b) + at;
    if (cell::type(name) != T_STRING) bad_months();
    uint32_t from = uint32_t(cell::series_index(name)), length = string::get_abs_length(name);
    for (uint32_t i = from; i < from + 3 && i < length; i++, limit--)
        string::append_char(string::buffer_of(buffer), string::char_at(name, i));
    return limit;
}

int32_t form_into(const Cell* value, const Cell* buffer, int32_t limit) {
    uint32_t d = packed(value);
    // A packed word stored raw (a Zelbin record) may hold fields out of
    // range: the text shows the date they carry to.
    if (month_of(d) < 1 || month_of(d) > 12 || day_of(d) < 1)
        d = from_day_number(day_number(d), zone_of(d), has_time(d));
    int32_t year = year_of(d);
    const char* sep = year < 0 ? "/" : "-";
    char text[32];
    int n = std::snprintf(text, sizeof text, "%d%s", day_of(d), sep);
    limit = datatype::append_text(buffer, text, uint32_t(n), limit);
    limit = append_month(buffer, month_of(d), limit);
    n = std::snprintf(text, sizeof text, "%s%s%0*d", sep, year < 0 ? "-" : "", year > -100 && year < 100 ? 4 : 1,
                      year < 0 ? -year : year);
    limit = datatype::append_text(buffer, text, uint32_t(n), limit);
    if (!has_time(d)) return limit;
    limit = datatype::append_text(buffer, "/", 1, limit);
    uint32_t zone = zone_of(d);
    limit = time::form_into(time_of(value) + zone_offset(zone), buffer, limit);
    if (zone == 0) return limit;
    n = std::snprintf(text, sizeof text, "%c%02u:%02u", zone & ZONE_WEST ? '-' : '+', (zone >> 2) & 0xF,
                      (zone & 3) * 15);
    return datatype::append_text(buffer, text, uint32_t(n), limit);
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) { return form_into(value, buffer, limit); }

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t limit, int32_t) {
    return form_into(value, buffer, limit);
}

// ---- path access and pick ---------------------------------------------------------

Field field_of(const Cell* element) {
    if (cell::type(element) == T_WORD) return field_of_word(element);
    if (cell::type(element) != T_INTEGER) return NO_FIELD;
    int32_t i = cell::get_int(element);
    return i >= F_DATE && i <= FIELD_COUNT ? Field(i) : NO_FIELD;
}

const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* prev_value, Cell* prev_element,
                      int32_t, bool, bool, bool, bool notify) {
    Field f = field_of(element);
    if (f == NO_FIELD) error::raise(Err::script_invalid_path, path, element);
    if (!value) {
        read_field(parent, f, &answer);
        return &answer;
    }
    Cell old = *parent;
    write_field(parent, f, value);
    if (notify && prev_value) ownership::notify_holder(prev_value, prev_element, &old, parent);
    return value;
}

const Cell* pick(Cell* value, int32_t, Cell* index_cell) {
    Field f = field_of(index_cell);
    if (f == NO_FIELD) error::raise(Err::script_out_of_range, index_cell);
    read_field(value, f, &answer);
    return &answer;
}

// ---- compare ----------------------------------------------------------------------

// The keys are the calendar date (zone and has-time aside) and the stored
// time, equal within float!'s tolerance; sameness wants identical bits.
int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (cell::type(value2) != T_DATE) return -2;
    int32_t n1 = day_number(packed(value1)), n2 = day_number(packed(value2));
    double t1 = time_of(value1), t2 = time_of(value2);
    bool equal = n1 == n2 && float_::is_almost_equal(t1, t2);
    switch (op) {
    case 0:
    case 1:
    case 2:
    case 12: return equal ? 0 : 1;
    case 9: return n1 == n2 && value1->w2 == value2->w2 && value1->w3 == value2->w3 ? 0 : 1;
    default:
        if (equal) return 0;
        if (n1 != n2) return n1 < n2 ? -1 : 1;
        return t1 < t2 ? -1 : 1;
    }
}

void add() { arithmetic(OP_ADD); }
void subtract() { arithmetic(OP_SUBTRACT); }

// ---- random -------------------------------------------------------------------------

// A day between day 0 and the date's own (zone and has-time kept); a date
// with a time also gets a random zone and a random local time of day, in
// steps of 24 seconds.
const Cell* random(Cell* value, bool seed, bool secure, bool) {
    uint32_t d = packed(value);
    if (seed) {
        random::seed(int32_t(d + uint32_t(int32_t(time_of(value)))));
        return &statics::unset_cell;
    }
    int32_t n = day_number(d);
    int64_t day = random::in_range(secure, n) - integer::sign(n);
    if (!has_time(d)) {
        init_slot(value, from_day_number(day, zone_of(d), false), 0);
        return value;
    }
    uint32_t z = uint32_t(random::draw(secure)) & ZONE_MASK;
    uint32_t zone = zone_bits(z & ZONE_WEST, int32_t(z >> 2 & 0xF), int32_t(z & 3) * 15);
    init_slot(value, from_day_number(day, zone, true), 0);
    normalise(value, 24.0 * std::floor(random::scale(secure, 3600.0)), true);
    return value;
}

}  // namespace

// ---- arithmetic ---------------------------------------------------------------------

void arithmetic(int32_t op) {
    Cell* a = stack::arg(0);
    const Cell* b = stack::arg(1);
    uint32_t d = packed(a);
    int64_t n = day_number(d);
    double t = time_of(a);
    bool timed = has_time(d);
    int64_t sign = op == OP_SUBTRACT ? -1 : 1;
    switch (cell::type(b)) {
    case T_INTEGER: n += sign * cell::get_int(b); break;
    case T_TIME:
        t += double(sign) * cell::get_float(b);
        timed = true;
        break;
    case T_DATE: {
        if (op != OP_SUBTRACT) number::raise_not_related(op, T_DATE);
        // The days between two instants: the time difference carried as
        // in UTC, whatever the zones.
        double dt = t - time_of(b);
        int64_t days = carry_days(n - day_number(packed(b)), &dt, 0);
        cell::make_integer(a, int32_t(days));
        return;
    }
    default: number::raise_invalid_type(b);
    }
    n = carry_days(n, &t, zone_of(d));
    date::set_packed(a, from_day_number(n, zone_of(d), timed));
    cell::put_float(a, t);
}

void register_type() {
    number::seams.date_from_spec = arithmetic;
    number::seams.date_unix_seconds = unix_seconds;
    datatype::register_({.id = T_DATE, .parent = 0, .name = "date!", .make = make, .random = random,
                         .to = to, .form = form,
                         .mold = mold, .eval_path = eval_path, .compare = compare, .add = add,
                         .subtract = subtract, .pick = pick});
}

}  // namespace date
}  // namespace zel
