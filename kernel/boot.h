// Runtime boot: the kernel's own first steps (print hooks, console output,
// memory, collector, external resources), taken before any other module
// exists. The program entry boots every higher module after them, in its
// own fixed order (console/startup.cpp).
#pragma once

namespace zel {
namespace runtime {

// Set while the runtime boots and the library values are built.
extern bool booting;

// Sets the booting flag and brings the kernel modules into being.
void boot();
// Releases every frame and big series, then every tracked block.
void shutdown();

}  // namespace runtime
}  // namespace zel
