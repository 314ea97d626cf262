// One HTTP/1.1 exchange through libcurl: the request goes out with exactly
// the request line and fields the caller gives, and the answer comes back
// as its status, its fields and its body. Redirects are not followed here,
// and every exchange has a connection of its own. Whatever the peer sends is
// bounded: the header lines together by max_head bytes, the body by max_body,
// growing only as its bytes arrive.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zel {
namespace platform {

using HttpFields = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string url;     // scheme://host:port/, where the connection goes
    std::string target;  // the request line's target, sent as it is
    std::string method;
    HttpFields fields;   // in order; Host and, with a body, Content-Length among them
    bool has_body;       // sent, even when empty, for every method but GET and HEAD
    const uint8_t* body;
    size_t body_size;
    int32_t connect_ms;  // for the connection, secure or not
    int32_t send_ms;     // at most this long without the peer taking a byte
    int32_t receive_ms;  // at most this long without a byte of the answer
    size_t max_head, max_body;
};

struct HttpAnswer {
    int32_t status = 0;
    HttpFields fields;  // of the final answer; interim (1xx) answers are passed over
    std::vector<uint8_t> body;
    bool no_memory = false;  // the system refused memory while the answer came in
};

// False when the exchange could not be made or its answer not read whole:
// no libcurl to load, no connection, a failed secure handshake, a wait run
// out, an answer that breaks its framing or its bounds, or no memory for it.
bool http_exchange(const HttpRequest& rq, HttpAnswer* answer);

// A field value without the spaces and tabs around it.
std::string_view trimmed(std::string_view s);

// A method or field name: visible ASCII but the delimiters.
bool is_token(std::string_view s);

}  // namespace platform
}  // namespace zel
