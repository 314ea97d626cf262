// uname behind platform::os_name.
#include "platform/os_name.h"

#include <sys/utsname.h>

namespace zel {
namespace platform {

bool os_name(OsName& out) {
    struct utsname u;
    if (uname(&u) != 0) return false;
    out = {u.sysname, u.release, u.version, u.machine};
    return true;
}

}  // namespace platform
}  // namespace zel
