// Child processes: starting a program (or a shell command) with its standard
// streams joined to pipes, files, the null device or this process's own,
// feeding and draining the pipes together, and waiting for the child.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zel {
namespace platform {

// Where one standard stream of the child goes.
enum class Stream : uint8_t {
    OWN,   // this process's own stream
    NUL,   // the null device
    PIPE,  // input: the data below; output: captured into *capture
    FILE,  // input: read from path; output: appended to path (made when missing)
};

struct StreamPlan {
    Stream kind = Stream::NUL;
    const char* path = nullptr;
    const uint8_t* data = nullptr;
    size_t size = 0;
    std::string* capture = nullptr;
    size_t limit = SIZE_MAX;  // output: the most bytes captured; more throws std::bad_alloc
};

struct LaunchPlan {
    const char* command = "";           // a command line (split_command_line)
    const char* shell_text = nullptr;   // what the shell runs instead, when the
                                        // command line quotes differently
    bool shell = false;                 // run it as /bin/sh -c text
    bool wait = false;         // wait for the end; else answer at once
    StreamPlan input, output, error;
};

// Starts the child. When waiting: answers its exit status (128 + the signal
// number when a signal ended it) after every stream has been fed and drained;
// otherwise answers its process id at once, and the child is never left a
// zombie. A command line whose program cannot be found is tried again through
// the shell (so shell built-ins and shell syntax still run). Answers -1 when
// a stream cannot be opened or the child cannot be started.
int32_t launch(const LaunchPlan& plan);

// The arguments of a command line: runs of spaces and tabs separate them
// outside double quotes; the quotes group and are dropped; a backslash before
// a double quote or a backslash stands for that character.
std::vector<std::string> split_command_line(const char* line);

// The path of a program: a name with a slash is a path and left to exec; any
// other is looked for in PATH (an empty entry is the current directory), as a
// shell would. False when it is not found.
bool find_program(const std::string& name, std::string& path);

// Starts the program (found through PATH) with the arguments, without a shell
// and without waiting, its streams on the null device; false when it cannot
// be started.
bool start_detached(const std::vector<std::string>& args);

}  // namespace platform
}  // namespace zel
