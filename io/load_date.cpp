// The date loader: the text of a date token becomes a date! value.
//
// Forms: day-month-year or year-month-day with "-" or "/" (the month a
// number or a name of 3 to 9 letters), the week date 2024-W10-3, the ordinal
// date 2024-075 and the compact 20240305T1345Z; then an optional time after
// "/" or "T" and a zone ("Z", or "+" or "-" with hours and minutes). The
// whole token must be used, and every field must lie in its range.
#include <cstring>

#include "datatypes/date.h"
#include "io/lexer_internal.h"
#include "kernel/floattext.h"

namespace zel {
namespace lexer {

namespace {

enum Form { PLAIN, WEEK, ORDINAL };

struct Fields {
    Form form;
    int32_t year, month, day;  // day: day of the month, week day or year day
    int32_t week;
    bool timed;
    double time;
    int32_t zone_hours, zone_minutes;  // both negative for a zone west of UTC
};

struct Cursor {
    const uint8_t* p;
    const uint8_t* e;
    bool at(char c) const { return p < e && *p == c; }
    bool take(char c) { return at(c) ? (p++, true) : false; }
    bool digit() const { return p < e && *p >= '0' && *p <= '9'; }
};

// Up to max digits (at least min); -1 when fewer are there.
int32_t number(Cursor& c, int min, int max, int* count = nullptr) {
    int32_t v = 0;
    int n = 0;
    for (; n < max && c.digit(); n++) v = v * 10 + (*c.p++ - '0');
    if (count) *count = n;
    return n < min ? -1 : v;
}

// Seconds of one or two digits (exactly two when compact) with an optional
// fraction after ".".
bool seconds(Cursor& c, int min, double* out) {
    const uint8_t* start = c.p;
    if (number(c, min, 2) < 0) return false;
    if (c.take('.')) {
        const uint8_t* fraction = c.p;
        while (c.digit()) c.p++;
        if (c.p == fraction) return false;
    }
    int32_t unconsumed = 0;
    *out = float_::from_text(reinterpret_cast<const char*>(start), reinterpret_cast<const char*>(c.p), 0,
                             &unconsumed);
    return unconsumed == 0 && *out < 60;
}

// "Z", or a sign with hours and minutes (the minutes optionally after ":").
bool zone(Cursor& c, Fields* f, int hour_digits) {
    if (c.take('Z') || c.p == c.e) return true;
    if (!c.at('+') && !c.at('-')) return false;
    int sign = *c.p++ == '-' ? -1 : 1;
    int32_t h = number(c, hour_digits, 2);
    if (h < 0 || h > 15) return false;
    int32_t m = 0;
    if (c.take(':') || c.digit()) m = number(c, 1, 2);
    if (m < 0 || m > 59) return false;
    f->zone_hours = sign * h;
    f->zone_minutes = sign * m;
    return true;
}

// hh:mm[:ss[.f]] with one or two digits each, then an optional zone.
bool clock(Cursor& c, Fields* f) {
    int32_t h = number(c, 1, 2);
    if (h < 0 || h > 23 || !c.take(':')) return false;
    int32_t m = number(c, 1, 2);
    double s = 0;
    if (m < 0 || m > 59 || (c.take(':') && !seconds(c, 1, &s))) return false;
    f->timed = true;
    f->time = h * 3600.0 + m * 60.0 + s;
    return zone(c, f, 1);
}

// yyyymmddThhmm[ss[.f]] and an optional zone, all fields of fixed width.
bool compact(Cursor& c, Fields* f) {
    f->month = number(c, 2, 2);
    f->day = number(c, 2, 2);
    if (f->day < 0 || !c.take('T')) return false;
    int32_t h = number(c, 2, 2);
    int32_t m = number(c, 2, 2);
    double s = 0;
    if (m < 0 || h > 23 || m > 59 || (c.digit() && !seconds(c, 2, &s))) return false;
    f->timed = true;
    f->time = h * 3600.0 + m * 60.0 + s;
    return zone(c, f, 2);
}

// Whether the lower-case letters of name begin the month's name.
bool is_month_prefix(const char* name, size_t n, const char* month) {
    if (n > std::strlen(month)) return false;
    for (size_t i = 0; i < n; i++)
        if (name[i] != char(month[i] | 0x20)) return false;
    return true;
}

// A month number of one or two digits, or a name cut to 3 letters or more.
int32_t month(Cursor& c) {
    if (c.digit()) return number(c, 1, 2);
    char name[10];
    size_t n = 0;
    for (; c.p < c.e && n < sizeof name && ((*c.p | 0x20) >= 'a' && (*c.p | 0x20) <= 'z'); c.p++)
        name[n++] = char(*c.p | 0x20);
    if (n < 3 || n > 9) return -1;
    for (int32_t i = 0; i < 12; i++)
        if (is_month_prefix(name, n, date::MONTH_NAMES[i])) return i + 1;
    return -1;
}

// Day, month and year in either order, after the first field and separator.
bool day_month_year(Cursor& c, Fields* f, int32_t first, int first_digits, bool first_signed, uint8_t sep) {
    f->month = month(c);
    if (f->month < 0 || !c.take(char(sep))) return false;
    bool last_negative = c.take('-');
    int last_digits;
    int32_t last = number(c, 1, 6, &last_digits);
    if (last < 0) return false;
    if (last_negative) last = -last;
    bool year_first = first_digits > 2 && !last_negative && last <= 31;
    int32_t year = year_first ? first : last;
    int year_digits = year_first ? first_digits : last_digits;
    bool year_signed = year_first ? first_signed : last_negative;
    if (year_digits <= 2 && !year_signed) year += year < 50 ? 2000 : 1900;
    f->year = year;
    f->day = year_first ? last : first;
    return true;
}

// The date part; the time follows.
bool date_part(Cursor& c, Fields* f) {
    bool negative = c.at('-'), sign = c.take('-') || c.take('+');
    int first_digits;
    int32_t first = number(c, 1, 4, &first_digits);
    if (first < 0) return false;
    if (negative) first = -first;
    f->year = first;
    if (c.digit()) return first_digits == 4 && compact(c, f);
    if (!c.at('-') && !c.at('/')) return false;
    uint8_t sep = *c.p++;
    if (sep == '-' && first_digits == 4 && c.take('W')) {
        f->form = WEEK;
        f->week = number(c, 2, 2);
        f->day = c.take('-') ? number(c, 1, 1) : 1;
        return f->week >= 0 && f->day >= 0;
    }
    Cursor ahead = c;
    int n;
    int32_t yearday = number(ahead, 3, 3, &n);
    if (sep == '-' && yearday >= 0 && !ahead.digit() && !ahead.at('-')) {
        f->form = ORDINAL;
        f->day = yearday;
        c = ahead;
        return true;
    }
    return day_month_year(c, f, first, first_digits, sign, sep);
}

bool in_range(const Fields& f) {
    if (f.year < -9999 || f.year > 9999) return false;
    switch (f.form) {
    case WEEK: return f.week >= 1 && f.week <= 53 && f.day >= 1 && f.day <= 7;
    case ORDINAL: return f.day >= 1 && f.day <= 365 + date::is_leap_year(f.year);
    case PLAIN: break;
    }
    return f.month >= 1 && f.month <= 12 && f.day >= 1 && f.day <= date::month_length(f.year, f.month);
}

bool parse(const uint8_t* p, const uint8_t* e, Fields* f) {
    Cursor c{p, e};
    *f = Fields{PLAIN, 0, 1, 1, 0, false, 0, 0, 0};
    if (!date_part(c, f)) return false;
    if (c.p < c.e && !f->timed && !((c.take('/') || c.take('T')) && clock(c, f))) return false;
    return c.p == c.e && in_range(*f);
}

void build(Cell* out, const Fields& f) {
    bool plain = f.form == PLAIN;
    date::init_from_fields(out, f.year, plain ? f.month : 1, plain ? f.day : 1, f.time, f.zone_hours,
                           f.zone_minutes, f.timed);
    if (f.form == WEEK) date::set_packed(out, date::change_weekday(date::change_week(date::packed(out), f.week), f.day));
    if (f.form == ORDINAL) date::set_packed(out, date::change_yearday(date::packed(out), f.day));
}

}  // namespace

void load_date(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    const uint8_t* in = input_bytes(s);
    Fields f;
    if (!parse(in + start, in + end, &f)) invalid(s, T_DATE);
    s->type = T_DATE;
    if (!load) return;
    Cell d;
    build(&d, f);
    put(alloc_cell(s), d);
}

}  // namespace lexer
}  // namespace zel
