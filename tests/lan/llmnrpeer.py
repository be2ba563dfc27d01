#!/usr/bin/env python3
"""A link-local name responder that stands in for a Windows computer without
NetBIOS: it answers LLMNR A queries for its name and LLMNR PTR queries for its
address (the Debian llmnrd answers A and AAAA only), each time after a burst
of broken, forged or must-be-ignored packets, so a resolver must skip them
all and still take the sound answer, which always comes last.

It answers only the client's packets:

- LLMNR (UDP 5355, multicast 224.0.0.252 or unicast) A query for --name:
  the burst, then this host's address; for --bad-name: the burst alone;
- LLMNR PTR query for this host's address: a well-formed answer naming
  --forged-name sent from --forged-from (the asked address never sent it),
  the burst, then --name;
- mDNS (UDP 5353) queries whose first label is --name or --bad-name: the
  burst alone (this host has no mDNS name), so garbage there must not hide
  the LLMNR answer.
"""
import argparse
import random
import socket
import struct
import sys

sys.dont_write_bytecode = True  # the module below is imported from the source tree
from namepeer import listener, queries

TYPE_A = 1
TYPE_PTR = 12
CLASS_IN = 1
RESPONSE = 0x8000


def header(tid, flags, qd=1, an=1, ns=0, ar=0):
    return struct.pack(">HHHHHH", tid, flags, qd, an, ns, ar)


def encode(name):
    out = b""
    for label in name.split("."):
        if label:
            out += bytes([len(label)]) + label.encode("ascii")
    return out + b"\0"


def read_question(data):
    """(name, type, class, raw question bytes) of the first question, or None."""
    pos, labels = 12, []
    while True:
        if pos >= len(data):
            return None
        n = data[pos]
        pos += 1
        if n == 0:
            break
        if n & 0xC0 or pos + n > len(data):
            return None
        labels.append(data[pos:pos + n].decode("ascii", "replace"))
        pos += n
    if pos + 4 > len(data):
        return None
    qtype, qclass = struct.unpack(">HH", data[pos:pos + 4])
    return ".".join(labels), qtype, qclass & 0x7FFF, data[12:pos + 4]


def record(rtype, rdata, name=b"\xc0\x0c", rclass=CLASS_IN, rdlength=None):
    length = len(rdata) if rdlength is None else rdlength
    return name + struct.pack(">HHIH", rtype, rclass, 30, length) + rdata


def rdata_for(qtype, value):
    return socket.inet_aton(value) if qtype == TYPE_A else encode(value)


def garbage(tid, question, qtype, rng):
    """Replies that must all be ignored: broken, or sound but not an answer to
    this question of this transaction."""
    decoy = "10.231.0.97" if qtype == TYPE_A else "DECOY"
    answer = record(qtype, rdata_for(qtype, decoy))
    yield b""
    yield struct.pack(">H", tid) + b"\x80"
    yield header(tid, RESPONSE)
    yield header(tid, RESPONSE) + question
    yield header(tid ^ 0x5A5A, RESPONSE) + question + answer  # another transaction
    yield header(tid, 0) + question + answer  # a query, not a response
    yield header(tid, RESPONSE | 3) + question + answer  # name error carrying an answer
    yield header(tid, RESPONSE | 0x0200) + question + answer  # truncated
    yield header(tid, RESPONSE | 0x2800) + question + answer  # another opcode
    other = encode("someone-else") + question[-4:]
    yield header(tid, RESPONSE) + other + record(qtype, rdata_for(qtype, decoy), name=b"\xc0\x0c")
    yield header(tid, RESPONSE) + question + record(qtype, rdata_for(qtype, decoy), name=encode("someone-else"))
    yield header(tid, RESPONSE) + question + record(qtype, rdata_for(qtype, decoy), rclass=3)
    # answer name pointing at itself, and two pointers pointing at each other
    at = 12 + len(question)
    yield header(tid, RESPONSE) + question + record(qtype, rdata_for(qtype, decoy), name=struct.pack(">H", 0xC000 | at))
    yield (header(tid, RESPONSE, an=2) + question + struct.pack(">H", 0xC000 | (at + 2)) +
           record(qtype, rdata_for(qtype, decoy), name=struct.pack(">H", 0xC000 | at)))
    yield header(tid, RESPONSE) + question + record(qtype, rdata_for(qtype, decoy), rdlength=0xFFFF)
    yield header(tid, RESPONSE, an=255) + question + answer
    yield header(tid, RESPONSE, qd=2) + question + answer
    if qtype == TYPE_A:
        yield header(tid, RESPONSE) + question + record(TYPE_A, b"\x0a\xe7\x00")
        yield header(tid, RESPONSE) + question + record(TYPE_A, socket.inet_aton("224.0.0.1"))
    else:
        yield header(tid, RESPONSE) + question + record(TYPE_PTR, b"\x08EVIL\x01PC\x00")
        yield header(tid, RESPONSE) + question + record(TYPE_PTR, b"\x05ab")
        yield header(tid, RESPONSE) + question + record(TYPE_PTR, b"\xc0\x0c")  # itself
    yield header(tid, RESPONSE) + b"\xff" * 600
    yield bytes(rng.randrange(256) for _ in range(rng.randrange(1, 600)))


def reverse_name(address):
    return ".".join(reversed(address.split("."))) + ".in-addr.arpa"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bind", required=True)
    ap.add_argument("--client", required=True)
    ap.add_argument("--name", required=True)
    ap.add_argument("--bad-name", required=True)
    ap.add_argument("--forged-from", required=True)
    ap.add_argument("--forged-name", required=True)
    args = ap.parse_args()

    llmnr = listener(5355, args.bind, "224.0.0.252")
    mdns = listener(5353, args.bind, "224.0.0.251")
    forger = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    forger.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    forger.bind((args.forged_from, 5355))
    rng = random.Random(1)
    own, bad = args.name.lower(), args.bad_name.lower()
    for sock, data, src, tid, _ in queries([llmnr, mdns], args.client):
        q = read_question(data)
        if q is None:
            continue
        name, qtype, qclass, question = q
        first = name.split(".")[0].lower()
        sound = None
        if sock is mdns:
            if first not in (own, bad):
                continue
        elif qtype == TYPE_A and name.lower() in (own, bad):
            if name.lower() == own:
                sound = header(tid, RESPONSE) + question + record(TYPE_A, socket.inet_aton(args.bind))
        elif qtype == TYPE_PTR and name.lower() == reverse_name(args.bind):
            forger.sendto(header(tid, RESPONSE) + question + record(TYPE_PTR, encode(args.forged_name)), src)
            sound = header(tid, RESPONSE) + question + record(TYPE_PTR, encode(args.name))
        else:
            continue
        count = 0
        for packet in garbage(tid, question, qtype, rng):
            sock.sendto(packet, src)
            count += 1
        if sound is not None:
            sock.sendto(sound, src)
        print(f"answered {name} type {qtype} on {sock.getsockname()[1]} from {src} with {count} packets",
              file=sys.stderr, flush=True)


if __name__ == "__main__":
    main()
