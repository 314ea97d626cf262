// POSIX side of the process layer: signals on an alternate stack, a thread with a
// large stack for the interpreter, raw writes and exits.
#include "platform/process.h"

#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <initializer_list>

#include "platform/files.h"

namespace zel {
namespace platform {

static FaultHandler fault_handler = nullptr;
static uintptr_t guard_low = 0, guard_high = 0;  // guard area of the large stack

struct SignalCode {
    int signal, si_code;
    uint32_t code;
};

// Runtime error codes per signal and si_code; the first row of a signal with
// si_code -1 is its default.
static const SignalCode signal_codes[] = {
    {SIGSEGV, SEGV_MAPERR, 1}, {SIGSEGV, SEGV_ACCERR, 1},
#ifdef SEGV_BNDERR
    {SIGSEGV, SEGV_BNDERR, 5},
#endif
    {SIGSEGV, -1, 32},
    {SIGBUS, BUS_ADRALN, 2}, {SIGBUS, BUS_ADRERR, 27}, {SIGBUS, BUS_OBJERR, 28},
#ifdef BUS_MCEERR_AR
    {SIGBUS, BUS_MCEERR_AR, 29}, {SIGBUS, BUS_MCEERR_AO, 30},
#endif
    {SIGBUS, -1, 34},
    {SIGFPE, FPE_INTDIV, 13}, {SIGFPE, FPE_INTOVF, 14}, {SIGFPE, FPE_FLTDIV, 7},
    {SIGFPE, FPE_FLTOVF, 10}, {SIGFPE, FPE_FLTUND, 12}, {SIGFPE, FPE_FLTRES, 8},
    {SIGFPE, FPE_FLTINV, 9}, {SIGFPE, FPE_FLTSUB, 5}, {SIGFPE, -1, 33},
    {SIGILL, ILL_ILLOPC, 17}, {SIGILL, ILL_ILLOPN, 23}, {SIGILL, ILL_ILLADR, 24},
    {SIGILL, ILL_ILLTRP, 25}, {SIGILL, ILL_PRVOPC, 15}, {SIGILL, ILL_PRVREG, 31},
    {SIGILL, ILL_COPROC, 26}, {SIGILL, ILL_BADSTK, 19}, {SIGILL, -1, 17},
    {SIGTRAP, TRAP_BRKPT, 3}, {SIGTRAP, TRAP_TRACE, 4}, {SIGTRAP, -1, 3},
};

uint32_t fault_code(int signal, int si_code, bool in_stack_guard) {
    if (in_stack_guard && (signal == SIGSEGV || signal == SIGBUS)) return 19;
    uint32_t fallback = 99;
    for (const SignalCode& s : signal_codes) {
        if (s.signal != signal) continue;
        if (s.si_code == si_code) return s.code;
        if (s.si_code == -1) fallback = s.code;
    }
    return fallback;
}

static void on_fault(int sig, siginfo_t* info, void* context) {
    uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
    bool in_guard = at >= guard_low && at < guard_high;
    uintptr_t pc = at;
#if defined(__x86_64__)
    if (context) pc = uintptr_t(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#endif
    uint32_t code = fault_code(sig, info->si_code, in_guard);
    if (fault_handler) fault_handler(code, pc);
    _exit(int(code));
}

// Each thread that may fault needs its own alternate stack.
static void install_alt_stack() {
    const size_t size = 64 * 1024;
    void* mem = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mem == MAP_FAILED) return;
    stack_t ss{};
    ss.ss_sp = mem;
    ss.ss_size = size;
    sigaltstack(&ss, nullptr);
}

void install_fault_handlers(FaultHandler handler) {
    fault_handler = handler;
    install_alt_stack();
    struct sigaction sa{};
    sa.sa_sigaction = on_fault;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP}) sigaction(sig, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

struct StackStart {
    int (*fn)(void*);
    void* arg;
    int result;
};

static void* stack_thread(void* p) {
    install_alt_stack();
    auto* s = static_cast<StackStart*>(p);
    s->result = s->fn(s->arg);
    return nullptr;
}

int run_on_large_stack(size_t stack_bytes, int (*fn)(void*), void* arg) {
    const size_t guard = 1 << 20;
    // Reserve without committing: pages are touched only as the stack grows.
    void* mem = mmap(nullptr, stack_bytes + guard, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    StackStart s{fn, arg, 0};
    if (mem == MAP_FAILED) return fn(arg);
    mprotect(mem, guard, PROT_NONE);
    guard_low = reinterpret_cast<uintptr_t>(mem);
    guard_high = guard_low + guard;

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstack(&attr, static_cast<char*>(mem) + guard, stack_bytes);
    pthread_t thread;
    if (pthread_create(&thread, &attr, stack_thread, &s) != 0) {
        pthread_attr_destroy(&attr);
        return fn(arg);
    }
    pthread_attr_destroy(&attr);
    pthread_join(thread, nullptr);
    return s.result;
}

uintptr_t stack_low_end() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return 0;
    void* low = nullptr;
    size_t size = 0;
    int failed = pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
    return failed ? 0 : reinterpret_cast<uintptr_t>(low);
}

bool write_all(int fd, const void* data, size_t len) { return write_data(fd, data, len) >= 0; }

void exit_now(int status) { _exit(status); }
void exit_process(int status) { exit(status); }

}  // namespace platform
}  // namespace zel
