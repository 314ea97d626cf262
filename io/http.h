// The HTTP client under read and write of an http or https url!: an HTTP/1.1
// request on a connection of its own (platform/http_curl.h), redirects
// followed, and the answer turned into values.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace http {

// How long a request waits, in milliseconds: for the connection (with its
// TLS handshake), for the peer to take more of the request, and for more of
// the answer.
struct Timeouts {
    int32_t connect_ms, send_ms, receive_ms;
};
extern Timeouts timeouts;

// The method word, the url, a headers block or none, the body (none,
// block!, string! or binary!) and the /binary, /lines and /info flags.
// Answers the body (a string!, a binary! or a block of lines), or with info a
// block of the status code, a map! of the answer's headers and the body,
// pushed on the value stack; none when the request fails.
const Cell* request(const Cell* method, const Cell* url, const Cell* headers, const Cell* body, bool binary,
                    bool lines, bool info);

// Installs request as the HTTP client of url!.
void init();

}  // namespace http
}  // namespace zel
