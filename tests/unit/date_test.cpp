// date!: the day-number calendar against python3's datetime over the whole
// range of years it knows, the text form read back by the lexer, epoch
// seconds, zones and their carry, and now under zones a quarter or a half
// hour off the hour, checked against the date command taken around it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "datatypes/date.h"
#include "natives_cases.h"

namespace zel {
namespace {

using natives_cases::molded;
using natives_cases::run;

// The whole output of a shell command.
std::string shell(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

struct Day {
    int64_t n;
    int32_t year, month, day, weekday, yearday, iso_week, week;
};

// Every 97th day from 1 January of year 1 to 31 December 9999, and the
// first days of a few years around the turns of centuries, from python3.
// Its ordinal 1 (1 January of year 1) is day number 306 here. The
// Sunday-based week counts 1 January's week as week 1, which %U does only
// when 1 January is a Sunday.
std::vector<Day> python_days() {
    const char* script =
        "import datetime as d\n"
        "ords = list(range(1, d.date(9999, 12, 31).toordinal() + 1, 97))\n"
        "for y in (1600, 1700, 1900, 2000, 2100, 2400):\n"
        "    for k in range(-3, 4): ords.append(d.date(y, 1, 1).toordinal() + k)\n"
        "    ords.append(d.date(y, 3, 1).toordinal() - 1)\n"
        "for o in ords:\n"
        "    x = d.date.fromordinal(o)\n"
        "    sunday = 0 if d.date(x.year, 1, 1).weekday() == 6 else 1\n"
        "    print(o + 305, x.year, x.month, x.day, x.isoweekday(), x.timetuple().tm_yday,\n"
        "          x.isocalendar()[1], int(x.strftime('%U')) + sunday)\n";
    std::string out = shell("python3 -c \"" + std::string(script) + "\"");
    std::vector<Day> days;
    Day d;
    const char* p = out.c_str();
    int used;
    while (std::sscanf(p, "%ld %d %d %d %d %d %d %d%n", &d.n, &d.year, &d.month, &d.day, &d.weekday,
                       &d.yearday, &d.iso_week, &d.week, &used) == 8) {
        days.push_back(d);
        p += used;
    }
    return days;
}

class DateTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test_support::interpreter_ready();
        natives_cases::words_ready();
    }
};

TEST_F(DateTest, CalendarAgreesWithPython) {
    std::vector<Day> days = python_days();
    ASSERT_GT(days.size(), 30000u);
    for (const Day& x : days) {
        uint32_t d = date::from_day_number(x.n, 0, false);
        ASSERT_EQ(date::year_of(d), x.year) << x.n;
        ASSERT_EQ(date::month_of(d), x.month) << x.n;
        ASSERT_EQ(date::day_of(d), x.day) << x.n;
        ASSERT_EQ(date::day_number(d), x.n);
        ASSERT_EQ(date::weekday(x.n), x.weekday) << x.n;
        ASSERT_EQ(date::day_of_year(d), x.yearday) << x.n;
        ASSERT_EQ(date::iso_week(d), x.iso_week) << x.n;
        ASSERT_EQ(date::week(d), x.week) << x.n;
    }
}

TEST_F(DateTest, DayNumbers) {
    EXPECT_EQ(date::day_number_of(0, 3, 1), 0);
    EXPECT_EQ(date::day_number_of(1970, 1, 1), date::UNIX_EPOCH_DAY);
    // Year 0 is a leap year and the years before it count on without a gap.
    EXPECT_EQ(date::day_number_of(0, 2, 29), -1);
    EXPECT_EQ(date::day_number_of(0, 3, 1) - date::day_number_of(-1, 3, 1), 366);
    EXPECT_EQ(date::day_number_of(-1, 3, 1) - date::day_number_of(-2, 3, 1), 365);
    for (int64_t n = -800000; n < -700000; n += 13) {
        uint32_t d = date::from_day_number(n, 0, false);
        ASSERT_EQ(date::day_number(d), n);
    }
    for (int32_t year : {date::MIN_YEAR, date::MAX_YEAR}) {
        uint32_t d = date::from_day_number(date::day_number_of(year, 6, 15), 0x5B, true);
        EXPECT_EQ(date::year_of(d), year);
        EXPECT_EQ(date::zone_of(d), 0x5Bu);
        EXPECT_TRUE(date::has_time(d));
    }
    uint32_t out;
    EXPECT_FALSE(date::pack_day_number(date::day_number_of(date::MAX_YEAR + 1, 1, 1), 0, false, &out));
    EXPECT_FALSE(date::pack_day_number(date::day_number_of(date::MIN_YEAR - 1, 12, 31), 0, false, &out));
}

TEST_F(DateTest, Zones) {
    struct Case {
        bool west;
        int32_t hours, minutes;
        uint32_t bits;
        int32_t offset;
    };
    const Case cases[] = {
        {false, 5, 45, 5 << 2 | 3, 20700}, {true, -3, -30, 0x40 | 3 << 2 | 2, -12600},
        {true, 0, -30, 0x40 | 2, -1800},   {false, 15, 45, 15 << 2 | 3, 56700},
        {true, 0, 0, 0, 0},                {true, -12, 0, 0x40 | 12 << 2, -43200},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(date::zone_bits(c.west, c.hours, c.minutes), c.bits) << c.hours;
        EXPECT_EQ(date::zone_offset(c.bits), c.offset) << c.hours;
    }
}

// Local times just around midnight in a zone west and a zone east of UTC:
// the local date moves, the zone keeps its sign on hours and quarters.
TEST_F(DateTest, NormaliseCarriesTheLocalDay) {
    struct Case {
        int32_t zone_hours, zone_minutes;
        double local;  // seconds from the local midnight of 1 January 2000
        int32_t day;
        double local_time;
    };
    const Case cases[] = {
        {-3, -30, -1, 31, 86399}, {-3, -30, 86400, 2, 0}, {-3, -30, 3600, 1, 3600},
        {5, 45, -60, 31, 86340},  {5, 45, 90000, 2, 3600}, {0, 0, -86401, 30, 86399},
        {0, 0, 3.5 * 86400, 4, 43200},
    };
    for (const Case& c : cases) {
        Cell d;
        date::init_from_fields(&d, 2000, 1, 1, 0, c.zone_hours, c.zone_minutes, true);
        date::normalise(&d, c.local, true);
        uint32_t p = date::packed(&d);
        EXPECT_EQ(date::day_of(p), c.day) << c.local;
        double local = date::time_of(&d) + date::zone_offset(date::zone_of(p));
        EXPECT_DOUBLE_EQ(local, c.local_time) << c.local;
        EXPECT_EQ(date::zone_offset(date::zone_of(p)), c.zone_hours * 3600 + c.zone_minutes * 60);
    }
    Cell d;
    date::init_from_fields(&d, 2000, 1, 1, 0, 0, 0, true);
    EXPECT_TRUE(test_support::raises(Err::math_overflow, [&] { date::normalise(&d, NAN, false); }));
    EXPECT_TRUE(test_support::raises(Err::math_overflow, [&] { date::normalise(&d, 1e300, false); }));
}

// Epoch seconds of timed dates in zones, from python3 calendar.timegm of
// the local time less the offset.
TEST_F(DateTest, UnixSeconds) {
    struct Case {
        const char* text;
        int32_t seconds;
    };
    const Case cases[] = {
        {"1-Jan-1970/0:00", 0},
        {"31-Dec-1969/23:59:59", -1},
        {"1-Jan-2000/10:00+05:30", 946701000},
        {"29-Feb-2024/23:30-03:30", 1709262000},
        {"1-Jan-2000/0:00:00.4+05:45", 946664100},
        {"19-Jan-2038/3:14:07", 2147483647},
        {"13-Dec-1901/20:45:52", -2147483647 - 1},
        {"1-Jan-2000/0:00:00.6", 946684801},
        {"5-Mar-2024", 1709596800},
    };
    for (const Case& c : cases) {
        Cell d = run(c.text);
        ASSERT_EQ(cell::type(&d), uint32_t(T_DATE)) << c.text;
        EXPECT_EQ(date::unix_seconds(&d), c.seconds) << c.text;
        Cell back = run((std::string("to date! ") + std::to_string(c.seconds)).c_str());
        EXPECT_EQ(date::unix_seconds(&back), c.seconds) << c.text;
    }
    Cell late = run("19-Jan-2038/3:14:08");
    EXPECT_TRUE(test_support::raises(Err::script_type_limit, [&] { date::unix_seconds(&late); }));
}

// Every text the mold writes loads back as the same value.
TEST_F(DateTest, TextLoadsBack) {
    struct Clock {
        bool timed;
        double local;
        int32_t zone_hours, zone_minutes;
    };
    const Clock clocks[] = {{false, 0, 0, 0},   {true, 0, 0, 0},     {true, 86399.5, 0, 0},
                            {true, 36000, 5, 45}, {true, 3723, -3, -30}, {true, 43200, 15, 45}};
    std::vector<Day> days = python_days();
    for (size_t i = 0; i < days.size(); i += 37) {
        const Clock& k = clocks[i % 6];
        Cell d;
        date::init_from_fields(&d, days[i].year, days[i].month, days[i].day, k.local, k.zone_hours,
                               k.zone_minutes, k.timed);
        std::string text = molded(d);
        Cell once = run(text.c_str());
        ASSERT_EQ(cell::type(&once), uint32_t(T_DATE)) << text;
        EXPECT_EQ(molded(once), text);
        EXPECT_EQ(date::packed(&once), date::packed(&d)) << text;
        EXPECT_EQ(date::time_of(&once), date::time_of(&d)) << text;
    }
    for (const char* text : {"1/Jan/-0044", "31/Dec/-9999", "1-Jan-0001", "1-Jan-0099", "1-Jan-9999/0:00:00-15:45"})
        EXPECT_EQ(molded(run(text)), text);
}

// A packed word stored raw with fields out of range still has a text, one
// the lexer reads.
TEST_F(DateTest, RawFieldsOutOfRangeHaveAText) {
    for (uint32_t raw : {0u, 15u << 12 | 31u << 7, 13u << 12 | date::HAS_TIME}) {
        Cell d;
        date::init_slot(&d, uint32_t(2000 << 17) | raw, 0);
        Cell back = run(molded(d).c_str());
        EXPECT_EQ(cell::type(&back), uint32_t(T_DATE)) << molded(d);
    }
}

// The environment variable TZ set for a scope.
struct ZoneScope {
    std::string saved;
    bool had;
    explicit ZoneScope(const char* zone) {
        const char* old = std::getenv("TZ");
        had = old != nullptr;
        if (had) saved = old;
        setenv("TZ", zone, 1);
    }
    ~ZoneScope() {
        if (had) setenv("TZ", saved.c_str(), 1);
        else unsetenv("TZ");
    }
};

// The zone the date command gives (+hhmm) in seconds.
int32_t zone_seconds(const std::string& z) {
    int32_t v = std::stoi(z.substr(1, 2)) * 3600 + std::stoi(z.substr(3, 2)) * 60;
    return z[0] == '-' ? -v : v;
}

TEST_F(DateTest, NowInZonesOffTheHour) {
    for (const char* zone : {"Asia/Kathmandu", "America/St_Johns"}) {
        ZoneScope scope(zone);
        std::string command = std::string("TZ=") + zone + " date +'%s %z'";
        std::string before = shell(command);
        Cell d = run("now/precise");
        Cell z = run("now/zone");
        Cell t = run("now/time");
        std::string after = shell(command);
        ASSERT_EQ(cell::type(&d), uint32_t(T_DATE)) << zone;
        int64_t first = std::stoll(before), last = std::stoll(after);
        int32_t offset = zone_seconds(before.substr(before.find(' ') + 1));
        // Epoch seconds round to the nearest second.
        int64_t s = date::unix_seconds(&d);
        EXPECT_GE(s, first) << zone;
        EXPECT_LE(s, last + 1) << zone;
        uint32_t p = date::packed(&d);
        EXPECT_TRUE(date::has_time(p));
        EXPECT_EQ(date::zone_offset(date::zone_of(p)), offset) << zone;
        EXPECT_EQ(cell::get_float(&z), offset) << zone;
        // The local calendar day and time of day agree with the instant.
        double instant = double(date::day_number(p) - date::UNIX_EPOCH_DAY) * 86400 + date::time_of(&d);
        double local = instant + offset;
        EXPECT_EQ(date::day_number(p), date::UNIX_EPOCH_DAY + int64_t(std::floor(local / 86400))) << zone;
        double wall = std::fmod(local, 86400);
        double time_field = cell::get_float(&t);
        EXPECT_TRUE(std::fabs(time_field - std::floor(wall)) <= double(last - first + 2) ||
                    time_field + 86400 - wall <= double(last - first + 2))
            << zone;
    }
    Cell utc = run("now/utc");
    EXPECT_EQ(date::zone_of(date::packed(&utc)), 0u);
}

}  // namespace
}  // namespace zel
