#include "platform/http_socket.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace zel {
namespace platform {

namespace {

int64_t now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// Waits until the socket is ready for the events or the time-out has passed;
// a signal that interrupts the wait does not lengthen it.
bool wait_for(int socket, short events, int32_t timeout_ms) {
    int64_t deadline = now_ms() + timeout_ms;
    for (;;) {
        int64_t left = deadline - now_ms();
        if (left < 0) left = 0;
        pollfd p{socket, events, 0};
        int n = poll(&p, 1, int(left));
        if (n > 0) return true;
        if (n == 0 || errno != EINTR) return false;
    }
}

// The connect of one address, finished within the time-out.
int connect_one(const addrinfo* a, int32_t timeout_ms) {
    int s = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (s < 0) return -1;
    if (connect(s, a->ai_addr, a->ai_addrlen) == 0) return s;
    if (errno == EINPROGRESS && wait_for(s, POLLOUT, timeout_ms)) {
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0) return s;
    }
    close(s);
    return -1;
}

}  // namespace

int tcp_connect(const char* host, const char* port, int32_t timeout_ms) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, port, &hints, &found) != 0) return -1;
    int s = -1;
    for (const addrinfo* a = found; a && s < 0; a = a->ai_next) s = connect_one(a, timeout_ms);
    freeaddrinfo(found);
    return s;
}

bool tcp_send_all(int socket, const uint8_t* data, size_t size, int32_t timeout_ms) {
    while (size > 0) {
        ssize_t n = send(socket, data, size, MSG_NOSIGNAL);
        if (n > 0) {
            data += n;
            size -= size_t(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!wait_for(socket, POLLOUT, timeout_ms)) return false;
        } else {
            return false;
        }
    }
    return true;
}

long tcp_receive(int socket, uint8_t* buffer, size_t capacity, int32_t timeout_ms) {
    for (;;) {
        ssize_t n = recv(socket, buffer, capacity, 0);
        if (n >= 0) return long(n);
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        if (!wait_for(socket, POLLIN, timeout_ms)) return -1;
    }
}

void tcp_close(int socket) { close(socket); }

}  // namespace platform
}  // namespace zel
