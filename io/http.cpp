// HTTP/1.1 requests for read and write of an http url!.
//
// One request is one connection: it goes out with "Connection: close" and its
// answer is read by the answer's own framing (Content-Length, chunked, or up
// to the close). Everything the peer sends is bounded: the status line and
// the header lines together may take 64 KiB, as in the usual HTTP stacks,
// and a body grows only as its bytes arrive, so a Content-Length or a chunk
// size that lies costs nothing. A request that cannot be made, sent or read
// to its end answers none, and the url! actions report it.
#include "io/http.h"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/block.h"
#include "core/raise.h"
#include "core/string.h"
#include "core/symbol.h"
#include "core/url.h"
#include "core/word.h"
#include "datatypes/binary.h"
#include "datatypes/map.h"
#include "interpreter/actions.h"
#include "interpreter/stack.h"
#include "io/file_io.h"
#include "kernel/unicode.h"
#include "platform/http_socket.h"

namespace zel {
namespace http {

// The waits of a system HTTP stack left at its defaults.
Timeouts timeouts = {60000, 30000, 30000};

namespace {

constexpr size_t MAX_HEAD = 64 * 1024;   // status line and header lines; a chunk line; trailers
constexpr size_t MAX_BODY = 0x7FFFFFF0;  // the largest series
constexpr uint32_t MAX_REDIRECTS = 10;
constexpr int32_t NO_LIMIT = 0x7FFFFFFF;
constexpr size_t npos = std::string_view::npos;

using Fields = std::vector<std::pair<std::string, std::string>>;

// Without the caller's headers, exactly these are set.
const char* const DEFAULT_FIELDS[][2] = {
    {"Content-Type", "application/x-www-form-urlencoded"},
    {"Accept-Charset", "UTF-8"},
    {"User-Agent", "Mozilla/5.0 (Windows NT 6.1; Win64; x64)"},
};
// The framing of the request is this client's own: the caller's versions of
// these fields are left out.
const char* const FRAMING_FIELDS[] = {"Content-Length", "Transfer-Encoding", "Connection"};
// Fields that name or authenticate to the first host: not sent on when a
// redirect leads to another one.
const char* const ORIGIN_FIELDS[] = {"Host", "Authorization", "Cookie"};

// ---- text ---------------------------------------------------------------------

// Names and schemes compare without regard to ASCII case.
bool same_text(std::string_view a, std::string_view b) {
    auto same = [](char x, char y) { return std::tolower(uint8_t(x)) == std::tolower(uint8_t(y)); };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), same);
}

// Digits only, no sign, at most the limit.
bool parse_number(std::string_view digits, int base, uint64_t limit, uint64_t* n) {
    if (digits.empty()) return false;
    const char* end = digits.data() + digits.size();
    auto [stop, error] = std::from_chars(digits.data(), end, *n, base);
    return error == std::errc() && stop == end && *n <= limit;
}

template <size_t N>
bool named_in(std::string_view name, const char* const (&names)[N]) {
    return std::any_of(names, names + N, [&](const char* n) { return same_text(name, n); });
}

// A method or field name: visible ASCII but the delimiters.
bool is_token(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char ch) {
        uint8_t c = uint8_t(ch);
        return c > 0x20 && c < 0x7F && !std::strchr("\"(),/:;<=>?@[\\]{}", c);
    });
}

// A field value may hold anything but the bytes that end a line.
bool is_field_value(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) == npos; }

std::string_view trimmed(std::string_view s) {
    size_t first = s.find_first_not_of(" \t");
    if (first == npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// The UTF-8 text of a string value from its index.
std::string utf8_text(const Cell* s) {
    Cell v = *s;
    std::string out(size_t(string::get_length(&v)) * 4, '\0');
    out.resize(string::write_utf8(&v, reinterpret_cast<uint8_t*>(out.data()), out.size()));
    return out;
}

std::string formed(const Cell* value) {
    Cell text, v = *value;
    string::write_cell(&text, 64);
    actions::form_dispatch(&v, &text, nullptr, NO_LIMIT);
    return utf8_text(&text);
}

// ---- locators -----------------------------------------------------------------

enum UrlKind { URL_BAD, URL_HTTP, URL_HTTPS };

// Where one request goes.
struct Target {
    std::string host;       // for the resolver
    std::string port;       // decimal
    std::string authority;  // for the Host field
    std::string path;       // the request target
};

bool is_host(std::string_view host, bool bracketed) {
    const char* extra = bracketed ? ":.%" : "-._~!$&'()*+,;=%";
    return !host.empty() && std::all_of(host.begin(), host.end(), [&](char c) {
        return (uint8_t(c) < 0x80 && std::isalnum(uint8_t(c))) || (c && std::strchr(extra, c));
    });
}

// A port of 1 to 65535 as its decimal text (80 when absent); false when bad.
bool port_text(std::string_view port, std::string* out) {
    if (port.empty()) {
        *out = "80";
        return true;
    }
    uint64_t n;
    if (!parse_number(port, 10, 65535, &n) || n == 0) return false;
    *out = std::to_string(n);
    return true;
}

// The path and query as they go on the request line. Bytes that may not stand
// there are escaped, so no text of a url can break the line or add a field.
std::string request_target(std::string_view path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out = path.empty() || path[0] == '?' ? "/" : "";
    for (char ch : path) {
        uint8_t c = uint8_t(ch);
        if (c > 0x20 && c < 0x7F && !std::strchr("\"<>\\^`{|}", c)) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// scheme://[user@]host[:port][/path][?query][#fragment]; user information and
// the fragment are not sent.
UrlKind split_url(std::string_view url, Target* t) {
    size_t mark = url.find("://");
    if (mark == npos) return URL_BAD;
    std::string_view scheme = url.substr(0, mark);
    if (same_text(scheme, "https")) return URL_HTTPS;
    if (!same_text(scheme, "http")) return URL_BAD;
    std::string_view rest = url.substr(mark + 3);
    size_t end = std::min(rest.find_first_of("/?#"), rest.size());
    std::string_view authority = rest.substr(0, end), path = rest.substr(end);
    if (size_t at = authority.rfind('@'); at != npos) authority.remove_prefix(at + 1);
    std::string_view host = authority, port;
    bool bracketed = !authority.empty() && authority[0] == '[';
    if (bracketed) {
        size_t close = authority.find(']');
        if (close == npos) return URL_BAD;
        host = authority.substr(1, close - 1);
        std::string_view after = authority.substr(close + 1);
        if (!after.empty() && after[0] != ':') return URL_BAD;
        if (!after.empty()) port = after.substr(1);
    } else if (size_t colon = authority.rfind(':'); colon != npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    if (!is_host(host, bracketed) || !port_text(port, &t->port)) return URL_BAD;
    t->host = host;
    t->authority = bracketed ? "[" + t->host + "]" : t->host;
    if (t->port != "80") t->authority += ":" + t->port;
    t->path = request_target(path.substr(0, path.find('#')));
    return URL_HTTP;
}

bool has_scheme(std::string_view location) {
    size_t colon = location.find(':');
    if (colon == npos || colon == 0 || !std::isalpha(uint8_t(location[0]))) return false;
    return std::all_of(location.begin(), location.begin() + colon,
                       [](char c) { return std::isalnum(uint8_t(c)) || c == '+' || c == '-' || c == '.'; });
}

// The locator a redirect's Location names, taken relative to the base.
std::string resolve(const std::string& base, std::string_view location) {
    if (has_scheme(location)) return std::string(location);
    size_t authority = base.find("://") + 3;
    if (location.substr(0, 2) == "//") return base.substr(0, authority - 2) + std::string(location);
    size_t path = std::min(base.find_first_of("/?#", authority), base.size());
    std::string origin = base.substr(0, path);
    if (!location.empty() && location[0] == '/') return origin + std::string(location);
    std::string base_path = base.substr(path, base.find_first_of("?#", path) - path);
    if (base_path.empty()) base_path = "/";
    if (!location.empty() && location[0] == '?') return origin + base_path + std::string(location);
    return origin + base_path.substr(0, base_path.rfind('/') + 1) + std::string(location);
}

// ---- the request ----------------------------------------------------------------

struct Request {
    std::string method;
    Fields fields;  // the caller's, or the defaults
    bool has_body;  // every method but GET and HEAD
    std::vector<uint8_t> body;
};

bool is_any_word(const Cell* v) {
    uint32_t t = cell::type(v);
    return t == T_WORD || t == T_SET_WORD || t == T_LIT_WORD || t == T_GET_WORD;
}

// The caller's block of names and values; false when one cannot be sent.
bool fields_of(const Cell* headers, Fields* fields) {
    uint32_t first = uint32_t(cell::series_index(headers));
    int32_t count = block::get_length(headers);
    for (int32_t i = 0; i + 1 < count; i += 2) {
        Cell name = *block::cell_at(headers, first + uint32_t(i));
        std::string key = is_any_word(&name) ? symbol::get_cstr(name.w2) : formed(&name);
        std::string value = formed(block::cell_at(headers, first + uint32_t(i) + 1));
        if (!is_token(key) || !is_field_value(value)) return false;
        fields->emplace_back(std::move(key), std::move(value));
    }
    return true;
}

bool prepare(const Cell* method, const Cell* headers, const Cell* body, Request* rq) {
    rq->method = symbol::get_cstr(method->w2);
    for (char& c : rq->method) c = char(std::toupper(uint8_t(c)));
    if (!is_token(rq->method)) return false;
    rq->has_body = rq->method != "GET" && rq->method != "HEAD";
    if (cell::type(headers) == T_BLOCK) {
        if (!fields_of(headers, &rq->fields)) return false;
    } else {
        for (const auto& f : DEFAULT_FIELDS) rq->fields.emplace_back(f[0], f[1]);
    }
    if (!rq->has_body || cell::type(body) == T_NONE) return true;
    if (cell::type(body) == T_BINARY) {
        Cell b = *body;
        const uint8_t* p = binary::head_address(&b);
        rq->body.assign(p, p + binary::length(&b));
    } else {
        std::string text = formed(body);
        rq->body.assign(text.begin(), text.end());
    }
    return true;
}

// The request line and fields for one target; same_origin is false after a
// redirect to another host.
std::string request_head(const Request& rq, const Target& t, bool same_origin) {
    std::string head = rq.method + " " + t.path + " HTTP/1.1\r\n";
    bool own_host = false;
    for (const auto& [name, value] : rq.fields) {
        if (named_in(name, FRAMING_FIELDS) || (!same_origin && named_in(name, ORIGIN_FIELDS))) continue;
        own_host = own_host || same_text(name, "Host");
        head += name + ": " + value + "\r\n";
    }
    if (!own_host) head.insert(head.find('\n') + 1, "Host: " + t.authority + "\r\n");
    if (rq.has_body) head += "Content-Length: " + std::to_string(rq.body.size()) + "\r\n";
    return head + "Connection: close\r\n\r\n";
}

// 303 asks for a GET (a HEAD stays one); 301 and 302 turn a POST into a GET,
// as browsers do; 307 and 308 repeat the request as it was.
void redirect_method(Request* rq, int32_t status) {
    bool to_get = status == 303 ? rq->method != "HEAD" : (status == 301 || status == 302) && rq->method == "POST";
    if (!to_get) return;
    rq->method = "GET";
    rq->has_body = false;
    rq->body.clear();
}

// ---- the answer -----------------------------------------------------------------

struct Connection {
    int socket = -1;
    std::vector<uint8_t> in;  // received and not yet taken from `at` on
    size_t at = 0;
    ~Connection() {
        if (socket >= 0) platform::tcp_close(socket);
    }
};

enum Received { GOT, CLOSED, FAILED };

Received receive(Connection& c) {
    constexpr size_t PIECE = 16384;
    c.in.erase(c.in.begin(), c.in.begin() + long(c.at));
    c.at = 0;
    size_t had = c.in.size();
    c.in.resize(had + PIECE);
    long n = platform::tcp_receive(c.socket, c.in.data() + had, PIECE, timeouts.receive_ms);
    c.in.resize(had + size_t(std::max(n, 0L)));
    return n > 0 ? GOT : n == 0 ? CLOSED : FAILED;
}

// One line without its LF (and a CR before it); the bytes taken count
// against the budget.
bool read_line(Connection& c, std::string* line, size_t* budget) {
    for (;;) {
        auto start = c.in.begin() + long(c.at);
        auto lf = std::find(start, c.in.end(), uint8_t('\n'));
        size_t taken = size_t(lf - start) + 1;
        if (lf != c.in.end()) {
            if (taken > *budget) return false;
            *budget -= taken;
            line->assign(start, lf);
            if (!line->empty() && line->back() == '\r') line->pop_back();
            c.at += taken;
            return true;
        }
        if (taken > *budget || receive(c) != GOT) return false;
    }
}

// Header lines up to the empty line. A line that folds onto the one before
// joins it; a line that is not a field is passed over.
bool read_fields(Connection& c, Fields* fields, size_t* budget) {
    std::string line;
    while (read_line(c, &line, budget)) {
        if (line.empty()) return true;
        if (line[0] == ' ' || line[0] == '\t') {
            if (!fields->empty()) fields->back().second += " " + std::string(trimmed(line));
            continue;
        }
        size_t colon = line.find(':');
        if (colon == npos || !is_token(std::string_view(line).substr(0, colon))) continue;
        fields->emplace_back(line.substr(0, colon), trimmed(std::string_view(line).substr(colon + 1)));
    }
    return false;
}

// HTTP/x.y SP code [SP reason]
bool parse_status(std::string_view line, int32_t* status) {
    if (line.size() < 12 || line.substr(0, 5) != "HTTP/" || !std::isdigit(uint8_t(line[5])) || line[6] != '.' ||
        !std::isdigit(uint8_t(line[7])) || line[8] != ' ')
        return false;
    std::string_view code = line.substr(9, 3);
    if (!std::all_of(code.begin(), code.end(), [](char c) { return std::isdigit(uint8_t(c)); })) return false;
    if (line.size() > 12 && line[12] != ' ') return false;
    *status = (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
    return *status >= 100;
}

struct Response {
    int32_t status = 0;
    Fields fields;
    std::vector<uint8_t> body;
};

// Every value of the field, joined as a list; false when there is none.
bool field(const Fields& fields, const char* name, std::string* value) {
    bool found = false;
    for (const auto& [n, v] : fields) {
        if (!same_text(n, name)) continue;
        *value += found ? ", " + v : v;
        found = true;
    }
    return found;
}

// The status line and the fields; interim (1xx) answers are passed over.
bool read_head(Connection& c, Response* r) {
    size_t budget = MAX_HEAD;
    std::string line;
    do {
        r->fields.clear();
        if (!read_line(c, &line, &budget) || !parse_status(line, &r->status)) return false;
        if (!read_fields(c, &r->fields, &budget)) return false;
    } while (r->status < 200);
    return true;
}

// Where a redirect leads; false when the answer is the final one.
bool redirect_location(const Response& r, std::string* location) {
    static const int32_t codes[] = {301, 302, 303, 307, 308};
    if (std::find(std::begin(codes), std::end(codes), r.status) == std::end(codes)) return false;
    return field(r.fields, "Location", location);
}

enum Framing { NO_BODY, BY_LENGTH, CHUNKED, TO_CLOSE, BAD_FRAMING };

// A Content-Length may be repeated, but only with the same value.
Framing length_framing(const std::string& value, uint64_t* length) {
    bool seen = false;
    for (size_t start = 0; start <= value.size();) {
        size_t comma = std::min(value.find(',', start), value.size());
        uint64_t n;
        if (!parse_number(trimmed(std::string_view(value).substr(start, comma - start)), 10, MAX_BODY, &n) ||
            (seen && n != *length))
            return BAD_FRAMING;
        *length = n;
        seen = true;
        start = comma + 1;
    }
    return BY_LENGTH;
}

Framing framing(const Response& r, bool head_method, uint64_t* length) {
    if (head_method || r.status == 204 || r.status == 304) return NO_BODY;
    std::string value;
    if (field(r.fields, "Transfer-Encoding", &value)) {
        std::string_view last = trimmed(std::string_view(value).substr(value.rfind(',') + 1));
        return same_text(last, "chunked") ? CHUNKED : TO_CLOSE;
    }
    if (field(r.fields, "Content-Length", &value)) return length_framing(value, length);
    return TO_CLOSE;
}

// Moves n body bytes over as they arrive.
bool take(Connection& c, uint64_t n, std::vector<uint8_t>* body) {
    while (n > 0) {
        if (c.at == c.in.size() && receive(c) != GOT) return false;
        size_t k = size_t(std::min<uint64_t>(n, c.in.size() - c.at));
        body->insert(body->end(), c.in.begin() + long(c.at), c.in.begin() + long(c.at + k));
        c.at += k;
        n -= k;
    }
    return true;
}

bool read_to_close(Connection& c, std::vector<uint8_t>* body) {
    for (;;) {
        body->insert(body->end(), c.in.begin() + long(c.at), c.in.end());
        c.at = c.in.size();
        if (body->size() > MAX_BODY) return false;
        Received got = receive(c);
        if (got != GOT) return got == CLOSED;
    }
}

// size [; extensions], the size in hexadecimal.
bool parse_chunk_size(std::string_view line, uint64_t* size) {
    std::string_view digits = trimmed(line.substr(0, line.find(';')));
    return parse_number(digits, 16, MAX_BODY, size);
}

bool read_chunked(Connection& c, std::vector<uint8_t>* body) {
    std::string line;
    for (;;) {
        size_t budget = MAX_HEAD;
        uint64_t size;
        if (!read_line(c, &line, &budget) || !parse_chunk_size(line, &size) || size > MAX_BODY - body->size())
            return false;
        if (size == 0) break;
        if (!take(c, size, body) || !read_line(c, &line, &budget) || !line.empty()) return false;
    }
    Fields trailers;
    size_t budget = MAX_HEAD;
    return read_fields(c, &trailers, &budget);
}

bool read_body(Connection& c, Response* r, bool head_method) {
    uint64_t length = 0;
    switch (framing(*r, head_method, &length)) {
        case NO_BODY: return true;
        case BY_LENGTH: return take(c, length, &r->body);
        case CHUNKED: return read_chunked(c, &r->body);
        case TO_CLOSE: return read_to_close(c, &r->body);
        case BAD_FRAMING: break;
    }
    return false;
}

// One request on its own connection; the body of a redirect is not read.
bool exchange(const Target& t, const Request& rq, bool same_origin, Response* r) {
    Connection c;
    c.socket = platform::tcp_connect(t.host.c_str(), t.port.c_str(), timeouts.connect_ms);
    if (c.socket < 0) return false;
    std::string head = request_head(rq, t, same_origin);
    auto send = [&](const void* data, size_t size) {
        return platform::tcp_send_all(c.socket, static_cast<const uint8_t*>(data), size, timeouts.send_ms);
    };
    if (!send(head.data(), head.size()) || !send(rq.body.data(), rq.body.size())) return false;
    std::string location;
    if (!read_head(c, r)) return false;
    return redirect_location(*r, &location) || read_body(c, r, rq.method == "HEAD");
}

// A body too large for the memory of the process fails the request like any
// other answer that cannot be read.
bool exchange_within_memory(const Target& t, const Request& rq, bool same_origin, Response* r) {
    try {
        return exchange(t, rq, same_origin, r);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// ---- values ---------------------------------------------------------------------

// Header text is UTF-8 where it decodes; any other byte stands for the
// character of its value, so no header of the peer fails the request.
void header_text(Cell* c, std::string_view s) {
    string::write_cell(c, uint32_t(s.size()));
    SeriesBuffer* b = string::buffer_of(c);
    auto p = reinterpret_cast<const uint8_t*>(s.data()), end = p + s.size();
    while (p < end) {
        int32_t cp;
        const uint8_t* next = utf8::decode_char(p, end, &cp);
        if (cp < 0) {
            cp = *p;
            next = p + 1;
        }
        b = string::append_char(b, uint32_t(cp));
        p = next;
    }
}

// Each field under its name as a word; a name met again gathers its values
// in a block, in order.
void headers_map(const Fields& fields, Cell* out) {
    map::make_empty(out, uint32_t(fields.size() * 2));
    for (const auto& [name, value] : fields) {
        Cell key, text;
        auto bytes = reinterpret_cast<const uint8_t*>(name.data());
        word::write_cell(symbol::make_from_buffer(bytes, uint32_t(name.size())), &key);
        header_text(&text, value);
        const Cell* old = map::get(out, &key, false);
        if (!old) {
            map::put_pair(out, &key, &text, false);
        } else if (cell::type(old) == T_BLOCK) {
            block::append_copy(old, &text);
        } else {
            Cell both;
            block::write_cell(&both, 4);
            block::append_copy(&both, old);
            block::append_copy(&both, &text);
            map::put_pair(out, &key, &both, false);
        }
    }
}

const Cell* push_body(const std::vector<uint8_t>& body, bool binary, bool lines) {
    static const uint8_t nothing = 0;
    const uint8_t* p = body.empty() ? &nothing : body.data();
    uint32_t n = uint32_t(body.size());
    if (binary) return binary::from_memory(p, n);
    if (lines) return io::split_lines(p, n);
    return string::load(p, n, string::ENC_UTF8);
}

const Cell* answer(const Response& r, bool binary, bool lines, bool info) {
    if (!info) return push_body(r.body, binary, lines);
    Cell* out = block::push_new(3);
    Cell status, fields;
    cell::make_integer(&status, r.status);
    block::append_copy(out, &status);
    headers_map(r.fields, &fields);
    block::append_copy(out, &fields);
    block::append_copy(out, push_body(r.body, binary, lines));
    return out;
}

}  // namespace

const Cell* request(const Cell* method, const Cell* url, const Cell* headers, const Cell* body, bool binary,
                    bool lines, bool info) {
    Request rq;
    if (!prepare(method, headers, body, &rq)) return &statics::none_cell;
    std::string location = utf8_text(url), origin;
    Response r;
    for (uint32_t hops = 0;; hops++) {
        Target t;
        UrlKind kind = split_url(location, &t);
        if (kind == URL_HTTPS) error::raise(Err::internal_feature_na);
        if (kind == URL_BAD) return &statics::none_cell;
        if (hops == 0) origin = t.host + ":" + t.port;
        r = Response{};
        if (!exchange_within_memory(t, rq, same_text(origin, t.host + ":" + t.port), &r)) return &statics::none_cell;
        std::string next;
        if (!redirect_location(r, &next)) break;
        if (hops == MAX_REDIRECTS) return &statics::none_cell;
        location = resolve(location, next);
        redirect_method(&rq, r.status);
    }
    return answer(r, binary, lines, info);
}

void init() { url::set_http_client(request); }

}  // namespace http
}  // namespace zel
