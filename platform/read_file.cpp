// Reading a whole file with POSIX calls, resuming after signals.
#include "platform/read_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zel {
namespace platform {

// The descriptor is closed on every way out, a refused allocation included.
struct Closing {
    int fd;
    ~Closing() { ::close(fd); }
};

ReadFile read_file(const char* path, std::string& out, size_t limit) {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ReadFile::CANNOT_OPEN;
    Closing closing{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return ReadFile::CANNOT_OPEN;
    out.clear();
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ReadFile::CANNOT_OPEN;
        if (n == 0) return ReadFile::DONE;
        if (size_t(n) > limit - out.size()) return ReadFile::TOO_LARGE;
        out.append(chunk, size_t(n));
    }
}

}  // namespace platform
}  // namespace zel
