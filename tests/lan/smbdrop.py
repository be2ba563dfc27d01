#!/usr/bin/env python3
"""Relays SMB connections from LISTEN_ADDR:445 to TARGET_ADDR:PORT and breaks
each one part way, as a server that goes wrong mid-conversation would.

    smbdrop.py LISTEN_ADDR TARGET_ADDR [--port PORT] [--stall]

By default it drops the connection when the client sends its second SMB2
SESSION_SETUP (the authenticate step of a logon). With --stall it relays
the negotiate, the logon and the tree connect, then forwards nothing from
the client's first CREATE or IOCTL on (opening the share list's pipe): the
connection stays open and nothing more is answered, until the client
closes it.
"""
import argparse
import socket
import threading

SESSION_SETUP = 1
CREATE = 5
IOCTL = 11


def messages(client):
    """The client's SMB messages, one at a time (NetBIOS session framing)."""
    buf = b""
    while data := client.recv(65536):
        buf += data
        while len(buf) >= 4 and len(buf) >= 4 + int.from_bytes(buf[1:4], "big"):
            size = 4 + int.from_bytes(buf[1:4], "big")
            msg, buf = buf[:size], buf[size:]
            yield msg


def command(msg):
    if msg[4:8] != b"\xfeSMB" or len(msg) < 18:
        return None
    return int.from_bytes(msg[16:18], "little")


def forward(client, server, stall):
    """Client to server, message by message, until the drop or the stall."""
    setups, stalled = 0, False
    try:
        for msg in messages(client):
            if stalled:
                continue  # read and ignored while the client waits
            cmd = command(msg)
            if stall and cmd in (CREATE, IOCTL):
                stalled = True
                continue
            if not stall and cmd == SESSION_SETUP:
                setups += 1
                if setups == 2:
                    return
            server.sendall(msg)
    except OSError:
        pass
    finally:
        for s in (client, server):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            s.close()


def backward(server, client):
    try:
        while data := server.recv(65536):
            client.sendall(data)
    except OSError:
        pass


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("listen")
    ap.add_argument("target")
    ap.add_argument("--port", type=int, default=445)
    ap.add_argument("--stall", action="store_true")
    args = ap.parse_args()
    listener = socket.create_server((args.listen, 445))
    while True:
        client, _ = listener.accept()
        try:
            server = socket.create_connection((args.target, args.port), timeout=5)
        except OSError:
            client.close()
            continue
        server.settimeout(None)
        threading.Thread(target=forward, args=(client, server, args.stall), daemon=True).start()
        threading.Thread(target=backward, args=(server, client), daemon=True).start()


if __name__ == "__main__":
    main()
