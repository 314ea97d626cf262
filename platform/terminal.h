// The terminal as the console output sees it: whether a descriptor is a
// terminal, and the size of its window. Writing goes through
// platform::write_all (platform/process.h).
#pragma once

namespace zel {
namespace platform {
namespace terminal {

// True when fd is a terminal.
bool is_tty(int fd);
// The window size of the terminal on fd in character cells; false (and both
// left as they were) when fd is no terminal or reports no size.
bool window_size(int fd, int* cols, int* rows);

}  // namespace terminal
}  // namespace platform
}  // namespace zel
