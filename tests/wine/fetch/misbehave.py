#!/usr/bin/env python3
"""A scripted HTTP peer for the socket client's tests and benchmark.

    misbehave.py --port-file FILE [--file PATH] SCENARIO

Listens on a free loopback port, writes the port number to FILE once it accepts, and answers
every connection with the scenario until it is killed. Every scenario reads the request head
first. Scenarios:
    ok          200, Content-Length, a binary body (every byte value, CR LF and 0x1A included)
    split       the same reply cut into pieces with pauses, split between CR and LF
    chunked     200, chunked body "Wikipedia" in pieces, then the connection stays open
    keepalive   a complete reply, then the connection stays open and silent
    silence     half a body, then 3 s of silence
    closemid    Content-Length 100, 10 bytes, close
    drip        the reply one byte every 0.3 s
    notfound    a complete 404 reply
    overflow    a chunk size that does not fit 32 bits
    file        200 with the bytes of --file (sent with sendfile)
    echo        200 with the request head as body
"""
import os
import socket
import sys
import threading
import time

BINARY = bytes(range(256)) * 4
OK = b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\nSet-Cookie: a=1\r\nSet-Cookie: b=2\r\n\r\n" % len(BINARY) + BINARY


def read_head(conn):
    data = b""
    conn.settimeout(5)
    try:
        while b"\r\n\r\n" not in data and len(data) < 65536:
            part = conn.recv(4096)
            if not part:
                break
            data += part
    except OSError:
        pass
    conn.settimeout(None)
    return data


def steps(conn, parts):
    for p in parts:
        if isinstance(p, (int, float)):
            time.sleep(p)
        else:
            conn.sendall(p)


def serve(conn, scenario, path):
    head = read_head(conn)
    try:
        if scenario == "ok":
            conn.sendall(OK)
        elif scenario == "split":
            cut = OK.index(b"\r\n") + 1
            steps(conn, [OK[:cut], 0.1, OK[cut:cut + 20], 0.1, OK[cut + 20:cut + 300], 0.1, OK[cut + 300:]])
        elif scenario == "chunked":
            steps(conn, [b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r", 0.1,
                         b"\nWiki\r\n5\r\npe", 0.1, b"dia\r\n", 0.1, b"0\r\n\r\n", 5])
        elif scenario == "keepalive":
            steps(conn, [b"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", 5])
        elif scenario == "silence":
            steps(conn, [b"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello", 3])
        elif scenario == "closemid":
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789")
        elif scenario == "drip":
            for b in b"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello":
                conn.sendall(bytes([b]))
                time.sleep(0.3)
        elif scenario == "notfound":
            conn.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found")
        elif scenario == "overflow":
            steps(conn, [b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFF\r\nabc", 5])
        elif scenario == "file":
            size = os.path.getsize(path)
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % size)
            with open(path, "rb") as f:
                conn.sendfile(f)
        elif scenario == "echo":
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(head) + head)
    except OSError:
        pass
    finally:
        conn.close()


def main():
    args = sys.argv[1:]
    port_file = path = None
    while args and args[0].startswith("--"):
        if args[0] == "--port-file":
            port_file = args[1]
        elif args[0] == "--file":
            path = args[1]
        args = args[2:]
    if len(args) != 1 or not port_file:
        sys.exit(__doc__)
    scenario = args[0]
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    with open(port_file + ".tmp", "w") as f:
        f.write(str(listener.getsockname()[1]))
    os.rename(port_file + ".tmp", port_file)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn, scenario, path), daemon=True).start()


if __name__ == "__main__":
    main()
