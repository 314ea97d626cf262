// Runtime frame: the exit protocol, the runtime record, the tracked heap and the
// fatal runtime-error report.
//
// Exits at the machine level: a throw carries a 32-bit code and is taken by the
// innermost catching frame whose catch level is at or above the code, compared
// unsigned (a level of 0xFFFFFFFF takes every code). Language errors travel as
// the C++ exception `Throw`; break, continue, return, exit and throw travel as the
// pending exit code in the runtime record, tested by callers after each
// evaluation. `runtime::protect` is the catching frame; `runtime::throw_pending`
// turns the pending code into the exception for code that cannot test.
#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>

namespace zel {

// Exit codes.
enum ExitCode : uint32_t {
    EXIT_NONE = 0,
    EXIT_ERROR = 0x7FFFFFFFu,
    EXIT_BREAK = 0x7FFFFFFEu,
    EXIT_CONTINUE = 0x7FFFFFFDu,
    EXIT_RETURN = 0x7FFFFFFCu,
    EXIT_EXIT = 0x7FFFFFFBu,
    EXIT_THROW = 0x7FFFFFFAu,
    EXIT_POWER_OVERFLOW = 0x7FFFFFF9u,  // internal to integer power
    EXIT_PAGE_RANGE_HIGH = 0x7FFFFFF8u, // catch level around the page wrappers
    EXIT_PAGE_ALLOC = 0x7FFFFFF7u,
    EXIT_PAGE_FREE = 0x7FFFFFF6u,
    EXIT_QUIT = 0x0BADCAFEu,
    CATCH_ALL = 0xFFFFFFFFu,
};

// The exception that carries a throw through C++ frames.
struct Throw {
    uint32_t code;
};

namespace runtime {

struct Record {
    int32_t argc;
    char** argv;             // tracked array of tracked UTF-8 strings, null-terminated
    uint32_t pending_code;   // the code of the exit in flight, 0 when none
    const uint8_t* boot_image;  // the boot image the entry embeds, null when none
    uint32_t boot_image_size;   // its length in bytes
    bool root_frame_open;    // the root catch is in place
};
extern Record record;

// Raises the pending code as a throw; never returns.
[[noreturn]] void throw_pending();
// Stores the code as pending and throws it.
[[noreturn]] void throw_code(uint32_t code);

// True when a frame with this catch level takes the code.
constexpr bool takes(uint32_t level, uint32_t code) { return code <= level; }

// A catching frame: runs f; a throw whose code the level takes is caught and
// answered (and stays pending for the caller to read and clear); any other throw
// travels on. Answers 0 when f returned normally.
template <class F>
uint32_t protect(uint32_t level, F&& f) {
    try {
        std::forward<F>(f)();
        return 0;
    } catch (const Throw& t) {
        if (!takes(level, t.code)) throw;
        record.pending_code = t.code;
        return t.code;
    }
}

// Process set-up: signal handlers on an alternate stack, standard handles,
// the argument vector. Called once by the entry before anything else.
void start(int argc, char** argv);
// Runs body under the root catch: a quit code ends quietly, any other code that
// reaches it is runtime error 95. Answers the process exit status.
int run_rooted(void (*body)());
// The handler of the root frame, given the code that reached it.
[[noreturn]] void root_catch(uint32_t code);
// Run first on the fatal paths (a processor fault, the fatal report) to put
// back what the process changed outside itself, such as the terminal's mode;
// installed by the layer that changed it, null when none. It runs in a
// signal handler, so it must be async-signal-safe.
extern void (*fatal_cleanup)();
// Prints the fatal report and ends the process with status = code (0: quietly).
[[noreturn]] void error_report(uint32_t code, uintptr_t address);
// The message of a runtime error code.
const char* error_message(uint32_t code);
// The normal end: frees every tracked block and exits with the status.
[[noreturn]] void at_exit(int status);

}  // namespace runtime

// The tracked heap: every block taken from malloc outside the collector.
namespace heap {

// Header in front of the caller's data; padded so the data stays 16-aligned.
struct alignas(16) Block {
    Block* prev;
    Block* next;
    uint32_t size;   // bytes asked for, without the header
    uint32_t spare;
};
static_assert(sizeof(Block) == 32);

void* alloc(size_t size);
void* alloc_zeroed(size_t size);
void free(void* data);
void* resize(void* data, size_t size);
void free_all();
// Introspection for tests and statistics.
size_t count();
Block* first();
Block* last();

}  // namespace heap

namespace math {
double normalise_angle(double degrees, int mode);
inline uint32_t align_up(uint32_t v, uint32_t p2) { return (v + p2 - 1) & ~(p2 - 1); }
inline uint32_t align_next(uint32_t v, uint32_t p2) { return (v + p2) & ~(p2 - 1); }
}  // namespace math

namespace text {
bool is_equal(const char* a, const char* b);
}

namespace build {
const char* date();
}

}  // namespace zel
