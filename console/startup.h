// The start-up body: boots every module, loads the boot image (which binds
// the datatype, action and native words), builds the library values and
// the console, and hands over to the console.
#pragma once
#include "kernel/cell.h"

namespace zel {
namespace startup {

// Runs the whole program under the root catch; ends the process.
void main();

// The start-up sequence up to the console: every module, the boot image of
// runtime::record, the collector switched on, then the library values:
// constants, typesets and operators, the library's code from the image, and
// the operators of library functions.
void boot();

// Every module in its fixed order, the kernel's first, with the booting flag
// set; then event!. Nothing is bound yet: this is what a program without a
// boot image (the build's first stage) starts from.
void boot_modules();

// Loads the boot image that runtime::record names (zelbin::load_boot): binds
// the datatype, action and native words and names its values as the boot
// literals. An image refused as corrupted ends the process with a report
// that names the boot image.
void load_image();

// Loads a script file (UTF-8, a leading byte-order mark skipped) into a
// block pushed on the value stack, positioned after a "Zel [...]" header at
// its start. A file that cannot be read raises access error cannot-open.
Cell load_script(const char* path);

// The last step of start-up: cli-console-ctx/launch, which loads the
// console's configuration and runs the script or the interactive loop.
void launch_console();

}  // namespace startup
}  // namespace zel
