// Thin wrappers over the operating system that the kernel and the natives call.
#pragma once
#include <cstdint>

namespace zel {
namespace os {

// Page blocks; failure throws the page exit codes (caught by the memory manager).
void* alloc_pages(uint32_t bytes, bool executable);
void free_pages(void* address, uint32_t bytes);

// The working directory as NUL-terminated UTF-8 text in a tracked block (the
// caller frees it), or null when it cannot be read.
char* get_current_dir();
bool set_current_dir(const char* path);
bool set_env(const char* name, const char* value);
// Copies the variable's value into buf (NUL-terminated, cut to size) and answers
// its full length, or 0 when it is not set.
uint32_t get_env(const char* name, char* buf, uint32_t size);
void sleep(uint32_t ms);

// The time of day in UTC, in seconds; with the precise flag, to the nanosecond.
double now_utc(bool precise);
// Today's date packed as year << 17 | month << 12 | day << 7 | zone, where zone
// holds the offset's hours (a negative offset as its magnitude with bit 4 set)
// shifted left by 2 and the remaining quarter hours in the low two bits.
uint32_t now_local(bool utc);
uint32_t pack_zone(int32_t offset_seconds);

}  // namespace os
}  // namespace zel
