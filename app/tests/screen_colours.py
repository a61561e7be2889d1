#!/usr/bin/env python3
"""Reads an X window dump (xwd, 32 bits a pixel) and counts the pixels close
to each colour given; with --png FILE also writes the picture as PNG.

Usage: screen_colours.py DUMP [--png FILE] R,G,B [R,G,B...]
Prints one count a line, in the order of the colours."""
import struct
import sys
import zlib


def read_dump(path):
    data = open(path, "rb").read()
    fields = struct.unpack(">25I", data[:100])
    header_size, width, height, byte_order = fields[0], fields[4], fields[5], fields[7]
    bits_per_pixel, bytes_per_line, colours = fields[11], fields[12], fields[19]
    if bits_per_pixel != 32:
        raise SystemExit(f"{path}: {bits_per_pixel} bits a pixel, 32 expected")
    start = header_size + colours * 12
    pixels = []
    for y in range(height):
        row = data[start + y * bytes_per_line:start + y * bytes_per_line + width * 4]
        if byte_order == 0:  # least significant byte first: blue, green, red, pad
            pixels.append([(row[i + 2], row[i + 1], row[i]) for i in range(0, len(row), 4)])
        else:
            pixels.append([(row[i + 1], row[i + 2], row[i + 3]) for i in range(0, len(row), 4)])
    return width, height, pixels


def write_png(path, width, height, pixels):
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in pixels)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw)))
        out.write(chunk(b"IEND", b""))


def main():
    args = sys.argv[1:]
    dump = args.pop(0)
    png = None
    if args and args[0] == "--png":
        png = args[1]
        args = args[2:]
    width, height, pixels = read_dump(dump)
    if png:
        write_png(png, width, height, pixels)
    wanted = [tuple(int(v) for v in a.split(",")) for a in args]
    counts = [0] * len(wanted)
    for row in pixels:
        for p in row:
            for i, c in enumerate(wanted):
                if abs(p[0] - c[0]) <= 24 and abs(p[1] - c[1]) <= 24 and abs(p[2] - c[2]) <= 24:
                    counts[i] += 1
    for n in counts:
        print(n)


if __name__ == "__main__":
    main()
