#!/usr/bin/env python3
"""A small HTTP server on 127.0.0.1 for the HTTP client's unit tests.

It listens on two ephemeral ports (the second stands for another host, for
redirects across origins), prints them and a third port that nothing
listens on, on one line, and serves until it gets /quit or its parent goes
away. Paths, by their first segment:

  /echo (or any path ending in /echo)  the request exactly as received
  /raw/NAME          one of the fixed answers below, then the connection closes
  /redirect/CODE?LOC an answer CODE with Location LOC
  /hops/N            N redirects in a row, then /echo
  /slow              an answer sent a few bytes at a time
  /stall             half an answer, then nothing until the client gives up
  /big?N             N bytes, byte i being i % 251
  /hangup            a reset before the request is read
  /deaf              nothing read past the request's head, nothing sent
  /quit              stops the server
"""
import os
import socket
import struct
import sys
import threading
import time


def answer(status, body=b"", extra=b""):
    return (b"HTTP/1.1 " + status + b"\r\nContent-Length: " + str(len(body)).encode() +
            b"\r\n" + extra + b"\r\n" + body)


RAW = {
    "chunked": b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
               b"4;ext=1\r\nWiki\r\n5\r\npedia\r\nE\r\n in\r\n\r\nchunks.\r\n0\r\nTrailer: x\r\n\r\n",
    "close": b"HTTP/1.0 200 OK\r\nX-Kind: close\r\n\r\nuntil the close",
    "dup": b"HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nX-One: v\r\nset-cookie: b=2\r\n"
           b"Content-Length: 2\r\n\r\nok",
    "bare-lf": b"HTTP/1.1 200 OK\nContent-Length: 3\n\nabc",
    "interim": b"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\nhi",
    "folded": b"HTTP/1.1 200 OK\r\nX-Long: a\r\n  b\r\nContent-Length: 0\r\n\r\n",
    "no-content": b"HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n",
    "utf8": answer(b"200 OK", "h\u00e9llo \u20ac".encode()),
    "latin1-header": b"HTTP/1.1 200 OK\r\nX-Name: caf\xe9 \xc3\xa9\r\nContent-Length: 0\r\n\r\n",
    "lines": answer(b"200 OK", b"a\r\nb\n\nc"),
    "not-found": answer(b"404 Not Found", b"gone"),
    "empty": answer(b"200 OK"),
    "no-location": b"HTTP/1.1 302 Found\r\nContent-Length: 4\r\n\r\nstay",
    "invalid-utf8": answer(b"200 OK", b"a\xffb"),
    # A media type with parameters, and one sent twice.
    "typed": answer(b"200 OK", b"1 2", b"Content-Type: text/x-zel-test; charset=utf-8\r\n"),
    "typed-twice": answer(b"200 OK", b"3 4", b"Content-Type: text/plain\r\nContent-Type: text/x-zel-test\r\n"),
    "typed-other": answer(b"200 OK", b"5 6", b"Content-Type: text/plain\r\n"),
    "big-header": answer(b"200 OK", b"ok", b"X-Big: " + b"h" * 60000 + b"\r\n"),
    # Answers the client must refuse.
    "truncated": b"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc",
    "bad-status": b"HTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
    "huge-length": b"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\nabc",
    "big-length": b"HTTP/1.1 200 OK\r\nContent-Length: 2000000000\r\n\r\nabc",
    "two-lengths": b"HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd",
    "bad-chunk": b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nabc\r\n0\r\n\r\n",
    "huge-chunk": b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFF\r\nabc",
    "cut-chunk": b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabc",
    "huge-header": b"HTTP/1.1 200 OK\r\nX-Big: " + b"h" * 70000 + b"\r\nContent-Length: 0\r\n\r\n",
    "header-flood": b"HTTP/1.1 200 OK\r\n" + b"X-A: 0123456789\r\n" * 5000 + b"Content-Length: 0\r\n\r\n",
    "nothing": b"",
    "cut-head": b"HTTP/1.1 200 OK\r\nContent-Len",
    "cut-redirect": b"HTTP/1.1 302 Found\r\nContent-Length: 0\r\n",
}


def read_head(conn):
    """The request's head (up to the empty line) and what came after it."""
    data = b""
    while b"\r\n\r\n" not in data:
        piece = conn.recv(65536)
        if not piece:
            return data, b""
        data += piece
    head, _, rest = data.partition(b"\r\n\r\n")
    return head + b"\r\n\r\n", rest


def read_body(conn, head, rest):
    """The body that Content-Length announces."""
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip())
    while len(rest) < length:
        piece = conn.recv(65536)
        if not piece:
            break
        rest += piece
    return rest


def send_slowly(conn, data, piece):
    for i in range(0, len(data), piece):
        conn.sendall(data[i:i + piece])
        time.sleep(0.01)


def serve(conn, stop):
    head, rest = read_head(conn)
    target = head.split(b" ")[1].decode() if head.count(b" ") >= 2 else "/"
    path, _, query = target.partition("?")
    command = path.split("/")[1] if path.count("/") >= 1 else ""
    if command == "hangup":
        # A reset, with the request still unread.
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        return
    if command == "deaf":
        stop.wait(20)
        return
    request = head + read_body(conn, head, rest)
    if path.endswith("/echo"):
        conn.sendall(answer(b"200 OK", request))
    elif command == "raw":
        conn.sendall(RAW[path.split("/")[2]])
    elif command == "redirect":
        code = path.split("/")[2].encode()
        conn.sendall(answer(code + b" Moved", b"moved", b"Location: " + query.encode() + b"\r\n"))
    elif command == "hops":
        n = int(path.split("/")[2])
        location = "/echo" if n <= 1 else "/hops/%d" % (n - 1)
        conn.sendall(answer(b"302 Found", b"", b"Location: " + location.encode() + b"\r\n"))
    elif command == "slow":
        send_slowly(conn, answer(b"200 OK", b"0123456789", b"X-Slow: yes\r\n"), 3)
    elif command == "stall":
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc")
        conn.settimeout(20)
        while conn.recv(1024):
            pass
    elif command == "big":
        n = int(query)
        conn.sendall(answer(b"200 OK", bytes(i % 251 for i in range(n))))
    elif command == "quit":
        conn.sendall(answer(b"200 OK", b"bye"))
        stop.set()
    else:
        conn.sendall(answer(b"400 Bad Request", b"unknown path"))


def handle(conn, stop):
    try:
        serve(conn, stop)
    except (OSError, IndexError, ValueError, KeyError):
        pass
    finally:
        conn.close()


def main():
    stop = threading.Event()
    sockets = []
    for _ in range(2):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.bind(("127.0.0.1", 0))
        s.listen(64)
        s.settimeout(0.5)
        sockets.append(s)
    closed = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    closed.bind(("127.0.0.1", 0))
    ports = [s.getsockname()[1] for s in sockets + [closed]]
    closed.close()
    print(" ".join(map(str, ports)), flush=True)
    for s in sockets:
        threading.Thread(target=listen_forgiving, args=(s, stop), daemon=True).start()
    parent = os.getppid()
    while not stop.is_set() and os.getppid() == parent:
        stop.wait(0.5)
    time.sleep(0.1)  # let the /quit answer leave
    sys.exit(0)


def listen_forgiving(sock, stop):
    """accept, waking now and then to see whether the server is stopping."""
    while not stop.is_set():
        try:
            conn, _ = sock.accept()
        except socket.timeout:
            continue
        except OSError:
            return
        conn.settimeout(None)
        threading.Thread(target=handle, args=(conn, stop), daemon=True).start()


if __name__ == "__main__":
    main()
