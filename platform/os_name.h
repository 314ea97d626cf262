// The running system's own description of itself, as uname gives it.
#pragma once
#include <string>

namespace zel {
namespace platform {

struct OsName {
    std::string system;   // "Linux"
    std::string release;  // the kernel release, "6.1.0-18-amd64"
    std::string version;  // the kernel's build text, "#1 SMP ..."
    std::string machine;  // the processor, "x86_64"
};

// False when the system will not say.
bool os_name(OsName& out);

}  // namespace platform
}  // namespace zel
