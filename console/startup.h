// The start-up body: boots the runtime, builds the library values and launches
// the console.
#pragma once

namespace zel {
namespace startup {

// Runs the whole program under the root catch; ends the process.
void main();

}  // namespace startup
}  // namespace zel
