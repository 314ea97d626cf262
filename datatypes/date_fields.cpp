// date!: the fields by index and word, read and written. Path access, pick
// and the now native share them. A write is done on a copy and stored only
// when it succeeds, so an error leaves the date as it was.
#include <cmath>

#include "core/number_internal.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/symbol.h"
#include "core/time.h"
#include "datatypes/date.h"

namespace zel {
namespace date {

namespace {

const struct {
    words::Symbol symbol;
    Field field;
} FIELD_WORDS[] = {
    {words::S_date, F_DATE},       {words::S_year, F_YEAR},         {words::S_month, F_MONTH},
    {words::S_day, F_DAY},         {words::S_zone, F_ZONE},         {words::S_time, F_TIME},
    {words::S_hour, F_HOUR},       {words::S_minute, F_MINUTE},     {words::S_second, F_SECOND},
    {words::S_weekday, F_WEEKDAY}, {words::S_yearday, F_YEARDAY},   {words::S_julian, F_YEARDAY},
    {words::S_timezone, F_TIMEZONE}, {words::S_week, F_WEEK},       {words::S_isoweek, F_ISOWEEK},
};

void make_time(Cell* out, double seconds) {
    *out = Cell{T_TIME, 0, 0, 0};
    cell::put_float(out, seconds);
}

double local_time(const Cell* c) { return time_of(c) + zone_offset(zone_of(packed(c))); }

int64_t integer_arg(const Cell* value) {
    if (cell::type(value) != T_INTEGER) error::raise(Err::script_invalid_arg, value);
    return cell::get_int(value);
}

// The zone an integer! (hours) or time! names; hours wrap at 16.
uint32_t zone_of_value(const Cell* value) {
    if (cell::type(value) == T_INTEGER) {
        int32_t h = cell::get_int(value) % 16;
        return zone_bits(h < 0, h, 0);
    }
    double t = cell::get_float(value);
    if (cell::type(value) != T_TIME || !std::isfinite(t)) error::raise(Err::script_invalid_arg, value);
    double z = std::fmod(t, 57600.0);
    return zone_bits(z < 0, int32_t(std::trunc(z / 3600.0)), time::get_minutes(z));
}

// Sets one part of the local time through time!'s own path write.
double with_time_part(const Cell* c, Field f, const Cell* value) {
    Cell t;
    make_time(&t, local_time(c));
    Cell element;
    cell::make_integer(&element, f - F_HOUR + 1);
    time::eval_path(&t, &element, const_cast<Cell*>(value), &element, nullptr, nullptr, 0, false, false, true,
                    false);
    return cell::get_float(&t);
}

// The Sunday that begins week w (1 January for week 1 and below).
int64_t start_of_week(uint32_t d, int64_t w) {
    int64_t f = first_day_of_year(d);
    if (w <= 1) return f;
    return f + 7 * w - new_year_weekday(d) - 7;
}

}  // namespace

Field field_of_word(const Cell* word) {
    uint32_t s = symbol::resolve(cell::word_symbol(word));
    for (const auto& w : FIELD_WORDS)
        if (s == symbol::resolve(words::symbol(w.symbol))) return w.field;
    return NO_FIELD;
}

void read_field(const Cell* c, Field f, Cell* out) {
    uint32_t d = packed(c);
    bool timed = has_time(d);
    double local = local_time(c);
    switch (f) {
    case F_DATE: init_slot(out, d & ~(HAS_TIME | ZONE_MASK), 0); return;
    case F_YEAR: cell::make_integer(out, year_of(d)); return;
    case F_MONTH: cell::make_integer(out, month_of(d)); return;
    case F_DAY: cell::make_integer(out, day_of(d)); return;
    case F_ZONE:
    case F_TIMEZONE:
        if (timed) make_time(out, zone_offset(zone_of(d)));
        else cell::make_none(out);
        return;
    case F_TIME:
        if (timed) make_time(out, local);
        else cell::make_none(out);
        return;
    case F_HOUR: cell::make_integer(out, time::get_hours(local)); return;
    case F_MINUTE: cell::make_integer(out, time::get_minutes(local)); return;
    case F_SECOND: cell::make_float(out, std::fmod(local, 60.0)); return;
    case F_WEEKDAY: cell::make_integer(out, weekday(day_number(d))); return;
    case F_YEARDAY: cell::make_integer(out, day_of_year(d)); return;
    case F_WEEK: cell::make_integer(out, week(d)); return;
    case F_ISOWEEK: cell::make_integer(out, iso_week(d)); return;
    case NO_FIELD: break;
    }
    cell::make_none(out);
}

void write_field(Cell* c, Field f, const Cell* value) {
    Cell n = *c;
    uint32_t d = packed(c);
    double t = time_of(c);
    switch (f) {
    case F_DATE:
        if (cell::type(value) != T_DATE) error::raise(Err::script_invalid_arg, value);
        date::set_packed(&n, moved((packed(value) & ~ZONE_MASK) | zone_of(d), day_number(packed(value))));
        break;
    case F_YEAR: {
        int64_t y = integer_arg(value);
        if (y < MIN_YEAR || y > MAX_YEAR) error::raise(Err::math_overflow);
        date::set_packed(&n, moved(d, day_number_of(y, month_of(d), day_of(d))));
        break;
    }
    case F_MONTH: date::set_packed(&n, change_month(d, integer_arg(value))); break;
    case F_DAY: date::set_packed(&n, moved(d, day_number_of(year_of(d), month_of(d), 1) - 1 + integer_arg(value))); break;
    case F_ZONE:
        date::set_packed(&n, (d & ~ZONE_MASK) | zone_of_value(value) | HAS_TIME);
        normalise(&n, local_time(c), true);
        break;
    case F_TIMEZONE:
        date::set_packed(&n, (d & ~ZONE_MASK) | zone_of_value(value) | HAS_TIME);
        normalise(&n, t, false);
        break;
    case F_TIME:
        if (cell::type(value) == T_NONE) {
            date::set_packed(&n, d & ~HAS_TIME);
            cell::put_float(&n, 0);
            break;
        }
        if (cell::type(value) != T_TIME) error::raise(Err::script_invalid_arg, value);
        date::set_packed(&n, d | HAS_TIME);
        normalise(&n, cell::get_float(value), true);
        break;
    case F_HOUR:
    case F_MINUTE:
    case F_SECOND:
        date::set_packed(&n, d | HAS_TIME);
        normalise(&n, with_time_part(c, f, value), true);
        break;
    case F_WEEKDAY: date::set_packed(&n, change_weekday(d, integer_arg(value))); break;
    case F_YEARDAY: date::set_packed(&n, change_yearday(d, integer_arg(value))); break;
    case F_WEEK: date::set_packed(&n, moved(d, start_of_week(d, integer_arg(value)))); break;
    case F_ISOWEEK: date::set_packed(&n, change_week(d, integer_arg(value))); break;
    case NO_FIELD: return;
    }
    *c = n;
}

}  // namespace date
}  // namespace zel
