// Reading a whole file into memory, for the script the command line names.
#pragma once
#include <cstddef>
#include <string>

namespace zel {
namespace platform {

enum class ReadFile { DONE, CANNOT_OPEN, TOO_LARGE };

// Reads every byte of the file into out: CANNOT_OPEN when it cannot be opened
// or read (a directory among them), TOO_LARGE as soon as it holds more than
// limit bytes (a device that never ends among them). Growing out may throw
// std::bad_alloc.
ReadFile read_file(const char* path, std::string& out, size_t limit);

}  // namespace platform
}  // namespace zel
