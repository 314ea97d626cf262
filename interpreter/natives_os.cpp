// The natives that reach the operating system: sleeping, the clock, the
// environment and files. The natives whose service belongs to a later
// subsystem (call, browse, compress, decompress) hold their slots and raise
// not-done until that subsystem exists.
//
// Text handed to the system is UTF-8 and must hold what the system can take:
// a NUL would cut it short and an "=" in a variable name would change which
// variable is meant, so either raises invalid-arg instead.
#include <cstring>
#include <string>
#include <vector>

#include "core/block.h"
#include "core/file.h"
#include "core/raise.h"
#include "core/string.h"
#include "core/symbol.h"
#include "core/time.h"
#include "interpreter/natives.h"
#include "interpreter/natives_system.h"
#include "interpreter/stack.h"
#include "kernel/os.h"
#include "kernel/unicode.h"
#include "platform/system.h"
#include "view/tui_glue.h"

namespace zel {
namespace natives {
namespace system {

using stack::reg;

namespace {

enum Index : uint32_t {
    TO_LOCAL_FILE = 85, WAIT = 86, SET_ENV = 93, GET_ENV = 94, LIST_ENV = 95, NOW = 96, CALL = 99,
    SIZE = 101, BROWSE = 102, COMPRESS = 103, DECOMPRESS = 104,
};

inline bool used(const int32_t* refinements, uint32_t i) { return refinements[i] >= 0; }

[[noreturn]] void not_yet(uint32_t index, bool check, const int32_t* refinements) {
    if (check) check_args(index, refinements);
    error::raise(Err::internal_not_done);
}

bool is_word_type(uint32_t t) { return t >= T_WORD && t <= T_REFINEMENT; }

// The UTF-8 text of a string (from its index) or of a word's spelling, for a
// system call; invalid-arg with the value when it holds a NUL, or an "=" when
// it names a variable.
std::string system_text(const Cell* value, bool variable_name) {
    std::string text;
    if (is_word_type(cell::type(value))) {
        uint32_t length = 0;
        const uint8_t* name = symbol::name_of(symbol::record_at(value->w2), &length);
        text.assign(reinterpret_cast<const char*>(name), length);
    } else {
        uint32_t length = 0;
        Node bytes = utf8::from_string(value, &length);
        text.assign(reinterpret_cast<const char*>(series::head_ptr(node::buffer(bytes))), length);
    }
    bool bad = text.find('\0') != std::string::npos || (variable_name && text.find('=') != std::string::npos);
    if (bad) error::raise(Err::script_invalid_arg, value);
    return text;
}

// A new string! of UTF-8 text into the result slot.
void answer_text(const char* text, size_t length) {
    Cell* s = string::load(reinterpret_cast<const uint8_t*>(text), uint32_t(length), string::ENC_UTF8);
    stack::return_value(s);
}

void answer_integer(int32_t v) {
    cell::make_integer(reg.base, v);
    reg.top = reg.base + 1;
}

void answer_time(double seconds) {
    cell::make_none(reg.base);
    time::write_cell(reg.base, seconds);
    reg.top = reg.base + 1;
}

// ---- calendar ------------------------------------------------------------------

bool is_leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int day_of_year(int year, int month, int day) {
    static const int before[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    return before[month - 1] + day + (month > 2 && is_leap(year));
}

// Monday is 1, Sunday 7: days since 1970-01-01 (a Thursday) by the civil
// calendar.
int weekday(int year, int month, int day) {
    int y = year - (month <= 2);
    int era = (y >= 0 ? y : y - 399) / 400;
    int yoe = y - era * 400;
    int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    long days = long(era) * 146097 + doe - 719468;
    return int(((days % 7) + 7 + 3) % 7) + 1;
}

// The zone offset as the packed zone holds it: whole hours and quarter hours.
double zone_seconds(int32_t offset_seconds) {
    uint32_t packed = os::pack_zone(offset_seconds);
    double minutes = double((packed >> 2) & 0xF) * 60 + double(packed & 3) * 15;
    return (packed & 0x40 ? -minutes : minutes) * 60;
}

// The refinements of now in spec order; the first eight each ask for one part.
enum NowPart : uint32_t { N_YEAR, N_MONTH, N_DAY, N_TIME, N_ZONE, N_DATE, N_WEEKDAY, N_YEARDAY, PARTS };
constexpr uint32_t N_PRECISE = 8, N_UTC = 9;

}  // namespace

void wait(bool check, const int32_t* refinements) {
    if (check) check_args(WAIT, refinements);
    const Cell* v = reg.base;
    double seconds;
    switch (cell::type(v)) {
    case T_INTEGER: seconds = cell::get_int(v); break;
    case T_BLOCK:
    case T_NONE: error::raise(Err::script_invalid_arg, v);
    default: seconds = cell::get_float(v);  // float!, percent!, time!
    }
    cell::make_none(reg.base);
    reg.top = reg.base + 1;
    platform::sleep_seconds(seconds);
    tui::poll_events();
}

void now(bool check, const int32_t* refinements) {
    if (check) check_args(NOW, refinements);
    uint32_t part = PARTS, parts = 0;
    for (uint32_t i = 0; i < PARTS; i++) {
        if (!used(refinements, i)) continue;
        part = i;
        parts++;
    }
    if (parts > 1) error::raise(Err::script_bad_refines);
    bool utc = used(refinements, N_UTC);
    platform::CivilTime t = platform::now(utc);
    switch (part) {
    case N_YEAR: answer_integer(t.year); return;
    case N_MONTH: answer_integer(t.month); return;
    case N_DAY: answer_integer(t.day); return;
    case N_WEEKDAY: answer_integer(weekday(t.year, t.month, t.day)); return;
    case N_YEARDAY: answer_integer(day_of_year(t.year, t.month, t.day)); return;
    case N_ZONE: answer_time(zone_seconds(t.utc_offset_seconds)); return;
    case N_TIME: {
        double seconds = t.hour * 3600.0 + t.minute * 60.0 + t.second;
        if (used(refinements, N_PRECISE)) seconds += double(t.nanoseconds) / 1e9;
        answer_time(seconds);
        return;
    }
    }
    // The date itself needs date!, which this build does not have yet.
    error::raise(Err::internal_not_done);
}

void get_env(bool check, const int32_t* refinements) {
    if (check) check_args(GET_ENV, refinements);
    std::string name = system_text(reg.base, true), value;
    if (!platform::get_env(name.c_str(), value)) {
        cell::make_none(reg.base);
        reg.top = reg.base + 1;
        return;
    }
    answer_text(value.data(), value.size());
}

void set_env(bool check, const int32_t* refinements) {
    if (check) check_args(SET_ENV, refinements);
    std::string name = system_text(reg.base, true);
    bool remove = cell::type(reg.base + 1) == T_NONE;
    std::string value = remove ? std::string() : system_text(reg.base + 1, false);
    if (!platform::set_env(name.c_str(), remove ? nullptr : value.c_str()))
        error::raise(Err::script_invalid_arg, reg.base);
    stack::return_value(reg.base + 1);
}

// Until map! exists the environment comes as a block of name and value
// strings, in pairs.
void list_env(bool check, const int32_t* refinements) {
    if (check) check_args(LIST_ENV, refinements);
    std::vector<std::string> entries;
    platform::list_env(entries);
    Cell* out = block::push_new(int32_t(entries.size() * 2));
    for (const std::string& e : entries) {
        size_t eq = e.find('=');
        if (eq == std::string::npos) eq = e.size();
        const uint8_t* text = reinterpret_cast<const uint8_t*>(e.data());
        string::load_in(out, text, uint32_t(eq), string::ENC_UTF8);
        size_t rest = eq < e.size() ? eq + 1 : eq;
        string::load_in(out, text + rest, uint32_t(e.size() - rest), string::ENC_UTF8);
    }
    stack::return_value(out);
}

// A size beyond the integer! range comes as a float!.
void is_size(bool check, const int32_t* refinements) {
    if (check) check_args(SIZE, refinements);
    file::LocalPath path(reg.base);
    if (std::strlen(path.c_str()) != path.size()) error::raise(Err::script_invalid_arg, reg.base);
    uint64_t size = 0;
    if (!platform::file_size(path.c_str(), size)) cell::make_none(reg.base);
    else if (size > 2147483647u) cell::make_float(reg.base, double(size));
    else cell::make_integer(reg.base, int32_t(size));
    reg.top = reg.base + 1;
}

void to_local_file(bool check, const int32_t* refinements) {
    if (check) check_args(TO_LOCAL_FILE, refinements);
    Cell* out = stack::push_slot();
    string::write_cell(out, string::get_abs_length(reg.base) + 16);
    file::to_local_path(reg.base, out, used(refinements, 0));
    stack::return_value(out);
}

void call(bool check, const int32_t* refinements) { not_yet(CALL, check, refinements); }
void browse(bool check, const int32_t* refinements) { not_yet(BROWSE, check, refinements); }
void compress(bool check, const int32_t* refinements) { not_yet(COMPRESS, check, refinements); }
void decompress(bool check, const int32_t* refinements) { not_yet(DECOMPRESS, check, refinements); }

}  // namespace system
}  // namespace natives
}  // namespace zel
