// file!: file names in the language's path notation ("/" between directories)
// and their conversion to the operating system's form, which on this system
// is the same POSIX path; the mold form with its "%" prefix; and the file
// actions, which hand the work to the file I/O layer.
//
// A file! is laid out as a string! (core/string.h); it inherits make, to and
// path access from url! and the text actions from string!.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace file {

// 0xFF for the ASCII characters that may stand in a file name (and a url)
// without quotes or escapes, 0 for the others.
extern const uint8_t (&mold_safe)[128];

// Appends the system form of the file's path (from its index) to the target
// string; a relative path gets the current directory in front when asked.
void to_local_path(const Cell* file, const Cell* target, bool prepend_current_dir);

// The system form of a file's path as NUL-terminated UTF-8 text for system
// calls, in a tracked heap block freed with the holder:
//     file::LocalPath path = file::to_local_cstr(file);
//     platform_call(path.c_str());
class LocalPath {
public:
    explicit LocalPath(const Cell* file, bool prepend_current_dir = false);
    ~LocalPath();
    LocalPath(const LocalPath&) = delete;
    LocalPath& operator=(const LocalPath&) = delete;
    const char* c_str() const { return text_; }
    uint32_t size() const { return size_; }

private:
    char* text_;
    uint32_t size_;
};
inline LocalPath to_local_cstr(const Cell* file, bool prepend_current_dir = false) {
    return LocalPath(file, prepend_current_dir);
}

// Pushes a new string! holding the current directory, ending in "/" (empty
// when the directory cannot be read).
Cell* current_dir();
Cell* push(const Cell* value);

// ---- services the file I/O layer provides ------------------------------------

// The file I/O layer under the actions; installed at start-up by that layer.
// Until then the actions raise internal error not-done.
struct Io {
    bool (*delete_)(const Cell* file);         // true when deleted
    const Cell* (*query)(const Cell* file);    // modification date!, or none
    bool (*rename)(const Cell* from, const Cell* to);
    const Cell* (*read)(Cell* file, Cell* part, Cell* seek, bool binary, bool lines);
    void (*write)(Cell* file, Cell* data, Cell* part, Cell* seek, bool append, bool lines);
};
void set_io(const Io* io);

// ---- actions ------------------------------------------------------------------

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
const Cell* delete_(Cell* file);
const Cell* query(Cell* file);
const Cell* rename(Cell* from, Cell* to);
const Cell* read(Cell* file, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as);
const Cell* write(Cell* file, Cell* data, bool binary, bool lines, bool info, bool append, Cell* part,
                  Cell* seek, Cell* allow, Cell* as);

void init();

}  // namespace file
}  // namespace zel
