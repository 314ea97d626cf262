// Shared set-up for the unit tests, which all run in one process. The whole
// runtime is booted once before the first test (see test_support.cpp), as the
// program boots it; these helpers stay for suites that want to say what they
// rely on.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include "datatypes/error_ids.h"
#include "kernel/cell.h"
#include "kernel/memory.h"

namespace zel {
namespace test_support {

// The memory manager with its first node frame and series frame.
inline void memory_ready() {
    memory::init();
    memory::make_first_frames();
}

// The whole runtime, booted once.
void interpreter_ready();

// The id of the error the last raise built, as its code (category x 100 +
// position), or -1 when none was raised since the last call.
int32_t take_error_code();

// True when f raises the error id (an error that nothing catches in a test
// unwinds as the C++ exception instead of ending the process).
template <class F>
bool raises(Err id, F&& f) {
    take_error_code();
    try {
        std::forward<F>(f)();
    } catch (...) {
        return take_error_code() == int32_t(id);
    }
    return false;
}

// A fresh directory /tmp/zel-<name>-XXXXXX, removed with its files at the end.
struct TempDir {
    std::string path;
    explicit TempDir(const std::string& name) {
        std::string pattern = "/tmp/zel-" + name + "-XXXXXX";
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make " + pattern);
        path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return path + "/" + name; }
};

// The source tree, as ctest passes it to every test program; the current
// folder when run by hand from the tree's root.
inline std::string source_dir() {
    const char* dir = std::getenv("ZEL_SOURCE_DIR");
    return dir ? dir : ".";
}

// The zel program the build puts beside the test programs' folder, or an empty
// path when this build has none.
inline std::filesystem::path zel_program() {
    std::filesystem::path tests = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    std::filesystem::path zel = tests.parent_path() / "zel";
    return std::filesystem::exists(zel) ? zel : std::filesystem::path();
}

}  // namespace test_support
}  // namespace zel
