// POSIX side of the runtime's operating-system wrappers.
#include "platform/system.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <vector>

extern char** environ;

namespace zel {
namespace platform {

bool get_current_dir(std::string& out) {
    std::vector<char> buf(PATH_MAX);
    while (!getcwd(buf.data(), buf.size())) {
        if (buf.size() > (1u << 20)) return false;
        buf.resize(buf.size() * 2);
    }
    out.assign(buf.data());
    return true;
}

bool set_current_dir(const char* path) { return chdir(path) == 0; }

bool get_env(const char* name, std::string& out) {
    const char* v = getenv(name);
    if (!v) return false;
    out.assign(v);
    return true;
}

bool set_env(const char* name, const char* value) {
    return value ? setenv(name, value, 1) == 0 : unsetenv(name) == 0;
}

void list_env(std::vector<std::string>& out) {
    for (char** e = environ; e && *e; e++) out.emplace_back(*e);
}

void sleep_ms(uint32_t ms) {
    timespec ts{time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (clock_nanosleep(CLOCK_REALTIME, 0, &ts, &ts) != 0) {
    }
}

double sleep_span(double seconds) {
    if (!(seconds > 0)) return 0;
    return seconds < MAX_SLEEP_SECONDS ? seconds : MAX_SLEEP_SECONDS;
}

void sleep_seconds(double seconds) {
    double span = sleep_span(seconds);
    double whole = std::floor(span);
    timespec ts{time_t(whole), long((span - whole) * 1e9)};
    if (ts.tv_nsec > 999999999L) ts.tv_nsec = 999999999L;
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &ts, &ts) == EINTR) {
    }
}

bool file_size(const char* path, uint64_t& size) {
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);  // a FIFO must not block
    if (fd < 0) return false;
    struct stat st;
    bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    if (regular) size = uint64_t(st.st_size);
    return regular;
}

double monotonic_seconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

CivilTime now(bool utc) {
    if (!utc) tzset();  // localtime_r need not read TZ again by itself
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    tm t{};
    if (utc) gmtime_r(&ts.tv_sec, &t);
    else localtime_r(&ts.tv_sec, &t);
    return CivilTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                     ts.tv_nsec, utc ? 0 : int32_t(t.tm_gmtoff)};
}

}  // namespace platform
}  // namespace zel
