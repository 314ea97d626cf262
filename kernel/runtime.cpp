// Runtime frame: the runtime record, throws and the root catch, process set-up,
// and the fatal runtime-error report.
#include "kernel/runtime.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kernel/output.h"
#include "platform/process.h"

namespace zel {
namespace runtime {

Record record{};
void (*fatal_cleanup)() = nullptr;

void throw_pending() { throw Throw{record.pending_code}; }

void throw_code(uint32_t code) {
    record.pending_code = code;
    throw Throw{code};
}

struct CodeMessage {
    uint32_t code;
    const char* message;
};

static const CodeMessage messages[] = {
    {1, "access violation"}, {2, "invalid alignment"}, {3, "breakpoint"},
    {4, "single step"}, {5, "bounds exceeded"}, {6, "float denormal operan"},
    {7, "float divide by zero"}, {8, "float inexact result"},
    {9, "float invalid operation"}, {10, "float overflow"}, {11, "float stack check"},
    {12, "float underflow"}, {13, "integer divide by zero"}, {14, "integer overflow"},
    {15, "privileged instruction"}, {16, "invalid virtual address"},
    {17, "illegal instruction"}, {18, "non-continuable exception"},
    {19, "stack error or overflow"}, {20, "invalid disposition"}, {21, "guard page"},
    {22, "invalid handle"}, {23, "illegal operand"}, {24, "illegal addressing mode"},
    {25, "illegal trap"}, {26, "coprocessor error"},
    {27, "non-existent physical address"}, {28, "object specific hardware error"},
    {29, "hardware memory error consumed AR"}, {30, "hardware memory error consumed AO"},
    {31, "privileged register"}, {32, "segmentation fault"}, {33, "FPU error"},
    {34, "Bus error"}, {94, "out of memory"}, {95, "no CATCH for THROW"},
    {98, "assertion failed"}, {99, "unknown error"},
    {100, "no value matched in CASE"}, {101, "no value matched in SWITCH"},
};

const char* error_message(uint32_t code) {
    for (const CodeMessage& m : messages)
        if (m.code == code) return m.message;
    return "unknown error code!";
}

// Formats the report into buf without allocating, so it can run in a signal
// handler: "\n*** Runtime Error <code>: <message>\n*** at: <hex>h\n".
static size_t format_report(char* buf, size_t cap, uint32_t code, uintptr_t address) {
    size_t n = 0;
    auto put = [&](const char* s) {
        while (*s && n < cap) buf[n++] = *s++;
    };
    char digits[24];
    int d = 0;
    uint32_t c = code;
    do {
        digits[d++] = char('0' + c % 10);
        c /= 10;
    } while (c);
    put("\n*** Runtime Error ");
    while (d > 0 && n < cap) buf[n++] = digits[--d];
    put(": ");
    put(error_message(code));
    put("\n*** at: ");
    static const char hex[] = "0123456789ABCDEF";
    int width = 8;
    while (width < 16 && (address >> (4 * width)) != 0) width++;
    for (int i = width - 1; i >= 0 && n < cap; i--) buf[n++] = hex[(address >> (4 * i)) & 0xF];
    put("h\n");
    return n;
}

static void write_report(uint32_t code, uintptr_t address) {
    char buf[160];
    size_t n = format_report(buf, sizeof buf, code, address);
    platform::write_all(1, buf, n);
}

// The handler of fault signals: flush what is pending, report, and leave at once.
static void on_exception(uint32_t code, uintptr_t address) {
    if (fatal_cleanup) fatal_cleanup();
    output::flush_raw();
    if (code != 0) write_report(code, address);
    platform::exit_now(int(code));
}

void error_report(uint32_t code, uintptr_t address) {
    if (fatal_cleanup) fatal_cleanup();
    output::flush_raw();
    if (code != 0) write_report(code, address);
    heap::free_all();
    platform::exit_process(int(code));
}

void root_catch(uint32_t code) {
    if (code == EXIT_QUIT) error_report(0, 0);
    error_report(95, reinterpret_cast<uintptr_t>(&root_catch));
}

// Output the system refused at the very end fails a run that would have
// succeeded.
void at_exit(int status) {
    if (!output::flush_raw() && status == 0) status = 1;
    heap::free_all();
    platform::exit_process(status);
}

// Copies the arguments into tracked blocks so the process end frees them.
static void load_arguments(int argc, char** argv) {
    char** args = static_cast<char**>(heap::alloc(sizeof(char*) * size_t(argc + 1)));
    for (int i = 0; i < argc; i++) {
        size_t len = std::strlen(argv[i]);
        args[i] = static_cast<char*>(heap::alloc(len + 1));
        std::memcpy(args[i], argv[i], len + 1);
    }
    args[argc] = nullptr;
    record.argc = argc;
    record.argv = args;
}

void start(int argc, char** argv) {
    platform::install_fault_handlers(on_exception);
    load_arguments(argc, argv);
}

int run_rooted(void (*body)()) {
    record.root_frame_open = true;
    try {
        body();
    } catch (const Throw& t) {
        root_catch(t.code);
    }
    return 0;
}

}  // namespace runtime

namespace math {

double normalise_angle(double x, int mode) {
    x = std::fmod(x, 360.0);
    if (x > 180.0 || x < -180.0) x += x >= 0 ? -360.0 : 360.0;
    if (x > 90.0 || x < -90.0) {
        if (mode == 0) x += x >= 0 ? -180.0 : 180.0;
        else if (mode == 2) x = x >= 0 ? 180.0 - x : -180.0 - x;
    }
    return x * 3.14159265358979323846 / 180.0;
}

}  // namespace math

namespace text {
bool is_equal(const char* a, const char* b) { return std::strcmp(a, b) == 0; }
}  // namespace text

namespace build {
const char* date() { return ZEL_BUILD_DATE; }
}  // namespace build

}  // namespace zel
