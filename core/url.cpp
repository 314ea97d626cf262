// url!: percent encoding and decoding, construction from blocks, mold, path
// access, and read/write/open through the HTTP client or a port.
#include "core/url.h"

#include <string_view>

#include "core/datatype.h"
#include "core/dispatch.h"
#include "core/file.h"
#include "core/raise.h"
#include "core/runtime_words.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/string_actions.h"
#include "core/support.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "core/word.h"
#include "kernel/temp_roots.h"
#include "kernel/unicode.h"

namespace zel {
namespace url {

namespace {

struct Table {
    uint8_t v[128];
};

constexpr Table HEX_DIGIT_VALUES = [] {
    Table t{};
    for (uint32_t c = 0; c < 128; c++) {
        t.v[c] = uint8_t(ascii::hex_digit(c));  // 0xFF: no digit
    }
    return t;
}();

constexpr Table COMPONENT_SAFE = [] {
    Table t{};
    for (uint32_t c = 0; c < 128; c++) {
        bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    std::string_view("-._~").find(char(c)) != std::string_view::npos;
        t.v[c] = safe ? 0xFF : 0;
    }
    return t;
}();

HttpRequest http_client = nullptr;
PortMaker port_maker = nullptr;

// The answer of make, to and eval-path; copied by the caller at once.
Cell answer;

// The UTF-8 text of a value from its index, in a fresh byte series that
// nothing needs to root: no safe point comes while it is read.
struct Utf8 {
    const uint8_t* p;
    const uint8_t* end;
};
Utf8 utf8_of(const Cell* value) {
    uint32_t size = 0;
    Node n = utf8::from_string(value, &size);
    const uint8_t* p = series::head_ptr(node::buffer(n));
    return {p, p + size};
}

void append_char(const Cell* target, uint32_t cp) {
    SeriesBuffer* b = string::buffer_of(target);
    string::append_char(b, cp);
}

}  // namespace

// ---- percent encoding -----------------------------------------------------------

bool decode_escape(const uint8_t* p, const uint8_t* end, uint8_t* out) {
    if (end - p < 3 || p[0] != '%' || p[1] > 127 || p[2] > 127) return false;
    uint8_t high = HEX_DIGIT_VALUES.v[p[1]], low = HEX_DIGIT_VALUES.v[p[2]];
    if (high > 15 || low > 15) return false;
    *out = uint8_t(high << 4 | low);
    return true;
}

// An escaped lead byte takes as many escaped continuation bytes as it needs
// and they decode as one character; a lone escape stands for the code point
// of its byte; anything else, "%" included, is the character itself.
void decode(const Cell* value, const Cell* target) {
    Utf8 text = utf8_of(value);
    const uint8_t* p = text.p;
    while (p < text.end) {
        uint8_t seq[4];
        if (decode_escape(p, text.end, &seq[0])) {
            int length = utf8::sequence_length(seq[0]);
            if (length == 0) {
                append_char(target, seq[0]);
                p += 3;
                continue;
            }
            int k = 1;
            while (k < length && decode_escape(p + 3 * k, text.end, &seq[k])) k++;
            if (k == length) {
                uint32_t size = 0;
                append_char(target, uint32_t(utf8::decode_checked(seq, size_t(length), &size)));
                p += 3 * length;
                continue;
            }
        }
        int32_t cp;
        p = utf8::decode_char(p, text.end, &cp);
        append_char(target, uint32_t(cp));
    }
}

uint32_t encode_byte(int32_t mode, uint8_t byte, char out[3]) {
    const uint8_t* safe = mode == ENCODE_COMPONENT ? COMPONENT_SAFE.v : file::mold_safe;
    if (byte < 0x80 && safe[byte]) {
        out[0] = char(byte);
        return 1;
    }
    const char* hex = string::byte_to_hex(byte);
    out[0] = '%';
    out[1] = hex[0];
    out[2] = hex[1];
    return 3;
}

void encode_char(const Cell* value, const Cell* target, int32_t mode) {
    Utf8 text = utf8_of(value);
    for (const uint8_t* p = text.p; p < text.end; p++) {
        char out[3];
        uint32_t n = encode_byte(mode, *p, out);
        string::append_bytes(target, reinterpret_cast<const uint8_t*>(out), n);
    }
}

// ---- make and to ----------------------------------------------------------------

namespace {

constexpr int32_t NO_LIMIT = 0x7FFFFFFF;

void form_into(const Cell* buffer, const Cell* value) {
    Cell v = *value;
    actions::form_dispatch(&v, const_cast<Cell*>(buffer), nullptr, NO_LIMIT);
}

bool is_block_spec(const Cell* spec) {
    return types::in(types::PLAIN_BLOCK, cell::type(spec));
}

// scheme://host[:port][/value/value...#issue]
const Cell* from_block(const Cell* spec) {
    Node n = cell::series_node(spec);
    uint32_t first = uint32_t(cell::series_index(spec));
    uint32_t count = series::length(node::buffer(n));
    if (first >= count) {
        Cell type;
        cell::make_datatype(&type, T_URL);
        error::raise(Err::script_bad_to_arg, &type, spec);
    }
    Cell url;
    string::write_cell(&url, 32);
    auto at = [n](uint32_t i) { return series::cells(node::buffer(n)) + i; };
    form_into(&url, at(first));
    string::append_cstr(&url, "://");
    uint32_t i = first + 1;
    if (i < count) form_into(&url, at(i++));
    if (i < count && cell::type(at(i)) == T_INTEGER) {
        string::append_cstr(&url, ":");
        form_into(&url, at(i++));
        if (i == count) {
            cell::set_type(&url, T_URL);
            answer = url;
            return &answer;
        }
    }
    string::append_cstr(&url, "/");
    for (uint32_t k = i; k < count; k++) {
        if (k > i) string::append_cstr(&url, cell::type(at(k)) == T_ISSUE ? "#" : "/");
        form_into(&url, at(k));
    }
    cell::set_type(&url, T_URL);
    answer = url;
    return &answer;
}

}  // namespace

const Cell* make(Cell* proto, Cell* spec, uint32_t type) {
    if (type == T_URL && is_block_spec(spec)) return from_block(spec);
    return string::make(proto, spec, type);
}

const Cell* to(Cell* proto, Cell* spec, uint32_t type) {
    if (type == T_URL && is_block_spec(spec)) return from_block(spec);
    return string::to(proto, spec, type);
}

// ---- mold -----------------------------------------------------------------------

// Every byte of the UTF-8 text that is not safe bare becomes an escape. The
// lexer ends a url at a parenthesis, so mold escapes both (as the component
// table does), which enhex leaves bare.
int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    Utf8 text = utf8_of(value);
    int32_t written = 0;
    for (const uint8_t* p = text.p; p < text.end; p++) {
        if (part && written >= limit) break;
        char out[3];
        bool paren = *p == '(' || *p == ')';
        uint32_t n = encode_byte(paren ? ENCODE_COMPONENT : ENCODE_MOLD, *p, out);
        string::append_bytes(buffer, reinterpret_cast<const uint8_t*>(out), n);
        written += int32_t(n);
    }
    return limit - written;
}

// ---- path access ----------------------------------------------------------------

// url/a gives a new url with the element after a "/": one slash between them,
// whether either side brings it or both do.
const Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool,
                      bool, bool, bool) {
    if (value) error::raise(Err::script_bad_path_set, path, element);
    Cell el = *element;
    if (cell::type(&el) == T_GET_WORD) el = *word::get_checked(&el);
    uint32_t unit = series::unit(string::buffer_of(parent));
    Cell text;
    string::make_buffer_at(&text, 16, unit);
    form_into(&text, &el);
    Cell result;
    string::make_buffer_at(&result, string::get_length(parent) + string::get_length(&text) + 1, unit);
    string::concatenate(&result, parent, -1, 0, true, string::COPY_APPEND);
    uint32_t n = string::get_abs_length(&result);
    bool ends = n > 0 && string::char_at(&result, n - 1) == '/';
    bool starts = string::get_length(&text) > 0 && string::char_at(&text, 0) == '/';
    if (ends && starts) cell::set_series_index(&text, 1);
    else if (!ends && !starts) string::append_cstr(&result, "/");
    string::concatenate(&result, &text, -1, 0, true, string::COPY_APPEND);
    cell::set_type(&result, cell::type(parent));
    answer = result;
    return &answer;
}

// ---- read, write and open -------------------------------------------------------

void set_http_client(HttpRequest request) { http_client = request; }
void set_port_maker(PortMaker maker) { port_maker = maker; }

namespace {

bool is_http(Cell* url) { return string::starts_with_cstr(url, "http"); }

Cell method_word(words::Symbol s) {
    Cell w;
    word::write_cell(words::symbol(s), &w);
    return w;
}

const Cell* request(const Cell* method, Cell* url, const Cell* headers, const Cell* body, bool binary,
                    bool lines, bool info) {
    if (!http_client) error::raise(Err::internal_not_done);
    const Cell* response = http_client(method, url, headers, body, binary, lines, info);
    if (cell::type(response) == T_NONE) error::raise(Err::access_no_connect, url);
    return response;
}

bool is_body(const Cell* v) {
    uint32_t t = cell::type(v);
    return t == T_NONE || t == T_BLOCK || t == T_STRING || t == T_BINARY;
}

// A request block: [], or [method], [method headers], [method headers body].
const Cell* write_request(Cell* url, const Cell* spec, bool binary, bool lines, bool info) {
    Cell method = method_word(words::S_get), headers = statics::none_cell, body = statics::none_cell;
    Node n = cell::series_node(spec);
    uint32_t i = uint32_t(cell::series_index(spec)), count = series::length(node::buffer(n));
    const Cell* cells = series::cells(node::buffer(n));
    if (i < count) {
        if (cell::type(&cells[i]) != T_WORD) error::raise(Err::script_invalid_arg, &cells[i]);
        word::write_cell(symbol::resolve(cell::word_symbol(&cells[i])), &method);
        if (++i < count) {
            headers = cells[i];
            if (cell::type(&headers) != T_BLOCK) error::raise(Err::script_invalid_arg, &headers);
            if (++i < count) body = cells[i];
        }
    }
    if (!is_body(&body)) error::raise(Err::script_invalid_arg, &body);
    return request(&method, url, &headers, &body, binary, lines, info);
}

}  // namespace

Cell* open_port(Cell* url, bool open, bool new_, bool read, bool write, bool seek, Cell* allow) {
    if (!port_maker) error::raise(Err::internal_not_done);
    Cell locator = *url;
    temp_roots::Hold hold(&locator);
    Cell* port = stack::reg.base;
    if (!port_maker(&locator, port)) error::raise(Err::script_invalid_arg, &locator);
    if (open) actions::open_dispatch(port, new_, read, write, seek, allow);
    return port;
}

const Cell* open(Cell* url, bool new_, bool read, bool write, bool seek, Cell* allow) {
    return open_port(url, true, new_, read, write, seek, allow);
}

const Cell* read(Cell* url, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as) {
    if (is_http(url)) {
        if (part || seek || as) error::raise(Err::internal_not_done);
        Cell method = method_word(words::S_get);
        return request(&method, url, &statics::none_cell, &statics::none_cell, binary, lines, info);
    }
    Cell* port = open_port(url, false, false, false, false, false, nullptr);
    auto port_read = actions::lookup<ACT_read>(port);
    return port_read(port, part, seek, binary, lines, info, as);
}

const Cell* write(Cell* url, Cell* data, bool binary, bool lines, bool info, bool append, Cell* part,
                  Cell* seek, Cell* allow, Cell* as) {
    if (is_http(url)) {
        if (seek || allow || as) error::raise(Err::internal_not_done);
        if (cell::type(data) == T_BLOCK) return write_request(url, data, binary, lines, info);
        if (!is_body(data)) error::raise(Err::script_invalid_arg, data);
        Cell method = method_word(words::S_post);
        return request(&method, url, &statics::none_cell, data, binary, lines, info);
    }
    Cell* port = open_port(url, false, false, false, false, false, nullptr);
    auto port_write = actions::lookup<ACT_write>(port);
    return port_write(port, data, binary, lines, info, append, part, seek, allow, as);
}

void init() {
    datatype::register_({
        .id = T_URL, .parent = T_STRING, .name = "url!",
        .make = make, .to = to, .form = INHERIT, .mold = mold, .eval_path = eval_path,
        .compare = INHERIT,
        .append = INHERIT, .at = INHERIT, .back = INHERIT, .change = INHERIT, .clear = INHERIT,
        .copy = INHERIT, .find = INHERIT, .head = INHERIT, .is_head = INHERIT, .is_index = INHERIT,
        .insert = INHERIT, .is_length = INHERIT, .move = INHERIT, .next = INHERIT, .pick = INHERIT,
        .poke = INHERIT, .remove = INHERIT, .reverse = INHERIT, .select = INHERIT, .skip = INHERIT,
        .swap = INHERIT, .tail = INHERIT, .is_tail = INHERIT, .take = INHERIT, .modify = INHERIT,
        .open = open, .read = read, .write = write,
    });
}

}  // namespace url
}  // namespace zel
