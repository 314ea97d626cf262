// The file I/O layer under the read, write, delete, query and rename
// actions of file!: whole-file reading from an offset and for a length,
// writing with append and line options, splitting text into lines,
// directory listing, and the path services the library builds on.
//
// Paths are file! values; they reach the system as UTF-8 (a path holding a
// NUL raises invalid-arg, as no system path can hold one). A path names a
// directory by its form (io::is_dir). Routines that make a value push it on
// the value stack and answer it.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace io {

// Line end written after each line by the lines option.
constexpr const char* LINE_END = "\n";

// True when the path ends in "/" or "\", or is "." or "..", or ends with
// one of them after a separator.
bool is_dir(const Cell* file);
bool is_exists(const Cell* file);
bool make_dir(const Cell* file);
// Removes a directory for a directory path, else a file; true on success.
bool delete_(const Cell* file);
// False when the target exists.
bool rename(const Cell* from, const Cell* to);
// The modification date (UTC, to the millisecond), or none.
const Cell* query(const Cell* file);

// A new block of the lines of UTF-8 text: each LF ends a line, a CR right
// before it is dropped, a last LF adds no empty line.
Cell* split_lines(const uint8_t* text, uint32_t length);
// The entries of a directory as file! names, directories ending in "/";
// cannot-open when it cannot be listed.
Cell* read_dir(const Cell* dir);
// The file's content from offset (-1: the start) for length bytes (below 0:
// to the end) as a binary!, a block of lines or a string!; none when the
// file cannot be opened or read.
const Cell* read_file(const Cell* file, int64_t length, int64_t offset, bool binary, bool lines);
// Writes data as bytes to the file, or to the console output when file is
// null; the byte count, or -1 when the file cannot be opened or written.
// length limits a binary! or string! (in characters; below 0: all); offset
// below 0 writes at the start, or at the end with append.
int64_t write_file(const Cell* file, const Cell* data, int32_t length, int64_t offset, bool append, bool lines);

// The read and write actions: the /part and /seek arguments (null when
// absent) checked and passed on, failures raised as cannot-open.
const Cell* read(Cell* file, Cell* part, Cell* seek, bool binary, bool lines);
void write(Cell* file, Cell* data, Cell* part, Cell* seek, bool append, bool lines);

// Installs the layer under the file! actions.
void init();

}  // namespace io
}  // namespace zel
