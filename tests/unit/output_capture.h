// Capturing what the output module writes, for the unit tests of output and
// print: the output goes down a pipe for the length of a call.
#pragma once

#include <unistd.h>

#include <string>

#include "kernel/output.h"

namespace zel {
namespace output_capture {

// Runs f with the output sent down a pipe (through the console path when
// asked) and answers the bytes that arrived.
template <class F>
std::string capture(bool console, F f) {
    int fds[2];
    if (pipe(fds) != 0) return "<no pipe>";
    output::attach(fds[1], console);
    f();
    output::init();
    close(fds[1]);
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, size_t(n));
    close(fds[0]);
    return out;
}

}  // namespace output_capture
}  // namespace zel
