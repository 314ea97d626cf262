// POSIX side of child processes: fork and exec with the streams wired by
// dup2, a close-on-exec report pipe that tells the parent whether the exec
// worked, a poll loop over the pipes, and waitpid. Every descriptor made here
// is close-on-exec and owned by an Fd, so none reaches a child by accident or
// outlives a call.
#include "platform/process_launch.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <new>

#include "platform/files.h"

extern char** environ;

namespace zel {
namespace platform {

namespace {

struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            reset();
            fd = o.fd;
            o.fd = -1;
        }
        return *this;
    }
    ~Fd() { reset(); }
    void reset() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

// A new descriptor moved above the standard three, so that the child's dup2
// onto 0-2 never overwrites a source it still has to move.
int lift(int fd) {
    if (fd < 0 || fd > 2) return fd;
    int high = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    return high;
}

bool make_pipe(Fd& read_end, Fd& write_end) {
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0) return false;
    read_end = Fd(lift(p[0]));
    write_end = Fd(lift(p[1]));
    return read_end.fd >= 0 && write_end.fd >= 0;
}

// The child's end of each stream (-1: its own stream, left in place) and
// ours of each pipe.
struct Wiring {
    Fd child[3];
    Fd ours[3];
};

bool wire(const StreamPlan& plan, int index, Wiring& w) {
    bool input = index == 0;
    switch (plan.kind) {
    case Stream::OWN: return true;
    case Stream::NUL: w.child[index] = Fd(lift(::open("/dev/null", O_RDWR | O_CLOEXEC))); break;
    case Stream::FILE:
        w.child[index] = Fd(input ? lift(open_file(plan.path, OPEN_READ))
                                  : lift(::open(plan.path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666)));
        break;
    case Stream::PIPE:
        return input ? make_pipe(w.child[0], w.ours[0]) : make_pipe(w.ours[index], w.child[index]);
    }
    return w.child[index].fd >= 0;
}

// ---- the program ------------------------------------------------------------

struct Program {
    std::string path;
    std::vector<std::string> args;
    std::vector<char*> argv;
};

bool is_executable_file(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Everything exec needs, made before fork, because the child may then only
// make async-signal-safe calls. False when the program cannot be found.
bool prepare(Program& p, std::vector<std::string> args, bool shell) {
    p.args = std::move(args);
    if (shell) p.path = "/bin/sh";
    else if (p.args.empty() || !find_program(p.args[0], p.path)) return false;
    for (std::string& a : p.args) p.argv.push_back(a.data());
    p.argv.push_back(nullptr);
    return true;
}

// ---- starting ---------------------------------------------------------------

// What the children tell the parent through the report pipe: the process id
// of a detached grandchild, or the errno of a failed fork or exec. A record
// is smaller than PIPE_BUF, so two writers never interleave.
struct Report {
    int32_t kind, value;
};
enum : int32_t { R_PID = 1, R_ERROR = 2 };

void send(int fd, int32_t kind, int32_t value) {
    Report r{kind, value};
    while (write(fd, &r, sizeof r) < 0 && errno == EINTR) {}
}

// In the child after fork: the streams into place, SIGPIPE back to its
// default (this process ignores it), no signal blocked, then exec.
[[noreturn]] void become(const Program& p, const int fds[3], int report) {
    for (int i = 0; i < 3; i++)
        if (fds[i] >= 0 && dup2(fds[i], i) < 0) {
            send(report, R_ERROR, errno);
            _exit(127);
        }
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &dfl, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(p.path.c_str(), p.argv.data(), environ);
    send(report, R_ERROR, errno);
    _exit(127);
}

void reap(pid_t pid, int* status) {
    while (waitpid(pid, status, 0) < 0 && errno == EINTR) {}
}

// Forks the program. Detached, an intermediate child forks the real one and
// ends at once, so the real one belongs to init and never stays a zombie of
// ours. Answers the process id of the program, or -errno.
int32_t spawn(const Program& p, const int fds[3], bool detach) {
    Fd report_read, report_write;
    if (!make_pipe(report_read, report_write)) return -errno;
    pid_t child = fork();
    if (child < 0) return -errno;
    if (child == 0) {
        if (!detach) become(p, fds, report_write.fd);
        pid_t grandchild = fork();
        if (grandchild == 0) become(p, fds, report_write.fd);
        if (grandchild < 0) send(report_write.fd, R_ERROR, errno);
        else send(report_write.fd, R_PID, grandchild);
        _exit(0);
    }
    report_write.reset();
    int32_t pid = child, error = 0;
    Report r;
    ssize_t n;
    while ((n = read(report_read.fd, &r, sizeof r)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n != ssize_t(sizeof r)) break;
        if (r.kind == R_PID) pid = r.value;
        else error = r.value;
    }
    int status = 0;
    if (detach || error) reap(child, &status);
    return error ? -error : pid;
}

int32_t start(const LaunchPlan& plan, bool shell, const int fds[3]) {
    Program p;
    const char* text = plan.shell_text ? plan.shell_text : plan.command;
    std::vector<std::string> args =
        shell ? std::vector<std::string>{"sh", "-c", text} : split_command_line(plan.command);
    if (!prepare(p, std::move(args), shell)) return -ENOENT;
    return spawn(p, fds, !plan.wait);
}

// ---- the conversation -----------------------------------------------------

// SIGPIPE ignored while we write to a child that may have stopped reading;
// the write then fails with EPIPE instead.
struct QuietPipes {
    struct sigaction saved;
    QuietPipes() {
        struct sigaction ign = {};
        ign.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ign, &saved);
    }
    ~QuietPipes() { sigaction(SIGPIPE, &saved, nullptr); }
};

void feed(Fd& fd, const StreamPlan& in, size_t& fed) {
    size_t left = in.size - fed, step = left < 65536 ? left : 65536;
    ssize_t n = write(fd.fd, in.data + fed, step);
    if (n > 0) fed += size_t(n);
    if (fed == in.size || (n < 0 && errno != EAGAIN && errno != EINTR)) fd.reset();
}

// A capture past its limit is refused as memory the system will not give:
// the unwinding closes our pipe ends and reaps the child.
void drain(Fd& fd, const StreamPlan& out) {
    char chunk[16384];
    ssize_t n = read(fd.fd, chunk, sizeof chunk);
    if (n > 0) {
        if (size_t(n) > out.limit - out.capture->size()) throw std::bad_alloc();
        out.capture->append(chunk, size_t(n));
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        fd.reset();
    }
}

// Feeds the input and drains both outputs together, so a child that writes
// much to both while it reads much never waits on us while we wait on it.
void converse(const LaunchPlan& plan, Wiring& w) {
    QuietPipes quiet;
    size_t fed = 0;
    if (w.ours[0].fd >= 0) {
        if (plan.input.size == 0) w.ours[0].reset();
        else fcntl(w.ours[0].fd, F_SETFL, fcntl(w.ours[0].fd, F_GETFL) | O_NONBLOCK);
    }
    const StreamPlan* outputs[3] = {nullptr, &plan.output, &plan.error};
    for (;;) {
        pollfd fds[3];
        int which[3], n = 0;
        for (int i = 0; i < 3; i++) {
            if (w.ours[i].fd < 0) continue;
            fds[n] = {w.ours[i].fd, short(i == 0 ? POLLOUT : POLLIN), 0};
            which[n++] = i;
        }
        if (n == 0) return;
        if (poll(fds, nfds_t(n), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        for (int k = 0; k < n; k++) {
            if (fds[k].revents == 0) continue;
            int i = which[k];
            if (i == 0) feed(w.ours[0], plan.input, fed);
            else drain(w.ours[i], *outputs[i]);
        }
    }
}

// A waited child, reaped on every way out of the launch. Declared before the
// wiring, so that our pipe ends are closed first and the child cannot stay
// blocked on them while we wait for it.
struct Waited {
    pid_t pid = -1;
    ~Waited() {
        int status;
        if (pid > 0) reap(pid, &status);
    }
    int32_t exit_status() {
        int status = 0;
        reap(pid, &status);
        pid = -1;
        if (WIFEXITED(status)) return WEXITSTATUS(status);
        if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
        return -1;
    }
};

}  // namespace

bool find_program(const std::string& name, std::string& path) {
    if (name.find('/') != std::string::npos) {
        path = name;
        return true;
    }
    const char* dirs = getenv("PATH");
    std::string list = dirs ? dirs : "/bin:/usr/bin";
    size_t from = 0;
    for (;;) {
        size_t colon = list.find(':', from);
        std::string dir = list.substr(from, colon == std::string::npos ? std::string::npos : colon - from);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (is_executable_file(candidate)) {
            path = candidate;
            return true;
        }
        if (colon == std::string::npos) return false;
        from = colon + 1;
    }
}

std::vector<std::string> split_command_line(const char* line) {
    std::vector<std::string> args;
    std::string arg;
    bool quoted = false, in_arg = false;
    for (const char* p = line; *p; p++) {
        char c = *p;
        if (c == '\\' && (p[1] == '"' || p[1] == '\\')) {
            arg += *++p;
            in_arg = true;
        } else if (c == '"') {
            quoted = !quoted;
            in_arg = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (in_arg) args.push_back(std::move(arg));
            arg.clear();
            in_arg = false;
        } else {
            arg += c;
            in_arg = true;
        }
    }
    if (in_arg) args.push_back(std::move(arg));
    return args;
}

int32_t launch(const LaunchPlan& plan) {
    Waited child;
    Wiring w;
    const StreamPlan* streams[3] = {&plan.input, &plan.output, &plan.error};
    for (int i = 0; i < 3; i++)
        if (!wire(*streams[i], i, w)) return -1;
    int fds[3] = {w.child[0].fd, w.child[1].fd, w.child[2].fd};
    int32_t pid = start(plan, plan.shell, fds);
    if (pid == -ENOENT && !plan.shell) pid = start(plan, true, fds);
    if (pid < 0) return -1;
    // The child holds its ends now; ours would keep its pipes from ending.
    for (Fd& end : w.child) end.reset();
    if (!plan.wait) return pid;
    child.pid = pid;
    converse(plan, w);
    return child.exit_status();
}

bool start_detached(const std::vector<std::string>& args) {
    Fd null(lift(::open("/dev/null", O_RDWR | O_CLOEXEC)));
    if (null.fd < 0) return false;
    int fds[3] = {null.fd, null.fd, null.fd};
    Program p;
    return prepare(p, args, false) && spawn(p, fds, true) > 0;
}

}  // namespace platform
}  // namespace zel
