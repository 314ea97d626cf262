// The clipboard programs: which family the session offers, and the command
// lines that list, read and write the clipboard with it.
#include "platform/clipboard.h"

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "platform/process_launch.h"

namespace zel {
namespace platform {
namespace clipboard {

namespace {

// The limit on what a read takes from the clipboard program.
constexpr size_t MAX_READ = size_t(256) << 20;

enum class Tool { NONE, WAYLAND, X11 };

bool on_path(const char* name) {
    std::string path;
    return find_program(name, path);
}

bool has_env(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

Tool session_tool() {
    if (has_env("WAYLAND_DISPLAY") && on_path("wl-copy") && on_path("wl-paste")) return Tool::WAYLAND;
    if (has_env("DISPLAY") && on_path("xclip")) return Tool::X11;
    return Tool::NONE;
}

// A command line that split_command_line gives back as these arguments.
std::string command_line(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& a : args) {
        line += line.empty() ? "\"" : " \"";
        for (char c : a) {
            if (c == '"' || c == '\\') line += '\\';
            line += c;
        }
        line += '"';
    }
    return line;
}

// Runs the program with the arguments (no shell: the caller made sure PATH
// has it), feeding it input; answers true on a zero exit status, with its
// output in *output when asked. The programs that keep serving the clipboard
// in the background get no pipe to hold open.
bool run(const std::vector<std::string>& args, const std::string& input, std::string* output) {
    std::string line = command_line(args);
    LaunchPlan plan;
    plan.command = line.c_str();
    plan.wait = true;
    plan.input = {Stream::PIPE, nullptr, reinterpret_cast<const uint8_t*>(input.data()), input.size()};
    if (output) plan.output = {Stream::PIPE, nullptr, nullptr, 0, output, MAX_READ};
    try {
        return launch(plan) == 0;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// The media types the clipboard holds, one a line.
bool list_types(Tool tool, std::vector<std::string>& types) {
    std::string out;
    bool ok = tool == Tool::WAYLAND
                  ? run({"wl-paste", "--list-types"}, "", &out)
                  : run({"xclip", "-selection", "clipboard", "-o", "-t", "TARGETS"}, "", &out);
    if (!ok) return false;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        std::string line = out.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) types.push_back(line);
        start = end + 1;
    }
    return true;
}

}  // namespace

Read read(const char* const* wanted, std::string& type, std::string& data) {
    Tool tool = session_tool();
    if (tool == Tool::NONE) return Read::NONE;
    std::vector<std::string> held;
    // An empty clipboard makes the programs fail: nothing to read then.
    if (!list_types(tool, held)) return Read::NONE;
    for (; **wanted; wanted++) {
        bool present = false;
        for (const std::string& h : held) present = present || h == *wanted;
        if (!present) continue;
        type = *wanted;
        bool ok = tool == Tool::WAYLAND
                      ? run({"wl-paste", "--no-newline", "--type", type}, "", &data)
                      : run({"xclip", "-selection", "clipboard", "-o", "-t", type}, "", &data);
        return ok ? Read::FOUND : Read::FAILED;
    }
    return Read::NONE;
}

bool write(const char* type, const std::string& data) {
    switch (session_tool()) {
    case Tool::WAYLAND:
        if (!type) return run({"wl-copy", "--clear"}, "", nullptr);
        return run({"wl-copy", "--type", type}, data, nullptr);
    case Tool::X11: {
        // X11 programs ask for UTF-8 text by the target name UTF8_STRING.
        // xclip has no clearing: an empty text stands for an empty clipboard.
        std::string target = !type || std::string(type).rfind("text/plain", 0) == 0 ? "UTF8_STRING" : type;
        return run({"xclip", "-selection", "clipboard", "-i", "-t", target},
                   type ? data : std::string(), nullptr);
    }
    case Tool::NONE:
        break;
    }
    return false;
}

}  // namespace clipboard
}  // namespace platform
}  // namespace zel
