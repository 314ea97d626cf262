// Thin wrappers over the operating system: the shapes the runtime expects, over
// the POSIX layer.
#include "kernel/os.h"

#include <cstring>
#include <string>

#include "kernel/runtime.h"
#include "platform/pages.h"
#include "platform/system.h"

namespace zel {
namespace os {

// No code is ever generated at run time, so pages are never made executable.
void* alloc_pages(uint32_t bytes, bool) {
    void* p = pages::take(bytes);
    if (!p) runtime::throw_code(EXIT_PAGE_ALLOC);
    return p;
}

void free_pages(void* address, uint32_t bytes) {
    if (!pages::give_back(address, bytes)) runtime::throw_code(EXIT_PAGE_FREE);
}

char* get_current_dir() {
    std::string dir;
    if (!platform::get_current_dir(dir)) return nullptr;
    char* text = static_cast<char*>(heap::alloc(dir.size() + 1));
    std::memcpy(text, dir.c_str(), dir.size() + 1);
    return text;
}

bool set_current_dir(const char* path) { return platform::set_current_dir(path); }
bool set_env(const char* name, const char* value) { return platform::set_env(name, value); }

uint32_t get_env(const char* name, char* buf, uint32_t size) {
    std::string value;
    if (!platform::get_env(name, value)) return 0;
    if (size > 0) {
        size_t n = value.size() < size - 1 ? value.size() : size - 1;
        std::memcpy(buf, value.data(), n);
        buf[n] = 0;
    }
    return uint32_t(value.size());
}

void sleep(uint32_t ms) { platform::sleep_ms(ms); }

double now_utc(bool precise) {
    platform::CivilTime t = platform::now(true);
    double s = t.hour * 3600.0 + t.minute * 60.0 + t.second;
    if (precise) s += double(t.nanoseconds) / 1e9;
    return s;
}

uint32_t pack_zone(int32_t offset_seconds) {
    int32_t minutes = offset_seconds / 60;
    uint32_t negative = minutes < 0;
    if (negative) minutes = -minutes;
    uint32_t hours = uint32_t(minutes / 60) & 0xF;
    uint32_t quarters = uint32_t(minutes % 60) / 15;
    return ((hours | (negative << 4)) << 2) | quarters;
}

uint32_t now_local(bool utc) {
    platform::CivilTime t = platform::now(utc);
    return (uint32_t(t.year) << 17) | (uint32_t(t.month) << 12) | (uint32_t(t.day) << 7) |
           pack_zone(t.utc_offset_seconds);
}

}  // namespace os
}  // namespace zel
