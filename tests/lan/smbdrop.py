#!/usr/bin/env python3
"""Relays SMB connections from LISTEN_ADDR:445 to TARGET_ADDR:445 and drops
each connection when the client sends its second SMB2 SESSION_SETUP (the
authenticate step of a logon), as a server that goes away mid-logon would.

    smbdrop.py LISTEN_ADDR TARGET_ADDR
"""
import socket
import sys
import threading

SESSION_SETUP = 1


def forward(client, server):
    """Client to server, message by message, until the drop."""
    buf, setups = b"", 0
    try:
        while data := client.recv(65536):
            buf += data
            while len(buf) >= 4 and len(buf) >= 4 + int.from_bytes(buf[1:4], "big"):
                size = 4 + int.from_bytes(buf[1:4], "big")
                msg, buf = buf[:size], buf[size:]
                if msg[4:8] == b"\xfeSMB" and int.from_bytes(msg[16:18], "little") == SESSION_SETUP:
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
    listener = socket.create_server((sys.argv[1], 445))
    while True:
        client, _ = listener.accept()
        try:
            server = socket.create_connection((sys.argv[2], 445), timeout=5)
        except OSError:
            client.close()
            continue
        server.settimeout(None)
        threading.Thread(target=forward, args=(client, server), daemon=True).start()
        threading.Thread(target=backward, args=(server, client), daemon=True).start()


if __name__ == "__main__":
    main()
