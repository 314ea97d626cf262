// date!: making a date from a block of fields. A small state machine reads
// the block: day, month and year (or year, month and day), then optionally a
// time (a time! or hour, minute and second) and a zone (a time!, or hours and
// minutes). make is strict and refuses fields that would carry; to keeps the
// carried result.
#include <cmath>
#include <utility>

#include "core/number_internal.h"
#include "core/time.h"
#include "datatypes/date.h"
#include "kernel/memory.h"

namespace zel {
namespace date {

namespace {

// The fields a block element can fill.
enum Slot : uint8_t {
    S_NONE, S_FIRST, S_MONTH, S_THIRD, S_HOUR, S_MINUTE, S_SECOND, S_TIME, S_ZONE_HOURS,
    S_ZONE_MINUTES, S_ZONE_TIME, SLOT_COUNT,
};

struct Step {
    uint8_t next;
    Slot slot;
};

// Per state, the step for an integer!, a time! and a float!; S_NONE refuses.
const Step MACHINE[14][3] = {
    /* 0 */ {{1, S_FIRST}, {0, S_NONE}, {0, S_NONE}},
    /* 1 */ {{2, S_MONTH}, {0, S_NONE}, {0, S_NONE}},
    /* 2 */ {{3, S_THIRD}, {0, S_NONE}, {0, S_NONE}},
    /* 3 */ {{8, S_HOUR}, {4, S_TIME}, {0, S_NONE}},
    /* 4 */ {{6, S_ZONE_HOURS}, {5, S_ZONE_TIME}, {0, S_NONE}},
    /* 5 */ {{0, S_NONE}, {0, S_NONE}, {0, S_NONE}},
    /* 6 */ {{7, S_ZONE_MINUTES}, {0, S_NONE}, {0, S_NONE}},
    /* 7 */ {{0, S_NONE}, {0, S_NONE}, {0, S_NONE}},
    /* 8 */ {{9, S_MINUTE}, {0, S_NONE}, {0, S_NONE}},
    /* 9 */ {{10, S_SECOND}, {0, S_NONE}, {10, S_SECOND}},
    /* 10 */ {{12, S_ZONE_HOURS}, {11, S_ZONE_TIME}, {0, S_NONE}},
    /* 11 */ {{0, S_NONE}, {0, S_NONE}, {0, S_NONE}},
    /* 12 */ {{13, S_ZONE_MINUTES}, {0, S_NONE}, {0, S_NONE}},
    /* 13 */ {{0, S_NONE}, {0, S_NONE}, {0, S_NONE}},
};

struct Fields {
    double v[SLOT_COUNT];
    bool given[SLOT_COUNT];
    uint32_t count;
};

Cell answer;

// A time of day this far from 0 would carry past every date a cell holds.
constexpr double MAX_SECONDS = 1e12;

int32_t class_of(uint32_t type) {
    switch (type) {
    case T_INTEGER: return 0;
    case T_TIME: return 1;
    case T_FLOAT: return 2;
    default: return -1;
    }
}

Fields read_fields(const Cell* spec) {
    Fields f{};
    SeriesBuffer* b = node::buffer(cell::series_node(spec));
    uint32_t index = uint32_t(cell::series_index(spec)), length = series::length(b);
    uint32_t state = 0;
    for (uint32_t i = index; i < length; i++) {
        const Cell* e = series::cells(b) + i;
        int32_t k = class_of(cell::type(e));
        if (k < 0) number::raise_bad_to(T_DATE, spec);
        Step s = MACHINE[state][k];
        if (s.slot == S_NONE) number::raise_bad_to(T_DATE, spec);
        f.v[s.slot] = k == 0 ? double(cell::get_int(e)) : cell::get_float(e);
        f.given[s.slot] = true;
        state = s.next;
        f.count++;
    }
    if (f.count < 3) number::raise_bad_to(T_DATE, spec);
    return f;
}

// The zone bits of the fields (a time! gives hours and minutes); false for
// a zone no date can hold.
bool zone_of_fields(const Fields& f, uint32_t* zone) {
    double hours = f.v[S_ZONE_HOURS], minutes = f.v[S_ZONE_MINUTES];
    bool west = hours < 0 || (hours == 0 && minutes < 0);
    if (f.given[S_ZONE_TIME]) {
        double z = f.v[S_ZONE_TIME];
        if (!(std::fabs(z) < 57600.0)) return false;
        hours = std::trunc(z / 3600.0);
        minutes = time::get_minutes(z);
        west = z < 0;
    }
    if (!(std::fabs(hours) < 16.0) || !(std::fabs(minutes) < 60.0)) return false;
    *zone = zone_bits(west, int32_t(hours), int32_t(minutes));
    return true;
}

// The time of day the fields give, and the minute they name.
double time_of_fields(const Fields& f, double* minute) {
    if (f.given[S_TIME]) {
        *minute = time::get_minutes(f.v[S_TIME]);
        return f.v[S_TIME];
    }
    *minute = f.v[S_MINUTE];
    return f.v[S_HOUR] * 3600.0 + f.v[S_MINUTE] * 60.0 + f.v[S_SECOND];
}

// make refuses what to would carry: fields out of their range.
bool carried(const Cell* c, double year, double month, double day, double t, const Fields& f, double minute) {
    uint32_t d = packed(c);
    if (year_of(d) != year || month_of(d) != month || day_of(d) != day) return true;
    double local = time_of(c);
    if (t != 0) return !(t >= 0 && t < 86400.0) || time::get_minutes(local) != minute;
    return f.v[S_HOUR] != 0 || f.v[S_MINUTE] != 0;
}

}  // namespace

const Cell* from_spec(const Cell* spec, SpecMode mode) {
    uint32_t t = cell::type(spec);
    if (t == T_DATE) return spec;
    if (t != T_BLOCK && t != T_PAREN && t != T_HASH) number::raise_bad_to(T_DATE, spec);
    Fields f = read_fields(spec);
    double day = f.v[S_FIRST], month = f.v[S_MONTH], year = f.v[S_THIRD];
    if (day >= 100 && day > year) std::swap(day, year);
    double minute = 0;
    double seconds = time_of_fields(f, &minute);
    bool timed = f.count > 3;
    int64_t y = int64_t(year) + int64_t(std::floor((month - 1) / 12));
    int32_t m = int32_t(std::fmod(std::fmod(month - 1, 12) + 12, 12)) + 1;
    uint32_t d;
    if (!(std::fabs(seconds) < MAX_SECONDS) || y < MIN_YEAR || y > MAX_YEAR) number::raise_bad_to(T_DATE, spec);
    double local = seconds;
    int64_t n = carry_days(day_number_of(y, m, 1) - 1 + int64_t(day), &local, 0);
    if (!pack_day_number(n, 0, timed, &d)) number::raise_bad_to(T_DATE, spec);
    init_slot(&answer, d, local);
    if (mode == MODE_MAKE && carried(&answer, year, month, day, seconds, f, minute))
        number::raise_bad_to(T_DATE, spec);
    uint32_t zone;
    if (!zone_of_fields(f, &zone)) number::raise_bad_to(T_DATE, spec);
    date::set_packed(&answer, (date::packed(&answer) & ~ZONE_MASK) | zone);
    normalise(&answer, time_of(&answer), true);
    return &answer;
}

}  // namespace date
}  // namespace zel
