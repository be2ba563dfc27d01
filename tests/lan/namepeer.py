"""What the test LAN's name-service peers share: their sockets, and the loop
that hands them the client's queries and drops everything else.

Importers set sys.dont_write_bytecode first, so that running a peer from the
source tree leaves no cache files there.
"""
import select
import socket
import struct
import sys

IP_PKTINFO = getattr(socket, "IP_PKTINFO", 8)  # Linux value; older Pythons lack the name


def listener(port, bind, group=None):
    """A UDP socket on port of every address; it joins group on the interface
    of bind, or without a group may send broadcasts."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    if group is None:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    s.bind(("0.0.0.0", port))
    if group is not None:
        s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, socket.inet_aton(group) + socket.inet_aton(bind))
    return s


def queries(socks, client, shortest=12):
    """Says "ready" on stderr, then yields (sock, data, src, tid, dest) for each
    standard query of at least shortest bytes that client sends to one of
    socks. dest is the address it was sent to where the socket reports it
    (IP_PKTINFO set), else None."""
    print("ready", file=sys.stderr, flush=True)
    while True:
        readable, _, _ = select.select(socks, [], [])
        for sock in readable:
            data, anc, _, src = sock.recvmsg(2048, socket.CMSG_SPACE(12))
            if src[0] != client or len(data) < max(shortest, 12):
                continue
            tid, flags = struct.unpack(">HH", data[:4])
            if flags & 0xF800:
                continue  # responses and other opcodes
            dest = None
            for level, kind, value in anc:
                if level == socket.IPPROTO_IP and kind == IP_PKTINFO and len(value) >= 12:
                    dest = socket.inet_ntoa(value[8:12])
            yield sock, data, src, tid, dest
