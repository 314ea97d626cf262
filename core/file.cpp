// file!: the system form of file names, the "%" mold, and the file actions
// that pass through to the file I/O layer.
#include "core/file.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "core/datatype.h"
#include "core/raise.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/string_actions.h"
#include "kernel/os.h"
#include "kernel/runtime.h"
#include "kernel/unicode.h"

namespace zel {
namespace file {

namespace {

constexpr bool is_name_char(uint32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$&'()*+,-./:=?@_~").find(char(c)) != std::string_view::npos;
}

struct SafeTable {
    uint8_t v[128];
};
constexpr SafeTable SAFE = [] {
    SafeTable t{};
    for (uint32_t c = 0; c < 128; c++) t.v[c] = is_name_char(c) ? 0xFF : 0;
    return t;
}();

const Io* io_layer = nullptr;

const Io& io() {
    if (!io_layer) error::raise(Err::internal_not_done);
    return *io_layer;
}

}  // namespace

const uint8_t (&mold_safe)[128] = SAFE.v;

// ---- system paths ---------------------------------------------------------------

Cell* current_dir() {
    Cell* c = stack::push_slot();
    string::write_cell(c, 16);
    char* dir = os::get_current_dir();
    if (!dir) return c;
    size_t n = std::strlen(dir);
    bool slash = n > 0 && dir[n - 1] == '/';
    if (n) string::from_utf8_into(c, reinterpret_cast<const uint8_t*>(dir), uint32_t(n), false);
    heap::free(dir);
    if (n && !slash) string::append_cstr(c, "/");
    return c;
}

// Paths are POSIX on both sides: the text is the same; only a relative path
// may take the current directory in front.
void to_local_path(const Cell* file, const Cell* target, bool prepend_current_dir) {
    Cell f = *file;
    bool absolute = string::get_length(&f) > 0 && string::char_at(&f, uint32_t(cell::series_index(&f))) == '/';
    if (!absolute && prepend_current_dir) {
        Cell* dir = current_dir();
        string::concatenate(target, dir, -1, 0, true, string::COPY_APPEND);
        stack::pop(1);
    }
    string::concatenate(target, &f, -1, 0, true, string::COPY_APPEND);
}

LocalPath::LocalPath(const Cell* file, bool prepend_current_dir) {
    Cell text;
    string::write_cell(&text, 16);
    to_local_path(file, &text, prepend_current_dir);
    uint32_t size = 0;
    Node n = utf8::from_string(&text, &size);
    text_ = static_cast<char*>(heap::alloc(size_t(size) + 1));
    std::memcpy(text_, series::head_ptr(node::buffer(n)), size);
    text_[size] = '\0';
    size_ = size;
}

LocalPath::~LocalPath() { heap::free(text_); }

Cell* push(const Cell* value) { return stack::push(value); }

// ---- mold -----------------------------------------------------------------------

namespace {

// Characters that stand bare in %name: the safe ones, but for ":", "@" and
// the parentheses, which end a bare file name in the lexer, and those above
// 126 but for the surrogates, which have no UTF-8 form.
bool is_bare(uint32_t c) {
    if (c > 126) return c < 0xD800 || c > 0xDFFF;
    return SAFE.v[c] && c != ':' && c != '@' && c != '(' && c != ')';
}

// A character inside %"...": the double quote, which the lexer's quoted file
// name cannot hold, as its code-point escape; the rest as in a string.
void put_quoted(const Cell* buffer, uint32_t c, bool all) {
    if (c == '"') string::append_cstr(buffer, "^(22)");
    else string::mold_char(buffer, c, string::ESCAPE_IN_STRING, all);
}

}  // namespace

// %name when every character may stand bare; else %"name" with the
// characters the lexer reads specially escaped, so the text loads back as
// the same file.
int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell* part, int32_t limit, int32_t) {
    string::Text t = string::text_of(value);
    uint32_t n = part && limit >= 0 ? std::min(t.len, uint32_t(limit)) : t.len;
    string::append_cstr(buffer, "%");
    if (t.len == 0) {
        string::append_cstr(buffer, "\"\"");
        return limit - 1;
    }
    bool bare = true;
    for (uint32_t i = 0; i < n && bare; i++) bare = is_bare(string::char_of(t, i));
    if (bare) {
        string::concatenate(buffer, value, int32_t(n), 0, true, string::COPY_APPEND);
    } else {
        // Appending to the buffer never moves the value's own buffer.
        string::append_cstr(buffer, "\"");
        for (uint32_t i = 0; i < n; i++) put_quoted(buffer, string::char_of(t, i), all);
        string::append_cstr(buffer, "\"");
    }
    return limit - int32_t(n) - 1;
}

// ---- actions --------------------------------------------------------------------

void set_io(const Io* layer) { io_layer = layer; }

static const Cell* logic(bool b) { return b ? &statics::true_cell : &statics::false_cell; }

const Cell* delete_(Cell* file) { return logic(io().delete_(file)); }

const Cell* query(Cell* file) { return io().query(file); }

const Cell* rename(Cell* from, Cell* to) { return logic(io().rename(from, to)); }

const Cell* read(Cell* file, Cell* part, Cell* seek, bool binary, bool lines, bool, Cell* as) {
    if (as) error::raise(Err::internal_not_done);
    return io().read(file, part, seek, binary, lines);
}

const Cell* write(Cell* file, Cell* data, bool, bool lines, bool, bool append, Cell* part, Cell* seek,
                  Cell* allow, Cell* as) {
    if (allow || as) error::raise(Err::internal_not_done);
    io().write(file, data, part, seek, append, lines);
    return &statics::unset_cell;
}

void init() {
    datatype::register_({
        .id = T_FILE, .parent = T_URL, .name = "file!",
        .make = INHERIT, .to = INHERIT, .form = INHERIT, .mold = mold, .eval_path = INHERIT,
        .compare = INHERIT,
        .append = INHERIT, .at = INHERIT, .back = INHERIT, .change = INHERIT, .clear = INHERIT,
        .copy = INHERIT, .find = INHERIT, .head = INHERIT, .is_head = INHERIT, .is_index = INHERIT,
        .insert = INHERIT, .is_length = INHERIT, .move = INHERIT, .next = INHERIT, .pick = INHERIT,
        .poke = INHERIT, .remove = INHERIT, .reverse = INHERIT, .select = INHERIT, .skip = INHERIT,
        .swap = INHERIT, .tail = INHERIT, .is_tail = INHERIT, .take = INHERIT,
        .delete_ = delete_, .modify = INHERIT, .query = query, .read = read, .rename = rename,
        .write = write,
    });
}

}  // namespace file
}  // namespace zel
