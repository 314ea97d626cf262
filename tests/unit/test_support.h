// Shared set-up for the unit tests, which all run in one process: each helper
// brings a module up once and leaves it up for every later suite.
#pragma once

#include "kernel/memory.h"

namespace zel {
namespace test_support {

// The memory manager with its first node frame and series frame.
inline void memory_ready() {
    memory::init();
    memory::make_first_frames();
}

}  // namespace test_support
}  // namespace zel
