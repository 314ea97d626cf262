// The file system over POSIX calls. Every call that a signal can interrupt
// is resumed, and reads and writes loop over short transfers, so callers see
// whole operations or failures.
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zel {
namespace platform {

namespace {

int open_flags(uint32_t mode) {
    if (!(mode & OPEN_WRITE)) return O_RDONLY;
    int flags = O_WRONLY | O_CREAT;
    if (!(mode & (OPEN_APPEND | OPEN_SEEK))) flags |= O_TRUNC;
    return flags;
}

// A directory opens for reading on this system, but is no file to read.
bool is_unusable(int fd) {
    struct stat st;
    return ::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode);
}

}  // namespace

int open_file(const char* path, uint32_t mode) {
    int fd;
    do fd = ::open(path, open_flags(mode) | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    if (is_unusable(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int64_t file_size(int handle) {
    struct stat st;
    if (::fstat(handle, &st) != 0) return -1;
    return S_ISREG(st.st_mode) ? int64_t(st.st_size) : 0;
}

int64_t seek(int handle, int64_t offset) { return int64_t(::lseek(handle, off_t(offset), SEEK_SET)); }

int64_t seek_end(int handle) { return int64_t(::lseek(handle, 0, SEEK_END)); }

int64_t read_data(int handle, void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::read(handle, static_cast<char*>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += size_t(n);
    }
    return int64_t(done);
}

int64_t write_data(int handle, const void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(handle, static_cast<const char*>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        done += size_t(n);
    }
    return int64_t(done);
}

// A close interrupted by a signal has still released the descriptor on
// Linux, so it is never retried.
void close_file(int handle) { ::close(handle); }

bool path_exists(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0;
}

bool make_dir(const char* path) { return ::mkdir(path, 0777) == 0; }

bool remove_file(const char* path) { return ::unlink(path) == 0; }

bool remove_dir(const char* path) { return ::rmdir(path) == 0; }

// A file system without RENAME_NOREPLACE refuses it with EINVAL; there the
// target is looked for first.
bool rename_path(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat st;
    if (::lstat(to, &st) == 0) return false;
    return ::rename(from, to) == 0;
}

bool modification_time(const char* path, FileTime& out) {
    struct stat st;
    if (::stat(path, &st) != 0) return false;
    struct tm t;
    if (!::gmtime_r(&st.st_mtim.tv_sec, &t)) return false;
    out = {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, int64_t(st.st_mtim.tv_nsec)};
    return true;
}

namespace {

// The entry's type from the listing when it gives one, else from the path.
bool is_directory_entry(const std::string& dir, const struct dirent* e) {
    if (e->d_type == DT_DIR) return true;
    if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) return false;
    std::string full = dir;
    if (!full.empty() && full.back() != '/') full += '/';
    full += e->d_name;
    struct stat st;
    return ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_dot_name(const char* name) { return name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2])); }

}  // namespace

bool list_dir(const char* path, std::vector<DirEntry>& out) {
    DIR* d = ::opendir(path);
    if (!d) return false;
    out.clear();
    std::string dir = path;
    for (;;) {
        errno = 0;
        const struct dirent* e = ::readdir(d);
        if (!e) break;
        if (is_dot_name(e->d_name)) continue;
        out.push_back({e->d_name, is_directory_entry(dir, e)});
    }
    bool ok = errno == 0;
    ::closedir(d);
    std::sort(out.begin(), out.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return ok;
}

}  // namespace platform
}  // namespace zel
