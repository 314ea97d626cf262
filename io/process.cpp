// call and browse over the platform's launcher. Everything the child needs
// (its command line, its input, the redirection paths) is copied out of the
// values first, so no series buffer is relied on while the child runs.
#include "io/process.h"

#include <vector>

#include "core/file.h"
#include "core/raise.h"
#include "kernel/fail.h"
#include "kernel/memory.h"
#include "core/string.h"
#include "datatypes/binary.h"
#include "kernel/unicode.h"
#include "platform/process_launch.h"

namespace zel {
namespace call {

namespace {

bool is_file(const Cell* v) { return cell::type(v) == T_FILE; }

// The UTF-8 text of a string (from its index), or the local path of a file!.
std::string utf8_text(const Cell* value) {
    if (is_file(value)) {
        file::LocalPath path(value);
        return std::string(path.c_str(), path.size());
    }
    return utf8::text(value);
}

// Text handed to the system as a C string: a NUL would silently cut it short.
std::string system_text(const Cell* value) {
    std::string text = utf8_text(value);
    if (text.find('\0') != std::string::npos) error::raise(Err::script_invalid_arg, value);
    return text;
}

// A file! names one program file, whatever characters its path holds: quoted for
// the command-line splitter, and in single quotes for the shell, inside which
// nothing is expanded.
std::string quoted_for_splitter(const std::string& path) {
    std::string q = "\"";
    for (char c : path) {
        if (c == '"' || c == '\\') q += '\\';
        q += c;
    }
    return q + '"';
}

std::string quoted_for_shell(const std::string& path) {
    std::string q = "'";
    for (char c : path) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// What one stream's plan points at.
struct Redirect {
    std::string text;  // the input bytes or the file path
    std::string capture;
};

void plan_stream(const Cell* value, bool input, bool console, Redirect& r, platform::StreamPlan& s) {
    using platform::Stream;
    if (!value) {
        s.kind = input || console ? Stream::OWN : Stream::NUL;
        return;
    }
    if (is_file(value)) {
        r.text = system_text(value);
        s.kind = Stream::FILE;
        s.path = r.text.c_str();
        return;
    }
    s.kind = Stream::PIPE;
    if (!input) {
        s.capture = &r.capture;
        s.limit = memory::MAX_DATA;
        return;
    }
    if (cell::type(value) == T_BINARY) {
        uint32_t size = binary::is_at_tail(value) ? 0 : binary::length(value);
        r.text.assign(reinterpret_cast<const char*>(binary::head_address(value)), size);
    } else {
        r.text = utf8_text(value);
    }
    s.data = reinterpret_cast<const uint8_t*>(r.text.data());
    s.size = r.text.size();
}

}  // namespace

// The strings here hold whole inputs and captured outputs.
static int32_t run_child(const Cell* command, bool wait, bool console, bool shell, const Cell* in, const Cell* out,
                         const Cell* err) {
    std::string line = system_text(command), shell_text;
    platform::LaunchPlan plan;
    if (is_file(command)) {
        if (line.find('/') == std::string::npos) line = "./" + line;  // the file here, not one in PATH
        shell_text = quoted_for_shell(line);
        line = quoted_for_splitter(line);
        plan.shell_text = shell_text.c_str();
    }
    plan.command = line.c_str();
    plan.shell = shell;
    plan.wait = wait || console || in || out || err;
    Redirect r[3];
    plan_stream(in, true, console, r[0], plan.input);
    plan_stream(out, false, console, r[1], plan.output);
    plan_stream(err, false, console, r[2], plan.error);
    int32_t result = platform::launch(plan);
    if (out && !is_file(out)) append_output(out, r[1].capture);
    if (err && !is_file(err)) append_output(err, r[2].capture);
    return result;
}

int32_t run(const Cell* command, bool wait, bool console, bool shell, const Cell* in, const Cell* out,
            const Cell* err) {
    return fail::or_no_memory([&] { return run_child(command, wait, console, shell, in, out, err); });
}

void append_output(const Cell* target, const std::string& bytes) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const uint8_t* end = p + bytes.size();
    if (cell::type(target) == T_BINARY) {
        constexpr size_t MOST = size_t(1) << 30;  // counts are 32-bit
        while (p < end) {
            size_t step = size_t(end - p) < MOST ? size_t(end - p) : MOST;
            binary::append_bytes(target, p, uint32_t(step));
            p += step;
        }
        return;
    }
    string::append_utf8_lenient(string::buffer_of(target), p, end);
}

void browse(const Cell* target) {
    std::string text = system_text(target);
    if (!text.empty() && text[0] == '-') {
        if (!is_file(target)) error::raise(Err::script_invalid_arg, target);
        text = "./" + text;
    }
    platform::start_detached({"xdg-open", text});
}

}  // namespace call
}  // namespace zel
