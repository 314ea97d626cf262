// Operating-system services for the runtime's wrappers: working directory,
// environment, clocks and sleeping. Text is UTF-8.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zel {
namespace platform {

bool get_current_dir(std::string& out);
bool set_current_dir(const char* path);
// Answers false when the variable is not set.
bool get_env(const char* name, std::string& out);
bool set_env(const char* name, const char* value);  // value null: unset
// Every variable of the process as "name=value", in the order the OS keeps.
void list_env(std::vector<std::string>& out);
void sleep_ms(uint32_t ms);

// The longest sleep: longer requests are cut to it (about 68 years).
constexpr double MAX_SLEEP_SECONDS = 2147483647.0;
// The span a sleep really takes: NaN and negative durations are 0, the rest
// is capped at MAX_SLEEP_SECONDS.
double sleep_span(double seconds);
// Sleeps the span of the duration on the monotonic clock, resuming after a
// signal until the whole span has passed.
void sleep_seconds(double seconds);

// The size in bytes of a regular file that can be opened for reading; false
// for a directory, a missing file or one that cannot be opened.
bool file_size(const char* path, uint64_t& size);

// Seconds on the monotonic clock from an arbitrary start: for measuring
// spans, which a change of the wall clock does not disturb.
double monotonic_seconds();

struct CivilTime {
    int year, month, day, hour, minute, second;
    int64_t nanoseconds;
    int32_t utc_offset_seconds;  // local offset east of UTC (0 for UTC)
};
// The current time, in UTC or in the local zone (TZ is read again at every
// call, so a change of it takes effect at once).
CivilTime now(bool utc);

}  // namespace platform
}  // namespace zel
