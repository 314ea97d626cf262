// The file I/O layer: file! paths to system paths, whole-file reads and
// writes through platform/files, the lines and listing forms of a read, and
// the read and write actions that raise cannot-open on failure.
#include "io/file_io.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/block.h"
#include "core/dispatch.h"
#include "core/file.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/support.h"
#include "datatypes/binary.h"
#include "datatypes/date.h"
#include "datatypes/typeset.h"
#include "kernel/fail.h"
#include "kernel/memory.h"
#include "kernel/output.h"
#include "kernel/unicode.h"
#include "platform/files.h"

namespace zel {
namespace io {

namespace {

// The system form of a file's path. No system path can hold a NUL, and one
// would cut the name short, so it is refused rather than passed on.
struct Path {
    file::LocalPath local;
    explicit Path(const Cell* f) : local(f) {
        if (std::strlen(local.c_str()) != local.size()) error::raise(Err::script_invalid_arg, f);
    }
    const char* c_str() const { return local.c_str(); }
};

// An open file, closed on every way out (errors included).
struct Handle {
    int fd;
    explicit Handle(int handle) : fd(handle) {}
    ~Handle() {
        if (fd >= 0) platform::close_file(fd);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

bool is_separator(char c) { return c == '/' || c == '\\'; }

bool is_dir_form(const file::LocalPath& path) {
    std::string_view p(path.c_str(), path.size());
    if (p.empty()) return false;
    if (is_separator(p.back())) return true;
    size_t n = p.size(), dots = 0;
    while (dots < 2 && dots < n && p[n - 1 - dots] == '.') dots++;
    if (dots == 0) return false;
    return dots == n || is_separator(p[n - 1 - dots]);
}

// ---- reading --------------------------------------------------------------------

// The largest series the memory manager makes.
constexpr uint64_t MAX_BYTES = memory::MAX_DATA;
constexpr uint64_t STEP = 65536;

// Reads from the offset to the end of the file or the length, trusting the
// reported size only as a hint: files the system reports as empty (those of
// /proc) and files that change meanwhile still give what is really there. A
// file of the size reported is asked for one byte more, which meets its end
// in the same read; only past the hint do steps of STEP bytes go, so that a
// small file is not read into a large zero-filled buffer.
bool read_bytes(int fd, int64_t length, int64_t offset, std::vector<uint8_t>& bytes) {
    if (offset >= 0 && platform::seek(fd, offset) < 0) return false;
    int64_t size = platform::file_size(fd);
    if (size < 0) return false;
    uint64_t hint = uint64_t(std::max<int64_t>(0, size - std::max<int64_t>(0, offset)));
    uint64_t cap = std::min(length >= 0 ? uint64_t(length) : UINT64_MAX, MAX_BYTES + 1);
    if (std::min(hint, cap) > MAX_BYTES) error::raise(Err::internal_no_memory);
    bytes.reserve(size_t(std::min(hint + 1, cap)));
    while (bytes.size() < cap) {
        size_t old = bytes.size();
        size_t want = size_t(std::min(cap - old, hint > old ? hint - old + 1 : STEP));
        bytes.resize(old + want);
        int64_t n = platform::read_data(fd, bytes.data() + old, want);
        if (n < 0) return false;
        bytes.resize(old + size_t(n));
        if (size_t(n) < want) break;
    }
    if (bytes.size() > MAX_BYTES) error::raise(Err::internal_no_memory);
    return true;
}

// A name from the system as a new file! in the block. A name that is not
// UTF-8 still lists, its bad bytes shown as U+FFFD.
void append_name(const Cell* block, const std::string& name, bool directory) {
    Cell* c = block::append_slot(block);
    string::write_cell(c, uint32_t(name.size()) + 2);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(name.data());
    SeriesBuffer* b = string::append_utf8_lenient(string::buffer_of(c), p, p + name.size());
    if (directory) string::append_char(b, '/');
    cell::set_type(c, T_FILE);
}

// ---- writing --------------------------------------------------------------------

void append_text(std::string& out, const Cell* text, int32_t length) {
    out += utf8::text(text, length >= 0 ? uint32_t(length) : UINT32_MAX);
}

// The bytes of a value: a string as UTF-8, a binary as it is (both cut to
// length when it is not negative), anything else formed.
void append_bytes(std::string& out, const Cell* value, int32_t length) {
    switch (cell::type(value)) {
    case T_BINARY: {
        uint32_t n = binary::length(value);
        if (length >= 0) n = std::min(n, uint32_t(length));
        out.append(reinterpret_cast<const char*>(binary::head_address(value)), n);
        return;
    }
    case T_STRING: {
        Cell text = *value;
        uint32_t n = string::get_length(&text);
        append_text(out, &text, length >= 0 ? int32_t(std::min(n, uint32_t(length))) : -1);
        return;
    }
    default: {
        Cell text;
        string::write_cell(&text, 16);
        actions::form_dispatch(const_cast<Cell*>(value), &text, nullptr, INT32_MAX);
        append_text(out, &text, -1);
    }
    }
}

// Every value of a block followed by a line end.
void append_lines(std::string& out, const Cell* block) {
    Cell b = *block;
    for (uint32_t i = uint32_t(cell::series_index(&b)); i < block::buffer_length(&b); i++) {
        append_bytes(out, block::cell_at(&b, i), -1);
        out += LINE_END;
    }
}

int64_t write_bytes(const Cell* file, const std::string& bytes, int64_t offset, bool append) {
    Path path(file);
    uint32_t mode = platform::OPEN_WRITE | (append ? platform::OPEN_APPEND : 0u) |
                    (offset >= 0 ? platform::OPEN_SEEK : 0u);
    Handle h(platform::open_file(path.c_str(), mode));
    if (h.fd < 0) return -1;
    if (offset > 0 && platform::seek(h.fd, offset) < 0) return -1;
    if (append && platform::seek_end(h.fd) < 0) return -1;
    return platform::write_data(h.fd, bytes.data(), bytes.size());
}

// The /part and /seek arguments of read: numbers truncated to integers.
int64_t count_of(const Cell* arg) { return arg ? check::float_range(arg) : -1; }

// The position of /seek's argument in write's spec, which its error names.
constexpr uint32_t WRITE_SEEK_ARG = 9;

}  // namespace

// ---- paths ----------------------------------------------------------------------

bool is_dir(const Cell* file) { return is_dir_form(file::LocalPath(file)); }

bool is_exists(const Cell* file) { return platform::path_exists(Path(file).c_str()); }

bool make_dir(const Cell* file) { return platform::make_dir(Path(file).c_str()); }

bool delete_(const Cell* file) {
    Path path(file);
    return is_dir_form(path.local) ? platform::remove_dir(path.c_str()) : platform::remove_file(path.c_str());
}

bool rename(const Cell* from, const Cell* to) {
    Path old_path(from), new_path(to);
    return platform::rename_path(old_path.c_str(), new_path.c_str());
}

// The system keeps the time to the nanosecond; the date keeps milliseconds.
const Cell* query(const Cell* file) {
    platform::FileTime t;
    if (!platform::modification_time(Path(file).c_str(), t)) return &statics::none_cell;
    Cell* out = stack::push_slot();
    date::from_system_time(out, t.year, t.month, t.day, t.hour, t.minute, t.second,
                           t.nanoseconds / 1000000 * 1000000);
    return out;
}

// ---- reading --------------------------------------------------------------------

Cell* split_lines(const uint8_t* text, uint32_t length) {
    const uint8_t* end = text + length;
    Cell* out = block::push_new(int32_t(std::count(text, end, '\n')) + 1);
    for (const uint8_t* p = text; p < end;) {
        const uint8_t* lf = static_cast<const uint8_t*>(std::memchr(p, '\n', size_t(end - p)));
        const uint8_t* stop = lf ? lf : end;
        if (lf && stop > p && stop[-1] == '\r') stop--;
        string::load_in(out, p, uint32_t(stop - p), string::ENC_UTF8);
        p = lf ? lf + 1 : end;
    }
    return out;
}

Cell* read_dir(const Cell* dir) {
    std::vector<platform::DirEntry> entries;
    if (!platform::list_dir(Path(dir).c_str(), entries)) error::raise(Err::access_cannot_open, dir);
    Cell* out = block::push_new(int32_t(entries.size()));
    for (const platform::DirEntry& e : entries) append_name(out, e.name, e.directory);
    return out;
}

const Cell* read_file(const Cell* file, int64_t length, int64_t offset, bool binary, bool lines) {
    std::vector<uint8_t> bytes;
    {
        Path path(file);
        Handle h(platform::open_file(path.c_str(), platform::OPEN_READ));
        if (h.fd < 0 || !read_bytes(h.fd, length, offset, bytes)) return &statics::none_cell;
    }
    uint32_t n = uint32_t(bytes.size());
    if (binary) return binary::from_memory(bytes.data(), n);
    if (lines) return split_lines(bytes.data(), n);
    return string::load(bytes.data(), n, string::ENC_UTF8);
}

// ---- writing --------------------------------------------------------------------

// The bytes are made before the file is opened, so a value that cannot be
// converted leaves the file as it was.
int64_t write_file(const Cell* file, const Cell* data, int32_t length, int64_t offset, bool append, bool lines) {
    std::string bytes;
    if (lines && cell::type(data) == T_BLOCK) {
        append_lines(bytes, data);
    } else {
        append_bytes(bytes, data, length);
        if (lines) bytes += LINE_END;
    }
    if (!file) {
        output::print_text(bytes.data(), bytes.size());
        return int64_t(bytes.size());
    }
    return write_bytes(file, bytes, offset, append);
}

// ---- the actions ----------------------------------------------------------------

const Cell* read(Cell* file, Cell* part, Cell* seek, bool binary, bool lines) {
    if (is_dir(file)) return fail::or_no_memory([&] { return read_dir(file); });
    int64_t offset = count_of(seek);
    if (seek && offset < 0) error::raise(Err::access_cannot_open, file);
    const Cell* answer =
        fail::or_no_memory([&] { return read_file(file, count_of(part), offset, binary, lines); });
    if (cell::type(answer) == T_NONE) error::raise(Err::access_cannot_open, file);
    return answer;
}

void write(Cell* file, Cell* data, Cell* part, Cell* seek, bool append, bool lines) {
    int64_t offset = -1;
    if (seek) {
        Cell integer;
        typeset::init_empty(&integer);
        typeset::set_bit(&integer, T_INTEGER);
        check::argument(&integer, WRITE_SEEK_ARG, seek);
        offset = cell::get_int(seek);
        if (offset < 0) error::raise(Err::access_cannot_open, file);
    }
    int32_t length = part ? check::float_range(part) : -1;
    int64_t written = fail::or_no_memory([&] { return write_file(file, data, length, offset, append, lines); });
    if (written < 0) error::raise(Err::access_cannot_open, file);
}

void init() {
    static const file::Io layer = {delete_, query, rename, read, write};
    file::set_io(&layer);
}

}  // namespace io
}  // namespace zel
