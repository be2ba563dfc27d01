#!/usr/bin/env python3
"""Accepts TCP connections on ADDR:445 and ADDR:139 and never answers: a
computer whose SMB server hangs. Connections are held until the peer closes.

    tarpit.py ADDR...
"""
import selectors
import socket
import sys

sel = selectors.DefaultSelector()
for where in [(addr, port) for addr in sys.argv[1:] for port in (445, 139)]:
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(where)
    listener.listen(64)
    sel.register(listener, selectors.EVENT_READ, "listen")
while True:
    for key, _ in sel.select():
        if key.data == "listen":
            conn, _ = key.fileobj.accept()
            sel.register(conn, selectors.EVENT_READ, "conn")
        else:
            try:
                data = key.fileobj.recv(65536)  # read and ignored
            except OSError:
                data = b""
            if not data:
                sel.unregister(key.fileobj)
                key.fileobj.close()
