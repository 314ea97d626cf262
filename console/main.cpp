// The process entry: sets up the process, names the embedded boot image, then
// runs the system on a thread with a large stack so that the language's own
// depth limits always come before the machine's.
#include "console/boot_image.h"
#include "console/startup.h"
#include "kernel/runtime.h"
#include "platform/process.h"

static int run_system(void*) {
    return zel::runtime::run_rooted(zel::startup::main);
}

int main(int argc, char** argv) {
    zel::runtime::start(argc, argv);
    zel::boot_image::install();
    constexpr size_t stack_bytes = size_t(1) << 30;
    int status = zel::platform::run_on_large_stack(stack_bytes, run_system, nullptr);
    zel::runtime::at_exit(status);
}
