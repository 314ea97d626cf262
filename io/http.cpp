// HTTP/1.1 requests for read and write of an http or https url!.
//
// What goes out is decided here: the request line's target, every field, the
// fields that do not follow a redirect to another origin, and which redirects
// are followed and how. The transport (platform/http_curl.h) carries one
// request per connection, with "Connection: close", and reads the answer by
// its own framing. Everything the peer sends is bounded: the status line and
// the header lines together may take 64 KiB, as in the usual HTTP stacks, and
// a body grows only as its bytes arrive. A request that cannot be made, sent
// or read to its end answers none, and the url! actions report it.
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
#include "core/dispatch.h"
#include "core/stack.h"
#include "core/string.h"
#include "core/symbol.h"
#include "core/type_groups.h"
#include "core/url.h"
#include "core/word.h"
#include "datatypes/binary.h"
#include "datatypes/map.h"
#include "io/file_io.h"
#include "kernel/fail.h"
#include "kernel/memory.h"
#include "kernel/unicode.h"
#include "platform/http_curl.h"

namespace zel {
namespace http {

// The waits of a system HTTP stack left at its defaults.
Timeouts timeouts = {60000, 30000, 30000};

namespace {

constexpr size_t MAX_HEAD = 64 * 1024;   // status line and header lines; trailers
constexpr size_t MAX_BODY = memory::MAX_DATA;  // the largest series
constexpr uint32_t MAX_REDIRECTS = 10;
constexpr int32_t NO_LIMIT = 0x7FFFFFFF;
constexpr size_t npos = std::string_view::npos;

using Fields = platform::HttpFields;
using Answer = platform::HttpAnswer;
using platform::is_token;
using platform::trimmed;

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

// Decimal digits only, no sign, at most the limit.
bool parse_number(std::string_view digits, uint64_t limit, uint64_t* n) {
    if (digits.empty()) return false;
    const char* end = digits.data() + digits.size();
    auto [stop, error] = std::from_chars(digits.data(), end, *n);
    return error == std::errc() && stop == end && *n <= limit;
}

template <size_t N>
bool named_in(std::string_view name, const char* const (&names)[N]) {
    return std::any_of(names, names + N, [&](const char* n) { return same_text(name, n); });
}

// A field value may hold anything but the bytes that end a line.
bool is_field_value(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) == npos; }

std::string formed(const Cell* value) {
    Cell text, v = *value;
    string::write_cell(&text, 64);
    actions::form_dispatch(&v, &text, nullptr, NO_LIMIT);
    return utf8::text(&text);
}

// ---- locators -----------------------------------------------------------------

// Where one request goes.
struct Target {
    std::string origin;     // scheme://host:port, where the connection goes
    std::string authority;  // for the Host field
    std::string path;       // the request target
};

bool is_host(std::string_view host, bool bracketed) {
    const char* extra = bracketed ? ":.%" : "-._~!$&'()*+,;=%";
    return !host.empty() && std::all_of(host.begin(), host.end(), [&](char c) {
        return (uint8_t(c) < 0x80 && std::isalnum(uint8_t(c))) || (c && std::strchr(extra, c));
    });
}

// A port of 1 to 65535 as its decimal text (the scheme's when absent);
// false when bad.
bool port_text(std::string_view port, const char* standard, std::string* out) {
    if (port.empty()) {
        *out = standard;
        return true;
    }
    uint64_t n;
    if (!parse_number(port, 65535, &n) || n == 0) return false;
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

// http[s]://[user@]host[:port][/path][?query][#fragment]; user information
// and the fragment are not sent. False for any other locator.
bool split_url(std::string_view url, Target* t) {
    size_t mark = url.find("://");
    if (mark == npos) return false;
    std::string_view scheme = url.substr(0, mark);
    bool secure = same_text(scheme, "https");
    if (!secure && !same_text(scheme, "http")) return false;
    std::string_view rest = url.substr(mark + 3);
    size_t end = std::min(rest.find_first_of("/?#"), rest.size());
    std::string_view authority = rest.substr(0, end), path = rest.substr(end);
    if (size_t at = authority.rfind('@'); at != npos) authority.remove_prefix(at + 1);
    std::string_view host = authority, port;
    bool bracketed = !authority.empty() && authority[0] == '[';
    if (bracketed) {
        size_t close = authority.find(']');
        if (close == npos) return false;
        host = authority.substr(1, close - 1);
        std::string_view after = authority.substr(close + 1);
        if (!after.empty() && after[0] != ':') return false;
        if (!after.empty()) port = after.substr(1);
    } else if (size_t colon = authority.rfind(':'); colon != npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    const char* standard = secure ? "443" : "80";
    std::string number;
    if (!is_host(host, bracketed) || !port_text(port, standard, &number)) return false;
    std::string name = bracketed ? "[" + std::string(host) + "]" : std::string(host);
    t->origin = (secure ? "https://" : "http://") + name + ":" + number;
    t->authority = number == standard ? name : name + ":" + number;
    t->path = request_target(path.substr(0, path.find('#')));
    return true;
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

// The caller's block of names and values; false when one cannot be sent.
bool fields_of(const Cell* headers, Fields* fields) {
    uint32_t first = uint32_t(cell::series_index(headers));
    int32_t count = block::get_length(headers);
    for (int32_t i = 0; i + 1 < count; i += 2) {
        Cell name = *block::cell_at(headers, first + uint32_t(i));
        std::string key = types::is_variable_word(cell::type(&name)) ? symbol::get_cstr(cell::word_symbol(&name)) : formed(&name);
        std::string value = formed(block::cell_at(headers, first + uint32_t(i) + 1));
        if (!is_token(key) || !is_field_value(value)) return false;
        fields->emplace_back(std::move(key), std::move(value));
    }
    return true;
}

bool prepare(const Cell* method, const Cell* headers, const Cell* body, Request* rq) {
    rq->method = symbol::get_cstr(cell::word_symbol(method));
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

// The fields for one target, as they go out; same_origin is false after a
// redirect to another scheme, host or port.
Fields request_fields(const Request& rq, const Target& t, bool same_origin) {
    Fields out;
    bool own_host = false;
    for (const auto& [name, value] : rq.fields) {
        if (named_in(name, FRAMING_FIELDS) || (!same_origin && named_in(name, ORIGIN_FIELDS))) continue;
        own_host = own_host || same_text(name, "Host");
        out.emplace_back(name, value);
    }
    if (!own_host) out.emplace(out.begin(), "Host", t.authority);
    if (rq.has_body) out.emplace_back("Content-Length", std::to_string(rq.body.size()));
    out.emplace_back("Connection", "close");
    return out;
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

// Where a redirect leads; false when the answer is the final one.
bool redirect_location(const Answer& r, std::string* location) {
    static const int32_t codes[] = {301, 302, 303, 307, 308};
    if (std::find(std::begin(codes), std::end(codes), r.status) == std::end(codes)) return false;
    return field(r.fields, "Location", location);
}

// A body framed by its length may give the length more than once, but only
// ever the same one: an answer that names two cannot be trusted.
bool length_agrees(const Answer& r, bool head_method) {
    std::string coding, value;
    if (head_method || r.status == 204 || r.status == 304 || field(r.fields, "Transfer-Encoding", &coding) ||
        !field(r.fields, "Content-Length", &value))
        return true;
    uint64_t length = 0;
    for (size_t start = 0; start <= value.size();) {
        size_t comma = std::min(value.find(',', start), value.size());
        uint64_t n;
        if (!parse_number(trimmed(std::string_view(value).substr(start, comma - start)), MAX_BODY, &n) ||
            (start > 0 && n != length))
            return false;
        length = n;
        start = comma + 1;
    }
    return true;
}

// One request on its own connection. Memory the system refuses for the
// request or its answer is the no-memory error, raised once the answer is
// dropped; a body past the largest series fails like an answer that breaks
// its framing.
bool exchange(const Target& t, const Request& rq, bool same_origin, Answer* r) {
    bool done = fail::or_no_memory([&] {
        platform::HttpRequest out{t.origin + "/",
                                  t.path,
                                  rq.method,
                                  request_fields(rq, t, same_origin),
                                  rq.has_body,
                                  rq.body.data(),
                                  rq.body.size(),
                                  timeouts.connect_ms,
                                  timeouts.send_ms,
                                  timeouts.receive_ms,
                                  MAX_HEAD,
                                  MAX_BODY};
        return platform::http_exchange(out, r);
    });
    if (r->no_memory) {
        *r = Answer{};
        fail::internal("no-memory");
    }
    return done;
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

const Cell* answer(const Answer& r, bool binary, bool lines, bool info) {
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

static const Cell* fetch(const Cell* method, const Cell* url, const Cell* headers, const Cell* body, bool binary,
                         bool lines, bool info) {
    Request rq;
    if (!prepare(method, headers, body, &rq)) return &statics::none_cell;
    std::string location = utf8::text(url), origin;
    Answer r;
    for (uint32_t hops = 0;; hops++) {
        Target t;
        if (!split_url(location, &t)) return &statics::none_cell;
        if (hops == 0) origin = t.origin;
        r = Answer{};
        if (!exchange(t, rq, same_text(origin, t.origin), &r)) return &statics::none_cell;
        std::string next;
        if (!redirect_location(r, &next)) {
            if (!length_agrees(r, rq.method == "HEAD")) return &statics::none_cell;
            break;
        }
        if (hops == MAX_REDIRECTS) return &statics::none_cell;
        location = resolve(location, next);
        redirect_method(&rq, r.status);
    }
    return answer(r, binary, lines, info);
}

const Cell* request(const Cell* method, const Cell* url, const Cell* headers, const Cell* body, bool binary,
                    bool lines, bool info) {
    return fail::or_no_memory([&] { return fetch(method, url, headers, body, binary, lines, info); });
}

void init() {
    url::set_http_client(request);
}

}  // namespace http
}  // namespace zel
