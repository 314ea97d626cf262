// The terminal as the console output sees it, through isatty and TIOCGWINSZ.
#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace zel {
namespace platform {
namespace terminal {

bool is_tty(int fd) { return isatty(fd) == 1; }

bool window_size(int fd, int* cols, int* rows) {
    struct winsize ws {};
    if (ioctl(fd, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0 || ws.ws_row == 0) return false;
    *cols = ws.ws_col;
    *rows = ws.ws_row;
    return true;
}

}  // namespace terminal
}  // namespace platform
}  // namespace zel
