// The file system under the file I/O layer: open files as integer handles,
// whole reads and writes that resume after signals and short transfers, and
// the path services (existence, directories, removal, renaming, modification
// time, listing). Paths are NUL-terminated UTF-8 in the system's own form.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zel {
namespace platform {

// Open modes, combined as bit flags. Writing without append or seek creates
// the file anew (truncating it); with either it keeps what is there.
enum OpenMode : uint32_t { OPEN_READ = 1, OPEN_WRITE = 2, OPEN_APPEND = 4, OPEN_SEEK = 8 };

// A handle, or -1 when the file cannot be opened; a directory is never
// opened.
int open_file(const char* path, uint32_t mode);
// The size the system reports (0 for files it cannot measure), -1 on failure.
int64_t file_size(int handle);
// Moves to the offset from the start, or to the end; the new position, or -1.
int64_t seek(int handle, int64_t offset);
int64_t seek_end(int handle);
// Reads until count bytes have arrived or the file ends: the bytes read, -1
// on failure.
int64_t read_data(int handle, void* buffer, size_t count);
// Writes every byte: count, or -1 on failure.
int64_t write_data(int handle, const void* buffer, size_t count);
void close_file(int handle);

// True when the path names something (a link is followed).
bool path_exists(const char* path);
bool make_dir(const char* path);
bool remove_file(const char* path);
bool remove_dir(const char* path);
// Renames or moves; never replaces an existing target.
bool rename_path(const char* from, const char* to);

// A time in UTC broken into calendar fields.
struct FileTime {
    int year, month, day, hour, minute, second;
    int64_t nanoseconds;
};
// The last modification of what the path names; false when it cannot be
// read (a path ending in "/" must name a directory).
bool modification_time(const char* path, FileTime& out);

struct DirEntry {
    std::string name;
    bool directory;  // a link counts as what it leads to
};
// The entries of a directory but "." and "..", sorted by the bytes of their
// names; false when the directory cannot be read.
bool list_dir(const char* path, std::vector<DirEntry>& out);

}  // namespace platform
}  // namespace zel
