// date!: a calendar date with an optional time of day and zone, kept whole in
// one cell. Word 1 is the packed date; words 2-3 hold the time of day in UTC
// as a float of seconds. Every calendar operation goes through the day
// number, the count of days since 1 March of year 0 (proleptic Gregorian),
// so fields out of range carry into their neighbours.
//
// The packed word: year in bits 17-31 (signed), has-time in bit 16, month in
// bits 12-15, day in bits 7-11, and the zone in bits 0-6: sign (west of UTC)
// in bit 6, whole hours in bits 2-5 and quarter hours in bits 0-1.
//
// A normalised value keeps its local time of day (stored time plus zone
// offset) in [0, 86400); the stored time itself may leave that range by up
// to the offset.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace date {

constexpr uint32_t HAS_TIME = 1u << 16;
constexpr uint32_t ZONE_MASK = 0x7Fu;
constexpr uint32_t ZONE_WEST = 0x40u;
constexpr int32_t MIN_YEAR = -16384, MAX_YEAR = 16383;
constexpr int32_t UNIX_EPOCH_DAY = 719468;  // 1 January 1970

// ---- the packed word ---------------------------------------------------------
inline int32_t year_of(uint32_t d) { return int32_t(d) >> 17; }
inline int32_t month_of(uint32_t d) { return int32_t((d >> 12) & 0xF); }
inline int32_t day_of(uint32_t d) { return int32_t((d >> 7) & 0x1F); }
inline uint32_t zone_of(uint32_t d) { return d & ZONE_MASK; }
inline bool has_time(uint32_t d) { return (d & HAS_TIME) != 0; }
inline uint32_t packed(const Cell* c) { return c->w1; }
inline void set_packed(Cell* c, uint32_t p) { c->w1 = p; }
double time_of(const Cell* c);

// The zone bits of an offset: |hours| (4 bits) and quarter hours, west when
// negative.
uint32_t zone_bits(bool west, int32_t hours, int32_t minutes);
// The zone's offset from UTC in seconds (negative west).
int32_t zone_offset(uint32_t zone);

// ---- the calendar ------------------------------------------------------------
// The English month names, January first.
extern const char* const MONTH_NAMES[12];
bool is_leap_year(int64_t year);
int32_t month_length(int64_t year, int32_t month);
// The day number of a date given by fields; month 1-12, the day may be any.
int64_t day_number_of(int64_t year, int32_t month, int64_t day);
int32_t day_number(uint32_t d);
// The packed word of a day number; false when its year does not fit.
bool pack_day_number(int64_t n, uint32_t zone, bool timed, uint32_t* out);
// As pack_day_number, raising math overflow when the year does not fit.
uint32_t from_day_number(int64_t n, uint32_t zone, bool timed);
// The same day number with new zone and has-time bits kept from d.
uint32_t moved(uint32_t d, int64_t n);
int32_t first_day_of_year(uint32_t d);
// The weekday of 1 January of d's year, Sunday 0 ... Saturday 6.
int32_t new_year_weekday(uint32_t d);
int32_t weekday(int64_t n);  // Monday 1 ... Sunday 7
int32_t day_of_year(uint32_t d);
int32_t week(uint32_t d);  // weeks begin on Sunday; week 1 holds 1 January
int32_t iso_week_one(int64_t year);
int32_t iso_week(uint32_t d);
// The year moves by whole years of m - 1, the month becomes m in 1-12; a day
// past the new month's end carries. Raises math overflow for a year that
// does not fit.
uint32_t change_month(uint32_t d, int64_t m);
uint32_t change_week(uint32_t d, int64_t w);  // the Monday of ISO week w
uint32_t change_weekday(uint32_t d, int64_t day);
uint32_t change_yearday(uint32_t d, int64_t n);

// ---- normalisation -----------------------------------------------------------
// Carries whole days out of the time (adjusted in place) so that the local
// time of day lies in [0, 86400); answers the new day number. Raises math
// overflow for a time that is not finite or too large to carry.
int64_t carry_days(int64_t n, double* t, uint32_t zone);
// Carries the time t into the cell's date and stores it; with local set, t
// is local wall-clock time and is first converted to UTC.
void normalise(Cell* c, double t, bool local);

// ---- constructors ------------------------------------------------------------
void init_slot(Cell* c, uint32_t packed, double t);
Cell* push_new(uint32_t packed, double t);
// The lexer's constructor: no carry. The zone is west when zone_hours is
// negative, or zone_hours is 0 and zone_minutes negative; without has-time
// the zone and time are dropped.
void init_from_fields(Cell* c, int32_t year, int32_t month, int32_t day, double t, int32_t zone_hours,
                      int32_t zone_minutes, bool timed);
// A UTC time of the operating system.
void from_system_time(Cell* c, int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                      int32_t second, int64_t nanoseconds);
// make (strict) or to (lenient) from a date or a block of fields; the answer
// is a static cell the caller copies at once.
enum SpecMode : int32_t { MODE_MAKE = 0, MODE_TO = 1 };
const Cell* from_spec(const Cell* spec, SpecMode mode);

// ---- services ----------------------------------------------------------------
// Seconds since 1970-01-01 00:00 UTC, to the nearest second; type-limit
// (integer!) when they do not fit.
int32_t unix_seconds(const Cell* c);
// The time! from b to a, written over a.
void difference(Cell* a, const Cell* b);

// The fields by index, shared by path access, pick and now.
enum Field : int32_t {
    NO_FIELD = 0, F_DATE, F_YEAR, F_MONTH, F_DAY, F_ZONE, F_TIME, F_HOUR, F_MINUTE, F_SECOND,
    F_WEEKDAY, F_YEARDAY, F_TIMEZONE, F_WEEK, F_ISOWEEK, FIELD_COUNT = F_ISOWEEK,
};
// The field a word names (case-insensitive), or NO_FIELD.
Field field_of_word(const Cell* word);
// The value of a field (1-14) into out.
void read_field(const Cell* c, Field f, Cell* out);
// Writes the field; raises invalid-arg for a value of the wrong type,
// leaving the date as it was.
void write_field(Cell* c, Field f, const Cell* value);

// The add and subtract actions: the date in the frame's result slot moved by
// the next argument (integer! days or time!); two dates subtract to the
// days between them.
void arithmetic(int32_t op);

void register_type();

}  // namespace date
}  // namespace zel
