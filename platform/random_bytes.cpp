#include "platform/random_bytes.h"

#include <sys/random.h>

#include <cerrno>

namespace zel {
namespace platform {

bool secure_random(uint8_t* buffer, uint32_t length) {
    while (length > 0) {
        ssize_t n = getrandom(buffer, length, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        buffer += n;
        length -= uint32_t(n);
    }
    return true;
}

}  // namespace platform
}  // namespace zel
