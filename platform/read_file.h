// Reading a whole file into memory, for the script the command line names.
#pragma once
#include <string>

namespace zel {
namespace platform {

// Reads every byte of the file into out; false when it cannot be opened or
// read (a directory among them).
bool read_file(const char* path, std::string& out);

}  // namespace platform
}  // namespace zel
