// The process's surroundings as values: the command line it was started
// with, its environment, and the description of the operating system.
#pragma once
#include <cstdint>
#include <string>

#include "kernel/cell.h"

namespace zel {
namespace platform {

// Every environment variable as a new map! of name strings to value strings,
// pushed on the value stack. An entry is split at its first "=" that is not
// its first character, so a name that starts with "=" keeps it.
Cell* environment();

// What the system says of itself, as the values os-info gives.
struct OsDescription {
    std::string name;  // "Linux " and the kernel release
    const char* arch;  // x86-64, x86-32, ARM, ARM64, IA-64 or Unknown
    uint8_t version[3];  // the release's first three numbers, each at most 255
    int32_t build;       // the kernel's build counter ("#N" of its version text)
};
// The description from uname's four texts.
OsDescription describe_os(const char* system, const char* release, const char* version, const char* machine);

// Sets the fields name (string!), arch (word!), version (tuple!) and build
// (integer!) of the object; a field it does not have is skipped.
void os_info(Cell* object);

}  // namespace platform
}  // namespace zel
