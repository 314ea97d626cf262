// The terminal under the console, through isatty, TIOCGWINSZ, termios, poll
// and sigaction.
#include "platform/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace zel {
namespace platform {
namespace terminal {

namespace {

// The saved mode and its descriptor; raw_fd is -1 while raw mode is off. The
// signal handlers read them, so they change only with the signals that
// restore blocked.
struct termios saved_mode;
volatile sig_atomic_t raw_fd = -1;
bool exit_hook_set = false;

std::atomic<bool> resized{false};
Signals handlers{};

// Ends the process as the signal would have, after restoring the terminal.
void die_of(int sig) {
    raw_off();
    signal(sig, SIG_DFL);
    raise(sig);
}

void on_interrupt(int sig) {
    if (handlers.is_pending && handlers.is_pending()) die_of(sig);
    if (handlers.on_interrupt) handlers.on_interrupt();
}

// The signal may reach any thread, so a waiting reader learns of it through a
// pipe rather than an interrupted poll. The pipe is made before the handler.
int resize_pipe[2] = {-1, -1};

void on_resize(int) {
    resized.store(true, std::memory_order_relaxed);
    if (resize_pipe[1] >= 0) {
        int saved = errno;
        char one = 1;
        ssize_t ignored = write(resize_pipe[1], &one, 1);  // a full pipe already wakes the reader
        (void)ignored;
        errno = saved;
    }
}

void drain_resize_pipe() {
    char bytes[64];
    while (read(resize_pipe[0], bytes, sizeof bytes) > 0) {}
}

void install(int sig, void (*fn)(int), int flags) {
    struct sigaction sa {};
    sa.sa_handler = fn;
    sa.sa_flags = flags;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
}

// Blocks the restoring signals while the saved mode changes.
struct SignalsHeld {
    sigset_t old;
    SignalsHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, sig);
        pthread_sigmask(SIG_BLOCK, &set, &old);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &old, nullptr); }
};

}  // namespace

bool is_tty(int fd) { return isatty(fd) == 1; }

bool window_size(int fd, int* cols, int* rows) {
    struct winsize ws {};
    if (ioctl(fd, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0 || ws.ws_row == 0) return false;
    *cols = ws.ws_col;
    *rows = ws.ws_row;
    return true;
}

long read_some(int fd, void* buffer, size_t n) {
    for (;;) {
        ssize_t got = read(fd, buffer, n);
        if (got >= 0 || errno != EINTR) return got < 0 ? -1 : long(got);
    }
}

bool wait_readable(int fd, int ms) {
    struct pollfd p {fd, POLLIN, 0};
    for (;;) {
        int r = poll(&p, 1, ms);
        if (r >= 0 || errno != EINTR) return r > 0;
    }
}

bool wait_input_or_resize(int fd) {
    struct pollfd p[2] = {{fd, POLLIN, 0}, {resize_pipe[0], POLLIN, 0}};
    for (;;) {
        if (resized.load(std::memory_order_relaxed)) return false;
        int r = poll(p, resize_pipe[0] >= 0 ? 2 : 1, -1);
        if (r < 0 && errno == EINTR) continue;
        if (r > 0 && p[1].revents) drain_resize_pipe();
        if (r < 0 || p[0].revents) return true;
    }
}

// Output processing stays on, so a line end still starts a new row; input
// typed ahead (a pasted block of lines) is kept, not flushed.
bool raw_on(int fd) {
    if (raw_fd >= 0) return true;
    struct termios mode;
    if (!is_tty(fd) || tcgetattr(fd, &mode) != 0) return false;
    if (!exit_hook_set) {
        exit_hook_set = true;
        std::atexit(raw_off);
    }
    SignalsHeld held;
    saved_mode = mode;
    mode.c_iflag &= ~tcflag_t(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
    mode.c_lflag &= ~tcflag_t(ECHO | ICANON | ISIG | IEXTEN);
    mode.c_cflag |= CS8;
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSADRAIN, &mode) != 0) return false;
    raw_fd = fd;
    return true;
}

void raw_off() {
    int fd = raw_fd;
    if (fd < 0) return;
    raw_fd = -1;
    tcsetattr(fd, TCSANOW, &saved_mode);
}

bool is_raw() { return raw_fd >= 0; }

void install_signals(Signals s) {
    handlers = s;
    install(SIGINT, on_interrupt, SA_RESTART);
    install(SIGTERM, die_of, 0);
    install(SIGHUP, die_of, 0);
    if (resize_pipe[0] < 0 && pipe2(resize_pipe, O_NONBLOCK | O_CLOEXEC) != 0) resize_pipe[0] = resize_pipe[1] = -1;
    install(SIGWINCH, on_resize, SA_RESTART);
}

bool take_resized() { return resized.exchange(false, std::memory_order_relaxed); }

}  // namespace terminal
}  // namespace platform
}  // namespace zel
