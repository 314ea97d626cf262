// Operating-system services for the runtime's wrappers: working directory,
// environment, clocks and sleeping. Text is UTF-8.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace zel {
namespace platform {

bool get_current_dir(std::string& out);
bool set_current_dir(const char* path);
// Answers false when the variable is not set.
bool get_env(const char* name, std::string& out);
bool set_env(const char* name, const char* value);  // value null: unset
void sleep_ms(uint32_t ms);

struct CivilTime {
    int year, month, day, hour, minute, second;
    int64_t nanoseconds;
    int32_t utc_offset_seconds;  // local offset east of UTC (0 for UTC)
};
// The current time, in UTC or in the local zone.
CivilTime now(bool utc);

}  // namespace platform
}  // namespace zel
