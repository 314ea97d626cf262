// HTTP exchanges over libcurl's easy interface. libcurl makes the connection
// (TLS for https), frames the request and reads the answer's framing; the
// fields it would add of its own accord are taken out, so the peer sees the
// caller's fields only. libcurl has no wait per read or write, so the waits
// for the peer are kept by the progress callback, which libcurl calls at
// least about once a second even when nothing moves. The library is opened
// on the first exchange, not linked, so that a script without HTTP never
// pays for loading it and the many libraries it pulls in.
#include "platform/http_curl.h"

#include <curl/curl.h>
#include <strings.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "platform/process.h"
#include "platform/shared_library.h"

namespace zel {
namespace platform {

std::string_view trimmed(std::string_view s) {
    size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool is_token(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char ch) {
        uint8_t c = uint8_t(ch);
        return c > 0x20 && c < 0x7F && !std::strchr("\"(),/:;<=>?@[\\]{}", c);
    });
}

namespace {

using Clock = std::chrono::steady_clock;

const char CURL_SONAME[] = "libcurl.so.4";

struct Curl {
    bool ready;
    decltype(&curl_global_init) global_init;
    decltype(&curl_easy_init) easy_init;
    decltype(&curl_easy_setopt) easy_setopt;
    decltype(&curl_easy_perform) easy_perform;
    decltype(&curl_easy_getinfo) easy_getinfo;
    decltype(&curl_easy_cleanup) easy_cleanup;
    decltype(&curl_slist_append) slist_append;
    decltype(&curl_slist_free_all) slist_free_all;
};

// Without the library every exchange fails as one that cannot connect; the
// loader's reason is said once, as nothing else would name the library.
Curl load() {
    Curl c{};
    SharedLibrary lib = open_shared_library(CURL_SONAME);
    resolve(&lib, &c.global_init, "curl_global_init");
    resolve(&lib, &c.easy_init, "curl_easy_init");
    resolve(&lib, &c.easy_setopt, "curl_easy_setopt");
    resolve(&lib, &c.easy_perform, "curl_easy_perform");
    resolve(&lib, &c.easy_getinfo, "curl_easy_getinfo");
    resolve(&lib, &c.easy_cleanup, "curl_easy_cleanup");
    resolve(&lib, &c.slist_append, "curl_slist_append");
    resolve(&lib, &c.slist_free_all, "curl_slist_free_all");
    c.ready = lib.failure.empty();
    if (!c.ready) {
        std::string line = "zel: HTTP is not available: cannot load ";
        line.append(CURL_SONAME).append(" (").append(lib.failure).append(")\n");
        write_all(2, line.data(), line.size());
    }
    return c;
}

const Curl& libcurl() {
    static const Curl c = load();
    return c;
}

// libcurl sends these unless the request names them: Accept always,
// Content-Type with a body, Expect with a large one.
const char* const LIBRARY_FIELDS[] = {"Accept", "Content-Type", "Expect"};

struct Exchange {
    const HttpRequest* rq;
    HttpAnswer* answer;
    CURL* curl;
    size_t head_left;        // of the budget of the header lines (or of the trailers)
    bool head_done = false;  // the final answer's fields are in; what follows is trailers
    bool connected = false;
    curl_off_t moved = 0;  // bytes sent and received at the last look
    Clock::time_point last_moved = {};
};

bool names(const HttpFields& fields, const char* name) {
    return std::any_of(fields.begin(), fields.end(), [&](const auto& f) { return !strcasecmp(f.first.c_str(), name); });
}

// The request's fields as libcurl takes them; null when out of memory. A
// blank value is written "Name;", as "Name:" would take the field out.
curl_slist* field_list(const HttpRequest& rq) {
    curl_slist* list = nullptr;
    auto add = [&](const std::string& line) {
        curl_slist* longer = libcurl().slist_append(list, line.c_str());
        if (!longer) throw std::bad_alloc();
        list = longer;
    };
    try {
        for (const auto& [name, value] : rq.fields) add(trimmed(value).empty() ? name + ";" : name + ": " + value);
        for (const char* name : LIBRARY_FIELDS) {
            if (!names(rq.fields, name)) add(std::string(name) + ":");
        }
    } catch (const std::bad_alloc&) {
        libcurl().slist_free_all(list);
        return nullptr;
    }
    return list;
}

// One header line, its line end still on. A status line begins an answer
// (an interim one is passed over); a line that folds onto the one before
// joins it; a line that is not a field is passed over.
bool take_head_line(Exchange* x, std::string_view line) {
    if (line.size() > x->head_left) return false;
    x->head_left -= line.size();
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    HttpFields& fields = x->answer->fields;
    if (x->head_done) return true;
    if (line.empty()) {
        long status = 0;
        libcurl().easy_getinfo(x->curl, CURLINFO_RESPONSE_CODE, &status);
        x->head_done = status >= 200;
        if (x->head_done) x->head_left = x->rq->max_head;
    } else if (line.substr(0, 5) == "HTTP/") {
        fields.clear();
    } else if (line[0] == ' ' || line[0] == '\t') {
        if (!fields.empty()) fields.back().second.append(" ").append(trimmed(line));
    } else if (size_t colon = line.find(':'); colon != line.npos && is_token(line.substr(0, colon))) {
        fields.emplace_back(line.substr(0, colon), trimmed(line.substr(colon + 1)));
    }
    return true;
}

// The callbacks answer a short count to stop the exchange; no exception
// may cross libcurl.
size_t on_header(char* data, size_t, size_t n, void* user) {
    auto x = static_cast<Exchange*>(user);
    x->last_moved = Clock::now();
    try {
        return take_head_line(x, std::string_view(data, n)) ? n : 0;
    } catch (const std::bad_alloc&) {
        x->answer->no_memory = true;
        return 0;
    }
}

size_t on_body(char* data, size_t, size_t n, void* user) {
    auto x = static_cast<Exchange*>(user);
    std::vector<uint8_t>& body = x->answer->body;
    if (n > x->rq->max_body - body.size()) return 0;
    try {
        body.insert(body.end(), data, data + n);
    } catch (const std::bad_alloc&) {
        x->answer->no_memory = true;
        return 0;
    }
    return n;
}

// The connection is made (and secured): from here on the waits for the peer
// count.
int on_connected(void* user, char*, char*, int, int) {
    auto x = static_cast<Exchange*>(user);
    x->connected = true;
    x->last_moved = Clock::now();
    return CURL_PREREQFUNC_OK;
}

// Nonzero stops the exchange: the peer has taken or sent nothing for longer
// than the wait of what it is doing.
int on_progress(void* user, curl_off_t, curl_off_t received, curl_off_t to_send, curl_off_t sent) {
    auto x = static_cast<Exchange*>(user);
    Clock::time_point now = Clock::now();
    if (!x->connected || received + sent != x->moved) {
        x->moved = received + sent;
        x->last_moved = now;
        return 0;
    }
    int32_t wait_ms = sent < to_send ? x->rq->send_ms : x->rq->receive_ms;
    return now - x->last_moved > std::chrono::milliseconds(wait_ms);
}

bool configure(Exchange* x, curl_slist* fields) {
    const HttpRequest& rq = *x->rq;
    CURL* c = x->curl;
    CURLcode e = CURLE_OK;
    auto set = [&](CURLoption option, auto value) {
        if (e == CURLE_OK) e = libcurl().easy_setopt(c, option, value);
    };
    set(CURLOPT_URL, rq.url.c_str());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_PROXY, "");  // none, whatever the environment says
    set(CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_REQUEST_TARGET, rq.target.c_str());
    set(CURLOPT_CUSTOMREQUEST, rq.method.c_str());
    set(CURLOPT_NOBODY, long(rq.method == "HEAD"));
    set(CURLOPT_HTTPHEADER, fields);
    if (rq.has_body) {
        set(CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(rq.body_size));
        set(CURLOPT_POSTFIELDS, rq.body_size ? static_cast<const void*>(rq.body) : "");
    }
    set(CURLOPT_CONNECTTIMEOUT_MS, long(rq.connect_ms));
    set(CURLOPT_MAXFILESIZE_LARGE, curl_off_t(rq.max_body));
    set(CURLOPT_HEADERFUNCTION, on_header);
    set(CURLOPT_HEADERDATA, static_cast<void*>(x));
    set(CURLOPT_WRITEFUNCTION, on_body);
    set(CURLOPT_WRITEDATA, static_cast<void*>(x));
    set(CURLOPT_PREREQFUNCTION, on_connected);
    set(CURLOPT_PREREQDATA, static_cast<void*>(x));
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, on_progress);
    set(CURLOPT_XFERINFODATA, static_cast<void*>(x));
    return e == CURLE_OK;
}

// The library is set up on the first exchange, not at start-up, which
// would cost every script the set-up of the secure transport.
bool startup() {
    static bool started = false;
    if (!started) started = libcurl().ready && libcurl().global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return started;
}

}  // namespace

bool http_exchange(const HttpRequest& rq, HttpAnswer* answer) {
    if (!startup()) return false;
    const Curl& lib = libcurl();
    Exchange x{&rq, answer, lib.easy_init(), rq.max_head};
    if (!x.curl) return false;
    curl_slist* fields = field_list(rq);
    // A connection closed inside the head is no answer, whatever libcurl says.
    bool done = fields && configure(&x, fields) && lib.easy_perform(x.curl) == CURLE_OK && x.head_done;
    long status = 0;
    lib.easy_getinfo(x.curl, CURLINFO_RESPONSE_CODE, &status);
    answer->status = int32_t(status);
    lib.slist_free_all(fields);
    lib.easy_cleanup(x.curl);
    return done;
}

}  // namespace platform
}  // namespace zel
