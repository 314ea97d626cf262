// TCP connections for the HTTP client: name resolution, a connect that gives
// up after a time-out, and sends and receives that wait at most a time-out
// for the peer. The sockets are non-blocking underneath, so no call can hang
// past its time-out, and a peer that has gone away never raises SIGPIPE.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zel {
namespace platform {

// Resolves the host and the port (a decimal service text) and connects to the
// first address that accepts within timeout_ms; answers the socket, or -1.
int tcp_connect(const char* host, const char* port, int32_t timeout_ms);

// Sends every byte, waiting at most timeout_ms each time the peer is not ready
// for more; false when the connection fails or the wait runs out.
bool tcp_send_all(int socket, const uint8_t* data, size_t size, int32_t timeout_ms);

// Receives what has arrived, at most capacity bytes, waiting at most
// timeout_ms for the first of them: the count, 0 when the peer has closed its
// side, -1 on failure or when the wait runs out.
long tcp_receive(int socket, uint8_t* buffer, size_t capacity, int32_t timeout_ms);

void tcp_close(int socket);

}  // namespace platform
}  // namespace zel
