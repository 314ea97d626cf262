// The start-up body: the fixed sequence that brings every module into being and
// then hands over to the console.
#include "console/startup.h"

#include "kernel/boot.h"
#include "kernel/runtime.h"

namespace zel {
namespace startup {

void main() {
    runtime::boot();
    runtime::at_exit(0);
}

}  // namespace startup
}  // namespace zel
