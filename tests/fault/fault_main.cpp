// Faults on purpose, so the test can check the fatal report of real faults and
// of throws that nothing catches. The first argument names the fault.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "kernel/runtime.h"
#include "platform/process.h"

using namespace zel;

static const char* fault_name = "";
volatile int zero = 0, hundred = 100, never = -1;
volatile int* null_pointer = nullptr;

// Recurses until the stack runs out; the test on a volatile keeps the compiler
// from treating it as a loop or calling it endless.
static int recurse(int n) {
    if (n == never) return 0;
    volatile char pad[256];
    pad[0] = char(n);
    return recurse(n + 1) + pad[0];
}

static void body() {
    std::printf("before the fault\n");  // buffered: the report must come after it
    std::fflush(stdout);
    if (!std::strcmp(fault_name, "segv")) *null_pointer = 1;
    if (!std::strcmp(fault_name, "divide")) std::printf("%d\n", hundred / zero);
    if (!std::strcmp(fault_name, "stack")) recurse(0);
    if (!std::strcmp(fault_name, "throw")) runtime::throw_code(0x12345);
    if (!std::strcmp(fault_name, "quit")) runtime::throw_code(EXIT_QUIT);
    if (!std::strcmp(fault_name, "oom")) heap::alloc(SIZE_MAX / 2);
}

static int run(void*) { return runtime::run_rooted(body); }

int main(int argc, char** argv) {
    runtime::start(argc, argv);
    if (argc > 1) fault_name = argv[1];
    int status = platform::run_on_large_stack(size_t(64) << 20, run, nullptr);
    runtime::at_exit(status);
}
