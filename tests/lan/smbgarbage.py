#!/usr/bin/env python3
"""Accepts TCP connections on ADDR:445 and ADDR:139, reads what the client
sends first and answers with bytes that are no SMB (nor NetBIOS session)
reply, then closes: a service on the SMB ports that is something else.
Every connection ends within a few seconds, whatever the client does.

    smbgarbage.py ADDR...

The answers take turns among three shapes, each unmistakably not SMB:
text (as from a web server), a framed message whose protocol mark is
wrong, and random bytes whose first byte is no session message type.
"""
import random
import socket
import sys
import threading
import time

SESSION_TYPES = {0x00, 0x81, 0x82, 0x83, 0x84, 0x85}
SMB_MARKS = {0xFF, 0xFE, 0xFD}
lock = threading.Lock()
count = 0


def garbage(n, rng):
    shape = n % 3
    if shape == 0:
        return b"HTTP/1.0 400 Bad Request\r\nContent-Length: 0\r\n\r\n"
    if shape == 1:
        body = bytearray(rng.randbytes(rng.randrange(64, 512)))
        body[0] = rng.choice([b for b in range(256) if b not in SMB_MARKS])
        return len(body).to_bytes(4, "big") + bytes(body)
    data = bytearray(rng.randbytes(rng.randrange(1, 600)))
    data[0] = rng.choice([b for b in range(256) if b not in SESSION_TYPES])
    return bytes(data)


def serve(conn):
    global count
    with lock:
        n, count = count, count + 1
    rng = random.Random(n)
    try:
        conn.settimeout(2)
        try:
            conn.recv(4096)  # a little of the request; an idle client gets its answer as well
        except socket.timeout:
            pass
        conn.sendall(garbage(n, rng))
        # The client's unread request would turn the close into a reset that
        # can overtake the answer: take the rest, then close.
        conn.shutdown(socket.SHUT_WR)
        end = time.monotonic() + 5
        while time.monotonic() < end and conn.recv(65536):
            pass
    except OSError:
        pass
    finally:
        conn.close()


def listen(where):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(where)
    listener.listen(64)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


def main():
    where = [(addr, port) for addr in sys.argv[1:] for port in (445, 139)]
    for w in where[1:]:
        threading.Thread(target=listen, args=(w,), daemon=True).start()
    listen(where[0])


if __name__ == "__main__":
    main()
