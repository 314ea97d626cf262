// The terminal under the console: whether a descriptor is a terminal, the size
// of its window, byte reads from standard input, the raw input mode and the
// signals that must put the terminal back (or stop an evaluation). Writing
// goes through platform::write_all (platform/process.h).
//
// Raw mode is one saved state for the process: whatever ends the process
// (a normal exit, a fatal report, SIGTERM or SIGHUP) restores it first, so
// the user's shell never finds its terminal without echo.
#pragma once
#include <cstddef>

namespace zel {
namespace platform {
namespace terminal {

// True when fd is a terminal.
bool is_tty(int fd);
// The window size of the terminal on fd in character cells; false (and both
// left as they were) when fd is no terminal or reports no size.
bool window_size(int fd, int* cols, int* rows);

// One read of at most n bytes from fd, retried when a signal interrupts it.
// Answers the count, 0 at the end of input, -1 on a failure.
long read_some(int fd, void* buffer, size_t n);
// True when fd has a byte to read within ms milliseconds.
bool wait_readable(int fd, int ms);
// Waits until fd has a byte to read (true, also when fd fails) or the window
// was resized (false; take_resized tells it too).
bool wait_input_or_resize(int fd);

// Puts the terminal on fd into raw mode (no echo, no line discipline, no
// signal keys, bytes as they come) and remembers the mode it found; false
// when fd is no terminal. Entering again while raw changes nothing.
bool raw_on(int fd);
// Puts back the mode raw_on found; nothing when raw mode is off.
// Async-signal-safe, so the fatal paths can call it.
void raw_off();
bool is_raw();

// Signals of an interactive process. SIGINT calls on_interrupt (which must
// be async-signal-safe); a second SIGINT while is_pending answers that the
// first is not taken yet ends the process as SIGINT does by default, the
// terminal restored (an evaluation stuck outside the evaluator still stops). SIGTERM and SIGHUP restore the terminal
// and then end the process as they do by default. SIGWINCH marks the window
// size as changed. The process end through exit() restores the terminal too.
struct Signals {
    void (*on_interrupt)();
    bool (*is_pending)();
};
void install_signals(Signals s);
// True once after each SIGWINCH.
bool take_resized();

}  // namespace terminal
}  // namespace platform
}  // namespace zel
