// date!: the day-number calendar, normalisation and the constructors that the
// lexer, the system clock and the make and to actions build dates with.
//
// Years before 1 divide by 4, 100 and 400 rounding down, so the proleptic
// calendar stays one day per day number across year 0.
#include "datatypes/date.h"

#include <cmath>

#include "core/number_internal.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/time.h"

namespace zel {
namespace date {

namespace {

int64_t floor_div(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }
int64_t floor_mod(int64_t a, int64_t b) { return a - floor_div(a, b) * b; }

// Days from 1 March of year 0 to 1 March of year y.
int64_t days_before(int64_t y) { return 365 * y + floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400); }

[[noreturn]] void overflow() { error::raise(Err::math_overflow); }

// Further than any date a packed word can hold, so carrying it must fail.
constexpr double MAX_CARRY_DAYS = 1e8;

}  // namespace

double time_of(const Cell* c) { return cell::get_float(c); }

uint32_t zone_bits(bool west, int32_t hours, int32_t minutes) {
    uint32_t h = uint32_t(hours < 0 ? -int64_t(hours) : hours) & 0xF;
    uint32_t q = uint32_t((minutes < 0 ? -int64_t(minutes) : minutes) / 15) & 3;
    uint32_t z = h << 2 | q;
    return z && west ? z | ZONE_WEST : z;
}

int32_t zone_offset(uint32_t zone) {
    int32_t s = int32_t((zone >> 2) & 0xF) * 3600 + int32_t(zone & 3) * 900;
    return zone & ZONE_WEST ? -s : s;
}

// ---- the calendar ----------------------------------------------------------------

const char* const MONTH_NAMES[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};

bool is_leap_year(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int32_t month_length(int64_t year, int32_t month) {
    static const int8_t LENGTHS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return LENGTHS[month - 1] + (month == 2 && is_leap_year(year));
}

int64_t day_number_of(int64_t year, int32_t month, int64_t day) {
    int32_t m = (month + 9) % 12;  // March 0 ... February 11
    int64_t y = year - m / 10;
    return days_before(y) + (m * 306 + 5) / 10 + (day - 1);
}

int32_t day_number(uint32_t d) { return int32_t(day_number_of(year_of(d), month_of(d), day_of(d))); }

bool pack_day_number(int64_t n, uint32_t zone, bool timed, uint32_t* out) {
    if (std::fabs(double(n)) > MAX_CARRY_DAYS) return false;
    int64_t y = int64_t(std::trunc((10000.0 * double(n) + 14780.0) / 3652425.0));
    while (n < days_before(y)) y--;
    while (n >= days_before(y + 1)) y++;
    int64_t r = n - days_before(y);
    int64_t mi = (100 * r + 52) / 3060;
    int64_t year = y + (mi + 2) / 12;
    if (year < MIN_YEAR || year > MAX_YEAR) return false;
    uint32_t month = uint32_t((mi + 2) % 12 + 1);
    uint32_t day = uint32_t(r - (mi * 306 + 5) / 10 + 1);
    *out = uint32_t(year) << 17 | month << 12 | day << 7 | (zone & ZONE_MASK) | (timed ? HAS_TIME : 0);
    return true;
}

uint32_t from_day_number(int64_t n, uint32_t zone, bool timed) {
    uint32_t d;
    if (!pack_day_number(n, zone, timed, &d)) overflow();
    return d;
}

uint32_t moved(uint32_t d, int64_t n) { return from_day_number(n, zone_of(d), has_time(d)); }

int32_t first_day_of_year(uint32_t d) { return int32_t(day_number_of(year_of(d), 1, 1)); }

int32_t new_year_weekday(uint32_t d) { return int32_t(floor_mod(first_day_of_year(d) + 3, 7)); }

int32_t weekday(int64_t n) { return int32_t(floor_mod(n + 2, 7)) + 1; }

int32_t day_of_year(uint32_t d) { return day_number(d) - first_day_of_year(d) + 1; }

int32_t week(uint32_t d) {
    int32_t e = new_year_weekday(d);
    int32_t yd = day_of_year(d);
    return yd <= 7 - e ? 1 : (yd + e - 1) / 7 + 1;
}

int32_t iso_week_one(int64_t year) {
    int64_t f = day_number_of(year, 1, 1);
    int64_t b = floor_mod(f + 2, 7);  // Monday 0
    return int32_t(f - b + (b >= 4 ? 7 : 0));
}

int32_t iso_week(uint32_t d) {
    int64_t n = day_number(d), y = year_of(d);
    int64_t w1 = iso_week_one(y);
    if (n < w1) return int32_t((n - iso_week_one(y - 1)) / 7 + 1);
    if (n >= iso_week_one(y + 1)) return 1;
    return int32_t((n - w1) / 7 + 1);
}

uint32_t change_month(uint32_t d, int64_t m) {
    int64_t year = year_of(d) + floor_div(m - 1, 12);
    if (year < MIN_YEAR || year > MAX_YEAR) overflow();
    int32_t month = int32_t(floor_mod(m - 1, 12)) + 1;
    return moved(d, day_number_of(year, month, day_of(d)));
}

uint32_t change_week(uint32_t d, int64_t w) { return moved(d, 7 * w + iso_week_one(year_of(d)) - 7); }

uint32_t change_weekday(uint32_t d, int64_t day) {
    int64_t n = day_number(d);
    return moved(d, n + day - weekday(n));
}

uint32_t change_yearday(uint32_t d, int64_t n) { return moved(d, first_day_of_year(d) + n - 1); }

// ---- normalisation ---------------------------------------------------------------

int64_t carry_days(int64_t n, double* t, uint32_t zone) {
    double h = zone_offset(zone) / 3600.0;
    double k = std::trunc(std::trunc(*t / 3600.0 + h) / 24.0);
    if (!(std::fabs(k) < MAX_CARRY_DAYS)) overflow();
    *t -= k * 86400.0;
    n += int64_t(k);
    if (h * 3600.0 + *t < 0) {
        *t += 86400.0;
        n--;
    }
    return n;
}

void normalise(Cell* c, double t, bool local) {
    uint32_t d = packed(c);
    if (local) t -= zone_offset(zone_of(d));
    int64_t n = carry_days(day_number(d), &t, zone_of(d));
    date::set_packed(c, moved(d, n));
    cell::put_float(c, t);
}

// ---- constructors ----------------------------------------------------------------

void init_slot(Cell* c, uint32_t d, double t) {
    *c = Cell{T_DATE, d, 0, 0};
    cell::put_float(c, t);
}

Cell* push_new(uint32_t d, double t) {
    Cell* c = stack::push_slot();
    init_slot(c, d, t);
    return c;
}

void init_from_fields(Cell* c, int32_t year, int32_t month, int32_t day, double t, int32_t zone_hours,
                      int32_t zone_minutes, bool timed) {
    bool west = zone_hours < 0 || (zone_hours == 0 && zone_minutes < 0);
    uint32_t zone = timed ? zone_bits(west, zone_hours, zone_minutes) : 0;
    uint32_t d = uint32_t(year) << 17 | uint32_t(month & 0xF) << 12 | uint32_t(day & 0x1F) << 7 | zone;
    init_slot(c, timed ? d | HAS_TIME : d, timed ? t - zone_offset(zone) : 0.0);
}

void from_system_time(Cell* c, int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                      int32_t second, int64_t nanoseconds) {
    init_from_fields(c, year, month, day, 0, 0, 0, true);
    cell::put_float(c, 3600.0 * hour + 60.0 * minute + second + 1e-9 * double(nanoseconds));
}

// ---- services --------------------------------------------------------------------

// Rounded to the nearest second, also for the negative stored times of
// zones east of UTC.
int32_t unix_seconds(const Cell* c) {
    double t = std::floor(time_of(c) + 0.5);
    double s = double(day_number(packed(c)) - UNIX_EPOCH_DAY) * 86400.0 + t;
    if (!number::fits_int32(s)) number::raise_type_limit(T_INTEGER);
    return int32_t(s);
}

void difference(Cell* a, const Cell* b) {
    double days = double(day_number(packed(a))) - double(day_number(packed(b)));
    double s = days * 86400.0 + (time_of(a) - time_of(b));
    time::write_cell(a, s);
    date::set_packed(a, 0);
}

}  // namespace date
}  // namespace zel
