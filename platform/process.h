// Process-level services of the operating system: fault signals, the large
// interpreter stack, raw writes for the fatal report, and process exit.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zel {
namespace platform {

// Called from a fault signal handler, on the alternate signal stack, with the
// runtime error code chosen for the signal and the faulting instruction address.
// It must only write and exit.
using FaultHandler = void (*)(uint32_t code, uintptr_t address);

// Installs handlers for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGTRAP on an
// alternate signal stack, and ignores SIGPIPE.
void install_fault_handlers(FaultHandler handler);

// The runtime error code for a signal and its si_code, given whether the fault
// address lies in the guard area of the interpreter's stack.
uint32_t fault_code(int signal, int si_code, bool in_stack_guard);

// Runs fn(arg) on a thread whose stack is `stack_bytes` large (reserved, not
// committed) with a guard area below it, and answers fn's result. A fault in the
// guard area is reported as a stack overflow.
int run_on_large_stack(size_t stack_bytes, int (*fn)(void*), void* arg);

// The lowest address of the calling thread's stack, or 0 when unknown.
uintptr_t stack_low_end();

// Writes every byte to the file descriptor, retrying on interruption; false
// when the descriptor refuses them (a closed pipe, a full disk). Async-signal-safe.
bool write_all(int fd, const void* data, size_t len);

// Ends the process at once with the status; nothing is flushed or freed.
[[noreturn]] void exit_now(int status);
// Ends the process normally with the status.
[[noreturn]] void exit_process(int status);

}  // namespace platform
}  // namespace zel
