// Runtime boot: brings every module into being in one fixed order, with the
// sizes of the first tables and stacks. Later steps use what earlier ones made.
#pragma once

namespace zel {
namespace runtime {

// Set while the runtime boots and the library values are built.
extern bool booting;

void boot();
// Releases every frame and big series, then every tracked block.
void shutdown();

}  // namespace runtime
}  // namespace zel
