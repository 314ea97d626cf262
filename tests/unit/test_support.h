// Shared set-up for the unit tests, which all run in one process. The whole
// runtime is booted once before the first test (see test_support.cpp), as the
// program boots it; these helpers stay for suites that want to say what they
// rely on.
#pragma once

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

}  // namespace test_support
}  // namespace zel
