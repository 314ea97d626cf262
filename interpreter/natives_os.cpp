// The natives that reach the operating system: sleeping, the clock, the
// environment, files and other programs.
//
// Text handed to the system is UTF-8 and must hold what the system can take:
// a NUL would cut it short and an "=" in a variable name would change which
// variable is meant, so either raises invalid-arg instead.
#include <cstring>
#include <string>

#include "core/block.h"
#include "core/file.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "datatypes/date.h"
#include "interpreter/natives.h"
#include "interpreter/natives_system.h"
#include "io/os_info.h"
#include "io/process.h"
#include "kernel/hooks.h"
#include "kernel/unicode.h"
#include "platform/system.h"

namespace zel {
namespace natives {
namespace system {

using stack::reg;

namespace {

inline bool used(const int32_t* refinements, uint32_t i) { return refinements[i] >= 0; }


// The UTF-8 text of a string (from its index) or of a word's spelling, for a
// system call; invalid-arg with the value when it holds a NUL, or an "=" when
// it names a variable.
std::string system_text(const Cell* value, bool variable_name) {
    std::string text;
    if (types::is_any_word(cell::type(value))) {
        uint32_t length = 0;
        const uint8_t* name = symbol::name_of(symbol::record_at(cell::word_symbol(value)), &length);
        text.assign(reinterpret_cast<const char*>(name), length);
    } else {
        text = utf8::text(value);
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

// The refinements of now in spec order; the first eight each ask for one part,
// the date's field of the same name.
enum NowPart : uint32_t { N_YEAR, N_MONTH, N_DAY, N_TIME, N_ZONE, N_DATE, N_WEEKDAY, N_YEARDAY, PARTS };
constexpr uint32_t N_PRECISE = 8, N_UTC = 9;
const date::Field PART_FIELDS[PARTS] = {date::F_YEAR, date::F_MONTH, date::F_DAY,     date::F_TIME,
                                        date::F_ZONE, date::F_DATE,  date::F_WEEKDAY, date::F_YEARDAY};

// One reading of the clock gives the local date, its time and the zone, so
// the three always agree (also across midnight).
void now_date(Cell* out, bool utc, bool precise) {
    platform::CivilTime t = platform::now(utc);
    double seconds = t.hour * 3600.0 + t.minute * 60.0 + t.second;
    if (precise) seconds += double(t.nanoseconds) / 1e9;
    int32_t zone_minutes = t.utc_offset_seconds / 60;
    date::init_from_fields(out, t.year, t.month, t.day, seconds, zone_minutes / 60, zone_minutes % 60, true);
    date::normalise(out, date::time_of(out), false);
}

}  // namespace

void wait(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_wait, refinements);
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
    hooks::poll_events();
}

void now(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_now, refinements);
    uint32_t part = PARTS, parts = 0;
    for (uint32_t i = 0; i < PARTS; i++) {
        if (!used(refinements, i)) continue;
        part = i;
        parts++;
    }
    if (parts > 1) error::raise(Err::script_bad_refines);
    Cell d;
    now_date(&d, used(refinements, N_UTC), used(refinements, N_PRECISE));
    if (part == PARTS) *reg.base = d;
    else date::read_field(&d, PART_FIELDS[part], reg.base);
    reg.top = reg.base + 1;
}

void get_env(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_get_env, refinements);
    std::string name = system_text(reg.base, true), value;
    if (!platform::get_env(name.c_str(), value)) {
        cell::make_none(reg.base);
        reg.top = reg.base + 1;
        return;
    }
    answer_text(value.data(), value.size());
}

void set_env(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_set_env, refinements);
    std::string name = system_text(reg.base, true);
    bool remove = cell::type(reg.base + 1) == T_NONE;
    std::string value = remove ? std::string() : system_text(reg.base + 1, false);
    if (!platform::set_env(name.c_str(), remove ? nullptr : value.c_str()))
        error::raise(Err::script_invalid_arg, reg.base);
    stack::return_value(reg.base + 1);
}

// A map of name strings to value strings. Names differ by case on this
// system, so they are stored case-sensitively: none hides another.
void list_env(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_list_env, refinements);
    stack::return_value(platform::environment());
}

// A size beyond the integer! range comes as a float!.
void is_size(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_is_size, refinements);
    file::LocalPath path(reg.base);
    if (std::strlen(path.c_str()) != path.size()) error::raise(Err::script_invalid_arg, reg.base);
    uint64_t size = 0;
    if (!platform::file_size(path.c_str(), size)) cell::make_none(reg.base);
    else if (size > 2147483647u) cell::make_float(reg.base, double(size));
    else cell::make_integer(reg.base, int32_t(size));
    reg.top = reg.base + 1;
}

void to_local_file(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_to_local_file, refinements);
    Cell* out = stack::push_slot();
    string::write_cell(out, string::get_abs_length(reg.base) + 16);
    file::to_local_path(reg.base, out, used(refinements, 0));
    stack::return_value(out);
}

// The refinements of call in spec order; /show has no effect here, where
// programs have no window of their own to hide.
enum CallRefinement : uint32_t { C_WAIT, C_SHOW, C_CONSOLE, C_SHELL, C_INPUT, C_OUTPUT, C_ERROR };

void call(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_call, refinements);
    auto redirect = [&](uint32_t r) -> const Cell* {
        return used(refinements, r) ? reg.base + refinements[r] : nullptr;
    };
    int32_t result = ::zel::call::run(reg.base, used(refinements, C_WAIT), used(refinements, C_CONSOLE),
                                      used(refinements, C_SHELL), redirect(C_INPUT), redirect(C_OUTPUT),
                                      redirect(C_ERROR));
    cell::make_integer(reg.base, result);
    reg.top = reg.base + 1;
}

void browse(bool check, const int32_t* refinements) {
    if (check) check_args(NAT_browse, refinements);
    ::zel::call::browse(reg.base);
    cell::make_unset(reg.base);
    reg.top = reg.base + 1;
}

}  // namespace system
}  // namespace natives
}  // namespace zel
