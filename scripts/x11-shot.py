#!/usr/bin/python3
"""Saves the root window of $DISPLAY, or the rectangle WxH+X+Y of it (as
xwininfo gives a window's), as a PNG (python3-xlib, no ImageMagick).

    x11-shot.py OUT.png [WxH+X+Y]
"""
import struct
import sys
import zlib

from Xlib import X, display


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def main():
    screen = display.Display().screen()
    root = screen.root
    geometry = root.get_geometry()
    x, y, width, height = 0, 0, geometry.width, geometry.height
    if len(sys.argv) > 2:
        size, x, y = sys.argv[2].split("+")[0], int(sys.argv[2].split("+")[1]), int(sys.argv[2].split("+")[2])
        width, height = (int(v) for v in size.split("x"))
    if screen.root_depth not in (24, 32):
        sys.exit("x11-shot.py: needs a 24- or 32-bit display")
    raw = root.get_image(x, y, width, height, X.ZPixmap, 0xFFFFFFFF).data
    rows = bytearray()
    for y in range(height):
        line = raw[y * width * 4:(y + 1) * width * 4]
        rows.append(0)  # no filter
        rgb = bytearray(width * 3)
        rgb[0::3] = line[2::4]
        rgb[1::3] = line[1::4]
        rgb[2::3] = line[0::4]
        rows += rgb
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(sys.argv[1], "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9))
                  + chunk(b"IEND", b""))


if __name__ == "__main__":
    main()
