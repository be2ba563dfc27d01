#!/usr/bin/env python3
"""A link peer that floods the client with answers too costly to read.

A query from the client for --name (NetBIOS name query, LLMNR A, or mDNS A
for NAME.local) gets, from the protocol's own port, a stream of the largest
UDP answers there are, for --seconds after the query:

- mDNS and LLMNR: answers to the very transaction and question, whose records'
  names are a chain of thousands of compression pointers that ends at another
  name (each pointer leads below the one before, so only a cap on the jumps
  per name keeps reading one answer cheap);
- NetBIOS: positive answers to the very transaction and name that hold
  thousands of group entries and no unique one.

None of them names an address to take, so the name stays unknown; what the
client must bound is the time it spends reading them.
"""
import argparse
import socket
import struct
import sys
import threading
import time

sys.dont_write_bytecode = True  # the peers below are imported from the source tree
from llmnrpeer import read_question
from namepeer import listener, queries
from nbgarbage import decode_name

TYPE_A = 1
TYPE_TXT = 16
NB = 0x0020
MAX_UDP = 65507
MAX_POINTER = 0x3FFF


def pointer(offset):
    return struct.pack(">H", 0xC000 | offset)


def chain_answer(tid, flags, question):
    """One answer of MAX_UDP bytes: a record named "decoy" holding a chain of
    pointers, then A records named by the chain's last pointer."""
    decoy_at = 12 + len(question)
    decoy = b"\x05decoy\x00"
    chain_at = decoy_at + len(decoy) + 10
    links = (MAX_POINTER - chain_at) // 2
    chain = pointer(decoy_at) + b"".join(pointer(chain_at + 2 * k) for k in range(links - 1))
    txt = decoy + struct.pack(">HHIH", TYPE_TXT, 1, 30, len(chain)) + chain
    last = chain_at + 2 * (links - 1)
    record = pointer(last) + struct.pack(">HHIH", TYPE_A, 1, 30, 4) + socket.inet_aton("10.231.0.67")
    count = (MAX_UDP - 12 - len(question) - len(txt)) // len(record)
    return (struct.pack(">HHHHHH", tid, flags, 1, 1 + count, 0, 0) + question + txt + record * count)


def netbios_answer(tid, qname):
    """A positive name query answer of MAX_UDP bytes holding only group entries."""
    entries = (MAX_UDP - 12 - len(qname) - 10) // 6
    rdata = (b"\x80\x00" + socket.inet_aton("10.231.0.67")) * entries
    return (struct.pack(">HHHHHH", tid, 0x8500, 0, 1, 0, 0) + qname + struct.pack(">HHIH", NB, 1, 300, len(rdata)) +
            rdata)


def flood(sock, packet, to, seconds):
    until = time.monotonic() + seconds
    sent = 0
    while time.monotonic() < until:
        try:
            sock.sendto(packet, to)
            sent += 1
        except OSError:
            time.sleep(0.001)
    print(f"flooded {to} from port {sock.getsockname()[1]} with {sent} datagrams", file=sys.stderr, flush=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bind", required=True)
    ap.add_argument("--client", required=True)
    ap.add_argument("--name", required=True)
    ap.add_argument("--seconds", type=float, default=1.0)
    args = ap.parse_args()
    name = args.name.lower()

    def flooder(port, group=None):
        s = listener(port, args.bind, group)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 1 << 20)
        return s

    netbios = flooder(137)
    llmnr = flooder(5355, "224.0.0.252")
    mdns = flooder(5353, "224.0.0.251")
    for sock, data, src, tid, _ in queries([netbios, llmnr, mdns], args.client):
        packet = None
        if sock is netbios:
            nbname = decode_name(data, 12)
            if (nbname is not None and nbname[:15].rstrip(b" ") == args.name.upper().encode("ascii") and
                    struct.unpack(">H", data[46:48])[0] == NB):
                packet = netbios_answer(tid, data[12:46])
        else:
            q = read_question(data)
            if q is not None and q[0].split(".")[0].lower() == name and q[1] == TYPE_A:
                packet = chain_answer(tid, 0x8400 if sock is mdns else 0x8000, q[3])
        if packet is not None:
            threading.Thread(target=flood, args=(sock, packet, src, args.seconds), daemon=True).start()


if __name__ == "__main__":
    main()
