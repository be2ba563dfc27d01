#!/usr/bin/env python3
"""A NetBIOS name service peer that answers with malformed packets.

It listens on UDP port 137 inside its own network namespace and answers only
packets from the client's address, each time with a burst of broken or
must-be-ignored packets:

- a name query for --name gets the burst alone, so the lookup must fail;
- a name query for --ok-name, and a node status query sent to this host, get
  the burst followed by one sound answer (this host's address, or a name
  table holding --ok-name), so the resolver must skip every broken packet and
  still take the sound one, which always comes last;
- in mode "all" (read from the mode file on every packet) every other name
  query and node status query of the client gets the burst too, racing the
  real owner's answer.

With --status-only WORKGROUP it answers nothing but node status queries sent
to this host: the burst, then a name table that holds only that workgroup's
group name (no computer name, so a reverse lookup must find the name by other
means). The mode file is not read.
"""
import argparse
import random
import socket
import struct
import sys

sys.dont_write_bytecode = True  # the module below is imported from the source tree
from namepeer import IP_PKTINFO, listener, queries

NB = 0x0020
NBSTAT = 0x0021


def decode_name(packet, offset):
    """The 16-byte NetBIOS name at offset (first-level encoding), or None."""
    if len(packet) < offset + 34 or packet[offset] != 32:
        return None
    enc = packet[offset + 1:offset + 33]
    out = bytearray()
    for i in range(0, 32, 2):
        hi, lo = enc[i] - 0x41, enc[i + 1] - 0x41
        if not (0 <= hi < 16 and 0 <= lo < 16):
            return None
        out.append(hi << 4 | lo)
    return bytes(out)


def header(tid, flags, qd=0, an=0, ns=0, ar=0):
    return struct.pack(">HHHHHH", tid, flags, qd, an, ns, ar)


def nb_answer(qname, address, rdlength=6):
    return qname + struct.pack(">HHIH", NB, 1, 300000, rdlength) + b"\x00\x00" + socket.inet_aton(address)


def sound_query_answer(tid, qname, address):
    return header(tid, 0x8500, an=1) + nb_answer(qname, address)


def sound_status_answer(tid, qname, name, workgroup):
    entries = ((name, 0x00, 0x0400), (name, 0x20, 0x0400), (workgroup, 0x00, 0x8400))
    if name is None:
        entries = entries[2:]
    table = b""
    for entry, suffix, flags in entries:
        table += entry.ljust(15) + bytes([suffix]) + struct.pack(">H", flags)
    data = bytes([len(entries)]) + table + b"\x02\x00\x00\x00\x00\x66" + b"\0" * 40
    return header(tid, 0x8400, an=1) + qname + struct.pack(">HHIH", NBSTAT, 1, 0, len(data)) + data


def garbage_for_query(tid, qname, rng):
    """Broken replies to a name query; none of them may be taken as an answer."""
    yield b""
    yield struct.pack(">H", tid) + b"\x85"
    yield header(tid, 0x8500, an=1)
    yield header(tid, 0x8500, an=1) + b"\x3f" + b"A" * 10
    # compression pointer to itself
    yield header(tid, 0x8500, an=1) + b"\xc0\x0c" + struct.pack(">HHIH", NB, 1, 0, 6) + b"\0" * 6
    yield header(tid, 0x8500, an=1) + qname + struct.pack(">HHIH", NB, 1, 0, 0xFFFF) + b"\0" * 6
    yield header(tid, 0x8500, an=1) + qname + struct.pack(">HHIH", NB, 1, 0, 2) + b"\0\0"
    # an answer count of 255 with one answer
    yield header(tid, 0x8500, an=255) + nb_answer(qname, "10.231.0.96")[:-3]
    # negative reply (name error) that still carries an answer
    yield header(tid, 0x8503, an=1) + nb_answer(qname, "10.231.0.99")
    # not a response at all
    yield header(tid, 0x0500, an=1) + nb_answer(qname, "10.231.0.98")
    # someone else's transaction
    yield header(tid ^ 0x5A5A, 0x8500, an=1) + nb_answer(qname, "10.231.0.97")
    yield header(tid, 0x8500, an=1) + b"\xff" * 1400
    yield bytes(rng.randrange(256) for _ in range(rng.randrange(1, 600)))


def garbage_for_status(tid, qname, rng):
    """Broken replies to a node status query."""
    rr = qname + struct.pack(">HHI", NBSTAT, 1, 0)
    yield b""
    yield header(tid, 0x8400, an=1)
    yield header(tid, 0x8400, an=1) + rr + struct.pack(">H", 0)
    # 255 names announced, two present, record length far past the end
    names = (b"\xff" * 15 + b"\x00" + b"\x04\x00") + (b"\x83\x5c" + b"\\" * 14 + b"\x00\x04\x00")
    yield header(tid, 0x8400, an=1) + rr + struct.pack(">H", 0xFFFF) + b"\xff" + names
    yield header(tid, 0x8400, an=1) + rr + struct.pack(">H", 1 + len(names)) + b"\x02" + names[:20]
    # negative reply that carries a well-formed name
    good = b"GARBAGE-NAME   \x00\x04\x00"
    status = struct.pack(">H", 1 + len(good) + 46) + b"\x01" + good + b"\0" * 46
    yield header(tid, 0x8403, an=1) + rr + status
    # someone else's transaction
    yield header(tid ^ 0x5A5A, 0x8400, an=1) + rr + status
    yield header(tid, 0x8400, an=1) + b"\xc0\x0c" + struct.pack(">HHIH", NBSTAT, 1, 0, 64) + b"\x03"
    yield bytes(rng.randrange(256) for _ in range(rng.randrange(1, 600)))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bind", required=True)
    ap.add_argument("--client", required=True)
    ap.add_argument("--name", required=True)
    ap.add_argument("--ok-name", required=True)
    ap.add_argument("--mode-file", required=True)
    ap.add_argument("--port", type=int, default=137)
    ap.add_argument("--status-only", metavar="WORKGROUP")
    args = ap.parse_args()

    own = args.name.upper().encode("ascii")
    ok = args.ok_name.upper().encode("ascii")
    sock = listener(args.port, args.bind)
    sock.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
    rng = random.Random(1)
    for _, data, src, tid, dest in queries([sock], args.client, shortest=12 + 34 + 4):
        name = decode_name(data, 12)
        if name is None:
            continue
        qtype = struct.unpack(">H", data[12 + 34:12 + 36])[0]
        try:
            with open(args.mode_file) as f:
                mode = f.read().strip()
        except OSError:
            mode = "own"
        if args.status_only:
            if qtype != NBSTAT or dest != args.bind:
                continue
            mode = "own"
        bare = name[:15].rstrip(b" ")
        qname = data[12:12 + 34]
        sound = None
        if qtype == NB:
            replies = garbage_for_query
            if bare == ok:
                sound = sound_query_answer(tid, qname, args.bind)
            elif bare != own and mode != "all":
                continue
        elif qtype == NBSTAT:
            replies = garbage_for_status
            if dest == args.bind:
                if args.status_only:
                    sound = sound_status_answer(tid, qname, None, args.status_only.upper().encode("ascii"))
                else:
                    sound = sound_status_answer(tid, qname, ok, b"OTHERGRP")
            elif mode != "all":
                continue
        else:
            continue
        count = 0
        for packet in replies(tid, qname, rng):
            sock.sendto(packet, src)
            count += 1
        if sound is not None:
            sock.sendto(sound, src)
        print(f"answered {name!r} type {qtype:#x} from {src} with {count} packets", file=sys.stderr,
              flush=True)


if __name__ == "__main__":
    main()
